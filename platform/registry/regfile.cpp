// .reg import and export. Import parses the whole file into a list of steps
// before touching the registry, then applies them in one transaction, so a bad
// file or a refused write never leaves half a file behind.
//
// Text handling: the engine keeps registry text as UTF-8. REGEDIT4 files are
// Windows-1252 throughout, including the bytes of hex(1)/hex(2)/hex(7) data.
// Version 5 files are UTF-16LE and so is string data in hex form. Bytes that are
// not valid UTF-8 travel through UTF-16 as the lone surrogates U+DC80..U+DCFF,
// so that an export of such data imports back unchanged.
#include "platform/registry/regfile.hpp"

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <system_error>
#include <vector>

#include "platform/runtime/text.hpp"

namespace kx::platform {
namespace {

constexpr std::string_view kHeader4 = "REGEDIT4";
constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view kNewline = "\r\n";

bool isStringType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// ---------------------------------------------------------------------------
// UTF-8 <-> UTF-16LE

bool isCont(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// Decodes one code point of strictly valid UTF-8 (no overlong forms, no
// surrogates); answers false and leaves `pos` alone when the bytes at `pos` are
// not one.
bool nextStrict(std::string_view s, std::size_t& pos, char32_t& cp) {
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char c = at(pos);
    if (c < 0x80) {
        cp = c;
        ++pos;
        return true;
    }
    std::size_t len = 0;
    unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        if (c == 0xE0)
            lo = 0xA0;
        if (c == 0xED)
            hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        if (c == 0xF0)
            lo = 0x90;
        if (c == 0xF4)
            hi = 0x8F;
    } else {
        return false;
    }
    if (pos + len > s.size())
        return false;
    if (at(pos + 1) < lo || at(pos + 1) > hi)
        return false;
    for (std::size_t i = 2; i < len; ++i) {
        if (!isCont(at(pos + i)))
            return false;
    }
    char32_t v = c & (0xFF >> (len + 1));
    for (std::size_t i = 1; i < len; ++i) v = (v << 6) | (at(pos + i) & 0x3F);
    cp = v;
    pos += len;
    return true;
}

bool validUtf8(std::string_view s) {
    std::size_t pos = 0;
    char32_t cp = 0;
    while (pos < s.size()) {
        if (!nextStrict(s, pos, cp))
            return false;
    }
    return true;
}

void putUnit(std::string& out, char32_t unit) {
    out.push_back(static_cast<char>(unit & 0xFF));
    out.push_back(static_cast<char>((unit >> 8) & 0xFF));
}

std::string utf8ToUtf16le(std::string_view s) {
    std::string out;
    out.reserve(s.size() * 2);
    std::size_t pos = 0;
    while (pos < s.size()) {
        char32_t cp = 0;
        if (!nextStrict(s, pos, cp)) {
            putUnit(out, 0xDC00 + static_cast<unsigned char>(s[pos]));
            ++pos;
        } else if (cp >= 0x10000) {
            putUnit(out, 0xD800 + ((cp - 0x10000) >> 10));
            putUnit(out, 0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            putUnit(out, cp);
        }
    }
    return out;
}

std::string utf16leToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    const std::size_t units = bytes.size() / 2;
    const auto unit = [&](std::size_t i) -> char32_t {
        return static_cast<unsigned char>(bytes[2 * i]) |
               (static_cast<char32_t>(static_cast<unsigned char>(bytes[2 * i + 1])) << 8);
    };
    for (std::size_t i = 0; i < units; ++i) {
        const char32_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units && unit(i + 1) >= 0xDC00 &&
            unit(i + 1) <= 0xDFFF) {
            appendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (unit(i + 1) - 0xDC00));
            ++i;
        } else if (u >= 0xDC80 && u <= 0xDCFF) {
            out.push_back(static_cast<char>(u - 0xDC00));  // a byte that was not UTF-8
        } else {
            appendUtf8(out, u);  // other lone surrogates kept in the 3-byte form
        }
    }
    if (bytes.size() % 2)
        out.push_back(bytes.back());
    return out;
}

// Text that survives the trip to Windows-1252 and back unchanged.
bool fitsCp1252(std::string_view s) {
    return fromCp1252(toCp1252(s)) == s;
}

// ---------------------------------------------------------------------------
// Parsing

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

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimBlanksLeft(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    return s;
}
std::string_view trimBlanksRight(std::string_view s) {
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

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
    return s.size() >= prefix.size() && lower(s.substr(0, prefix.size())) == prefix;
}

class Parser {
  public:
    explicit Parser(std::string_view bytes) { decode(bytes); }

    std::vector<Step> parse() {
        split();
        const auto header = trimBlanksRight(lines_.empty() ? std::string_view{} : lines_[0]);
        if (header == kHeader4) {
            unicode_ = false;
        } else if (header == kHeader5) {
            unicode_ = true;
        } else {
            throw BadFile{1, "not a registry file: the first line must be \"REGEDIT4\" or \"" +
                                 std::string(kHeader5) + "\""};
        }
        std::optional<std::size_t> section;  // index of the current OpenKey step
        for (lineNo_ = 2; lineNo_ <= lines_.size(); ++lineNo_) {
            const auto line = trimBlanksLeft(lines_[lineNo_ - 1]);
            if (line.empty() || line.front() == ';')
                continue;
            if (line.find('\0') != std::string_view::npos)
                fail("NUL character in the line");
            if (line.front() == '[') {
                section = keyLine(line);
            } else if (line.front() == '"' || line.front() == '@') {
                if (!section)
                    fail("value line outside a key section");
                valueLine(line);
                steps_[*section].writesValues = true;
            } else {
                fail("expected [KEY], a value line or a comment");
            }
        }
        return std::move(steps_);
    }

  private:
    [[noreturn]] void fail(std::string what) const { throw BadFile{lineNo_, std::move(what)}; }

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

    // "[HKEY_...\path]" or "[-HKEY_...\path]"; answers the new OpenKey step, or
    // nothing for a deletion (values may not follow it).
    std::optional<std::size_t> keyLine(std::string_view line) {
        line = trimBlanksRight(line);
        if (line.size() < 2 || line.back() != ']')
            fail("key line without closing ']'");
        auto inner = line.substr(1, line.size() - 2);
        const bool remove = inner.starts_with('-');
        if (remove)
            inner.remove_prefix(1);
        const auto slash = inner.find('\\');
        const auto rootPart = inner.substr(0, slash);
        const HKEY root = rootFromName(rootPart);
        if (!root)
            fail("unknown root key \"" + std::string(rootPart) + "\"");
        const auto path =
            slash == std::string_view::npos ? std::string_view{} : inner.substr(slash + 1);
        Step step{remove ? Step::DeleteTree : Step::OpenKey, lineNo_};
        step.root = root;
        step.path = path;
        if (remove) {
            if (path.find_first_not_of('\\') == std::string_view::npos)
                fail("a root key cannot be deleted");
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
                fail("unterminated string");
            const char c = line[pos];
            if (c == '"') {
                ++pos;
                return out;
            }
            if (c == '\\') {
                if (pos + 1 >= line.size())
                    fail("unterminated string");
                const char next = line[pos + 1];
                if (next != '\\' && next != '"')
                    fail(std::string("unknown escape \\") + next +
                         " in a string (a backslash is written \\\\)");
                out.push_back(next);
                pos += 2;
                continue;
            }
            out.push_back(c);
            ++pos;
        }
    }

    void expectEnd(std::string_view line, std::size_t pos) const {
        const auto rest = trimBlanksLeft(line.substr(pos));
        if (!rest.empty() && rest.front() != ';')
            fail("unexpected text after the value: \"" + std::string(rest) + "\"");
    }

    void valueLine(std::string_view line) {
        Step step{Step::SetValue, lineNo_};
        std::size_t pos = 0;
        if (line.front() == '@') {
            pos = 1;
        } else {
            step.name = quoted(line, pos);
        }
        while (pos < line.size() && isBlank(line[pos])) ++pos;
        if (pos >= line.size() || line[pos] != '=')
            fail("expected '=' after the value name");
        ++pos;
        while (pos < line.size() && isBlank(line[pos])) ++pos;
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
                fail("dword: needs 1 to 8 hex digits");
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
                    fail("bad type in hex(...)");
                ++pos;
                step.type = *t;
            }
            if (pos >= line.size() || line[pos] != ':')
                fail("expected ':' after hex");
            const auto raw = hexBytes(line.substr(pos + 1));
            if (isStringType(step.type)) {
                step.data = unicode_ ? utf16leToUtf8(raw) : fromCp1252(raw);
            } else {
                step.data = raw;
            }
        } else {
            fail("unknown value data (expected \"text\", dword:, hex:, hex(N): or -)");
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
            piece = trimBlanksRight(piece);
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
                    trimBlanksRight(trimBlanksLeft(piece.substr(start, end - start)));
                if (token.empty()) {
                    if (!last)
                        fail("empty byte in hex list");
                } else {
                    std::size_t p = 0;
                    const auto v = readHexNumber(token, p, 2);
                    if (!v || p != token.size())
                        fail("bad hex byte \"" + std::string(token) + "\"");
                    out.push_back(static_cast<char>(*v));
                }
                start = end + 1;
            }
            if (!more)
                return out;
            if (lineNo_ >= lines_.size())
                fail("line continued past the end of the file");
            ++lineNo_;
            piece = trimBlanksLeft(lines_[lineNo_ - 1]);
            if (piece.find('\0') != std::string_view::npos)
                fail("NUL character in the line");
        }
    }

    std::string text_;
    std::vector<std::string_view> lines_;
    std::vector<Step> steps_;
    std::size_t lineNo_ = 1;
    bool unicode_ = false;
};

std::string describe(LONG status) {
    switch (status) {
        case ERROR_ACCESS_DENIED:
            return "access denied";
        case ERROR_FILE_NOT_FOUND:
            return "not found";
        case ERROR_INVALID_PARAMETER:
            return "invalid name or data";
        case ERROR_BUSY:
            return "registry busy";
        default:
            return "error " + std::to_string(status);
    }
}

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
    const auto failed = [&](const Step& step, LONG st, const std::string& doing) {
        error = "line " + std::to_string(step.line) + ": " + describe(st) + " " + doing;
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
                        return failed(step, st, "creating " + keyText(step));
                    break;
                }
                case Step::DeleteTree:
                    closeCurrent();
                    st = deleteKeyTree(reg, step.root, step.path);
                    if (st && st != ERROR_FILE_NOT_FOUND)
                        return failed(step, st, "deleting " + keyText(step));
                    break;
                case Step::SetValue:
                    st = reg.RegSetValueExA(current, step.name, 0, step.type,
                                            reinterpret_cast<const std::uint8_t*>(step.data.data()),
                                            static_cast<DWORD>(step.data.size()));
                    if (st)
                        return failed(step, st, "setting value \"" + step.name + "\"");
                    break;
                case Step::DeleteValue:
                    st = reg.RegDeleteValueA(current, step.name);
                    if (st && st != ERROR_FILE_NOT_FOUND)
                        return failed(step, st, "deleting value \"" + step.name + "\"");
                    break;
            }
        }
        return ERROR_SUCCESS;
    });
    closeCurrent();
    if (status && error.empty())
        error = describe(status) + " while applying the file";
    return status;
}

// ---------------------------------------------------------------------------
// Export

struct Unwritable {
    LONG status;
    std::string what;
};

// Closes a handle when leaving the scope, also by an exception.
struct OpenKey {
    explicit OpenKey(Registry& r) : reg(r) {}
    ~OpenKey() {
        if (h)
            reg.RegCloseKey(h);
    }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;
    Registry& reg;
    HKEY h = 0;
};

class Exporter {
  public:
    Exporter(Registry& reg, RegFileFormat format)
        : reg_(reg), unicode_(format == RegFileFormat::Version5) {}

    /// Fills text_ (UTF-8) or throws Unwritable.
    void run(HKEY root, std::string_view subKey) {
        text_ = std::string(unicode_ ? kHeader5 : kHeader4);
        text_ += kNewline;
        text_ += kNewline;
        // The file names keys as they are spelled in the registry, not as asked.
        std::string path(rootName(root));
        OpenKey key(reg_);
        check(reg_.RegOpenKeyExA(root, {}, 0, KEY_READ, &key.h), path);
        std::size_t start = 0;
        while (start <= subKey.size()) {
            auto end = subKey.find('\\', start);
            if (end == std::string_view::npos)
                end = subKey.size();
            const auto part = subKey.substr(start, end - start);
            start = end + 1;
            if (part.empty())
                continue;
            const auto spelled = findChild(key.h, part);
            if (!spelled)
                throw Unwritable{ERROR_FILE_NOT_FOUND,
                                 "key not found: " + path + "\\" + std::string(part)};
            OpenKey child(reg_);
            path += "\\" + *spelled;
            check(reg_.RegOpenKeyExA(key.h, *spelled, 0, KEY_READ, &child.h), path);
            std::swap(key.h, child.h);
        }
        emitKey(key.h, path);
    }

    std::string bytes() const {
        if (unicode_)
            return "\xFF\xFE" + utf8ToUtf16le(text_);
        return toCp1252(text_);  // every piece was checked by writable()
    }

  private:
    static void check(LONG st, const std::string& key) {
        if (st)
            throw Unwritable{st, describe(st) + " reading " + key};
    }

    // Names must fit on one line, and in REGEDIT4 into Windows-1252.
    void writable(std::string_view s, const std::string& what) const {
        if (s.find_first_of("\r\n") != std::string_view::npos)
            throw Unwritable{ERROR_INVALID_PARAMETER, what + " holds a line break"};
        if (!unicode_ && !fitsCp1252(s))
            throw Unwritable{ERROR_INVALID_PARAMETER,
                             what + " cannot be written in REGEDIT4 (Windows-1252)"};
    }

    std::optional<std::string> findChild(HKEY key, std::string_view name) {
        std::string child;
        for (DWORD i = 0;; ++i) {
            const LONG st = enumKey(key, i, child);
            if (st == ERROR_NO_MORE_ITEMS)
                return std::nullopt;
            check(st, "subkeys");
            if (iequals(child, name))
                return child;
        }
    }

    LONG enumKey(HKEY key, DWORD index, std::string& name) {
        std::vector<char> buffer(256);
        for (;;) {
            DWORD cch = static_cast<DWORD>(buffer.size());
            const LONG st = reg_.RegEnumKeyExA(key, index, buffer.data(), &cch, nullptr, nullptr,
                                               nullptr, nullptr);
            if (st == ERROR_MORE_DATA && buffer.size() < (1u << 20)) {
                buffer.resize(buffer.size() * 4);
                continue;
            }
            if (st == ERROR_SUCCESS)
                name.assign(buffer.data(), cch);
            return st;
        }
    }

    LONG enumValue(HKEY key, DWORD index, std::string& name, DWORD& type, std::string& data) {
        std::vector<char> buffer(256);
        for (;;) {
            DWORD cch = static_cast<DWORD>(buffer.size());
            DWORD size = 0;
            LONG st =
                reg_.RegEnumValueA(key, index, buffer.data(), &cch, nullptr, &type, nullptr, &size);
            if (st == ERROR_MORE_DATA && buffer.size() < (1u << 20)) {
                buffer.resize(buffer.size() * 4);
                continue;
            }
            if (st)
                return st;
            name.assign(buffer.data(), cch);
            data.resize(size);
            cch = static_cast<DWORD>(buffer.size());
            st = reg_.RegEnumValueA(key, index, buffer.data(), &cch, nullptr, &type,
                                    reinterpret_cast<std::uint8_t*>(data.data()), &size);
            data.resize(size);
            return st;  // inside the export's transaction nothing changes in between
        }
    }

    static std::string escape(std::string_view s) {
        std::string out;
        for (const char c : s) {
            if (c == '\\' || c == '"')
                out.push_back('\\');
            out.push_back(c);
        }
        return out;
    }

    // REG_SZ goes out as "text" when importing that text gives the same bytes:
    // one terminating NUL, none inside, no line breaks, representable text.
    bool quotable(std::string_view data) const {
        if (data.empty() || data.back() != '\0')
            return false;
        const auto text = data.substr(0, data.size() - 1);
        if (text.find_first_of(std::string_view("\0\r\n", 3)) != std::string_view::npos)
            return false;
        return unicode_ ? validUtf8(text) : fitsCp1252(text);
    }

    void emitKey(HKEY key, const std::string& path) {
        writable(path, "key " + path);
        text_ += "[" + path + "]";
        text_ += kNewline;
        std::string name, data;
        DWORD type = 0;
        for (DWORD i = 0;; ++i) {
            const LONG st = enumValue(key, i, name, type, data);
            if (st == ERROR_NO_MORE_ITEMS)
                break;
            check(st, path);
            emitValue(path, name, type, data);
        }
        text_ += kNewline;
        std::vector<std::string> children;
        for (DWORD i = 0;; ++i) {
            const LONG st = enumKey(key, i, name);
            if (st == ERROR_NO_MORE_ITEMS)
                break;
            check(st, path);
            children.push_back(name);
        }
        for (const auto& child : children) {
            OpenKey h(reg_);
            const std::string childPath = path + "\\" + child;
            check(reg_.RegOpenKeyExA(key, child, 0, KEY_READ, &h.h), childPath);
            emitKey(h.h, childPath);
        }
    }

    void emitValue(const std::string& path, const std::string& name, DWORD type,
                   const std::string& data) {
        const std::string what = "value \"" + name + "\" of " + path;
        writable(name, what);
        std::string line = name.empty() ? "@=" : "\"" + escape(name) + "\"=";
        if (type == REG_SZ && quotable(data)) {
            line += "\"" + escape(std::string_view(data).substr(0, data.size() - 1)) + "\"";
            text_ += line;
            text_ += kNewline;
            return;
        }
        if (type == REG_DWORD && data.size() == 4) {
            DWORD v = 0;
            for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(data[i]);
            char buf[16];
            std::snprintf(buf, sizeof buf, "dword:%08x", v);
            text_ += line + buf;
            text_ += kNewline;
            return;
        }
        std::string raw = data;
        if (isStringType(type)) {
            if (unicode_) {
                raw = utf8ToUtf16le(data);
            } else {
                if (!fitsCp1252(data))
                    throw Unwritable{ERROR_INVALID_PARAMETER,
                                     what + " cannot be written in REGEDIT4 (Windows-1252)"};
                raw = toCp1252(data);
            }
        }
        if (type == REG_BINARY) {
            line += "hex:";
        } else {
            char buf[24];
            std::snprintf(buf, sizeof buf, "hex(%x):", type);
            line += buf;
        }
        appendHex(line, raw);
    }

    // Bytes as "xx,xx,...", wrapped before column 80 as regedit does.
    void appendHex(std::string line, std::string_view raw) {
        static constexpr char kDigits[] = "0123456789abcdef";
        std::size_t column = line.size();
        text_ += line;
        for (std::size_t i = 0; i < raw.size(); ++i) {
            const auto b = static_cast<unsigned char>(raw[i]);
            const bool last = i + 1 == raw.size();
            const std::size_t width = last ? 2 : 3;
            if (column > 2 && column + width + 1 > 80) {
                text_ += "\\";
                text_ += kNewline;
                text_ += "  ";
                column = 2;
            }
            text_.push_back(kDigits[b >> 4]);
            text_.push_back(kDigits[b & 15]);
            if (!last)
                text_.push_back(',');
            column += width;
        }
        text_ += kNewline;
    }

    Registry& reg_;
    bool unicode_;
    std::string text_;
};

}  // namespace

RegFileResult importRegText(Registry& registry, std::string_view bytes) {
    std::vector<Step> steps;
    try {
        steps = Parser(bytes).parse();
    } catch (const BadFile& bad) {
        return {ERROR_BADDB, "line " + std::to_string(bad.line) + ": " + bad.what};
    }
    RegFileResult result;
    result.status = apply(registry, steps, result.error);
    return result;
}

RegFileResult importRegFile(Registry& registry, const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return {ERROR_FILE_NOT_FOUND, "cannot open " + file.string()};
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        return {ERROR_BADDB, "cannot read " + file.string()};
    return importRegText(registry, bytes);
}

std::expected<std::string, RegFileResult> exportRegText(Registry& registry, HKEY root,
                                                        std::string_view subKey,
                                                        RegFileFormat format) {
    if (rootName(root).empty())
        return std::unexpected(RegFileResult{ERROR_INVALID_HANDLE, "not a root key"});
    Exporter exporter(registry, format);
    RegFileResult failure;
    // One transaction, so that the file shows one state of the registry even
    // while other processes write.
    const LONG st = registry.transaction([&]() -> LONG {
        try {
            exporter.run(root, subKey);
            return ERROR_SUCCESS;
        } catch (const Unwritable& u) {
            failure = {u.status, u.what};
            return u.status;
        }
    });
    if (st) {
        if (failure.status == ERROR_SUCCESS)
            failure = {st, describe(st) + " reading the registry"};
        return std::unexpected(failure);
    }
    return exporter.bytes();
}

RegFileResult exportRegFile(Registry& registry, HKEY root, std::string_view subKey,
                            const std::filesystem::path& file, RegFileFormat format) {
    auto text = exportRegText(registry, root, subKey, format);
    if (!text)
        return text.error();
    // Written beside the target and renamed over it, so that a failure never
    // leaves a truncated file where a good one was.
    auto temp = file;
    temp += ".kxtmp" + std::to_string(::getpid());
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(text->data(), static_cast<std::streamsize>(text->size()));
        out.close();
        if (!out) {
            std::error_code ec;
            std::filesystem::remove(temp, ec);
            return {ERROR_ACCESS_DENIED, "cannot write " + file.string()};
        }
    }
    std::error_code ec;
    std::filesystem::rename(temp, file, ec);
    if (ec) {
        std::filesystem::remove(temp, ec);
        return {ERROR_ACCESS_DENIED, "cannot write " + file.string()};
    }
    return {};
}

}  // namespace kx::platform
