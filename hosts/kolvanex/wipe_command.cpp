// `kolvanex wipe-free-space DRIVE [--bytes N]`: overwrites the free space of
// a drive of the machine in the 35 Gutmann passes, with a bar on the
// terminal. Ctrl+C stops it before its next write and the filler file is
// removed, so the drive is never left full.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <iostream>

#include "deletion/gutmann.hpp"
#include "facade/run_contexts.hpp"
#include "hosts/kolvanex/host.hpp"
#include "platform/files/files.hpp"
#include "platform/runtime/text.hpp"
#include "platform/runtime/translation.hpp"

namespace kx::host {
namespace {

constexpr int kPasses = 35;
constexpr int kRegions = 1000;

using platform::tr;
using platform::trf;

struct WipeOptions {
    bool quiet = false;
    std::string drive;
    std::optional<std::string> bytes;
};

// "E", "e:", "E:\" -> 'E'.
char driveLetter(const std::string& word) {
    const bool shaped = !word.empty() && std::isalpha(static_cast<unsigned char>(word[0])) &&
                        (word.size() == 1 || word.substr(1) == ":" || word.substr(1) == ":\\");
    if (!shaped)
        throw UsageError(
            trf("'{1}' ist kein Laufwerk; nennen Sie es bei seinem Buchstaben, wie "
                "E oder E:",
                {word}));
    return static_cast<char>(std::toupper(static_cast<unsigned char>(word[0])));
}

// "500M", "2G", "4096": whole bytes, with k/M/G (1024s) at the end.
std::int64_t byteCount(const std::string& text) {
    std::string digits = text;
    std::int64_t unit = 1;
    if (!digits.empty()) {
        switch (std::toupper(static_cast<unsigned char>(digits.back()))) {
            case 'K':
                unit = 1024;
                break;
            case 'M':
                unit = 1024 * 1024;
                break;
            case 'G':
                unit = 1024 * 1024 * 1024;
                break;
            default:
                break;
        }
        if (unit != 1)
            digits.pop_back();
    }
    const auto n = platform::wholeNumber(digits);
    if (!n || *n <= 0 || *n > INT64_MAX / unit)
        throw UsageError(
            trf("--bytes nimmt eine ganze Zahl von Bytes, wie 4096, 500M oder 2G; "
                "'{1}' ist keine",
                {text}));
    return *n * unit;
}

int runWipe(GlobalOptions options, const WipeOptions& wipe) {
    options.quiet = options.quiet || wipe.quiet;
    const char letter = driveLetter(wipe.drive);
    std::optional<std::int64_t> bytes;
    if (wipe.bytes)
        bytes = byteCount(*wipe.bytes);
    Session session(options, true);
    auto& machine = session.machine();
    const std::string root = std::string(1, letter) + ":\\";
    const auto& drives = machine.config().drives;
    const bool known = std::any_of(drives.begin(), drives.end(), [&](const platform::Drive& d) {
        return d.letter == letter && platform::driveHasFolder(d);
    });
    if (!known)
        throw UsageError(
            trf("die Maschine hat kein Laufwerk {1}: zum Überschreiben", {std::string(1, letter)}));
    if (platform::files::exists(machine, root + "TEMP.000")) {
        std::cerr << "kolvanex: "
                  << trf("{1}TEMP.000 gibt es schon; sie gehört nicht uns, darum wurde nichts "
                         "getan",
                         {root})
                  << "\n";
        return kExitFailed;
    }
    if (!bytes) {
        // The filler takes most of what is free, leaving room for the system.
        std::error_code ec;
        const auto host = machine.resolve(root);
        const auto space = host ? std::filesystem::space(*host, ec) : std::filesystem::space_info{};
        bytes = static_cast<std::int64_t>(space.available / 10 * 9);
    }

    ThreadDeletion deletion;
    deletion::CGutMAnn wiper(deletion.context());
    auto& progress = deletion.progress();
    if (!options.quiet)
        progress.status(
            trf("Der freie Speicher von Laufwerk {1} wird überschrieben (35 Durchgänge "
                "zu {2} MB)",
                {root, std::to_string(*bytes / (1024 * 1024))}));
    const auto bar = progress.bar();
    bar->setMin(0);
    bar->setMax(kPasses * kRegions);
    int shownPass = 0;
    wiper.onRegion = [&](int pass, int regions) {
        if (pass != shownPass && !options.quiet) {
            shownPass = pass;
            progress.status(
                trf("Durchgang {1} von {2}", {std::to_string(pass), std::to_string(kPasses)}));
        }
        // The bar moves in whole percents of a pass: redrawing it for each
        // region would cost more than the region.
        if (regions % 10 == 0)
            bar->setValue((pass - 1) * kRegions + regions);
    };
    bool done = false;
    wiper.SecureFreeSpaceWipe(root, *bytes, done);
    clearProgressLine();
    if (wiper.cancelled()) {
        std::cerr << "kolvanex: " << tr("abgebrochen; die Fülldatei wurde entfernt") << "\n";
        return kExitCancelled;
    }
    if (!done) {
        std::cerr << "kolvanex: "
                  << trf("der freie Speicher von {1} konnte nicht überschrieben werden (das "
                         "Laufwerk ist voll oder hat die Fülldatei abgelehnt)",
                         {root})
                  << "\n";
        return kExitFailed;
    }
    if (!options.quiet)
        std::cout << trf("der freie Speicher von {1} wurde in 35 Durchgängen überschrieben", {root})
                  << "\n";
    return 0;
}

}  // namespace

void addWipeCommand(CLI::App& app, const GlobalOptions& options, int& exitCode) {
    auto o = std::make_shared<WipeOptions>();
    auto* wipe = app.add_subcommand(
        "wipe-free-space",
        std::string(tr("den freien Speicher eines Laufwerks in 35 Durchgängen überschreiben, damit "
                       "gelöschte Dateien nicht wiederherzustellen sind")));
    wipe->add_option("DRIVE", o->drive, std::string(tr("das Laufwerk der Maschine, wie E oder E:")))
        ->required();
    wipe->add_option("--bytes", o->bytes,
                     std::string(tr("wie viel je Durchgang überschrieben wird, wie 4096, 500M "
                                    "oder 2G (Vorgabe: 90% des freien Speichers)")));
    wipe->add_flag("--quiet", o->quiet, std::string(tr("nur Fehler ausgeben")));
    wipe->footer(std::string(tr("Strg+C hält das Überschreiben an; seine Fülldatei wird "
                                "entfernt.\n\nBeispiel:\n")) +
                 "  kolvanex wipe-free-space E: --bytes 500M");
    wipe->callback([o, &options, &exitCode] { exitCode = runWipe(options, *o); });
}

}  // namespace kx::host
