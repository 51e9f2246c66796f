#include "fsys/fresh_files.hpp"

#include <cstddef>
#include <exception>
#include <functional>

#include "platform/files/files.hpp"
#include "platform/files/overwrite.hpp"
#include "platform/machine/machine.hpp"

namespace kx::fsys {
namespace {

namespace pf = kx::platform;

// How many numbered names a fresh file tries before giving up.
constexpr int kNameTries = 1000;

enum class Claim { Taken, InUse, Failed };

// The first name of the series that `claim` could take, "" when none.
std::string firstFreeName(std::string_view folder, std::string_view stem, std::string_view ending,
                          const std::function<Claim(const std::string&)>& claim,
                          int tries = kNameTries) {
    std::string prefix(folder);
    if (!prefix.empty() && prefix.back() != '\\')
        prefix += '\\';
    prefix += stem;
    for (int n = 0; n < tries; ++n) {
        const std::string candidate =
            prefix + (n == 0 ? std::string() : std::to_string(n)) + std::string(ending);
        switch (claim(candidate)) {
            case Claim::Taken:
                return candidate;
            case Claim::Failed:
                return {};
            case Claim::InUse:
                break;
        }
    }
    return {};
}

Claim claimOf(const pf::FileError& error) {
    return error.code == pf::FileError::AlreadyExists ? Claim::InUse : Claim::Failed;
}

}  // namespace

std::string moveToFreeName(pf::Machine& machine, std::string_view path, std::string_view folder,
                           std::string_view stem, std::string_view ending, int tries) {
    return firstFreeName(
        folder, stem, ending,
        [&](const std::string& to) {
            const auto moved = pf::files::rename(machine, path, to);
            return moved ? Claim::Taken : claimOf(moved.error());
        },
        tries);
}

std::string createFreshFile(std::string_view folder, std::string_view stem,
                            std::string_view ending) {
    try {
        auto& machine = pf::currentMachine();
        return firstFreeName(folder, stem, ending, [&machine](const std::string& candidate) {
            auto file =
                pf::OverwriteFile::open(machine, candidate, pf::OverwriteFile::Open::CreateNew);
            return file ? Claim::Taken : claimOf(file.error());
        });
    } catch (const std::exception&) {
        return {};
    }
}

std::string replaceKeepingOld(std::string_view path, std::string_view content) {
    try {
        auto& machine = pf::currentMachine();
        const auto slash = path.rfind('\\');
        if (slash == std::string_view::npos)
            return {};
        const std::string_view folder = path.substr(0, slash);
        const std::string_view name = path.substr(slash + 1);

        // The new content first, complete and on the disk, under a fresh
        // name beside the file.
        const std::string fresh = createFreshFile(folder, "~" + std::string(name), ".tmp");
        if (fresh.empty())
            return {};
        if (!pf::files::writeAll(machine, fresh, content)) {
            (void)pf::files::remove(machine, fresh);
            return {};
        }
        // Then the two names swap in one step: whenever the process ends, the
        // file's name holds the old content or the new one, whole.
        const auto swapped = pf::files::exchange(machine, fresh, path);
        if (swapped)
            return fresh;
        if (swapped.error().code != pf::FileError::NotSupported) {
            (void)pf::files::remove(machine, fresh);
            return {};
        }
        // A file system that cannot swap names: two moves, no name replaced.
        const std::string old =
            moveToFreeName(machine, path, folder, "~" + std::string(name), ".tmp", kNameTries);
        if (old.empty()) {
            (void)pf::files::remove(machine, fresh);
            return {};
        }
        if (!pf::files::rename(machine, fresh, path)) {
            (void)pf::files::rename(machine, old, path);
            (void)pf::files::remove(machine, fresh);
            return {};
        }
        return old;
    } catch (const std::exception&) {
        return {};
    }
}

}  // namespace kx::fsys
