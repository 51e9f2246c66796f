#include "platform/machine/machine.hpp"

#include "platform/files/folder_memo.hpp"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <system_error>

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/files/ini.hpp"
#include "platform/runtime/text.hpp"

namespace kx::platform {
namespace fs = std::filesystem;

namespace {

thread_local Machine* tCurrentMachine = nullptr;

constexpr std::string_view kProfilesRoot = "C:\\Dokumente und Einstellungen";

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

MachineError error(std::string message, std::uint32_t code = 3) {
    return MachineError{std::move(message), code};
}

// ---- machine.ini ---------------------------------------------------------

constexpr std::pair<DriveType, std::string_view> kDriveKinds[] = {
    {DriveType::Unknown, "unknown"},     {DriveType::NoRootDir, "noroot"},
    {DriveType::Removable, "removable"}, {DriveType::Fixed, "fixed"},
    {DriveType::Remote, "remote"},       {DriveType::CdRom, "cdrom"},
    {DriveType::RamDisk, "ramdisk"},
};

std::string_view driveKindName(DriveType type) {
    for (const auto& [t, name] : kDriveKinds) {
        if (t == type)
            return name;
    }
    return "unknown";
}

DriveType driveKindFromName(std::string_view name) {
    for (const auto& [t, n] : kDriveKinds) {
        if (iequals(n, trim(name)))
            return t;
    }
    return DriveType::Unknown;
}

std::uint32_t parseNumber(const std::optional<std::string>& text, std::uint32_t fallback) {
    if (!text || text->empty())
        return fallback;
    char* end = nullptr;
    errno = 0;
    const unsigned long v = std::strtoul(text->c_str(), &end, 10);
    if (errno != 0 || end == text->c_str() || *end != '\0' || v > 0xFFFFFFFFul)
        return fallback;
    return static_cast<std::uint32_t>(v);
}

std::string joinGroups(const std::vector<std::string>& groups) {
    std::string out;
    for (const auto& g : groups) {
        if (!out.empty())
            out.push_back(',');
        out.append(g);
    }
    return out;
}

std::vector<std::string> splitGroups(std::string_view text) {
    std::vector<std::string> groups;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        auto comma = text.find(',', pos);
        if (comma == std::string_view::npos)
            comma = text.size();
        const auto item = trim(text.substr(pos, comma - pos));
        if (!item.empty())
            groups.emplace_back(item);
        pos = comma + 1;
    }
    return groups;
}

// Reads the record, taking what the file lacks from `fallback`.
MachineConfig configFromIni(const IniFile& ini, const MachineConfig& fallback) {
    MachineConfig c = fallback;
    c.version.major = parseNumber(ini.get("version", "major"), c.version.major);
    c.version.minor = parseNumber(ini.get("version", "minor"), c.version.minor);
    c.version.build = parseNumber(ini.get("version", "build"), c.version.build);
    c.version.platform = parseNumber(ini.get("version", "platform"), c.version.platform);
    c.version.servicePack = ini.get("version", "servicepack", c.version.servicePack);
    c.userName = ini.get("user", "name", c.userName);
    c.computerName = ini.get("user", "computer", c.computerName);
    if (auto admin = ini.get("user", "administrator")) {
        c.administrator = *admin == "1" || iequals(*admin, "true") || iequals(*admin, "yes");
    }
    if (auto groups = ini.get("user", "groups")) {
        c.tokenGroups = splitGroups(*groups);
    } else if (c.tokenGroups.empty()) {
        c.tokenGroups = MachineConfig::defaultTokenGroups(c.administrator);
    }
    if (ini.hasSection("drives")) {
        c.drives.clear();
        for (const auto& key : ini.keys("drives")) {
            if (key.size() != 1 || !std::isalpha(static_cast<unsigned char>(key[0])))
                continue;
            const std::string value = ini.get("drives", key, "");
            const auto comma = value.find(',');
            Drive d;
            d.letter = static_cast<char>(std::toupper(static_cast<unsigned char>(key[0])));
            d.type = driveKindFromName(std::string_view(value).substr(0, comma));
            if (comma != std::string::npos)
                d.shellTypeName = value.substr(comma + 1);
            c.drives.push_back(std::move(d));
        }
        std::sort(c.drives.begin(), c.drives.end(),
                  [](const Drive& a, const Drive& b) { return a.letter < b.letter; });
    }
    if (ini.hasSection("endpoints")) {
        c.endpoints.clear();
        for (const auto& key : ini.keys("endpoints"))
            c.endpoints[key] = ini.get("endpoints", key, "");
    }
    if (ini.hasSection("links")) {
        c.linkedFolders.clear();
        for (const auto& key : ini.keys("links")) {
            // Only what linkFolder writes: a relative host folder would
            // depend on where a program happens to run.
            const fs::path folder = ini.get("links", key, "");
            if (folder.is_absolute())
                c.linkedFolders.push_back({key, folder});
        }
    }
    return c;
}

void configToIni(const MachineConfig& c, IniFile& ini) {
    ini.set("version", "major", std::to_string(c.version.major));
    ini.set("version", "minor", std::to_string(c.version.minor));
    ini.set("version", "build", std::to_string(c.version.build));
    ini.set("version", "platform", std::to_string(c.version.platform));
    ini.set("version", "servicepack", c.version.servicePack);
    ini.set("user", "name", c.userName);
    ini.set("user", "computer", c.computerName);
    ini.set("user", "administrator", c.administrator ? "1" : "0");
    ini.set("user", "groups", joinGroups(c.tokenGroups));
    for (const auto& d : c.drives) {
        std::string value(driveKindName(d.type));
        if (!d.shellTypeName.empty())
            value += "," + d.shellTypeName;
        ini.set("drives", std::string(1, d.letter), value);
    }
    for (const auto& [name, url] : c.endpoints) ini.set("endpoints", name, url);
    for (const auto& link : c.linkedFolders)
        ini.set("links", link.windowsPath, link.hostFolder.string());
}

// A name Windows could hold as one path component.
bool validComponent(std::string_view name) {
    for (const char ch : name) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || std::string_view("<>:\"|?*").find(ch) != std::string_view::npos) {
            return false;
        }
    }
    return true;
}

bool isSeparator(char c) {
    return c == '\\' || c == '/';
}

// The components of a path after its drive letter, as Windows normalises it
// before it looks at the disk: "." skipped, ".." climbing one component.
std::expected<std::vector<std::string_view>, MachineError> lexicalParts(std::string_view path) {
    std::vector<std::string_view> parts;
    std::size_t pos = 2;
    while (pos < path.size()) {
        std::size_t end = pos;
        while (end < path.size() && !isSeparator(path[end])) ++end;
        const std::string_view part = path.substr(pos, end - pos);
        pos = end + 1;
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            if (parts.empty()) {
                return std::unexpected(error("path climbs above the root of its drive: \"" +
                                             std::string(path) + "\""));
            }
            parts.pop_back();
            continue;
        }
        if (!validComponent(part)) {
            return std::unexpected(
                error("invalid name in path: \"" + std::string(path) + "\"", 123));
        }
        parts.push_back(part);
    }
    return parts;
}

// The components of a linked folder's Windows path, without its drive.
std::vector<std::string_view> linkParts(const LinkedFolder& link) {
    auto parts = lexicalParts(link.windowsPath);
    return parts ? std::move(*parts) : std::vector<std::string_view>{};
}

std::size_t linkDepth(const LinkedFolder& link) {
    return linkParts(link).size();
}

bool sameDrive(const LinkedFolder& link, char letter) {
    return link.windowsPath.size() >= 2 && link.windowsPath[1] == ':' &&
           std::toupper(static_cast<unsigned char>(link.windowsPath[0])) ==
               std::toupper(static_cast<unsigned char>(letter));
}

// True when `prefix` is the start of `parts`, compared as Windows compares names.
template <typename A, typename B>
bool startsWith(const std::vector<A>& parts, const std::vector<B>& prefix) {
    if (prefix.size() > parts.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (!iequals(parts[i], prefix[i]))
            return false;
    }
    return true;
}

// The deepest linked folder a path lies in (or is), or null.
const LinkedFolder* linkOf(const MachineConfig& c, char letter,
                           const std::vector<std::string_view>& parts) {
    const LinkedFolder* best = nullptr;
    std::size_t bestDepth = 0;
    for (const auto& link : c.linkedFolders) {
        const auto own = linkParts(link);
        if (own.empty() || !sameDrive(link, letter) || !startsWith(parts, own))
            continue;
        if (best == nullptr || own.size() > bestDepth) {
            best = &link;
            bestDepth = own.size();
        }
    }
    return best;
}

std::expected<void, MachineError> validateConfig(const MachineConfig& c) {
    // The user name becomes a folder name below the profiles root; "..\x" or
    // "a\b" would put the profile (and everything the cleaner later empties
    // in it) somewhere else entirely.
    const auto& name = c.userName;
    if (name.empty() || name == "." || name == ".." || !validComponent(name) ||
        name.find_first_of("\\/") != std::string::npos) {
        return std::unexpected(error("invalid user name \"" + name + "\"", 123));
    }
    for (const auto& d : c.drives) {
        if (d.letter < 'A' || d.letter > 'Z') {
            return std::unexpected(error(std::string("invalid drive letter ") + d.letter, 123));
        }
    }
    return {};
}

bool pathExists(const fs::path& p) {
    struct stat st {};
    return ::lstat(p.c_str(), &st) == 0;
}

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

}  // namespace

// ---- config ----------------------------------------------------------------

bool driveHasFolder(const Drive& drive) {
    return drive.type != DriveType::Removable && drive.type != DriveType::Unknown &&
           drive.type != DriveType::NoRootDir;
}

std::vector<std::string> MachineConfig::defaultTokenGroups(bool administrator) {
    std::vector<std::string> groups{"S-1-1-0"};
    if (administrator)
        groups.emplace_back("S-1-5-32-544");
    groups.insert(groups.end(), {"S-1-5-32-545", "S-1-5-4", "S-1-5-11"});
    return groups;
}

MachineConfig MachineConfig::defaults() {
    MachineConfig c;
    c.administrator = true;
    c.tokenGroups = defaultTokenGroups(true);
    c.drives = {
        Drive{'A', DriveType::Removable, "3,5-Diskette"},
        Drive{'C', DriveType::Fixed, "Lokaler Datenträger"},
        Drive{'D', DriveType::CdRom, "CD-Laufwerk"},
    };
    c.endpoints["maker"] = "http://127.0.0.1:8080";
    return c;
}

fs::path ResolvedPath::hostPath() const {
    // Joined as text and parsed once: appending part by part parses the
    // whole path again each time.
    std::string p = driveRoot.native();
    for (const auto& c : components) {
        if (p.empty() || p.back() != '/')
            p += '/';
        p += c;
    }
    return fs::path(std::move(p));
}

// ---- Machine ---------------------------------------------------------------

Machine::Machine(fs::path prefix, MachineConfig config, std::unique_ptr<Registry> registry)
    : prefix_(std::move(prefix)), config_(std::move(config)), registry_(std::move(registry)) {}

Machine::~Machine() {
    // A scope must not outlive its machine, but a host that forgets to unbind
    // should not leave a dangling pointer behind for later calls either.
    if (tCurrentMachine == this)
        tCurrentMachine = nullptr;
}

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

std::expected<std::unique_ptr<Machine>, MachineError> Machine::open(const fs::path& prefix) {
    auto ini = IniFile::load(prefix / "machine.ini");
    if (!ini) {
        return std::unexpected(
            error("not a machine prefix (no usable machine.ini): " + ini.error().message, 2));
    }
    if (!pathExists(prefix / "registry.db")) {
        return std::unexpected(
            error("not a machine prefix (no registry.db): " + prefix.string(), 2));
    }
    MachineConfig config = configFromIni(*ini, MachineConfig::defaults());
    if (auto ok = validateConfig(config); !ok)
        return std::unexpected(ok.error());
    std::unique_ptr<Registry> reg;
    try {
        reg = Registry::open(prefix / "registry.db", RegistryPolicy{config.administrator});
    } catch (const std::exception& e) {
        return std::unexpected(error(std::string("cannot open the registry: ") + e.what(), 5));
    }
    return std::unique_ptr<Machine>(new Machine(prefix, std::move(config), std::move(reg)));
}

std::expected<std::unique_ptr<Machine>, MachineError> Machine::create(const fs::path& prefix,
                                                                      const MachineConfig& given) {
    if (auto ok = validateConfig(given); !ok)
        return std::unexpected(ok.error());
    std::error_code ec;
    fs::create_directories(prefix, ec);
    if (ec)
        return std::unexpected(error("cannot create " + prefix.string() + ": " + ec.message(), 5));

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
            return std::unexpected(error(loaded.error().message, 5));
        ini = std::move(*loaded);
        config = configFromIni(ini, config);
        if (auto ok = validateConfig(config); !ok)
            return std::unexpected(ok.error());
    }
    const std::string before = ini.text();
    configToIni(config, ini);
    if (ini.text() != before || !pathExists(iniPath)) {
        if (auto saved = ini.save(iniPath); !saved) {
            return std::unexpected(error(saved.error().message, 5));
        }
    }

    // Drive folders and their dosdevices links.
    fs::create_directories(prefix / "dosdevices", ec);
    if (ec)
        return std::unexpected(error("cannot create dosdevices: " + ec.message(), 5));
    for (const auto& d : config.drives) {
        if (!driveHasFolder(d))
            continue;
        const char l = static_cast<char>(std::tolower(static_cast<unsigned char>(d.letter)));
        const std::string folder = std::string("drive_") + l;
        fs::create_directories(prefix / folder, ec);
        if (ec)
            return std::unexpected(error("cannot create " + folder + ": " + ec.message(), 5));
        const fs::path link = prefix / "dosdevices" / (std::string(1, l) + ":");
        if (!pathExists(link)) {
            // Relative, so the prefix can be moved as a whole.
            if (::symlink(("../" + folder).c_str(), link.c_str()) != 0 && errno != EEXIST) {
                return std::unexpected(
                    error("cannot link " + link.string() + ": " + std::strerror(errno), 5));
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
                error("cannot seed the registry (status " + std::to_string(rc) + ")", 5));
        }
        if (!config.administrator) {
            reg.reset();
            reg = Registry::open(db, RegistryPolicy{false});
        }
    } catch (const std::exception& e) {
        return std::unexpected(error(std::string("cannot open the registry: ") + e.what(), 5));
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
            return std::unexpected(error("cannot place " + f + ": " + host.error().message, 5));
        fs::create_directories(*host, ec);
        if (ec)
            return std::unexpected(error("cannot create " + f + ": " + ec.message(), 5));
    }
    return machine;
}

std::expected<std::unique_ptr<Machine>, MachineError> Machine::openOrCreate(
    const fs::path& prefix) {
    if (pathExists(prefix / "machine.ini") && pathExists(prefix / "registry.db"))
        return open(prefix);
    return create(prefix);
}

const Drive* Machine::drive(char letter) const {
    const char up = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    for (const auto& d : config_.drives) {
        if (d.letter == up)
            return &d;
    }
    return nullptr;
}

namespace {

// Calls `take` with the name of every entry of `folder`.
template <typename F>
void forEachName(const fs::path& folder, F&& take) {
    if (DIR* dir = ::opendir(folder.c_str()); dir != nullptr) {
        while (const dirent* e = ::readdir(dir)) {
            const std::string_view candidate = e->d_name;
            if (candidate != "." && candidate != "..")
                take(candidate);
        }
        ::closedir(dir);
    }
}

bool existsExactly(const std::string& folder, std::string_view part) {
    struct stat st {};
    std::string path = folder;
    path += '/';
    path += part;
    return ::lstat(path.c_str(), &st) == 0;
}

// The name a component has on disk in `folder`: the exact spelling when it
// exists, else the first case-insensitive match in byte order (so the
// answer is stable); nothing when there is neither.
std::optional<std::string> onDiskName(const fs::path& folder, std::string_view part) {
    if (existsExactly(folder.native(), part))
        return std::string(part);
    const std::string want = lower(part);
    std::optional<std::string> best;
    forEachName(folder, [&](std::string_view candidate) {
        if (lower(candidate) == want && (!best || candidate < *best))
            best = std::string(candidate);
    });
    return best;
}

// The same within a memo scope, with the folder's names read once.
std::string memoName(FolderMemo& memo, std::string_view part) {
    // Looked at from the folder's descriptor when the last walk opened this
    // folder: the kernel need not walk the whole path again.
    bool exact = false;
    if (memo.walked.valid() && memo.walkedKey == memo.parentHost) {
        struct stat st {};
        exact =
            ::fstatat(memo.walked.get(), std::string(part).c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    } else {
        exact = existsExactly(memo.parentHost, part);
    }
    if (exact)
        return std::string(part);
    if (!memo.listed) {
        forEachName(memo.parentHost, [&](std::string_view candidate) {
            auto [it, added] = memo.namesByLowerCase.try_emplace(lower(candidate), candidate);
            if (!added && candidate < it->second)
                it->second = std::string(candidate);
        });
        memo.listed = true;
    }
    const auto it = memo.namesByLowerCase.find(lower(part));
    return it != memo.namesByLowerCase.end() ? it->second : std::string(part);
}

thread_local FolderMemo* tFolderMemo = nullptr;

}  // namespace

FolderMemo* activeFolderMemo() {
    return tFolderMemo;
}

FolderMemoScope::FolderMemoScope() : owner_(tFolderMemo == nullptr) {
    if (owner_)
        tFolderMemo = new FolderMemo();
}

FolderMemoScope::~FolderMemoScope() {
    if (owner_) {
        delete tFolderMemo;
        tFolderMemo = nullptr;
    }
}

std::expected<ResolvedPath, MachineError> Machine::resolveParts(std::string_view path) const {
    if (path.size() >= 2 && isSeparator(path[0]) && isSeparator(path[1])) {
        return std::unexpected(
            error("UNC and device paths are not supported: " + std::string(path)));
    }
    if (path.size() < 2 || path[1] != ':' || !std::isalpha(static_cast<unsigned char>(path[0]))) {
        return std::unexpected(
            error("not a path with a drive letter: \"" + std::string(path) + "\""));
    }
    const Drive* d = drive(path[0]);
    if (d == nullptr) {
        return std::unexpected(error(std::string("unknown drive ") + path[0] + ":"));
    }
    if (!driveHasFolder(*d)) {
        return std::unexpected(error(std::string("drive ") + d->letter + ": is not ready", 21));
    }
    ResolvedPath out;
    const char l = static_cast<char>(std::tolower(static_cast<unsigned char>(d->letter)));
    out.driveRoot = prefix_ / "dosdevices" / (std::string(1, l) + ":");

    auto lexical = lexicalParts(path);
    if (!lexical)
        return std::unexpected(lexical.error());
    std::vector<std::string_view> parts = std::move(*lexical);

    // A linked folder on the way becomes the root the rest is found below.
    const LinkedFolder* link = linkOf(config_, d->letter, parts);
    if (link != nullptr) {
        out.driveRoot = link->hostFolder;
        parts.erase(parts.begin(), parts.begin() + static_cast<std::ptrdiff_t>(linkDepth(*link)));
    }

    // Within a memo scope a path whose folder was the last one resolved
    // only needs its last component found.
    FolderMemo* memo = parts.empty() ? nullptr : activeFolderMemo();
    std::string memoKey;
    if (memo != nullptr) {
        memoKey = out.driveRoot.string();
        for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
            memoKey += '\\';
            memoKey += parts[i];
        }
        if (memoKey == memo->resolvedKey) {
            out = memo->parent;
            out.components.push_back(memo->parentMissing ? std::string(parts.back())
                                                         : memoName(*memo, parts.back()));
            return out;
        }
    }

    struct stat st {};
    if (link != nullptr) {
        if (::stat(out.driveRoot.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            return std::unexpected(error("the linked folder " + link->hostFolder.string() + " of " +
                                         link->windowsPath + " is missing"));
        }
    } else if (::stat(out.driveRoot.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        return std::unexpected(
            error(std::string("drive ") + d->letter + ": has no folder in the prefix"));
    }

    // Then each component on disk: the exact spelling if it exists, else the
    // first case-insensitive match (in byte order, so the answer is stable).
    fs::path current = out.driveRoot;
    bool missing = false;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (memo != nullptr && i + 1 == parts.size()) {
            memo->resolvedKey = memoKey;
            memo->parent = out;
            memo->parentHost = out.hostPath().native();
            memo->parentMissing = missing;
            memo->listed = false;
            memo->namesByLowerCase.clear();
        }
        std::string name(parts[i]);
        if (!missing) {
            if (auto found = onDiskName(current, parts[i]))
                name = std::move(*found);
            else
                missing = true;  // the rest keeps the given spelling
        }
        current /= name;
        out.components.push_back(std::move(name));
    }
    return out;
}

std::expected<fs::path, MachineError> Machine::resolve(std::string_view windowsPath) const {
    auto parts = resolveParts(windowsPath);
    if (!parts)
        return std::unexpected(parts.error());
    return parts->hostPath();
}

std::expected<void, MachineError> Machine::linkFolder(std::string_view windowsFolder,
                                                      const fs::path& hostFolder) {
    std::error_code ec;
    if (!hostFolder.is_absolute())
        return std::unexpected(error("not an absolute path: " + hostFolder.string()));
    const fs::path target = fs::canonical(hostFolder, ec);
    if (ec || !fs::is_directory(target, ec))
        return std::unexpected(error("not a folder: " + hostFolder.string()));
    // machine.ini keeps the link as "path=folder".
    if (windowsFolder.find('=') != std::string_view::npos)
        return std::unexpected(error("cannot link a path holding \"=\"", 123));
    if (auto whole = resolveParts(windowsFolder); !whole)
        return std::unexpected(whole.error());
    auto lexical = lexicalParts(windowsFolder);
    if (!lexical)
        return std::unexpected(lexical.error());
    const auto& parts = *lexical;
    if (parts.empty())
        return std::unexpected(error("the root of a drive cannot be linked", 5));

    // The place's parent must be a folder of the prefix itself: made where
    // missing, and never reached through a link.
    const char letter =
        static_cast<char>(std::toupper(static_cast<unsigned char>(windowsFolder[0])));
    std::string parent = std::string(1, letter) + ":";
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) parent += "\\" + std::string(parts[i]);
    auto above = resolveParts(parent);
    if (!above)
        return std::unexpected(above.error());
    const fs::path driveRoot =
        prefix_ / "dosdevices" / (std::string(1, static_cast<char>(std::tolower(letter))) + ":");
    if (above->driveRoot != driveRoot)
        return std::unexpected(error(std::string(windowsFolder) + " lies in a linked folder", 5));
    fs::path folder = driveRoot;
    std::string windowsPath = std::string(1, letter) + ":";
    struct stat st {};
    for (const auto& name : above->components) {
        folder /= name;
        windowsPath += "\\" + name;
        if (::lstat(folder.c_str(), &st) != 0) {
            if (::mkdir(folder.c_str(), 0755) != 0)
                return std::unexpected(error("cannot create " + folder.string(), 5));
        } else if (!S_ISDIR(st.st_mode)) {
            return std::unexpected(
                error(windowsPath + " is no folder of the machine (a link or a file)", 5));
        }
    }

    // The place itself: its spelling on disk when something stands there.
    std::string name(parts.back());
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        const auto candidate = entry.path().filename().string();
        if (iequals(candidate, name)) {
            name = candidate;
            break;
        }
    }
    const fs::path place = folder / name;
    windowsPath += "\\" + name;
    if (::lstat(place.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode) && !fs::is_empty(place, ec))
            return std::unexpected(error(windowsPath + " is a folder with entries", 5));
        if (!S_ISDIR(st.st_mode) && !S_ISLNK(st.st_mode))
            return std::unexpected(error(windowsPath + " is a file", 5));
        if (::remove(place.c_str()) != 0)
            return std::unexpected(error("cannot replace " + place.string(), 5));
    }
    if (::symlink(target.c_str(), place.c_str()) != 0)
        return std::unexpected(
            error("cannot link " + place.string() + ": " + std::strerror(errno), 5));

    MachineConfig updated = config_;
    std::erase_if(updated.linkedFolders,
                  [&](const LinkedFolder& l) { return iequals(l.windowsPath, windowsPath); });
    updated.linkedFolders.push_back({windowsPath, target});
    const fs::path iniPath = prefix_ / "machine.ini";
    auto ini = IniFile::load(iniPath);
    if (ini) {
        configToIni(updated, *ini);
        if (auto saved = ini->save(iniPath); saved) {
            config_ = std::move(updated);
            return {};
        }
    }
    ::unlink(place.c_str());
    return std::unexpected(error("cannot record the link in " + iniPath.string(), 5));
}

std::vector<Machine::LinkBelow> Machine::linkedFoldersBelow(std::string_view windowsFolder) const {
    std::vector<LinkBelow> below;
    if (windowsFolder.size() < 2 || windowsFolder[1] != ':')
        return below;
    const auto parts = lexicalParts(windowsFolder);
    if (!parts)
        return below;
    for (const auto& link : config_.linkedFolders) {
        const auto own = linkParts(link);
        if (!sameDrive(link, windowsFolder[0]) || own.size() <= parts->size() ||
            !startsWith(own, *parts))
            continue;
        LinkBelow one;
        one.relative.assign(own.begin() + static_cast<std::ptrdiff_t>(parts->size()), own.end());
        one.hostFolder = link.hostFolder;
        below.push_back(std::move(one));
    }
    return below;
}

std::string Machine::userProfile() const {
    return std::string(kProfilesRoot) + "\\" + config_.userName;
}

std::string Machine::endpoint(std::string_view name) const {
    for (const auto& [key, url] : config_.endpoints) {
        if (iequals(key, name))
            return url;
    }
    return {};
}

// ---- the thread's machine ---------------------------------------------------

Machine& currentMachine() {
    if (tCurrentMachine == nullptr) {
        throw std::logic_error("no machine is bound to this thread (use a MachineScope)");
    }
    return *tCurrentMachine;
}

bool hasCurrentMachine() {
    return tCurrentMachine != nullptr;
}

MachineScope::MachineScope(Machine& machine) : previous_(tCurrentMachine) {
    tCurrentMachine = &machine;
}

MachineScope::~MachineScope() {
    tCurrentMachine = previous_;
}

}  // namespace kx::platform
