#include "deletion/random_source.hpp"

#include <bit>
#include <cmath>

namespace kx::deletion {

TwisterSource::TwisterSource() {
    std::random_device entropy;
    std::seed_seq seeds{entropy(), entropy(), entropy(), entropy()};
    engine_.seed(seeds);
}

void TwisterSource::reseed(double seed) {
    // The seed's bits, not its value: sines of nearby times differ only in
    // their low bits and must still give different sequences.
    engine_.seed(std::bit_cast<std::uint64_t>(seed));
    uniform_.reset();
}

std::uint8_t randomByte(double u) {
    if (!(u >= 0.0))  // also NaN
        u = 0.0;
    if (u >= 1.0)
        u = 1.0;
    // nearbyint rounds halves to even in the default rounding mode.
    return static_cast<std::uint8_t>(std::nearbyint(u * 255.0));
}

}  // namespace kx::deletion
