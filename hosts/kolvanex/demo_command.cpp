// `kolvanex demo`: a whole cleaning run on a throw-away machine. It creates
// the machine, plants the tracks a few weeks of use leave behind, runs
// discovery and the destroy phase with the progress log on the terminal and
// then shows, file by file, what is left and whether that is what the run
// was meant to leave. The machine is removed afterwards unless kept.
#include <CLI/CLI.hpp>

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "facade/kolvanex.hpp"
#include "hosts/kolvanex/demo_tracks.hpp"
#include "hosts/kolvanex/host.hpp"
#include "platform/files/files.hpp"
#include "platform/registry/registry_key.hpp"

namespace kx::host {

namespace {

namespace fs = std::filesystem;

fs::path throwAwayPrefix() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern =
        (tmp && *tmp ? std::string(tmp) : std::string("/var/tmp")) + "/kolvanex-demo-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("cannot create a folder for the demo machine in " + pattern);
    // The machine wants to create its own prefix folder.
    fs::remove(pattern);
    return pattern;
}

std::string_view expectation(Expect expect) {
    switch (expect) {
        case Expect::Gone:
            return "deleted";
        case Expect::Kept:
            return "kept";
        case Expect::Emptied:
            return "emptied";
    }
    return "";
}

// What became of a planted file; true when it is what the run should leave.
bool report(const PlantedFile& file, const std::string& originalText) {
    const bool there = platform::files::exists(file.path);
    std::string state;
    bool ok = false;
    if (!there) {
        state = "deleted";
        ok = file.expect == Expect::Gone;
    } else {
        const auto text = platform::files::readAll(file.path);
        const auto attributes = platform::files::attributes(file.path);
        const bool changed = !text || *text != originalText;
        state = changed ? "changed, " + std::to_string(text ? text->size() : 0) + " bytes"
                        : "unchanged";
        if (attributes &&
            (*attributes & platform::fileattr::Settable & ~platform::fileattr::Archive))
            state += ", still hidden";
        ok = (file.expect == Expect::Kept && !changed) ||
             (file.expect == Expect::Emptied && changed);
        ok = ok && !(attributes && (*attributes & platform::fileattr::Hidden));
    }
    if (there || !ok)
        std::cout << (ok ? "  ok    " : "  WRONG ") << file.path << ": " << state
                  << " (meant to be " << expectation(file.expect) << ")\n";
    return ok;
}

bool keyHoldsValues(const std::string& keyPath) {
    auto& registry = platform::currentMachine().registry();
    platform::HKEY key = 0;
    if (registry.RegOpenKeyExA(platform::HKEY_CURRENT_USER, keyPath, 0, platform::KEY_READ, &key) !=
        platform::ERROR_SUCCESS)
        return false;
    platform::RegKey open(registry, key);
    char name[256];
    platform::DWORD size = sizeof name;
    return registry.RegEnumValueA(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr) ==
           platform::ERROR_SUCCESS;
}

int runDemo(const GlobalOptions& options, bool keep, bool plantOnly) {
    const fs::path prefix = options.prefix ? fs::path(*options.prefix) : throwAwayPrefix();
    if (options.prefix && fs::exists(prefix))
        throw UsageError("the demo makes a machine of its own; " + prefix.string() +
                         " exists already");
    auto config = platform::MachineConfig::defaults();
    config.drives.push_back({'E', platform::DriveType::Fixed, "Lokaler Datenträger"});
    if (!createMachine(prefix, config))
        return kExitFailed;

    int status = kExitFailed;
    {
        GlobalOptions on = options;
        on.prefix = prefix.string();
        Session session(on, true);
        std::cout << "demo machine at " << prefix.string() << "\n";
        const PlantedTracks tracks = plantDemoTracks();
        std::vector<std::string> originals;
        for (const auto& file : tracks.files)
            originals.push_back(platform::files::readAll(file.path).value_or(""));
        std::cout << "planted " << tracks.files.size() << " files and "
                  << tracks.registryKeys.size() << " registry lists\n";
        if (plantOnly) {
            std::cout << "try: kolvanex --prefix " << prefix.string() << " clean --preview\n";
            return 0;
        }

        CKOLVANEX kolvanex;
        const auto started = kolvanex.KXStart();
        const auto deleted = started ? kolvanex.KXDelete() : started;
        if (!deleted) {
            std::cerr << "kolvanex: the cleaning run failed: " << deleted.error().description
                      << "\n";
        } else {
            std::cout << "\nwhat is left:\n";
            std::size_t right = 0;
            for (std::size_t i = 0; i < tracks.files.size(); ++i)
                right += report(tracks.files[i], originals[i]) ? 1 : 0;
            std::size_t listsLeft = 0;
            for (const auto& key : tracks.registryKeys) {
                if (!keyHoldsValues(key))
                    continue;
                ++listsLeft;
                std::cout << "  WRONG HKCU\\" << key << ": still holds values\n";
            }
            std::cout << "\n"
                      << right << " of " << tracks.files.size() << " planted files as meant; "
                      << tracks.registryKeys.size() - listsLeft << " of "
                      << tracks.registryKeys.size() << " registry lists cleared\n";
            status = right == tracks.files.size() && listsLeft == 0 ? 0 : kExitFailed;
        }
    }
    if (keep) {
        std::cout << "the machine stays at " << prefix.string() << "\n";
    } else {
        std::error_code ec;
        fs::remove_all(prefix, ec);
    }
    return status;
}

}  // namespace

void addDemoCommand(CLI::App& app, const GlobalOptions& options, int& exitCode) {
    auto* demo = app.add_subcommand(
        "demo",
        "clean a throw-away machine planted with tracks of every kind, and show the result");
    auto* keep = demo->add_flag("--keep")->description("keep the machine afterwards");
    auto* plantOnly =
        demo->add_flag("--plant-only")
            ->description("only make the machine and plant the tracks, to try the clean yourself")
            ->excludes(keep);
    demo->footer(
        "Examples:\n  kolvanex demo --keep\n"
        "  kolvanex --prefix /tmp/probe demo --plant-only && "
        "kolvanex --prefix /tmp/probe clean --preview");
    demo->callback([&options, &exitCode, keep, plantOnly] {
        exitCode = runDemo(options, keep->count() > 0, plantOnly->count() > 0);
    });
}

}  // namespace kx::host
