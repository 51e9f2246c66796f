#pragma once
// Where browsers keep their files and where the system keeps its folders,
// found from the registry, from the browsers' own settings files and from
// the shell; whether the user is an administrator; the folder for the
// product's private files; and the drive helpers of the cleaners. Nothing
// here changes the system, and where nothing is found each call falls back
// to a fixed answer instead of failing.
//
// Registry reads are of the current user with cleaned text (NULs removed,
// blanks trimmed); a missing key or value reads as "". Every call works on
// the thread's current machine (std::logic_error when none is bound).
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/runtime/variant.hpp"

namespace kx::settings {

// CSIDL numbers this file asks the shell for.
inline constexpr int kCsidlPersonal = 5;  // the user's documents
inline constexpr int kCsidlAppData = 26;  // the user's application data

/// Opera's program folder: "Last Directory", else "Last Directory2" of
/// "Software\Opera Software", else "C:\Programme\Opera".
std::string GetOperaExeDirectory();

/// Opera 7's per-user folder: application data + "\opera\opera7", whether it
/// exists or not.
std::string GetOperaDirectory();

/// The first existing file of "\profile\opera6.ini", "\opera.ini" and
/// "\OperaDef6.ini" below GetOperaDirectory; "" when there is none. A folder
/// of such a name is no settings file.
std::string GetOperaIni();

/// Opera's cache folder. "" without a settings file. Else the folder of the
/// first line holding "cache directory4" in any case: the text after its
/// first "=" (lower-cased, as the line is compared), or
/// "C:\Programme\Opera\Cache4" for a line without "="; a folder that does
/// not exist gives way to "C:\Programme\Opera\Cache4" when that exists, and
/// a missing or empty one to application data + "\opera\opera7\profile\cache4".
/// A settings file that cannot be read answers "" (the folder found so far).
std::string GetOperaTempDirectory();

/// Netscape's install folder ("Install Directory" of the current version's
/// "\Main" key); "" without a current version.
std::string NetscapeGetInstallDirectory();

/// Netscape's program ("PathToExe"), looked up below "Netscape" and then
/// "Netscape 6"; "" without a current version.
std::string NetscapeGetExeDirectory();

/// Mozilla's install folder, or Firefox's when Firefox is the chosen browser
/// and has a version; "" when Mozilla has no current version (Firefox alone
/// is then not looked at).
std::string MozGetInstallDirectory();

/// Firefox's program when Firefox is chosen ("C:\Programme\Mozilla
/// Firefox\firefox.exe" when it has no version), else Mozilla's; "" when the
/// browser asked about has no version.
std::string MozGetExeDirectory();

/// Empties the caller's collection, then gives the caller a new one listing
/// every "prefs.js" below application data + "\Mozilla\Profiles", and with
/// Firefox chosen also below "\Phoenix\Profiles" and "\Mozilla\Firefox\Profiles".
/// Each file is listed once, in the order found. A null collection just
/// receives the new one. Errors end the search with the list built so far.
void NetscapeAndMozillaGetProfileFilesMulti(platform::CollectionRef& colDirs);

/// Appends MozGetInstallDirectory + "\cookies.txt", "\cookperm.txt" and
/// "\history.dat", also when the install folder is "".
void MozAddFiles(platform::Collection& colFiles);

/// AOL's program folder: the machine's "AppPath" of
/// "SOFTWARE\America Online\America Online\CurrentVersion"; "" when absent.
std::string GetAOLPath();

/// The path of a shell folder; "" for a folder without a path or an unknown CSIDL.
std::string VBGetSpecialFolder(int csidl);

/// The same, but ":" where VBGetSpecialFolder would answer "" or anything
/// fails: no path built by appending names to ":" reaches a real folder,
/// while "" + "\x" would be a path from the current drive's root.
std::string GetSpecialfolder(int csidl) noexcept;

/// Application data + "\Microsoft\Office\Zuletzt verwendet\" (with the "\").
std::string GetRecentDirectory();

/// The temporary folder, with its trailing "\" only when asked for.
std::string GetTempDir(bool addBackslash = false);

/// The Windows and system folders, without a trailing "\".
std::string GetWinDir();
std::string GetSysDir();

/// True when the user's token holds the administrators group
/// (S-1-5-32-544) among its first 21 groups; false when the token cannot be
/// read.
bool IsAdmin();

/// KXAppPath for an administrator; the documents folder for anyone else,
/// who may not write below the program folder. No "\" is appended.
std::string GetPrivatePath();

// Drive kinds of GetDriveKind.
inline constexpr std::int32_t kDriveUnknown = 1;  // also: no such root
inline constexpr std::int32_t kDriveRemovable = 2;
inline constexpr std::int32_t kDriveFixed = 3;
inline constexpr std::int32_t kDriveRemote = 4;
inline constexpr std::int32_t kDriveCdRom = 5;
inline constexpr std::int32_t kDriveRamDisk = 6;
inline constexpr std::int32_t kDriveFloppy35 = 7;
inline constexpr std::int32_t kDriveFloppy525 = 8;

/// The letters of the drives whose platform type is `kind` (every drive for
/// 0), in letter order, behind an empty first element: {"", "C", "D"}. A
/// machine without such drives answers {""}.
std::vector<std::string> GetDriveLetters(std::uint32_t kind);

/// The kind of the drive the first two characters of `path` name (see the
/// constants above); removable drives are told apart by the shell's type
/// name ("3,5-Diskette" or "3" a 3.5-inch floppy, "5,25-Diskette" or "5" a
/// 5.25-inch one).
std::int32_t GetDriveKind(std::string_view path);

/// The shell's type name of a file, folder or drive root; "" when the shell
/// has none.
std::string GetShellTypeName(std::string_view path);

}  // namespace kx::settings
