// The registry and the settings store ended by kill -9 just before every
// write the host makes to them: each time the database passes its integrity
// check and holds the whole change or none of it, and the next run does it.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "platform/registry/regfile.hpp"
#include "platform/registry/registry.hpp"
#include "platform/storage/sqlite_database.hpp"
#include "support/host_run.hpp"
#include "support/temp_machine.hpp"

namespace {

namespace fs = std::filesystem;
using namespace kx::platform;

class CrashTrialTest : public ::testing::Test {
  protected:
    kx::test::HostRun kolvanex(const std::vector<std::string>& args, int killAtWrite = 0) {
        if (killAtWrite > 0)
            ::setenv("KOLVANEX_KILL_AFTER_WRITES", std::to_string(killAtWrite).c_str(), 1);
        auto run = kx::test::runKolvanex(machine.prefix(), args, machine.root());
        ::unsetenv("KOLVANEX_KILL_AFTER_WRITES");
        return run;
    }

    std::string integrity() const {
        auto db = storage::Database::openShared(machine.prefix() / "registry.db",
                                                std::chrono::milliseconds(5000));
        auto check = db->prepare("PRAGMA integrity_check");
        return check.step() ? check.text(0) : "no answer";
    }

    // Runs `args` killed at its 1st, 2nd, ... write until it finishes on its
    // own; after each kill the database is whole and `state()` is `before`
    // or `after`. Answers how many runs were killed.
    int killAtEveryWrite(const std::vector<std::string>& args,
                         const std::function<std::string()>& state, const std::string& before,
                         const std::string& after) {
        for (int n = 1; n <= 500; ++n) {
            const auto run = kolvanex(args, n);
            if (run.exitCode == 0)
                return n - 1;
            EXPECT_TRUE(run.exitCode == 128 + SIGKILL || run.exitCode == -1)
                << "write " << n << ": " << run.err;
            EXPECT_EQ(integrity(), "ok") << "killed at write " << n;
            const std::string now = state();
            EXPECT_TRUE(now == before || now == after) << "killed at write " << n << ":\n" << now;
        }
        ADD_FAILURE() << "the run never finished";
        return 0;
    }

    kx::test::TempMachine machine;
};

TEST_F(CrashTrialTest, RegistryImportIsWholeOrAbsentAfterAKillAtAnyWrite) {
    std::string file = "REGEDIT4\r\n\r\n";
    for (int k = 0; k < 30; ++k) {
        file += "[HKEY_CURRENT_USER\\Software\\Probe\\Key" + std::to_string(k) + "]\r\n";
        for (int v = 0; v < 10; ++v)
            file += "\"Wert" + std::to_string(v) + "\"=\"" + std::string(200, 'a' + v) + "\"\r\n";
    }
    const fs::path reg = machine.root() / "probe.reg";
    std::ofstream(reg, std::ios::binary) << file;
    const auto probe = [&] {
        auto registry = Registry::open(machine.prefix() / "registry.db");
        auto text =
            exportRegText(*registry, HKEY_CURRENT_USER, "Software\\Probe", RegFileFormat::Version5);
        return text ? *text : std::string("absent");
    };
    const std::string before = probe();
    ASSERT_EQ(before, "absent");
    auto expected = Registry::open(machine.root() / "expected.db");
    ASSERT_EQ(importRegText(*expected, file).status, ERROR_SUCCESS);
    const std::string after =
        *exportRegText(*expected, HKEY_CURRENT_USER, "Software\\Probe", RegFileFormat::Version5);

    const int kills = killAtEveryWrite({"reg", "import", reg.string()}, probe, before, after);
    EXPECT_GT(kills, 0);
    const auto again = kolvanex({"reg", "import", reg.string()});
    EXPECT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(probe(), after);
    EXPECT_EQ(integrity(), "ok");
}

TEST_F(CrashTrialTest, SettingsWriteIsOldOrNewAfterAKillAtAnyWrite) {
    const auto value = [&] { return kolvanex({"settings", "get", "Options", "DeleteN"}).out; };
    ASSERT_EQ(value(), "3\n");
    const int kills =
        killAtEveryWrite({"settings", "set", "Options", "DeleteN", "7"}, value, "3\n", "7\n");
    EXPECT_GT(kills, 0);
    EXPECT_EQ(kolvanex({"settings", "set", "Options", "DeleteValue", "0"}).exitCode, 0);
    EXPECT_EQ(value(), "7\n");
    EXPECT_EQ(integrity(), "ok");
}

}  // namespace
