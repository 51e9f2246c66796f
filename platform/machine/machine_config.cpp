// The machine's record in machine.ini and its defaults.
#include <sys/stat.h>

#include <algorithm>

#include "platform/machine/machine_internals.hpp"

namespace kx::platform {
namespace fs = std::filesystem;

namespace detail {

Error machineError(std::string message, std::uint32_t code) {
    return Error{code, std::move(message)};
}

bool pathExists(const fs::path& p) {
    struct stat st {};
    return ::lstat(p.c_str(), &st) == 0;
}

}  // namespace detail

namespace {
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
        if (winEqualNoCase(n, vbTrim(name)))
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
        const auto item = vbTrim(text.substr(pos, comma - pos));
        if (!item.empty())
            groups.emplace_back(item);
        pos = comma + 1;
    }
    return groups;
}

}  // namespace

namespace detail {

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
        c.administrator =
            *admin == "1" || winEqualNoCase(*admin, "true") || winEqualNoCase(*admin, "yes");
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
    for (auto& d : c.drives) {
        // Only absolute folders, as linkFolder's links.
        const fs::path folder = ini.get("drive folders", std::string(1, d.letter), "");
        if (folder.is_absolute())
            d.hostFolder = folder;
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
        if (!d.hostFolder.empty())
            ini.set("drive folders", std::string(1, d.letter), d.hostFolder.string());
    }
    for (const auto& [name, url] : c.endpoints) ini.set("endpoints", name, url);
    for (const auto& link : c.linkedFolders)
        ini.set("links", link.windowsPath, link.hostFolder.string());
}

std::expected<void, Error> validateConfig(const MachineConfig& c) {
    // The user name becomes a folder name below the profiles root; "..\x" or
    // "a\b" would put the profile (and everything the cleaner later empties
    // in it) somewhere else entirely.
    const auto& name = c.userName;
    if (name.empty() || name == "." || name == ".." || !validComponent(name) ||
        name.find_first_of("\\/") != std::string::npos) {
        return std::unexpected(machineError(trf("ungültiger Benutzername \"{1}\"", {name}), 123));
    }
    for (const auto& d : c.drives) {
        if (d.letter < 'A' || d.letter > 'Z') {
            return std::unexpected(machineError(
                trf("ungültiger Laufwerksbuchstabe {1}", {std::string(1, d.letter)}), 123));
        }
        if (!d.hostFolder.empty() && !d.hostFolder.is_absolute()) {
            return std::unexpected(machineError(
                trf("Laufwerk {1}: zeigt auf keinen absoluten Ordner", {std::string(1, d.letter)}),
                123));
        }
    }
    return {};
}

}  // namespace detail

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
        Drive{'Z', DriveType::Remote, "Netzlaufwerk", "/"},
    };
    c.endpoints["maker"] = "http://127.0.0.1:8080";
    return c;
}

}  // namespace kx::platform
