#pragma once
// Encrypting and decrypting the user's files in place: KXCryptFiles (chosen
// files), KXCriptFolders (every file below a folder or removable drive) and
// their per-file worker CryptTheFile. Files keep their names and folders; no
// extension is added.
//
// Replacing a file is done so that no moment loses it: the cipher writes the
// result beside the file (as a file without a name where the file system
// allows it), flushes it to the disk and only then renames it over the file.
// Killed at any moment, the file holds its old content or its new one, whole,
// and nothing is left under a name the user sees. A wrong key writes nothing.
//
// A run (all files of one call) works with one cipher, so the key is derived
// once per run: the files a run encrypts share their salt, and decrypting
// them later derives the key once again.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/automation.hpp"
#include "crypt/rijndael.hpp"
#include "platform/runtime/translation.hpp"

namespace kx::encryption {

/// Destroys a file with the secure deletion (bSecurityMode, bEncryptIt,
/// iDeleteN 7 and bDeleteIt set) overwriting with `yDeleteChar`.
using TempWiper = std::function<void(const std::string& file, std::uint8_t yDeleteChar)>;

/// The temporary output file of earlier versions in the private folder;
/// one left behind is destroyed before the next file is processed.
inline constexpr std::string_view kTemporaryFile = "kxcrypt.tmp";
inline constexpr std::int16_t kTemporaryPasses = 7;
inline constexpr std::uint8_t kTemporaryByte = 174;

/// The refusals of a chosen folder (shown through platform::tr).
inline constexpr const char* kOnlyRemovable =
    platform::trMark(
        "Es dürfen nur Wechsellaufwerke oder Laufwerke mit wechselbaren Medien ausgewählt werden!")
        .data();
inline constexpr const char* kFolderRefused =
    platform::trMark("Die Auswahl dieses Verzeichnisses ist nicht zulässig!").data();

/// Files never touched, by their lower-cased path: program and system
/// endings, and the registry's and the boot loader's file names.
bool isProtectedFile(std::string_view lowerPath);

/// Why a chosen folder is refused; Allowed when it may be processed.
enum class FolderVerdict { Allowed, Empty, DriveRefused, FolderRefused };
/// The folder as chosen, one trailing "\" already stripped.
FolderVerdict checkFolder(std::string_view folder);

/// Encrypts or decrypts one file with `cipher` (the run's). True when the
/// file was processed or is protected; false when the cipher failed (wrong
/// key, stopped, unreadable), which leaves the file as it was.
bool CryptTheFile(crypt::RijnDael& cipher, const std::string& sFile, const std::string& sKey,
                  enumCryptIt eWhat, const TempWiper& wipe);

/// The two operations: choose, ask for the key, process, report.
void KXCryptFiles(enumCryptIt eWhat, const TempWiper& wipe);
void KXCriptFolders(enumCryptIt eWhat, const TempWiper& wipe);

/// The parts of the operations after the choice. `chosen` is the open-file
/// dialog's answer: one path (then a decrypted file is opened with its
/// program), or the folder and the names joined by ";". The list form asks
/// for the key once and stops at the first file that fails; the folder form
/// takes the folder browser's answer and tries every file.
/// Each answers what happened.
struct CryptOutcome {
    bool started = false;       // a key was given and files were tried
    std::size_t processed = 0;  // files processed or skipped as protected
    std::size_t failed = 0;     // files the cipher failed on (left as they were)
};
CryptOutcome cryptChosenFiles(const std::string& chosen, enumCryptIt eWhat, const TempWiper& wipe);
CryptOutcome cryptFiles(const std::vector<std::string>& files, enumCryptIt eWhat,
                        const TempWiper& wipe);
CryptOutcome cryptChosenFolder(std::string folder, enumCryptIt eWhat, const TempWiper& wipe);

}  // namespace kx::encryption
