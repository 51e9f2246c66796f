#pragma once
// A fast walk over a folder tree. Entries are read in bulk (getdents64 with a
// large buffer) and classified by the type the directory itself records, so
// a tree of files costs no stat per file; only entries of unknown type and
// links are looked at more closely. Subfolders are opened relative to their
// parent without following links, iteratively, so neither a deep tree nor a
// link swapped in during the walk can lead it outside the tree. The root's
// subfolders are read side by side on the machine's processors.
#include <cstddef>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <functional>
#include <string_view>

#include "platform/files/files.hpp"
#include "platform/machine/machine.hpp"

namespace kx::platform {

struct ScanStats {
    std::uint64_t files = 0;
    std::uint64_t folders = 0;         // below the root
    std::uint64_t links = 0;           // links to non-folders and dangling links
    std::uint64_t folderLinks = 0;     // reported, never entered
    std::uint64_t others = 0;          // FIFOs, sockets, devices
    std::uint64_t skippedFolders = 0;  // could not be opened or read
    std::uint64_t unaddressable = 0;   // names holding the separator, left out
};

struct ScanOptions {
    /// Put between components of the relative paths handed to the callback.
    /// With "\\" an entry whose own name holds a "\\" (legal on Linux) could
    /// not be told from a path, and a later deletion by that path would hit
    /// another file; such entries (and folders, with all below them) are
    /// left out and counted as unaddressable.
    char separator = '/';
    /// Also report folders (before their contents).
    bool reportFolders = false;
    /// Walkers reading the root's subfolders side by side (at most 4); 0 for
    /// one per processor. The callback is still called on the calling
    /// thread, with the entries in the order of a walk by one walker.
    unsigned threads = 0;
    /// Entries kept for their turn, in bytes, above which the helpers take
    /// no further folder until the caller has caught up (one folder's
    /// entries may still go above it).
    std::size_t keptBytes = 8 * 1024 * 1024;
};

/// Called per entry with its path relative to the root (components in their
/// on-disk spelling) and its kind. Folders come only with `reportFolders`.
/// The view is valid during the call only.
using ScanCallback = std::function<void(std::string_view relativePath, EntryKind kind)>;

/// Walks everything below `root` (the root itself may be reached through
/// links; nothing below it is). Folders that cannot be opened or read are
/// skipped and counted. Fails only when the root cannot be opened as a folder.
std::expected<ScanStats, Error> scanTree(const std::filesystem::path& root,
                                         const ScanCallback& onEntry,
                                         const ScanOptions& options = {});

/// The same below an open folder descriptor (borrowed, not closed).
std::expected<ScanStats, Error> scanTreeAt(int rootFd, const ScanCallback& onEntry,
                                           const ScanOptions& options = {});

/// The same below a Windows path of the machine. A linked folder below it
/// (Machine::linkFolder) is walked in its place, as the folder it stands for.
std::expected<ScanStats, Error> scanWindowsTree(Machine& machine, std::string_view windowsRoot,
                                                const ScanCallback& onEntry,
                                                const ScanOptions& options = {});

}  // namespace kx::platform
