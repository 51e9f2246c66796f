// kolvanex: the console host of the engine and its automation surface.
#include <CLI/CLI.hpp>
#include <iostream>

#include "anonymity/frm_info.hpp"
#include "hosts/kolvanex/host.hpp"
#include "platform/runtime/text.hpp"
#include "platform/runtime/translation.hpp"
#include "platform/ui/console_view.hpp"
#include "platform/ui/dialogs.hpp"
#include "platform/ui/interrupt.hpp"
#include "services/cancel.hpp"

using namespace kx::host;
using kx::platform::tr;
using kx::platform::trf;

namespace {
// The console view prints the status lines and draws the bar; the host's
// own lines wipe the bar first.
kx::platform::ui::ConsoleView& consoleView() {
    static kx::platform::ui::ConsoleView view;
    return view;
}
}  // namespace

void kx::host::clearProgressLine() {
    consoleView().clearBar();
}

int main(int argc, char** argv) {
    // Key names, value names and file names go into the registry and the
    // machine as text: an argument that is not UTF-8 is refused before any
    // command runs, so nothing is changed.
    for (int i = 1; i < argc; ++i) {
        if (!kx::platform::isValidUtf8(argv[i])) {
            std::cerr << "kolvanex: "
                      << trf("Argument {1} ist kein gültiger UTF-8-Text; nichts wurde geändert",
                             {std::to_string(i)})
                      << "\n";
            return kExitUsage;
        }
    }
    // Ctrl+C cancels like the progress window's close button: the handler
    // raises a flag, the engine's next yield() sets gbBreak and closes the
    // window. The console view prints the status lines and draws the bar.
    kx::platform::ui::installInterruptHandler();
    kx::platform::ui::ViewScope viewScope(consoleView());
    kx::platform::ui::ConsoleDialogs consoleDialogs;
    kx::platform::ui::DialogsScope dialogsScope(consoleDialogs);
    kx::listenForInterrupts();

    CLI::App app{std::string(
        tr("kolvanex - die Datenschutz-Suite Kolvanex: entfernt Nutzungsspuren, vernichtet und "
           "verschlüsselt Dateien, surft anonym"))};
    app.require_subcommand(1);
    const auto& version = kx::kComponentVersion;
    app.set_version_flag("--version",
                         "kolvanex " + std::to_string(version.major) + "." +
                             std::to_string(version.minor) + "." + std::to_string(version.revision),
                         std::string(tr("die Version des Programms zeigen und beenden")));
    app.footer(std::string(tr(kMainHelpFooter)));
    GlobalOptions options;
    app.add_option("--prefix", options.prefix,
                   std::string(tr("die Maschine, auf der gearbeitet wird (Vorgabe: "
                                  "$KOLVANEX_PREFIX oder $XDG_DATA_HOME/kolvanex/machine)")));
    app.add_option("--app-path", options.appPath,
                   std::string(tr("der Programmordner der Suite in der Maschine (Vorgabe: "
                                  "C:\\Programme\\Kolvanex)")));
    app.add_option("--title", options.title,
                   std::string(tr("der Titel der Anwendung; unter ihm stehen die Einstellungen "
                                  "(Vorgabe: Kolvanex)")));
    app.add_flag("--quiet", options.quiet, std::string(tr("nur Fehler ausgeben")));
    app.add_flag("--on-top", options.onTop,
                 std::string(tr("Dialoge über allen anderen Fenstern halten")));
    // Scripts answer every dialog beforehand; without these a terminal asks.
    auto answerAll = [&](kx::platform::ui::ConsoleAnswer answer) {
        consoleView().setAnswer(answer);
        consoleDialogs.setAnswer(answer);
    };
    auto* yes = app.add_flag_callback(
        "--yes", [&] { answerAll(kx::platform::ui::ConsoleAnswer::Yes); },
        std::string(tr("jede Frage mit Ja beantworten und in jedem Dialog Ja drücken")));
    app.add_flag_callback(
           "--no", [&] { answerAll(kx::platform::ui::ConsoleAnswer::No); },
           std::string(tr("jede Frage mit Nein beantworten und in jedem Dialog Abbrechen "
                          "drücken")))
        ->excludes(yes);

    int exitCode = 0;

    addCallCommand(app, options, exitCode);
    addMachineCommands(app, options, exitCode);
    addSettingsCommands(app, options, exitCode);
    addRegCommands(app, options, exitCode);
    addShredCommand(app, options, exitCode);
    addCipherCommand(app, options, exitCode);
    addCryptCommands(app, options, exitCode);
    addFavouritesCommands(app, options, exitCode);
    addFetchCommands(app, options, exitCode);
    addInfoCommand(app, options, exitCode);
    addSessionCommands(app, options, exitCode);
    addCleanCommand(app, options, exitCode);
    addProxyCommands(app, options, exitCode);
    addDemoCommand(app, options, exitCode);
    addMailCommand(app, options, exitCode);
    addWipeCommand(app, options, exitCode);
    speakUserLanguage(app);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        clearProgressLine();
        if (e.get_exit_code() == 0)
            return app.exit(e);  // --help, --version
        if (const auto unknown = unknownCommand(app, argc, argv)) {
            std::cerr << "kolvanex: " << *unknown << "\n";
            return kExitUsage;
        }
        std::cerr << "kolvanex: " << trf("{1} (siehe --help)", {parseErrorText(e)}) << "\n";
        return kExitUsage;
    } catch (const UsageError& e) {
        clearProgressLine();
        std::cerr << "kolvanex: " << e.what() << "\n";
        return kExitUsage;
    } catch (const std::exception& e) {
        clearProgressLine();
        std::cerr << "kolvanex: " << e.what() << "\n";
        return kExitFailed;
    }
    return exitCode;
}
