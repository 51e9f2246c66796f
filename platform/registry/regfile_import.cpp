// .reg import. Import parses the whole file into a list of steps before
// touching the registry, then applies them in one transaction, so a bad file
// or a refused write never leaves half a file behind.
#include <fstream>
#include <iterator>
#include <optional>
#include <vector>

#include "platform/registry/regfile.hpp"
#include "platform/registry/regfile_text.hpp"
#include "platform/runtime/text.hpp"
#include "platform/runtime/translation.hpp"

namespace kx::platform {
using namespace detail;

namespace {
struct BadFile {
    std::size_t line;
    std::string what;
};

struct Step {
    enum Kind { OpenKey, DeleteTree, SetValue, DeleteValue };
    Step(Kind k, std::size_t l) : kind(k), line(l) {}
    Kind kind;
    std::size_t line;
    HKEY root = 0;
    std::string path;  // for OpenKey and DeleteTree
    std::string name;  // value name
    DWORD type = REG_NONE;
    std::string data;
    bool writesValues = false;  // OpenKey: the section sets or deletes values
};

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Reads 1..maxDigits hex digits at `pos`.
std::optional<DWORD> readHexNumber(std::string_view s, std::size_t& pos, std::size_t maxDigits) {
    DWORD v = 0;
    std::size_t n = 0;
    while (pos < s.size() && hexDigit(s[pos]) >= 0) {
        if (++n > maxDigits)
            return std::nullopt;
        v = (v << 4) | static_cast<DWORD>(hexDigit(s[pos]));
        ++pos;
    }
    if (n == 0)
        return std::nullopt;
    return v;
}

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && vbLCase(s.substr(0, prefix.size())) == prefix;
}

class Parser {
  public:
    explicit Parser(std::string_view bytes) { decode(bytes); }

    std::vector<Step> parse() {
        split();
        const auto header = trimSpacesAndTabsRight(lines_.empty() ? std::string_view{} : lines_[0]);
        if (header == kHeader4) {
            unicode_ = false;
        } else if (header == kHeader5) {
            unicode_ = true;
        } else {
            throw BadFile{1, trf("keine Registrierungsdatei: die erste Zeile muss \"REGEDIT4\" "
                                 "oder \"{1}\" lauten",
                                 {kHeader5})};
        }
        std::optional<std::size_t> section;  // index of the current OpenKey step
        for (lineNo_ = 2; lineNo_ <= lines_.size(); ++lineNo_) {
            const auto line = trimSpacesAndTabsLeft(lines_[lineNo_ - 1]);
            if (line.empty() || line.front() == ';')
                continue;
            if (line.find('\0') != std::string_view::npos)
                fail(tr("NUL-Zeichen in der Zeile"));
            if (line.front() == '[') {
                section = keyLine(line);
            } else if (line.front() == '"' || line.front() == '@') {
                if (!section)
                    fail(tr("Wertzeile außerhalb eines Schlüsselabschnitts"));
                valueLine(line);
                steps_[*section].writesValues = true;
            } else {
                fail(tr("[SCHLÜSSEL], eine Wertzeile oder ein Kommentar erwartet"));
            }
        }
        return std::move(steps_);
    }

  private:
    [[noreturn]] void fail(std::string_view what) const {
        throw BadFile{lineNo_, std::string(what)};
    }

    void decode(std::string_view bytes) {
        if (bytes.starts_with("\xFF\xFE")) {
            text_ = utf16leToUtf8(bytes.substr(2));
        } else if (bytes.starts_with("\xEF\xBB\xBF")) {
            text_ = bytes.substr(3);
        } else if (bytes.starts_with(kHeader4)) {
            text_ = fromCp1252(bytes);  // REGEDIT4 without a BOM is ANSI text
        } else {
            text_ = bytes;
        }
    }

    void split() {
        std::string_view rest = text_;
        while (!rest.empty()) {
            auto end = rest.find('\n');
            auto line = rest.substr(0, end);
            if (!line.empty() && line.back() == '\r')
                line.remove_suffix(1);
            lines_.push_back(line);
            if (end == std::string_view::npos)
                break;
            rest.remove_prefix(end + 1);
        }
    }

    // Names are text on one line: what could not be exported again as it was
    // read is refused (a lone CR inside a line stays part of it).
    void checkName(std::string_view name, bool key) const {
        if (!isValidUtf8(name))
            fail(key ? tr("der Schlüsselname ist kein gültiger UTF-8-Text")
                     : tr("der Wertname ist kein gültiger UTF-8-Text"));
        if (name.find('\r') != std::string_view::npos)
            fail(key ? tr("der Schlüsselname enthält einen Zeilenumbruch")
                     : tr("der Wertname enthält einen Zeilenumbruch"));
    }

    // "[HKEY_...\path]" or "[-HKEY_...\path]"; answers the new OpenKey step, or
    // nothing for a deletion (values may not follow it).
    std::optional<std::size_t> keyLine(std::string_view line) {
        line = trimSpacesAndTabsRight(line);
        if (line.size() < 2 || line.back() != ']')
            fail(tr("Schlüsselzeile ohne schließendes ']'"));
        auto inner = line.substr(1, line.size() - 2);
        const bool remove = inner.starts_with('-');
        if (remove)
            inner.remove_prefix(1);
        const auto slash = inner.find('\\');
        const auto rootPart = inner.substr(0, slash);
        const HKEY root = rootFromName(rootPart);
        if (!root)
            fail(trf("unbekannter Hauptschlüssel \"{1}\"", {rootPart}));
        const auto path =
            slash == std::string_view::npos ? std::string_view{} : inner.substr(slash + 1);
        checkName(path, true);
        Step step{remove ? Step::DeleteTree : Step::OpenKey, lineNo_};
        step.root = root;
        step.path = path;
        if (remove) {
            if (path.find_first_not_of('\\') == std::string_view::npos)
                fail(tr("ein Hauptschlüssel kann nicht gelöscht werden"));
            steps_.push_back(std::move(step));
            return std::nullopt;
        }
        steps_.push_back(std::move(step));
        return steps_.size() - 1;
    }

    // A quoted string at `pos` with the escapes \\ and \".
    std::string quoted(std::string_view line, std::size_t& pos) const {
        std::string out;
        ++pos;  // opening quote
        for (;;) {
            if (pos >= line.size())
                fail(tr("nicht abgeschlossene Zeichenkette"));
            const char c = line[pos];
            if (c == '"') {
                ++pos;
                return out;
            }
            if (c == '\\') {
                if (pos + 1 >= line.size())
                    fail(tr("nicht abgeschlossene Zeichenkette"));
                const char next = line[pos + 1];
                if (next != '\\' && next != '"')
                    fail(
                        trf("unbekannte Escape-Folge \\{1} in einer Zeichenkette (ein "
                            "Backslash wird \\\\ geschrieben)",
                            {std::string(1, next)}));
                out.push_back(next);
                pos += 2;
                continue;
            }
            out.push_back(c);
            ++pos;
        }
    }

    void expectEnd(std::string_view line, std::size_t pos) const {
        const auto rest = trimSpacesAndTabsLeft(line.substr(pos));
        if (!rest.empty() && rest.front() != ';')
            fail(trf("unerwarteter Text nach dem Wert: \"{1}\"", {rest}));
    }

    void valueLine(std::string_view line) {
        Step step{Step::SetValue, lineNo_};
        std::size_t pos = 0;
        if (line.front() == '@') {
            pos = 1;
        } else {
            step.name = quoted(line, pos);
            checkName(step.name, false);
        }
        while (pos < line.size() && isSpaceOrTab(line[pos])) ++pos;
        if (pos >= line.size() || line[pos] != '=')
            fail(tr("'=' nach dem Wertnamen erwartet"));
        ++pos;
        while (pos < line.size() && isSpaceOrTab(line[pos])) ++pos;
        const auto data = line.substr(pos);
        if (data.starts_with('-')) {
            expectEnd(line, pos + 1);
            step.kind = Step::DeleteValue;
        } else if (data.starts_with('"')) {
            step.type = REG_SZ;
            step.data = quoted(line, pos);
            step.data.push_back('\0');  // stored with its terminator, as regedit does
            expectEnd(line, pos);
        } else if (startsWithNoCase(data, "dword:")) {
            pos += 6;
            const auto v = readHexNumber(line, pos, 8);
            if (!v)
                fail(tr("dword: braucht 1 bis 8 Hexadezimalziffern"));
            expectEnd(line, pos);
            step.type = REG_DWORD;
            for (int i = 0; i < 4; ++i)
                step.data.push_back(static_cast<char>((*v >> (8 * i)) & 0xFF));
        } else if (startsWithNoCase(data, "hex")) {
            pos += 3;
            step.type = REG_BINARY;
            if (pos < line.size() && line[pos] == '(') {
                ++pos;
                const auto t = readHexNumber(line, pos, 8);
                if (!t || pos >= line.size() || line[pos] != ')')
                    fail(tr("falscher Typ in hex(...)"));
                ++pos;
                step.type = *t;
            }
            if (pos >= line.size() || line[pos] != ':')
                fail(tr("':' nach hex erwartet"));
            const auto raw = hexBytes(line.substr(pos + 1));
            if (isStringType(step.type)) {
                step.data = unicode_ ? utf16leToUtf8(raw) : fromCp1252(raw);
            } else {
                step.data = raw;
            }
        } else {
            fail(tr("unbekannte Wertdaten (erwartet: \"Text\", dword:, hex:, hex(N): oder -)"));
        }
        steps_.push_back(std::move(step));
    }

    // Comma-separated bytes, continued on the next line after a trailing '\'.
    // Leaves lineNo_ at the last line used.
    std::string hexBytes(std::string_view piece) {
        std::string out;
        for (;;) {
            if (const auto semi = piece.find(';'); semi != std::string_view::npos)
                piece = piece.substr(0, semi);
            piece = trimSpacesAndTabsRight(piece);
            const bool more = piece.ends_with('\\');
            if (more)
                piece.remove_suffix(1);
            std::size_t start = 0;
            while (start <= piece.size()) {
                auto end = piece.find(',', start);
                const bool last = end == std::string_view::npos;
                if (last)
                    end = piece.size();
                const auto token =
                    trimSpacesAndTabsRight(trimSpacesAndTabsLeft(piece.substr(start, end - start)));
                if (token.empty()) {
                    if (!last)
                        fail(tr("leeres Byte in der Hex-Liste"));
                } else {
                    std::size_t p = 0;
                    const auto v = readHexNumber(token, p, 2);
                    if (!v || p != token.size())
                        fail(trf("ungültiges Hex-Byte \"{1}\"", {token}));
                    out.push_back(static_cast<char>(*v));
                }
                start = end + 1;
            }
            if (!more)
                return out;
            if (lineNo_ >= lines_.size())
                fail(tr("Zeile über das Dateiende hinaus fortgesetzt"));
            ++lineNo_;
            piece = trimSpacesAndTabsLeft(lines_[lineNo_ - 1]);
            if (piece.find('\0') != std::string_view::npos)
                fail(tr("NUL-Zeichen in der Zeile"));
        }
    }

    std::string text_;
    std::vector<std::string_view> lines_;
    std::vector<Step> steps_;
    std::size_t lineNo_ = 1;
    bool unicode_ = false;
};

std::string keyText(const Step& step) {
    std::string s(rootName(step.root));
    if (!step.path.empty())
        s += "\\" + step.path;
    return s;
}

LONG apply(Registry& reg, const std::vector<Step>& steps, std::string& error) {
    HKEY current = 0;
    const auto closeCurrent = [&] {
        if (current)
            reg.RegCloseKey(current);
        current = 0;
    };
    // `doing` is a marked text with the places line {1}, status {2}, subject {3}.
    const auto failed = [&](const Step& step, LONG st, std::string_view doing,
                            std::string_view subject) {
        error = trf(doing, {std::to_string(step.line), describe(st), subject});
        return st;
    };
    const LONG status = reg.transaction([&]() -> LONG {
        for (const auto& step : steps) {
            LONG st = ERROR_SUCCESS;
            switch (step.kind) {
                case Step::OpenKey: {
                    closeCurrent();
                    // Only ask for write access where the section writes, so a
                    // section that merely names an existing read-only key passes.
                    const DWORD sam = step.writesValues ? KEY_READ | KEY_SET_VALUE : KEY_READ;
                    st = reg.RegCreateKeyExA(step.root, step.path, 0, {}, REG_OPTION_NON_VOLATILE,
                                             sam, nullptr, &current, nullptr);
                    if (st)
                        return failed(step, st, trMark("Zeile {1}: {2} beim Anlegen von {3}"),
                                      keyText(step));
                    break;
                }
                case Step::DeleteTree:
                    closeCurrent();
                    st = deleteKeyTree(reg, step.root, step.path);
                    if (st && st != ERROR_FILE_NOT_FOUND)
                        return failed(step, st, trMark("Zeile {1}: {2} beim Löschen von {3}"),
                                      keyText(step));
                    break;
                case Step::SetValue:
                    st = reg.RegSetValueExA(current, step.name, 0, step.type,
                                            reinterpret_cast<const std::uint8_t*>(step.data.data()),
                                            static_cast<DWORD>(step.data.size()));
                    if (st)
                        return failed(step, st,
                                      trMark("Zeile {1}: {2} beim Setzen des Werts \"{3}\""),
                                      step.name);
                    break;
                case Step::DeleteValue:
                    st = reg.RegDeleteValueA(current, step.name);
                    if (st && st != ERROR_FILE_NOT_FOUND)
                        return failed(step, st,
                                      trMark("Zeile {1}: {2} beim Löschen des Werts \"{3}\""),
                                      step.name);
                    break;
            }
        }
        return ERROR_SUCCESS;
    });
    closeCurrent();
    if (status && error.empty())
        error = trf("{1} beim Anwenden der Datei", {describe(status)});
    return status;
}
}  // namespace

RegFileResult importRegText(Registry& registry, std::string_view bytes) {
    std::vector<Step> steps;
    try {
        steps = Parser(bytes).parse();
    } catch (const BadFile& bad) {
        return {ERROR_BADDB, trf("Zeile {1}: {2}", {std::to_string(bad.line), bad.what})};
    }
    RegFileResult result;
    result.status = apply(registry, steps, result.error);
    return result;
}

RegFileResult importRegFile(Registry& registry, const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return {ERROR_FILE_NOT_FOUND, trf("{1} kann nicht geöffnet werden", {file.string()})};
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        return {ERROR_BADDB, trf("{1} kann nicht gelesen werden", {file.string()})};
    return importRegText(registry, bytes);
}

}  // namespace kx::platform
