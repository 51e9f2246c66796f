#pragma once
// The console host: global options, the machine it works on, and the
// commands that reach the engine.
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/machine/machine.hpp"
#include "platform/runtime/translation.hpp"

namespace CLI {
class App;
class ParseError;
}  // namespace CLI

namespace kx::host {

/// Bad input on the command line: reported in one line, exit status 2.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

inline constexpr int kExitFailed = 1;       // the operation answered a failing status
inline constexpr int kExitUsage = 2;        // the command line was wrong
inline constexpr int kExitCancelled = 130;  // Ctrl+C ended the run early (128 + SIGINT)

/// The end of the main help: the exit statuses scripts rely on, and a start.
inline constexpr std::string_view kMainHelpFooter = platform::trMark(R"(Exit-Status:
  0    Erfolg
  1    der Vorgang ist fehlgeschlagen
  2    fehlerhafte Eingabe auf der Befehlszeile (nichts wurde geändert)
  130  mit Strg+C abgebrochen

Beispiel:
  kolvanex machine init && kolvanex clean --preview

'kolvanex BEFEHL --help' beschreibt jeden Befehl.)");

/// Makes CLI11 speak the user's language in its help: its labels, its
/// group names and the help flag's text. Called once every command is added.
void speakUserLanguage(CLI::App& app);

/// A parse error of CLI11 in the user's language, in one line.
std::string parseErrorText(const CLI::ParseError& error);

/// When a parse failed because a word names no command at its place on the
/// command line: "unbekannter Befehl 'cleen' (meinten Sie 'clean'?)".
std::optional<std::string> unknownCommand(const CLI::App& app, int argc, char** argv);

/// The name of `names` closest to `word` by edit distance, when it is close
/// enough to be a slip of the keyboard.
std::optional<std::string> closestName(std::string_view word,
                                       const std::vector<std::string>& names);

/// Wipes the progress bar from the terminal before the host writes a line of
/// its own, so the two never share a line (the bar comes back with its next
/// change).
void clearProgressLine();

/// The suite's program folder inside the machine, the default of KXAppPath.
inline constexpr std::string_view kProgramFolder = "C:\\Programme\\Kolvanex";

struct GlobalOptions {
    std::optional<std::string> prefix;
    std::optional<std::string> appPath;
    std::optional<std::string> title;
    bool quiet = false;
    bool onTop = false;
};

/// The machine and shared state a command runs with: the machine is bound to
/// the thread and the global options are set into the shared state.
class Session {
  public:
    /// `mustExist`: fail when the prefix has no machine yet (an explicitly
    /// named prefix must always exist).
    Session(const GlobalOptions& options, bool mustExist);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    bool hasMachine() const { return machine_ != nullptr; }
    platform::Machine& machine();
    const std::filesystem::path& prefix() const { return prefix_; }

  private:
    std::filesystem::path prefix_;
    std::unique_ptr<platform::Machine> machine_;
    std::unique_ptr<platform::MachineScope> scope_;
};

/// `kolvanex call [--json|--list] NAME [ARGS...]`: any operation or property by name.
void addCallCommand(CLI::App& app, const GlobalOptions& options, int& exitCode);
/// `kolvanex machine init|info|link-firefox`.
void addMachineCommands(CLI::App& app, const GlobalOptions& options, int& exitCode);
/// `kolvanex settings list|get|set`.
void addSettingsCommands(CLI::App& app, const GlobalOptions& options, int& exitCode);
/// `kolvanex reg query|add|delete|import|export`.
void addRegCommands(CLI::App& app, const GlobalOptions& options, int& exitCode);
/// `kolvanex shred FILE...`.
void addShredCommand(CLI::App& app, const GlobalOptions& options, int& exitCode);
int runCall(const GlobalOptions& options, bool json, const std::vector<std::string>& words);
/// `kolvanex wipe-free-space DRIVE`: the free-space wipe with its bar.
void addWipeCommand(CLI::App& app, const GlobalOptions& options, int& exitCode);
/// `kolvanex cipher encrypt|decrypt IN OUT`: adds the sub-command to `app`;
/// its run sets `exitCode`.
void addCipherCommand(CLI::App& app, const GlobalOptions& options, int& exitCode);
/// `kolvanex encrypt|decrypt FILE... | --folder DIR`.
void addCryptCommands(CLI::App& app, const GlobalOptions& options, int& exitCode);
/// `kolvanex favourites list|add|remove|import|open`.
void addFavouritesCommands(CLI::App& app, const GlobalOptions& options, int& exitCode);
/// `kolvanex fetch URL` (GetInternetFile) and `kolvanex download URL`
/// (frmMain's Download with its progress line).
void addFetchCommands(CLI::App& app, const GlobalOptions& options, int& exitCode);
/// `kolvanex demo`: a cleaning run on a throw-away machine planted with tracks.
void addDemoCommand(CLI::App& app, const GlobalOptions& options, int& exitCode);
/// `kolvanex info`: the information window's sentence and version.
void addInfoCommand(CLI::App& app, const GlobalOptions& options, int& exitCode);
/// `kolvanex clean [--preview]`: a cleaning run, or the list of what it would process.
void addCleanCommand(CLI::App& app, const GlobalOptions& options, int& exitCode);
/// `kolvanex proxy fastest` (GetFastestProxy) and `kolvanex proxy check
/// HOST:PORT` (KXChecker).
void addProxyCommands(CLI::App& app, const GlobalOptions& options, int& exitCode);
/// `kolvanex mail --to ADDR --subject S --message-file F [--multi] [--anonym]
/// [--clean]`: an anonymous mail through the web remailers.
void addMailCommand(CLI::App& app, const GlobalOptions& options, int& exitCode);
/// The browsers' own proxy settings kept in the prefix between runs: read
/// when a session starts, written (or removed once restored) when it ends.
void loadBrowserSettings(const std::filesystem::path& prefix);
void storeBrowserSettings(const std::filesystem::path& prefix);

/// Throws a UsageError saying what works on a Wine prefix when `prefix` is one.
void refuseWinePrefix(const std::filesystem::path& prefix);

/// Creates a machine at `prefix` with the suite's program folder, its
/// companion programs and data files; null (with the reason on stderr) when
/// that fails.
std::unique_ptr<platform::Machine> createMachine(const std::filesystem::path& prefix,
                                                 const platform::MachineConfig& config);
int runMachineInit(const GlobalOptions& options, const std::optional<std::string>& user,
                   bool nonAdmin);
int runMachineInfo(const GlobalOptions& options);
/// `kolvanex machine link-browsers`: links every profile of the user's
/// Firefox (~/.mozilla/firefox/profiles.ini, with its cache folder), Chromium
/// and Chrome (their "Local State") into the machine and lists each; Firefox
/// becomes the chosen browser when one of its profiles was linked.
int runMachineLinkBrowsers(const GlobalOptions& options);
/// `kolvanex machine link-firefox`: links the user's Firefox profile (the
/// default of ~/.mozilla/firefox/profiles.ini, or `profile`) into the
/// machine's Firefox profiles, makes Firefox the chosen browser and puts a
/// launcher of `firefox` (default: the one on PATH) where the engine starts it.
int runMachineLinkFirefox(const GlobalOptions& options, const std::optional<std::string>& profile,
                          const std::optional<std::string>& firefox);
/// `kolvanex session anonym|safe on|off` and `kolvanex open URL`.
void addSessionCommands(CLI::App& app, const GlobalOptions& options, int& exitCode);
int runSettingsList(const GlobalOptions& options, const std::optional<std::string>& section);
int runSettingsGet(const GlobalOptions& options, const std::string& section,
                   const std::string& key);
int runSettingsSet(const GlobalOptions& options, const std::string& section, const std::string& key,
                   const std::string& value);
int runRegQuery(const GlobalOptions& options, const std::string& keyPath,
                const std::optional<std::string>& valueName);
int runRegAdd(const GlobalOptions& options, const std::string& keyPath,
              const std::string& valueName, const std::string& type, const std::string& data);
int runRegDelete(const GlobalOptions& options, const std::string& keyPath,
                 const std::optional<std::string>& valueName);
int runRegImport(const GlobalOptions& options, const std::string& file);
int runRegExport(const GlobalOptions& options, const std::string& keyPath, const std::string& file,
                 bool regedit4);

/// `kolvanex shred`: options left out take the stored DeleteN and DeleteValue.
struct ShredOptions {
    std::optional<int> passes;
    std::optional<int> byte;
    bool encrypt = false;
    bool gutmann = false;
    bool verbose = false;  // a line as each pass begins
};
int runShred(const GlobalOptions& options, const ShredOptions& shred,
             const std::vector<std::string>& files);

}  // namespace kx::host
