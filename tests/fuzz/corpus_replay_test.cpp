// Every stored fuzzing input, replayed through its target in the ordinary
// build: an input that once broke a rule stays in the corpus and keeps the
// fault from coming back.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>

#include "fuzz/targets.hpp"

namespace kx::fuzz {
// Test names and messages show a target by its name.
void PrintTo(const Target& target, std::ostream* out) {
    *out << target.name;
}
}  // namespace kx::fuzz

namespace {

namespace fs = std::filesystem;

class CorpusReplay : public ::testing::TestWithParam<kx::fuzz::Target> {};

TEST_P(CorpusReplay, EveryStoredInputKeepsTheRules) {
    const auto target = GetParam();
    const fs::path folder = fs::path(KX_FUZZ_CORPUS) / target.name;
    int inputs = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(in),
                                std::istreambuf_iterator<char>()};
        SCOPED_TRACE(entry.path().string());
        EXPECT_EQ(target.entry(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()),
                  0);
        ++inputs;
    }
    EXPECT_GT(inputs, 0) << "no stored inputs in " << folder;
}

INSTANTIATE_TEST_SUITE_P(Targets, CorpusReplay,
                         ::testing::ValuesIn(kx::fuzz::targets().begin(),
                                             kx::fuzz::targets().end()),
                         [](const auto& target) { return std::string(target.param.name); });

}  // namespace
