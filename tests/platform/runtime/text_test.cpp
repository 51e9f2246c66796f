// Text helpers of the runtime.
#include "platform/runtime/text.hpp"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

namespace kx::platform {
namespace {

TEST(Text, SplitAtKeepsEveryPieceBetweenSeparators) {
    using Pieces = std::vector<std::string_view>;
    EXPECT_EQ(splitAt("", "\r\n"), Pieces{""});
    EXPECT_EQ(splitAt("a\r\nb\r\n", "\r\n"), (Pieces{"a", "b", ""}));
    EXPECT_EQ(splitAt("a\nb\r\n\nc", "\n"), (Pieces{"a", "b\r", "", "c"}));
    EXPECT_EQ(splitAt("a\r\r\nb", "\r\n"), (Pieces{"a\r", "b"}));  // no overlap
}

}  // namespace
}  // namespace kx::platform
