#include "platform/files/ini.hpp"

#include <atomic>
#include <cstring>
#include <iterator>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/files/fs_fd.hpp"
#include "platform/runtime/system_reason.hpp"
#include "platform/runtime/text.hpp"
#include "platform/runtime/translation.hpp"

namespace kx::platform {
namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

// `text`: the message in German, "{1}" the file and "{2}" the system's reason.
Error errnoError(int err, std::string_view text, const std::filesystem::path& file) {
    const std::uint32_t code = err == ENOENT ? 2 : (err == EACCES || err == EPERM) ? 5 : 29;
    return {code, trf(text, {file.string(), systemReason(err)})};
}

}  // namespace

IniFile IniFile::parse(std::string_view text) {
    IniFile ini;
    if (text.starts_with(kBom)) {
        ini.byteOrderMark_ = true;
        text.remove_prefix(kBom.size());
    }
    const auto firstNl = text.find('\n');
    if (firstNl != std::string_view::npos && firstNl > 0 && text[firstNl - 1] == '\r') {
        ini.newline_ = "\r\n";
    }
    ini.sections_.push_back({});  // the lines before the first header

    std::size_t pos = 0;
    while (pos < text.size()) {
        auto end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view raw = text.substr(pos, end - pos);
        pos = end + 1;
        // Every CR before the line feed goes: a stray one kept in the line
        // would come back as part of a CR LF line end on the next read, and
        // each rewrite would change the file again.
        while (raw.ends_with('\r')) raw.remove_suffix(1);

        const std::string_view body = trimSpacesAndTabs(raw);
        if (body.starts_with('[')) {
            // Windows takes the name up to "]" or, without one, to the line's end.
            auto close = body.find(']');
            if (close == std::string_view::npos)
                close = body.size();
            Section section;
            section.name = std::string(trimSpacesAndTabs(body.substr(1, close - 1)));
            section.header = std::string(raw);
            ini.sections_.push_back(std::move(section));
            continue;
        }
        Line line;
        line.raw = std::string(raw);
        const auto eq = body.find('=');
        if (!body.starts_with(';') && eq != std::string_view::npos && eq > 0) {
            const auto key = trimSpacesAndTabs(body.substr(0, eq));
            if (!key.empty()) {
                line.key = std::string(key);
                line.value = std::string(trimSpacesAndTabs(body.substr(eq + 1)));
            }
        }
        ini.sections_.back().lines.push_back(std::move(line));
    }
    return ini;
}

std::expected<IniFile, Error> IniFile::load(const std::filesystem::path& file) {
    // O_NONBLOCK so that a FIFO put in the file's place cannot hang us; the
    // fstat below then refuses anything that is not a regular file.
    fsfd::UniqueFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.valid())
        return std::unexpected(errnoError(errno, trMark("kann {1} nicht öffnen: {2}"), file));
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        return std::unexpected(errnoError(errno, trMark("kann {1} nicht abfragen: {2}"), file));
    if (!S_ISREG(st.st_mode)) {
        return std::unexpected(Error{5, trf("keine gewöhnliche Datei: {1}", {file.string()})});
    }
    std::string text;
    char buf[16384];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return std::unexpected(errnoError(errno, trMark("kann {1} nicht lesen: {2}"), file));
        }
        if (n == 0)
            break;
        text.append(buf, static_cast<std::size_t>(n));
    }
    return parse(text);
}

std::string IniFile::text() const {
    std::string out;
    if (byteOrderMark_)
        out.append(kBom);
    for (const auto& section : sections_) {
        if (&section != &sections_.front()) {
            out.append(section.header.empty() ? "[" + section.name + "]" : section.header);
            out.append(newline_);
        }
        for (const auto& line : section.lines) {
            if (line.dirty) {
                out.append(line.key).append("=").append(line.value);
            } else {
                out.append(line.raw);
            }
            out.append(newline_);
        }
    }
    return out;
}

std::expected<void, Error> IniFile::save(const std::filesystem::path& file) const {
    static std::atomic<unsigned> counter{0};
    const auto dir = file.parent_path().empty() ? std::filesystem::path(".") : file.parent_path();
    const auto temp = dir / (file.filename().string() + ".tmp-" + std::to_string(::getpid()) + "-" +
                             std::to_string(counter++));

    // Keep the mode of the file being replaced, so a rewrite does not widen access.
    mode_t mode = 0644;
    struct stat st {};
    if (::lstat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        mode = st.st_mode & 07777;

    fsfd::UniqueFd fd(
        ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
    if (!fd.valid())
        return std::unexpected(errnoError(errno, trMark("kann {1} nicht anlegen: {2}"), temp));
    const std::string content = text();
    int err = fsfd::writeFully(fd.get(), content);
    if (err == 0 && ::fchmod(fd.get(), mode) != 0)
        err = errno;  // the umask may have cut bits
    if (err == 0 && ::fsync(fd.get()) != 0)
        err = errno;
    fd.reset();
    if (err == 0) {
        files::beforeFileChange();
        if (::rename(temp.c_str(), file.c_str()) != 0)
            err = errno;
    }
    if (err != 0) {
        ::unlink(temp.c_str());
        return std::unexpected(errnoError(err, trMark("kann {1} nicht schreiben: {2}"), file));
    }
    return {};
}

IniFile::Section* IniFile::findSection(std::string_view name) {
    for (std::size_t i = 1; i < sections_.size(); ++i) {
        if (winEqualNoCase(sections_[i].name, name))
            return &sections_[i];
    }
    return nullptr;
}

const IniFile::Section* IniFile::findSection(std::string_view name) const {
    return const_cast<IniFile*>(this)->findSection(name);
}

std::optional<std::string> IniFile::get(std::string_view section, std::string_view key) const {
    const Section* s = findSection(section);
    if (s == nullptr)
        return std::nullopt;
    for (const auto& line : s->lines) {
        // A value set here is kept as given until it is written; it reads
        // back trimmed, as it will from the file.
        if (!line.key.empty() && winEqualNoCase(line.key, key))
            return std::string(trimSpacesAndTabs(line.value));
    }
    return std::nullopt;
}

std::string IniFile::get(std::string_view section, std::string_view key,
                         std::string_view fallback) const {
    auto value = get(section, key);
    return value ? *value : std::string(fallback);
}

void IniFile::set(std::string_view section, std::string_view key, std::string_view value) {
    if (sections_.empty())
        sections_.push_back({});
    Section* s = findSection(section);
    if (s == nullptr) {
        Section fresh;
        fresh.name = std::string(section);
        sections_.push_back(std::move(fresh));
        s = &sections_.back();
    }
    for (auto& line : s->lines) {
        if (!line.key.empty() && winEqualNoCase(line.key, key)) {
            if (line.value != value) {
                line.value = std::string(value);
                line.dirty = true;
            }
            return;
        }
    }
    Line line;
    line.key = std::string(key);
    line.value = std::string(value);
    line.dirty = true;
    // A new key goes after the section's last key, ahead of trailing blank
    // lines, so the blank line that separates sections stays where it was.
    auto at = s->lines.end();
    while (at != s->lines.begin() && std::prev(at)->key.empty() &&
           trimSpacesAndTabs(std::prev(at)->raw).empty()) {
        --at;
    }
    s->lines.insert(at, std::move(line));
}

bool IniFile::removeKey(std::string_view section, std::string_view key) {
    Section* s = findSection(section);
    if (s == nullptr)
        return false;
    const auto before = s->lines.size();
    std::erase_if(s->lines, [&](const Line& line) {
        return !line.key.empty() && winEqualNoCase(line.key, key);
    });
    return s->lines.size() != before;
}

bool IniFile::removeSection(std::string_view section) {
    for (std::size_t i = 1; i < sections_.size(); ++i) {
        if (winEqualNoCase(sections_[i].name, section)) {
            sections_.erase(sections_.begin() + static_cast<std::ptrdiff_t>(i));
            return true;
        }
    }
    return false;
}

bool IniFile::hasSection(std::string_view section) const {
    return findSection(section) != nullptr;
}

std::vector<std::string> IniFile::sections() const {
    std::vector<std::string> names;
    for (std::size_t i = 1; i < sections_.size(); ++i) {
        bool seen = false;
        for (const auto& n : names) seen = seen || winEqualNoCase(n, sections_[i].name);
        if (!seen)
            names.push_back(sections_[i].name);
    }
    return names;
}

std::vector<std::string> IniFile::keys(std::string_view section) const {
    std::vector<std::string> names;
    const Section* s = findSection(section);
    if (s == nullptr)
        return names;
    for (const auto& line : s->lines) {
        if (line.key.empty())
            continue;
        bool seen = false;
        for (const auto& n : names) seen = seen || winEqualNoCase(n, line.key);
        if (!seen)
            names.push_back(line.key);
    }
    return names;
}

}  // namespace kx::platform
