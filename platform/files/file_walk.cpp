#include "platform/files/file_walk.hpp"

#include "platform/files/folder_memo.hpp"
#include "platform/runtime/error.hpp"
#include "platform/runtime/system_reason.hpp"

#include <cerrno>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

namespace kx::platform::walk {

using fsfd::UniqueFd;

Error fail(std::uint32_t code, std::string message) {
    return {code, std::move(message)};
}

Error fail(std::uint32_t code, std::string_view text, std::string_view path) {
    return {code, trf(text, {path})};
}

Error fromErrno(int err, std::string_view text, std::string_view path) {
    std::uint32_t code = Error::WriteFault;
    switch (err) {
        case ENOENT:
            code = Error::NotFound;
            break;
        case ENOTDIR:
            code = Error::PathNotFound;
            break;
        case EACCES:
        case EPERM:
        case EROFS:
        case ELOOP:
        case EISDIR:
        case ENXIO:
            code = Error::AccessDenied;
            break;
        case EBUSY:
        case ETXTBSY:
        case EAGAIN:
            code = Error::SharingViolation;
            break;
        case ENOSPC:
        case EDQUOT:
            code = Error::DiskFull;
            break;
        case EEXIST:
        case ENOTEMPTY:
            code = err == EEXIST ? Error::AlreadyExists : Error::DirNotEmpty;
            break;
        case EXDEV:
            code = Error::NotSameDevice;
            break;
        case ENAMETOOLONG:
            code = Error::InvalidName;
            break;
        default:
            break;
    }
    return fail(code, trf(text, {path, systemReason(err)}));
}

bool isReadOnlyFile(const struct stat& st) {
    return (st.st_mode & S_IWUSR) == 0;
}

EntryKind kindOf(mode_t mode) {
    if (S_ISREG(mode))
        return EntryKind::File;
    if (S_ISDIR(mode))
        return EntryKind::Folder;
    if (S_ISLNK(mode))
        return EntryKind::Link;
    return EntryKind::Other;
}

std::expected<UniqueFd, Error> walkFolders(const ResolvedPath& parts, std::size_t count,
                                           std::string_view path) {
    // Within a memo scope the folder the last walk opened is opened again
    // from its descriptor.
    FolderMemo* memo = activeFolderMemo();
    std::string memoKey;
    if (memo != nullptr) {
        memoKey = parts.driveRoot.string();
        for (std::size_t i = 0; i < count; ++i) {
            memoKey += '/';
            memoKey += parts.components[i];
        }
        if (memoKey == memo->walkedKey && memo->walked.valid()) {
            UniqueFd again(::fcntl(memo->walked.get(), F_DUPFD_CLOEXEC, 0));
            if (again.valid())
                return again;
        }
    }
    auto walked = walkFrom(parts, count, path);
    if (memo != nullptr && walked) {
        memo->walkedKey = std::move(memoKey);
        memo->walked.reset(::fcntl(walked->get(), F_DUPFD_CLOEXEC, 0));
    }
    return walked;
}

std::expected<UniqueFd, Error> walkFrom(const ResolvedPath& parts, std::size_t count,
                                        std::string_view path) {
    UniqueFd dir(::open(parts.driveRoot.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!dir.valid())
        return std::unexpected(fromErrno(errno, kCannotReachDrive, path));
    for (std::size_t i = 0; i < count; ++i) {
        const char* name = parts.components[i].c_str();
        UniqueFd next(::openat(dir.get(), name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!next.valid()) {
            const int err = errno;
            struct stat st {};
            if (::fstatat(dir.get(), name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)) {
                return std::unexpected(fail(Error::AccessDenied, kRefusedThroughLink, path));
            }
            if (err == ENOENT || err == ENOTDIR) {
                return std::unexpected(
                    fail(Error::PathNotFound, trMark("Pfad nicht gefunden: \"{1}\""), path));
            }
            return std::unexpected(
                fromErrno(err, trMark("kann einen Ordner von \"{1}\" nicht öffnen: {2}"), path));
        }
        dir = std::move(next);
    }
    return dir;
}

std::expected<Parent, Error> openParent(Machine& machine, std::string_view path) {
    auto parts = machine.resolveParts(path);
    KX_PROPAGATE(parts);
    if (parts->components.empty()) {
        return std::unexpected(
            fail(Error::AccessDenied,
                 trMark("das Stammverzeichnis eines Laufwerks kann nicht geändert werden: \"{1}\""),
                 path));
    }
    auto dir = walkFolders(*parts, parts->components.size() - 1, path);
    KX_PROPAGATE(dir);
    return Parent{std::move(*dir), parts->components.back()};
}

std::expected<Entry, Error> lookAt(Machine& machine, std::string_view path,
                                   std::string_view notFound) {
    auto parent = openParent(machine, path);
    KX_PROPAGATE(parent);
    Entry entry{std::move(*parent), {}};
    if (::fstatat(entry.parent.dir.get(), entry.parent.name.c_str(), &entry.st,
                  AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT) {
            return std::unexpected(fail(Error::NotFound, notFound, path));
        }
        return std::unexpected(fromErrno(errno, kCannotLookAt, path));
    }
    return entry;
}

std::expected<void, Error> refuseUnsafe(const struct stat& st, std::string_view path) {
    const auto refuse = [&](std::string_view text) {
        return std::unexpected(fail(Error::AccessDenied, text, path));
    };
    if (S_ISLNK(st.st_mode))
        return refuse(kRefusedLink);
    if (S_ISDIR(st.st_mode))
        return refuse(kIsFolder);
    if (!S_ISREG(st.st_mode))
        return refuse(kRefusedNotRegular);
    if (st.st_nlink > 1)
        return refuse(trMark("abgelehnt: \"{1}\" hat weitere harte Verknüpfungen"));
    // Checked by hand because root's writes ignore the mode bits.
    if (isReadOnlyFile(st))
        return refuse(kIsReadOnly);
    return {};
}

}  // namespace kx::platform::walk
