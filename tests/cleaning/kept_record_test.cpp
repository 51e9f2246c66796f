// The kept files a killed run left hidden: given back at the next start when
// they carry their old attributes plus the hiding, all of it or the part a
// kill between its two steps left; anything else is not the run's to touch.
#include "cleaning/kept_record.hpp"

#include <gtest/gtest.h>

#include "platform/files/files.hpp"
#include "settings/keys.hpp"
#include "settings/settings_store.hpp"
#include "support/temp_machine.hpp"

namespace kx::cleaning {
namespace {

namespace attr = platform::fileattr;

TEST(KeptRecord, AbandonedHidingIsGivenBackWholeOrPart) {
    constexpr auto RO = attr::ReadOnly, H = attr::Hidden, S = attr::System, A = attr::Archive;
    const struct {
        std::uint32_t before, now, after;
    } cases[] = {
        {0, RO | H | S, 0},
        {RO, RO | H | S, RO},
        {0, H | S, 0},  // killed between the attribute record and the mode
        {A, RO | A, A},
        {0, A, A},  // changed since by someone else
        {H, H | S | A, H | S | A},
        {0, 0, 0},
    };
    test::TempMachine tm;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        const std::string path = "C:\\behalten" + std::to_string(i) + ".log";
        ASSERT_TRUE(platform::files::writeAll(path, "kept"));
        ASSERT_TRUE(platform::files::setAttributes(path, c.now));
        // Recorded by a process that no longer runs.
        ASSERT_TRUE(settings::SaveSetting(settings::kCheckerApplication, kKeptRecordSection,
                                          "999999999.1." + std::to_string(i),
                                          std::to_string(c.before) + "|" + path));
    }
    (void)restoreAbandonedKeptFiles(tm.machine());
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const std::string path = "C:\\behalten" + std::to_string(i) + ".log";
        EXPECT_EQ(platform::files::attributes(path).value_or(~0u) & attr::Settable, cases[i].after)
            << path;
    }
    EXPECT_TRUE(
        settings::GetAllSettings(settings::kCheckerApplication, kKeptRecordSection).empty());
}

}  // namespace
}  // namespace kx::cleaning
