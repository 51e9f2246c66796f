#pragma once
// The machine: a Windows view over a prefix folder laid out like a Wine
// prefix (drive_c/, dosdevices/, registry.db, machine.ini).
#include <cstdint>
#include <expected>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/registry.hpp"
#include "platform/runtime/error.hpp"

namespace kx::platform {

/// GetDriveTypeA codes.
enum class DriveType : std::uint32_t {
    Unknown = 0,
    NoRootDir = 1,
    Removable = 2,
    Fixed = 3,
    Remote = 4,
    CdRom = 5,
    RamDisk = 6,
};

struct Drive {
    char letter = 'C';  // upper case
    DriveType type = DriveType::Fixed;
    std::string shellTypeName;  // "Lokaler Datenträger", "3,5-Diskette", ...
    /// The host folder the drive shows, absolute; empty for its own folder
    /// drive_<letter> in the prefix. Z: shows the host's root, as in Wine.
    std::filesystem::path hostFolder = {};
};

/// Whether a drive has a folder in the prefix (drive_<letter>). Removable
/// drives are floppies without a disk in them, and drives of an unknown kind
/// or without a root have nothing to show, so only those lack one.
bool driveHasFolder(const Drive& drive);

/// The record GetVersionExA fills.
struct VersionRecord {
    std::uint32_t major = 5;
    std::uint32_t minor = 1;
    std::uint32_t build = 2600;
    std::uint32_t platform = 2;  // 2 NT family, 1 Windows 9x
    std::string servicePack = "Service Pack 2";
};

/// A folder of the machine that stands for a folder of the host, as a
/// volume mounted into an empty folder does on Windows.
struct LinkedFolder {
    std::string windowsPath;           // C:\...\Profiles\kx.default, no trailing backslash
    std::filesystem::path hostFolder;  // absolute, links resolved when it was linked
};

/// What machine.ini holds.
struct MachineConfig {
    VersionRecord version;
    std::string userName = "anna";
    std::string computerName = "KOLVANEX-PC";
    bool administrator = true;
    /// Security identifiers of the user's token groups, in token order
    /// ("S-1-1-0", "S-1-5-32-544", ...).
    std::vector<std::string> tokenGroups;
    std::vector<Drive> drives;  // in letter order
    /// Outside parties by name ("maker" -> "http://127.0.0.1:8080", ...).
    std::map<std::string, std::string> endpoints;
    /// Folders of the machine that stand for folders of the host (see
    /// Machine::linkFolder), in the order they were linked.
    std::vector<LinkedFolder> linkedFolders;

    /// The defaults of a new machine: a German Windows XP, one user who is an
    /// administrator, drives A: (3,5-Diskette, no folder), C: (fixed), D: (CD-ROM)
    /// and Z:, the host's root as a network drive: the user's own files are
    /// reachable by name, and nothing that walks the fixed drives (the weekly
    /// junk search, the recycle bins) ever walks the host.
    static MachineConfig defaults();

    /// The token groups Windows XP gives an interactive user: Everyone,
    /// Administrators (only for an administrator), Users, Interactive,
    /// Authenticated Users.
    static std::vector<std::string> defaultTokenGroups(bool administrator);
};

// Failures of the machine carry the Win32 code a file call reports for them:
// 3 (path not found) for a path that reaches no drive or climbs out of one,
// 123 (invalid name) for a component Windows could not hold, 5 for a prefix
// that cannot be used.

/// A Windows path taken apart: the host folder of its drive's root and the
/// components below it, in their on-disk spelling where they exist.
struct ResolvedPath {
    std::filesystem::path driveRoot;  // <prefix>/dosdevices/c:
    std::vector<std::string> components;

    std::filesystem::path hostPath() const;
};

/// Whether a folder is a Wine prefix: it holds "system.reg", "user.reg" and
/// "dosdevices". No machine is made or opened in one, since its registry
/// lives in those files, which a machine neither reads nor writes.
bool isWinePrefix(const std::filesystem::path& folder);

/// One machine prefix. Windows paths given to it use "\" (or "/") separators
/// and start with a drive letter and ":".
class Machine {
  public:
    /// The default prefix: $KOLVANEX_PREFIX, else $XDG_DATA_HOME/kolvanex/machine,
    /// else ~/.local/share/kolvanex/machine.
    static std::filesystem::path defaultPrefix();

    /// Opens an existing prefix (machine.ini and registry.db must be there).
    static std::expected<std::unique_ptr<Machine>, Error> open(const std::filesystem::path& prefix);

    /// Creates a prefix with the skeleton of a German Windows XP installation
    /// (folders, dosdevices links, machine.ini, registry with Shell Folders
    /// values); an existing prefix is opened and completed, never wiped.
    static std::expected<std::unique_ptr<Machine>, Error> create(
        const std::filesystem::path& prefix,
        const MachineConfig& config = MachineConfig::defaults());

    /// Opens the prefix, creating it first when it does not exist.
    static std::expected<std::unique_ptr<Machine>, Error> openOrCreate(
        const std::filesystem::path& prefix);

    ~Machine();
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;

    const std::filesystem::path& prefix() const { return prefix_; }
    const MachineConfig& config() const { return config_; }
    Registry& registry() { return *registry_; }

    /// The drive of a letter (any case), or null.
    const Drive* drive(char letter) const;

    /// Maps a Windows path onto the prefix: the drive letter through
    /// dosdevices, then each component case-insensitively (an exact match
    /// first). Components that do not exist keep the given spelling, so a
    /// file can be created. "." is skipped; ".." climbs one component, and a
    /// path whose ".." would climb above the drive's root fails rather than
    /// being clamped to the root (a cleaner must not end up somewhere other
    /// than where it was sent). Fails for paths without a known drive letter
    /// ("", ":", "\\foo", "Q:\\x" with no Q:), UNC paths ("\\\\server\\share"),
    /// drives without a folder (a floppy with no disk) and components holding
    /// characters Windows forbids in names (control characters, <>:"|?*).
    /// "C:" and "C:name" count from the root: every drive's current folder is
    /// its root here. Links on the way are followed; callers that write use
    /// `resolveParts` and walk the components without following links.
    std::expected<std::filesystem::path, Error> resolve(std::string_view windowsPath) const;

    /// The same resolution, answered as the drive's root plus components.
    std::expected<ResolvedPath, Error> resolveParts(std::string_view windowsPath) const;

    /// Links a folder of the machine to a folder of the host: from then on the
    /// Windows path and everything below it resolve into `hostFolder`, which
    /// the file layer treats as the root of a drive. Writes below it walk
    /// from there without following any further link, so files inside the
    /// host folder are written in place, while nothing can be written
    /// through the link itself. A symbolic link stands at the folder's place
    /// in the prefix, so the tree looks as it resolves; directory scans walk
    /// the linked folder in its place. The link is kept in machine.ini.
    /// Linking the same folder again points it at the new host folder.
    /// Fails for a host folder that is not an existing folder given by an
    /// absolute path, for a drive's root, for a place inside another linked
    /// folder, and when a folder with entries already stands at the place.
    std::expected<void, Error> linkFolder(std::string_view windowsFolder,
                                          const std::filesystem::path& hostFolder);

    /// The linked folders strictly below a Windows folder: each one's path
    /// relative to that folder (components) and its host folder.
    struct LinkBelow {
        std::vector<std::string> relative;
        std::filesystem::path hostFolder;
    };
    std::vector<LinkBelow> linkedFoldersBelow(std::string_view windowsFolder) const;

    /// The home directory of the user's Windows profile.
    std::string userProfile() const;  // "C:\\Dokumente und Einstellungen\\<user>"

    /// Endpoint of an outside party, "" when machine.ini names none.
    std::string endpoint(std::string_view name) const;

  private:
    Machine(std::filesystem::path prefix, MachineConfig config, std::unique_ptr<Registry> registry);

    std::filesystem::path prefix_;
    MachineConfig config_;
    std::unique_ptr<Registry> registry_;
};

/// The machine the calling thread works on, as a Windows process has one
/// system. Hosts and tests bind it with a MachineScope; `currentMachine()`
/// throws std::logic_error when none is bound.
Machine& currentMachine();
bool hasCurrentMachine();

/// Binds a machine to the calling thread for the scope's lifetime, restoring
/// the previous binding afterwards.
class MachineScope {
  public:
    explicit MachineScope(Machine& machine);
    ~MachineScope();
    MachineScope(const MachineScope&) = delete;
    MachineScope& operator=(const MachineScope&) = delete;

  private:
    Machine* previous_;
};

/// While one lives on a thread, the path resolution and the folder walks of
/// the file calls on that thread remember the last folder they went through,
/// so that a loop over the files of one folder finds the folder once instead
/// of once per call. Only for loops during which no folder on the way is
/// renamed, removed or linked; scopes nest (the outermost one counts).
class FolderMemoScope {
  public:
    FolderMemoScope();
    ~FolderMemoScope();
    FolderMemoScope(const FolderMemoScope&) = delete;
    FolderMemoScope& operator=(const FolderMemoScope&) = delete;

  private:
    bool owner_;
};

}  // namespace kx::platform
