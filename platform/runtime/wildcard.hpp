#pragma once
// The system's one wildcard operator, the BASIC `Like` operator: every file
// filter, cleaner rule and search field in the engine matches through here,
// so they all agree on what a pattern means.
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace kx::platform {

/// A compiled `Like` pattern. Pattern and text are UTF-8; a character is one
/// code point, so "?" matches "Ä" (two bytes) as one character.
///   *        any run of characters, also none
///   ?        exactly one character
///   #        one digit 0-9
///   [list]   one character of the list; "a-z" is a range by code point
///   [!list]  one character not in the list
///   [*] [?] [#] [[]  the character itself
/// "[]" stands for nothing (it matches the empty string, as the language's
/// documentation says of an empty list); "[!]" is any one character. A "["
/// without its "]" or a descending range ("[z-a]") makes the pattern invalid:
/// `compile` answers nullopt and `like` answers false. Matching is
/// case-sensitive unless `foldCase` is given; it takes time proportional to
/// text length × pattern length at worst, however many "*" there are.
class LikePattern {
  public:
    /// `foldCase` lower-cases both sides as `platform::vbLCase` does (ASCII and
    /// Latin-1 letters) without building lower-cased copies, so that
    /// compile(p, true)->matches(t) == vbLike(vbLCase(t), vbLCase(p)).
    static std::optional<LikePattern> compile(std::string_view pattern, bool foldCase = false);

    bool matches(std::string_view text) const;

  private:
    enum class Kind : std::uint8_t { Literal, AnyOne, Digit, Star, Set };
    struct Range {
        char32_t first;
        char32_t last;
    };
    struct Token {
        Kind kind = Kind::Literal;
        bool negated = false;
        char32_t literal = 0;          // Literal
        std::uint32_t rangeBegin = 0;  // Set: ranges_[rangeBegin, rangeEnd)
        std::uint32_t rangeEnd = 0;
    };

    bool matchesOne(const Token& token, char32_t c) const;

    std::vector<Token> tokens_;
    bool foldCase_ = false;
    std::vector<Range> ranges_;
};

/// text Like pattern (case-sensitive; callers lower-case both sides when
/// they want the comparison without regard to case). An invalid pattern
/// answers false.
bool vbLike(std::string_view text, std::string_view pattern);

}  // namespace kx::platform
