#pragma once
// Text helpers of the language runtime: the engine keeps text as UTF-8, and
// lower-casing treats the Latin-1 letters (Ä, Ö, Ü, ...) as letters.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kx::platform {

// ---- the language runtime's text functions (LCase, UCase, Trim, Replace) ----

/// Lower-cases ASCII and the Latin-1 supplement letters (U+00C0..U+00DE except
/// U+00D7); every other byte sequence is copied as it stands, so invalid UTF-8
/// survives unchanged.
std::string vbLCase(std::string_view text);

/// Upper-cases the same letters back (ß stays ß).
std::string vbUCase(std::string_view text);

/// Removes blanks (spaces only, as the runtime's Trim does) at both ends.
std::string_view vbTrim(std::string_view text);
std::string_view vbLTrim(std::string_view text);
std::string_view vbRTrim(std::string_view text);

/// `text` with every occurrence of `what` replaced by `with`, left to right;
/// replaced text is not looked at again. An empty `what` changes nothing.
std::string vbReplace(std::string_view text, std::string_view what, std::string_view with);

// ---- Windows' rules ----------------------------------------------------------

/// Names (of files, keys, windows) compared as Windows compares them: equal
/// after `vbLCase`.
bool winEqualNoCase(std::string_view a, std::string_view b);

/// A blank as Windows' command lines, INI files and .reg files take it: a
/// space or a tab.
bool isSpaceOrTab(char c);
/// Removes spaces and tabs at both ends (or one end) of a line of those files.
std::string_view trimSpacesAndTabs(std::string_view text);
std::string_view trimSpacesAndTabsLeft(std::string_view text);
std::string_view trimSpacesAndTabsRight(std::string_view text);

// ---- encodings --------------------------------------------------------------

/// Decodes one UTF-8 code point at `pos`, advancing `pos`; an invalid byte is
/// taken as the Latin-1 character of that value so that no input is rejected.
char32_t nextCodePoint(std::string_view text, std::size_t& pos);

/// Decodes one code point of well-formed UTF-8 at `pos` (no overlong forms,
/// no surrogates, nothing above U+10FFFF), advancing `pos`; answers false and
/// leaves `pos` alone when the bytes there are not one.
bool nextUtf8(std::string_view text, std::size_t& pos, char32_t& cp);

/// True when the bytes are well-formed UTF-8: the one check of every name
/// the system stores (registry keys and values, file names from the command
/// line), so that nothing it writes out later is broken text.
bool isValidUtf8(std::string_view text);

/// Appends the UTF-8 form of a code point.
void appendUtf8(std::string& out, char32_t cp);

/// Characters of UTF-8 text as the user counts them (its lead bytes).
std::size_t characterCount(std::string_view text);

/// Converts single-byte Windows-1252 text (files the old system wrote) to UTF-8.
std::string fromCp1252(std::string_view bytes);

/// Converts UTF-8 to Windows-1252; characters it lacks become '?'.
std::string toCp1252(std::string_view text);

// ---- other -------------------------------------------------------------------

/// The pieces of `text` between occurrences of `separator` (not empty), in
/// order: n separators give n + 1 pieces, so a separator at the end gives an
/// empty last piece and an empty text one empty piece. The pieces point into
/// `text`.
std::vector<std::string_view> splitAt(std::string_view text, std::string_view separator);

/// The text as a whole decimal number, blanks around it allowed ("-3",
/// " 12 "); nothing for anything else ("", "1a", "1,5").
std::optional<long> wholeNumber(std::string_view text);

}  // namespace kx::platform
