// `kolvanex machine init|info`: create and describe the machine the engine
// works on.
#include <unistd.h>

#include <array>
#include <iostream>
#include <system_error>

#include "anonymity/shipped_files.hpp"
#include "frame/kolvanex.hpp"
#include "hosts/kolvanex/host.hpp"
#include "settings/settings_store.hpp"

namespace kx::host {
namespace {

std::string_view driveTypeName(platform::DriveType type) {
    switch (type) {
        case platform::DriveType::Removable: return "removable";
        case platform::DriveType::Fixed: return "fixed";
        case platform::DriveType::Remote: return "remote";
        case platform::DriveType::CdRom: return "cdrom";
        case platform::DriveType::RamDisk: return "ramdisk";
        case platform::DriveType::NoRootDir: return "no root";
        case platform::DriveType::Unknown: break;
    }
    return "unknown";
}

// The companion programs are built beside this program under their Windows
// names; `machine init` puts them into the suite's program folder.
constexpr std::array<std::string_view, 3> kCompanionPrograms = {"KXMonitor.exe", "KXPopup.Exe",
                                                                "KXChecker.Exe"};

// Copies each companion program found beside the running binary into the
// program folder. A copy goes in under a temporary name and is renamed over
// the old one, so a companion that is running keeps its file and the next
// start gets the new one. Answers false when a program found could not be
// installed; companions not built are skipped.
bool installCompanions(platform::Machine& machine) {
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) {
        std::cerr << "kolvanex: cannot find the companion programs: " << ec.message() << "\n";
        return false;
    }
    bool ok = true;
    for (const auto name : kCompanionPrograms) {
        const auto source = self.parent_path() / name;
        if (!std::filesystem::is_regular_file(source, ec))
            continue;
        // Resolved case-insensitively, so an existing file of another spelling
        // is replaced rather than joined by a second one.
        const auto target =
            machine.resolve(std::string(kProgramFolder) + "\\" + std::string(name));
        if (!target) {
            std::cerr << "kolvanex: " << target.error().message << "\n";
            ok = false;
            continue;
        }
        auto temporary = *target;
        temporary += ".new-" + std::to_string(::getpid());
        std::filesystem::copy_file(source, temporary,
                                   std::filesystem::copy_options::overwrite_existing, ec);
        if (!ec) {
            std::filesystem::permissions(temporary,
                                         std::filesystem::perms::owner_all |
                                             std::filesystem::perms::group_read |
                                             std::filesystem::perms::group_exec |
                                             std::filesystem::perms::others_read |
                                             std::filesystem::perms::others_exec,
                                         ec);
        }
        if (!ec)
            std::filesystem::rename(temporary, *target, ec);
        if (ec) {
            std::error_code ignored;
            std::filesystem::remove(temporary, ignored);
            std::cerr << "kolvanex: cannot install " << name << ": " << ec.message() << "\n";
            ok = false;
        }
    }
    return ok;
}

}  // namespace

int runMachineInit(const GlobalOptions& options, const std::optional<std::string>& user,
                   bool nonAdmin) {
    const auto prefix = options.prefix ? std::filesystem::path(*options.prefix)
                                       : platform::Machine::defaultPrefix();
    auto config = platform::MachineConfig::defaults();
    if (user) {
        if (user->empty() || user->find_first_of("\\/:*?\"<>|") != std::string::npos) {
            throw UsageError("not a valid Windows user name: '" + *user + "'");
        }
        config.userName = *user;
    }
    if (nonAdmin) {
        config.administrator = false;
        std::erase(config.tokenGroups, std::string("S-1-5-32-544"));
    }
    auto machine = platform::Machine::create(prefix, config);
    if (!machine) {
        std::cerr << "kolvanex: cannot create the machine at " << prefix.string() << ": "
                  << machine.error().message << "\n";
        return kExitFailed;
    }
    // The suite's program folder, where its companion programs and data files live.
    auto& m = **machine;
    const auto programFolder = m.resolve(kProgramFolder);
    if (!programFolder) {
        std::cerr << "kolvanex: " << programFolder.error().message << "\n";
        return kExitFailed;
    }
    std::filesystem::create_directories(*programFolder);
    if (!installCompanions(m))
        return kExitFailed;
    // The shipped data files (the proxy chain template, the ad filter's
    // script) go in when missing; a user's edited copy stays.
    if (!anonymity::installShippedFiles(m, kProgramFolder)) {
        std::cerr << "kolvanex: cannot install the data files into " << kProgramFolder << "\n";
        return kExitFailed;
    }
    std::cout << "machine ready at " << prefix.string() << "\n";
    return 0;
}

int runMachineInfo(const GlobalOptions& options) {
    Session session(options, true);
    auto& machine = session.machine();
    const auto& config = machine.config();
    CKOLVANEX kolvanex;
    std::cout << "prefix: " << machine.prefix().string() << "\n";
    std::cout << "system: " << kolvanex.Betriebssystem().value_or("") << " (version "
              << config.version.major << "." << config.version.minor << "."
              << config.version.build << ", platform " << config.version.platform << ", "
              << config.version.servicePack << ")\n";
    std::cout << "user: " << config.userName << (config.administrator ? " (administrator)" : "")
              << "\n";
    std::cout << "computer: " << config.computerName << "\n";
    std::cout << "profile: " << machine.userProfile() << "\n";
    for (const auto& drive : config.drives) {
        const std::string root = std::string(1, drive.letter) + ":\\";
        const auto path = machine.resolve(root);
        std::cout << "drive " << root << " " << driveTypeName(drive.type)
                  << (drive.shellTypeName.empty() ? "" : " (" + drive.shellTypeName + ")")
                  << " -> " << (path ? path->string() : std::string("no folder")) << "\n";
    }
    for (const auto& [name, address] : config.endpoints) {
        std::cout << "endpoint " << name << ": " << address << "\n";
    }
    std::cout << "program folder: " << kolvanex.KXAppPath().value_or("") << "\n";
    std::cout << "settings: HKEY_CURRENT_USER\\" << settings::kStoreRoot << "\\"
              << settings::applicationName() << "\n";
    return 0;
}

}  // namespace kx::host
