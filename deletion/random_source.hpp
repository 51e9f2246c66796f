#pragma once
// The pseudo-random numbers of the Gutmann wiper's random passes. Behind an
// interface so tests can fix the random passes; the wiper takes whatever
// source it is given.
#include <cstdint>
#include <random>

namespace kx::deletion {

class RandomSource {
  public:
    virtual ~RandomSource() = default;
    /// A uniform number in [0, 1).
    virtual double next() = 0;
    /// Starts the sequence anew from a seed (the runtime's Randomize).
    virtual void reseed(double seed) = 0;
};

/// A Mersenne twister seeded from the system's entropy when it is made; only
/// an explicit reseed restarts it. The public class keeps one per thread.
class TwisterSource final : public RandomSource {
  public:
    TwisterSource();
    double next() override { return uniform_(engine_); }
    void reseed(double seed) override;

  private:
    std::mt19937_64 engine_;
    std::uniform_real_distribution<double> uniform_{0.0, 1.0};
};

/// A pattern byte from a draw: the integer nearest to u × 255, halves to
/// even, as the runtime's byte conversion rounds (0 to 255 for u in [0, 1)).
/// Draws outside [0, 1) from a faulty source are clamped into it.
std::uint8_t randomByte(double u);

}  // namespace kx::deletion
