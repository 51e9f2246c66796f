#include "cleaning/emptied_folders.hpp"

#include "cleaning/run_context.hpp"
#include "deletion/entry_rules.hpp"
#include "deletion/secure_delete.hpp"
#include "fsys/dir_scanner.hpp"
#include "fsys/file_access.hpp"
#include "platform/files/files.hpp"
#include "platform/ui/message_loop.hpp"

namespace kx::cleaning {
namespace {

namespace pf = kx::platform;
using deletion::DeleteOutcome;

// A blanked index file: the header and nothing but zero bytes after it.
bool blankedAlready(std::string_view content) {
    return content.starts_with(kIndexHeader) &&
           content.find_first_not_of('\0', kIndexHeader.size()) == std::string_view::npos;
}

}  // namespace

void destroyRemovedFile(const RunContext& run, const std::string& path) {
    auto result = deleteForRun(run, path);
    if (result.outcome == DeleteOutcome::DeferredIndexFile) {
        // The emptying takes it away before the index step could blank it.
        run.state.deferredIndexFiles.pop_back();
        // Going anyway: a read-only mark of its own must not keep its
        // addresses from being blanked.
        if (deletion::ownedByThisName(run.machine, path))
            (void)pf::files::setAttributes(run.machine, path, 0);
        (void)blankIndexFile(run, path);
        return;
    }
    const bool leftByName = result.outcome == DeleteOutcome::KeptIni ||
                            (result.outcome == DeleteOutcome::Refused &&
                             result.refusal == deletion::Refusal::TemporaryName);
    if (leftByName) {
        const std::string aside = deletion::moveLeftoverAside(run.machine, path);
        if (!aside.empty())
            result = deleteForRun(run, aside);
    }
    run.state.byteTotal += result.bytesFreed();
}

bool safetyDeletionOn(const RunContext& run) {
    return run.state.settings.security || run.state.gutmannForRun.value_or(false);
}

bool destroyFilesBelow(const RunContext& run, const std::string& folder) {
    if (!safetyDeletionOn(run) || folder.empty() || fsys::isProtectedFolder(folder))
        return true;
    const auto top = pf::files::info(run.machine, folder);
    if (!top || top->kind != pf::EntryKind::Folder)
        return true;
    fsys::DirScanner scanner;
    scanner.Scan(folder);
    for (std::int32_t i = 0; i <= scanner.UpperIndex(); ++i) {
        destroyRemovedFile(run, scanner.Item(i));
        pf::ui::yield();
        if (run.cancelled())
            return false;
    }
    return true;
}

bool blankIndexFile(const RunContext& run, const std::string& path) {
    const auto entry = pf::files::info(run.machine, path);
    if (!entry || entry->kind != pf::EntryKind::File)
        return false;
    // Blanked by an earlier run: writing the header again would only make
    // it longer, and nothing in it is left to destroy.
    const auto content = pf::files::readAll(run.machine, path);
    if (content && blankedAlready(*content))
        return false;
    std::string blank(kIndexHeader);
    blank.append(static_cast<std::size_t>(entry->size), '\0');
    // A file in use elsewhere (read-only, linked) is refused and skipped.
    if (!pf::files::writeAll(run.machine, path, blank))
        return false;
    run.state.byteTotal += static_cast<double>(blank.size());
    return true;
}

}  // namespace kx::cleaning
