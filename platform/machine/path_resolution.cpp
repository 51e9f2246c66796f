// Resolving a Windows path of the machine to a host path: the drive through
// dosdevices, then each component without regard to case.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include "platform/files/folder_memo.hpp"
#include "platform/machine/machine_internals.hpp"

#include "platform/runtime/error.hpp"

namespace kx::platform {
namespace fs = std::filesystem;
using namespace detail;

namespace detail {
// A name Windows could hold as one path component.
bool validComponent(std::string_view name) {
    for (const char ch : name) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || std::string_view("<>:\"|?*").find(ch) != std::string_view::npos) {
            return false;
        }
    }
    return true;
}

bool isSeparator(char c) {
    return c == '\\' || c == '/';
}

// The components of a path after its drive letter, as Windows normalises it
// before it looks at the disk: "." skipped, ".." climbing one component.
std::expected<std::vector<std::string_view>, Error> lexicalParts(std::string_view path) {
    std::vector<std::string_view> parts;
    std::size_t pos = 2;
    while (pos < path.size()) {
        std::size_t end = pos;
        while (end < path.size() && !isSeparator(path[end])) ++end;
        const std::string_view part = path.substr(pos, end - pos);
        pos = end + 1;
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            if (parts.empty()) {
                return std::unexpected(machineError(trf(
                    "der Pfad steigt über das Stammverzeichnis seines Laufwerks hinaus: \"{1}\"",
                    {path})));
            }
            parts.pop_back();
            continue;
        }
        if (!validComponent(part)) {
            return std::unexpected(
                machineError(trf("ungültiger Name im Pfad: \"{1}\"", {path}), 123));
        }
        parts.push_back(part);
    }
    return parts;
}

}  // namespace detail

fs::path ResolvedPath::hostPath() const {
    // Joined as text and parsed once: appending part by part parses the
    // whole path again each time.
    std::string p = driveRoot.native();
    for (const auto& c : components) {
        if (p.empty() || p.back() != '/')
            p += '/';
        p += c;
    }
    return fs::path(std::move(p));
}

namespace {

// Calls `take` with the name of every entry of `folder`.
template <typename F>
void forEachName(const fs::path& folder, F&& take) {
    if (DIR* dir = ::opendir(folder.c_str()); dir != nullptr) {
        while (const dirent* e = ::readdir(dir)) {
            const std::string_view candidate = e->d_name;
            if (candidate != "." && candidate != "..")
                take(candidate);
        }
        ::closedir(dir);
    }
}

bool existsExactly(const std::string& folder, std::string_view part) {
    struct stat st {};
    std::string path = folder;
    path += '/';
    path += part;
    return ::lstat(path.c_str(), &st) == 0;
}

// The name a component has on disk in `folder`: the exact spelling when it
// exists, else the first case-insensitive match in byte order (so the
// answer is stable); nothing when there is neither.
std::optional<std::string> onDiskName(const fs::path& folder, std::string_view part) {
    if (existsExactly(folder.native(), part))
        return std::string(part);
    const std::string want = vbLCase(part);
    std::optional<std::string> best;
    forEachName(folder, [&](std::string_view candidate) {
        if (vbLCase(candidate) == want && (!best || candidate < *best))
            best = std::string(candidate);
    });
    return best;
}

// The same within a memo scope, with the folder's names read once.
std::string memoName(FolderMemo& memo, std::string_view part) {
    // Looked at from the folder's descriptor when the last walk opened this
    // folder: the kernel need not walk the whole path again.
    bool exact = false;
    if (memo.walked.valid() && memo.walkedKey == memo.parentHost) {
        struct stat st {};
        exact =
            ::fstatat(memo.walked.get(), std::string(part).c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    } else {
        exact = existsExactly(memo.parentHost, part);
    }
    if (exact)
        return std::string(part);
    if (!memo.listed) {
        forEachName(memo.parentHost, [&](std::string_view candidate) {
            auto [it, added] = memo.namesByLowerCase.try_emplace(vbLCase(candidate), candidate);
            if (!added && candidate < it->second)
                it->second = std::string(candidate);
        });
        memo.listed = true;
    }
    const auto it = memo.namesByLowerCase.find(vbLCase(part));
    return it != memo.namesByLowerCase.end() ? it->second : std::string(part);
}

}  // namespace

std::expected<ResolvedPath, Error> Machine::resolveParts(std::string_view path) const {
    if (path.size() >= 2 && isSeparator(path[0]) && isSeparator(path[1])) {
        return std::unexpected(
            machineError(trf("UNC- und Gerätepfade werden nicht unterstützt: {1}", {path})));
    }
    if (path.size() < 2 || path[1] != ':' || !std::isalpha(static_cast<unsigned char>(path[0]))) {
        return std::unexpected(
            machineError(trf("kein Pfad mit Laufwerksbuchstaben: \"{1}\"", {path})));
    }
    const Drive* d = drive(path[0]);
    if (d == nullptr) {
        return std::unexpected(machineError(trf("unbekanntes Laufwerk {1}:", {path.substr(0, 1)})));
    }
    if (!driveHasFolder(*d)) {
        return std::unexpected(
            machineError(trf("Laufwerk {1}: ist nicht bereit", {std::string(1, d->letter)}), 21));
    }
    ResolvedPath out;
    const char l = static_cast<char>(std::tolower(static_cast<unsigned char>(d->letter)));
    out.driveRoot = prefix_ / "dosdevices" / (std::string(1, l) + ":");

    auto lexical = lexicalParts(path);
    KX_PROPAGATE(lexical);
    std::vector<std::string_view> parts = std::move(*lexical);

    // A linked folder on the way becomes the root the rest is found below.
    const LinkedFolder* link = linkOf(config_, d->letter, parts);
    if (link != nullptr) {
        out.driveRoot = link->hostFolder;
        parts.erase(parts.begin(), parts.begin() + static_cast<std::ptrdiff_t>(linkDepth(*link)));
    }

    // Within a memo scope a path whose folder was the last one resolved
    // only needs its last component found.
    FolderMemo* memo = parts.empty() ? nullptr : activeFolderMemo();
    std::string memoKey;
    if (memo != nullptr) {
        memoKey = out.driveRoot.string();
        for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
            memoKey += '\\';
            memoKey += parts[i];
        }
        if (memoKey == memo->resolvedKey) {
            out = memo->parent;
            out.components.push_back(memo->parentMissing ? std::string(parts.back())
                                                         : memoName(*memo, parts.back()));
            return out;
        }
    }

    struct stat st {};
    if (link != nullptr) {
        if (::stat(out.driveRoot.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            return std::unexpected(
                machineError(trf("der verknüpfte Ordner {1} von {2} fehlt",
                                 {link->hostFolder.string(), link->windowsPath})));
        }
    } else if (::stat(out.driveRoot.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        return std::unexpected(machineError(
            trf("Laufwerk {1}: hat keinen Ordner im Präfix", {std::string(1, d->letter)})));
    }

    // Then each component on disk: the exact spelling if it exists, else the
    // first case-insensitive match (in byte order, so the answer is stable).
    fs::path current = out.driveRoot;
    bool missing = false;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (memo != nullptr && i + 1 == parts.size()) {
            memo->resolvedKey = memoKey;
            memo->parent = out;
            memo->parentHost = out.hostPath().native();
            memo->parentMissing = missing;
            memo->listed = false;
            memo->namesByLowerCase.clear();
        }
        std::string name(parts[i]);
        if (!missing) {
            if (auto found = onDiskName(current, parts[i]))
                name = std::move(*found);
            else
                missing = true;  // the rest keeps the given spelling
        }
        current /= name;
        out.components.push_back(std::move(name));
    }
    return out;
}

std::expected<fs::path, Error> Machine::resolve(std::string_view windowsPath) const {
    auto parts = resolveParts(windowsPath);
    KX_PROPAGATE(parts);
    return parts->hostPath();
}

}  // namespace kx::platform
