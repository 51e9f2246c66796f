// What an English-speaking user reads when the browser cannot start or a
// script asks it for what it does not have.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/browser/internet_explorer.hpp"
#include "platform/browser/webdriver.hpp"
#include "support/language.hpp"

namespace kx::platform::browser {
namespace {

std::string failureOf(const std::function<void()>& work) {
    try {
        work();
    } catch (const RuntimeError& e) {
        return std::to_string(e.number) + " " + e.description;
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(no error)";
}

TEST(EnglishBrowser, AutomationErrorsReadInEnglish) {
    KX_ONLY_IN_ENGLISH();
    BrowserOptions missing;
    missing.chromium = "/nonexistent";
    EXPECT_EQ(failureOf([&] { InternetExplorer{missing}; }),
              "Chromium or chromedriver is not installed");
    if (!findPrograms())
        GTEST_SKIP() << "Chromium and chromedriver are not installed";
    InternetExplorer browser(BrowserOptions{});
    const struct {
        std::function<void()> work;
        const char* english;
    } cases[] = {
        {[&] { browser.call("Navigate", {}); },
         "450 Wrong number of arguments or invalid property assignment"},
        {[&] { browser.call("Frobnicate", {}); },
         "438 Object doesn't support this property or method"},
        {[&] {
             browser.call("Quit", {});
             browser.call("Navigate", {NamedArgument{{}, Variant(std::string("about:blank"))}});
         },
         "462 the browser has ended"},
    };
    for (const auto& c : cases) EXPECT_EQ(failureOf(c.work), c.english);
}

}  // namespace
}  // namespace kx::platform::browser
