#include "deletion/random_source.hpp"

#include <bit>
#include <cmath>
#include <random>

namespace kx::deletion {
namespace {

class TwisterSource final : public RandomSource {
  public:
    TwisterSource() {
        std::random_device entropy;
        std::seed_seq seeds{entropy(), entropy(), entropy(), entropy()};
        engine_.seed(seeds);
    }
    double next() override { return uniform_(engine_); }
    void reseed(double seed) override {
        // The seed's bits, not its value: sines of nearby times differ only
        // in their low bits and must still give different sequences.
        engine_.seed(std::bit_cast<std::uint64_t>(seed));
        uniform_.reset();
    }

  private:
    std::mt19937_64 engine_;
    std::uniform_real_distribution<double> uniform_{0.0, 1.0};
};

}  // namespace

RandomSource& threadRandom() {
    thread_local TwisterSource source;
    return source;
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
