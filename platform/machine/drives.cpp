#include "platform/machine/drives.hpp"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <optional>
#include <vector>

#include "platform/files/files.hpp"
#include "platform/registry/registry_key.hpp"
#include "platform/runtime/text.hpp"

namespace kx::platform {
namespace {

bool isSeparator(char c) {
    return c == '\\' || c == '/';
}

bool isLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

char upperLetter(char c) {
    return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

// The drives in letter order, each letter once: the system reports a drive
// once whatever order or repetition a hand-edited machine.ini has.
std::vector<const Drive*> drivesInOrder(const Machine& machine) {
    std::vector<const Drive*> out;
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        if (const Drive* d = machine.drive(letter))
            out.push_back(d);
    }
    return out;
}

// "X:" or "X:\" (any separator): the letter; nullopt for anything else.
std::optional<char> driveRootLetter(std::string_view path, bool separatorRequired) {
    if (path.size() < 2 || path.size() > 3 || !isLetter(path[0]) || path[1] != ':') {
        return std::nullopt;
    }
    if (path.size() == 3 ? !isSeparator(path[2]) : separatorRequired)
        return std::nullopt;
    return upperLetter(path[0]);
}

// A text value of HKEY_CLASSES_ROOT without its terminating NULs; "" when absent.
std::string classesText(Registry& reg, std::string_view key) {
    HKEY raw = 0;
    if (reg.RegOpenKeyExA(HKEY_CLASSES_ROOT, key, 0, KEY_QUERY_VALUE, &raw) != ERROR_SUCCESS) {
        return {};
    }
    RegKey k(reg, raw);
    DWORD type = 0;
    DWORD size = 0;
    if (reg.RegQueryValueExA(k.get(), "", nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return {};
    }
    std::string text(size, '\0');
    if (reg.RegQueryValueExA(k.get(), "", nullptr, &type,
                             reinterpret_cast<std::uint8_t*>(text.data()),
                             &size) != ERROR_SUCCESS) {
        return {};
    }
    text.resize(std::min<std::size_t>(size, text.size()));
    if (const auto nul = text.find('\0'); nul != std::string::npos)
        text.resize(nul);
    return text;
}

// The shell's name of a file by its extension.
std::string fileTypeName(Machine& machine, std::string_view path) {
    std::string_view name = path;
    if (const auto sep = name.find_last_of("\\/"); sep != std::string_view::npos) {
        name.remove_prefix(sep + 1);
    }
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos || dot + 1 == name.size())
        return "Datei";
    const std::string_view ext = name.substr(dot + 1);
    // A class name holding a "\" would lead to some other key's subkey, so
    // such a value names no class.
    const std::string progId = classesText(machine.registry(), "." + std::string(ext));
    if (!progId.empty() && progId.find_first_of("\\/") == std::string::npos) {
        if (std::string friendly = classesText(machine.registry(), progId); !friendly.empty()) {
            return friendly;
        }
    }
    return vbUCase(ext) + "-Datei";
}

// Copies UTF-8 text into a fixed field with its NUL, cutting before a
// character that would not fit whole.
void copyField(char* field, std::size_t fieldSize, std::string_view text) {
    std::size_t n = std::min(text.size(), fieldSize - 1);
    if (n < text.size()) {
        while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    }
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

}  // namespace

std::string_view defaultDriveTypeName(DriveType type) {
    switch (type) {
        case DriveType::Removable:
            return "Wechseldatenträger";
        case DriveType::Fixed:
            return "Lokaler Datenträger";
        case DriveType::Remote:
            return "Netzlaufwerk";
        case DriveType::CdRom:
            return "CD-Laufwerk";
        case DriveType::RamDisk:
            return "RAM-Datenträger";
        default:
            return "Laufwerk";
    }
}

DWORD GetLogicalDriveStringsA(DWORD bufferLength, char* buffer) {
    if (!hasCurrentMachine())
        return 0;
    std::string roots;
    for (const Drive* d : drivesInOrder(currentMachine())) {
        roots.push_back(d->letter);
        roots.append(":\\");
        roots.push_back('\0');
    }
    const auto needed = static_cast<DWORD>(roots.size() + 1);
    if (buffer == nullptr || bufferLength < needed)
        return needed;
    std::memcpy(buffer, roots.data(), roots.size());
    buffer[roots.size()] = '\0';
    return static_cast<DWORD>(roots.size());
}

std::uint32_t GetDriveTypeA(std::string_view rootPathName) {
    const auto letter = driveRootLetter(rootPathName, /*separatorRequired=*/true);
    if (!letter || !hasCurrentMachine())
        return DRIVE_NO_ROOT_DIR;
    const Drive* d = currentMachine().drive(*letter);
    if (d == nullptr)
        return DRIVE_UNKNOWN;
    return static_cast<std::uint32_t>(d->type);
}

std::uintptr_t SHGetFileInfoA(std::string_view path, DWORD fileAttributes, SHFILEINFOA* info,
                              std::uint32_t infoSize, std::uint32_t flags) {
    if (info == nullptr || infoSize < sizeof(SHFILEINFOA) || !hasCurrentMachine())
        return 0;
    if ((flags & SHGFI_TYPENAME) == 0)
        return 1;  // nothing asked that this machine could give
    Machine& machine = currentMachine();

    std::string name;
    if (const auto letter = driveRootLetter(path, /*separatorRequired=*/false)) {
        const Drive* d = machine.drive(*letter);
        if (d == nullptr)
            return 0;
        name = d->shellTypeName.empty() ? std::string(defaultDriveTypeName(d->type))
                                        : d->shellTypeName;
    } else if ((flags & SHGFI_USEFILEATTRIBUTES) != 0) {
        name = (fileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? std::string("Dateiordner")
                                                                : fileTypeName(machine, path);
    } else {
        const auto entry = files::info(machine, path);
        if (!entry)
            return 0;
        bool folder = entry->kind == EntryKind::Folder || entry->kind == EntryKind::FolderLink;
        name = folder ? std::string("Dateiordner") : fileTypeName(machine, path);
    }
    copyField(info->szTypeName, sizeof(info->szTypeName), name);
    return 1;
}

}  // namespace kx::platform
