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

namespace kx::host {
namespace {

constexpr int kPasses = 35;
constexpr int kRegions = 1000;

struct WipeOptions {
    std::string drive;
    std::optional<std::string> bytes;
};

// "E", "e:", "E:\" -> 'E'.
char driveLetter(const std::string& word) {
    const bool shaped = !word.empty() && std::isalpha(static_cast<unsigned char>(word[0])) &&
                        (word.size() == 1 || word.substr(1) == ":" || word.substr(1) == ":\\");
    if (!shaped)
        throw UsageError("'" + word + "' is not a drive; name it by its letter, as E or E:");
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
        throw UsageError("--bytes takes a whole number of bytes, as 4096, 500M or 2G; '" + text +
                         "' is not one");
    return *n * unit;
}

int runWipe(const GlobalOptions& options, const WipeOptions& wipe) {
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
        throw UsageError("the machine has no drive " + std::string(1, letter) + ": to wipe");
    if (platform::files::exists(machine, root + "TEMP.000")) {
        std::cerr << "kolvanex: " << root
                  << "TEMP.000 exists already; it is not ours to overwrite, so nothing was done\n";
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
    progress.status("Wiping the free space of drive " + root + " (35 passes of " +
                    std::to_string(*bytes / (1024 * 1024)) + " MB)");
    const auto bar = progress.bar();
    bar->setMin(0);
    bar->setMax(kPasses * kRegions);
    int shownPass = 0;
    wiper.onRegion = [&](int pass, int regions) {
        if (pass != shownPass) {
            shownPass = pass;
            progress.status("Pass " + std::to_string(pass) + " of " + std::to_string(kPasses));
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
        std::cerr << "kolvanex: cancelled; the filler file was removed\n";
        return kExitCancelled;
    }
    if (!done) {
        std::cerr << "kolvanex: the free space of " << root
                  << " could not be wiped (the drive is full or refused the filler file)\n";
        return kExitFailed;
    }
    if (!options.quiet)
        std::cout << "the free space of " << root << " was overwritten in 35 passes\n";
    return 0;
}

}  // namespace

void addWipeCommand(CLI::App& app, const GlobalOptions& options, int& exitCode) {
    auto o = std::make_shared<WipeOptions>();
    auto* wipe = app.add_subcommand(
        "wipe-free-space",
        "overwrite the free space of a drive in 35 passes, so deleted files cannot be recovered");
    wipe->add_option("DRIVE", o->drive, "the machine's drive, as E or E:")->required();
    wipe->add_option("--bytes", o->bytes,
                     "how much to overwrite per pass, as 4096, 500M or 2G (default: 90% of "
                     "the free space)");
    wipe->footer(
        "Ctrl+C stops the wipe; its filler file is removed.\n\n"
        "Example:\n  kolvanex wipe-free-space E: --bytes 500M");
    wipe->callback([o, &options, &exitCode] { exitCode = runWipe(options, *o); });
}

}  // namespace kx::host
