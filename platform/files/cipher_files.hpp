#pragma once
// The few file operations a streaming cipher needs that the whole-file calls
// of platform/files.hpp do not offer: reading in pieces, overwriting a file's
// own blocks in place, and an output that appears under its name only once it
// is complete.
#include <cstddef>
#include <cstdint>
#include <expected>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "platform/files/files.hpp"
#include "platform/machine/machine.hpp"

namespace kx::platform::cipherfiles {

/// One open file. Reads and writes retry short transfers and EINTR.
class File {
  public:
    File() = default;
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    /// The size at the moment of asking.
    std::expected<std::uint64_t, Error> size() const;

    /// Reads at the current position until `out` is full or the file ends;
    /// answers the bytes read (less than out.size() only at the end).
    std::expected<std::size_t, Error> read(std::span<std::uint8_t> out);
    /// Writes everything at the current position.
    std::expected<void, Error> write(std::span<const std::uint8_t> bytes);
    /// The same at an offset, leaving the position alone.
    std::expected<std::size_t, Error> readAt(std::uint64_t offset, std::span<std::uint8_t> out);
    std::expected<void, Error> writeAt(std::uint64_t offset, std::span<const std::uint8_t> bytes);

    /// Reserves disk room up to `length` bytes, without changing the file's
    /// length, so that a full disk shows before any byte is overwritten.
    /// File systems that cannot reserve are not an error.
    std::expected<void, Error> reserve(std::uint64_t length);
    /// Starts writing the bytes written so far to disk without waiting, so
    /// that the flush at the end does not find the whole file still waiting.
    /// Nothing for a file that will not be flushed (Durability::Cached).
    void startWriteBack();
    /// fdatasync.
    std::expected<void, Error> flush();

  private:
    friend struct FileAccess;  // the opening calls in crypto.cpp
    friend class PendingFile;
    File(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    int fd_ = -1;
    std::string path_;  // the Windows path, for messages
    std::uint64_t writtenBack_ = 0;
    std::uint64_t written_ = 0;
    bool writeBackEarly_ = true;
};

/// Writes a file behind its caller: buffers handed over are written in
/// order by a helper thread, so that writing one chunk (most of the time a
/// file run spends is the kernel taking written pages) overlaps reading and
/// sealing the next. The caller fills a buffer, hands it over and goes on;
/// at most `depth` buffers exist, so memory stays bounded and a slow disk
/// makes the caller wait for a free one. Every eight buffers the written
/// bytes are sent to disk without waiting (File::startWriteBack).
/// With `depth` 0 there is no helper thread: submit() writes the buffer
/// before it returns. Meant for output of one buffer, where a thread would
/// only add its start and hand-over (a folder of small files pays that per
/// file).
class WriteBehind {
  public:
    WriteBehind(File& file, std::size_t bufferBytes, std::size_t depth = 3);
    /// Waits for the helper thread; writes still queued are done, their
    /// result is dropped (use finish() to hear of it).
    ~WriteBehind();
    WriteBehind(const WriteBehind&) = delete;
    WriteBehind& operator=(const WriteBehind&) = delete;

    /// A buffer of bufferBytes to fill; waits while every buffer is queued.
    std::span<std::uint8_t> buffer();
    /// Queues the first `bytes` bytes of the buffer buffer() gave last.
    /// Fails with the error of an earlier write, if one failed (nothing
    /// further is written then).
    std::expected<void, Error> submit(std::size_t bytes);
    /// Waits until everything queued is written; the first failure.
    std::expected<void, Error> finish();

  private:
    struct State;
    std::unique_ptr<State> state_;
};

/// Opens a regular file to read. A link is followed (reading follows links,
/// as Windows follows junctions); a folder, FIFO, socket or device answers
/// AccessDenied without blocking.
std::expected<File, Error> openToRead(Machine& machine, std::string_view path);

/// Opens an existing file to overwrite its own blocks (read and write,
/// never truncated, never created). Refused with AccessDenied before a byte
/// is written: a symbolic link anywhere in the path (the target stays
/// untouched), a folder, a FIFO, socket or device, a file with more than one
/// hard link (the other names would change too) and a read-only file. A
/// missing file answers NotFound.
std::expected<File, Error> openToOverwrite(Machine& machine, std::string_view path);

/// How far a published file is written when publish() answers.
enum class Durability {
    /// On the disk: content, name and folder flushed, so the file survives a
    /// crash. Needed by a caller about to remove the file it was made from.
    OnDisk,
    /// The content on the disk before the file takes its name; the name is
    /// left to the system. For a file that replaces the one it was made
    /// from: a crash then leaves the old file or the new one, each whole.
    ContentOnDisk,
    /// Handed to the system, which writes it in its own time (as copying
    /// tools leave it). The name still shows only the complete file; a crash
    /// soon after may lose the new file, never the one it was made from.
    Cached,
};

/// A file being written that takes its name only when it is complete. It is
/// made in the target's folder (reached without following links) as an
/// unnamed file where the file system allows it, else under a hidden
/// temporary name; dropping it without publish() leaves nothing behind
/// (an unnamed file cannot even survive a crash).
class PendingFile {
  public:
    /// `privateMode`: readable by the owner only (plain text of secrets).
    /// Fails when the target's folder is missing or passes through a link,
    /// or when the target is a folder or a read-only file (writing it would
    /// be refused on Windows too).
    static std::expected<PendingFile, Error> create(Machine& machine, std::string_view target,
                                                    bool privateMode,
                                                    Durability durability = Durability::OnDisk);

    PendingFile(PendingFile&& other) noexcept;
    PendingFile& operator=(PendingFile&& other) noexcept;
    ~PendingFile();

    File& file() { return file_; }

    /// Puts the file in place of the target (replacing a file or link of that
    /// name; a link is replaced, its target is not written). OnDisk: the
    /// content is flushed before and the folder after, so that once this
    /// answers the complete file is what the name shows, even after a crash.
    std::expected<void, Error> publish();

  private:
    PendingFile() = default;
    void discard() noexcept;

    File file_;
    int dir_ = -1;
    std::string name_;      // the target's name in dir_
    std::string tempName_;  // the temporary's name, "" while the file is unnamed
    std::string path_;      // the Windows path, for messages
    bool published_ = false;
    bool durable_ = true;
    bool flushFolder_ = true;
};

}  // namespace kx::platform::cipherfiles
