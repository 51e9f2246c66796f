// kolvanex: the console host of the engine and its automation surface.
#include <CLI/CLI.hpp>
#include <iostream>

#include "facade/dispatch.hpp"
#include "hosts/kolvanex/host.hpp"
#include "platform/runtime/text.hpp"
#include "platform/ui/console_view.hpp"
#include "platform/ui/dialogs.hpp"
#include "platform/ui/interrupt.hpp"
#include "services/cancel.hpp"

namespace {

using namespace kx::host;

constexpr const char* kCallHelp = R"(Calls an operation or property of CKOLVANEX by name.

  kolvanex call [--json] NAME [ARGS...]

Arguments are parsed by their declared types: String as given; Boolean
True/False (also -1/0, Wahr/Falsch); Long, Integer and Byte as whole numbers
in their ranges; Double with a point; enumCryptIt Decrypt/Encrypt (0/1);
Variant as text, or null, empty, bool:X, long:N, double:X, string:X;
Collection as a JSON array of texts; Object as Nothing, tabstrip:TABS:SELECTED
or form:CAPTION. A property without an argument is read, with one it is
written. Optional arguments may be left off at the end.

Output: the result alone on the first line (Booleans True/False, numbers with
a point), then every in/out argument as name=value. With --json, one object
{"result": ..., "byref": {...}, "error": null | {"number": n, "description": "..."}}.
Exit status 0 on success, 1 when the operation fails, 2 on bad input.

'kolvanex call --list' lists every operation with its parameters.)";

void listMembers() {
    for (const auto& m : kx::members()) {
        std::cout << m.name << (m.isProperty ? " [property]" : "") << "(";
        for (std::size_t i = 0; i < m.params.size(); ++i) {
            const auto& p = m.params[i];
            std::cout << (i ? ", " : "") << (p.optional ? "[" : "") << p.name << " As "
                      << kx::paramTypeName(p.type) << (p.byRef ? " (in/out)" : "")
                      << (p.optional ? "]" : "");
        }
        std::cout << ")";
        if (m.hasResult)
            std::cout << " As " << kx::paramTypeName(m.resultType);
        std::cout << "\n";
    }
}

}  // namespace

int main(int argc, char** argv) {
    // Key names, value names and file names go into the registry and the
    // machine as text: an argument that is not UTF-8 is refused before any
    // command runs, so nothing is changed.
    for (int i = 1; i < argc; ++i) {
        if (!kx::platform::isValidUtf8(argv[i])) {
            std::cerr << "kolvanex: argument " << i
                      << " is not valid UTF-8 text; nothing was changed\n";
            return kExitUsage;
        }
    }
    // Ctrl+C cancels like the progress window's close button: the handler
    // raises a flag, the engine's next yield() sets gbBreak and closes the
    // window. The console view prints the status lines and draws the bar.
    kx::platform::ui::installInterruptHandler();
    kx::platform::ui::ConsoleView consoleView;
    kx::platform::ui::ViewScope viewScope(consoleView);
    kx::platform::ui::ConsoleDialogs consoleDialogs;
    kx::platform::ui::DialogsScope dialogsScope(consoleDialogs);
    kx::listenForInterrupts();

    CLI::App app{"kolvanex - the engine of the Kolvanex privacy suite"};
    app.require_subcommand(1);
    GlobalOptions options;
    app.add_option("--prefix", options.prefix,
                   "machine prefix (default: $KOLVANEX_PREFIX or "
                   "$XDG_DATA_HOME/kolvanex/machine)");
    app.add_option("--app-path", options.appPath, "KXAppPath (default: C:\\Programme\\Kolvanex)");
    app.add_option("--title", options.title, "KXAppTitle, also the settings' application name");
    app.add_flag("--quiet", options.quiet, "gbQuiet: no status lines");
    app.add_flag("--on-top", options.onTop, "gbFormsOnTop: topmost dialogs");
    // Scripts answer every dialog beforehand; without these a terminal asks.
    auto answerAll = [&](kx::platform::ui::ConsoleAnswer answer) {
        consoleView.setAnswer(answer);
        consoleDialogs.setAnswer(answer);
    };
    auto* yes = app.add_flag_callback(
        "--yes", [&] { answerAll(kx::platform::ui::ConsoleAnswer::Yes); },
        "answer yes to every question and press each dialog's yes button");
    app.add_flag_callback(
           "--no", [&] { answerAll(kx::platform::ui::ConsoleAnswer::No); },
           "answer no to every question and press each dialog's cancel button")
        ->excludes(yes);

    int exitCode = 0;

    auto* call = app.add_subcommand("call", "call an operation or property by name");
    call->footer(kCallHelp);
    bool json = false;
    bool list = false;
    call->add_flag("--json", json, "print one JSON object");
    call->add_flag("--list", list, "list every operation and property");
    call->prefix_command();
    call->callback([&] {
        if (list) {
            listMembers();
            return;
        }
        exitCode = runCall(options, json, call->remaining());
    });

    auto* machine = app.add_subcommand("machine", "the machine prefix");
    machine->require_subcommand(1);
    auto* init = machine->add_subcommand("init", "create the machine (or complete it)");
    std::optional<std::string> user;
    bool nonAdmin = false;
    init->add_option("--user", user, "Windows user name of a new machine");
    init->add_flag("--no-admin", nonAdmin, "the user is not an administrator");
    init->callback([&] { exitCode = runMachineInit(options, user, nonAdmin); });
    machine->add_subcommand("info", "describe the machine")->callback([&] {
        exitCode = runMachineInfo(options);
    });
    auto* linkFirefox = machine->add_subcommand(
        "link-firefox", "link the user's Firefox profile into the machine and choose Firefox");
    std::optional<std::string> firefoxProfile, firefoxProgram;
    linkFirefox->add_option("--profile", firefoxProfile,
                            "the profile folder (default: the default of "
                            "~/.mozilla/firefox/profiles.ini)");
    linkFirefox->add_option("--firefox", firefoxProgram,
                            "the Firefox program to start (default: firefox on PATH)");
    linkFirefox->callback(
        [&] { exitCode = runMachineLinkFirefox(options, firefoxProfile, firefoxProgram); });

    auto* settingsCmd = app.add_subcommand("settings", "the settings store");
    settingsCmd->require_subcommand(1);
    std::optional<std::string> listSection;
    auto* settingsList = settingsCmd->add_subcommand("list", "every known key with its value");
    settingsList->add_option("--section", listSection, "only this section");
    settingsList->callback([&] { exitCode = runSettingsList(options, listSection); });
    std::string section, key, value;
    auto* get = settingsCmd->add_subcommand("get", "one key's value (or its default)");
    get->add_option("section", section)->required();
    get->add_option("key", key)->required();
    get->callback([&] { exitCode = runSettingsGet(options, section, key); });
    auto* set = settingsCmd->add_subcommand("set", "write one key");
    set->add_option("section", section)->required();
    set->add_option("key", key)->required();
    set->add_option("value", value)->required();
    set->callback([&] { exitCode = runSettingsSet(options, section, key, value); });

    auto* reg = app.add_subcommand("reg", "the registry");
    reg->require_subcommand(1);
    std::string keyPath, file, type = "REG_SZ", data;
    std::optional<std::string> valueName;
    auto* query = reg->add_subcommand("query", "values and subkeys of a key");
    query->add_option("key", keyPath)->required();
    query->add_option("-v,--value", valueName, "only this value");
    query->callback([&] { exitCode = runRegQuery(options, keyPath, valueName); });
    auto* add = reg->add_subcommand("add", "create a key and set a value");
    std::string addName;
    add->add_option("key", keyPath)->required();
    add->add_option("-v,--value", addName, "value name (default: the key's default value)");
    add->add_option("-t,--type", type,
                    "REG_SZ, REG_EXPAND_SZ, REG_DWORD, REG_MULTI_SZ, REG_BINARY");
    add->add_option("-d,--data", data, "the data");
    add->callback([&] { exitCode = runRegAdd(options, keyPath, addName, type, data); });
    auto* del = reg->add_subcommand("delete", "delete a value, or a key with all below it");
    del->add_option("key", keyPath)->required();
    del->add_option("-v,--value", valueName, "delete only this value");
    del->callback([&] { exitCode = runRegDelete(options, keyPath, valueName); });
    auto* import = reg->add_subcommand("import", "import a .reg file");
    import->add_option("file", file)->required();
    import->callback([&] { exitCode = runRegImport(options, file);
});
auto* exportCmd = reg->add_subcommand("export", "export a key to a .reg file");
bool regedit4 = false;
exportCmd->add_option("key", keyPath)->required();
exportCmd->add_option("file", file)->required();
exportCmd->add_flag("--regedit4", regedit4, "write a REGEDIT4 file (default: version 5.00)");
exportCmd->callback([&] { exitCode = runRegExport(options, keyPath, file, regedit4); });

auto* shredCmd = app.add_subcommand(
    "shred", "destroy files with the secure deletion (FILE as Windows paths of the machine)");
ShredOptions shredOptions;
std::vector<std::string> shredFiles;
shredCmd->add_option("--passes", shredOptions.passes,
                     "overwrite passes (default: the stored DeleteN)");
shredCmd->add_option("--byte", shredOptions.byte,
                     "byte value of every pass (default: the stored DeleteValue)");
shredCmd->add_flag("--encrypt", shredOptions.encrypt, "scramble with the cipher first");
shredCmd->add_flag("--gutmann", shredOptions.gutmann,
                   "the 35 Gutmann passes instead (the stored setting is not changed)");
shredCmd->add_option("FILE", shredFiles, "files to destroy")->required();
shredCmd->callback([&] { exitCode = runShred(options, shredOptions, shredFiles); });

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

try {
    app.parse(argc, argv);
} catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0)
        return app.exit(e);  // --help
    std::cerr << "kolvanex: " << e.what() << " (see --help)\n";
    return kExitUsage;
} catch (const UsageError& e) {
    std::cerr << "kolvanex: " << e.what() << "\n";
    return kExitUsage;
} catch (const std::exception& e) {
    std::cerr << "kolvanex: " << e.what() << "\n";
    return kExitFailed;
}
return exitCode;
}
