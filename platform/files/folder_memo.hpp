#pragma once
// What a FolderMemoScope remembers: the last folder a path resolution went
// through and the last folder a walk opened. Internal to platform/.
#include <map>
#include <string>

#include "platform/files/fs_fd.hpp"
#include "platform/machine/machine.hpp"

namespace kx::platform {

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
};

/// The thread's memo, or null when no scope is active.
FolderMemo* activeFolderMemo();

}  // namespace kx::platform
