#include "deletion/secure_delete.hpp"

#include <algorithm>
#include <exception>
#include <memory>
#include <stdexcept>

#include "cleaning/run_state.hpp"
#include "core/text_rules.hpp"
#include "crypt/aes_holder.hpp"
#include "deletion/gutmann.hpp"
#include "fsys/file_access.hpp"
#include "platform/files/files.hpp"
#include "platform/files/overwrite.hpp"
#include "platform/machine/machine.hpp"
#include "platform/runtime/text.hpp"
#include "platform/ui/message_loop.hpp"
#include "services/cancel.hpp"
#include "services/progress.hpp"
#include "settings/keys.hpp"

namespace kx::deletion {
namespace {

namespace pf = kx::platform;

// A failure that ends the routine (the runtime error of a failing move).
struct DeletionFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The cipher component's in-place scramble, as the routine runs it: the
// thread's frmAES holder, set up for the one file and released afterwards
// (its component stopped, the form unloaded, the run's keys forgotten). The
// holder's own cancel handler stops a running scramble; the passes that
// follow destroy the content all the same.
bool scrambleWithCipher(const std::string& path) {
    AesRun run;
    auto& cipher = run.cipher();
    cipher.KeyBits = kScrambleKeyBits;
    cipher.Password = std::string(kScramblePassword);
    cipher.InputFile = path;
    // The fixed password is in every copy of this program: blocks the passes
    // never reach (no passes asked for, a pass that failed) would decrypt
    // with the program itself. A key drawn for the run and never stored
    // leaves nothing to decrypt them with.
    cipher.RandomKey = true;
    return cipher.EncryptInPlace();
}

double gutmannDelete(const std::string& path, const DeleteEnvironment& environment) {
    CGutMAnn wiper(environment.files, environment.random);
    // Without this a cancel could not stop a wipe of 35 passes before its
    // end: the wiper only listens to its own flag.
    CancelRegistration stop([&wiper] { wiper.Cancel = true; });
    const double freed = wiper.SecureFileDelete(path);
    // A cancelled wipe leaves the file where it was: nothing was freed.
    return wiper.cancelled() ? 0.0 : freed;
}

// The overwrite passes over the file under its temporary name. Each pass
// covers the whole file, `size` bytes or more when the scramble made it
// longer, and is on the device before the next begins.
void overwritePasses(WipeIo& files, const std::string& temp, std::uint64_t size,
                     const DeleteRequest& request, const std::string& lowered) {
    auto file = files.open(temp, WipeIo::Open::Existing);
    for (int pass = 1; pass <= request.iDeleteN; ++pass) {
        bool ok = file.has_value();
        if (ok) {
            auto& f = **file;
            const auto now = f.length();
            ok = now.has_value();
            const std::uint64_t count = ok ? std::max(size, *now) : 0;
            ok = ok && f.fill(0, count, request.yDeleteChar).has_value() && f.flush().has_value();
        }
        if (!ok) {
            Status(std::string(kOverwriteFailed) + lowered);
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

double DeleteTheFile(const settings::AppSettings& options, std::string_view sFileName,
                     bool bSecurityMode, bool bEncryptIt, std::int16_t iDeleteN,
                     std::uint8_t yDeleteChar, bool bDeleteIt) {
    try {
        const bool gutmann = options.readBool(settings::keys::Gutmann, settings::Reader::Engine);
        return deleteTheFileAs(gutmann ? WipeMode::Gutmann : WipeMode::Plain,
                               DeleteRequest{std::string(sFileName), bSecurityMode, bEncryptIt,
                                             iDeleteN, yDeleteChar, bDeleteIt});
    } catch (const std::exception&) {
        return 0;  // no settings store to read (no machine bound): nothing deleted
    }
}

namespace {

// A file under the temporary name before the move was left by an earlier
// call that was interrupted: it holds what that call was destroying, so it
// is destroyed with these settings rather than only unlinked. Anything that
// cannot be moved aside is removed as before, so the name is free.
void destroyLeftover(WipeMode mode, const DeleteRequest& request,
                     const DeleteEnvironment& environment, const std::string& temp) {
    const auto facts = pf::lookAtEntry(pf::currentMachine(), temp);
    if (!facts)
        return;
    if (facts->kind == pf::EntryKind::File) {
        if (auto aside = moveLeftoverAside(temp); !aside.empty()) {
            DeleteRequest leftover = request;
            leftover.sFileName = std::move(aside);
            (void)deleteTheFileAs(mode, leftover, environment);
            return;
        }
    }
    (void)fsys::FileAccess().Delete(temp);
}

}  // namespace

std::string moveLeftoverAside(std::string_view leftover) {
    const std::string folder = folderOf(leftover);
    for (int n = 0; n < 10; ++n) {
        std::string other = folder + "$$@$$" + (n == 0 ? "" : std::to_string(n)) + ".tmp";
        if (pf::files::rename(leftover, other))
            return other;
    }
    return "";
}

double deleteTheFileAs(WipeMode mode, const DeleteRequest& request,
                       const DeleteEnvironment& environment) {
    const std::string& path = request.sFileName;
    if (mode == WipeMode::Gutmann)
        return gutmannDelete(path, environment);

    // The checks compare the lower-cased path; the file calls take the path
    // as given, so that of two names differing only in case (possible on
    // this file system) the one named is the one deleted.
    const std::string lowered = pf::lower(path);
    if (lowered.ends_with(".ini"))
        return 0;
    if (lowered.find("index.dat") != std::string::npos) {
        // Internet Explorer holds its index files while it runs; the run
        // empties them later instead.
        cleaning::runState().deferredIndexFiles.push_back(lowered);
        return 0;
    }

    WipeIo& files = environment.files != nullptr ? *environment.files : machineFiles();
    fsys::FileAccess fa;
    const std::string temp = AddBackslash(folderOf(path)) + std::string(kTemporaryName);
    try {
        if (lowered == pf::lower(temp))
            return 0;

        // Refuse before doing damage: what the name is decides what may be
        // done to it. Nothing there, nothing to do.
        auto& machine = pf::currentMachine();
        const auto facts = pf::lookAtEntry(machine, path);
        if (!facts)
            return 0;
        switch (facts->kind) {
            case pf::EntryKind::Link:
            case pf::EntryKind::FolderLink:
                (void)fa.Delete(path);  // the link itself; its target stays
                return 0;
            case pf::EntryKind::Folder:
            case pf::EntryKind::Other:
                return 0;
            case pf::EntryKind::File:
                break;
        }
        if (facts->hardLinks > 1) {
            // Scrambling or overwriting would change what the other names
            // show; only this name goes, and no space is freed.
            (void)fa.Delete(path);
            return 0;
        }

        // Reset for every file, not only when a leftover is in the way: a
        // read-only file would refuse the passes and be removed unwiped.
        (void)pf::files::setAttributes(machine, path, 0);
        destroyLeftover(mode, request, environment, temp);
        if (auto moved = pf::files::rename(machine, path, temp); !moved)
            throw DeletionFailure(moved.error().message);

        // The same file under its new name: the size looked at above.
        const auto size = static_cast<double>(facts->size);
        if (size == 0) {
            (void)fa.Delete(temp);
            return 0;
        }

        if (request.bEncryptIt) {
            const bool scrambled =
                environment.scramble ? environment.scramble(temp) : scrambleWithCipher(temp);
            if (!scrambled)
                Status(std::string(kScrambleFailed) + lowered);
            pf::ui::yield();
        }

        if (request.bDeleteIt && request.iDeleteN != 0)
            overwritePasses(files, temp, static_cast<std::uint64_t>(size), request, lowered);

        // Its attributes were cleared before the move: nothing stands in the way.
        (void)pf::files::remove(machine, temp);
        return size;
    } catch (const std::exception&) {
        // A failing move or a component that raised: the temporary file goes
        // when there is one, and nothing counts as freed.
        if (fa.Exists(temp))
            (void)fa.Delete(temp);
        return 0;
    }
}

}  // namespace kx::deletion
