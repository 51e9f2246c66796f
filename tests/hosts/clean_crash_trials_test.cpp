// A whole cleaning run of a planted machine ended by kill -9 at many points,
// placed by the file changes it has made (and by its registry writes), not
// by time. After each kill every file the user keeps is whole, the ones the
// run rewrites are old or new, the registry passes its integrity check, the
// next start gives every kept file its attributes back, and a second run
// leaves the machine as clean as an uninterrupted run does.
//
// A handful of points here; KOLVANEX_CRASH_TRIALS=full tries every point,
// =N every N-th (tests/run_crash_trials.sh).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/shared_state.hpp"
#include "hosts/kolvanex/demo_tracks.hpp"
#include "hosts/kolvanex/host.hpp"
#include "platform/files/files.hpp"
#include "platform/registry/registry_key.hpp"
#include "platform/storage/sqlite_database.hpp"
#include "support/host_run.hpp"
#include "support/temp_machine.hpp"

namespace kx::test {
namespace {

namespace fs = std::filesystem;
using host::Expect;

using Contents = std::vector<std::optional<std::string>>;

platform::MachineConfig withSecondDrive() {
    auto config = platform::MachineConfig::defaults();
    config.drives.push_back({'E', platform::DriveType::Fixed, "Lokaler Datenträger"});
    return config;
}

// KOLVANEX_CRASH_TRIALS=full tries every point, =N every N-th; 0 the
// handful of points given.
long trialStride() {
    const char* value = std::getenv("KOLVANEX_CRASH_TRIALS");
    if (value == nullptr)
        return 0;
    return std::string_view(value) == "full" ? 1 : std::max(0L, std::atol(value));
}

// One planted machine.
class Planted {
  public:
    Planted() : tracks_(plant()), originals_(contents()) {}

    HostRun kolvanex(const std::vector<std::string>& args, const char* killVariable = nullptr,
                     long killAt = 0) {
        if (killVariable != nullptr)
            ::setenv(killVariable, std::to_string(killAt).c_str(), 1);
        auto run = runKolvanex(tm_.prefix(), args, tm_.root());
        if (killVariable != nullptr)
            ::unsetenv(killVariable);
        return run;
    }

    // Every planted file's content now, nothing for a file that is gone.
    Contents contents() const {
        Contents now;
        for (const auto& file : tracks_.files) {
            auto bytes = platform::files::readAll(file.path);
            now.push_back(bytes ? std::optional(*bytes) : std::nullopt);
        }
        return now;
    }

    std::string integrity() const {
        auto db = platform::storage::Database::openShared(tm_.prefix() / "registry.db",
                                                          std::chrono::milliseconds(5000));
        auto check = db->prepare("PRAGMA integrity_check");
        return check.step() ? check.text(0) : "no answer";
    }

    // Right after a kill: what the user keeps is whole, what the run
    // rewrites is old or new, what it removes is whole under its name or
    // gone. An index file is blanked where it lies, so a kill may leave it
    // half blanked; the next run finishes it.
    void wholeAfterKill(const Contents& cleaned, const std::string& where) const {
        const auto now = contents();
        for (std::size_t i = 0; i < now.size(); ++i) {
            const auto& file = tracks_.files[i];
            const std::string at = file.path + ", " + where;
            switch (file.expect) {
                case Expect::Kept:
                    EXPECT_EQ(now[i], originals_[i]) << at;
                    break;
                case Expect::Emptied:
                    if (file.path.find("index.dat") == std::string::npos) {
                        EXPECT_TRUE(now[i] == originals_[i] || now[i] == cleaned[i]) << at;
                    }
                    break;
                case Expect::Gone:
                    // The name every destroyed file takes meanwhile may hold another's.
                    if (!file.path.ends_with("$$@$$.del")) {
                        EXPECT_TRUE(!now[i] || now[i] == originals_[i]) << at;
                    }
                    break;
            }
        }
    }

    // No kept file hidden: read-only, hidden and system are the run's marks.
    void noKeptFileHidden(const std::string& where) const {
        for (const auto& file : tracks_.files) {
            if (file.expect != Expect::Kept)
                continue;
            const auto bits = platform::files::attributes(file.path);
            EXPECT_TRUE(bits && (*bits & platform::fileattr::Hidden) == 0)
                << file.path << ", " << where;
        }
    }

    // As an uninterrupted run leaves it: the same files with the same bytes,
    // the registry lists empty, no temporary name of a destroyed or rewritten
    // file left anywhere.
    void clean(const Contents& cleaned, const std::string& where) const {
        EXPECT_EQ(contents(), cleaned) << where;
        noKeptFileHidden(where);
        auto& registry = platform::currentMachine().registry();
        for (const auto& key : tracks_.registryKeys) {
            platform::HKEY open = 0;
            if (registry.RegOpenKeyExA(platform::HKEY_CURRENT_USER, key, 0, platform::KEY_READ,
                                       &open) != platform::ERROR_SUCCESS)
                continue;
            platform::RegKey closer(registry, open);
            char name[256];
            platform::DWORD size = sizeof name;
            EXPECT_NE(
                registry.RegEnumValueA(open, 0, name, &size, nullptr, nullptr, nullptr, nullptr),
                platform::ERROR_SUCCESS)
                << key << " still holds values, " << where;
        }
        for (const char* drive : {"drive_c", "drive_e"}) {
            for (const auto& entry : fs::recursive_directory_iterator(tm_.prefix() / drive)) {
                const std::string name = entry.path().filename().string();
                EXPECT_FALSE(name == "$$@$$.del" || name.starts_with(".~kx") ||
                             name.find(".kx-new-") != std::string::npos)
                    << entry.path() << " left, " << where;
            }
        }
    }

  private:
    // The tracks go where the host's runs look for them.
    static host::PlantedTracks plant() {
        shared().KXAppPath = std::string(host::kProgramFolder);
        return host::plantDemoTracks();
    }

    TempMachine tm_{withSecondDrive()};
    host::PlantedTracks tracks_;
    Contents originals_;
};

const std::vector<std::string> kClean = {"--quiet", "clean"};

// What an uninterrupted run leaves of the planted files.
const Contents& cleanedOnce() {
    static const Contents cleaned = [] {
        Planted machine;
        const auto run = machine.kolvanex(kClean);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        return machine.contents();
    }();
    return cleaned;
}

// Kills a run at each of `points` (or at every stride-th point from 1)
// until one finishes on its own; answers how many were killed.
int killTrials(const char* variable, const std::vector<long>& points) {
    const Contents& cleaned = cleanedOnce();
    const long stride = trialStride();
    int killed = 0;
    for (std::size_t i = 0; stride > 0 || i < points.size(); ++i) {
        const long at = stride > 0 ? static_cast<long>(i) * stride + 1 : points[i];
        const std::string where = std::string(variable) + "=" + std::to_string(at);
        Planted machine;
        const auto run = machine.kolvanex(kClean, variable, at);
        if (run.exitCode == 0)
            return killed;
        ++killed;
        EXPECT_TRUE(run.exitCode == 128 + SIGKILL || run.exitCode == -1)
            << where << ": " << run.err;
        EXPECT_EQ(machine.integrity(), "ok") << where;
        machine.wholeAfterKill(cleaned, where);
        const auto start = machine.kolvanex({"--quiet", "settings", "get", "Options", "DeleteN"});
        EXPECT_EQ(start.exitCode, 0) << start.err;
        machine.noKeptFileHidden("after the next start, " + where);
        const auto again = machine.kolvanex(kClean);
        EXPECT_EQ(again.exitCode, 0) << where << ": " << again.err;
        machine.clean(cleaned, "second run after " + where);
        if (::testing::Test::HasFailure())
            return killed;  // one point's account is enough to read
    }
    ADD_FAILURE() << variable << ": the run was killed at every point tried";
    return killed;
}

TEST(CleanCrashTrials, AKillAtAnyFileChangeLosesNothingAndTheNextRunFinishes) {
    // A run makes a few hundred file changes: the points spread over all of it.
    const int kills =
        killTrials("KOLVANEX_KILL_AFTER_FILE_CHANGES", {1, 5, 20, 60, 120, 200, 280, 1000000});
    EXPECT_GE(kills, trialStride() > 0 ? 1 : 5);
}

TEST(CleanCrashTrials, AKillAtAnyRegistryWriteLosesNothingAndTheNextRunFinishes) {
    EXPECT_GT(killTrials("KOLVANEX_KILL_AFTER_WRITES", {1, 3, 8, 20, 1000000}), 0);
}

}  // namespace
}  // namespace kx::test
