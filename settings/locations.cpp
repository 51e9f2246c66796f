#include "settings/locations.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <exception>
#include <memory>
#include <new>

#include "core/shared_state.hpp"
#include "fsys/dir_scanner.hpp"
#include "platform/files/files.hpp"
#include "platform/machine/drives.hpp"
#include "platform/machine/machine.hpp"
#include "platform/machine/security.hpp"
#include "platform/machine/shell_folders.hpp"
#include "platform/runtime/text.hpp"
#include "settings/cregistry.hpp"
#include "settings/keys.hpp"
#include "settings/registry_access.hpp"

namespace kx::settings {
namespace {

namespace pf = kx::platform;
namespace sec = kx::platform::security;

constexpr std::string_view kOperaProgramDefault = "C:\\Programme\\Opera";
constexpr std::string_view kOperaCacheDefault = "C:\\Programme\\Opera\\Cache4";
constexpr std::string_view kFirefoxDefault = "C:\\Programme\\Mozilla Firefox\\firefox.exe";

// IsAdmin looks at this many groups of the token and no more.
constexpr std::size_t kExaminedGroups = 21;

std::string userText(std::string_view keyPath, std::string_view valueName) {
    std::string value;
    (void)queryRegistryString(pf::HKEY_CURRENT_USER, keyPath, valueName, value);
    return value;
}

// The text a fixed buffer would hold: everything before the first NUL.
std::string beforeNul(std::string text) {
    if (const auto nul = text.find('\0'); nul != std::string::npos)
        text.resize(nul);
    return text;
}

bool firefoxChosen() {
    return readBool(keys::BrowserIsMozillaFireFox, Reader::Engine);
}

// A regular file, or a link to one; folders, devices and dangling links are
// not settings files.
bool fileExists(std::string_view path) {
    auto& machine = pf::currentMachine();
    const auto entry = pf::files::info(machine, path);
    if (!entry)
        return false;
    if (entry->kind == pf::EntryKind::File)
        return true;
    return entry->kind == pf::EntryKind::Link && pf::files::size(machine, path).has_value();
}

bool folderExists(std::string_view path) {
    const auto entry = pf::files::info(pf::currentMachine(), path);
    return entry &&
           (entry->kind == pf::EntryKind::Folder || entry->kind == pf::EntryKind::FolderLink);
}

// Opera 7 wrote its settings in the system's code page; later versions in
// UTF-8, some with a byte-order mark. Either way the engine gets UTF-8, so a
// folder below "Jürgen" resolves.
std::string settingsFileText(std::string bytes) {
    if (bytes.starts_with("\xEF\xBB\xBF"))
        bytes.erase(0, 3);
    return pf::isValidUtf8(bytes) ? bytes : pf::fromCp1252(bytes);
}

// The lines of a text as a line-reading loop sees them: "\r\n", "\n" and a
// lone "\r" each end a line.
template <typename F>
bool forEachLine(std::string_view text, F&& onLine) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        auto end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos)
            end = text.size();
        if (onLine(text.substr(pos, end - pos)))
            return true;
        pos = end;
        if (pos < text.size() && text[pos] == '\r')
            ++pos;
        if (pos < text.size() && text[pos] == '\n')
            ++pos;
    }
    return false;
}

}  // namespace

std::string GetOperaExeDirectory() {
    constexpr std::string_view key = "Software\\Opera Software";
    std::string dir = userText(key, "Last Directory");
    if (dir.empty())
        dir = userText(key, "Last Directory2");
    if (dir.empty())
        dir = kOperaProgramDefault;
    return dir;
}

std::string GetOperaDirectory() {
    return VBGetSpecialFolder(kCsidlAppData) + "\\opera\\opera7";
}

std::string GetOperaIni() {
    const std::string base = GetOperaDirectory();
    for (const char* name : {"\\profile\\opera6.ini", "\\opera.ini", "\\OperaDef6.ini"}) {
        std::string candidate = base + name;
        if (fileExists(candidate))
            return candidate;
    }
    return {};
}

std::string GetOperaTempDirectory() {
    const std::string ini = GetOperaIni();
    if (ini.empty() || !fileExists(ini))
        return {};

    auto bytes = pf::files::readAll(pf::currentMachine(), ini);
    // A settings file that cannot be read ends the search with what was
    // found so far, which is nothing yet.
    if (!bytes)
        return {};
    const std::string text = settingsFileText(std::move(*bytes));

    std::string folder;
    forEachLine(text, [&](std::string_view raw) {
        const std::string line = pf::vbLCase(raw);
        if (line.find("cache directory4") == std::string::npos)
            return false;
        // Everything after the first "=": a folder name may itself hold one.
        const auto eq = line.find('=');
        folder = eq == std::string::npos ? std::string(kOperaCacheDefault) : line.substr(eq + 1);
        return true;
    });

    folder = std::string(pf::vbTrim(folder));
    if (!folder.empty() && !folderExists(folder)) {
        folder = kOperaCacheDefault;
        if (!folderExists(folder))
            folder.clear();
    }
    if (folder.empty()) {
        folder = VBGetSpecialFolder(kCsidlAppData) + "\\opera\\opera7\\profile\\cache4";
    }
    return folder;
}

std::string NetscapeGetInstallDirectory() {
    const std::string version = userText("Software\\Netscape\\Netscape", "CurrentVersion");
    if (version.empty())
        return {};
    return userText("Software\\Netscape\\Netscape\\" + version + "\\Main", "Install Directory");
}

std::string NetscapeGetExeDirectory() {
    std::string version = userText("Software\\Netscape\\Netscape", "CurrentVersion");
    if (version.empty())
        version = userText("Software\\Netscape\\Netscape 6", "CurrentVersion");
    if (version.empty())
        return {};
    std::string exe = userText("Software\\Netscape\\Netscape\\" + version + "\\Main", "PathToExe");
    if (exe.empty()) {
        exe = userText("Software\\Netscape\\Netscape 6\\" + version + "\\Main", "PathToExe");
    }
    return exe;
}

std::string MozGetInstallDirectory() {
    const std::string version = userText("Software\\mozilla.org\\Mozilla", "CurrentVersion");
    if (version.empty())
        return {};
    std::string dir =
        userText("Software\\mozilla.org\\Mozilla\\" + version + "\\Main", "Install Directory");
    if (firefoxChosen()) {
        const std::string firefox =
            userText("Software\\mozilla.org\\Mozilla Firefox", "CurrentVersion");
        if (!firefox.empty()) {
            dir = userText("Software\\mozilla.org\\Mozilla Firefox\\" + firefox + "\\Main",
                           "Install Directory");
        }
    }
    return dir;
}

std::string MozGetExeDirectory() {
    if (firefoxChosen()) {
        std::string version = userText("Software\\mozilla.org\\Mozilla Firefox", "CurrentVersion");
        if (version.empty()) {
            version = userText("Software\\mozilla\\Mozilla Firefox", "CurrentVersion");
        }
        if (version.empty())
            return std::string(kFirefoxDefault);
        std::string exe =
            userText("Software\\mozilla.org\\Mozilla Firefox\\" + version + "\\Main", "PathToExe");
        if (exe.empty()) {
            exe =
                userText("Software\\mozilla\\Mozilla Firefox\\" + version + "\\Main", "PathToExe");
        }
        return exe;
    }
    const std::string version = userText("Software\\mozilla.org\\Mozilla", "CurrentVersion");
    if (version.empty())
        return {};
    return userText("Software\\mozilla.org\\Mozilla\\" + version + "\\Main", "PathToExe");
}

void NetscapeAndMozillaGetProfileFilesMulti(platform::CollectionRef& colDirs) {
    // Whoever else holds the old collection sees it emptied; the caller's
    // variable gets a fresh one.
    if (colDirs)
        colDirs->items.clear();
    colDirs = std::make_shared<platform::Collection>();
    auto& found = colDirs->items;
    try {
        const std::string appData = GetSpecialfolder(kCsidlAppData);
        fsys::DirScanner scanner;
        // Each pass looks only at what it added itself: one scanner keeps
        // every earlier pass's files, and walking them again would list the
        // Mozilla profiles once per pass.
        const auto collect = [&](std::string_view below) {
            const std::int32_t first = scanner.UpperIndex() + 1;
            scanner.Scan(appData + std::string(below));
            for (std::int32_t i = first; i <= scanner.UpperIndex(); ++i) {
                std::string path = scanner.Item(i);
                if (pf::vbLCase(path).find("prefs.js") != std::string::npos) {
                    found.emplace_back(std::move(path));
                }
            }
        };
        collect("\\Mozilla\\Profiles");  // Netscape 6/7 and Mozilla
        if (firefoxChosen()) {
            collect("\\Phoenix\\Profiles");
            collect("\\Mozilla\\Firefox\\Profiles");
        }
    } catch (const std::exception&) {
        // The contract: an error ends the search with the list built so far.
    }
}

void MozAddFiles(platform::Collection& colFiles) {
    const std::string dir = MozGetInstallDirectory();
    for (const char* name : {"\\cookies.txt", "\\cookperm.txt", "\\history.dat"}) {
        colFiles.items.emplace_back(dir + name);
    }
}

std::string GetAOLPath() {
    CRegistry aol;
    aol.Company = "America Online";
    aol.ProductName = "America Online";
    std::string path;
    (void)aol.QueryMachineInformationString("CurrentVersion", "AppPath", path);
    return path;
}

std::string VBGetSpecialFolder(int csidl) {
    return beforeNul(pf::specialFolderPath(pf::currentMachine(), csidl));
}

std::string GetSpecialfolder(int csidl) noexcept {
    try {
        std::string path = VBGetSpecialFolder(csidl);
        if (!path.empty())
            return path;
    } catch (const std::exception&) {
        // Trapped by contract: the answer below leads nowhere.
    }
    return ":";
}

std::string GetRecentDirectory() {
    return VBGetSpecialFolder(kCsidlAppData) + "\\Microsoft\\Office\\Zuletzt verwendet\\";
}

std::string GetTempDir(bool addBackslash) {
    const std::string path = beforeNul(pf::tempPath(pf::currentMachine()));
    if (path.empty())
        return {};
    return addBackslash ? path : path.substr(0, path.size() - 1);
}

std::string GetWinDir() {
    return beforeNul(pf::windowsDirectory(pf::currentMachine()));
}

std::string GetSysDir() {
    return beforeNul(pf::systemDirectory(pf::currentMachine()));
}

bool IsAdmin() {
    sec::TokenHandle token;
    if (sec::OpenProcessToken(sec::GetCurrentProcess(), sec::TOKEN_QUERY, token.out()) != 1) {
        return false;
    }
    pf::DWORD size = 0;
    (void)sec::GetTokenInformation(token.get(), sec::TokenGroups, nullptr, 0, &size);
    if (size == 0)
        return false;
    // new[] gives memory aligned for any record, as the call requires.
    auto buffer = std::make_unique<std::byte[]>(size);
    pf::DWORD written = 0;
    if (sec::GetTokenInformation(token.get(), sec::TokenGroups, buffer.get(), size, &written) !=
        1) {
        return false;
    }

    // Copy the count and at most the first 21 entries, and never more than
    // the call actually wrote.
    constexpr std::size_t entriesOffset = offsetof(sec::TOKEN_GROUPS, Groups);
    if (written < entriesOffset || written > size)
        return false;
    const auto* groups = std::launder(reinterpret_cast<const sec::TOKEN_GROUPS*>(buffer.get()));
    const std::size_t available = (written - entriesOffset) / sizeof(sec::SID_AND_ATTRIBUTES);
    const std::size_t examined =
        std::min({static_cast<std::size_t>(groups->GroupCount), kExaminedGroups, available});
    std::array<sec::SID_AND_ATTRIBUTES, kExaminedGroups> table{};
    std::copy_n(groups->Groups, examined, table.begin());

    sec::PSID raw = nullptr;
    if (sec::AllocateAndInitializeSid(&sec::SECURITY_NT_AUTHORITY, 2,
                                      sec::SECURITY_BUILTIN_DOMAIN_RID,
                                      sec::DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &raw) != 1) {
        return false;
    }
    const sec::UniqueSid administrators(raw);
    if (sec::IsValidSid(administrators.get()) != 1)
        return false;
    for (std::size_t i = 0; i < examined; ++i) {
        if (sec::IsValidSid(table[i].Sid) == 1 &&
            sec::EqualSid(table[i].Sid, administrators.get()) == 1) {
            return true;
        }
    }
    return false;
}

std::string GetPrivatePath() {
    return IsAdmin() ? shared().KXAppPath : VBGetSpecialFolder(kCsidlPersonal);
}

std::vector<std::string> GetDriveLetters(std::uint32_t kind) {
    std::vector<std::string> letters{""};
    const pf::DWORD needed = pf::GetLogicalDriveStringsA(0, nullptr);
    if (needed == 0)
        return letters;
    std::string buffer(needed, '\0');
    const pf::DWORD length = pf::GetLogicalDriveStringsA(needed, buffer.data());
    // Zero, or a list that grew between the two calls: no roots to trust.
    if (length == 0 || length >= needed)
        return letters;
    buffer.resize(length);

    // Only the roots themselves: the empty piece behind the last NUL is no
    // root, and asking about "" would answer for the current drive.
    std::size_t pos = 0;
    while (pos < buffer.size()) {
        auto nul = buffer.find('\0', pos);
        if (nul == std::string::npos)
            nul = buffer.size();
        const std::string_view root(buffer.data() + pos, nul - pos);
        if (!root.empty() && (kind == 0 || pf::GetDriveTypeA(root) == kind)) {
            letters.emplace_back(1, root.front());
        }
        pos = nul + 1;
    }
    return letters;
}

std::int32_t GetDriveKind(std::string_view path) {
    const std::string root = std::string(path.substr(0, 2)) + "\\";
    switch (pf::GetDriveTypeA(root)) {
        case pf::DRIVE_REMOVABLE: {
            const std::string name = GetShellTypeName(root);
            if (name == "3,5-Diskette" || name == "3")
                return kDriveFloppy35;
            if (name == "5,25-Diskette" || name == "5")
                return kDriveFloppy525;
            return kDriveRemovable;
        }
        case pf::DRIVE_FIXED:
            return kDriveFixed;
        case pf::DRIVE_REMOTE:
            return kDriveRemote;
        case pf::DRIVE_CDROM:
            return kDriveCdRom;
        case pf::DRIVE_RAMDISK:
            return kDriveRamDisk;
        default:
            return kDriveUnknown;
    }
}

std::string GetShellTypeName(std::string_view path) {
    pf::SHFILEINFOA info;
    (void)pf::SHGetFileInfoA(path, 0, &info, sizeof(info), pf::SHGFI_TYPENAME);
    return std::string(info.szTypeName,
                       std::find(std::begin(info.szTypeName), std::end(info.szTypeName), '\0'));
}

}  // namespace kx::settings
