#pragma once
// The plain favourites list as it lies on disk between decrypting and
// loading, and between writing and encrypting: one favourite per line, its
// five columns each followed by ";" plus one more ";" (seven fields, the last
// two empty), lines ended by CR LF, no quoting. Lines that do not split into
// exactly seven fields are skipped on reading, without a message.
//
// A favourite whose texts hold ";" would make a line of more fields and be
// lost at the next load; its line is written with "%" and ";" escaped as
// "%25" and "%3B" and a "%" in field six, which marks the escapes.
//
// The text is in the system's single-byte code page (Windows-1252). A list
// holding a character that code page lacks is written as UTF-8 behind a byte
// order mark instead, so that a list written and read back is unchanged.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kx::favourites {

/// One favourite: the columns "Bezeichnung", "Anonym", "Sicher", "Gruppe" and
/// "URL" of the favourites window's list, as text.
struct Favourite {
    std::string name;
    std::string anonym;
    std::string sicher;
    std::string gruppe;
    std::string url;

    bool operator==(const Favourite&) const = default;
};

/// The file names in the storage folder.
inline constexpr std::string_view kEncryptedFile = "favoriten.aes";
inline constexpr std::string_view kPlainFile = "favoriten.txt";

/// The text form of a Boolean on the machine (a German system): "Wahr" or
/// "Falsch".
std::string booleanText(bool value);

/// "name;anon;safe;group;url;;" in UTF-8 (escaped when a text holds ";").
std::string favouriteLine(const Favourite& favourite);
/// The favourite of one line (without its line end), or nothing when the
/// line does not split into exactly seven fields.
std::optional<Favourite> parseFavouriteLine(std::string_view line);

/// The file's bytes for these favourites, in list order.
std::string encodeFavourites(const std::vector<Favourite>& favourites);
/// The favourites of a file's bytes, in file order.
std::vector<Favourite> decodeFavourites(std::string_view bytes);

}  // namespace kx::favourites
