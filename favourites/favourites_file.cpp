// The plain favourites file; see favourites_file.hpp.
#include "favourites/favourites_file.hpp"

#include <algorithm>

#include "platform/runtime/text.hpp"

namespace kx::favourites {
namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::size_t kFields = 7;
// Field six of a line whose fields hold ";": their "%" and ";" are written
// as "%25" and "%3B", so that the line keeps its seven fields. Readers that
// ignore field six still load the favourite, with the escapes in sight.
constexpr std::string_view kEscapedMark = "%";

std::string escaped(std::string_view field) {
    std::string out;
    for (const char c : field) {
        if (c == '%')
            out += "%25";
        else if (c == ';')
            out += "%3B";
        else
            out += c;
    }
    return out;
}

std::string unescaped(std::string_view field) {
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field.substr(i, 3) == "%25") {
            out += '%';
            i += 2;
        } else if (field.substr(i, 3) == "%3B") {
            out += ';';
            i += 2;
        } else {
            out += field[i];
        }
    }
    return out;
}

}  // namespace

std::string booleanText(bool value) {
    return value ? "Wahr" : "Falsch";
}

std::string favouriteLine(const Favourite& f) {
    const std::string plain =
        f.name + ';' + f.anonym + ';' + f.sicher + ';' + f.gruppe + ';' + f.url;
    if (std::count(plain.begin(), plain.end(), ';') == 4)
        return plain + ";;";
    return escaped(f.name) + ';' + escaped(f.anonym) + ';' + escaped(f.sicher) + ';' +
           escaped(f.gruppe) + ';' + escaped(f.url) + ';' + std::string(kEscapedMark) + ';';
}

std::optional<Favourite> parseFavouriteLine(std::string_view line) {
    const auto fields = platform::splitAt(line, ";");
    if (fields.size() != kFields)
        return std::nullopt;
    if (fields[5] == kEscapedMark)
        return Favourite{unescaped(fields[0]), unescaped(fields[1]), unescaped(fields[2]),
                         unescaped(fields[3]), unescaped(fields[4])};
    return Favourite{std::string(fields[0]), std::string(fields[1]), std::string(fields[2]),
                     std::string(fields[3]), std::string(fields[4])};
}

std::string encodeFavourites(const std::vector<Favourite>& favourites) {
    std::string text;
    for (const auto& f : favourites) text += favouriteLine(f) + "\r\n";
    std::string bytes = platform::toCp1252(text);
    // A character the code page lacks came out as "?": keep the list whole.
    if (platform::fromCp1252(bytes) != text)
        return std::string(kUtf8Mark) + text;
    return bytes;
}

std::vector<Favourite> decodeFavourites(std::string_view bytes) {
    const std::string text = bytes.starts_with(kUtf8Mark)
                                 ? std::string(bytes.substr(kUtf8Mark.size()))
                                 : platform::fromCp1252(bytes);
    std::vector<Favourite> out;
    std::size_t start = 0;
    while (start < text.size()) {
        auto end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string_view line(text.data() + start, end - start);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        if (auto favourite = parseFavouriteLine(line))
            out.push_back(std::move(*favourite));
        start = end + 1;
    }
    return out;
}

}  // namespace kx::favourites
