// Text helpers of the runtime.
#include "platform/runtime/text.hpp"

#include <gtest/gtest.h>

#include <string_view>
#include <utility>
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

TEST(Text, IsValidUtf8AcceptsWellFormedTextOnly) {
    const std::vector<std::pair<std::string_view, bool>> cases = {
        {"", true},
        {"plain ASCII", true},
        {"\xC3\x84rger \xE2\x82\xAC \xF0\x9F\x98\x80", true},  // 2, 3 and 4 bytes
        {"\xEF\xBF\xBF\xF4\x8F\xBF\xBF", true},                // U+FFFF, U+10FFFF
        {"\xFF", false},                                       // no lead byte
        {"\x80", false},                                       // a lone continuation
        {"\xC3", false},                                       // cut short
        {"\xE2\x82", false},
        {"\xC0\xAF", false},  // overlong forms
        {"\xE0\x80\xAF", false},
        {"\xF0\x80\x80\xAF", false},
        {"\xED\xA0\x80", false},      // a surrogate
        {"\xF4\x90\x80\x80", false},  // above U+10FFFF
        {"ok\xC3(", false},
    };
    for (const auto& [text, valid] : cases) EXPECT_EQ(isValidUtf8(text), valid) << text;
}

}  // namespace
}  // namespace kx::platform
