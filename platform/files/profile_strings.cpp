// The private-profile calls over IniFile, reading and writing the machine's
// files through the file layer.
#include "platform/files/profile_strings.hpp"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/files/files.hpp"
#include "platform/files/ini.hpp"

namespace kx::platform {
namespace {

// A bare file name lives in the Windows folder, as it does for the Win32 calls.
std::string profilePath(const char* fileName) {
    std::string name = fileName == nullptr ? std::string() : std::string(fileName);
    if (name.find('\\') == std::string::npos && name.find('/') == std::string::npos &&
        !(name.size() >= 2 && name[1] == ':'))
        return "C:\\WINDOWS\\" + name;
    return name;
}

// The file's settings; a missing or unreadable file reads as empty.
IniFile loadProfile(Machine& machine, const std::string& path, bool* readable = nullptr) {
    auto text = files::readAll(machine, path);
    if (readable != nullptr)
        *readable = text.has_value() || text.error().code == Error::NotFound;
    return text ? IniFile::parse(*text) : IniFile{};
}

// One pair of enclosing quotes goes, as GetPrivateProfileString drops it.
std::string unquote(std::string value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

// Copies one text, cut to nSize - 1 characters; answers the count copied.
std::uint32_t copyValue(const std::string& value, char* out, std::uint32_t nSize) {
    const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(value.size(), nSize - 1));
    std::memcpy(out, value.data(), n);
    out[n] = '\0';
    return n;
}

// Copies a list of names, each NUL-ended, the whole ended by a second NUL.
// A list that does not fit is cut and answers nSize - 2, as Windows does.
std::uint32_t copyList(const std::vector<std::string>& names, char* out, std::uint32_t nSize) {
    if (nSize < 2) {
        out[0] = '\0';
        return 0;
    }
    std::string all;
    for (const auto& n : names) {
        all += n;
        all += '\0';
    }
    if (all.size() + 1 <= nSize) {
        std::memcpy(out, all.data(), all.size());
        out[all.size()] = '\0';
        if (all.empty())
            out[1] = '\0';
        return static_cast<std::uint32_t>(all.size());
    }
    std::memcpy(out, all.data(), nSize - 2);
    out[nSize - 2] = '\0';
    out[nSize - 1] = '\0';
    return nSize - 2;
}

}  // namespace

std::uint32_t GetPrivateProfileStringA(const char* appName, const char* keyName,
                                       const char* defaultValue, char* returned,
                                       std::uint32_t nSize, const char* fileName) {
    if (returned == nullptr || nSize == 0)
        return 0;
    Machine& machine = currentMachine();
    const IniFile ini = loadProfile(machine, profilePath(fileName));
    if (appName == nullptr)
        return copyList(ini.sections(), returned, nSize);
    if (keyName == nullptr)
        return copyList(ini.keys(appName), returned, nSize);
    if (auto value = ini.get(appName, keyName))
        return copyValue(unquote(*value), returned, nSize);
    std::string fallback = defaultValue == nullptr ? std::string() : std::string(defaultValue);
    while (!fallback.empty() && fallback.back() == ' ') fallback.pop_back();
    return copyValue(fallback, returned, nSize);
}

int WritePrivateProfileStringA(const char* appName, const char* keyName, const char* value,
                               const char* fileName) {
    if (appName == nullptr)
        return 0;
    Machine& machine = currentMachine();
    const std::string path = profilePath(fileName);
    bool readable = false;
    IniFile ini = loadProfile(machine, path, &readable);
    if (!readable)
        return 0;  // never replace a file we could not read with a nearly empty one
    if (keyName == nullptr)
        ini.removeSection(appName);
    else if (value == nullptr)
        ini.removeKey(appName, keyName);
    else
        ini.set(appName, keyName, value);
    return replaceFileText(machine, path, ini.text()) ? 1 : 0;
}

bool replaceFileText(Machine& machine, std::string_view windowsPath, std::string_view text) {
    return files::replaceContent(machine, windowsPath, text).has_value();
}

}  // namespace kx::platform
