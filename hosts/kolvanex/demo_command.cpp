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
#include "platform/runtime/translation.hpp"

namespace kx::host {

namespace {

namespace fs = std::filesystem;
using platform::tr;
using platform::trf;

fs::path throwAwayPrefix() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern =
        (tmp && *tmp ? std::string(tmp) : std::string("/var/tmp")) + "/kolvanex-demo-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error(
            trf("ein Ordner für die Vorführmaschine kann nicht angelegt werden in {1}", {pattern}));
    // The machine wants to create its own prefix folder.
    fs::remove(pattern);
    return pattern;
}

std::string_view expectation(Expect expect) {
    switch (expect) {
        case Expect::Gone:
            return tr("gelöscht");
        case Expect::Kept:
            return tr("behalten");
        case Expect::Emptied:
            return tr("geleert");
    }
    return "";
}

// Where nothing is written: what a quiet run leaves unsaid.
std::ostream& quietStream() {
    static std::ostream nowhere(nullptr);
    return nowhere;
}

// "  ok     ", "  FALSCH ": the mark in front of a line of the result, both
// as wide as the longer word and a space.
std::string mark(bool ok) {
    const std::string_view wrong = tr("FALSCH");
    const std::string_view word = ok ? std::string_view("ok") : wrong;
    return "  " + std::string(word) + std::string(wrong.size() + 1 - word.size(), ' ');
}

// What became of a planted file; true when it is what the run should leave.
// A file as meant is said on `said`, one that is not always on stdout.
bool report(const PlantedFile& file, const std::string& originalText, std::ostream& said) {
    const bool there = platform::files::exists(file.path);
    std::string state;
    bool ok = false;
    if (!there) {
        state = tr("gelöscht");
        ok = file.expect == Expect::Gone;
    } else {
        const auto text = platform::files::readAll(file.path);
        const auto attributes = platform::files::attributes(file.path);
        const bool changed = !text || *text != originalText;
        state = changed ? trf("geändert, {1} Bytes", {std::to_string(text ? text->size() : 0)})
                        : std::string(tr("unverändert"));
        if (attributes &&
            (*attributes & platform::fileattr::Settable & ~platform::fileattr::Archive))
            state += tr(", noch versteckt");
        ok = (file.expect == Expect::Kept && !changed) ||
             (file.expect == Expect::Emptied && changed);
        ok = ok && !(attributes && (*attributes & platform::fileattr::Hidden));
    }
    if (there || !ok)
        (ok ? said : std::cout) << mark(ok) << file.path << ": "
                                << trf("{1} (sollte {2} sein)", {state, expectation(file.expect)})
                                << "\n";
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
    // Quiet, the demo says only what went wrong: the files not as meant.
    std::ostream& said = options.quiet ? quietStream() : std::cout;
    const fs::path prefix = options.prefix ? fs::path(*options.prefix) : throwAwayPrefix();
    if (options.prefix && fs::exists(prefix))
        throw UsageError(trf("die Vorführung legt eine eigene Maschine an; {1} gibt es schon",
                             {prefix.string()}));
    auto config = platform::MachineConfig::defaults();
    config.drives.push_back({'E', platform::DriveType::Fixed, "Lokaler Datenträger"});
    if (!createMachine(prefix, config))
        return kExitFailed;

    int status = kExitFailed;
    {
        GlobalOptions on = options;
        on.prefix = prefix.string();
        Session session(on, true);
        said << trf("Vorführmaschine in {1}", {prefix.string()}) << "\n";
        const PlantedTracks tracks = plantDemoTracks();
        std::vector<std::string> originals;
        for (const auto& file : tracks.files)
            originals.push_back(platform::files::readAll(file.path).value_or(""));
        said << trf("{1} Dateien und {2} Registrierungslisten angelegt",
                    {std::to_string(tracks.files.size()),
                     std::to_string(tracks.registryKeys.size())})
             << "\n";
        if (plantOnly) {
            said << tr("versuchen Sie: ") << "kolvanex --prefix " << prefix.string()
                 << " clean --preview\n";
            return 0;
        }

        CKOLVANEX kolvanex;
        const auto started = kolvanex.KXStart();
        const auto deleted = started ? kolvanex.KXDelete() : started;
        if (!deleted) {
            std::cerr << "kolvanex: "
                      << trf("der Reinigungslauf ist fehlgeschlagen: {1}",
                             {deleted.error().description})
                      << "\n";
        } else {
            said << "\n" << tr("was übrig ist:") << "\n";
            std::size_t right = 0;
            for (std::size_t i = 0; i < tracks.files.size(); ++i)
                right += report(tracks.files[i], originals[i], said) ? 1 : 0;
            std::size_t listsLeft = 0;
            for (const auto& key : tracks.registryKeys) {
                if (!keyHoldsValues(key))
                    continue;
                ++listsLeft;
                std::cout << mark(false) << "HKCU\\" << key << ": " << tr("hat noch Werte") << "\n";
            }
            said << "\n"
                 << trf("{1} von {2} angelegten Dateien wie gedacht; {3} von {4} "
                        "Registrierungslisten geleert",
                        {std::to_string(right), std::to_string(tracks.files.size()),
                         std::to_string(tracks.registryKeys.size() - listsLeft),
                         std::to_string(tracks.registryKeys.size())})
                 << "\n";
            status = right == tracks.files.size() && listsLeft == 0 ? 0 : kExitFailed;
        }
    }
    if (keep) {
        said << trf("die Maschine bleibt in {1}", {prefix.string()}) << "\n";
    } else {
        std::error_code ec;
        fs::remove_all(prefix, ec);
    }
    return status;
}

}  // namespace

void addDemoCommand(CLI::App& app, const GlobalOptions& options, int& exitCode) {
    auto* demo = app.add_subcommand(
        "demo", std::string(tr("eine Wegwerfmaschine mit Spuren jeder Art reinigen und das "
                               "Ergebnis zeigen")));
    auto* keep =
        demo->add_flag("--keep")->description(std::string(tr("die Maschine danach behalten")));
    auto* plantOnly = demo->add_flag("--plant-only")
                          ->description(std::string(
                              tr("nur die Maschine anlegen und die Spuren legen, um die Reinigung "
                                 "selbst zu versuchen")))
                          ->excludes(keep);
    auto* quiet = demo->add_flag("--quiet")->description(std::string(tr("nur Fehler ausgeben")));
    demo->footer(std::string(tr("Beispiele:\n")) +
                 "  kolvanex demo --keep\n"
                 "  kolvanex --prefix /tmp/probe demo --plant-only && "
                 "kolvanex --prefix /tmp/probe clean --preview");
    demo->callback([&options, &exitCode, keep, plantOnly, quiet] {
        GlobalOptions chosen = options;
        chosen.quiet = chosen.quiet || quiet->count() > 0;
        exitCode = runDemo(chosen, keep->count() > 0, plantOnly->count() > 0);
    });
}

}  // namespace kx::host
