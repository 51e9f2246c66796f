#include "platform/files/files.hpp"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <map>
#include <system_error>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "platform/files/dir_scan.hpp"
#include "platform/files/file_walk.hpp"
#include "platform/files/fs_fd.hpp"

namespace kx::platform::files {
namespace {

using fsfd::UniqueFd;
using namespace walk;

constexpr const char* kAttributeName = "user.kolvanex.attributes";
constexpr const char* kSideTable = "attributes.tbl";
constexpr const char* kSideTableLock = "attributes.lock";

std::atomic<bool> gForceSideTable{false};

// Missing file in an existing folder is "file not found"; a missing folder
// on the way is "path not found", as Windows tells them apart.
FileError notFound(const std::filesystem::path& host, std::string_view path) {
    struct stat st {};
    if (::stat(host.parent_path().c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        return fail(FileError::NotFound, "file not found: \"" + std::string(path) + "\"");
    }
    return fail(FileError::PathNotFound, "path not found: \"" + std::string(path) + "\"");
}

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
void forgetBits(Machine& machine, const struct stat& st) {
    std::error_code ec;
    if (gForceSideTable || std::filesystem::exists(machine.prefix() / kSideTable, ec)) {
        SideTable(machine.prefix()).set(st.st_dev, st.st_ino, 0);
    }
}

// A machine path's host path and what the file system says of it (of the
// link itself unless `followLinks`).
struct HostStat {
    std::filesystem::path host;
    struct stat st {};
};

std::expected<HostStat, FileError> statOf(Machine& machine, std::string_view path,
                                          bool followLinks) {
    auto host = machine.resolve(path);
    if (!host)
        return std::unexpected(fromMachine(host.error()));
    HostStat out{std::move(*host)};
    if ((followLinks ? ::stat(out.host.c_str(), &out.st) : ::lstat(out.host.c_str(), &out.st)) !=
        0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return std::unexpected(notFound(out.host, path));
        return std::unexpected(fromErrno(errno, "cannot look at", path));
    }
    return out;
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

}  // namespace

void forceAttributeSideTable(bool force) {
    gForceSideTable = force;
}

bool exists(Machine& machine, std::string_view path) {
    auto host = machine.resolve(path);
    struct stat st {};
    return host && ::lstat(host->c_str(), &st) == 0;
}

std::expected<FileInfo, FileError> info(Machine& machine, std::string_view path) {
    auto entry = statOf(machine, path, false);
    if (!entry)
        return std::unexpected(entry.error());
    const struct stat& st = entry->st;
    FileInfo out;
    out.kind = kindOf(st.st_mode);
    if (out.kind == EntryKind::Link) {
        struct stat target {};
        if (::stat(entry->host.c_str(), &target) == 0 && S_ISDIR(target.st_mode)) {
            out.kind = EntryKind::FolderLink;
        }
    }
    out.size = static_cast<std::uint64_t>(st.st_size);
    out.modified = std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(
            std::chrono::seconds(st.st_mtim.tv_sec) +
            std::chrono::nanoseconds(st.st_mtim.tv_nsec)));
    out.attributes = attributesOf(machine, *entry);
    return out;
}

std::expected<std::uint64_t, FileError> size(Machine& machine, std::string_view path) {
    auto entry = statOf(machine, path, true);
    if (!entry)
        return std::unexpected(entry.error());
    if (S_ISDIR(entry->st.st_mode)) {
        return std::unexpected(
            fail(FileError::AccessDenied, "a folder has no size: \"" + std::string(path) + "\""));
    }
    return static_cast<std::uint64_t>(entry->st.st_size);
}

std::expected<std::string, FileError> readAll(Machine& machine, std::string_view path) {
    auto host = machine.resolve(path);
    if (!host)
        return std::unexpected(fromMachine(host.error()));
    // O_NONBLOCK: opening a FIFO must not wait for a writer; it is refused below.
    UniqueFd fd(::open(host->c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!fd.valid()) {
        if (errno == ENOENT || errno == ENOTDIR)
            return std::unexpected(notFound(*host, path));
        return std::unexpected(fromErrno(errno, "cannot open", path));
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        return std::unexpected(fromErrno(errno, "cannot look at", path));
    if (!S_ISREG(st.st_mode)) {
        return std::unexpected(
            fail(FileError::AccessDenied, "not a file: \"" + std::string(path) + "\""));
    }
    std::string out;
    out.resize(static_cast<std::size_t>(st.st_size));
    std::size_t done = 0;
    for (;;) {
        if (done == out.size())
            out.resize(out.size() + 65536);  // the file may have grown
        const ssize_t n = ::read(fd.get(), out.data() + done, out.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return std::unexpected(fail(FileError::ReadFault, "cannot read \"" + std::string(path) +
                                                                  "\": " + std::strerror(errno)));
        }
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    out.resize(done);
    return out;
}

std::expected<void, FileError> writeAll(Machine& machine, std::string_view path,
                                        std::string_view bytes) {
    auto parent = openParent(machine, path);
    if (!parent)
        return std::unexpected(parent.error());
    const int dir = parent->dir.get();
    const char* name = parent->name.c_str();

    struct stat before {};
    bool existed = true;
    if (::fstatat(dir, name, &before, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno != ENOENT)
            return std::unexpected(fromErrno(errno, "cannot look at", path));
        existed = false;
    } else if (auto ok = refuseUnsafe(before, path); !ok) {
        return ok;
    }

    // O_NOFOLLOW also stops O_CREAT from creating a link's target; O_NONBLOCK
    // keeps a FIFO swapped in meanwhile from blocking the open.
    UniqueFd fd(::openat(
        dir, name, O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666));
    if (!fd.valid()) {
        if (errno == ELOOP)
            return std::unexpected(fail(FileError::AccessDenied, "refused: \"" + std::string(path) +
                                                                     "\" is a symbolic link"));
        if (errno == ENXIO)
            return std::unexpected(fail(FileError::AccessDenied, "refused: \"" + std::string(path) +
                                                                     "\" is not a regular file"));
        return std::unexpected(fromErrno(errno, "cannot open", path));
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        return std::unexpected(fromErrno(errno, "cannot look at", path));
    // The entry may have changed between the look and the open.
    if (auto ok = refuseUnsafe(st, path); !ok)
        return ok;
    if (existed && (st.st_dev != before.st_dev || st.st_ino != before.st_ino)) {
        return std::unexpected(fail(FileError::SharingViolation,
                                    "\"" + std::string(path) + "\" changed while being opened"));
    }
    if (!existed)
        forgetBits(machine, st);  // a reused inode must not inherit old bits

    int err = fsfd::writeFully(fd.get(), bytes);
    if (err == 0 && ::ftruncate(fd.get(), static_cast<off_t>(bytes.size())) != 0)
        err = errno;
    if (err == 0 && ::fdatasync(fd.get()) != 0)
        err = errno;
    if (err != 0) {
        auto e = fromErrno(err, "writing failed part-way, the file is incomplete:", path);
        if (e.code != FileError::DiskFull)
            e.code = FileError::WriteFault;
        return std::unexpected(std::move(e));
    }
    return {};
}

std::expected<void, FileError> replaceContent(Machine& machine, std::string_view path,
                                              std::string_view bytes) {
    auto parent = openParent(machine, path);
    if (!parent)
        return std::unexpected(parent.error());
    const int dir = parent->dir.get();
    const std::string& name = parent->name;
    mode_t mode = 0644;
    struct stat st {};
    if (::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISDIR(st.st_mode))
            return std::unexpected(
                fail(FileError::AccessDenied, "\"" + std::string(path) + "\" is a folder"));
        if (S_ISREG(st.st_mode)) {
            if (isReadOnlyFile(st))
                return std::unexpected(
                    fail(FileError::AccessDenied, "\"" + std::string(path) + "\" is read-only"));
            mode = st.st_mode & 07777;
        }
    } else if (errno != ENOENT) {
        return std::unexpected(fromErrno(errno, "cannot look at", path));
    }
    const std::string temporary = "." + name + ".kx-new-" + std::to_string(::getpid());
    UniqueFd fd(::openat(dir, temporary.c_str(),
                         O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
    if (!fd.valid())
        return std::unexpected(fromErrno(errno, "cannot write beside", path));
    int err = fsfd::writeFully(fd.get(), bytes);
    if (err == 0 && ::fchmod(fd.get(), mode) != 0)  // the umask must not narrow the old mode
        err = errno;
    if (err == 0 && ::fdatasync(fd.get()) != 0)
        err = errno;
    if (err == 0 && ::renameat(dir, temporary.c_str(), dir, name.c_str()) != 0)
        err = errno;
    if (err != 0) {
        ::unlinkat(dir, temporary.c_str(), 0);
        return std::unexpected(fromErrno(err, "cannot replace", path));
    }
    return {};
}

std::expected<void, FileError> remove(Machine& machine, std::string_view path) {
    auto entry = lookAt(machine, path);
    if (!entry)
        return std::unexpected(entry.error());
    const int dir = entry->parent.dir.get();
    const char* name = entry->parent.name.c_str();
    const struct stat& st = entry->st;
    if (S_ISDIR(st.st_mode)) {
        return std::unexpected(
            fail(FileError::AccessDenied, "\"" + std::string(path) + "\" is a folder"));
    }
    if (S_ISREG(st.st_mode) && isReadOnlyFile(st)) {
        return std::unexpected(
            fail(FileError::AccessDenied, "\"" + std::string(path) + "\" is read-only"));
    }
    // unlinkat never follows: a link goes, its target stays.
    if (::unlinkat(dir, name, 0) != 0)
        return std::unexpected(fromErrno(errno, "cannot delete", path));
    if (S_ISREG(st.st_mode) && st.st_nlink <= 1)
        forgetBits(machine, st);
    return {};
}

std::expected<void, FileError> removeFolder(Machine& machine, std::string_view path) {
    auto entry = lookAt(machine, path, "folder");
    if (!entry)
        return std::unexpected(entry.error());
    const struct stat& st = entry->st;
    if (!S_ISDIR(st.st_mode)) {
        return std::unexpected(
            fail(FileError::AccessDenied, "\"" + std::string(path) + "\" is not a folder"));
    }
    if (::unlinkat(entry->parent.dir.get(), entry->parent.name.c_str(), AT_REMOVEDIR) != 0) {
        return std::unexpected(fromErrno(errno, "cannot remove", path));
    }
    forgetBits(machine, st);
    return {};
}

std::expected<void, FileError> rename(Machine& machine, std::string_view from,
                                      std::string_view to) {
    auto source = lookAt(machine, from);
    if (!source)
        return std::unexpected(source.error());
    auto dst = openParent(machine, to);
    if (!dst)
        return std::unexpected(dst.error());
    const Parent* src = &source->parent;
    if (::renameat2(src->dir.get(), src->name.c_str(), dst->dir.get(), dst->name.c_str(),
                    RENAME_NOREPLACE) == 0) {
        return {};
    }
    if (errno != EINVAL && errno != ENOSYS)
        return std::unexpected(fromErrno(errno, "cannot move", from));
    // A file system without RENAME_NOREPLACE: look first; the window is small
    // and the worst case is the ordinary rename of every other system.
    struct stat target {};
    if (::fstatat(dst->dir.get(), dst->name.c_str(), &target, AT_SYMLINK_NOFOLLOW) == 0) {
        return std::unexpected(
            fail(FileError::AlreadyExists, "\"" + std::string(to) + "\" exists"));
    }
    if (::renameat(src->dir.get(), src->name.c_str(), dst->dir.get(), dst->name.c_str()) != 0) {
        return std::unexpected(fromErrno(errno, "cannot move", from));
    }
    return {};
}

std::expected<void, FileError> createFolder(Machine& machine, std::string_view path) {
    auto parent = openParent(machine, path);
    if (!parent)
        return std::unexpected(parent.error());
    if (::mkdirat(parent->dir.get(), parent->name.c_str(), 0777) != 0) {
        return std::unexpected(fromErrno(errno, "cannot create", path));
    }
    return {};
}

std::expected<void, FileError> createFolders(Machine& machine, std::string_view path) {
    auto parts = machine.resolveParts(path);
    if (!parts)
        return std::unexpected(fromMachine(parts.error()));
    UniqueFd dir(::open(parts->driveRoot.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!dir.valid())
        return std::unexpected(fromErrno(errno, "cannot reach the drive of", path));
    for (const auto& component : parts->components) {
        const char* name = component.c_str();
        if (::mkdirat(dir.get(), name, 0777) != 0 && errno != EEXIST) {
            return std::unexpected(fromErrno(errno, "cannot create a folder of", path));
        }
        UniqueFd next(::openat(dir.get(), name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!next.valid()) {
            struct stat st {};
            if (::fstatat(dir.get(), name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)) {
                return std::unexpected(
                    fail(FileError::AccessDenied,
                         "refused: \"" + std::string(path) + "\" passes through a symbolic link"));
            }
            return std::unexpected(fail(FileError::PathNotFound,
                                        "a file is in the way of \"" + std::string(path) + "\""));
        }
        dir = std::move(next);
    }
    return {};
}

std::expected<std::vector<FolderEntry>, FileError> list(Machine& machine, std::string_view folder) {
    auto host = machine.resolve(folder);
    if (!host)
        return std::unexpected(fromMachine(host.error()));
    UniqueFd fd(::open(host->c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.valid()) {
        if (errno == ENOENT || errno == ENOTDIR) {
            return std::unexpected(
                fail(FileError::PathNotFound, "folder not found: \"" + std::string(folder) + "\""));
        }
        return std::unexpected(fromErrno(errno, "cannot open", folder));
    }
    std::vector<FolderEntry> out;
    DIR* d = ::fdopendir(fd.get());
    if (d == nullptr)
        return std::unexpected(fromErrno(errno, "cannot read", folder));
    fd.release();
    while (const dirent* e = ::readdir(d)) {
        const std::string_view name = e->d_name;
        if (name == "." || name == "..")
            continue;
        struct stat st {};
        EntryKind kind = EntryKind::Other;
        if (::fstatat(::dirfd(d), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
            kind = kindOf(st.st_mode);
            struct stat target {};
            if (kind == EntryKind::Link && ::fstatat(::dirfd(d), e->d_name, &target, 0) == 0 &&
                S_ISDIR(target.st_mode)) {
                kind = EntryKind::FolderLink;
            }
        } else {
            continue;  // gone meanwhile
        }
        out.push_back({std::string(name), kind});
    }
    ::closedir(d);
    std::sort(out.begin(), out.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    return out;
}

std::expected<std::uint32_t, FileError> attributes(Machine& machine, std::string_view path) {
    auto entry = statOf(machine, path, false);
    if (!entry)
        return std::unexpected(entry.error());
    return attributesOf(machine, *entry);
}

std::expected<void, FileError> setAttributes(Machine& machine, std::string_view path,
                                             std::uint32_t attrs) {
    auto entry = lookAt(machine, path);
    if (!entry)
        return std::unexpected(entry.error());
    const int dir = entry->parent.dir.get();
    const char* name = entry->parent.name.c_str();
    struct stat& st = entry->st;  // looked at again once the file is open
    if (S_ISLNK(st.st_mode)) {
        return std::unexpected(fail(FileError::AccessDenied,
                                    "refused: \"" + std::string(path) + "\" is a symbolic link"));
    }
    if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
        return std::unexpected(
            fail(FileError::AccessDenied, "refused: \"" + std::string(path) + "\" is not a file"));
    }
    UniqueFd fd(::openat(dir, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd.valid())
        return std::unexpected(fromErrno(errno, "cannot open", path));
    if (::fstat(fd.get(), &st) != 0)
        return std::unexpected(fromErrno(errno, "cannot look at", path));
    if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
        return std::unexpected(
            fail(FileError::AccessDenied, "refused: \"" + std::string(path) + "\" is not a file"));
    }
    const std::uint32_t bits = attrs & fileattr::Settable;  // Normal alone leaves 0
    if (!storeBits(machine, fd.get(), st, bits)) {
        return std::unexpected(fromErrno(errno, "cannot store the attributes of", path));
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
        if (mode != (st.st_mode & 07777) && ::fchmod(fd.get(), mode) != 0) {
            return std::unexpected(fromErrno(errno, "cannot change the mode of", path));
        }
    }
    return {};
}

std::expected<EmptyResult, FileError> emptyFolder(Machine& machine, std::string_view folder) {
    auto parts = machine.resolveParts(folder);
    if (!parts)
        return std::unexpected(fromMachine(parts.error()));
    if (parts->components.empty()) {
        // A registry value naming "C:\" as a cache must not wipe the drive.
        return std::unexpected(
            fail(FileError::AccessDenied,
                 "refused to empty the root of a drive: \"" + std::string(folder) + "\""));
    }
    // The folder itself is reached without following links too: emptying a
    // link would empty whatever it points at.
    auto top = walkFolders(*parts, parts->components.size(), folder);
    if (!top)
        return std::unexpected(top.error());
    UniqueFd fd(::openat(top->get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.valid())
        return std::unexpected(fromErrno(errno, "cannot open", folder));

    // First the list, then the deletions: deleting while a folder is being
    // read may make the reading skip entries.
    struct Item {
        std::string rel;
        bool folder;
    };
    std::vector<Item> items;
    ScanOptions options;
    options.reportFolders = true;
    auto scanned = scanTreeAt(
        fd.get(),
        [&](std::string_view rel, EntryKind kind) {
            items.push_back({std::string(rel), kind == EntryKind::Folder});
        },
        options);
    if (!scanned)
        return std::unexpected(scanned.error());

    EmptyResult result;
    result.failed = scanned->skippedFolders;
    // Deepest first: in the pre-order list a folder comes before its contents.
    for (auto it = items.rbegin(); it != items.rend(); ++it) {
        const auto slash = it->rel.rfind('/');
        const std::string name = slash == std::string::npos ? it->rel : it->rel.substr(slash + 1);
        UniqueFd parentFd;
        int parent = fd.get();
        if (slash != std::string::npos) {
            // Step down from the folder's own descriptor, refusing links: a
            // subfolder swapped for a link since the listing is not entered.
            UniqueFd cur(::dup(fd.get()));
            bool reached = cur.valid();
            std::size_t pos = 0;
            while (reached && pos < slash) {
                auto next = it->rel.find('/', pos);
                if (next == std::string::npos || next > slash)
                    next = slash;
                const std::string component = it->rel.substr(pos, next - pos);
                UniqueFd down(::openat(cur.get(), component.c_str(),
                                       O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
                reached = down.valid();
                cur = std::move(down);
                pos = next + 1;
            }
            if (!reached) {
                ++result.failed;
                continue;
            }
            parentFd = std::move(cur);
            parent = parentFd.get();
        }
        struct stat st {};
        const bool known = ::fstatat(parent, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
        if (::unlinkat(parent, name.c_str(), it->folder ? AT_REMOVEDIR : 0) == 0) {
            if (it->folder) {
                ++result.removedFolders;
            } else {
                ++result.removedEntries;
            }
            if (known && (S_ISDIR(st.st_mode) || (S_ISREG(st.st_mode) && st.st_nlink <= 1))) {
                forgetBits(machine, st);
            }
        } else {
            ++result.failed;
        }
    }
    return result;
}

}  // namespace kx::platform::files
