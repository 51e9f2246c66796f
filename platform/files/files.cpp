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
#include "platform/files/file_attributes.hpp"
#include "platform/files/file_walk.hpp"
#include "platform/files/fs_fd.hpp"
#include "platform/runtime/error.hpp"
#include "platform/runtime/translation.hpp"

namespace kx::platform::files {
using fsfd::UniqueFd;
using namespace walk;
using namespace detail;

namespace detail {

Error notFound(const std::filesystem::path& host, std::string_view path) {
    struct stat st {};
    if (::stat(host.parent_path().c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        return fail(Error::NotFound, kFileNotFound, path);
    }
    return fail(Error::PathNotFound, trMark("Pfad nicht gefunden: \"{1}\""), path);
}

std::expected<HostStat, Error> statOf(Machine& machine, std::string_view path, bool followLinks) {
    auto host = machine.resolve(path);
    KX_PROPAGATE(host);
    HostStat out{std::move(*host)};
    if ((followLinks ? ::stat(out.host.c_str(), &out.st) : ::lstat(out.host.c_str(), &out.st)) !=
        0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return std::unexpected(notFound(out.host, path));
        return std::unexpected(fromErrno(errno, kCannotLookAt, path));
    }
    return out;
}

}  // namespace detail

bool exists(Machine& machine, std::string_view path) {
    auto host = machine.resolve(path);
    struct stat st {};
    return host && ::lstat(host->c_str(), &st) == 0;
}

std::expected<FileInfo, Error> info(Machine& machine, std::string_view path) {
    auto entry = statOf(machine, path, false);
    KX_PROPAGATE(entry);
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

std::expected<std::uint64_t, Error> size(Machine& machine, std::string_view path) {
    auto entry = statOf(machine, path, true);
    KX_PROPAGATE(entry);
    if (S_ISDIR(entry->st.st_mode)) {
        return std::unexpected(
            fail(Error::AccessDenied, trMark("ein Ordner hat keine Größe: \"{1}\""), path));
    }
    return static_cast<std::uint64_t>(entry->st.st_size);
}

std::expected<std::string, Error> readAll(Machine& machine, std::string_view path) {
    auto host = machine.resolve(path);
    KX_PROPAGATE(host);
    // O_NONBLOCK: opening a FIFO must not wait for a writer; it is refused below.
    UniqueFd fd(::open(host->c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!fd.valid()) {
        if (errno == ENOENT || errno == ENOTDIR)
            return std::unexpected(notFound(*host, path));
        return std::unexpected(fromErrno(errno, kCannotOpen, path));
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        return std::unexpected(fromErrno(errno, kCannotLookAt, path));
    if (!S_ISREG(st.st_mode)) {
        return std::unexpected(fail(Error::AccessDenied, trMark("keine Datei: \"{1}\""), path));
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
            auto e = fromErrno(errno, kCannotRead, path);
            e.code = Error::ReadFault;
            return std::unexpected(std::move(e));
        }
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    out.resize(done);
    return out;
}

std::expected<void, Error> writeAll(Machine& machine, std::string_view path,
                                    std::string_view bytes) {
    auto parent = openParent(machine, path);
    KX_PROPAGATE(parent);
    const int dir = parent->dir.get();
    const char* name = parent->name.c_str();

    struct stat before {};
    bool existed = true;
    if (::fstatat(dir, name, &before, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno != ENOENT)
            return std::unexpected(fromErrno(errno, kCannotLookAt, path));
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
            return std::unexpected(fail(Error::AccessDenied, kRefusedLink, path));
        if (errno == ENXIO)
            return std::unexpected(fail(Error::AccessDenied, kRefusedNotRegular, path));
        return std::unexpected(fromErrno(errno, kCannotOpen, path));
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        return std::unexpected(fromErrno(errno, kCannotLookAt, path));
    // The entry may have changed between the look and the open.
    if (auto ok = refuseUnsafe(st, path); !ok)
        return ok;
    if (existed && (st.st_dev != before.st_dev || st.st_ino != before.st_ino)) {
        return std::unexpected(fail(Error::SharingViolation, kChangedWhileOpened, path));
    }
    if (!existed)
        forgetBits(machine, st);  // a reused inode must not inherit old bits

    int err = fsfd::writeFully(fd.get(), bytes);
    if (err == 0) {
        beforeFileChange();
        if (::ftruncate(fd.get(), static_cast<off_t>(bytes.size())) != 0)
            err = errno;
    }
    if (err == 0 && ::fdatasync(fd.get()) != 0)
        err = errno;
    if (err != 0) {
        auto e = fromErrno(
            err,
            trMark("das Schreiben brach mittendrin ab, die Datei ist unvollständig: \"{1}\": {2}"),
            path);
        if (e.code != Error::DiskFull)
            e.code = Error::WriteFault;
        return std::unexpected(std::move(e));
    }
    return {};
}

std::expected<void, Error> replaceContent(Machine& machine, std::string_view path,
                                          std::string_view bytes) {
    auto parent = openParent(machine, path);
    KX_PROPAGATE(parent);
    const int dir = parent->dir.get();
    const std::string& name = parent->name;
    mode_t mode = 0644;
    struct stat st {};
    if (::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISDIR(st.st_mode))
            return std::unexpected(fail(Error::AccessDenied, kIsFolder, path));
        if (S_ISREG(st.st_mode)) {
            if (isReadOnlyFile(st))
                return std::unexpected(fail(Error::AccessDenied, kIsReadOnly, path));
            mode = st.st_mode & 07777;
        }
    } else if (errno != ENOENT) {
        return std::unexpected(fromErrno(errno, kCannotLookAt, path));
    }
    const std::string temporary = "." + name + ".kx-new-" + std::to_string(::getpid());
    UniqueFd fd(::openat(dir, temporary.c_str(),
                         O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
    if (!fd.valid())
        return std::unexpected(
            fromErrno(errno, trMark("kann nicht neben \"{1}\" schreiben: {2}"), path));
    int err = fsfd::writeFully(fd.get(), bytes);
    if (err == 0 && ::fchmod(fd.get(), mode) != 0)  // the umask must not narrow the old mode
        err = errno;
    if (err == 0 && ::fdatasync(fd.get()) != 0)
        err = errno;
    if (err == 0) {
        beforeFileChange();
        if (::renameat(dir, temporary.c_str(), dir, name.c_str()) != 0)
            err = errno;
    }
    if (err != 0) {
        ::unlinkat(dir, temporary.c_str(), 0);
        return std::unexpected(fromErrno(err, trMark("kann \"{1}\" nicht ersetzen: {2}"), path));
    }
    return {};
}

namespace {

// Deletes the name `path`; `readOnlyRefuses` makes a read-only file's name
// stay, as DeleteFile does.
std::expected<void, Error> unlinkName(Machine& machine, std::string_view path,
                                      bool readOnlyRefuses) {
    auto entry = lookAt(machine, path);
    KX_PROPAGATE(entry);
    const int dir = entry->parent.dir.get();
    const char* name = entry->parent.name.c_str();
    const struct stat& st = entry->st;
    if (S_ISDIR(st.st_mode)) {
        return std::unexpected(fail(Error::AccessDenied, kIsFolder, path));
    }
    if (readOnlyRefuses && S_ISREG(st.st_mode) && isReadOnlyFile(st)) {
        return std::unexpected(fail(Error::AccessDenied, kIsReadOnly, path));
    }
    // unlinkat never follows: a link goes, its target stays.
    beforeFileChange();
    if (::unlinkat(dir, name, 0) != 0)
        return std::unexpected(fromErrno(errno, kCannotDelete, path));
    if (S_ISREG(st.st_mode) && st.st_nlink <= 1)
        forgetBits(machine, st);
    return {};
}

}  // namespace

std::expected<void, Error> remove(Machine& machine, std::string_view path) {
    return unlinkName(machine, path, true);
}

std::expected<void, Error> removeName(Machine& machine, std::string_view path) {
    return unlinkName(machine, path, false);
}

std::expected<void, Error> removeFolder(Machine& machine, std::string_view path) {
    auto entry = lookAt(machine, path, trMark("Ordner nicht gefunden: \"{1}\""));
    KX_PROPAGATE(entry);
    const struct stat& st = entry->st;
    if (!S_ISDIR(st.st_mode)) {
        return std::unexpected(fail(Error::AccessDenied, trMark("\"{1}\" ist kein Ordner"), path));
    }
    beforeFileChange();
    if (::unlinkat(entry->parent.dir.get(), entry->parent.name.c_str(), AT_REMOVEDIR) != 0) {
        return std::unexpected(fromErrno(errno, trMark("kann \"{1}\" nicht entfernen: {2}"), path));
    }
    forgetBits(machine, st);
    return {};
}

std::expected<void, Error> rename(Machine& machine, std::string_view from, std::string_view to) {
    auto source = lookAt(machine, from);
    KX_PROPAGATE(source);
    auto dst = openParent(machine, to);
    KX_PROPAGATE(dst);
    const Parent* src = &source->parent;
    beforeFileChange();
    if (::renameat2(src->dir.get(), src->name.c_str(), dst->dir.get(), dst->name.c_str(),
                    RENAME_NOREPLACE) == 0) {
        return {};
    }
    if (errno != EINVAL && errno != ENOSYS)
        return std::unexpected(fromErrno(errno, kCannotMove, from));
    // A file system without RENAME_NOREPLACE: look first; the window is small
    // and the worst case is the ordinary rename of every other system.
    struct stat target {};
    if (::fstatat(dst->dir.get(), dst->name.c_str(), &target, AT_SYMLINK_NOFOLLOW) == 0) {
        return std::unexpected(fail(Error::AlreadyExists, trMark("\"{1}\" existiert bereits"), to));
    }
    if (::renameat(src->dir.get(), src->name.c_str(), dst->dir.get(), dst->name.c_str()) != 0) {
        return std::unexpected(fromErrno(errno, kCannotMove, from));
    }
    return {};
}

std::expected<void, Error> exchange(Machine& machine, std::string_view first,
                                    std::string_view second) {
    auto one = lookAt(machine, first);
    KX_PROPAGATE(one);
    auto other = lookAt(machine, second);
    KX_PROPAGATE(other);
    beforeFileChange();
    if (::renameat2(one->parent.dir.get(), one->parent.name.c_str(), other->parent.dir.get(),
                    other->parent.name.c_str(), RENAME_EXCHANGE) != 0) {
        const int err = errno;
        auto e = fromErrno(err, trMark("kann die Namen von \"{1}\" nicht tauschen: {2}"), first);
        if (err == EINVAL || err == ENOSYS)
            e.code = Error::NotSupported;
        return std::unexpected(std::move(e));
    }
    return {};
}

std::expected<void, Error> createFolder(Machine& machine, std::string_view path) {
    auto parent = openParent(machine, path);
    KX_PROPAGATE(parent);
    if (::mkdirat(parent->dir.get(), parent->name.c_str(), 0777) != 0) {
        return std::unexpected(fromErrno(errno, trMark("kann \"{1}\" nicht anlegen: {2}"), path));
    }
    return {};
}

std::expected<void, Error> createFolders(Machine& machine, std::string_view path) {
    auto parts = machine.resolveParts(path);
    KX_PROPAGATE(parts);
    UniqueFd dir(::open(parts->driveRoot.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!dir.valid())
        return std::unexpected(fromErrno(errno, kCannotReachDrive, path));
    for (const auto& component : parts->components) {
        const char* name = component.c_str();
        if (::mkdirat(dir.get(), name, 0777) != 0 && errno != EEXIST) {
            return std::unexpected(
                fromErrno(errno, trMark("kann einen Ordner von \"{1}\" nicht anlegen: {2}"), path));
        }
        UniqueFd next(::openat(dir.get(), name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!next.valid()) {
            struct stat st {};
            if (::fstatat(dir.get(), name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)) {
                return std::unexpected(fail(Error::AccessDenied, kRefusedThroughLink, path));
            }
            return std::unexpected(
                fail(Error::PathNotFound, trMark("eine Datei steht \"{1}\" im Weg"), path));
        }
        dir = std::move(next);
    }
    return {};
}

std::expected<std::vector<FolderEntry>, Error> list(Machine& machine, std::string_view folder) {
    auto host = machine.resolve(folder);
    KX_PROPAGATE(host);
    UniqueFd fd(::open(host->c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.valid()) {
        if (errno == ENOENT || errno == ENOTDIR) {
            return std::unexpected(
                fail(Error::PathNotFound, trMark("Ordner nicht gefunden: \"{1}\""), folder));
        }
        return std::unexpected(fromErrno(errno, kCannotOpen, folder));
    }
    std::vector<FolderEntry> out;
    DIR* d = ::fdopendir(fd.get());
    if (d == nullptr)
        return std::unexpected(fromErrno(errno, kCannotRead, folder));
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
std::expected<EmptyResult, Error> emptyFolder(Machine& machine, std::string_view folder) {
    auto parts = machine.resolveParts(folder);
    KX_PROPAGATE(parts);
    if (parts->components.empty()) {
        // A registry value naming "C:\" as a cache must not wipe the drive.
        return std::unexpected(fail(
            Error::AccessDenied,
            trMark("das Stammverzeichnis eines Laufwerks wird nicht geleert: \"{1}\""), folder));
    }
    // The folder itself is reached without following links too: emptying a
    // link would empty whatever it points at.
    auto top = walkFolders(*parts, parts->components.size(), folder);
    KX_PROPAGATE(top);
    UniqueFd fd(::openat(top->get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.valid())
        return std::unexpected(fromErrno(errno, kCannotOpen, folder));

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
    KX_PROPAGATE(scanned);

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
        beforeFileChange();
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
