// What an English-speaking user reads of a cleaning run: its status lines
// and summary, the steps a preview announces and the steps `clean --list`
// names.
#include <gmock/gmock.h>

#include <string>
#include <utility>
#include <vector>

#include "cleaning/destroy_phase.hpp"
#include "cleaning/step_choice.hpp"
#include "steps_fixture.hpp"
#include "support/language.hpp"

namespace kx::test {
namespace {

using ::testing::Contains;

TEST_F(StepsTest, ARunSpeaksEnglishFromItsFirstLineToItsSummaryInEnglish) {
    KX_ONLY_IN_ENGLISH();
    const struct {
        const settings::SettingKey* key;
        std::vector<std::string> lines;
    } cases[] = {
        {&settings::keys::TempFiles,
         {"Reading folders", "Looking for temporary files", "Looking for the Java cache...",
          "Deleting temporary files",
          "Files cleaned or removed: 1. About 0.0000 MB of disk space was freed."}},
        {&settings::keys::History,
         {"Deleting the lists of recently opened files",
          "Emptying the list of files recently opened in WinWord"}},
        {&settings::keys::Trashcan, {"Emptying the recycle bin"}},
        {&settings::keys::AutoFillOff,
         {"Switching off the browser's auto-complete for passwords, forms and entries"}},
    };
    for (const auto& c : cases) {
        set(*c.key, "1");
        put(tempDir(), "a.tmp", "12345");
        start();
        destroy();
        const auto lines = statusLines();
        for (const auto& line : c.lines) EXPECT_THAT(lines, Contains(line)) << c.key->name;
        // A forgotten text shows itself by its German letters.
        for (const auto& line : lines) EXPECT_EQ(line.find('\xC3'), std::string::npos) << line;
        set(*c.key, "0");
    }
}

TEST_F(StepsTest, ThePreviewAndTheStepListNameTheStepsInEnglishInEnglish) {
    KX_ONLY_IN_ENGLISH();
    set(settings::keys::Trashcan, "1");
    const auto said = [this] {
        std::vector<std::string> out;
        for (const auto& step : cleaning::plannedSteps(context())) out.push_back(step.what);
        return out;
    };
    for (const auto& [autoFillOff, line] :
         {std::pair{"0", "browsers' auto-complete of passwords and forms switched on"},
          std::pair{"1", "browsers' auto-complete of passwords and forms switched off"}}) {
        set(settings::keys::AutoFillOff, autoFillOff);
        const auto steps = said();
        EXPECT_THAT(steps, Contains(line));
        EXPECT_THAT(steps, Contains("recycle bins emptied"));
        EXPECT_EQ(steps.back(), "index files of Internet Explorer blanked");
    }
    const auto* cookies = cleaning::findStep("cookies");
    ASSERT_NE(cookies, nullptr);
    EXPECT_EQ(cookies->removes, "cookies and stored website data (excepted sites stay)");
}

}  // namespace
}  // namespace kx::test
