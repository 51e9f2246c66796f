#pragma once
// A folder opened once and worked in by entry name: a loop over many files
// of one folder looks at, moves and removes each relative to the folder's
// descriptor instead of walking the whole path again per call.
//
// The folder is reached like every other write of the file layer: from the
// drive's root, one component at a time, never following a link. The calls
// below take a plain entry name (no separator) and never follow a link at
// it either: a link is looked at, moved and removed as the link.
#include <cstdint>
#include <expected>
#include <memory>
#include <string>
#include <string_view>

#include "platform/files/overwrite.hpp"
#include "platform/machine/machine.hpp"

namespace kx::platform {

struct OpenFolderHandle;

class OpenFolder {
  public:
    /// Opens the folder a Windows path names. Within a FolderMemoScope,
    /// consecutive opens of the same folder on the same machine share one
    /// descriptor (nothing on the way may be renamed meanwhile, as with the
    /// scope's other memos).
    static std::expected<OpenFolder, Error> open(Machine& machine, std::string_view windowsFolder);

    /// The entry as lookAtEntry answers it. NotFound for no entry of exactly
    /// that name (the lookup is by the name's exact spelling).
    std::expected<EntryFacts, Error> look(std::string_view name) const;

    /// Moves an entry to another name in the same folder; an existing entry
    /// of that name answers AlreadyExists and is never replaced.
    std::expected<void, Error> rename(std::string_view from, std::string_view to) const;

    /// Removes a file or link by name (never a folder, never a link's
    /// target). The caller has looked at it: no read-only check is made.
    std::expected<void, Error> remove(std::string_view name) const;

  private:
    OpenFolder(Machine& machine, std::shared_ptr<const OpenFolderHandle> handle)
        : machine_(&machine), handle_(std::move(handle)) {}

    Machine* machine_;
    std::shared_ptr<const OpenFolderHandle> handle_;
};

}  // namespace kx::platform
