#pragma once
// A Windows INI file held in memory: sections of "key=value" lines. Used for
// machine.ini and behind the private-profile calls (GetPrivateProfileStringA,
// WritePrivateProfileStringA), so it keeps what those keep: section and key
// names compare without regard to case, the order of sections and keys stays
// as it was, and comment lines (";") and blank lines survive a rewrite.
#include <cstdint>
#include <expected>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/runtime/error.hpp"

namespace kx::platform {

// Failures carry 2 (not found), 5 (access denied) or 29 (write fault).

class IniFile {
  public:
    IniFile() = default;

    /// Reads a file. A missing file answers code 2; the caller decides whether
    /// that means "empty". Lines ending in "\r\n" are recognised and the file
    /// is written back with the same line ending.
    static std::expected<IniFile, Error> load(const std::filesystem::path& file);

    /// Parses text. Never fails: a line that is neither a section header, a
    /// "key=value" pair, a comment nor blank is kept verbatim and otherwise
    /// ignored, as GetPrivateProfileString ignores it. Lines before the first
    /// section belong to no section and are kept at the top.
    static IniFile parse(std::string_view text);

    /// The file's text as it will be written.
    std::string text() const;

    /// Writes the text to a temporary file beside `file` and renames it over
    /// `file`, so a crash leaves either the old or the new content, never half.
    /// A symbolic link at `file` is replaced, never written through.
    std::expected<void, Error> save(const std::filesystem::path& file) const;

    /// The value of a key, blanks and tabs trimmed at both ends; nullopt when
    /// the section or the key is missing. The first of duplicate keys wins.
    std::optional<std::string> get(std::string_view section, std::string_view key) const;
    std::string get(std::string_view section, std::string_view key,
                    std::string_view fallback) const;

    /// Sets a key, adding the section at the end and the key at the end of
    /// its section when absent. An existing line is rewritten in place.
    void set(std::string_view section, std::string_view key, std::string_view value);

    /// Removes a key (every duplicate of it); false when there was none.
    bool removeKey(std::string_view section, std::string_view key);

    /// Removes a section with all its lines, comments included; false when absent.
    bool removeSection(std::string_view section);

    bool hasSection(std::string_view section) const;

    /// Section names in file order, with their spelling in the file.
    std::vector<std::string> sections() const;

    /// Key names of a section in file order (duplicates listed once).
    std::vector<std::string> keys(std::string_view section) const;

  private:
    struct Line {
        std::string raw;     // the text as read, kept for comments and untouched keys
        std::string key;     // empty for anything that is not a key line
        std::string value;   // trimmed value
        bool dirty = false;  // rewritten as "key=value" on output
    };
    struct Section {
        std::string name;    // empty for the lines before the first header
        std::string header;  // the header line as read ("" for the leading block)
        std::vector<Line> lines;
    };

    Section* findSection(std::string_view name);
    const Section* findSection(std::string_view name) const;

    std::vector<Section> sections_;
    std::string newline_ = "\n";
    bool byteOrderMark_ = false;  // a UTF-8 BOM the file started with, written back
};

}  // namespace kx::platform
