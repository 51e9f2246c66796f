// The free-space wipe where its temporary file would go is a link out of
// the machine, of every kind: the wipe does not start, the link stays as it
// was, and nothing outside changes.
#include <gtest/gtest.h>

#include <filesystem>

#include "core/shared_state.hpp"
#include "deletion/gutmann.hpp"
#include "services/progress.hpp"
#include "support/outside_files.hpp"
#include "wipe_recorder.hpp"

namespace kx::deletion {
namespace {

namespace fs = std::filesystem;

class FreeSpaceLinks : public ::testing::TestWithParam<test::Plant> {
  protected:
    test::TempMachine tm;
    test::OutsideFiles outside{tm};
    test::FixedRandom random{{0.3, 0.5, 0.9}};
    WindowProgress progress{shared()};
    bool stop = false;
    CGutMAnn wiper{DeletionContext{tm.machine(), progress, stop, random, nullptr, nullptr}};
};

TEST_P(FreeSpaceLinks, TheWipeDoesNotStartAndNothingOutsideChanges) {
    const fs::path temp = tm.prefix() / "drive_c" / "TEMP.000";
    outside.plant(temp, GetParam());
    const auto link = fs::symlink_status(temp).type();
    const auto before = outside.look();
    bool done = true;
    wiper.SecureFreeSpaceWipe("C", 0, done);
    EXPECT_FALSE(done);
    EXPECT_EQ(fs::symlink_status(temp).type(), link);
    EXPECT_EQ(outside.look(), before);
}

INSTANTIATE_TEST_SUITE_P(EveryLink, FreeSpaceLinks, ::testing::ValuesIn(test::kEveryPlant),
                         [](const ::testing::TestParamInfo<test::Plant>& kind) {
                             return std::string(test::plantName(kind.param));
                         });

}  // namespace
}  // namespace kx::deletion
