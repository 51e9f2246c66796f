#pragma once
// The walk every file operation of the platform layer starts with: from the
// drive's root, one component at a time, never following a link, to the
// folder that holds the named entry. Internal to platform/.
#include <sys/stat.h>

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>

#include "platform/files/files.hpp"
#include "platform/files/fs_fd.hpp"
#include "platform/machine/machine.hpp"

namespace kx::platform::walk {

Error fail(std::uint32_t code, std::string message);
/// The Windows code of an errno, with "<what> "<path>": <reason>".
Error fromErrno(int err, std::string_view what, std::string_view path);
EntryKind kindOf(mode_t mode);
/// Read-only as the mode bits say (root's writes ignore them, so callers check).
bool isReadOnlyFile(const struct stat& st);
/// Refuses, before any byte is written, what a content write must never
/// touch: links, folders, FIFOs, sockets, devices, hard-linked and read-only files.
std::expected<void, Error> refuseUnsafe(const struct stat& st, std::string_view path);

/// Opens the drive's root and the first `count` components as folders
/// (within a FolderMemoScope, the last folder walked to is remembered).
std::expected<fsfd::UniqueFd, Error> walkFolders(const ResolvedPath& parts, std::size_t count,
                                                 std::string_view path);

/// The same walk, always from the drive's root.
std::expected<fsfd::UniqueFd, Error> walkFrom(const ResolvedPath& parts, std::size_t count,
                                              std::string_view path);

/// The folder that holds a path's last component, plus that component's name.
struct Parent {
    fsfd::UniqueFd dir;
    std::string name;
};
std::expected<Parent, Error> openParent(Machine& machine, std::string_view path);

/// The entry a path names, looked at without following a link, with the
/// folder that holds it. `what` names the entry in the not-found message.
struct Entry {
    Parent parent;
    struct stat st {};
};
std::expected<Entry, Error> lookAt(Machine& machine, std::string_view path,
                                   std::string_view what = "file");

}  // namespace kx::platform::walk
