#pragma once
// Drives and the shell's names for things, in the shapes of
// GetLogicalDriveStringsA, GetDriveTypeA and SHGetFileInfoA(SHGFI_TYPENAME).
// The drives are the ones machine.ini lists, with the kind and the shell's
// type name written there ("3,5-Diskette", "Lokaler Datenträger").
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/machine/machine.hpp"
#include "platform/registry/registry.hpp"

namespace kx::platform {

// GetDriveTypeA answers.
inline constexpr std::uint32_t DRIVE_UNKNOWN = 0;
inline constexpr std::uint32_t DRIVE_NO_ROOT_DIR = 1;
inline constexpr std::uint32_t DRIVE_REMOVABLE = 2;
inline constexpr std::uint32_t DRIVE_FIXED = 3;
inline constexpr std::uint32_t DRIVE_REMOTE = 4;
inline constexpr std::uint32_t DRIVE_CDROM = 5;
inline constexpr std::uint32_t DRIVE_RAMDISK = 6;

/// The roots of the machine's drives in letter order, each once:
/// "A:\\\0C:\\\0D:\\\0\0". Answers the length written without the final NUL;
/// when the buffer (or a null one) is too small, nothing is written and the
/// answer is the size needed, final NUL included. 0 without a bound machine.
DWORD GetLogicalDriveStringsA(DWORD bufferLength, char* buffer);

/// The kind of the drive whose root is given as "X:\\" (or "X:/"), letter in
/// any case: DRIVE_UNKNOWN (0) for a drive the machine does not have,
/// DRIVE_NO_ROOT_DIR (1) for anything that is not such a root ("", "C:",
/// "C:\\Windows\\") and without a bound machine.
std::uint32_t GetDriveTypeA(std::string_view rootPathName);

inline constexpr std::uint32_t SHGFI_USEFILEATTRIBUTES = 0x10;
inline constexpr std::uint32_t SHGFI_TYPENAME = 0x400;

inline constexpr std::uint32_t FILE_ATTRIBUTE_DIRECTORY = 0x10;

/// The record SHGetFileInfoA fills. Texts are UTF-8 and end at their first NUL.
struct SHFILEINFOA {
    std::uintptr_t hIcon = 0;
    std::int32_t iIcon = 0;
    DWORD dwAttributes = 0;
    char szDisplayName[260] = {};
    char szTypeName[80] = {};
};

/// With SHGFI_TYPENAME fills szTypeName (other flags ask for nothing this
/// machine has and are ignored) and answers nonzero; 0 on failure.
/// - A drive root ("A:\\", "c:"): the type name machine.ini gives the drive,
///   else the German name of its kind ("Lokaler Datenträger",
///   "Wechseldatenträger", "CD-Laufwerk", ...). A floppy needs no disk in it.
///   A drive the machine lacks fails.
/// - A folder: "Dateiordner".
/// - A file: the name its extension's class gives in HKEY_CLASSES_ROOT
///   (".txt" -> "txtfile" -> "Textdokument"), else "<EXT>-Datei" with the
///   extension in capitals, or "Datei" without an extension.
/// The entry must exist unless SHGFI_USEFILEATTRIBUTES is given, in which
/// case `fileAttributes` (FILE_ATTRIBUTE_DIRECTORY or not) says what it is.
/// A name longer than the field is cut at a character boundary.
/// `infoSize` must be at least sizeof(SHFILEINFOA).
std::uintptr_t SHGetFileInfoA(std::string_view path, DWORD fileAttributes, SHFILEINFOA* info,
                              std::uint32_t infoSize, std::uint32_t flags);

/// The shell's name of a drive kind on a German system.
std::string_view defaultDriveTypeName(DriveType type);

}  // namespace kx::platform
