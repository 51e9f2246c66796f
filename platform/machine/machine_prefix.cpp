// Creating and opening a machine prefix: the skeleton of a German Windows XP
// installation, its drive links and the registry values that name its folders.
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/machine/machine_internals.hpp"

#include "platform/runtime/error.hpp"
#include "platform/runtime/system_reason.hpp"

namespace kx::platform {
namespace fs = std::filesystem;
using namespace detail;

namespace {
// The per-user folders of a German XP profile and the Shell Folders value
// names that point at them. The registry is where programs look them up, so
// the two lists must agree; keeping them in one table makes sure they do.
struct ShellFolder {
    std::string_view valueName;
    std::string_view relative;  // below the profile folder
};
constexpr ShellFolder kUserShellFolders[] = {
    {"AppData", "Anwendungsdaten"},
    {"Cache", "Lokale Einstellungen\\Temporary Internet Files"},
    {"Cookies", "Cookies"},
    {"Desktop", "Desktop"},
    {"Favorites", "Favoriten"},
    {"History", "Lokale Einstellungen\\Verlauf"},
    {"Local AppData", "Lokale Einstellungen\\Anwendungsdaten"},
    {"Local Settings", "Lokale Einstellungen"},
    {"NetHood", "Netzwerkumgebung"},
    {"Personal", "Eigene Dateien"},
    {"PrintHood", "Druckumgebung"},
    {"Programs", "Startmenü\\Programme"},
    {"Recent", "Recent"},
    {"SendTo", "SendTo"},
    {"Start Menu", "Startmenü"},
    {"Startup", "Startmenü\\Programme\\Autostart"},
    {"Templates", "Vorlagen"},
};
constexpr ShellFolder kCommonShellFolders[] = {
    {"Common AppData", "Anwendungsdaten"},
    {"Common Desktop", "Desktop"},
    {"Common Documents", "Dokumente"},
    {"Common Start Menu", "Startmenü"},
};
// Profile folders without a Shell Folders value of their own.
constexpr std::string_view kExtraUserFolders[] = {"Lokale Einstellungen\\Temp"};

constexpr std::string_view kUserTempRelative = "Lokale Einstellungen\\Temp";

constexpr std::string_view kShellFoldersKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr std::string_view kUserShellFoldersKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

// ---- registry seeding ----------------------------------------------------

std::string toBytes(std::string_view text) {
    std::string bytes(text);
    bytes.push_back('\0');  // Win32 callers store the terminating NUL with REG_SZ
    return bytes;
}

struct Seed {
    HKEY root;
    std::string key;
    std::string name;
    DWORD type;
    std::string data;
};

std::vector<Seed> seedValues(const MachineConfig& c, const std::string& profile) {
    std::vector<Seed> seeds;
    for (const auto& f : kUserShellFolders) {
        seeds.push_back({HKEY_CURRENT_USER, std::string(kShellFoldersKey), std::string(f.valueName),
                         REG_SZ, profile + "\\" + std::string(f.relative)});
        seeds.push_back({HKEY_CURRENT_USER, std::string(kUserShellFoldersKey),
                         std::string(f.valueName), REG_EXPAND_SZ,
                         "%USERPROFILE%\\" + std::string(f.relative)});
    }
    const std::string allUsers = std::string(kProfilesRoot) + "\\All Users";
    for (const auto& f : kCommonShellFolders) {
        seeds.push_back({HKEY_LOCAL_MACHINE,
                         "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                         std::string(f.valueName), REG_SZ,
                         allUsers + "\\" + std::string(f.relative)});
        seeds.push_back(
            {HKEY_LOCAL_MACHINE,
             "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
             std::string(f.valueName), REG_EXPAND_SZ,
             "%ALLUSERSPROFILE%\\" + std::string(f.relative)});
    }
    const std::string nt = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
    seeds.push_back({HKEY_LOCAL_MACHINE, nt, "ProductName", REG_SZ, "Microsoft Windows XP"});
    seeds.push_back({HKEY_LOCAL_MACHINE, nt, "CurrentVersion", REG_SZ,
                     std::to_string(c.version.major) + "." + std::to_string(c.version.minor)});
    seeds.push_back(
        {HKEY_LOCAL_MACHINE, nt, "CurrentBuildNumber", REG_SZ, std::to_string(c.version.build)});
    seeds.push_back({HKEY_LOCAL_MACHINE, nt, "CSDVersion", REG_SZ, c.version.servicePack});
    seeds.push_back({HKEY_LOCAL_MACHINE, nt, "SystemRoot", REG_SZ, "C:\\WINDOWS"});
    seeds.push_back({HKEY_LOCAL_MACHINE, nt, "RegisteredOwner", REG_SZ, c.userName});
    seeds.push_back({HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                     "ProgramFilesDir", REG_SZ, "C:\\Programme"});
    const std::string temp = "%USERPROFILE%\\" + std::string(kUserTempRelative);
    seeds.push_back({HKEY_CURRENT_USER, "Environment", "TEMP", REG_EXPAND_SZ, temp});
    seeds.push_back({HKEY_CURRENT_USER, "Environment", "TMP", REG_EXPAND_SZ, temp});
    return seeds;
}

// Writes each seed value that is absent; values already there (a user's own
// choice when an existing prefix is completed) are left as they are.
LONG seedRegistry(Registry& reg, const std::vector<Seed>& seeds) {
    for (const auto& s : seeds) {
        HKEY key = 0;
        LONG rc = reg.RegCreateKeyExA(s.root, s.key, 0, "", REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                      nullptr, &key, nullptr);
        if (rc != ERROR_SUCCESS)
            return rc;
        DWORD size = 0;
        rc = reg.RegQueryValueExA(key, s.name, nullptr, nullptr, nullptr, &size);
        if (rc == ERROR_FILE_NOT_FOUND) {
            const std::string bytes =
                s.type == REG_SZ || s.type == REG_EXPAND_SZ ? toBytes(s.data) : s.data;
            rc = reg.RegSetValueExA(key, s.name, 0, s.type,
                                    reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                    static_cast<DWORD>(bytes.size()));
        }
        reg.RegCloseKey(key);
        if (rc != ERROR_SUCCESS)
            return rc;
    }
    return ERROR_SUCCESS;
}

// A prefix made before drives could show host folders gains those of the
// given record (Z:, the host's root) when it is completed.
void addHostDrives(MachineConfig& config, const MachineConfig& given) {
    for (const auto& d : given.drives) {
        const bool known = std::ranges::any_of(
            config.drives, [&](const Drive& have) { return have.letter == d.letter; });
        if (!d.hostFolder.empty() && !known)
            config.drives.push_back(d);
    }
    std::ranges::sort(config.drives, {}, &Drive::letter);
}

}  // namespace

fs::path Machine::defaultPrefix() {
    if (const char* p = std::getenv("KOLVANEX_PREFIX"); p != nullptr && *p != '\0')
        return p;
    // XDG says a relative XDG_DATA_HOME is invalid and must be ignored.
    if (const char* x = std::getenv("XDG_DATA_HOME"); x != nullptr && *x == '/') {
        return fs::path(x) / "kolvanex" / "machine";
    }
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') {
        if (const passwd* pw = ::getpwuid(::getuid()); pw != nullptr)
            home = pw->pw_dir;
    }
    if (home != nullptr && *home != '\0') {
        return fs::path(home) / ".local" / "share" / "kolvanex" / "machine";
    }
    return fs::temp_directory_path() / ("kolvanex-" + std::to_string(::getuid())) / "machine";
}

bool isWinePrefix(const fs::path& folder) {
    std::error_code ec;
    return fs::is_regular_file(folder / "system.reg", ec) &&
           fs::is_regular_file(folder / "user.reg", ec) &&
           fs::is_directory(folder / "dosdevices", ec);
}

std::expected<std::unique_ptr<Machine>, Error> Machine::open(const fs::path& prefix) {
    if (isWinePrefix(prefix))
        return std::unexpected(
            machineError(trf("ein Wine-Präfix, keine Maschine: {1}", {prefix.string()}), 2));
    auto ini = IniFile::load(prefix / "machine.ini");
    if (!ini) {
        return std::unexpected(machineError(
            trf("kein Maschinen-Präfix (keine brauchbare machine.ini): {1}", {ini.error().message}),
            2));
    }
    if (!pathExists(prefix / "registry.db")) {
        return std::unexpected(machineError(
            trf("kein Maschinen-Präfix (keine registry.db): {1}", {prefix.string()}), 2));
    }
    MachineConfig config = configFromIni(*ini, MachineConfig::defaults());
    KX_PROPAGATE(validateConfig(config));
    std::unique_ptr<Registry> reg;
    try {
        reg = Registry::open(prefix / "registry.db", RegistryPolicy{config.administrator});
    } catch (const std::exception& e) {
        return std::unexpected(
            machineError(trf("die Registrierung kann nicht geöffnet werden: {1}", {e.what()}), 5));
    }
    return std::unique_ptr<Machine>(new Machine(prefix, std::move(config), std::move(reg)));
}

std::expected<std::unique_ptr<Machine>, Error> Machine::create(const fs::path& prefix,
                                                               const MachineConfig& given) {
    KX_PROPAGATE(validateConfig(given));
    if (isWinePrefix(prefix))
        return std::unexpected(machineError(
            trf("ein Wine-Präfix, darin wird nichts angelegt: {1}", {prefix.string()}), 2));
    std::error_code ec;
    fs::create_directories(prefix, ec);
    if (ec)
        return std::unexpected(machineError(
            trf("{1} kann nicht erstellt werden: {2}", {prefix.string(), systemReason(ec)}), 5));

    // machine.ini: an existing record wins (completing a prefix never changes
    // who the user is); keys it lacks are filled from the given config.
    const fs::path iniPath = prefix / "machine.ini";
    IniFile ini;
    MachineConfig config = given;
    if (config.tokenGroups.empty()) {
        config.tokenGroups = MachineConfig::defaultTokenGroups(config.administrator);
    }
    if (pathExists(iniPath)) {
        auto loaded = IniFile::load(iniPath);
        if (!loaded)
            return std::unexpected(machineError(loaded.error().message, 5));
        ini = std::move(*loaded);
        const bool knewHostDrives = ini.hasSection("drive folders");
        config = configFromIni(ini, config);
        if (!knewHostDrives)
            addHostDrives(config, given);
        KX_PROPAGATE(validateConfig(config));
    }
    const std::string before = ini.text();
    configToIni(config, ini);
    if (ini.text() != before || !pathExists(iniPath)) {
        if (auto saved = ini.save(iniPath); !saved) {
            return std::unexpected(machineError(saved.error().message, 5));
        }
    }

    // Drive folders and their dosdevices links.
    fs::create_directories(prefix / "dosdevices", ec);
    if (ec)
        return std::unexpected(machineError(
            trf("{1} kann nicht erstellt werden: {2}", {"dosdevices", systemReason(ec)}), 5));
    for (const auto& d : config.drives) {
        if (!driveHasFolder(d))
            continue;
        const char l = static_cast<char>(std::tolower(static_cast<unsigned char>(d.letter)));
        // Relative, so the prefix can be moved as a whole.
        std::string target = "../drive_" + std::string(1, l);
        if (!d.hostFolder.empty()) {
            target = d.hostFolder.string();
        } else {
            fs::create_directories(prefix / target.substr(3), ec);
            if (ec)
                return std::unexpected(machineError(trf("{1} kann nicht erstellt werden: {2}",
                                                        {target.substr(3), systemReason(ec)}),
                                                    5));
        }
        const fs::path link = prefix / "dosdevices" / (std::string(1, l) + ":");
        if (!pathExists(link)) {
            if (::symlink(target.c_str(), link.c_str()) != 0 && errno != EEXIST) {
                return std::unexpected(machineError(trf("{1} kann nicht verknüpft werden: {2}",
                                                        {link.string(), systemReason(errno)}),
                                                    5));
            }
        }
    }

    // The registry, seeded with administrator rights: HKLM must be filled in
    // even for a restricted user, who then gets the machine with the real policy.
    const fs::path db = prefix / "registry.db";
    std::unique_ptr<Registry> reg;
    const std::string profile = std::string(kProfilesRoot) + "\\" + config.userName;
    try {
        reg = Registry::open(db, RegistryPolicy{true});
        const auto seeds = seedValues(config, profile);
        const LONG rc = reg->transaction([&] { return seedRegistry(*reg, seeds); });
        if (rc != ERROR_SUCCESS) {
            return std::unexpected(
                machineError(trf("die Registrierung kann nicht befüllt werden (Status {1})",
                                 {std::to_string(rc)}),
                             5));
        }
        if (!config.administrator) {
            reg.reset();
            reg = Registry::open(db, RegistryPolicy{false});
        }
    } catch (const std::exception& e) {
        return std::unexpected(
            machineError(trf("die Registrierung kann nicht geöffnet werden: {1}", {e.what()}), 5));
    }

    std::unique_ptr<Machine> machine(new Machine(prefix, config, std::move(reg)));

    // The skeleton, found case-insensitively so that completing a prefix whose
    // folders someone renamed to other case does not add a second spelling.
    std::vector<std::string> folders;
    for (const auto& f : kUserShellFolders)
        folders.push_back(profile + "\\" + std::string(f.relative));
    for (const auto& f : kExtraUserFolders) folders.push_back(profile + "\\" + std::string(f));
    for (const auto& f : kCommonShellFolders) {
        folders.push_back(std::string(kProfilesRoot) + "\\All Users\\" + std::string(f.relative));
    }
    for (const char* f :
         {"C:\\Programme", "C:\\WINDOWS\\system32", "C:\\WINDOWS\\Temp", "C:\\RECYCLER"}) {
        folders.emplace_back(f);
    }
    for (const auto& f : folders) {
        auto host = machine->resolve(f);
        if (!host)
            return std::unexpected(machineError(
                trf("{1} kann nicht untergebracht werden: {2}", {f, host.error().message}), 5));
        fs::create_directories(*host, ec);
        if (ec)
            return std::unexpected(
                machineError(trf("{1} kann nicht erstellt werden: {2}", {f, systemReason(ec)}), 5));
    }
    return machine;
}

std::expected<std::unique_ptr<Machine>, Error> Machine::openOrCreate(const fs::path& prefix) {
    if (pathExists(prefix / "machine.ini") && pathExists(prefix / "registry.db"))
        return open(prefix);
    return create(prefix);
}

}  // namespace kx::platform
