// The proxy list: the line rules of the local copy, its file, and the
// shuffle of the remote list.
#include <gtest/gtest.h>

#include <vector>

#include "anonymity/proxy_list.hpp"
#include "core/shared_state.hpp"
#include "platform/files/files.hpp"
#include "support/temp_machine.hpp"

namespace kx::anonymity {
namespace {

// Hands out the given numbers in order, then 0; counts the draws.
struct ScriptedRandom {
    std::vector<double> numbers;
    std::size_t draws = 0;
    RandomSource source() {
        return [this] { return draws < numbers.size() ? numbers[draws++] : (++draws, 0.0); };
    }
};

TEST(ProxyListTest, LinesSplitAtTheirSeparatorsAndBadOnesAreSkipped) {
    using E = ProxyListEntry;
    EXPECT_EQ(parseProxyLine("10.0.0.1:8080"), (E{"10.0.0.1", "8080"}));
    EXPECT_EQ(parseProxyLine("  proxy.example.org : 3128 "), (E{"proxy.example.org", "3128"}));
    EXPECT_EQ(parseProxyLine("10.0.0.2 80"), (E{"10.0.0.2", "80"}));
    EXPECT_EQ(parseProxyLine("10.0.0.3\t81"), (E{"10.0.0.3", "81"}));
    EXPECT_EQ(parseProxyLine("10.0.0.4:82:"), (E{"10.0.0.4", "82"}));  // one trailing ":" goes
    EXPECT_EQ(parseProxyLine("10.0.0.5 83:"), (E{"10.0.0.5", "83"}));
    // A ":" anywhere makes it the separator, so the blank stays in the host.
    EXPECT_FALSE(parseProxyLine("10.0.0.5 83:x"));
    for (const char* bad :
         {"", "garbage", "10.0.0.1:0", "10.0.0.1:abc", "10.0.0.1:80a", "10.0.0.1:-8",
          "10.0.0.1:70000", ":8080", "a b:80", "\"x\":80", "10.0.0.1::"}) {
        EXPECT_FALSE(parseProxyLine(bad)) << bad;
    }
}

TEST(ProxyListTest, AHostIsTakenOnceWithItsFirstPort) {
    const auto entries = parseProxyList(
        "10.0.0.1 8080\r\nrubbish\r\n10.0.0.1:9090\r\nProxy.Example:1\nproxy.example:2\r\n"
        "10.0.0.2:0\r\n10.0.0.2:3128\r\n");
    const std::vector<ProxyListEntry> expected{
        {"10.0.0.1", "8080"}, {"Proxy.Example", "1"}, {"10.0.0.2", "3128"}};
    EXPECT_EQ(entries, expected);
}

TEST(ProxyListTest, TheLocalCopyIsSavedTrimmedAndReadBack) {
    resetShared();
    test::TempMachine machine;
    shared().KXAppPath = "C:\\Programme\\Kolvanex";
    ASSERT_TRUE(platform::files::createFolders("C:\\Programme\\Kolvanex"));
    EXPECT_FALSE(readLocalProxyList());  // no file yet

    ASSERT_TRUE(saveLocalProxyList("   10.0.0.1:80\r\n10.0.0.2:81   "));
    EXPECT_EQ(platform::files::readAll(proxyListPath()).value(), "10.0.0.1:80\r\n10.0.0.2:81\r\n");
    const std::vector<ProxyListEntry> expected{{"10.0.0.1", "80"}, {"10.0.0.2", "81"}};
    EXPECT_EQ(readLocalProxyList().value(), expected);
    resetShared();
}

TEST(ProxyListTest, ShuffleSwapsEveryLineWithOneOfTheOthers) {
    // First number 0: one pass, two rounds; j = int(2r + 1).
    ScriptedRandom twoRounds{{0.0, /*round 1*/ 0.0, 0.9, 0.0, /*round 2*/ 0.5, 0.0, 0.0}};
    std::vector<std::string> lines{"a", "b", "c"};
    shuffleProxyLines(lines, twoRounds.source());
    EXPECT_EQ(lines, (std::vector<std::string>{"c", "b", "a"}));
    EXPECT_EQ(twoRounds.draws, 7u);

    // From 0.5 on: two passes, three rounds.
    ScriptedRandom threeRounds{{0.5}};
    lines = {"a", "b", "c"};
    shuffleProxyLines(lines, threeRounds.source());
    EXPECT_EQ(threeRounds.draws, 10u);

    // A source that answers 1 (out of its range) still stays inside the list.
    lines = {"a", "b", "c", "d"};
    shuffleProxyLines(lines, [] { return 1.0; });
    EXPECT_EQ(lines.size(), 4u);

    ScriptedRandom untouched;
    lines = {"only"};
    shuffleProxyLines(lines, untouched.source());
    EXPECT_EQ(lines, std::vector<std::string>{"only"});
    EXPECT_EQ(untouched.draws, 0u);
}

}  // namespace
}  // namespace kx::anonymity
