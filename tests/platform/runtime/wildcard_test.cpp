// The Like operator: every filter in the engine matches through it.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "platform/runtime/text.hpp"
#include "platform/runtime/wildcard.hpp"

namespace kx::platform {
namespace {

TEST(Like, MatchesByTheOperatorsRules) {
    struct Case {
        const char* text;
        const char* pattern;
        bool match;
    };
    const Case cases[] = {
        // "*" may be empty, "?" is exactly one character.
        {"index.dat", "*.dat", true},
        {".dat", "*.dat", true},
        {"", "*", true},
        {"abc", "a*c", true},
        {"abc", "a?c", true},
        {"ac", "a?c", false},
        {"abbc", "a?c", false},
        {"index.dat", "*.da", false},
        {"a*b", "a*b", true},
        {"", "?", false},
        {"", "", true},
        {"x", "", false},
        // "?" takes one character, not one byte (2, 3 and 4 byte forms).
        {"Ä", "?", true},
        {"Grüße", "Gr??e", true},
        {"Grüße", "Gr????e", false},
        {"a€b", "a?b", true},
        {"😀", "?", true},
        {"xÄ", "*Ä", true},
        // A lone lead byte is taken as one character, not rejected.
        {"a\xC4z", "a?z", true},
        {"a\xC4z", "*z", true},
        // "#" is one digit 0-9; other scripts' digits are not.
        {"file7.tmp", "file#.tmp", true},
        {"fileA.tmp", "file#.tmp", false},
        {"file12.tmp", "file#.tmp", false},
        {"~DF1234.TMP", "~DF####.TMP", true},
        {"٣", "#", false},
        // Lists, ranges (case-sensitive, by code point) and negation.
        {"b", "[abc]", true},
        {"d", "[abc]", false},
        {"m", "[a-z]", true},
        {"M", "[a-z]", false},
        {"x7", "[a-z][0-9]", true},
        {"d", "[!abc]", true},
        {"a", "[!abc]", false},
        {"ö", "[à-þ]", true},
        {"ö", "[a-z]", false},
        {"Ä", "[ÄÖÜ]", true},
        {"A", "[ÄÖÜ]", false},
        // "-" at either end and "!" not first are themselves; "[]" stands for nothing.
        {"-", "[a-]", true},
        {"-", "[-a]", true},
        {"!", "[a!]", true},
        {"q", "[!]", true},
        {"ab", "a[]b", true},
        // Brackets escape the wildcards.
        {"a*b", "a[*]b", true},
        {"axb", "a[*]b", false},
        {"what?", "what[?]", true},
        {"whatX", "what[?]", false},
        {"#1", "[#]#", true},
        {"[x]", "[[]x]", true},
        // Invalid patterns match nothing; a lone "]" is itself.
        {"[abc", "[abc", false},
        {"a", "[a", false},
        {"a", "*[!", false},
        {"m", "[z-a]", false},
        {"x]", "x]", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(vbLike(c.text, c.pattern), c.match) << c.text << " / " << c.pattern;
    EXPECT_FALSE(LikePattern::compile("x[").has_value());
    EXPECT_TRUE(LikePattern::compile("x]").has_value());
}

TEST(Like, FoldedCompilationEqualsLowerCasingBothSides) {
    const std::pair<std::string, std::string> cases[] = {
        {"ÄRGER.TXT", "ärger.*"}, {"Index.DAT", "INDEX.dat"},
        {"ÖL", "[Ö]l"},           {"MIXED", "[a-z]*"},
        {"x×y", "X×Y"},           {"ÄB", "?b"}};
    for (const auto& [text, pattern] : cases) {
        const auto folded = LikePattern::compile(pattern, true);
        ASSERT_TRUE(folded) << pattern;
        EXPECT_EQ(folded->matches(text), vbLike(vbLCase(text), vbLCase(pattern)))
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
    EXPECT_FALSE(vbLike(text, "*a*a*a*a*a*a*a*a*a*a*a*a*b"));
    EXPECT_FALSE(vbLike(text, "*?*?*?*?*?*?*?*?*?*?*[!a]"));
    EXPECT_TRUE(vbLike(text + "b", "*a*a*a*a*a*a*a*a*a*a*a*a*b"));
    EXPECT_TRUE(vbLike(text, "a*a*a*a*a*a*a*a*a*a"));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

}  // namespace
}  // namespace kx::platform
