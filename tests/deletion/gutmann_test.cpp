// The Gutmann wiper on real files of a throw-away machine: what the passes
// leave in a file at chosen points, files whose length is not a multiple of
// five, the random passes, the flush discipline, cancelling, links, locks,
// and the free-space wipe.
#include "deletion/gutmann.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "platform/files.hpp"
#include "platform/overwrite.hpp"
#include "platform/ui/message_loop.hpp"
#include "support/temp_machine.hpp"
#include "wipe_recorder.hpp"

namespace kx::deletion {
namespace {

namespace fs = std::filesystem;
namespace pf = kx::platform;
using test::FixedRandom;
using test::RecordingIo;
using test::TempMachine;
using test::WipeEvent;

constexpr int kFillsPerPass = 15;  // five regions of a, b and c

class GutmannTest : public ::testing::Test {
  protected:
    fs::path host(const std::string& name) { return tm.prefix() / "drive_c" / name; }
    std::string win(const std::string& name) { return "C:\\" + name; }
    std::string put(const std::string& name, const std::string& content) {
        tm.writeHostFile(host(name), content);
        return win(name);
    }
    std::string read(const std::string& name) { return TempMachine::readHostFile(host(name)); }

    TempMachine tm;
    RecordingIo io;
    FixedRandom random{{0.3, 0.5, 0.9}};
    CGutMAnn wiper{&io, &random};
};

TEST_F(GutmannTest, TenByteFileHoldsEachPassesLastRunAndIsRemoved) {
    const auto path = put("zehn.txt", "0123456789");
    std::string afterPass1, afterPass7, afterPass29;
    io.afterFill = [&](std::size_t n) {
        if (n == 1 * kFillsPerPass)
            afterPass1 = read("zehn.txt");
        if (n == 7 * kFillsPerPass)
            afterPass7 = read("zehn.txt");
        if (n == 29 * kFillsPerPass)
            afterPass29 = read("zehn.txt");
    };
    EXPECT_EQ(wiper.SecureFileDelete(path), 10.0);
    EXPECT_FALSE(fs::exists(host("zehn.txt")));

    // Pass 1 draws a, b, c = 0.3, 0.5, 0.9: 76.5 rounds to even 76, 127.5 to 128.
    const auto fills = io.fills();
    ASSERT_EQ(fills.size(), 35u * kFillsPerPass);
    const std::vector<std::tuple<std::uint64_t, std::uint8_t>> pass1 = {
        {0, 76}, {0, 128}, {0, 230}, {2, 76}, {2, 128}, {2, 230}};
    for (std::size_t i = 0; i < pass1.size(); ++i) {
        EXPECT_EQ(fills[i].offset, std::get<0>(pass1[i])) << i;
        EXPECT_EQ(fills[i].count, 2u) << i;
        EXPECT_EQ(fills[i].value, std::get<1>(pass1[i])) << i;
    }
    EXPECT_EQ(afterPass1, std::string(10, '\xE6'));
    EXPECT_EQ(afterPass7, std::string(10, '\x24'));  // 92 49 24 written as runs
    EXPECT_EQ(afterPass29, std::string(10, '\xDB'));
    EXPECT_EQ(random.drawn, 24u);  // 8 random passes of 3 draws, no more
    EXPECT_TRUE(random.reseeds.empty());
    EXPECT_TRUE(test::flushedBeforeOverwritten(io.events));
    ASSERT_FALSE(io.events.empty());
    EXPECT_EQ(io.events[io.events.size() - 2].kind, WipeEvent::Truncate);
    EXPECT_EQ(io.events.back().kind, WipeEvent::Flush);
}

TEST_F(GutmannTest, LengthsThatAreNoMultipleOfFive) {
    // 7 bytes: regions of 1 byte; the last two bytes are never overwritten.
    const auto seven = put("sieben.bin", "ABCDEFG");
    std::string beforeCut;
    io.afterFill = [&](std::size_t n) {
        if (n == 35 * kFillsPerPass)
            beforeCut = read("sieben.bin");
    };
    EXPECT_EQ(wiper.SecureFileDelete(seven), 7.0);
    EXPECT_EQ(beforeCut, std::string(5, '\xE6') + "FG");
    for (const auto& f : io.fills()) ASSERT_LE(f.offset + f.count, 5u);
    EXPECT_FALSE(fs::exists(host("sieben.bin")));

    // 8 bytes: regions of 2 bytes cover 10, so the file grows before it is cut.
    RecordingIo io8;
    CGutMAnn wiper8(&io8, &random);
    const auto eight = put("acht.bin", "12345678");
    std::uintmax_t grown = 0;
    io8.afterFill = [&](std::size_t n) {
        if (n == kFillsPerPass)
            grown = fs::file_size(host("acht.bin"));
    };
    EXPECT_EQ(wiper8.SecureFileDelete(eight), 8.0);
    EXPECT_EQ(grown, 10u);
    EXPECT_FALSE(fs::exists(host("acht.bin")));

    // Empty and 2-byte files: cut and removed without a single run.
    RecordingIo ioSmall;
    CGutMAnn small(&ioSmall, &random);
    EXPECT_EQ(small.SecureFileDelete(put("leer.txt", "")), 0.0);
    EXPECT_EQ(small.SecureFileDelete(put("zwei.txt", "ab")), 2.0);
    EXPECT_TRUE(ioSmall.fills().empty());
    EXPECT_FALSE(fs::exists(host("leer.txt")));
    EXPECT_FALSE(fs::exists(host("zwei.txt")));
}

TEST_F(GutmannTest, CancelStopsBeforeTheNextWriteAndLeavesTheFileClosed) {
    const auto path = put("abbruch.txt", std::string(20, 'x'));
    FixedRandom twoPasses{{0.3, 0.5, 0.9, 0.1}};  // pass 2: 25.5 rounds to 26
    CGutMAnn wiper{&io, &twoPasses};
    // The owner sets the flag from the message loop, as a cancel button would.
    auto& loop = pf::ui::MessageLoop::current();
    int yields = 0;
    const auto source = loop.addSource([&] {
        if (++yields == 7)
            wiper.Cancel = true;
    });
    EXPECT_EQ(wiper.SecureFileDelete(path), 20.0);
    loop.removeSource(source);
    EXPECT_TRUE(wiper.cancelled());
    EXPECT_EQ(io.fills().size(), 7u * 3);  // seven regions done, nothing after
    ASSERT_TRUE(fs::exists(host("abbruch.txt")));
    // Pass 1 went through (c = 230); pass 2 reached two regions of 4 bytes.
    EXPECT_EQ(read("abbruch.txt"), std::string(8, '\x1A') + std::string(12, '\xE6'));
    // The handle was closed and its locks released: the file can be wiped again.
    EXPECT_TRUE(pf::OverwriteFile::open(tm.machine(), path, pf::OverwriteFile::Open::Existing));
    EXPECT_EQ(wiper.SecureFileDelete(path), 20.0);  // the flag is cleared per operation
    EXPECT_FALSE(wiper.cancelled());
    EXPECT_FALSE(fs::exists(host("abbruch.txt")));
}

TEST_F(GutmannTest, LinksAndHardLinksNeverHaveTheirContentWiped) {
    const fs::path outside = tm.root() / "outside.txt";
    tm.writeHostFile(outside, "keep me");
    fs::create_symlink(outside, host("link.txt"));
    EXPECT_EQ(wiper.SecureFileDelete(win("link.txt")), 0.0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(host("link.txt"))));  // the link itself is gone
    EXPECT_EQ(TempMachine::readHostFile(outside), "keep me");

    // A linked folder on the way is not entered.
    fs::create_directory_symlink(tm.root(), host("ordnerlink"));
    EXPECT_EQ(wiper.SecureFileDelete(win("ordnerlink\\outside.txt")), 0.0);
    EXPECT_EQ(TempMachine::readHostFile(outside), "keep me");

    put("eins.txt", "shared content");
    fs::create_hard_link(host("eins.txt"), host("zwei.txt"));
    EXPECT_EQ(wiper.SecureFileDelete(win("eins.txt")), 0.0);
    EXPECT_FALSE(fs::exists(host("eins.txt")));
    EXPECT_EQ(read("zwei.txt"), "shared content");
    EXPECT_TRUE(io.fills().empty());
}

TEST_F(GutmannTest, FailuresAnswerZeroAndLeaveTheFile) {
    EXPECT_EQ(wiper.SecureFileDelete(win("fehlt.txt")), 0.0);

    // Locked by another program (an flock held on another open file).
    const auto locked = put("gesperrt.txt", "in use");
    const int fd = ::open(host("gesperrt.txt").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    EXPECT_EQ(wiper.SecureFileDelete(locked), 0.0);
    ::close(fd);
    EXPECT_EQ(read("gesperrt.txt"), "in use");

    // A write failing part-way through pass 1.
    const auto failing = put("defekt.txt", "0123456789");
    io.failFill = 5;
    EXPECT_EQ(wiper.SecureFileDelete(failing), 0.0);
    EXPECT_TRUE(fs::exists(host("defekt.txt")));

    // A read-only file has its attributes reset first, so it is wiped.
    RecordingIo io2;
    CGutMAnn wiper2(&io2, &random);
    const auto readOnly = put("schreibgeschuetzt.txt", "0123456789");
    ASSERT_TRUE(pf::files::setAttributes(tm.machine(), readOnly, pf::fileattr::ReadOnly));
    EXPECT_EQ(wiper2.SecureFileDelete(readOnly), 10.0);
    EXPECT_EQ(io2.fills().size(), 35u * kFillsPerPass);
    EXPECT_FALSE(fs::exists(host("schreibgeschuetzt.txt")));
}

TEST_F(GutmannTest, FreeSpaceWipeFillsAndRemovesItsTemporaryFile) {
    RecordingIo fast(false);  // 35,000 regions: no fdatasync per run here
    CGutMAnn wiper2(&fast, &random);
    std::vector<std::uintmax_t> sizes;
    fast.afterFill = [&](std::size_t n) {
        if (n % 3000 == 0)  // the end of each pass
            sizes.push_back(fs::file_size(host("TEMP.000")));
    };
    bool done = false;
    wiper2.SecureFreeSpaceWipe("C", 8000, done);
    EXPECT_TRUE(done);
    EXPECT_FALSE(fs::exists(host("TEMP.000")));
    EXPECT_EQ(sizes, std::vector<std::uintmax_t>(35, 8000));
    EXPECT_EQ(fast.opened.size(), 35u);
    EXPECT_EQ(random.reseeds.size(), 8u);  // before each random pass
    for (double s : random.reseeds) EXPECT_TRUE(s >= -1.0 && s <= 1.0);
    const auto fills = fast.fills();
    // Region 1 of pass 5 (0x55): b, b again, c, each 8 bytes at offset 8.
    const auto at = 4 * 3000 + 3;
    EXPECT_EQ(fills[at].offset, 8u);
    EXPECT_EQ(fills[at].value, 0x55);
    EXPECT_EQ(fills[at + 2].value, 0x55);
    EXPECT_TRUE(test::flushedBeforeOverwritten(fast.events));
}

TEST_F(GutmannTest, FreeSpaceWipeNeverTakesAnExistingFileAndCleansUpWhenCancelled) {
    put("TEMP.000", "somebody's file");
    bool done = false;
    wiper.SecureFreeSpaceWipe("C:", 8000, done);
    EXPECT_FALSE(done);
    EXPECT_EQ(read("TEMP.000"), "somebody's file");
    fs::remove(host("TEMP.000"));

    RecordingIo fast(false);
    CGutMAnn wiper2(&fast, &random);
    fast.afterFill = [&](std::size_t n) {
        if (n == 4500)
            wiper2.Cancel = true;
    };
    wiper2.SecureFreeSpaceWipe("C", 8000, done);
    EXPECT_FALSE(done);
    EXPECT_TRUE(wiper2.cancelled());
    EXPECT_EQ(fast.fills().size(), 4500u);
    EXPECT_FALSE(fs::exists(host("TEMP.000")));
}

}  // namespace
}  // namespace kx::deletion
