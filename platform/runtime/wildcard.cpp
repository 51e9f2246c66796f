#include "platform/runtime/wildcard.hpp"

#include <string>

#include "platform/runtime/text.hpp"

namespace kx::platform {
namespace {

// The same letters `platform::vbLCase` folds: ASCII and the Latin-1 capitals
// except the multiplication sign.
char32_t foldCp(char32_t cp) {
    if (cp >= U'A' && cp <= U'Z')
        return cp + 32;
    if (cp >= 0xC0 && cp <= 0xDE && cp != 0xD7)
        return cp + 32;
    return cp;
}

}  // namespace

std::optional<LikePattern> LikePattern::compile(std::string_view pattern, bool foldCase) {
    LikePattern out;
    out.foldCase_ = foldCase;
    std::string folded;
    if (foldCase) {
        folded = vbLCase(pattern);
        pattern = folded;
    }
    std::size_t pos = 0;
    while (pos < pattern.size()) {
        const char32_t c = nextCodePoint(pattern, pos);
        Token token;
        switch (c) {
            case U'*':
                // Runs of "*" mean the same as one; collapsing keeps backtracking simple.
                if (out.tokens_.empty() || out.tokens_.back().kind != Kind::Star) {
                    token.kind = Kind::Star;
                    out.tokens_.push_back(token);
                }
                continue;
            case U'?':
                token.kind = Kind::AnyOne;
                break;
            case U'#':
                token.kind = Kind::Digit;
                break;
            case U'[': {
                token.kind = Kind::Set;
                token.rangeBegin = static_cast<std::uint32_t>(out.ranges_.size());
                std::size_t p = pos;
                bool closed = false;
                bool first = true;
                while (p < pattern.size()) {
                    std::size_t next = p;
                    const char32_t m = nextCodePoint(pattern, next);
                    if (m == U']') {
                        p = next;
                        closed = true;
                        break;
                    }
                    if (first && m == U'!') {
                        token.negated = true;
                        p = next;
                        first = false;
                        continue;
                    }
                    first = false;
                    char32_t last = m;
                    // "a-z" is a range; a "-" first or last in the list is itself.
                    if (next < pattern.size() && pattern[next] == '-' &&
                        next + 1 < pattern.size() && pattern[next + 1] != ']') {
                        std::size_t after = next + 1;
                        last = nextCodePoint(pattern, after);
                        if (last < m)
                            return std::nullopt;  // "[z-a]" is an invalid pattern
                        next = after;
                    }
                    out.ranges_.push_back({m, last});
                    p = next;
                }
                if (!closed)
                    return std::nullopt;
                pos = p;
                token.rangeEnd = static_cast<std::uint32_t>(out.ranges_.size());
                // "[]" stands for the empty string: it adds nothing to match.
                if (!token.negated && token.rangeBegin == token.rangeEnd)
                    continue;
                break;
            }
            default:
                token.kind = Kind::Literal;
                token.literal = c;
                break;
        }
        out.tokens_.push_back(token);
    }
    return out;
}

bool LikePattern::matchesOne(const Token& token, char32_t c) const {
    switch (token.kind) {
        case Kind::Literal:
            return c == token.literal;
        case Kind::AnyOne:
            return true;
        case Kind::Digit:
            return c >= U'0' && c <= U'9';
        case Kind::Set: {
            bool in = false;
            for (std::uint32_t i = token.rangeBegin; i < token.rangeEnd && !in; ++i) {
                in = c >= ranges_[i].first && c <= ranges_[i].last;
            }
            return in != token.negated;
        }
        case Kind::Star:
            return false;
    }
    return false;
}

bool LikePattern::matches(std::string_view text) const {
    // Greedy matching with one remembered "*": on a mismatch the last star
    // takes one more character and the rest is tried again. Every token but
    // "*" consumes exactly one character, which is what makes remembering
    // only the last star sufficient, and keeps the work at text × pattern.
    const std::size_t n = tokens_.size();
    std::size_t t = 0;
    std::size_t p = 0;
    std::size_t starP = n + 1;  // none yet
    std::size_t starT = 0;
    while (t < text.size()) {
        if (p < n && tokens_[p].kind == Kind::Star) {
            starP = ++p;
            starT = t;
            continue;
        }
        if (p < n) {
            std::size_t next = t;
            char32_t c = nextCodePoint(text, next);
            if (foldCase_)
                c = foldCp(c);
            if (matchesOne(tokens_[p], c)) {
                ++p;
                t = next;
                continue;
            }
        }
        if (starP > n)
            return false;
        nextCodePoint(text, starT);  // the star swallows one more character
        t = starT;
        p = starP;
    }
    while (p < n && tokens_[p].kind == Kind::Star) ++p;
    return p == n;
}

bool vbLike(std::string_view text, std::string_view pattern) {
    const auto compiled = LikePattern::compile(pattern);
    return compiled && compiled->matches(text);
}

}  // namespace kx::platform
