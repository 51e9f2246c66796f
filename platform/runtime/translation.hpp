#pragma once
// The user's language. The program's texts are written in German, as the
// suite has always shown them; a message catalogue (po/<language>.po, built
// into the program) gives each German text in another language. A text the
// catalogue lacks stays German, and a check of the build fails on it.
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

namespace kx::platform {

enum class Language { German, English };

/// The language an environment asks for: the first of LANGUAGE (its first
/// entry of a colon list), LC_ALL, LC_MESSAGES and LANG that is set and not
/// empty decides; German for "de" and "de_*", English for everything else,
/// also when none is set.
Language languageOf(const std::function<std::string_view(std::string_view name)>& lookup);

/// The language of this process's environment, decided at the first call.
Language userLanguage();

/// `german` in `language`: the catalogue's text, or `german` itself when the
/// language is German or the catalogue has no entry for it.
std::string_view translate(std::string_view german, Language language);

/// `german` in the user's language.
std::string_view tr(std::string_view german);

/// `german` in `language` with its places "{1}", "{2}" ... filled by `args`
/// in order (a translation may order them differently); "{{" stands for "{".
/// A place without an argument stays as it is written.
std::string format(std::string_view german, std::initializer_list<std::string_view> args,
                   Language language);

/// `format` in the user's language.
std::string trf(std::string_view german, std::initializer_list<std::string_view> args);

/// Marks a German text for the catalogue where it is kept (a constant, a
/// table) and translated later, where it is shown, with `tr`.
constexpr std::string_view trMark(std::string_view german) {
    return german;
}

/// One entry of a catalogue: a German text and its translation.
struct CatalogueEntry {
    std::string_view german;
    std::string_view text;
};

}  // namespace kx::platform
