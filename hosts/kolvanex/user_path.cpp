#include "hosts/kolvanex/user_path.hpp"

#include <cctype>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "hosts/kolvanex/host.hpp"
#include "platform/runtime/translation.hpp"

namespace kx::host {
namespace fs = std::filesystem;
using platform::trf;

namespace {

// A name Windows could hold as one component (a "\" would split it).
bool windowsCanHold(std::string_view name) {
    for (const char ch : name) {
        if (static_cast<unsigned char>(ch) < 0x20 ||
            std::string_view("\\:*?\"<>|").find(ch) != std::string_view::npos)
            return false;
    }
    return true;
}

// A host folder that shows a Windows folder: a drive's root or a linked folder.
struct Shown {
    fs::path host;
    std::string windows;  // "C:" or "C:\...\kx.default"
};

std::vector<Shown> shownFolders(const platform::Machine& machine) {
    std::vector<Shown> out;
    for (const auto& drive : machine.config().drives) {
        const std::string letter = std::string(1, drive.letter) + ":";
        const auto root = machine.resolve(letter + "\\");
        std::error_code ec;
        if (const auto folder = root ? fs::canonical(*root, ec) : fs::path(); root && !ec)
            out.push_back({folder, letter});
    }
    for (const auto& link : machine.config().linkedFolders)
        out.push_back({link.hostFolder, link.windowsPath});
    return out;
}

}  // namespace

bool UserPath::isWindows() const {
    return given_.size() >= 2 && std::isalpha(static_cast<unsigned char>(given_[0])) &&
           given_[1] == ':';
}

fs::path UserPath::absoluteLinux() const {
    fs::path p = given_;
    if (given_ == "~" || given_.starts_with("~/")) {
        const char* home = std::getenv("HOME");
        if (home == nullptr || *home == '\0')
            throw UsageError(trf("'{1}': HOME ist nicht gesetzt", {given_}));
        p = fs::path(home) / given_.substr(given_.size() > 1 ? 2 : 1);
    }
    if (p.is_relative())
        p = fs::current_path() / p;
    p = p.lexically_normal();
    if (!p.has_filename() && p != p.root_path())
        p = p.parent_path();  // "dir/" names the folder
    if (p == p.root_path())
        return p;
    std::error_code ec;
    const fs::path folder = fs::weakly_canonical(p.parent_path(), ec);
    return (ec ? p.parent_path() : folder) / p.filename();
}

std::string UserPath::windows(const platform::Machine& machine) const {
    if (isWindows()) {
        if (const auto parts = machine.resolveParts(given_); !parts)
            throw UsageError("'" + given_ + "': " + parts.error().message);
        return given_;
    }
    const fs::path file = absoluteLinux();
    // The deepest folder that shows the file names it: C: before Z:, a
    // linked folder before the drive it lies on.
    std::optional<Shown> best;
    fs::path relative;
    for (auto& shown : shownFolders(machine)) {
        fs::path rel = file.lexically_relative(shown.host);
        if (rel.empty() || *rel.begin() == "..")
            continue;
        if (!best || shown.host.native().size() > best->host.native().size()) {
            best = std::move(shown);
            relative = std::move(rel);
        }
    }
    if (!best) {
        throw UsageError(
            trf("'{1}' liegt auf keinem Laufwerk der Maschine ('kolvanex machine "
                "init' gibt ihr Z:, die Wurzel des Hosts)",
                {given_}));
    }
    std::string out = best->windows;
    std::vector<std::string> names;
    for (const auto& part : relative) {
        if (part == ".")
            continue;
        if (!windowsCanHold(part.native())) {
            throw UsageError(
                trf("'{1}' lässt sich auf der Maschine nicht benennen: '{2}' enthält "
                    "ein Zeichen, das Windows nicht erlaubt",
                    {given_, part.string()}));
        }
        names.push_back(part.string());
        out += "\\" + part.string();
    }
    if (names.empty() && out.size() == 2)
        out += "\\";
    // The machine finds names without regard to case: where the file does
    // not exist but another spelling does, it would reach that one instead.
    const auto parts = machine.resolveParts(out);
    if (!parts || parts->components != names) {
        throw UsageError(
            trf("'{1}' ist auf der Maschine nicht unter dem eigenen Namen erreichbar "
                "(ein anderer Eintrag unterscheidet sich nur in der "
                "Groß-/Kleinschreibung)",
                {given_}));
    }
    return out;
}

fs::path UserPath::host(const platform::Machine& machine) const {
    if (!isWindows())
        return absoluteLinux();
    const auto resolved = machine.resolve(given_);
    if (!resolved)
        throw UsageError("'" + given_ + "': " + resolved.error().message);
    return *resolved;
}

}  // namespace kx::host
