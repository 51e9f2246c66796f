#pragma once
// What the secure deletion may do to an entry, decided from what the entry is
// before any byte is written. The deletion routine and the Gutmann wiper both
// ask here, so that neither can be sent through a link or into a shared file.
#include <cstdint>
#include <string_view>

#include "deletion/delete_result.hpp"
#include "platform/files/overwrite.hpp"

namespace kx::deletion {

enum class EntryTreatment : std::uint8_t {
    Destroy,     // a regular file with this one name: its content may be destroyed
    RemoveName,  // only the name goes (EntryVerdict::removed says what that was)
    Refuse,      // left untouched (EntryVerdict::refusal says why)
};

struct EntryVerdict {
    EntryTreatment treatment = EntryTreatment::Destroy;
    /// RemoveName: LinkRemoved for a symbolic link (to a file, a folder or
    /// nothing; its target stays), NameRemoved for a file with other hard
    /// links (its content belongs to those names as well).
    DeleteOutcome removed = DeleteOutcome::Deleted;
    /// Refuse: Folder for a folder, Device for a device, pipe or socket.
    Refusal refusal = Refusal::None;
};

/// The treatment of the entry a path names, as platform::lookAtEntry saw it.
EntryVerdict classifyEntry(const platform::EntryFacts& facts);

/// True when `path` names a regular file with this one name: the only entry
/// whose content, mode or attributes a cleaner may change (a link's belong
/// to its target, a hard-linked file's to its other names as well).
bool ownedByThisName(platform::Machine& machine, std::string_view path);

/// True for the errors of platform::lookAtEntry that mean nothing is there
/// (the name or a folder on its way missing), as opposed to a failure.
bool nothingThere(const platform::FileError& error);

}  // namespace kx::deletion
