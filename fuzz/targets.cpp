#include "fuzz/targets.hpp"

#include <array>
#include <cstdio>
#include <cstdlib>

namespace kx::fuzz {

std::span<const Target> targets() {
    static constexpr std::array<Target, 8> kTargets{{
        {"wildcard_like", wildcardLike},
        {"reg_import", regImport},
        {"proxy_list", proxyList},
        {"http_answer", httpAnswer},
        {"prefs_js", prefsJs},
        {"opera_ini", operaIni},
        {"cookie_filter", cookieFilter},
        {"cipher_decrypt", cipherDecrypt},
    }};
    return kTargets;
}

void require(bool rule, const char* what) {
    if (rule)
        return;
    std::fprintf(stderr, "kx-fuzz: broken rule: %s\n", what);
    std::abort();
}

}  // namespace kx::fuzz
