#include "platform/runtime/translation.hpp"

#include <algorithm>
#include <cstdlib>
#include <span>
#include <string>

namespace kx::platform {

// The English catalogue, generated from po/en/*.po at build time and sorted by
// the German text.
std::span<const CatalogueEntry> englishCatalogue();

namespace {

std::string_view environmentValue(std::string_view name) {
    const char* value = std::getenv(std::string(name).c_str());
    return value ? std::string_view(value) : std::string_view();
}

bool isGerman(std::string_view locale) {
    return locale == "de" || locale.starts_with("de_") || locale.starts_with("de.") ||
           locale.starts_with("de@");
}

}  // namespace

Language languageOf(const std::function<std::string_view(std::string_view name)>& lookup) {
    for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
        auto value = lookup(name);
        if (std::string_view(name) == "LANGUAGE")
            value = value.substr(0, value.find(':'));
        if (!value.empty())
            return isGerman(value) ? Language::German : Language::English;
    }
    return Language::English;
}

Language userLanguage() {
    static const Language language = languageOf(environmentValue);
    return language;
}

std::string_view translate(std::string_view german, Language language) {
    if (language == Language::German)
        return german;
    const auto catalogue = englishCatalogue();
    const auto found = std::lower_bound(
        catalogue.begin(), catalogue.end(), german,
        [](const CatalogueEntry& entry, std::string_view key) { return entry.german < key; });
    if (found != catalogue.end() && found->german == german && !found->text.empty())
        return found->text;
    return german;
}

std::string_view tr(std::string_view german) {
    return translate(german, userLanguage());
}

std::string format(std::string_view german, std::initializer_list<std::string_view> args,
                   Language language) {
    const auto text = translate(german, language);
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '{' && i + 1 < text.size() && text[i + 1] == '{') {
            out += '{';
            ++i;
            continue;
        }
        const auto close = text[i] == '{' ? text.find('}', i) : std::string_view::npos;
        std::size_t place = 0;
        bool isPlace = close != std::string_view::npos && close > i + 1;
        for (std::size_t j = i + 1; isPlace && j < close; ++j) {
            isPlace = text[j] >= '0' && text[j] <= '9' && place < args.size();
            place = place * 10 + static_cast<std::size_t>(text[j] - '0');
        }
        if (isPlace && place >= 1 && place <= args.size()) {
            out += args.begin()[place - 1];
            i = close;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string trf(std::string_view german, std::initializer_list<std::string_view> args) {
    return format(german, args, userLanguage());
}

}  // namespace kx::platform
