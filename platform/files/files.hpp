#pragma once
// The file layer over Windows paths. Paths are resolved through a machine
// (the thread's current machine when none is given) and the calls answer the
// way their Win32 counterparts do, with a Win32 error code on failure.
//
// Nothing here ever writes through a symbolic link: every write, deletion and
// attribute change walks the path from the drive's root one component at a
// time without following links, so a link planted anywhere in a path (not
// only at its end) cannot turn a cleaner against files outside the tree it
// was sent to. Reading follows links, as Windows follows junctions.
#include <chrono>
#include <cstdint>
#include <expected>
#include <string>
#include <string_view>
#include <vector>

#include "platform/machine/machine.hpp"
#include "platform/runtime/error.hpp"

namespace kx::platform {

/// The name the engine's file callers know the platform's failure by.
using FileError = Error;

/// GetFileAttributesA bits.
namespace fileattr {
inline constexpr std::uint32_t ReadOnly = 0x1;
inline constexpr std::uint32_t Hidden = 0x2;
inline constexpr std::uint32_t System = 0x4;
inline constexpr std::uint32_t Directory = 0x10;
inline constexpr std::uint32_t Archive = 0x20;
inline constexpr std::uint32_t Normal = 0x80;
inline constexpr std::uint32_t ReparsePoint = 0x400;   // a symbolic link
inline constexpr std::uint32_t Invalid = 0xFFFFFFFFu;  // INVALID_FILE_ATTRIBUTES
/// The bits SetFileAttributesA keeps; the others are the system's to say.
inline constexpr std::uint32_t Settable = ReadOnly | Hidden | System | Archive;
}  // namespace fileattr

enum class EntryKind : std::uint8_t {
    File,  // a regular file
    Folder,
    Link,        // a symbolic link to anything but a folder, or a dangling one
    FolderLink,  // a symbolic link to a folder
    Other,       // FIFO, socket, device
};

struct FileInfo {
    EntryKind kind = EntryKind::File;
    std::uint64_t size = 0;  // of the entry itself (a link's own size for links)
    std::uint32_t attributes = fileattr::Normal;
    std::chrono::system_clock::time_point modified;
};

struct FolderEntry {
    std::string name;
    EntryKind kind = EntryKind::File;
};

/// What emptying a folder did.
struct EmptyResult {
    std::uint64_t removedEntries = 0;  // files, links and others
    std::uint64_t removedFolders = 0;
    std::uint64_t failed = 0;  // entries that stayed
};

namespace files {

/// True when the path names any entry (file, folder, link, even a dangling
/// link, which can still be deleted). The root of a drive exists.
bool exists(Machine& machine, std::string_view path);

/// The entry itself, without following a link at the end of the path.
std::expected<FileInfo, FileError> info(Machine& machine, std::string_view path);

/// The size of a file (following a link to it); a folder answers AccessDenied.
std::expected<std::uint64_t, FileError> size(Machine& machine, std::string_view path);

/// The whole content. Only regular files are read: a FIFO or device answers
/// AccessDenied (it is never opened in a way that could block).
std::expected<std::string, FileError> readAll(Machine& machine, std::string_view path);

/// Replaces the whole content, creating the file when absent. An existing
/// file is opened without truncation and overwritten in place, then cut to
/// the new length and flushed to disk (fdatasync), so its own blocks receive
/// the new bytes. Refused with AccessDenied, before a byte is written: a
/// symbolic link (the target stays untouched), a folder, a FIFO, socket or
/// device, a file with more than one hard link (the other names would change
/// too) and a read-only file. A failure part-way (disk full) leaves the file
/// partly overwritten; the error says so.
std::expected<void, FileError> writeAll(Machine& machine, std::string_view path,
                                        std::string_view bytes);

/// Replaces a file's content as a whole: the new content is written and
/// flushed under a temporary name in the same folder, then renamed over the
/// file, so a reader sees the old file or the new one, never half of either.
/// The path is walked without following links; a link of that name is
/// replaced itself (its target is not written). The file keeps its mode.
/// Refused with AccessDenied: a folder and a read-only file. A missing file
/// is created.
std::expected<void, FileError> replaceContent(Machine& machine, std::string_view path,
                                              std::string_view bytes);

/// Deletes a file, or a link (never its target). A read-only file answers
/// AccessDenied, as DeleteFile does; a folder answers AccessDenied (use
/// removeFolder). A missing file answers NotFound.
std::expected<void, FileError> remove(Machine& machine, std::string_view path);

/// Removes this one name of a file, link or other entry, whatever the
/// file's read-only mode, and changes nothing else: a link's target, and the
/// mode, attributes and content a file keeps under its other hard links,
/// stay as they were. A folder answers AccessDenied, a missing name NotFound.
std::expected<void, FileError> removeName(Machine& machine, std::string_view path);

/// Removes an empty folder (RemoveDirectory); a link answers AccessDenied.
std::expected<void, FileError> removeFolder(Machine& machine, std::string_view path);

/// Moves a file or folder (a link moves as the link). An existing target
/// answers AlreadyExists, as MoveFile does; no entry is ever replaced.
std::expected<void, FileError> rename(Machine& machine, std::string_view from, std::string_view to);

/// Swaps two existing entries in one step: each name then holds what the
/// other held, and no moment shows either name empty. NotSupported where the
/// file system cannot swap names.
std::expected<void, FileError> exchange(Machine& machine, std::string_view first,
                                        std::string_view second);

/// CreateDirectory: one folder whose parent exists; an existing entry answers AlreadyExists.
std::expected<void, FileError> createFolder(Machine& machine, std::string_view path);

/// Creates every missing folder of the path; existing folders are fine. A
/// link or file on the way answers AccessDenied / PathNotFound.
std::expected<void, FileError> createFolders(Machine& machine, std::string_view path);

/// The entries of a folder in byte order of their names, without "." and "..".
std::expected<std::vector<FolderEntry>, FileError> list(Machine& machine, std::string_view folder);

/// GetFileAttributesA: Directory for folders, ReparsePoint for links, the
/// stored Hidden/System/Archive bits, ReadOnly when the file's owner write
/// bit is clear, and Normal when no other bit is set.
std::expected<std::uint32_t, FileError> attributes(Machine& machine, std::string_view path);

/// SetFileAttributesA: keeps ReadOnly, Hidden, System and Archive; 0 or
/// Normal clears them all. ReadOnly on a file also clears its write bits;
/// clearing it gives the owner the write bit back. A link answers
/// AccessDenied (its target is not touched), as do FIFOs and devices. The
/// bits live in the extended attribute "user.kolvanex.attributes", or in a
/// side table in the prefix on file systems without user attributes.
std::expected<void, FileError> setAttributes(Machine& machine, std::string_view path,
                                             std::uint32_t attributes);

/// Empties a folder, keeping the folder itself: every file, link and other
/// entry below it is deleted (links as links) and every subfolder removed.
/// Linked folders inside are unlinked, never entered. Fails, touching
/// nothing, when the folder is missing, is not a folder, is itself a link or
/// is the root of a drive.
/// Entries that cannot be deleted are counted in `failed` and skipped.
std::expected<EmptyResult, FileError> emptyFolder(Machine& machine, std::string_view folder);

// The same calls on the thread's current machine.
inline bool exists(std::string_view p) {
    return exists(currentMachine(), p);
}
inline auto info(std::string_view p) {
    return info(currentMachine(), p);
}
inline auto size(std::string_view p) {
    return size(currentMachine(), p);
}
inline auto readAll(std::string_view p) {
    return readAll(currentMachine(), p);
}
inline auto writeAll(std::string_view p, std::string_view bytes) {
    return writeAll(currentMachine(), p, bytes);
}
inline auto remove(std::string_view p) {
    return remove(currentMachine(), p);
}
inline auto removeFolder(std::string_view p) {
    return removeFolder(currentMachine(), p);
}
inline auto rename(std::string_view from, std::string_view to) {
    return rename(currentMachine(), from, to);
}
inline auto createFolder(std::string_view p) {
    return createFolder(currentMachine(), p);
}
inline auto createFolders(std::string_view p) {
    return createFolders(currentMachine(), p);
}
inline auto list(std::string_view p) {
    return list(currentMachine(), p);
}
inline auto attributes(std::string_view p) {
    return attributes(currentMachine(), p);
}
inline auto setAttributes(std::string_view p, std::uint32_t a) {
    return setAttributes(currentMachine(), p, a);
}
inline auto emptyFolder(std::string_view p) {
    return emptyFolder(currentMachine(), p);
}

/// Makes attributes go to the side table even where extended attributes
/// work, so tests reach the code path of file systems without them.
void forceAttributeSideTable(bool force);

}  // namespace files
}  // namespace kx::platform
