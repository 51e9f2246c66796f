// `kolvanex shred`: destroys files of the machine with the component's secure
// deletion, one status line per file and a summary of the bytes freed.
#include <CLI/CLI.hpp>

#include <cstdint>
#include <iostream>
#include <limits>
#include <memory>

#include "deletion/secure_delete.hpp"
#include "facade/kolvanex.hpp"
#include "facade/run_contexts.hpp"
#include "fsys/file_access.hpp"
#include "hosts/kolvanex/host.hpp"
#include "platform/runtime/variant.hpp"
#include "services/progress.hpp"
#include "settings/keys.hpp"

namespace kx::host {
namespace {

// A stored number as the routine's callers read it, or the engine default
// when the store holds letters.
long storedNumber(const settings::SettingKey& key) {
    const auto text = settings::read(key, settings::Reader::Engine);
    try {
        return platform::toLong(platform::Variant(text));
    } catch (const platform::RuntimeError&) {
        return platform::toLong(
            platform::Variant(settings::defaultFor(key, settings::Reader::Engine)));
    }
}

std::string formatBytes(double bytes) {
    return platform::formatDouble(bytes);
}

// Why a file was not destroyed, as the user reads it after its name.
std::string reasonFor(const deletion::DeleteResult& result) {
    using enum deletion::DeleteOutcome;
    switch (result.outcome) {
        case KeptIni:
            return "skipped: configuration files (.ini) are kept";
        case DeferredIndexFile:
            return "deferred: index file is emptied at the end of a cleaning run";
        case LinkRemoved:
            return "link removed, its target kept";
        case NameRemoved:
            return "only this name removed: the file has other hard links";
        case Refused:
            switch (result.refusal) {
                case deletion::Refusal::Folder:
                    return "refused: a folder";
                case deletion::Refusal::Device:
                    return "refused: a device, pipe or socket";
                case deletion::Refusal::TemporaryName:
                    return "refused: the name files take while they are destroyed";
                case deletion::Refusal::None:
                    break;
            }
            return "refused";
        case Failed:
            return "failed: " + result.failure;
        case Cancelled:
            return "cancelled";
        case Deleted:
        case NothingThere:
            break;
    }
    return "not destroyed";
}

}  // namespace

int runShred(const GlobalOptions& options, const ShredOptions& shred,
             const std::vector<std::string>& files) {
    if (shred.passes &&
        (*shred.passes < 0 || *shred.passes > std::numeric_limits<std::int16_t>::max()))
        throw UsageError("--passes must be between 0 and 32767");
    if (shred.byte && (*shred.byte < 0 || *shred.byte > 255))
        throw UsageError("--byte must be between 0 and 255");
    Session session(options, true);

    // Unset options take what the cleaner would use: the stored number of
    // passes and byte value. The mode is the command line's alone, passed to
    // the routine directly: the user's stored "Gutmann" is neither read nor
    // changed.
    const long passes = shred.passes ? *shred.passes : storedNumber(settings::keys::DeleteN);
    const long value = shred.byte ? *shred.byte : storedNumber(settings::keys::DeleteValue);
    if (passes < 0 || passes > std::numeric_limits<std::int16_t>::max() || value < 0 ||
        value > 255) {
        std::cerr << "kolvanex: the stored DeleteN or DeleteValue is out of range; give "
                     "--passes and --byte\n";
        return kExitUsage;
    }
    const auto mode = shred.gutmann ? deletion::WipeMode::Gutmann : deletion::WipeMode::Plain;

    CKOLVANEX kolvanex;
    const ThreadDeletion thread;
    fsys::FileAccess fa;
    double freed = 0;
    std::size_t deleted = 0;
    std::size_t left = 0;
    std::size_t missing = 0;
    for (const auto& file : files) {
        // The routine does not look at gbBreak; between files is where a
        // cancel (Ctrl+C) acts.
        if (kolvanex.gbBreak().value_or(false)) {
            std::cerr << "kolvanex: cancelled; " << (files.size() - deleted - left - missing)
                      << " file(s) not processed\n";
            break;
        }
        if (!fa.Exists(file)) {
            ++missing;
            std::cerr << "kolvanex: " << file << " does not exist on the machine\n";
            continue;
        }
        const auto result = deletion::deleteTheFileAs(
            thread.context(), mode,
            deletion::DeleteRequest{file, false, shred.encrypt, static_cast<std::int16_t>(passes),
                                    static_cast<std::uint8_t>(value), true});
        switch (result.outcome) {
            case deletion::DeleteOutcome::Deleted:
                ++deleted;
                freed += result.bytesFreed();
                Status("Gelöscht: " + file + " (" + formatBytes(result.bytesFreed()) + " Bytes)");
                continue;
            case deletion::DeleteOutcome::LinkRemoved:
            case deletion::DeleteOutcome::NameRemoved:
                // The name is gone, as asked; what it led to is not destroyed.
                ++deleted;
                Status("Gelöscht: " + file + " (0 Bytes)");
                break;
            case deletion::DeleteOutcome::NothingThere:
                ++missing;
                std::cerr << "kolvanex: " << file << " does not exist on the machine\n";
                continue;
            default:
                ++left;
                Status("Nicht gelöscht: " + file);
                break;
        }
        std::cerr << "kolvanex: " << file << ": " << reasonFor(result) << "\n";
    }
    std::cout << deleted << " file(s) deleted, " << formatBytes(freed) << " bytes freed";
    if (left > 0)
        std::cout << ", " << left << " left in place";
    if (missing > 0)
        std::cout << ", " << missing << " not found";
    std::cout << "\n";
    return deleted == files.size() ? 0 : kExitFailed;
}

void addShredCommand(CLI::App& app, const GlobalOptions& options, int& exitCode) {
    auto* shred = app.add_subcommand(
        "shred", "destroy files with the secure deletion (FILE as Windows paths of the machine)");
    shred->footer("Example:\n  kolvanex shred --passes 7 'C:\\Daten\\alt.doc'");
    auto shredOptions = std::make_shared<ShredOptions>();
    auto files = std::make_shared<std::vector<std::string>>();
    shred->add_option("--passes", shredOptions->passes,
                      "overwrite passes (default: the stored number of passes)");
    shred->add_option("--byte", shredOptions->byte,
                      "byte value of every pass (default: the stored byte, 246 unless set)");
    shred->add_flag("--encrypt", shredOptions->encrypt, "scramble with the cipher first");
    shred->add_flag("--gutmann", shredOptions->gutmann,
                    "the 35 Gutmann passes instead (the stored setting is not changed)");
    shred->add_option("FILE", *files, "files to destroy")->required();
    shred->callback([&options, &exitCode, shredOptions, files] {
        exitCode = runShred(options, *shredOptions, *files);
    });
}

}  // namespace kx::host
