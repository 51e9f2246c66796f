#include "platform/files/cipher_files.hpp"

#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/crypto/crypto.hpp"
#include "platform/files/file_walk.hpp"
#include "platform/files/fs_fd.hpp"
#include "platform/runtime/error.hpp"
#include "platform/runtime/translation.hpp"

namespace kx::platform::cipherfiles {

using fsfd::UniqueFd;

struct FileAccess {
    static File make(int fd, std::string path) { return File(fd, std::move(path)); }
};

namespace {

using walk::fail;
using walk::fromErrno;
using walk::kCannotFlush;
using walk::kCannotLookAt;
using walk::kCannotOpen;
using walk::kCannotRead;
using walk::kCannotWrite;
using walk::kChangedWhileOpened;
using walk::kFileNotFound;
using walk::kRefusedLink;
using walk::kRefusedNotRegular;

// The folder holding a path's last component, reached from the drive's root
// one component at a time without following a link (the way the file layer
// walks for its writes), opened for reading so it can be flushed, plus the
// last component's name.
struct Parent {
    UniqueFd dir;
    std::string name;
};

std::expected<Parent, Error> openParent(Machine& machine, std::string_view path) {
    auto parent = walk::openParent(machine, path);
    KX_PROPAGATE(parent);
    UniqueFd readable(::openat(parent->dir.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!readable.valid())
        return std::unexpected(
            fromErrno(errno, trMark("kann den Ordner von \"{1}\" nicht öffnen: {2}"), path));
    return Parent{std::move(readable), std::move(parent->name)};
}

// What may be overwritten in place or replaced: only regular files.
std::expected<void, Error> refuseUnsafe(const struct stat& st, std::string_view path) {
    const auto refuse = [&](std::string_view text) {
        return std::unexpected(fail(Error::AccessDenied, text, path));
    };
    if (S_ISLNK(st.st_mode))
        return refuse(kRefusedLink);
    if (S_ISDIR(st.st_mode))
        return refuse(trMark("abgelehnt: \"{1}\" ist ein Ordner"));
    if (!S_ISREG(st.st_mode))
        return refuse(kRefusedNotRegular);
    return {};
}

// A hidden name no file of the folder is likely to have; the caller still
// creates it exclusively.
std::expected<std::string, Error> temporaryName() {
    std::uint8_t random[6];
    if (!crypto::randomBytes(random))
        return std::unexpected(
            fail(Error::WriteFault, std::string(tr("kein Zufallsname für eine temporäre Datei"))));
    std::string name = ".~kx";
    static constexpr char kHex[] = "0123456789abcdef";
    for (const std::uint8_t b : random) {
        name += kHex[b >> 4];
        name += kHex[b & 15];
    }
    return name + ".tmp";
}

}  // namespace

File::File(File&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      path_(std::move(other.path_)),
      writtenBack_(other.writtenBack_),
      written_(other.written_),
      writeBackEarly_(other.writeBackEarly_) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::move(other.path_);
        writtenBack_ = other.writtenBack_;
        written_ = other.written_;
        writeBackEarly_ = other.writeBackEarly_;
    }
    return *this;
}

File::~File() {
    if (fd_ >= 0)
        ::close(fd_);
}

std::expected<std::uint64_t, Error> File::size() const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0)
        return std::unexpected(fromErrno(errno, kCannotLookAt, path_));
    return static_cast<std::uint64_t>(st.st_size);
}

namespace {

// Reads until `out` is full or the file ends, retrying interrupted and short
// reads; `at` reads from that offset (pread), else from the file position.
std::expected<std::size_t, Error> readFully(int fd, std::span<std::uint8_t> out,
                                            std::optional<std::uint64_t> at,
                                            const std::string& path) {
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t n =
            at ? ::pread(fd, out.data() + done, out.size() - done, static_cast<off_t>(*at + done))
               : ::read(fd, out.data() + done, out.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            auto e = walk::fromErrno(errno, kCannotRead, path);
            e.code = Error::ReadFault;
            return std::unexpected(std::move(e));
        }
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

}  // namespace

std::expected<std::size_t, Error> File::read(std::span<std::uint8_t> out) {
    return readFully(fd_, out, std::nullopt, path_);
}

std::expected<void, Error> File::write(std::span<const std::uint8_t> bytes) {
    const std::string_view view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (const int err = fsfd::writeFully(fd_, view); err != 0)
        return std::unexpected(fromErrno(err, kCannotWrite, path_));
    written_ += bytes.size();
    return {};
}

std::expected<std::size_t, Error> File::readAt(std::uint64_t offset, std::span<std::uint8_t> out) {
    return readFully(fd_, out, offset, path_);
}

std::expected<void, Error> File::writeAt(std::uint64_t offset,
                                         std::span<const std::uint8_t> bytes) {
    files::beforeFileChange();
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pwrite(fd_, bytes.data() + done, bytes.size() - done,
                                   static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return std::unexpected(fromErrno(errno, kCannotWrite, path_));
        }
        if (n == 0)
            return std::unexpected(fromErrno(EIO, kCannotWrite, path_));
        done += static_cast<std::size_t>(n);
    }
    return {};
}

std::expected<void, Error> File::reserve(std::uint64_t length) {
    auto current = size();
    KX_PROPAGATE(current);
    if (length <= *current)
        return {};
    // KEEP_SIZE: the blocks are taken, the length stays, so a run stopped
    // before its first write leaves the file exactly as it was.
    if (::fallocate(fd_, FALLOC_FL_KEEP_SIZE, static_cast<off_t>(*current),
                    static_cast<off_t>(length - *current)) != 0) {
        if (errno == EOPNOTSUPP || errno == ENOSYS)
            return {};  // the writes themselves will find out
        return std::unexpected(
            fromErrno(errno, trMark("kein Platz, um \"{1}\" zu vergrößern: {2}"), path_));
    }
    return {};
}

void File::startWriteBack() {
    // Only a hint: what it cannot start, the flush at the end writes.
    if (writeBackEarly_ && written_ > writtenBack_) {
        (void)::sync_file_range(fd_, static_cast<off_t>(writtenBack_),
                                static_cast<off_t>(written_ - writtenBack_), SYNC_FILE_RANGE_WRITE);
        writtenBack_ = written_;
    }
}

std::expected<void, Error> File::flush() {
    if (::fdatasync(fd_) != 0)
        return std::unexpected(fromErrno(errno, kCannotFlush, path_));
    return {};
}

// ---- write-behind ---------------------------------------------------------------

struct WriteBehind::State {
    File& file;
    std::size_t bufferBytes;
    // Left uninitialised: they are always filled before they are written.
    std::vector<std::unique_ptr<std::uint8_t[]>> buffers;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::pair<std::size_t, std::size_t>> queued;  // buffer index, bytes
    std::vector<std::size_t> free;
    std::optional<std::size_t> filling;  // handed out by buffer(), not yet submitted
    std::optional<Error> failure;
    bool writing = false;
    bool closing = false;
    std::thread writer;

    State(File& f, std::size_t bytes, std::size_t depth) : file(f), bufferBytes(bytes) {
        for (std::size_t i = 0; i < std::max<std::size_t>(depth, 1); ++i) {
            buffers.push_back(std::make_unique_for_overwrite<std::uint8_t[]>(bytes));
            free.push_back(i);
        }
        if (depth > 0)
            writer = std::thread([this] { run(); });
    }

    // Depth 0: the caller writes each buffer itself as it submits it.
    void writeNow(std::size_t index, std::size_t bytes) {
        if (!failure) {
            if (auto ok = file.write(std::span(buffers[index].get(), bytes)); !ok)
                failure = ok.error();
        }
        free.push_back(index);
    }

    void run() {
        std::size_t written = 0;
        std::unique_lock lock(mutex);
        for (;;) {
            changed.wait(lock, [this] { return closing || !queued.empty(); });
            if (queued.empty())
                return;  // closing and nothing left
            const auto [index, bytes] = queued.front();
            queued.pop_front();
            writing = true;
            const bool skip = failure.has_value();
            lock.unlock();
            std::optional<Error> error;
            if (!skip) {
                if (auto ok = file.write(std::span(buffers[index].get(), bytes)); !ok)
                    error = ok.error();
                else if (++written % 8 == 0)
                    file.startWriteBack();
            }
            lock.lock();
            writing = false;
            if (error && !failure)
                failure = std::move(error);
            free.push_back(index);
            changed.notify_all();
        }
    }
};

WriteBehind::WriteBehind(File& file, std::size_t bufferBytes, std::size_t depth)
    : state_(std::make_unique<State>(file, bufferBytes, depth)) {}

WriteBehind::~WriteBehind() {
    {
        std::lock_guard lock(state_->mutex);
        state_->closing = true;
    }
    state_->changed.notify_all();
    if (state_->writer.joinable())
        state_->writer.join();
}

std::span<std::uint8_t> WriteBehind::buffer() {
    std::unique_lock lock(state_->mutex);
    if (!state_->filling) {
        state_->changed.wait(lock, [this] { return !state_->free.empty(); });
        state_->filling = state_->free.back();
        state_->free.pop_back();
    }
    return {state_->buffers[*state_->filling].get(), state_->bufferBytes};
}

std::expected<void, Error> WriteBehind::submit(std::size_t bytes) {
    {
        std::lock_guard lock(state_->mutex);
        if (!state_->filling)
            return std::unexpected(fail(Error::WriteFault, std::string(tr("nichts zu schreiben"))));
        const std::size_t index = *std::exchange(state_->filling, std::nullopt);
        if (state_->failure) {
            state_->free.push_back(index);
            return std::unexpected(*state_->failure);
        }
        if (!state_->writer.joinable()) {
            state_->writeNow(index, std::min(bytes, state_->bufferBytes));
            if (state_->failure)
                return std::unexpected(*state_->failure);
            return {};
        }
        state_->queued.emplace_back(index, std::min(bytes, state_->bufferBytes));
    }
    state_->changed.notify_all();
    return {};
}

std::expected<void, Error> WriteBehind::finish() {
    std::unique_lock lock(state_->mutex);
    state_->changed.wait(lock, [this] { return state_->queued.empty() && !state_->writing; });
    if (state_->failure)
        return std::unexpected(*state_->failure);
    return {};
}

std::expected<File, Error> openToRead(Machine& machine, std::string_view path) {
    auto host = machine.resolve(path);
    if (!host)
        return std::unexpected(fail(host.error().code, host.error().message));
    // O_NONBLOCK: opening a FIFO must not wait for a writer; it is refused below.
    UniqueFd fd(::open(host->c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!fd.valid()) {
        if (errno == ENOENT)
            return std::unexpected(fail(Error::NotFound, kFileNotFound, path));
        return std::unexpected(fromErrno(errno, kCannotOpen, path));
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        return std::unexpected(fromErrno(errno, kCannotLookAt, path));
    if (!S_ISREG(st.st_mode))
        return std::unexpected(fail(Error::AccessDenied, trMark("keine Datei: \"{1}\""), path));
    // Read front to back once: the kernel may read ahead further.
    (void)::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    return FileAccess::make(fd.release(), std::string(path));
}

std::expected<File, Error> openToOverwrite(Machine& machine, std::string_view path) {
    auto parent = openParent(machine, path);
    KX_PROPAGATE(parent);
    const int dir = parent->dir.get();
    const char* name = parent->name.c_str();
    const std::string p(path);

    // Look before opening, so that a device or FIFO is never even opened.
    struct stat before {};
    if (::fstatat(dir, name, &before, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT)
            return std::unexpected(fail(Error::NotFound, kFileNotFound, p));
        return std::unexpected(fromErrno(errno, kCannotLookAt, path));
    }
    const auto refuse = [&](const struct stat& st) -> std::expected<void, Error> {
        if (auto ok = refuseUnsafe(st, path); !ok)
            return ok;
        if (st.st_nlink > 1)
            return std::unexpected(
                fail(Error::AccessDenied,
                     trMark("abgelehnt: \"{1}\" hat weitere Namen (harte Verknüpfungen)"), p));
        if ((st.st_mode & S_IWUSR) == 0)
            return std::unexpected(
                fail(Error::AccessDenied, trMark("abgelehnt: \"{1}\" ist schreibgeschützt"), p));
        return {};
    };
    KX_PROPAGATE(refuse(before));
    // O_NOFOLLOW: a link swapped in since the look is refused, not followed;
    // O_NONBLOCK keeps a FIFO swapped in from blocking the open.
    UniqueFd fd(::openat(dir, name, O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd.valid()) {
        if (errno == ELOOP)
            return std::unexpected(fail(Error::AccessDenied, kRefusedLink, p));
        return std::unexpected(fromErrno(errno, kCannotOpen, path));
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        return std::unexpected(fromErrno(errno, kCannotLookAt, path));
    KX_PROPAGATE(refuse(st));
    if (st.st_dev != before.st_dev || st.st_ino != before.st_ino)
        return std::unexpected(fail(Error::SharingViolation, kChangedWhileOpened, p));
    // Regular files ignore O_NONBLOCK, but reads must wait like any other.
    (void)::fcntl(fd.get(), F_SETFL, 0);
    return FileAccess::make(fd.release(), p);
}

// ---- pending output -------------------------------------------------------------

std::expected<PendingFile, Error> PendingFile::create(Machine& machine, std::string_view target,
                                                      bool privateMode, Durability durability) {
    auto parent = openParent(machine, target);
    KX_PROPAGATE(parent);
    const std::string p(target);
    struct stat st {};
    if (::fstatat(parent->dir.get(), parent->name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        // A link is replaced as a name, never written through; a folder, a
        // device or a read-only file is not replaced at all.
        if (!S_ISLNK(st.st_mode)) {
            KX_PROPAGATE(refuseUnsafe(st, target));
            if ((st.st_mode & S_IWUSR) == 0)
                return std::unexpected(fail(Error::AccessDenied,
                                            trMark("abgelehnt: \"{1}\" ist schreibgeschützt"), p));
        }
    } else if (errno != ENOENT) {
        return std::unexpected(fromErrno(errno, kCannotLookAt, target));
    }

    const mode_t mode = privateMode ? 0600 : 0666;
    PendingFile out;
    out.path_ = p;
    out.name_ = parent->name;
    // Unnamed first: nothing of it can be seen (or outlive a crash) before
    // it is complete.
    int fd = ::openat(parent->dir.get(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
    if (fd < 0) {
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
            return std::unexpected(
                fromErrno(errno, trMark("kann neben \"{1}\" keine Datei anlegen: {2}"), target));
        for (int attempt = 0; attempt < 8 && fd < 0; ++attempt) {
            auto name = temporaryName();
            KX_PROPAGATE(name);
            fd = ::openat(parent->dir.get(), name->c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
            if (fd >= 0) {
                out.tempName_ = std::move(*name);
            } else if (errno != EEXIST) {
                return std::unexpected(fromErrno(
                    errno, trMark("kann neben \"{1}\" keine Datei anlegen: {2}"), target));
            }
        }
        if (fd < 0)
            return std::unexpected(
                fail(Error::AlreadyExists, trMark("kein freier temporärer Name neben \"{1}\""), p));
    }
    out.file_ = FileAccess::make(fd, p);
    out.durable_ = durability != Durability::Cached;
    out.flushFolder_ = durability == Durability::OnDisk;
    // Starting the writing early only pays when it is waited for at the end.
    out.file_.writeBackEarly_ = out.durable_;
    out.dir_ = parent->dir.release();
    return out;
}

PendingFile::PendingFile(PendingFile&& other) noexcept
    : file_(std::move(other.file_)),
      dir_(std::exchange(other.dir_, -1)),
      name_(std::move(other.name_)),
      tempName_(std::move(other.tempName_)),
      path_(std::move(other.path_)),
      published_(std::exchange(other.published_, true)),
      durable_(other.durable_),
      flushFolder_(other.flushFolder_) {}

PendingFile& PendingFile::operator=(PendingFile&& other) noexcept {
    if (this != &other) {
        discard();
        file_ = std::move(other.file_);
        dir_ = std::exchange(other.dir_, -1);
        name_ = std::move(other.name_);
        tempName_ = std::move(other.tempName_);
        path_ = std::move(other.path_);
        published_ = std::exchange(other.published_, true);
        durable_ = other.durable_;
        flushFolder_ = other.flushFolder_;
    }
    return *this;
}

PendingFile::~PendingFile() {
    discard();
}

void PendingFile::discard() noexcept {
    if (!published_ && dir_ >= 0 && !tempName_.empty())
        (void)::unlinkat(dir_, tempName_.c_str(), 0);
    published_ = true;
    file_ = File();  // an unnamed file vanishes with its descriptor
    if (dir_ >= 0)
        ::close(dir_);
    dir_ = -1;
}

std::expected<void, Error> PendingFile::publish() {
    if (published_ || !file_.isOpen())
        return std::unexpected(
            fail(Error::WriteFault, trMark("nichts zu veröffentlichen für \"{1}\""), path_));
    if (durable_) {
        if (auto ok = file_.flush(); !ok)
            return ok;
    }
    if (tempName_.empty()) {
        // An unnamed file gets a temporary name first (a link cannot replace
        // an existing name), then takes the target's name in one step.
        for (int attempt = 0; attempt < 8 && tempName_.empty(); ++attempt) {
            auto name = temporaryName();
            KX_PROPAGATE(name);
            const std::string proc = "/proc/self/fd/" + std::to_string(file_.fd_);
            int rc = ::linkat(AT_FDCWD, proc.c_str(), dir_, name->c_str(), AT_SYMLINK_FOLLOW);
            if (rc != 0 && errno == ENOENT)  // no /proc: the privileged way
                rc = ::linkat(file_.fd_, "", dir_, name->c_str(), AT_EMPTY_PATH);
            if (rc == 0) {
                tempName_ = std::move(*name);
            } else if (errno != EEXIST) {
                return std::unexpected(fromErrno(
                    errno, trMark("kann der neuen Datei \"{1}\" keinen Namen geben: {2}"), path_));
            }
        }
        if (tempName_.empty())
            return std::unexpected(fail(
                Error::AlreadyExists, trMark("kein freier temporärer Name neben \"{1}\""), path_));
    }
    files::beforeFileChange();
    if (::renameat(dir_, tempName_.c_str(), dir_, name_.c_str()) != 0)
        return std::unexpected(
            fromErrno(errno, trMark("kann \"{1}\" nicht an seinen Platz stellen: {2}"), path_));
    published_ = true;
    // The new name must survive a crash as well as the content. Should this
    // flush fail, the complete content is already in place and flushed;
    // undoing the rename now would lose what the name held before as well,
    // so the file stays and counts as written.
    if (flushFolder_)
        (void)::fsync(dir_);
    return {};
}

}  // namespace kx::platform::cipherfiles
