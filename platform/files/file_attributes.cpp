// The Windows attribute bits of files and folders: kept in an extended
// attribute, or in a side table of the machine where the file system has none.
#include "platform/files/file_attributes.hpp"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <string>

#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "platform/files/file_walk.hpp"
#include "platform/files/fs_fd.hpp"
#include "platform/runtime/error.hpp"
#include "platform/runtime/translation.hpp"

namespace kx::platform::files {
using namespace detail;
namespace {

using fsfd::UniqueFd;
using namespace walk;
constexpr const char* kAttributeName = "user.kolvanex.attributes";
constexpr const char* kSideTable = "attributes.tbl";
constexpr const char* kSideTableLock = "attributes.lock";

std::atomic<bool> gForceSideTable{false};

// ---- stored attribute bits ----------------------------------------------------

std::uint32_t parseBits(std::string_view text) {
    std::uint32_t v = 0;
    std::from_chars(text.data(), text.data() + text.size(), v);
    return v & fileattr::Settable;
}

// The side table for file systems without user extended attributes: one
// line "device inode bits" per file, keyed by identity so a rename keeps the
// bits. Rewritten whole under a lock file, through a temporary and a rename,
// so a crash leaves the old or the new table.
class SideTable {
  public:
    explicit SideTable(const std::filesystem::path& prefix)
        : table_(prefix / kSideTable), lock_(prefix / kSideTableLock) {}

    std::uint32_t get(dev_t dev, ino_t ino) {
        Locked locked(lock_, LOCK_SH);
        const auto map = read();
        const auto it = map.find({dev, ino});
        return it == map.end() ? 0 : it->second;
    }

    bool set(dev_t dev, ino_t ino, std::uint32_t bits) {
        Locked locked(lock_, LOCK_EX);
        if (!locked.ok())
            return false;
        auto map = read();
        if (bits == 0) {
            if (map.erase({dev, ino}) == 0)
                return true;
        } else {
            map[{dev, ino}] = bits;
        }
        return write(map);
    }

  private:
    using Key = std::pair<dev_t, ino_t>;

    class Locked {
      public:
        Locked(const std::filesystem::path& file, int how)
            : fd_(::open(file.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644)) {
            if (fd_.valid()) {
                while (::flock(fd_.get(), how) != 0 && errno == EINTR) {
                }
            }
        }
        bool ok() const { return fd_.valid(); }

      private:
        UniqueFd fd_;
    };

    std::map<Key, std::uint32_t> read() const {
        std::map<Key, std::uint32_t> map;
        FILE* f = std::fopen(table_.c_str(), "re");
        if (f == nullptr)
            return map;
        unsigned long long dev = 0;
        unsigned long long ino = 0;
        unsigned bits = 0;
        while (std::fscanf(f, "%llu %llu %u", &dev, &ino, &bits) == 3) {
            map[{static_cast<dev_t>(dev), static_cast<ino_t>(ino)}] = bits & fileattr::Settable;
        }
        std::fclose(f);
        return map;
    }

    bool write(const std::map<Key, std::uint32_t>& map) const {
        std::string text;
        for (const auto& [key, bits] : map) {
            text += std::to_string(key.first) + " " + std::to_string(key.second) + " " +
                    std::to_string(bits) + "\n";
        }
        const auto temp = table_.string() + ".tmp";
        UniqueFd fd(
            ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644));
        if (!fd.valid())
            return false;
        if (fsfd::writeFully(fd.get(), text) != 0 || ::fsync(fd.get()) != 0)
            return false;
        fd.reset();
        beforeFileChange();
        return ::rename(temp.c_str(), table_.c_str()) == 0;
    }

    std::filesystem::path table_;
    std::filesystem::path lock_;
};

bool unsupported(int err) {
    return err == ENOTSUP || err == EOPNOTSUPP;
}

// The stored bits of an entry, looked up by path without following a link.
std::uint32_t storedBits(Machine& machine, const std::filesystem::path& host,
                         const struct stat& st) {
    if (!gForceSideTable) {
        char buf[32];
        const ssize_t n = ::lgetxattr(host.c_str(), kAttributeName, buf, sizeof buf);
        if (n >= 0)
            return parseBits(std::string_view(buf, static_cast<std::size_t>(n)));
        if (!unsupported(errno))
            return 0;  // ENODATA: nothing stored
    }
    return SideTable(machine.prefix()).get(st.st_dev, st.st_ino);
}

// Stores bits on an open file or folder; 0 removes them.
bool storeBits(Machine& machine, int fd, const struct stat& st, std::uint32_t bits) {
    beforeFileChange();
    if (!gForceSideTable) {
        int rc = 0;
        if (bits == 0) {
            rc = ::fremovexattr(fd, kAttributeName);
            if (rc != 0 && errno == ENODATA)
                rc = 0;
        } else {
            const std::string text = std::to_string(bits);
            rc = ::fsetxattr(fd, kAttributeName, text.data(), text.size(), 0);
        }
        if (rc == 0)
            return true;
        if (!unsupported(errno))
            return false;
    }
    return SideTable(machine.prefix()).set(st.st_dev, st.st_ino, bits);
}

// Forgets bits kept for an inode that is going away (or was just reused), so
// the side table does not hand them to an unrelated file later.
}  // namespace

namespace detail {

bool sideTableInUse(Machine& machine) {
    std::error_code ec;
    return gForceSideTable || std::filesystem::exists(machine.prefix() / kSideTable, ec);
}

void forgetBits(Machine& machine, const struct stat& st) {
    if (sideTableInUse(machine))
        SideTable(machine.prefix()).set(st.st_dev, st.st_ino, 0);
}

// The Windows attributes of what statOf(..., false) looked at.
std::uint32_t attributesOf(Machine& machine, const HostStat& entry) {
    const struct stat& st = entry.st;
    std::uint32_t bits = 0;
    if (S_ISLNK(st.st_mode)) {
        // User attributes cannot sit on a link; it is shown as what it is.
        bits = fileattr::ReparsePoint;
        struct stat target {};
        if (::stat(entry.host.c_str(), &target) == 0 && S_ISDIR(target.st_mode))
            bits |= fileattr::Directory;
        return bits;
    }
    bits = storedBits(machine, entry.host, st);
    if (S_ISDIR(st.st_mode)) {
        bits |= fileattr::Directory;
    } else {
        // For files the mode is the truth: a chmod from outside shows as well.
        bits &= ~fileattr::ReadOnly;
        if (isReadOnlyFile(st))
            bits |= fileattr::ReadOnly;
    }
    return bits == 0 ? fileattr::Normal : bits;
}

}  // namespace detail

void forceAttributeSideTable(bool force) {
    gForceSideTable = force;
}

std::expected<std::uint32_t, Error> attributes(Machine& machine, std::string_view path) {
    auto entry = statOf(machine, path, false);
    KX_PROPAGATE(entry);
    return attributesOf(machine, *entry);
}

std::expected<void, Error> setAttributes(Machine& machine, std::string_view path,
                                         std::uint32_t attrs) {
    auto entry = lookAt(machine, path);
    KX_PROPAGATE(entry);
    const int dir = entry->parent.dir.get();
    const char* name = entry->parent.name.c_str();
    struct stat& st = entry->st;  // looked at again once the file is open
    if (S_ISLNK(st.st_mode)) {
        return std::unexpected(fail(Error::AccessDenied, kRefusedLink, path));
    }
    if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
        return std::unexpected(
            fail(Error::AccessDenied, trMark("abgelehnt: \"{1}\" ist keine Datei"), path));
    }
    UniqueFd fd(::openat(dir, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd.valid())
        return std::unexpected(fromErrno(errno, kCannotOpen, path));
    if (::fstat(fd.get(), &st) != 0)
        return std::unexpected(fromErrno(errno, kCannotLookAt, path));
    if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
        return std::unexpected(
            fail(Error::AccessDenied, trMark("abgelehnt: \"{1}\" ist keine Datei"), path));
    }
    const std::uint32_t bits = attrs & fileattr::Settable;  // Normal alone leaves 0
    if (!storeBits(machine, fd.get(), st, bits)) {
        return std::unexpected(
            fromErrno(errno, trMark("kann die Attribute von \"{1}\" nicht speichern: {2}"), path));
    }
    if (S_ISREG(st.st_mode)) {
        // Folders keep their write bits: a read-only folder on Windows still
        // takes new files, the bit only marks it as customised.
        mode_t mode = st.st_mode & 07777;
        if (bits & fileattr::ReadOnly) {
            mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
        } else if (isReadOnlyFile(st)) {
            mode |= S_IWUSR;
        }
        if (mode != (st.st_mode & 07777)) {
            beforeFileChange();
            if (::fchmod(fd.get(), mode) != 0)
                return std::unexpected(fromErrno(
                    errno, trMark("kann die Zugriffsrechte von \"{1}\" nicht ändern: {2}"), path));
        }
    }
    return {};
}

}  // namespace kx::platform::files
