#pragma once
// What the console host's tests share: a throw-away machine with the host run
// on it as a script runs it, demo machines planted beside it, the shape of a
// usage error.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/host_run.hpp"
#include "support/temp_machine.hpp"

namespace kx::test {

using ::testing::HasSubstr;
using ::testing::Not;

class HostTest : public ::testing::Test {
  protected:
    /// `kolvanex --prefix <the machine> ARGS...`
    HostRun kolvanex(const std::vector<std::string>& args) {
        return runKolvanex(machine.prefix(), args, machine.root());
    }
    /// `kolvanex --prefix <the machine> ARGS...` where it must succeed; what it printed.
    std::string ok(const std::vector<std::string>& args) {
        const auto run = kolvanex(args);
        EXPECT_EQ(run.exitCode, 0) << ::testing::PrintToString(args) << ": " << run.err;
        return run.out;
    }
    /// `kolvanex ARGS...`, with no machine named.
    HostRun bare(const std::vector<std::string>& args) {
        return runKolvanex(std::nullopt, args, machine.root());
    }
    /// A demo machine at <root>/NAME, planted with tracks and not yet cleaned.
    std::filesystem::path plantedDemo(const std::string& name) {
        const auto prefix = machine.root() / name;
        const auto run = runKolvanex(prefix, {"--quiet", "demo", "--plant-only"}, machine.root());
        EXPECT_EQ(run.exitCode, 0) << run.err;
        return prefix;
    }

    TempMachine machine;
};

/// Bad input: one line naming the problem, nothing on standard output, and
/// the usage status.
inline void expectUsageError(const HostRun& run, const std::string& words) {
    EXPECT_EQ(run.exitCode, 2) << run.err;
    EXPECT_THAT(run.err, HasSubstr(words));
    EXPECT_TRUE(run.err.starts_with("kolvanex: ")) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_EQ(run.out, "");
}

}  // namespace kx::test
