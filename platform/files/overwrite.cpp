#include "platform/files/overwrite.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/files/file_walk.hpp"
#include "platform/files/fs_fd.hpp"
#include "platform/runtime/error.hpp"
#include "platform/runtime/translation.hpp"

namespace kx::platform {
namespace {

// A call after close() (the file's locks are gone with its descriptor).
constexpr std::string_view kClosed = trMark("\"{1}\" ist geschlossen");

using fsfd::UniqueFd;
using namespace walk;

// Takes both kinds of advisory lock without waiting: a program that locked
// the file (with flock or with an fcntl record lock) is using it, and
// Windows would not let anyone else open it for writing either.
std::expected<void, Error> lockExclusively(int fd, std::string_view path) {
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK)
            return std::unexpected(fail(Error::SharingViolation,
                                        trMark("\"{1}\" ist von einem anderen Programm gesperrt"),
                                        path));
        return std::unexpected(fromErrno(errno, trMark("kann \"{1}\" nicht sperren: {2}"), path));
    }
    struct flock range {};
    range.l_type = F_WRLCK;
    range.l_whence = SEEK_SET;
    range.l_start = 0;
    range.l_len = 0;  // the whole file, however long it grows
    if (::fcntl(fd, F_OFD_SETLK, &range) != 0) {
        if (errno == EAGAIN || errno == EACCES)
            return std::unexpected(fail(Error::SharingViolation,
                                        trMark("\"{1}\" ist von einem anderen Programm gesperrt"),
                                        path));
        // A file system without record locks still had the flock taken.
        if (errno != EINVAL && errno != ENOLCK && errno != EOPNOTSUPP)
            return std::unexpected(
                fromErrno(errno, trMark("kann \"{1}\" nicht sperren: {2}"), path));
    }
    return {};
}

}  // namespace

std::expected<EntryFacts, Error> lookAtEntry(Machine& machine, std::string_view path) {
    auto entry = lookAt(machine, path);
    KX_PROPAGATE(entry);
    EntryFacts facts;
    facts.kind = kindOf(entry->st.st_mode);
    if (facts.kind == EntryKind::Link) {
        struct stat target {};
        if (::fstatat(entry->parent.dir.get(), entry->parent.name.c_str(), &target, 0) == 0 &&
            S_ISDIR(target.st_mode))
            facts.kind = EntryKind::FolderLink;
    }
    facts.size = static_cast<std::uint64_t>(entry->st.st_size);
    facts.hardLinks = static_cast<std::uint64_t>(entry->st.st_nlink);
    facts.readOnly = facts.kind == EntryKind::File && isReadOnlyFile(entry->st);
    return facts;
}

std::expected<OverwriteFile, Error> OverwriteFile::open(Machine& machine, std::string_view path,
                                                        Open how) {
    auto parent = openParent(machine, path);
    KX_PROPAGATE(parent);
    const int dir = parent->dir.get();
    const char* name = parent->name.c_str();

    struct stat before {};
    if (how == Open::Existing) {
        if (::fstatat(dir, name, &before, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT)
                return std::unexpected(fail(Error::NotFound, kFileNotFound, path));
            return std::unexpected(fromErrno(errno, kCannotLookAt, path));
        }
        KX_PROPAGATE(refuseUnsafe(before, path));
    }

    // O_NOFOLLOW refuses a link swapped in since the look; O_NONBLOCK keeps a
    // FIFO swapped in from blocking the open (it is refused below).
    int flags = O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    if (how == Open::CreateNew)
        flags |= O_CREAT | O_EXCL;
    UniqueFd fd(::openat(dir, name, flags, 0600));
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
    KX_PROPAGATE(refuseUnsafe(st, path));
    // The file opened must be the one looked at: a rename of another file
    // onto the name in between would otherwise be wiped in its place.
    if (how == Open::Existing && (st.st_dev != before.st_dev || st.st_ino != before.st_ino))
        return std::unexpected(fail(Error::SharingViolation, kChangedWhileOpened, path));
    // Back to blocking writes: a regular file never blocks, but a short write
    // would otherwise have to be told apart from EAGAIN.
    const int fl = ::fcntl(fd.get(), F_GETFL);
    if (fl >= 0)
        (void)::fcntl(fd.get(), F_SETFL, fl & ~O_NONBLOCK);
    KX_PROPAGATE(lockExclusively(fd.get(), path));
    return OverwriteFile(fd.release(), std::string(path));
}

OverwriteFile::OverwriteFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}

OverwriteFile::OverwriteFile(OverwriteFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      path_(std::move(other.path_)),
      block_(std::move(other.block_)),
      blockValue_(std::exchange(other.blockValue_, -1)) {}

OverwriteFile& OverwriteFile::operator=(OverwriteFile&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::move(other.path_);
        block_ = std::move(other.block_);
        blockValue_ = std::exchange(other.blockValue_, -1);
    }
    return *this;
}

OverwriteFile::~OverwriteFile() {
    close();
}

void OverwriteFile::close() {
    if (fd_ >= 0) {
        ::close(fd_);  // the locks go with the descriptor
        fd_ = -1;
    }
}

std::expected<std::uint64_t, Error> OverwriteFile::length() const {
    if (fd_ < 0)
        return std::unexpected(fail(Error::AccessDenied, kClosed, path_));
    struct stat st {};
    if (::fstat(fd_, &st) != 0)
        return std::unexpected(fromErrno(errno, kCannotLookAt, path_));
    return static_cast<std::uint64_t>(st.st_size);
}

std::expected<void, Error> OverwriteFile::fill(std::uint64_t offset, std::uint64_t count,
                                               std::uint8_t value) {
    if (fd_ < 0)
        return std::unexpected(fail(Error::AccessDenied, kClosed, path_));
    if (count == 0)
        return {};
    if (block_.empty())
        block_.resize(kBlockSize);
    if (blockValue_ != value) {
        std::memset(block_.data(), value, block_.size());
        blockValue_ = value;
    }
    std::uint64_t done = 0;
    while (done < count) {
        const std::size_t n = static_cast<std::size_t>(
            std::min<std::uint64_t>(count - done, static_cast<std::uint64_t>(block_.size())));
        files::beforeFileChange();
        const ssize_t w = ::pwrite(fd_, block_.data(), n, static_cast<off_t>(offset + done));
        if (w < 0) {
            if (errno == EINTR)
                continue;
            auto e = fromErrno(errno, trMark("das Überschreiben brach mittendrin ab: \"{1}\": {2}"),
                               path_);
            if (e.code != Error::DiskFull)
                e.code = Error::WriteFault;
            return std::unexpected(std::move(e));
        }
        if (w == 0)
            return std::unexpected(fail(Error::WriteFault,
                                        trMark("das Überschreiben brach mittendrin ab: \"{1}\""),
                                        path_));
        done += static_cast<std::uint64_t>(w);
    }
    return {};
}

std::expected<void, Error> OverwriteFile::flush() {
    if (fd_ < 0)
        return std::unexpected(fail(Error::AccessDenied, kClosed, path_));
    if (::fdatasync(fd_) != 0) {
        auto e = fromErrno(errno, kCannotFlush, path_);
        e.code = Error::WriteFault;
        return std::unexpected(std::move(e));
    }
    return {};
}

std::expected<void, Error> OverwriteFile::truncate(std::uint64_t length) {
    if (fd_ < 0)
        return std::unexpected(fail(Error::AccessDenied, kClosed, path_));
    files::beforeFileChange();
    if (::ftruncate(fd_, static_cast<off_t>(length)) != 0)
        return std::unexpected(fromErrno(errno, trMark("kann \"{1}\" nicht kürzen: {2}"), path_));
    return {};
}

}  // namespace kx::platform
