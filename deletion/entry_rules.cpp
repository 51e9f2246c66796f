#include "deletion/entry_rules.hpp"

namespace kx::deletion {

EntryVerdict classifyEntry(const platform::EntryFacts& facts) {
    using platform::EntryKind;
    switch (facts.kind) {
        case EntryKind::Link:
        case EntryKind::FolderLink:
            return {EntryTreatment::RemoveName, DeleteOutcome::LinkRemoved, Refusal::None};
        case EntryKind::Folder:
            return {EntryTreatment::Refuse, DeleteOutcome::Refused, Refusal::Folder};
        case EntryKind::Other:
            return {EntryTreatment::Refuse, DeleteOutcome::Refused, Refusal::Device};
        case EntryKind::File:
            break;
    }
    if (facts.hardLinks > 1)
        return {EntryTreatment::RemoveName, DeleteOutcome::NameRemoved, Refusal::None};
    return {};
}

bool ownedByThisName(platform::Machine& machine, std::string_view path) {
    const auto facts = platform::lookAtEntry(machine, path);
    return facts && classifyEntry(*facts).treatment == EntryTreatment::Destroy;
}

bool nothingThere(const platform::FileError& error) {
    return error.code == platform::FileError::NotFound ||
           error.code == platform::FileError::PathNotFound;
}

}  // namespace kx::deletion
