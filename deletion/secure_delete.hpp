#pragma once
// The secure deletion of one file: every deletion of the track cleaner, the
// favourites store's plain-text list and the host's KXDeleteTheFile go
// through it. It answers what it did (deletion/delete_result.hpp) and the
// bytes it freed.
//
// In the plain mode the file is first moved to "$$@$$.del" in its own folder,
// so its name is gone at once and the content is destroyed under a name that
// tells nothing; then, as asked, its content is scrambled with the cipher
// component and overwritten a number of times with one byte value, and the
// file is removed. In the Gutmann mode the Gutmann wiper (deletion/gutmann.hpp)
// does the whole job instead.
#include <cstdint>
#include <string>
#include <string_view>

#include "deletion/delete_result.hpp"
#include "deletion/deletion_context.hpp"
#include "settings/keys.hpp"

namespace kx::deletion {

/// The fixed name a file takes in its own folder while it is destroyed.
inline constexpr std::string_view kTemporaryName = "$$@$$.del";
/// The scrambling key's length and password. The cipher is told to seal
/// with a random key that is never stored (RandomKey): nobody is meant to
/// decrypt a scrambled file, and a password every copy of the program
/// carries would let anyone decrypt blocks the overwrite did not reach.
inline constexpr std::int32_t kScrambleKeyBits = 128;
inline constexpr std::string_view kScramblePassword = "qavtbemo";

enum class WipeMode {
    Plain,    // move, scramble if asked, overwrite with one byte value, remove
    Gutmann,  // the Gutmann wiper's 35 passes
};

/// The arguments of the routine, in the order KXDeleteTheFile takes them.
struct DeleteRequest {
    std::string sFileName;       // full Windows path
    bool bSecurityMode = false;  // accepted, not used
    bool bEncryptIt = false;     // scramble with the cipher component first
    std::int16_t iDeleteN = 0;   // overwrite passes (none when 0 or negative)
    std::uint8_t yDeleteChar = 0;
    bool bDeleteIt = false;  // overwrite before removing
};

/// The routine as the engine calls it: the mode comes from the setting
/// "Gutmann" (section "Options"; a number other than 0 means the Gutmann
/// mode) of the settings the caller was handed; the rest comes with the
/// deletion's context. Answers the bytes freed (deleteTheFileAs). An index
/// file it defers is recorded nowhere: callers that belong to a cleaning run
/// use deleteInStoredMode and record it there.
/// Never throws.
double DeleteTheFile(const DeletionContext& context, const settings::AppSettings& options,
                     std::string_view sFileName, bool bSecurityMode, bool bEncryptIt,
                     std::int16_t iDeleteN, std::uint8_t yDeleteChar, bool bDeleteIt);

/// DeleteTheFile with what happened; without a settings store to read (no
/// machine bound) the outcome is Failed. Never throws.
DeleteResult deleteInStoredMode(const DeletionContext& context,
                                const settings::AppSettings& options, const DeleteRequest& request);

/// The same routine with the mode given, for callers that choose it per call
/// without touching the user's stored setting (the console host's shred).
///
/// Result: the outcome, and for a deleted file its size in bytes as
/// measured just before its content was destroyed (bytesFreed() is that size
/// for Deleted, 0 for every other outcome). In the plain mode:
/// - a path ending in ".ini" is left alone (KeptIni);
/// - a path containing "index.dat" is left in place for the cleaning run to
///   empty (DeferredIndexFile, its lower-cased path in indexFile);
/// - a path naming the temporary name itself is left alone (Refused,
///   TemporaryName);
/// - a symbolic link is removed itself, its target untouched (LinkRemoved);
///   a file with other hard links loses only this name, its content stays
///   for the others (NameRemoved); a folder or device is left alone
///   (Refused); a missing name is NothingThere;
/// - otherwise the file's attributes are reset to normal (a read-only file
///   could not be overwritten), a leftover temporary file of an earlier
///   interrupted call is destroyed first with the same settings (it holds
///   what that call was destroying), the file is moved to the temporary name,
///   scrambled when `bEncryptIt`, overwritten `iDeleteN` times when
///   `bDeleteIt`, and removed (Deleted). Every pass covers the whole file (the
///   bytes the scramble may have added included) and is on the device before
///   the next begins. A failing pass ends the passes with the status line
///   "Fehler beim Überschreiben der Datei " + lower-cased path and the file is
///   removed all the same; a failing scramble shows "Fehler beim
///   Verschlüsseln der Datei " + lower-cased path (in the user's language).
/// - a failure from the move on (the move refused, the machine gone) removes
///   the temporary file when there is one (Failed).
/// The status lines go to the context's sink, the scramble is the context's
/// scrambler. Yields to the message loop after the scramble and after each
/// pass; it does not test gbBreak itself. In the Gutmann mode
/// (CGutMAnn::destroyFile) the context's cancel flag raised while the wiper
/// runs stops it before its next write; the file then stays, partly
/// overwritten (Cancelled, nothing freed). Never throws.
DeleteResult deleteTheFileAs(const DeletionContext& context, WipeMode mode,
                             const DeleteRequest& request);

/// Gives a file left under the temporary name by an interrupted deletion
/// another name in its folder, one the weekly junk search finds as well
/// ("$$@$$.tmp", "$$@$$1.tmp", ...), under which the routine destroys it like
/// any other file. Answers the new name, "" when the move failed.
std::string moveLeftoverAside(platform::Machine& machine, std::string_view leftover);

/// The folder part of a Windows path: everything up to and including its
/// last backslash ("" when it has none).
std::string folderOf(std::string_view path);

}  // namespace kx::deletion
