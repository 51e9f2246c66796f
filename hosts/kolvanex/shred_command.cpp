// `kolvanex shred`: destroys files with the component's secure deletion, one
// status line per file and a summary of the bytes freed. Files are named as
// Linux or Windows paths; messages name them as given. -v names each pass as
// it begins, as coreutils' shred does; a terminal shows the meter.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdint>
#include <expected>
#include <iostream>
#include <limits>
#include <memory>

#include "deletion/secure_delete.hpp"
#include "facade/kolvanex.hpp"
#include "facade/run_contexts.hpp"
#include "fsys/file_access.hpp"
#include "hosts/kolvanex/host.hpp"
#include "hosts/kolvanex/terminal_progress.hpp"
#include "hosts/kolvanex/user_path.hpp"
#include "platform/files/files.hpp"
#include "platform/runtime/error.hpp"
#include "platform/runtime/translation.hpp"
#include "platform/runtime/variant.hpp"
#include "services/progress.hpp"
#include "settings/keys.hpp"

namespace kx::host {

using platform::tr;
using platform::trf;

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
            return std::string(tr("übersprungen: Konfigurationsdateien (.ini) bleiben erhalten"));
        case DeferredIndexFile:
            return std::string(
                tr("zurückgestellt: Indexdateien werden am Ende einer Reinigung geleert"));
        case LinkRemoved:
            return std::string(tr("Verknüpfung entfernt, ihr Ziel bleibt erhalten"));
        case NameRemoved:
            return std::string(tr("nur dieser Name entfernt: die Datei hat weitere harte Links"));
        case Refused:
            switch (result.refusal) {
                case deletion::Refusal::Folder:
                    return std::string(tr("abgelehnt: ein Ordner"));
                case deletion::Refusal::Device:
                    return std::string(tr("abgelehnt: ein Gerät, eine Pipe oder ein Socket"));
                case deletion::Refusal::TemporaryName:
                    return std::string(
                        tr("abgelehnt: der Name, den Dateien während ihrer Vernichtung tragen"));
                case deletion::Refusal::None:
                    break;
            }
            return std::string(tr("abgelehnt"));
        case Failed:
            return trf("fehlgeschlagen: {1}", {result.failure});
        case Cancelled:
            return std::string(tr("abgebrochen"));
        case Deleted:
        case NothingThere:
            break;
    }
    return std::string(tr("nicht vernichtet"));
}

// The thread's status lines, with the meter wiped before each.
class MeteredSink final : public ProgressSink {
  public:
    MeteredSink(ProgressSink& inner, TerminalProgress& meter) : inner_(inner), meter_(meter) {}
    void status(std::string_view line) noexcept override {
        meter_.clear();
        inner_.status(line);
    }
    std::shared_ptr<platform::ui::ProgressBar> bar() override { return inner_.bar(); }
    void closeAfter(std::int32_t ms) override { inner_.closeAfter(ms); }
    std::shared_ptr<frmProgress> openWindow() override { return inner_.openWindow(); }

  private:
    ProgressSink& inner_;
    TerminalProgress& meter_;
};

// The machine's files as the passes write them, each run written in slices
// so that the meter moves within a pass over a large file.
class MeteredFiles final : public deletion::WipeIo {
  public:
    MeteredFiles(platform::Machine& machine, TerminalProgress& meter)
        : inner_(machine), meter_(meter) {}
    std::uint64_t written = 0;

    std::expected<std::unique_ptr<deletion::WipeFile>, platform::FileError> open(
        std::string_view path, Open how) override {
        auto file = inner_.open(path, how);
        if (!file)
            return std::unexpected(file.error());
        return std::make_unique<File>(std::move(*file), *this);
    }

  private:
    class File final : public deletion::WipeFile {
      public:
        File(std::unique_ptr<deletion::WipeFile> inner, MeteredFiles& owner)
            : inner_(std::move(inner)), owner_(owner) {}
        std::expected<std::uint64_t, platform::FileError> length() override {
            return inner_->length();
        }
        std::expected<void, platform::FileError> fill(std::uint64_t offset, std::uint64_t count,
                                                      std::uint8_t value) override {
            constexpr std::uint64_t kSlice = 8u << 20;
            std::uint64_t at = 0;
            do {
                const std::uint64_t n = std::min(kSlice, count - at);
                KX_PROPAGATE(inner_->fill(offset + at, n, value));
                at += n;
                owner_.written += n;
                owner_.meter_.advance(owner_.written);
            } while (at < count);
            return {};
        }
        std::expected<void, platform::FileError> flush() override { return inner_->flush(); }
        std::expected<void, platform::FileError> truncate(std::uint64_t length) override {
            return inner_->truncate(length);
        }

      private:
        std::unique_ptr<deletion::WipeFile> inner_;
        MeteredFiles& owner_;
    };

    deletion::MachineWipeIo inner_;
    TerminalProgress& meter_;
};

}  // namespace

int runShred(const GlobalOptions& options, const ShredOptions& shred,
             const std::vector<std::string>& files) {
    if (shred.passes &&
        (*shred.passes < 0 || *shred.passes > std::numeric_limits<std::int16_t>::max()))
        throw UsageError(std::string(tr("--passes muss zwischen 0 und 32767 liegen")));
    if (shred.byte && (*shred.byte < 0 || *shred.byte > 255))
        throw UsageError(std::string(tr("--byte muss zwischen 0 und 255 liegen")));
    Session session(options, true);
    // Every name is placed on the machine before anything is destroyed.
    std::vector<std::pair<std::string, std::string>> targets;  // as given, on the machine
    for (const auto& file : userPaths(files))
        targets.emplace_back(file.given(), file.windows(session.machine()));

    // Unset options take what the cleaner would use: the stored number of
    // passes and byte value. The mode is the command line's alone, passed to
    // the routine directly: the user's stored "Gutmann" is neither read nor
    // changed.
    const long passes = shred.passes ? *shred.passes : storedNumber(settings::keys::DeleteN);
    const long value = shred.byte ? *shred.byte : storedNumber(settings::keys::DeleteValue);
    if (passes < 0 || passes > std::numeric_limits<std::int16_t>::max() || value < 0 ||
        value > 255) {
        std::cerr << "kolvanex: "
                  << tr("das gespeicherte DeleteN oder DeleteValue liegt außerhalb des Bereichs; "
                        "geben Sie --passes und --byte an")
                  << "\n";
        return kExitUsage;
    }
    const auto mode = shred.gutmann ? deletion::WipeMode::Gutmann : deletion::WipeMode::Plain;

    CKOLVANEX kolvanex;
    ThreadDeletion thread;
    TerminalProgress meter(options.quiet);
    MeteredSink sink(thread.progress(), meter);
    MeteredFiles metered(session.machine(), meter);
    const std::string* shown = nullptr;
    const auto& base = thread.context();
    const deletion::DeletionContext context{
        base.machine,
        sink,
        base.cancel,
        base.random,
        base.scramble,
        &metered,
        [&](int pass, int all, const std::string& pattern) {
            if (shred.verbose && !options.quiet) {
                meter.line("kolvanex: " + trf("{1}: Durchgang {2}/{3} ({4})…",
                                              {*shown, std::to_string(pass), std::to_string(all),
                                               // the routine names a pass of random bytes "random"
                                               pattern == "random" ? tr("zufällig") : pattern}));
            }
            meter.pass(pass, all);
        }};
    fsys::FileAccess fa;
    double freed = 0;
    std::size_t deleted = 0;
    std::size_t left = 0;
    std::size_t missing = 0;
    auto report = [&](const std::string& text) {
        meter.clear();
        std::cerr << text << "\n";
    };
    for (const auto& [given, file] : targets) {
        // The routine does not look at gbBreak; between files is where a
        // cancel (Ctrl+C) acts.
        if (kolvanex.gbBreak().value_or(false)) {
            report("kolvanex: " + trf("abgebrochen; {1} Datei(en) nicht bearbeitet",
                                      {std::to_string(files.size() - deleted - left - missing)}));
            break;
        }
        if (!fa.Exists(file)) {
            ++missing;
            report("kolvanex: " + trf("{1} existiert nicht", {given}));
            continue;
        }
        shown = &given;
        const auto size = platform::files::info(session.machine(), file);
        const std::uint64_t perPass = (size ? size->size : 0) * (shred.gutmann ? 3 : 1);
        metered.written = 0;
        meter.begin(given, perPass * static_cast<std::uint64_t>(shred.gutmann ? 35 : passes));
        const auto result = deletion::deleteTheFileAs(
            context, mode,
            deletion::DeleteRequest{file, false, shred.encrypt, static_cast<std::int16_t>(passes),
                                    static_cast<std::uint8_t>(value), true});
        meter.clear();
        switch (result.outcome) {
            case deletion::DeleteOutcome::Deleted:
                ++deleted;
                freed += result.bytesFreed();
                Status(trf("Gelöscht: {1} ({2} Bytes)", {given, formatBytes(result.bytesFreed())}));
                continue;
            case deletion::DeleteOutcome::LinkRemoved:
            case deletion::DeleteOutcome::NameRemoved:
                // The name is gone, as asked; what it led to is not destroyed.
                ++deleted;
                Status(trf("Gelöscht: {1} ({2} Bytes)", {given, "0"}));
                break;
            case deletion::DeleteOutcome::NothingThere:
                ++missing;
                report("kolvanex: " + trf("{1} existiert nicht", {given}));
                continue;
            default:
                ++left;
                Status(trf("Nicht gelöscht: {1}", {given}));
                break;
        }
        report("kolvanex: " + given + ": " + reasonFor(result));
    }
    if (!options.quiet || deleted != targets.size()) {
        std::cout << trf("{1} Datei(en) gelöscht, {2} Bytes freigegeben",
                         {std::to_string(deleted), formatBytes(freed)});
        if (left > 0)
            std::cout << trf(", {1} nicht vernichtet", {std::to_string(left)});
        if (missing > 0)
            std::cout << trf(", {1} nicht gefunden", {std::to_string(missing)});
        std::cout << "\n";
    }
    return deleted == targets.size() ? 0 : kExitFailed;
}

void addShredCommand(CLI::App& app, const GlobalOptions& options, int& exitCode) {
    auto* shred = app.add_subcommand(
        "shred", std::string(tr("Dateien mit dem sicheren Löschen vernichten (FILE als "
                                "Windows-Pfade der Maschine)")));
    shred->footer(std::string(tr("Beispiel:\n  kolvanex shred --passes 7 'C:\\Daten\\alt.doc'")));
    auto shredOptions = std::make_shared<ShredOptions>();
    auto files = std::make_shared<std::vector<std::string>>();
    shred->add_option("-n,--passes", shredOptions->passes,
                      std::string(tr("Durchgänge beim Überschreiben (Vorgabe: die "
                                     "gespeicherte Anzahl)")));
    shred->add_option("--byte", shredOptions->byte,
                      std::string(tr("Bytewert jedes Durchgangs (Vorgabe: der gespeicherte "
                                     "Wert, sonst 246)")));
    shred->add_flag("--encrypt", shredOptions->encrypt,
                    std::string(tr("vorher mit der Verschlüsselung unkenntlich machen")));
    shred->add_flag("--gutmann", shredOptions->gutmann,
                    std::string(tr("stattdessen die 35 Gutmann-Durchgänge (die gespeicherte "
                                   "Einstellung bleibt unverändert)")));
    shred->add_flag("-v,--verbose", shredOptions->verbose,
                    std::string(tr("jeden Durchgang nennen, wenn er beginnt")));
    shred
        ->add_option("FILE", *files,
                     std::string(tr("die zu vernichtenden Dateien (Linux- oder Windows-Pfade)")))
        ->required();
    shred->callback([&options, &exitCode, shredOptions, files] {
        exitCode = runShred(options, *shredOptions, *files);
    });
}

}  // namespace kx::host
