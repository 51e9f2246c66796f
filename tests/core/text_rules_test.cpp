#include "core/text_rules.hpp"

#include <gtest/gtest.h>

namespace kx {
namespace {

TEST(TextRules, SmallConversions) {
    EXPECT_EQ(AddBackslash(""), "\\");
    EXPECT_EQ(AddBackslash("C:\\x\\"), "C:\\x\\");
    EXPECT_EQ(AddBackslash("C:\\x"), "C:\\x\\");

    for (const auto& yes : {Variant("Wahr"), Variant("True"), Variant(true)})
        EXPECT_TRUE(CBoolEx(yes));
    // Case matters, and numbers are no Boolean texts.
    for (const auto& no : {Variant("true"), Variant("WAHR"), Variant(std::int32_t{1}),
                           Variant(std::int32_t{-1}), Variant(platform::Null{}), Variant{}})
        EXPECT_FALSE(CBoolEx(no));

    EXPECT_EQ(hibyte(-1), 255);
    EXPECT_EQ(lobyte(256), 0);
    EXPECT_EQ(hibyte(0x1234), 0x12);
    EXPECT_EQ(lobyte(0x1234), 0x34);
}

}  // namespace
}  // namespace kx
