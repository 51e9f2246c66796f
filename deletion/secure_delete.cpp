#include "deletion/secure_delete.hpp"

#include <algorithm>
#include <exception>
#include <memory>
#include <optional>
#include <stdexcept>

#include "core/text_rules.hpp"
#include "deletion/entry_rules.hpp"
#include "deletion/gutmann.hpp"
#include "fsys/file_access.hpp"
#include "fsys/fresh_files.hpp"
#include "platform/files/files.hpp"
#include "platform/files/open_folder.hpp"
#include "platform/files/overwrite.hpp"
#include "platform/runtime/text.hpp"
#include "platform/runtime/translation.hpp"
#include "platform/ui/message_loop.hpp"
#include "settings/keys.hpp"

namespace kx::deletion {
namespace {

namespace pf = kx::platform;

// A failure that ends the routine (the runtime error of a failing move).
struct DeletionFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The overwrite passes over the file under its temporary name. Each pass
// covers the whole file, `size` bytes or more when the scramble made it
// longer, and is on the device before the next begins.
void overwritePasses(const DeletionContext& context, WipeIo& files, const std::string& temp,
                     std::uint64_t size, const DeleteRequest& request, const std::string& lowered) {
    auto file = files.open(temp, WipeIo::Open::Existing);
    const std::string pattern =
        passPattern(request.yDeleteChar, request.yDeleteChar, request.yDeleteChar);
    for (int pass = 1; pass <= request.iDeleteN; ++pass) {
        if (context.passBegins)
            context.passBegins(pass, request.iDeleteN, pattern);
        bool ok = file.has_value();
        if (ok) {
            auto& f = **file;
            const auto now = f.length();
            ok = now.has_value();
            const std::uint64_t count = ok ? std::max(size, *now) : 0;
            ok = ok && f.fill(0, count, request.yDeleteChar).has_value() && f.flush().has_value();
        }
        if (!ok) {
            context.progress.status(pf::trf("Fehler beim Überschreiben der Datei {1}", {lowered}));
            break;
        }
        pf::ui::yield();
    }
}

}  // namespace

std::string folderOf(std::string_view path) {
    const auto last = path.rfind('\\');
    return last == std::string_view::npos ? std::string() : std::string(path.substr(0, last + 1));
}

double DeleteTheFile(const DeletionContext& context, const settings::AppSettings& options,
                     std::string_view sFileName, bool bSecurityMode, bool bEncryptIt,
                     std::int16_t iDeleteN, std::uint8_t yDeleteChar, bool bDeleteIt) {
    return deleteInStoredMode(context, options,
                              DeleteRequest{std::string(sFileName), bSecurityMode, bEncryptIt,
                                            iDeleteN, yDeleteChar, bDeleteIt})
        .bytesFreed();
}

DeleteResult deleteInStoredMode(const DeletionContext& context,
                                const settings::AppSettings& options,
                                const DeleteRequest& request) {
    try {
        const bool gutmann = options.readBool(settings::keys::Gutmann, settings::Reader::Engine);
        return deleteTheFileAs(context, gutmann ? WipeMode::Gutmann : WipeMode::Plain, request);
    } catch (const std::exception& e) {
        return DeleteResult::failed(e.what());  // no settings store to read (no machine bound)
    }
}

namespace {

// A file under the temporary name before the move was left by an earlier
// call that was interrupted: it holds what that call was destroying, so it
// is destroyed with these settings rather than only unlinked. Anything that
// cannot be moved aside is removed as before, so the name is free.
void destroyLeftover(const DeletionContext& context, WipeMode mode, const DeleteRequest& request,
                     const std::string& temp) {
    const auto facts = pf::lookAtEntry(context.machine, temp);
    if (!facts)
        return;
    if (facts->kind == pf::EntryKind::File) {
        if (auto aside = moveLeftoverAside(context.machine, temp); !aside.empty()) {
            DeleteRequest leftover = request;
            leftover.sFileName = std::move(aside);
            (void)deleteTheFileAs(context, mode, leftover);
            return;
        }
    }
    (void)fsys::deleteFile(context.machine, temp);
}

// The plain mode when nothing is to be written: the file is moved to the
// temporary name and removed, both relative to its folder, which is opened
// once for a run of files in it. Only the common case is taken here: a
// regular file with one name that is not read-only, and a free temporary
// name. Anything else (a link, a hard-linked or read-only file, a leftover
// in the way, a name not found in its exact spelling) answers nothing and
// goes the general way, which decides it as always.
//
// The attribute reset of the general way is left out: the file is not
// written, and its stored bits go with its inode (the side table forgets
// them on removal). Should the removal fail, the reset is made then, so the
// file left under the temporary name carries no attributes, as there.
std::optional<DeleteResult> removeUnwritten(const DeletionContext& context, const std::string& path,
                                            const std::string& temp) {
    const auto slash = path.rfind('\\');
    if (slash == std::string::npos || slash + 1 == path.size())
        return std::nullopt;
    const auto folder =
        pf::OpenFolder::open(context.machine, std::string_view(path).substr(0, slash));
    if (!folder)
        return std::nullopt;
    const std::string_view name = std::string_view(path).substr(slash + 1);
    const auto facts = folder->look(name);
    if (!facts || facts->readOnly || classifyEntry(*facts).treatment != EntryTreatment::Destroy)
        return std::nullopt;
    if (!folder->rename(name, kTemporaryName))
        return std::nullopt;
    DeleteResult deleted = DeleteResult::of(DeleteOutcome::Deleted);
    deleted.size = facts->size;
    if (!folder->remove(kTemporaryName))
        (void)pf::files::setAttributes(context.machine, temp, 0);
    return deleted;
}

}  // namespace

std::string moveLeftoverAside(pf::Machine& machine, std::string_view leftover) {
    return fsys::moveToFreeName(machine, leftover, folderOf(leftover), "$$@$$", ".tmp", 10);
}

DeleteResult deleteTheFileAs(const DeletionContext& context, WipeMode mode,
                             const DeleteRequest& request) {
    const std::string& path = request.sFileName;
    if (mode == WipeMode::Gutmann)
        return CGutMAnn(context).destroyFile(path);

    // The checks compare the lower-cased path; the file calls take the path
    // as given, so that of two names differing only in case (possible on
    // this file system) the one named is the one deleted.
    const std::string lowered = pf::vbLCase(path);
    if (lowered.ends_with(".ini"))
        return DeleteResult::of(DeleteOutcome::KeptIni);
    if (lowered.find("index.dat") != std::string::npos) {
        // Internet Explorer holds its index files while it runs; the
        // cleaning run empties them later instead. Recording the file is the
        // caller's part: only it knows which run, if any, it belongs to.
        DeleteResult deferred = DeleteResult::of(DeleteOutcome::DeferredIndexFile);
        deferred.indexFile = lowered;
        return deferred;
    }

    auto& machine = context.machine;
    const std::string temp = AddBackslash(folderOf(path)) + std::string(kTemporaryName);
    try {
        MachineWipeIo machineFiles(machine);
        WipeIo& files =
            context.files != nullptr ? *context.files : static_cast<WipeIo&>(machineFiles);
        if (lowered == pf::vbLCase(temp))
            return DeleteResult::refused(Refusal::TemporaryName);
        // Nothing to write (no scramble, no pass): the quick way when it applies.
        if (!request.bEncryptIt && !(request.bDeleteIt && request.iDeleteN != 0)) {
            if (auto removed = removeUnwritten(context, path, temp))
                return std::move(*removed);
        }

        // Refuse before doing damage: what the name is decides what may be
        // done to it. Nothing there, nothing to do.
        const auto facts = pf::lookAtEntry(machine, path);
        if (!facts) {
            return nothingThere(facts.error()) ? DeleteResult::of(DeleteOutcome::NothingThere)
                                               : DeleteResult::failed(facts.error().message);
        }
        const auto verdict = classifyEntry(*facts);
        switch (verdict.treatment) {
            case EntryTreatment::Refuse:
                return DeleteResult::refused(verdict.refusal);
            case EntryTreatment::RemoveName:
                // A link's target stays; a hard-linked file's content, mode
                // and attributes are what its other names show, a read-only
                // one included. Only this name goes, no space is freed.
                return pf::files::removeName(machine, path)
                           ? DeleteResult::of(verdict.removed)
                           : DeleteResult::failed(
                                 std::string(pf::tr("der Name ließ sich nicht entfernen")));
            case EntryTreatment::Destroy:
                break;
        }

        // Reset for every file, not only when a leftover is in the way: a
        // read-only file would refuse the passes and be removed unwiped.
        (void)pf::files::setAttributes(machine, path, 0);
        destroyLeftover(context, mode, request, temp);
        if (auto moved = pf::files::rename(machine, path, temp); !moved)
            throw DeletionFailure(moved.error().message);

        // The same file under its new name: the size looked at above.
        DeleteResult deleted = DeleteResult::of(DeleteOutcome::Deleted);
        deleted.size = facts->size;
        if (deleted.size == 0) {
            (void)fsys::deleteFile(machine, temp);
            return deleted;
        }

        if (request.bEncryptIt) {
            const bool scrambled = context.scramble && context.scramble(temp);
            if (!scrambled)
                context.progress.status(
                    pf::trf("Fehler beim Verschlüsseln der Datei {1}", {lowered}));
            pf::ui::yield();
        }

        if (request.bDeleteIt && request.iDeleteN != 0)
            overwritePasses(context, files, temp, deleted.size, request, lowered);

        // Its attributes were cleared before the move: nothing stands in the way.
        (void)pf::files::remove(machine, temp);
        return deleted;
    } catch (const std::exception& e) {
        // A failing move or a component that raised: the temporary file goes
        // when there is one, and nothing counts as freed.
        (void)fsys::deleteFile(machine, temp);
        return DeleteResult::failed(e.what());
    }
}

}  // namespace kx::deletion
