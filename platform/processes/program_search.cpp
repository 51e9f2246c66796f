// Finding a program by the name a command line gives it: the built-in system
// programs first, then files of the machine's system folders.
#include <algorithm>
#include <array>

#include "platform/machine/machine.hpp"
#include "platform/processes/process.hpp"
#include "platform/runtime/text.hpp"

namespace kx::platform {
namespace fs = std::filesystem;

namespace {
std::string windowsRoot() {
    std::string root = "C:\\WINDOWS";
    if (!hasCurrentMachine())
        return root;
    auto& reg = currentMachine().registry();
    HKEY key = 0;
    if (reg.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", 0,
                          KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return root;
    std::array<std::uint8_t, 520> data{};
    DWORD type = 0;
    DWORD size = data.size();
    if (reg.RegQueryValueExA(key, "SystemRoot", nullptr, &type, data.data(), &size) ==
            ERROR_SUCCESS &&
        type == REG_SZ && size > 0) {
        std::string value(reinterpret_cast<const char*>(data.data()), size);
        if (const auto nul = value.find('\0'); nul != std::string::npos)
            value.resize(nul);
        if (value.size() >= 2 && value[1] == ':')
            root = value;
    }
    reg.RegCloseKey(key);
    while (root.size() > 3 && (root.back() == '\\' || root.back() == '/')) root.pop_back();
    return root;
}

bool hasDriveLetter(std::string_view name) {
    return name.size() >= 2 && name[1] == ':' &&
           ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'));
}

bool hasExtension(std::string_view name) {
    const auto slash = name.find_last_of("\\/");
    const auto base = slash == std::string_view::npos ? name : name.substr(slash + 1);
    return base.find('.') != std::string_view::npos;
}

std::string folderOf(std::string_view name) {
    const auto slash = name.find_last_of("\\/");
    if (slash == std::string_view::npos)
        return "";
    auto folder = std::string(name.substr(0, slash));
    std::replace(folder.begin(), folder.end(), '/', '\\');
    return folder;
}

std::string baseOf(std::string_view name) {
    const auto slash = name.find_last_of("\\/");
    return std::string(slash == std::string_view::npos ? name : name.substr(slash + 1));
}

// A regular file at a Windows path: its location, or the reason there is none.
std::expected<ProgramLocation, LONG> fileAt(const Machine& machine, const std::string& path) {
    const auto parts = machine.resolveParts(path);
    if (!parts)
        return std::unexpected(ERROR_PATH_NOT_FOUND);
    const auto host = parts->hostPath();
    std::error_code ec;
    if (!fs::is_regular_file(host, ec)) {
        return std::unexpected(fs::is_directory(host.parent_path(), ec) ? ERROR_FILE_NOT_FOUND
                                                                        : ERROR_PATH_NOT_FOUND);
    }
    ProgramLocation location;
    location.hostPath = host;
    location.windowsPath =
        std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])))) + ":";
    for (const auto& component : parts->components) location.windowsPath += "\\" + component;
    if (parts->components.empty())
        location.windowsPath += "\\";
    return location;
}

}  // namespace

std::expected<ProgramLocation, LONG> findProgram(std::string_view name) {
    if (name.empty())
        return std::unexpected(ERROR_FILE_NOT_FOUND);
    const auto folder = folderOf(name);
    const auto base = baseOf(name);
    if (!base.empty()) {
        const bool systemFolder =
            folder.empty() ||
            (hasCurrentMachine() && (winEqualNoCase(folder, windowsRoot()) ||
                                     winEqualNoCase(folder, windowsRoot() + "\\system32")));
        if (systemFolder) {
            if (auto handler = findSystemProgram(base)) {
                ProgramLocation location;
                location.windowsPath = std::string(name);
                location.builtin = std::move(handler);
                return location;
            }
        }
    }
    if (!hasCurrentMachine())
        return std::unexpected(ERROR_FILE_NOT_FOUND);
    const auto& machine = currentMachine();
    const std::string text(name);
    if (hasDriveLetter(name)) {
        auto found = fileAt(machine, text);
        if (!found && !hasExtension(name)) {
            if (auto withExe = fileAt(machine, text + ".exe"))
                return withExe;
        }
        return found;
    }
    if (!folder.empty() || name.starts_with('\\') || name.starts_with('/'))
        return std::unexpected(ERROR_FILE_NOT_FOUND);  // no current folder to be relative to
    const auto root = windowsRoot();
    for (const auto& dir : {root + "\\system32", root}) {
        if (auto found = fileAt(machine, dir + "\\" + text))
            return found;
        if (!winEqualNoCase(std::string_view(text).substr(text.size() >= 4 ? text.size() - 4 : 0),
                            ".exe")) {
            if (auto found = fileAt(machine, dir + "\\" + text + ".exe"))
                return found;
        }
    }
    return std::unexpected(ERROR_FILE_NOT_FOUND);
}

}  // namespace kx::platform
