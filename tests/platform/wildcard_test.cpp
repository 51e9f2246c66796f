// The Like operator: every filter in the engine matches through it.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "platform/text.hpp"
#include "platform/wildcard.hpp"

namespace kx::platform {
namespace {

TEST(Like, StarAndQuestionMark) {
    EXPECT_TRUE(like("index.dat", "*.dat"));
    EXPECT_TRUE(like(".dat", "*.dat"));  // "*" may be empty
    EXPECT_TRUE(like("", "*"));
    EXPECT_TRUE(like("abc", "a*c"));
    EXPECT_TRUE(like("abc", "a?c"));
    EXPECT_FALSE(like("ac", "a?c"));  // "?" is exactly one
    EXPECT_FALSE(like("abbc", "a?c"));
    EXPECT_FALSE(like("index.dat", "*.da"));
    EXPECT_TRUE(like("a*b", "a*b"));
    EXPECT_FALSE(like("", "?"));
    EXPECT_TRUE(like("", ""));
    EXPECT_FALSE(like("x", ""));
}

TEST(Like, QuestionMarkTakesOneCharacterNotOneByte) {
    EXPECT_TRUE(like("Ä", "?"));  // two bytes, one character
    EXPECT_TRUE(like("Grüße", "Gr??e"));
    EXPECT_FALSE(like("Grüße", "Gr????e"));
    EXPECT_TRUE(like("a€b", "a?b"));  // three bytes
    EXPECT_TRUE(like("😀", "?"));      // four bytes
    EXPECT_TRUE(like("xÄ", "*Ä"));
}

TEST(Like, HashIsOneDigit) {
    EXPECT_TRUE(like("file7.tmp", "file#.tmp"));
    EXPECT_FALSE(like("fileA.tmp", "file#.tmp"));
    EXPECT_FALSE(like("file12.tmp", "file#.tmp"));
    EXPECT_TRUE(like("~DF1234.TMP", "~DF####.TMP"));
    EXPECT_FALSE(like("٣", "#"));  // other scripts' digits are not 0-9
}

TEST(Like, ListsRangesAndNegation) {
    EXPECT_TRUE(like("b", "[abc]"));
    EXPECT_FALSE(like("d", "[abc]"));
    EXPECT_TRUE(like("m", "[a-z]"));
    EXPECT_FALSE(like("M", "[a-z]"));  // case-sensitive
    EXPECT_TRUE(like("x7", "[a-z][0-9]"));
    EXPECT_TRUE(like("d", "[!abc]"));
    EXPECT_FALSE(like("a", "[!abc]"));
    EXPECT_TRUE(like("ö", "[à-þ]"));  // Latin-1 letters by code point
    EXPECT_FALSE(like("ö", "[a-z]"));
    EXPECT_TRUE(like("Ä", "[ÄÖÜ]"));
    EXPECT_FALSE(like("A", "[ÄÖÜ]"));
    EXPECT_TRUE(like("-", "[a-]"));  // a "-" at either end is itself
    EXPECT_TRUE(like("-", "[-a]"));
    EXPECT_TRUE(like("!", "[a!]"));  // "!" not first is itself
    EXPECT_TRUE(like("q", "[!]"));
    EXPECT_TRUE(like("ab", "a[]b"));  // "[]" stands for nothing
}

TEST(Like, BracketsEscapeTheWildcards) {
    EXPECT_TRUE(like("a*b", "a[*]b"));
    EXPECT_FALSE(like("axb", "a[*]b"));
    EXPECT_TRUE(like("what?", "what[?]"));
    EXPECT_FALSE(like("whatX", "what[?]"));
    EXPECT_TRUE(like("#1", "[#]#"));
    EXPECT_TRUE(like("[x]", "[[]x]"));
}

TEST(Like, InvalidPatternsMatchNothing) {
    EXPECT_FALSE(like("[abc", "[abc"));
    EXPECT_FALSE(like("a", "[a"));
    EXPECT_FALSE(like("a", "*[!"));
    EXPECT_FALSE(like("m", "[z-a]"));
    EXPECT_FALSE(LikePattern::compile("x[").has_value());
    EXPECT_TRUE(LikePattern::compile("x]").has_value());  // a lone "]" is itself
    EXPECT_TRUE(like("x]", "x]"));
}

TEST(Like, BrokenUtf8IsMatchedNotRejected) {
    const std::string stray = "a\xC4z";  // a lone lead byte: taken as one character
    EXPECT_TRUE(like(stray, "a?z"));
    EXPECT_TRUE(like(stray, "*z"));
}

TEST(Like, FoldedCompilationEqualsLowerCasingBothSides) {
    const std::pair<std::string, std::string> cases[] = {
        {"ÄRGER.TXT", "ärger.*"}, {"Index.DAT", "INDEX.dat"},
        {"ÖL", "[Ö]l"},           {"MIXED", "[a-z]*"},
        {"x×y", "X×Y"},           {"ÄB", "?b"}};
    for (const auto& [text, pattern] : cases) {
        const auto folded = LikePattern::compile(pattern, true);
        ASSERT_TRUE(folded) << pattern;
        EXPECT_EQ(folded->matches(text), like(lower(text), lower(pattern)))
            << text << " / " << pattern;
        EXPECT_TRUE(folded->matches(text)) << text << " / " << pattern;
    }
    // "[A-Z]" folds to "[a-z]"; "[Z-a]" folds to the invalid "[z-a]".
    EXPECT_FALSE(LikePattern::compile("[Z-a]", true).has_value());
    EXPECT_TRUE(LikePattern::compile("[Z-a]", false).has_value());
}

TEST(Like, ManyStarsOnLongTextsFinishQuickly) {
    // An exponential matcher needs longer than the universe's age for these.
    const std::string text(20000, 'a');
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(like(text, "*a*a*a*a*a*a*a*a*a*a*a*a*b"));
    EXPECT_FALSE(like(text, "*?*?*?*?*?*?*?*?*?*?*[!a]"));
    EXPECT_TRUE(like(text + "b", "*a*a*a*a*a*a*a*a*a*a*a*a*b"));
    EXPECT_TRUE(like(text, "a*a*a*a*a*a*a*a*a*a"));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_LT(elapsed, std::chrono::seconds(5));
}

}  // namespace
}  // namespace kx::platform
