#pragma once
// Overwriting a file's own blocks in place, for the secure deletion.
//
// The file layer's writeAll takes the whole new content in memory and writes
// it in one go: fine for an INI file, hopeless for wiping a file of several
// gigabytes. A wipe writes runs of one byte value at given offsets, block by
// block from a small buffer, and flushes each run to the device before the
// next one is written over it (a run that only reached the page cache would
// be replaced there by the next and never touch the disk).
//
// The same refusals as the file layer's writes hold, checked on the opened
// file itself so nothing can be swapped in between: the path is walked from
// the drive's root without following a link anywhere on the way; a symbolic
// link, folder, FIFO, socket or device, a file with more than one hard link
// (its other names would see the new bytes) and a read-only file are refused
// before any byte is written.
#include <cstdint>
#include <expected>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files/files.hpp"
#include "platform/machine/machine.hpp"

namespace kx::platform {

/// What a path names, looked at without following a link at its end.
struct EntryFacts {
    EntryKind kind = EntryKind::File;
    std::uint64_t size = 0;       // of the entry itself (a link's own size for links)
    std::uint64_t hardLinks = 1;  // names the entry has (1 for an ordinary file)
    bool readOnly = false;        // a file whose owner write bit is clear
};

/// The entry a path names, without following any link on the way or at the
/// end. NotFound when it is not there, PathNotFound for a missing folder,
/// AccessDenied when the way passes through a link.
std::expected<EntryFacts, Error> lookAtEntry(Machine& machine, std::string_view path);

/// One regular file opened for overwriting in place. Owns its descriptor and
/// the file locks taken at opening; both go with the object.
class OverwriteFile {
  public:
    enum class Open {
        Existing,   // the file must be there; it is never created or truncated on opening
        CreateNew,  // a new file; an existing entry of that name answers AlreadyExists
    };

    /// Opens the file read-write. Besides the refusals above, a file another
    /// process holds a lock on (flock or an fcntl record lock) answers
    /// SharingViolation, as Windows answers for a file open elsewhere; the
    /// locks taken here keep a second wipe of the same file out meanwhile.
    static std::expected<OverwriteFile, Error> open(Machine& machine, std::string_view path,
                                                    Open how);

    OverwriteFile(OverwriteFile&& other) noexcept;
    OverwriteFile& operator=(OverwriteFile&& other) noexcept;
    OverwriteFile(const OverwriteFile&) = delete;
    OverwriteFile& operator=(const OverwriteFile&) = delete;
    ~OverwriteFile();

    /// The file's length now.
    std::expected<std::uint64_t, Error> length() const;

    /// Writes `count` bytes of `value` from `offset` on (growing the file when
    /// the run reaches past its end), from a fixed buffer of kBlockSize bytes:
    /// memory stays the same whatever the count. Not yet flushed.
    std::expected<void, Error> fill(std::uint64_t offset, std::uint64_t count, std::uint8_t value);

    /// Flushes the written data to the device (fdatasync).
    std::expected<void, Error> flush();

    /// Cuts (or extends) the file to `length` bytes.
    std::expected<void, Error> truncate(std::uint64_t length);

    /// Closes now; later calls answer AccessDenied. Closing twice is harmless.
    void close();

    /// Bytes written per write call.
    static constexpr std::size_t kBlockSize = 1 << 20;

  private:
    OverwriteFile(int fd, std::string path);

    int fd_ = -1;
    std::string path_;  // for messages
    std::vector<unsigned char> block_;
    int blockValue_ = -1;  // the byte the block holds, -1 before the first fill
};

}  // namespace kx::platform
