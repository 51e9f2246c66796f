#include "platform/machine/shell_folders.hpp"

#include <algorithm>
#include <optional>
#include <vector>

#include "platform/runtime/text.hpp"

namespace kx::platform {
namespace {

constexpr std::string_view kWindows = "C:\\WINDOWS";
constexpr std::string_view kUserShellFolders =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
constexpr std::string_view kShellFolders =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

struct StringValue {
    std::string text;
    DWORD type = REG_SZ;
};

// A REG_SZ or REG_EXPAND_SZ value without its terminating NULs; nullopt when
// the key or value is missing or holds another type.
std::optional<StringValue> readString(Registry& reg, HKEY root, std::string_view key,
                                      std::string_view name) {
    HKEY h = 0;
    if (reg.RegOpenKeyExA(root, key, 0, KEY_READ, &h) != ERROR_SUCCESS)
        return std::nullopt;
    std::optional<StringValue> out;
    DWORD type = 0;
    DWORD size = 0;
    if (reg.RegQueryValueExA(h, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ)) {
        std::vector<std::uint8_t> data(size);
        // The value may grow between the two calls (another process): retry once.
        LONG rc = reg.RegQueryValueExA(h, name, nullptr, &type, data.data(), &size);
        if (rc == ERROR_MORE_DATA) {
            data.resize(size);
            rc = reg.RegQueryValueExA(h, name, nullptr, &type, data.data(), &size);
        }
        if (rc == ERROR_SUCCESS) {
            std::string text(reinterpret_cast<const char*>(data.data()),
                             std::min<std::size_t>(size, data.size()));
            while (!text.empty() && text.back() == '\0') text.pop_back();
            out = StringValue{std::move(text), type};
        }
    }
    reg.RegCloseKey(h);
    return out;
}

std::string withoutTrailingSlash(std::string path) {
    while (path.size() > 3 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
    return path;
}

// The folder a Shell Folders value names: the literal path under
// "Shell Folders", else the "User Shell Folders" template expanded.
std::string shellFolder(Machine& machine, HKEY root, std::string_view valueName) {
    auto& reg = machine.registry();
    if (auto v = readString(reg, root, kShellFolders, valueName); v && !v->text.empty()) {
        return withoutTrailingSlash(
            v->type == REG_EXPAND_SZ ? expandEnvironmentStrings(machine, v->text) : v->text);
    }
    if (auto v = readString(reg, root, kUserShellFolders, valueName); v && !v->text.empty()) {
        return withoutTrailingSlash(expandEnvironmentStrings(machine, v->text));
    }
    return {};
}

std::string programFiles(Machine& machine) {
    if (auto v = readString(machine.registry(), HKEY_LOCAL_MACHINE,
                            "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir");
        v && !v->text.empty()) {
        return withoutTrailingSlash(v->text);
    }
    return "C:\\Programme";
}

std::string allUsersProfile(Machine& machine) {
    std::string profile = machine.userProfile();
    const auto slash = profile.rfind('\\');
    return profile.substr(0, slash) + "\\All Users";
}

}  // namespace

std::string expandEnvironmentStrings(Machine& machine, std::string_view text) {
    std::string out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const auto open = text.find('%', pos);
        if (open == std::string_view::npos)
            break;
        const auto close = text.find('%', open + 1);
        if (close == std::string_view::npos)
            break;
        out.append(text.substr(pos, open - pos));
        const std::string name = vbLCase(text.substr(open + 1, close - open - 1));
        std::optional<std::string> value;
        if (name == "userprofile")
            value = machine.userProfile();
        else if (name == "allusersprofile")
            value = allUsersProfile(machine);
        else if (name == "systemroot" || name == "windir")
            value = windowsDirectory(machine);
        else if (name == "systemdrive")
            value = "C:";
        else if (name == "programfiles")
            value = programFiles(machine);
        else if (name == "username")
            value = machine.config().userName;
        else if (name == "computername")
            value = machine.config().computerName;
        if (value) {
            out.append(*value);
            pos = close + 1;
        } else {
            // Unknown: keep the "%name" and look again from the closing "%",
            // which may open the next variable ("50%%USERPROFILE%").
            out.append(text.substr(open, close - open));
            pos = close;
        }
    }
    out.append(text.substr(pos));
    return out;
}

std::string windowsDirectory(Machine&) {
    return std::string(kWindows);
}

std::string systemDirectory(Machine& machine) {
    return windowsDirectory(machine) + "\\system32";
}

std::string specialFolderPath(Machine& machine, int csidl) {
    switch (csidl & ~CSIDL_FLAG_MASK) {
        case CSIDL_DESKTOP:
        case CSIDL_DESKTOPDIRECTORY:
            return shellFolder(machine, HKEY_CURRENT_USER, "Desktop");
        case CSIDL_PROGRAMS:
            return shellFolder(machine, HKEY_CURRENT_USER, "Programs");
        case CSIDL_PERSONAL:
            return shellFolder(machine, HKEY_CURRENT_USER, "Personal");
        case CSIDL_FAVORITES:
            return shellFolder(machine, HKEY_CURRENT_USER, "Favorites");
        case CSIDL_STARTUP:
            return shellFolder(machine, HKEY_CURRENT_USER, "Startup");
        case CSIDL_RECENT:
            return shellFolder(machine, HKEY_CURRENT_USER, "Recent");
        case CSIDL_SENDTO:
            return shellFolder(machine, HKEY_CURRENT_USER, "SendTo");
        case CSIDL_STARTMENU:
            return shellFolder(machine, HKEY_CURRENT_USER, "Start Menu");
        case CSIDL_NETHOOD:
            return shellFolder(machine, HKEY_CURRENT_USER, "NetHood");
        case CSIDL_TEMPLATES:
            return shellFolder(machine, HKEY_CURRENT_USER, "Templates");
        case CSIDL_APPDATA:
            return shellFolder(machine, HKEY_CURRENT_USER, "AppData");
        case CSIDL_PRINTHOOD:
            return shellFolder(machine, HKEY_CURRENT_USER, "PrintHood");
        case CSIDL_LOCAL_APPDATA:
            return shellFolder(machine, HKEY_CURRENT_USER, "Local AppData");
        case CSIDL_INTERNET_CACHE:
            return shellFolder(machine, HKEY_CURRENT_USER, "Cache");
        case CSIDL_COOKIES:
            return shellFolder(machine, HKEY_CURRENT_USER, "Cookies");
        case CSIDL_HISTORY:
            return shellFolder(machine, HKEY_CURRENT_USER, "History");
        case CSIDL_COMMON_STARTMENU:
            return shellFolder(machine, HKEY_LOCAL_MACHINE, "Common Start Menu");
        case CSIDL_COMMON_DESKTOPDIRECTORY:
            return shellFolder(machine, HKEY_LOCAL_MACHINE, "Common Desktop");
        case CSIDL_COMMON_APPDATA:
            return shellFolder(machine, HKEY_LOCAL_MACHINE, "Common AppData");
        case CSIDL_COMMON_DOCUMENTS:
            return shellFolder(machine, HKEY_LOCAL_MACHINE, "Common Documents");
        case CSIDL_WINDOWS:
            return windowsDirectory(machine);
        case CSIDL_SYSTEM:
            return systemDirectory(machine);
        case CSIDL_PROGRAM_FILES:
            return programFiles(machine);
        case CSIDL_PROFILE:
            return machine.userProfile();
        default:
            return {};  // virtual folders (3, 10, 17, ...) and unknown numbers
    }
}

std::string tempPath(Machine& machine) {
    std::string path;
    for (const char* name : {"TEMP", "TMP"}) {
        if (auto v = readString(machine.registry(), HKEY_CURRENT_USER, "Environment", name);
            v && !v->text.empty()) {
            path = v->type == REG_EXPAND_SZ ? expandEnvironmentStrings(machine, v->text) : v->text;
            break;
        }
    }
    if (path.empty())
        path = machine.userProfile();
    if (path.empty())
        path = windowsDirectory(machine);
    if (path.back() != '\\')
        path.push_back('\\');
    return path;
}

}  // namespace kx::platform
