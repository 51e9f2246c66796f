// The host ended by kill -9 just before a write to the registry or the
// settings store: each time the database passes its integrity check and holds
// the whole change or none of it, and the next run does it.
//
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
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/shared_state.hpp"
#include "hosts/kolvanex/demo_tracks.hpp"
#include "hosts/kolvanex/host.hpp"
#include "platform/files/files.hpp"
#include "platform/registry/regfile.hpp"
#include "platform/registry/registry_key.hpp"
#include "platform/storage/sqlite_database.hpp"
#include "support/home_scope.hpp"
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

const char* const kAtWrite = "KOLVANEX_KILL_AFTER_WRITES";
const char* const kAtFileChange = "KOLVANEX_KILL_AFTER_FILE_CHANGES";

// The host on `tm`'s machine, killed at the `at`-th step `variable` counts
// (at 0: not killed).
HostRun kolvanex(const TempMachine& tm, const std::vector<std::string>& args,
                 const char* variable = kAtWrite, long at = 0) {
    const EnvScope kill(variable, std::to_string(at));
    return runKolvanex(tm.prefix(), args, tm.root());
}

std::string integrity(const TempMachine& tm) {
    auto db = platform::storage::Database::openShared(tm.prefix() / "registry.db",
                                                      std::chrono::milliseconds(5000));
    auto check = db->prepare("PRAGMA integrity_check");
    return check.step() ? check.text(0) : "no answer";
}

// False when the run finished on its own; else checks that it was killed and
// left the database whole.
bool killed(const TempMachine& tm, const HostRun& run, const std::string& where) {
    if (run.exitCode == 0)
        return false;
    EXPECT_TRUE(run.exitCode == 128 + SIGKILL || run.exitCode == -1) << where << ": " << run.err;
    EXPECT_EQ(integrity(tm), "ok") << where;
    return true;
}

// Runs `args` killed at its 1st, 2nd, ... write until it finishes on its own;
// after each kill `state()` is `before` or `after`. Answers how many runs
// were killed.
int killAtEveryWrite(const TempMachine& tm, const std::vector<std::string>& args,
                     const std::function<std::string()>& state, const std::string& before,
                     const std::string& after) {
    for (int n = 1; n <= 500; ++n) {
        const std::string where = "killed at write " + std::to_string(n);
        if (!killed(tm, kolvanex(tm, args, kAtWrite, n), where))
            return n - 1;
        const std::string now = state();
        EXPECT_TRUE(now == before || now == after) << where << ":\n" << now;
    }
    ADD_FAILURE() << "the run never finished";
    return 0;
}

TEST(CrashTrialTest, RegistryImportIsWholeOrAbsentAfterAKillAtAnyWrite) {
    TempMachine machine;
    std::string file = "REGEDIT4\r\n\r\n";
    for (int k = 0; k < 30; ++k) {
        file += "[HKEY_CURRENT_USER\\Software\\Probe\\Key" + std::to_string(k) + "]\r\n";
        for (int v = 0; v < 10; ++v)
            file += "\"Wert" + std::to_string(v) + "\"=\"" + std::string(200, 'a' + v) + "\"\r\n";
    }
    const fs::path reg = machine.root() / "probe.reg";
    std::ofstream(reg, std::ios::binary) << file;
    const auto probe = [&] {
        auto registry = platform::Registry::open(machine.prefix() / "registry.db");
        auto text = exportRegText(*registry, platform::HKEY_CURRENT_USER, "Software\\Probe",
                                  platform::RegFileFormat::Version5);
        return text ? *text : std::string("absent");
    };
    ASSERT_EQ(probe(), "absent");
    auto expected = platform::Registry::open(machine.root() / "expected.db");
    ASSERT_EQ(importRegText(*expected, file).status, platform::ERROR_SUCCESS);
    const std::string after = *exportRegText(*expected, platform::HKEY_CURRENT_USER,
                                             "Software\\Probe", platform::RegFileFormat::Version5);

    const std::vector<std::string> import = {"reg", "import", reg.string()};
    EXPECT_GT(killAtEveryWrite(machine, import, probe, "absent", after), 0);
    const auto again = kolvanex(machine, import);
    EXPECT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(probe(), after);
    EXPECT_EQ(integrity(machine), "ok");
}

TEST(CrashTrialTest, SettingsWriteIsOldOrNewAfterAKillAtAnyWrite) {
    TempMachine machine;
    const auto value = [&] {
        return kolvanex(machine, {"settings", "get", "Options", "DeleteN"}).out;
    };
    ASSERT_EQ(value(), "3\n");
    EXPECT_GT(killAtEveryWrite(machine, {"settings", "set", "Options", "DeleteN", "7"}, value,
                               "3\n", "7\n"),
              0);
    EXPECT_EQ(kolvanex(machine, {"settings", "set", "Options", "DeleteValue", "0"}).exitCode, 0);
    EXPECT_EQ(value(), "7\n");
    EXPECT_EQ(integrity(machine), "ok");
}

// One planted machine.
class Planted {
  public:
    Planted() : tracks_(plant()), originals_(contents()) {}

    HostRun kolvanex(const std::vector<std::string>& args, const char* variable = kAtWrite,
                     long at = 0) {
        return test::kolvanex(tm_, args, variable, at);
    }
    const TempMachine& machine() const { return tm_; }

    // Every planted file's content now, nothing for a file that is gone.
    Contents contents() const {
        Contents now;
        for (const auto& file : tracks_.files) {
            auto bytes = platform::files::readAll(file.path);
            now.push_back(bytes ? std::optional(*bytes) : std::nullopt);
        }
        return now;
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
    int kills = 0;
    for (std::size_t i = 0; stride > 0 || i < points.size(); ++i) {
        const long at = stride > 0 ? static_cast<long>(i) * stride + 1 : points[i];
        const std::string where = std::string(variable) + "=" + std::to_string(at);
        Planted machine;
        if (!killed(machine.machine(), machine.kolvanex(kClean, variable, at), where))
            return kills;
        ++kills;
        machine.wholeAfterKill(cleaned, where);
        const auto start = machine.kolvanex({"--quiet", "settings", "get", "Options", "DeleteN"});
        EXPECT_EQ(start.exitCode, 0) << start.err;
        machine.noKeptFileHidden("after the next start, " + where);
        const auto again = machine.kolvanex(kClean);
        EXPECT_EQ(again.exitCode, 0) << where << ": " << again.err;
        machine.clean(cleaned, "second run after " + where);
        if (::testing::Test::HasFailure())
            return kills;  // one point's account is enough to read
    }
    ADD_FAILURE() << variable << ": the run was killed at every point tried";
    return kills;
}

TEST(CleanCrashTrials, AKillAtAnyFileChangeLosesNothingAndTheNextRunFinishes) {
    // A run makes a few hundred file changes: the points spread over all of it.
    const int kills = killTrials(kAtFileChange, {1, 5, 20, 60, 120, 200, 280, 1000000});
    EXPECT_GE(kills, trialStride() > 0 ? 1 : 5);
}

TEST(CleanCrashTrials, AKillAtAnyRegistryWriteLosesNothingAndTheNextRunFinishes) {
    EXPECT_GT(killTrials(kAtWrite, {1, 3, 8, 20, 1000000}), 0);
}

}  // namespace
}  // namespace kx::test
