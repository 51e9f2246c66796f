// `kolvanex machine init|info|link-firefox|link-browsers`: create and
// describe the machine the engine works on, and link the user's browser
// profiles into it.
#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <unistd.h>

#include <array>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <system_error>
#include <vector>

#include "anonymity/shipped_files.hpp"
#include "facade/kolvanex.hpp"
#include "hosts/kolvanex/host.hpp"
#include "platform/files/files.hpp"
#include "platform/files/ini.hpp"
#include "platform/files/profile_strings.hpp"
#include "platform/machine/shell_folders.hpp"
#include "platform/runtime/system_reason.hpp"
#include "platform/runtime/text.hpp"
#include "platform/runtime/translation.hpp"
#include "settings/keys.hpp"
#include "settings/locations.hpp"
#include "settings/settings_store.hpp"

namespace kx::host {
namespace {

using platform::tr;
using platform::trf;

std::string_view driveTypeName(platform::DriveType type) {
    switch (type) {
        case platform::DriveType::Removable:
            return tr("wechselbar");
        case platform::DriveType::Fixed:
            return tr("fest");
        case platform::DriveType::Remote:
            return tr("Netzwerk");
        case platform::DriveType::CdRom:
            return tr("CD-ROM");
        case platform::DriveType::RamDisk:
            return tr("RAM-Disk");
        case platform::DriveType::NoRootDir:
            return tr("ohne Stammordner");
        case platform::DriveType::Unknown:
            break;
    }
    return tr("unbekannt");
}

// The companion programs under their Windows names; `machine init` puts them
// into the suite's program folder.
constexpr std::array<std::string_view, 3> kCompanionPrograms = {"KXMonitor.exe", "KXPopup.Exe",
                                                                "KXChecker.Exe"};

// Where the companion programs and the data files are. An installed suite
// keeps them in libexec/kolvanex and share/kolvanex beside its bin/; in the
// build tree the companions lie beside the binary and the data files in the
// binary's share/kolvanex.
struct SuiteFolders {
    std::filesystem::path programs;
    std::filesystem::path data;
};

std::optional<SuiteFolders> suiteFolders() {
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) {
        std::cerr << "kolvanex: "
                  << trf("die Begleitprogramme sind nicht zu finden: {1}",
                         {platform::systemReason(ec)})
                  << "\n";
        return std::nullopt;
    }
    const auto bin = self.parent_path();
    const auto installed = bin.parent_path() / "libexec" / "kolvanex";
    if (std::filesystem::is_directory(installed, ec))
        return SuiteFolders{installed, bin.parent_path() / "share" / "kolvanex"};
    return SuiteFolders{bin, bin / "share" / "kolvanex"};
}

// Copies each companion program found in `programs` into the program
// folder. A copy goes in under a temporary name and is renamed over the old
// one, so a companion that is running keeps its file and the next start gets
// the new one. Answers false when a program found could not be installed;
// companions not built are skipped.
bool installCompanions(platform::Machine& machine, const std::filesystem::path& programs) {
    std::error_code ec;
    bool ok = true;
    for (const auto name : kCompanionPrograms) {
        const auto source = programs / name;
        if (!std::filesystem::is_regular_file(source, ec))
            continue;
        // Resolved case-insensitively, so an existing file of another spelling
        // is replaced rather than joined by a second one.
        const auto target = machine.resolve(std::string(kProgramFolder) + "\\" + std::string(name));
        if (!target) {
            std::cerr << "kolvanex: " << target.error().message << "\n";
            ok = false;
            continue;
        }
        auto temporary = *target;
        temporary += ".new-" + std::to_string(::getpid());
        std::filesystem::copy_file(source, temporary,
                                   std::filesystem::copy_options::overwrite_existing, ec);
        if (!ec) {
            std::filesystem::permissions(
                temporary,
                std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                    std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
                    std::filesystem::perms::others_exec,
                ec);
        }
        if (!ec)
            std::filesystem::rename(temporary, *target, ec);
        if (ec) {
            std::error_code ignored;
            std::filesystem::remove(temporary, ignored);
            std::cerr << "kolvanex: "
                      << trf("{1} kann nicht installiert werden: {2}",
                             {name, platform::systemReason(ec)})
                      << "\n";
            ok = false;
        }
    }
    return ok;
}

// Copies each file of the data folder that the program folder lacks; a
// user's edited copy stays. A data folder that is missing adds nothing.
bool installDataFiles(platform::Machine& machine, const std::filesystem::path& data) {
    std::error_code ec;
    bool ok = true;
    for (const auto& entry : std::filesystem::directory_iterator(data, ec)) {
        if (!entry.is_regular_file(ec))
            continue;
        const std::string path =
            std::string(kProgramFolder) + "\\" + entry.path().filename().string();
        if (platform::files::exists(machine, path))
            continue;
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string text{std::istreambuf_iterator<char>(in), {}};
        if (!in || !platform::replaceFileText(machine, path, text)) {
            std::cerr << "kolvanex: "
                      << trf("{1} kann nicht installiert werden", {entry.path().string()}) << "\n";
            ok = false;
        }
    }
    return ok;
}

namespace fs = std::filesystem;

// The user's Firefox profile as profiles.ini names it: the default of an
// installation ("Install..." sections, newer Firefox), else the profile
// marked Default=1, else the first profile.
std::optional<fs::path> defaultFirefoxProfile(const fs::path& firefoxFolder) {
    auto ini = platform::IniFile::load(firefoxFolder / "profiles.ini");
    if (!ini)
        return std::nullopt;
    const auto sections = ini->sections();
    for (const auto& section : sections) {
        if (platform::vbLCase(section).starts_with("install")) {
            if (const auto path = ini->get(section, "Default"); path && !path->empty())
                return firefoxFolder / *path;
        }
    }
    std::optional<fs::path> first;
    for (const auto& section : sections) {
        if (!platform::vbLCase(section).starts_with("profile"))
            continue;
        const auto path = ini->get(section, "Path");
        if (!path || path->empty())
            continue;
        const fs::path folder =
            ini->get(section, "IsRelative", "1") == "0" ? fs::path(*path) : firefoxFolder / *path;
        if (ini->get(section, "Default", "0") == "1")
            return folder;
        if (!first)
            first = folder;
    }
    return first;
}

// The first executable of that name on PATH.
std::optional<fs::path> onPath(std::string_view name) {
    const char* path = std::getenv("PATH");
    if (path == nullptr)
        return std::nullopt;
    std::string_view rest = path;
    while (!rest.empty()) {
        const auto colon = rest.find(':');
        const fs::path candidate = fs::path(std::string(rest.substr(0, colon))) / std::string(name);
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        rest = colon == std::string_view::npos ? std::string_view{} : rest.substr(colon + 1);
    }
    return std::nullopt;
}

std::string shellQuoted(const std::string& word) {
    std::string out = "'";
    for (const char c : word) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

constexpr std::string_view kLauncherMark = "# Kolvanex: Firefox with the linked profile";

// Puts a small launcher where the engine looks for Firefox's program, so
// that starting the chosen browser starts the user's Firefox with the
// linked profile. A program someone else put there is left alone.
bool installFirefoxLauncher(platform::Machine& machine, const fs::path& firefox,
                            const fs::path& profile) {
    const std::string windowsPath = settings::MozGetExeDirectory();
    const auto target = machine.resolve(windowsPath);
    if (!target) {
        std::cerr << "kolvanex: " << target.error().message << "\n";
        return false;
    }
    std::error_code ec;
    if (fs::exists(*target, ec)) {
        std::ifstream in(*target, std::ios::binary);
        std::string head(256, '\0');
        in.read(head.data(), static_cast<std::streamsize>(head.size()));
        if (head.find(kLauncherMark) == std::string::npos) {
            std::cout << trf("{1} bleibt, wie es ist (nicht unser Starter)", {windowsPath}) << "\n";
            return true;
        }
    }
    fs::create_directories(target->parent_path(), ec);
    auto temporary = *target;
    temporary += ".new-" + std::to_string(::getpid());
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << "#!/bin/sh\n"
            << kLauncherMark << "\n"
            << "exec " << shellQuoted(firefox.string()) << " --profile "
            << shellQuoted(profile.string()) << " \"$@\"\n";
        if (!out) {
            std::cerr << "kolvanex: "
                      << trf("{1} kann nicht geschrieben werden", {temporary.string()}) << "\n";
            return false;
        }
    }
    fs::permissions(temporary,
                    fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                        fs::perms::others_read | fs::perms::others_exec,
                    ec);
    if (!ec)
        fs::rename(temporary, *target, ec);
    if (ec) {
        fs::remove(temporary, ec);
        std::cerr << "kolvanex: " << trf("{1} kann nicht installiert werden", {windowsPath})
                  << "\n";
        return false;
    }
    std::cout << trf("Browser {1} -> {2}", {windowsPath, firefox.string()}) << "\n";
    return true;
}

constexpr std::string_view kFirefoxProfiles = "\\Mozilla\\Firefox\\Profiles";

// Links a host folder into the machine as `name` below `parent`.
bool linkInto(platform::Machine& machine, const std::string& parent, const std::string& name,
              const fs::path& folder) {
    const std::string place = parent + "\\" + name;
    if (auto linked = machine.linkFolder(place, folder); !linked) {
        std::cerr << "kolvanex: " << linked.error().message << "\n";
        return false;
    }
    std::cout << trf("verknüpft {1} -> {2}", {place, folder.string()}) << "\n";
    return true;
}

// Firefox becomes the chosen browser, as choosing it in the settings would
// make it: only then are its profiles pointed at the proxy script.
bool chooseFirefox() {
    namespace keys = settings::keys;
    bool written = settings::write(keys::BrowserIsMozillaFireFox, "True");
    for (const auto* other : {&keys::BrowserIsIE, &keys::BrowserIsOpera, &keys::BrowserIsMozilla,
                              &keys::BrowserIsNetscape, &keys::BrowserIsAOL})
        written = settings::write(*other, "False") && written;
    if (!written)
        std::cerr << "kolvanex: " << tr("Firefox kann nicht zum gewählten Browser werden") << "\n";
    return written;
}

// Every profile profiles.ini names, in its order.
std::vector<fs::path> firefoxProfiles(const fs::path& firefoxFolder) {
    std::vector<fs::path> out;
    auto ini = platform::IniFile::load(firefoxFolder / "profiles.ini");
    if (!ini)
        return out;
    for (const auto& section : ini->sections()) {
        const auto path = ini->get(section, "Path");
        if (!platform::vbLCase(section).starts_with("profile") || !path || path->empty())
            continue;
        out.push_back(ini->get(section, "IsRelative", "1") == "0" ? fs::path(*path)
                                                                  : firefoxFolder / *path);
    }
    return out;
}

// The profiles a Chromium-family browser lists in its "Local State"
// (profile.info_cache), each a folder beside that file.
std::vector<fs::path> chromiumProfiles(const fs::path& userData) {
    std::vector<fs::path> out;
    std::ifstream in(userData / "Local State", std::ios::binary);
    if (!in)
        return out;
    const auto state = nlohmann::json::parse(in, nullptr, false);
    if (!state.is_object())
        return out;
    const auto cache = state.value("profile", nlohmann::json::object())
                           .value("info_cache", nlohmann::json::object());
    if (!cache.is_object())
        return out;
    for (const auto& [name, info] : cache.items())
        // A name leading out of the user data folder is no profile of it.
        if (!name.empty() && name.find('/') == std::string::npos && name != "." && name != "..")
            out.push_back(userData / name);
    return out;
}

// A profile folder as it really is; nothing (and a line) when it is none.
std::optional<fs::path> existingFolder(const fs::path& folder) {
    std::error_code ec;
    auto real = fs::canonical(folder, ec);
    if (ec || !fs::is_directory(real, ec)) {
        std::cout << trf("übersprungen {1}: kein solcher Ordner", {folder.string()}) << "\n";
        return std::nullopt;
    }
    return real;
}

}  // namespace

int runMachineLinkBrowsers(const GlobalOptions& options) {
    const char* homeText = std::getenv("HOME");
    if (homeText == nullptr || *homeText == '\0')
        throw UsageError(std::string(tr("kein Benutzerordner (HOME)")));
    const fs::path home = homeText;
    const char* cacheText = std::getenv("XDG_CACHE_HOME");
    const fs::path cacheHome =
        cacheText != nullptr && *cacheText == '/' ? fs::path(cacheText) : home / ".cache";
    Session session(options, true);
    auto& machine = session.machine();
    const std::string roaming = platform::specialFolderPath(machine, platform::CSIDL_APPDATA);
    const std::string local = platform::specialFolderPath(machine, platform::CSIDL_LOCAL_APPDATA);
    bool ok = true;
    int linked = 0;
    // Links a profile below `parent`, and the disk cache a Linux browser
    // keeps apart from it (under the user's cache folder) below `cacheParent`.
    const auto link = [&](const fs::path& profile, const std::string& parent, const fs::path& cache,
                          const std::string& cacheParent) {
        // Named as the browser names it, even where the folder is a link.
        const std::string name =
            (profile.has_filename() ? profile : profile.parent_path()).filename().string();
        const auto folder = existingFolder(profile);
        if (!folder || !linkInto(machine, parent, name, *folder)) {
            ok = ok && !folder;
            return false;
        }
        ++linked;
        std::error_code ec;
        if (fs::is_directory(cache / name, ec))
            ok = linkInto(machine, cacheParent, name, fs::canonical(cache / name, ec)) && ok;
        return true;
    };
    bool firefoxLinked = false;
    for (const auto& profile : firefoxProfiles(home / ".mozilla" / "firefox"))
        firefoxLinked =
            link(profile, roaming + std::string(kFirefoxProfiles),
                 cacheHome / "mozilla" / "firefox", local + std::string(kFirefoxProfiles)) ||
            firefoxLinked;
    constexpr std::array<std::pair<std::string_view, std::string_view>, 2> kChromiumFamily = {{
        {"chromium", "\\Chromium"},
        {"google-chrome", "\\Google\\Chrome"},
    }};
    for (const auto& [name, place] : kChromiumFamily) {
        const std::string browser = local + std::string(place);
        for (const auto& profile : chromiumProfiles(home / ".config" / name))
            link(profile, browser + "\\User Data", cacheHome / name, browser + "\\Cache");
    }
    if (linked == 0 && ok) {
        std::cerr << "kolvanex: "
                  << tr("kein Browserprofil gefunden (~/.mozilla/firefox/profiles.ini, "
                        "~/.config/chromium/Local State, ~/.config/google-chrome/Local State)")
                  << "\n";
        return kExitFailed;
    }
    if (firefoxLinked)
        ok = chooseFirefox() && ok;
    std::cout << trf("{1} Profile verknüpft", {std::to_string(linked)}) << "\n";
    return ok ? 0 : kExitFailed;
}

int runMachineLinkFirefox(const GlobalOptions& options, const std::optional<std::string>& profile,
                          const std::optional<std::string>& firefox) {
    if (firefox && ::access(fs::absolute(*firefox).c_str(), X_OK) != 0)
        throw UsageError(trf("kein Programm: {1}", {*firefox}));
    Session session(options, true);
    fs::path folder;
    if (profile) {
        folder = fs::absolute(*profile);
    } else {
        const char* home = std::getenv("HOME");
        if (home == nullptr || *home == '\0')
            throw UsageError(
                std::string(tr("kein Benutzerordner (HOME); nennen Sie das Profil mit --profile")));
        const fs::path firefoxFolder = fs::path(home) / ".mozilla" / "firefox";
        const auto found = defaultFirefoxProfile(firefoxFolder);
        if (!found) {
            std::cerr << "kolvanex: "
                      << trf("kein Firefox-Profil in {1} (nennen Sie es mit --profile)",
                             {(firefoxFolder / "profiles.ini").string()})
                      << "\n";
            return kExitFailed;
        }
        folder = *found;
    }
    std::error_code ec;
    folder = fs::canonical(folder, ec);
    if (ec || !fs::is_directory(folder, ec)) {
        std::cerr << "kolvanex: " << trf("kein Firefox-Profilordner: {1}", {folder.string()})
                  << "\n";
        return kExitFailed;
    }

    if (!linkInto(
            session.machine(),
            settings::VBGetSpecialFolder(settings::kCsidlAppData) + std::string(kFirefoxProfiles),
            folder.filename().string(), folder))
        return kExitFailed;

    if (!chooseFirefox())
        return kExitFailed;

    const auto program =
        firefox ? std::optional<fs::path>(fs::absolute(*firefox)) : onPath("firefox");
    if (!program) {
        std::cout << tr("kein Programm firefox auf PATH gefunden: 'kolvanex open' hat keinen "
                        "Browser zu starten")
                  << "\n";
        return 0;
    }
    return installFirefoxLauncher(session.machine(), *program, folder) ? 0 : kExitFailed;
}

std::unique_ptr<platform::Machine> createMachine(const std::filesystem::path& prefix,
                                                 const platform::MachineConfig& config) {
    refuseWinePrefix(prefix);
    auto machine = platform::Machine::create(prefix, config);
    if (!machine) {
        std::cerr << "kolvanex: "
                  << trf("die Maschine in {1} kann nicht angelegt werden: {2}",
                         {prefix.string(), machine.error().message})
                  << "\n";
        return nullptr;
    }
    // The suite's program folder, where its companion programs and data files live.
    auto& m = **machine;
    const auto programFolder = m.resolve(kProgramFolder);
    if (!programFolder) {
        std::cerr << "kolvanex: " << programFolder.error().message << "\n";
        return nullptr;
    }
    std::filesystem::create_directories(*programFolder);
    const auto folders = suiteFolders();
    if (!folders || !installCompanions(m, folders->programs))
        return nullptr;
    // The data files (the proxy chain template, the ad filter's script, the
    // registry files) go in when missing, from the data folder first; the
    // program's own copies fill any gap, so a machine never lacks one.
    if (!installDataFiles(m, folders->data) || !anonymity::installShippedFiles(m, kProgramFolder)) {
        std::cerr << "kolvanex: "
                  << trf("die Datendateien können nicht nach {1} installiert werden",
                         {kProgramFolder})
                  << "\n";
        return nullptr;
    }
    return std::move(*machine);
}

int runMachineInit(const GlobalOptions& options, const std::optional<std::string>& user,
                   bool nonAdmin) {
    const auto prefix = options.prefix ? std::filesystem::path(*options.prefix)
                                       : platform::Machine::defaultPrefix();
    auto config = platform::MachineConfig::defaults();
    if (user) {
        if (user->empty() || user->find_first_of("\\/:*?\"<>|") != std::string::npos) {
            throw UsageError(trf("kein gültiger Windows-Benutzername: '{1}'", {*user}));
        }
        config.userName = *user;
    }
    if (nonAdmin) {
        config.administrator = false;
        std::erase(config.tokenGroups, std::string("S-1-5-32-544"));
    }
    if (!createMachine(prefix, config))
        return kExitFailed;
    std::cout << trf("Maschine bereit in {1}", {prefix.string()}) << "\n";
    return 0;
}

int runMachineInfo(const GlobalOptions& options) {
    Session session(options, true);
    auto& machine = session.machine();
    const auto& config = machine.config();
    CKOLVANEX kolvanex;
    const auto& version = config.version;
    std::cout << trf("Präfix: {1}", {machine.prefix().string()}) << "\n";
    std::cout << trf("System: {1} (Version {2}.{3}.{4}, Plattform {5}, {6})",
                     {kolvanex.Betriebssystem().value_or(""), std::to_string(version.major),
                      std::to_string(version.minor), std::to_string(version.build),
                      std::to_string(version.platform), version.servicePack})
              << "\n";
    std::cout << (config.administrator ? trf("Benutzer: {1} (Administrator)", {config.userName})
                                       : trf("Benutzer: {1}", {config.userName}))
              << "\n";
    std::cout << trf("Computer: {1}", {config.computerName}) << "\n";
    std::cout << trf("Profil: {1}", {machine.userProfile()}) << "\n";
    for (const auto& drive : config.drives) {
        const std::string root = std::string(1, drive.letter) + ":\\";
        const auto path = machine.resolve(root);
        const std::string type =
            std::string(driveTypeName(drive.type)) +
            (drive.shellTypeName.empty() ? "" : " (" + drive.shellTypeName + ")");
        std::cout << trf("Laufwerk {1} {2} -> {3}",
                         {root, type, path ? path->string() : std::string(tr("kein Ordner"))})
                  << "\n";
    }
    for (const auto& [name, address] : config.endpoints) {
        std::cout << trf("Endpunkt {1}: {2}", {name, address}) << "\n";
    }
    std::cout << trf("Programmordner: {1}", {kolvanex.KXAppPath().value_or("")}) << "\n";
    std::cout << trf("Einstellungen: {1}",
                     {"HKEY_CURRENT_USER\\" + std::string(settings::kStoreRoot) + "\\" +
                      settings::applicationName()})
              << "\n";
    return 0;
}

void addMachineCommands(CLI::App& app, const GlobalOptions& options, int& exitCode) {
    auto* machine = app.add_subcommand(
        "machine", std::string(tr("die Windows-ähnliche Maschine, auf der die Suite arbeitet (ein "
                                  "Ordner, wie ein Wine-Präfix)")));
    machine->require_subcommand(1);
    const std::string example(tr("Beispiel:\n"));
    machine->footer(example + "  kolvanex machine init --user anna");
    auto* init = machine->add_subcommand(
        "init", std::string(tr("die Maschine anlegen (oder vervollständigen)")));
    auto user = std::make_shared<std::optional<std::string>>();
    auto nonAdmin = std::make_shared<bool>(false);
    init->add_option("--user", *user, std::string(tr("Windows-Benutzername einer neuen Maschine")));
    init->add_flag("--no-admin", *nonAdmin, std::string(tr("der Benutzer ist kein Administrator")));
    init->footer(example + "  kolvanex --prefix ~/probe machine init --user anna");
    init->callback([&options, &exitCode, user, nonAdmin] {
        exitCode = runMachineInit(options, *user, *nonAdmin);
    });
    auto* info = machine->add_subcommand("info", std::string(tr("die Maschine beschreiben")));
    info->footer(example + "  kolvanex machine info");
    info->callback([&options, &exitCode] { exitCode = runMachineInfo(options); });
    auto* linkFirefox = machine->add_subcommand(
        "link-firefox", std::string(tr("das Firefox-Profil des Benutzers in die Maschine "
                                       "verknüpfen und Firefox wählen")));
    auto profile = std::make_shared<std::optional<std::string>>();
    auto program = std::make_shared<std::optional<std::string>>();
    linkFirefox->add_option("--profile", *profile,
                            std::string(tr("der Profilordner (Vorgabe: das Standardprofil von "
                                           "~/.mozilla/firefox/profiles.ini)")));
    linkFirefox->add_option("--firefox", *program,
                            std::string(tr("das zu startende Firefox-Programm (Vorgabe: firefox "
                                           "auf PATH)")));
    linkFirefox->footer(example + "  kolvanex machine link-firefox --firefox /usr/bin/firefox-esr");
    linkFirefox->callback([&options, &exitCode, profile, program] {
        exitCode = runMachineLinkFirefox(options, *profile, *program);
    });
    machine
        ->add_subcommand("link-browsers",
                         std::string(tr("jedes Firefox-, Chromium- und Chrome-Profil des "
                                        "Benutzers in die Maschine verknüpfen, damit "
                                        "Reinigungsläufe sie erreichen")))
        ->callback([&options, &exitCode] { exitCode = runMachineLinkBrowsers(options); });
}

}  // namespace kx::host
