// What an English-speaking user reads when a path does not reach the machine
// or a folder cannot be linked into it.
#include <gtest/gtest.h>

#include <string>

#include "platform/machine/machine.hpp"
#include "support/language.hpp"
#include "support/temp_machine.hpp"

namespace kx::platform {
namespace {

TEST(EnglishMachine, PathRefusalsReadInEnglish) {
    KX_ONLY_IN_ENGLISH();
    test::TempMachine tm;
    const auto refusal = [](const auto& result) {
        return result ? std::string("(accepted)") : result.error().message;
    };
    const struct {
        std::string message, english;
    } cases[] = {
        {refusal(tm->resolve("C:\\WINDOWS\\..\\..\\x")),
         "path climbs above the root of its drive: \"C:\\WINDOWS\\..\\..\\x\""},
        {refusal(tm->resolve("C:\\a|b")), "invalid name in path: \"C:\\a|b\""},
        {refusal(tm->resolve("\\\\server\\x")),
         "UNC and device paths are not supported: \\\\server\\x"},
        {refusal(tm->resolve("Q:\\x")), "unknown drive Q:"},
        {refusal(tm->resolve("A:\\x")), "drive A: is not ready"},
        {refusal(tm->linkFolder("C:\\Daten", "relative")), "not an absolute path: relative"},
        {refusal(tm->linkFolder("C:\\", tm.root())), "the root of a drive cannot be linked"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.message, c.english);
}

}  // namespace
}  // namespace kx::platform
