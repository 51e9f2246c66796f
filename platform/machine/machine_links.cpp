// Linked folders: a folder of the machine standing for a folder of the host.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/machine/machine_internals.hpp"

#include "platform/runtime/error.hpp"
#include "platform/runtime/system_reason.hpp"

namespace kx::platform {
namespace fs = std::filesystem;
using namespace detail;

namespace detail {
// The components of a linked folder's Windows path, without its drive.
std::vector<std::string_view> linkParts(const LinkedFolder& link) {
    auto parts = lexicalParts(link.windowsPath);
    return parts ? std::move(*parts) : std::vector<std::string_view>{};
}

std::size_t linkDepth(const LinkedFolder& link) {
    return linkParts(link).size();
}

bool sameDrive(const LinkedFolder& link, char letter) {
    return link.windowsPath.size() >= 2 && link.windowsPath[1] == ':' &&
           std::toupper(static_cast<unsigned char>(link.windowsPath[0])) ==
               std::toupper(static_cast<unsigned char>(letter));
}

// The deepest linked folder a path lies in (or is), or null.
const LinkedFolder* linkOf(const MachineConfig& c, char letter,
                           const std::vector<std::string_view>& parts) {
    const LinkedFolder* best = nullptr;
    std::size_t bestDepth = 0;
    for (const auto& link : c.linkedFolders) {
        const auto own = linkParts(link);
        if (own.empty() || !sameDrive(link, letter) || !startsWith(parts, own))
            continue;
        if (best == nullptr || own.size() > bestDepth) {
            best = &link;
            bestDepth = own.size();
        }
    }
    return best;
}

}  // namespace detail

std::expected<void, Error> Machine::linkFolder(std::string_view windowsFolder,
                                               const fs::path& hostFolder) {
    std::error_code ec;
    if (!hostFolder.is_absolute())
        return std::unexpected(
            machineError(trf("kein absoluter Pfad: {1}", {hostFolder.string()})));
    const fs::path target = fs::canonical(hostFolder, ec);
    if (ec || !fs::is_directory(target, ec))
        return std::unexpected(machineError(trf("kein Ordner: {1}", {hostFolder.string()})));
    // machine.ini keeps the link as "path=folder".
    if (windowsFolder.find('=') != std::string_view::npos)
        return std::unexpected(
            machineError(std::string(tr("ein Pfad mit \"=\" kann nicht verknüpft werden")), 123));
    KX_PROPAGATE(resolveParts(windowsFolder));
    auto lexical = lexicalParts(windowsFolder);
    KX_PROPAGATE(lexical);
    const auto& parts = *lexical;
    if (parts.empty())
        return std::unexpected(machineError(
            std::string(tr("das Stammverzeichnis eines Laufwerks kann nicht verknüpft werden")),
            5));

    // The place's parent must be a folder of the prefix itself: made where
    // missing, and never reached through a link.
    const char letter =
        static_cast<char>(std::toupper(static_cast<unsigned char>(windowsFolder[0])));
    std::string parent = std::string(1, letter) + ":";
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) parent += "\\" + std::string(parts[i]);
    auto above = resolveParts(parent);
    KX_PROPAGATE(above);
    const fs::path driveRoot =
        prefix_ / "dosdevices" / (std::string(1, static_cast<char>(std::tolower(letter))) + ":");
    if (above->driveRoot != driveRoot)
        return std::unexpected(
            machineError(trf("{1} liegt in einem verknüpften Ordner", {windowsFolder}), 5));
    fs::path folder = driveRoot;
    std::string windowsPath = std::string(1, letter) + ":";
    struct stat st {};
    for (const auto& name : above->components) {
        folder /= name;
        windowsPath += "\\" + name;
        if (::lstat(folder.c_str(), &st) != 0) {
            if (::mkdir(folder.c_str(), 0755) != 0)
                return std::unexpected(
                    machineError(trf("{1} kann nicht erstellt werden", {folder.string()}), 5));
        } else if (!S_ISDIR(st.st_mode)) {
            return std::unexpected(machineError(
                trf("{1} ist kein Ordner der Maschine (eine Verknüpfung oder eine Datei)",
                    {windowsPath}),
                5));
        }
    }

    // The place itself: its spelling on disk when something stands there.
    std::string name(parts.back());
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        const auto candidate = entry.path().filename().string();
        if (winEqualNoCase(candidate, name)) {
            name = candidate;
            break;
        }
    }
    const fs::path place = folder / name;
    windowsPath += "\\" + name;
    if (::lstat(place.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode) && !fs::is_empty(place, ec))
            return std::unexpected(
                machineError(trf("{1} ist ein Ordner mit Einträgen", {windowsPath}), 5));
        if (!S_ISDIR(st.st_mode) && !S_ISLNK(st.st_mode))
            return std::unexpected(machineError(trf("{1} ist eine Datei", {windowsPath}), 5));
        if (::remove(place.c_str()) != 0)
            return std::unexpected(
                machineError(trf("{1} kann nicht ersetzt werden", {place.string()}), 5));
    }
    if (::symlink(target.c_str(), place.c_str()) != 0)
        return std::unexpected(machineError(
            trf("{1} kann nicht verknüpft werden: {2}", {place.string(), systemReason(errno)}), 5));

    MachineConfig updated = config_;
    std::erase_if(updated.linkedFolders, [&](const LinkedFolder& l) {
        return winEqualNoCase(l.windowsPath, windowsPath);
    });
    updated.linkedFolders.push_back({windowsPath, target});
    const fs::path iniPath = prefix_ / "machine.ini";
    auto ini = IniFile::load(iniPath);
    if (ini) {
        configToIni(updated, *ini);
        if (auto saved = ini->save(iniPath); saved) {
            config_ = std::move(updated);
            return {};
        }
    }
    ::unlink(place.c_str());
    return std::unexpected(machineError(
        trf("die Verknüpfung kann nicht in {1} vermerkt werden", {iniPath.string()}), 5));
}

std::vector<Machine::LinkBelow> Machine::linkedFoldersBelow(std::string_view windowsFolder) const {
    std::vector<LinkBelow> below;
    if (windowsFolder.size() < 2 || windowsFolder[1] != ':')
        return below;
    const auto parts = lexicalParts(windowsFolder);
    if (!parts)
        return below;
    for (const auto& link : config_.linkedFolders) {
        const auto own = linkParts(link);
        if (!sameDrive(link, windowsFolder[0]) || own.size() <= parts->size() ||
            !startsWith(own, *parts))
            continue;
        LinkBelow one;
        one.relative.assign(own.begin() + static_cast<std::ptrdiff_t>(parts->size()), own.end());
        one.hostFolder = link.hostFolder;
        below.push_back(std::move(one));
    }
    return below;
}

}  // namespace kx::platform
