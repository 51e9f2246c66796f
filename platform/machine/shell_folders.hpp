#pragma once
// Special folders (SHGetSpecialFolderPathA, GetWindowsDirectoryA,
// GetSystemDirectoryA, GetTempPathA) answered from the machine's registry, so
// a user who moved a folder in the registry sees the moved folder.
#include <string>
#include <string_view>

#include "platform/machine/machine.hpp"

namespace kx::platform {

inline constexpr int CSIDL_DESKTOP = 0x00;
inline constexpr int CSIDL_PROGRAMS = 0x02;
inline constexpr int CSIDL_CONTROLS = 0x03;
inline constexpr int CSIDL_PERSONAL = 0x05;
inline constexpr int CSIDL_FAVORITES = 0x06;
inline constexpr int CSIDL_STARTUP = 0x07;
inline constexpr int CSIDL_RECENT = 0x08;
inline constexpr int CSIDL_SENDTO = 0x09;
inline constexpr int CSIDL_BITBUCKET = 0x0A;
inline constexpr int CSIDL_STARTMENU = 0x0B;
inline constexpr int CSIDL_DESKTOPDIRECTORY = 0x10;
inline constexpr int CSIDL_DRIVES = 0x11;
inline constexpr int CSIDL_NETHOOD = 0x13;
inline constexpr int CSIDL_TEMPLATES = 0x15;
inline constexpr int CSIDL_COMMON_STARTMENU = 0x16;
inline constexpr int CSIDL_COMMON_DESKTOPDIRECTORY = 0x19;
inline constexpr int CSIDL_APPDATA = 0x1A;
inline constexpr int CSIDL_PRINTHOOD = 0x1B;
inline constexpr int CSIDL_LOCAL_APPDATA = 0x1C;
inline constexpr int CSIDL_INTERNET_CACHE = 0x20;
inline constexpr int CSIDL_COOKIES = 0x21;
inline constexpr int CSIDL_HISTORY = 0x22;
inline constexpr int CSIDL_COMMON_APPDATA = 0x23;
inline constexpr int CSIDL_WINDOWS = 0x24;
inline constexpr int CSIDL_SYSTEM = 0x25;
inline constexpr int CSIDL_PROGRAM_FILES = 0x26;
inline constexpr int CSIDL_PROFILE = 0x28;
inline constexpr int CSIDL_COMMON_DOCUMENTS = 0x2E;
/// Flags callers may OR into a CSIDL (CSIDL_FLAG_CREATE and friends); ignored.
inline constexpr int CSIDL_FLAG_MASK = 0xFF00;

/// The Windows path of a special folder, without a trailing "\": the
/// "Shell Folders" value that names it (HKCU for the user's folders, HKLM for
/// the common ones), else the "User Shell Folders" value with its variables
/// expanded. Virtual folders with no place on disk (control panel, recycle
/// bin, "My Computer") and unknown numbers answer "", as do folders whose
/// value is missing. Flag bits (CSIDL_FLAG_MASK) are ignored.
std::string specialFolderPath(Machine& machine, int csidl);

/// "C:\WINDOWS" and "C:\WINDOWS\system32".
std::string windowsDirectory(Machine& machine);
std::string systemDirectory(Machine& machine);

/// GetTempPathA: HKCU\Environment TEMP (then TMP) with its variables
/// expanded, ending in "\"; the profile folder, then the Windows folder, when
/// neither is set.
std::string tempPath(Machine& machine);

/// Expands %USERPROFILE%, %ALLUSERSPROFILE%, %SystemRoot%, %windir%,
/// %SystemDrive%, %ProgramFiles%, %USERNAME%, %COMPUTERNAME% (names in any
/// case) as ExpandEnvironmentStringsA would for this machine's user; unknown
/// names and a lone "%" stay as written.
std::string expandEnvironmentStrings(Machine& machine, std::string_view text);

}  // namespace kx::platform
