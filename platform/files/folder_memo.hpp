#pragma once
// What a FolderMemoScope remembers: the last folder a path resolution went
// through and the last folder a walk opened. Internal to platform/.
#include <map>
#include <memory>
#include <string>

#include "platform/files/fs_fd.hpp"
#include "platform/machine/machine.hpp"

namespace kx::platform {

/// A folder OpenFolder works in: its descriptor (walked to without
/// following links) and whether attribute bits live in the side table.
struct OpenFolderHandle {
    fsfd::UniqueFd dir;
    bool sideTable = false;
};

struct FolderMemo {
    // Resolution: the key names the machine's drive root (or linked folder)
    // and the components as given; `parent` is what they resolved to.
    std::string resolvedKey;
    ResolvedPath parent;
    std::string parentHost;  // parent.hostPath()
    bool parentMissing = false;
    // The names of `parent`'s entries by their lower-cased form (the first
    // in byte order for each), read at the first name not found in its exact
    // spelling there; only names the loop itself creates can be missing
    // from it, and those it looks up in their exact spelling.
    bool listed = false;
    std::map<std::string, std::string> namesByLowerCase;
    // Walk: the host path of the folder `walked` is open on.
    std::string walkedKey;
    fsfd::UniqueFd walked;
    // OpenFolder: the machine's prefix and the folder as given, and the
    // folder it opened.
    std::string openKey;
    std::shared_ptr<const OpenFolderHandle> open;
};

/// The thread's memo, or null when no scope is active.
FolderMemo* activeFolderMemo();

}  // namespace kx::platform
