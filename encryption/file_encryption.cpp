// Encrypting and decrypting files and folders; see file_encryption.hpp.
#include "encryption/file_encryption.hpp"

#include <array>
#include <exception>

#include "core/shared_state.hpp"
#include "core/text_rules.hpp"
#include "crypt/aes_holder.hpp"
#include "deletion/entry_rules.hpp"
#include "favourites/key_prompts.hpp"
#include "fsys/dir_scanner.hpp"
#include "fsys/file_access.hpp"
#include "platform/files/files.hpp"
#include "platform/machine/drives.hpp"
#include "platform/processes/shell.hpp"
#include "platform/runtime/text.hpp"
#include "platform/runtime/translation.hpp"
#include "platform/runtime/variant.hpp"
#include "platform/runtime/wildcard.hpp"
#include "platform/ui/cursor.hpp"
#include "platform/ui/dialogs.hpp"
#include "services/progress.hpp"
#include "services/utilities.hpp"
#include "settings/locations.hpp"

namespace kx::encryption {
namespace {

namespace ui = platform::ui;

constexpr std::int32_t kKeyBits = 256;
constexpr std::int32_t kCloseAfterMs = 5000;
constexpr std::int32_t kOpenFlags = 0x80200;  // Explorer style, multiple selection
constexpr std::int32_t kShowNormal = 1;

constexpr std::array<std::string_view, 11> kProtectedEndings = {
    ".dll", ".dos", ".bat", ".bin", ".com", ".vxd", ".swp", ".386", ".drv", ".sys", ".exe"};
constexpr std::array<std::string_view, 7> kProtectedNames = {
    "registry.dat", "ntuser", "ntuser.dat", "ntuser.ini", "system.dat", "user.dat", "ntldr"};
constexpr std::array<std::string_view, 6> kRefusedFolders = {
    "*\\system*", "*\\windows*", "*\\winnt*", "*system32*", "*\\programme*", "*\\program files*"};

// The status lines of one file: {1} the lower-cased path, {2} its size.
struct Texts {
    std::string_view start;
    std::string_view done;
    std::string_view aborted;
};

Texts textsFor(enumCryptIt eWhat) {
    using platform::trMark;
    if (eWhat == enumCryptIt::Encrypt)
        return {trMark("Verschlüssele {1} {2} KB"), trMark("{1} wurde verschlüsselt"),
                trMark("Verschlüsselung abgebrochen: {1}")};
    return {trMark("Entschlüssele {1} {2} KB"), trMark("{1} wurde entschlüsselt"),
            trMark("Entschlüsselung abgebrochen: {1}")};
}

bool encrypting(enumCryptIt eWhat) {
    return eWhat == enumCryptIt::Encrypt;
}

std::string askKey(enumCryptIt eWhat) {
    return encrypting(eWhat) ? favourites::KXPasswordSet() : favourites::KXPasswordGet();
}

void wipeKey(std::string& key) {
    key.assign(key.size(), '\0');
}

void refuse(const char* text) {
    ui::dialogs().messageBox(std::string(platform::tr(text)), shared().applicationTitle,
                             ui::MB_ICONINFORMATION | ui::MB_SYSTEMMODAL);
}

// The description and number of the failure being handled.
platform::RuntimeError currentFailure() {
    try {
        throw;
    } catch (const platform::RuntimeError& e) {
        return e;
    } catch (const std::exception& e) {
        return {0, e.what()};
    } catch (...) {
        return {0, std::string(platform::tr("unbekannter Fehler"))};
    }
}

// An unexpected failure of an operation: a message box, and the operation ends.
template <typename Work>
void reportingFailures(const char* operation, Work&& work) {
    try {
        work();
    } catch (...) {
        const auto failure = currentFailure();
        ui::dialogs().messageBox(
            std::string(operation) + failure.description + std::to_string(failure.number),
            shared().applicationTitle, ui::MB_ICONEXCLAMATION | ui::MB_SYSTEMMODAL);
    }
}

}  // namespace

bool isProtectedFile(std::string_view lowerPath) {
    if (lowerPath.size() >= 4) {
        const auto ending = lowerPath.substr(lowerPath.size() - 4);
        for (const auto protectedEnding : kProtectedEndings) {
            if (ending == protectedEnding)
                return true;
        }
    }
    const auto slash = lowerPath.rfind('\\');
    const auto name = slash == std::string_view::npos ? lowerPath : lowerPath.substr(slash + 1);
    for (const auto protectedName : kProtectedNames) {
        if (name == protectedName)
            return true;
    }
    return false;
}

FolderVerdict checkFolder(std::string_view folder) {
    if (folder.empty())
        return FolderVerdict::Empty;
    const std::string lower = platform::vbLCase(folder);
    if (platform::vbLike(lower, "?:")) {
        switch (static_cast<platform::DriveType>(platform::GetDriveTypeA(lower + "\\"))) {
            case platform::DriveType::Removable:
            case platform::DriveType::CdRom:
            case platform::DriveType::RamDisk:
                break;
            default:
                return FolderVerdict::DriveRefused;
        }
    }
    for (const auto pattern : kRefusedFolders) {
        if (platform::vbLike(lower, pattern))
            return FolderVerdict::FolderRefused;
    }
    return FolderVerdict::Allowed;
}

bool CryptTheFile(crypt::RijnDael& cipher, const std::string& sFile, const std::string& sKey,
                  enumCryptIt eWhat, const TempWiper& wipe) {
    int step = 1;
    try {
        // Protection and status lines use the lower-cased path; the file is
        // reached by the path as given (names may differ only in case here).
        const std::string lower = platform::vbLCase(sFile);
        if (isProtectedFile(lower))
            return true;
        step = 2;
        const std::string temporary =
            AddBackslash(settings::GetPrivatePath()) + std::string(kTemporaryFile);
        if (shared().gbBreak)
            return false;
        step = 3;
        const Texts texts = textsFor(eWhat);
        // A link, or a file with other hard links, is left as it is: the
        // result would replace this name only, and the plain content would
        // stay behind the link or under the other names (whose mode and
        // attributes are not this run's to change either).
        if (!deletion::ownedByThisName(platform::currentMachine(), sFile)) {
            Status(platform::trf(texts.aborted, {lower}));
            return false;
        }
        bool ok = false;
        {
            ui::HourglassCursor hourglass;
            step = 4;
            if (wipe && platform::files::exists(temporary))
                wipe(temporary, kTemporaryByte);
            step = 5;
            const auto bytes = platform::files::size(sFile);
            const double kib = bytes ? static_cast<double>(*bytes / 1024) : 0.0;
            Status(platform::trf(texts.start, {lower, formatNumber(kib, 0)}));
            step = 6;
            // A read-only file cannot be replaced; its attributes are cleared
            // (as the result gets them anyway) and given back if the cipher
            // fails, so that a failure changes nothing.
            const auto attributes = platform::files::attributes(sFile);
            if (attributes && *attributes != 0)
                (void)platform::files::setAttributes(sFile, 0);
            cipher.StopIt = false;
            cipher.InputFile = sFile;
            cipher.OutputFile = sFile;
            cipher.KeyBits = kKeyBits;
            cipher.Password = sKey;
            cipher.FlushOutput = true;
            cipher.ProgressBar = progressWindow()->pbBar;
            cipher.ShowProgress = true;
            ok = encrypting(eWhat) ? cipher.EncryptFile() : cipher.DecryptFile();
            wipeKey(cipher.Password);
            if (!ok && attributes && *attributes != 0)
                (void)platform::files::setAttributes(sFile, *attributes);
        }
        step = 8;
        if (shared().gbBreak || !ok)
            Status(platform::trf(texts.aborted, {lower}));
        else
            Status(platform::trf(texts.done, {lower}));
        return ok;
    } catch (...) {
        wipeKey(cipher.Password);
        Status("CryptTheFile:" + currentFailure().description + " " + std::to_string(step));
        return false;
    }
}

CryptOutcome cryptFiles(const std::vector<std::string>& files, enumCryptIt eWhat,
                        const TempWiper& wipe) {
    CryptOutcome outcome;
    std::string key = askKey(eWhat);
    if (key.empty())
        return outcome;
    outcome.started = true;
    {
        AesRun run;
        for (const auto& file : files) {
            if (shared().gbBreak)
                break;
            if (!CryptTheFile(run.cipher(), file, key, eWhat, wipe)) {
                ++outcome.failed;
                break;
            }
            ++outcome.processed;
        }
    }
    wipeKey(key);
    progressWindow()->closeAfter(kCloseAfterMs);
    return outcome;
}

CryptOutcome cryptChosenFiles(const std::string& chosen, enumCryptIt eWhat, const TempWiper& wipe) {
    // One chosen file whose name holds ";" is still one file.
    if (chosen.find(';') == std::string::npos || platform::files::exists(chosen)) {
        const auto outcome = cryptFiles({chosen}, eWhat, wipe);
        if (outcome.processed == 1 && !encrypting(eWhat))
            platform::ShellExecuteA(0, "open", chosen, "", "", kShowNormal);
        return outcome;
    }
    const auto parts = platform::splitAt(chosen, ";");
    const std::string folder = AddBackslash(parts.front());
    std::vector<std::string> files;
    for (std::size_t i = 1; i < parts.size(); ++i) files.push_back(folder + std::string(parts[i]));
    return cryptFiles(files, eWhat, wipe);
}

CryptOutcome cryptChosenFolder(std::string folder, enumCryptIt eWhat, const TempWiper& wipe) {
    CryptOutcome outcome;
    if (folder.ends_with('\\'))
        folder.pop_back();
    switch (checkFolder(folder)) {
        case FolderVerdict::Allowed:
            break;
        case FolderVerdict::DriveRefused:
            refuse(kOnlyRemovable);
            unloadProgressWindow();
            return outcome;
        case FolderVerdict::FolderRefused:
            refuse(kFolderRefused);
            [[fallthrough]];
        case FolderVerdict::Empty:
            unloadProgressWindow();
            return outcome;
    }
    fsys::DirScanner scanner;
    {
        ui::HourglassCursor hourglass;
        scanner.Scan(folder);
    }
    std::string key = askKey(eWhat);
    if (key.empty())
        return outcome;
    outcome.started = true;
    {
        AesRun run;
        for (std::int32_t i = 0; i <= scanner.UpperIndex(); ++i) {
            if (shared().gbBreak)
                break;
            ++(CryptTheFile(run.cipher(), scanner.Item(i), key, eWhat, wipe) ? outcome.processed
                                                                             : outcome.failed);
        }
    }
    wipeKey(key);
    Status(encrypting(eWhat) ? platform::tr("Verzeichnis/Laufwerk verschlüsseln beendet")
                             : platform::tr("Verzeichnis/Laufwerk entschlüsseln beendet"));
    progressWindow()->closeAfter(kCloseAfterMs);
    return outcome;
}

void KXCryptFiles(enumCryptIt eWhat, const TempWiper& wipe) {
    reportingFailures("CryptFiles: ", [&] {
        shared().gbBreak = false;
        const std::string title(encrypting(eWhat)
                                    ? platform::tr("Datei(en) zum Verschlüsseln auswählen")
                                    : platform::tr("Datei(en) zum Entschlüsseln auswählen"));
        Status(title);
        fsys::FileAccess access;
        const std::string chosen = access.ShowOpen(0, "*.*", 0, "", "", "", title, kOpenFlags);
        if (chosen.empty()) {
            unloadProgressWindow();
            return;
        }
        (void)cryptChosenFiles(chosen, eWhat, wipe);
    });
}

void KXCriptFolders(enumCryptIt eWhat, const TempWiper& wipe) {
    reportingFailures("CryptFolders: ", [&] {
        shared().gbBreak = false;
        const std::string title(
            encrypting(eWhat) ? platform::tr("Verzeichnis/Laufwerk zum Verschlüsseln auswählen")
                              : platform::tr("Verzeichnis/Laufwerk zum Entschlüsseln auswählen"));
        Status(title);
        (void)cryptChosenFolder(BrowseFolder(0, title, 0), eWhat, wipe);
    });
}

}  // namespace kx::encryption
