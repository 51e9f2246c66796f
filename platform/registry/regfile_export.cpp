// .reg export, in one transaction so that the file shows one state of the
// registry, written beside the target and renamed over it.
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <optional>
#include <system_error>
#include <vector>

#include "platform/registry/regfile.hpp"
#include "platform/registry/regfile_text.hpp"
#include "platform/registry/registry_rules.hpp"
#include "platform/runtime/text.hpp"
#include "platform/runtime/translation.hpp"

namespace kx::platform {
using namespace detail;

namespace {
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
                                 trf("Schlüssel nicht gefunden: {1}\\{2}", {path, part})};
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
    static std::string unwritableIn4(const std::string& what) {
        return trf("{1} lässt sich nicht in REGEDIT4 (Windows-1252) schreiben", {what});
    }

    static void check(LONG st, const std::string& key) {
        if (st)
            throw Unwritable{st, trf("{1} beim Lesen von {2}", {describe(st), key})};
    }

    // Names must fit on one line, and in REGEDIT4 into Windows-1252.
    void writable(std::string_view s, const std::string& what) const {
        if (s.find_first_of("\r\n") != std::string_view::npos)
            throw Unwritable{ERROR_INVALID_PARAMETER,
                             trf("{1} enthält einen Zeilenumbruch", {what})};
        if (!unicode_ && !fitsCp1252(s))
            throw Unwritable{ERROR_INVALID_PARAMETER, unwritableIn4(what)};
    }

    std::optional<std::string> findChild(HKEY key, std::string_view name) {
        std::string child;
        for (DWORD i = 0;; ++i) {
            const LONG st = enumKey(key, i, child);
            if (st == ERROR_NO_MORE_ITEMS)
                return std::nullopt;
            check(st, std::string(tr("Unterschlüssel")));
            if (winEqualNoCase(child, name))
                return child;
        }
    }

    LONG enumKey(HKEY key, DWORD index, std::string& name) {
        return enumSubKey(reg_, key, index, name);
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
        return unicode_ ? isValidUtf8(text) : fitsCp1252(text);
    }

    void emitKey(HKEY key, const std::string& path) {
        writable(path, trf("Schlüssel {1}", {path}));
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
        const std::string what = trf("Wert \"{1}\" von {2}", {name, path});
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
                    throw Unwritable{ERROR_INVALID_PARAMETER, unwritableIn4(what)};
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
    void appendHex(std::string_view line, std::string_view raw) {
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

std::expected<std::string, RegFileResult> exportRegText(Registry& registry, HKEY root,
                                                        std::string_view subKey,
                                                        RegFileFormat format) {
    if (rootName(root).empty())
        return std::unexpected(
            RegFileResult{ERROR_INVALID_HANDLE, std::string(tr("kein Hauptschlüssel"))});
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
            failure = {st, trf("{1} beim Lesen der Registrierung", {describe(st)})};
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
            return {ERROR_ACCESS_DENIED, trf("{1} kann nicht geschrieben werden", {file.string()})};
        }
    }
    std::error_code ec;
    std::filesystem::rename(temp, file, ec);
    if (ec) {
        std::filesystem::remove(temp, ec);
        return {ERROR_ACCESS_DENIED, trf("{1} kann nicht geschrieben werden", {file.string()})};
    }
    return {};
}

}  // namespace kx::platform
