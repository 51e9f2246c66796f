// The Gutmann wiper on real files of a throw-away machine: what the passes
// leave in a file at chosen points, files whose length is not a multiple of
// five, the random passes, the flush discipline, cancelling, links, locks,
// and the free-space wipe.
#include "deletion/gutmann.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "core/shared_state.hpp"
#include "platform/files/files.hpp"
#include "platform/files/overwrite.hpp"
#include "platform/ui/message_loop.hpp"
#include "services/progress.hpp"
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

constexpr std::size_t kFillsPerPass = 15;  // five regions of a, b and c

class GutmannTest : public ::testing::Test {
  protected:
    fs::path host(const std::string& name) { return tm.prefix() / "drive_c" / name; }
    std::string win(const std::string& name) { return "C:\\" + name; }
    std::string put(const std::string& name, const std::string& content) {
        tm.writeHostFile(host(name), content);
        return win(name);
    }
    std::string read(const std::string& name) { return TempMachine::readHostFile(host(name)); }
    /// The wiper's context: this machine, the recorder and the given draws.
    DeletionContext drawing(RandomSource& draws) {
        return {tm.machine(), progress, stop, draws, nullptr, &io};
    }
    bool there(const std::string& name) { return fs::exists(fs::symlink_status(host(name))); }
    /// Keeps in `seen` what `name` holds right after each of the fills `at`.
    void watch(const std::string& name, std::set<std::size_t> at) {
        seen.clear();
        io.afterFill = [this, name, at](std::size_t n) {
            if (at.contains(n))
                seen[n] = read(name);
        };
    }

    TempMachine tm;
    RecordingIo io{tm.machine()};
    FixedRandom random{{0.3, 0.5, 0.9}};
    WindowProgress progress{shared()};
    bool stop = false;
    CGutMAnn wiper{drawing(random)};
    std::map<std::size_t, std::string> seen;
};

TEST_F(GutmannTest, TenByteFileHoldsEachPassesLastRunAndIsRemoved) {
    const auto path = put("zehn.txt", "0123456789");
    watch("zehn.txt", {1 * kFillsPerPass, 7 * kFillsPerPass, 29 * kFillsPerPass});
    EXPECT_EQ(wiper.SecureFileDelete(path), 10.0);
    EXPECT_FALSE(there("zehn.txt"));

    // Pass 1 draws a, b, c = 0.3, 0.5, 0.9: 76.5 rounds to even 76, 127.5 to 128.
    const auto fills = io.fills();
    ASSERT_EQ(fills.size(), 35 * kFillsPerPass);
    const auto run = [](std::uint64_t at, std::uint8_t value) {
        return WipeEvent{WipeEvent::Fill, at, 2, value};
    };
    EXPECT_EQ(
        std::vector(fills.begin(), fills.begin() + 6),
        (std::vector{run(0, 76), run(0, 128), run(0, 230), run(2, 76), run(2, 128), run(2, 230)}));
    EXPECT_EQ(seen[1 * kFillsPerPass], std::string(10, '\xE6'));
    EXPECT_EQ(seen[7 * kFillsPerPass], std::string(10, '\x24'));  // 92 49 24 written as runs
    EXPECT_EQ(seen[29 * kFillsPerPass], std::string(10, '\xDB'));
    EXPECT_EQ(random.drawn, 24u);  // 8 random passes of 3 draws, no more
    EXPECT_TRUE(random.reseeds.empty());
    EXPECT_TRUE(test::flushedBeforeOverwritten(io.events));
    ASSERT_GE(io.events.size(), 2u);
    EXPECT_EQ(io.events[io.events.size() - 2].kind, WipeEvent::Truncate);
    EXPECT_EQ(io.events.back().kind, WipeEvent::Flush);
}

TEST_F(GutmannTest, LengthsThatAreNoMultipleOfFive) {
    // 7 bytes: regions of 1 byte; the last two bytes are never overwritten.
    watch("sieben.bin", {35 * kFillsPerPass});
    EXPECT_EQ(wiper.SecureFileDelete(put("sieben.bin", "ABCDEFG")), 7.0);
    EXPECT_EQ(seen[35 * kFillsPerPass], std::string(5, '\xE6') + "FG");
    for (const auto& f : io.fills()) ASSERT_LE(f.offset + f.count, 5u);
    EXPECT_FALSE(there("sieben.bin"));

    // 8 bytes: regions of 2 bytes cover 10, so the file grows before it is cut.
    io.reset();
    watch("acht.bin", {kFillsPerPass});
    EXPECT_EQ(wiper.SecureFileDelete(put("acht.bin", "12345678")), 8.0);
    EXPECT_EQ(seen[kFillsPerPass].size(), 10u);
    EXPECT_FALSE(there("acht.bin"));

    // Empty and 2-byte files: cut and removed without a single run.
    io.reset();
    EXPECT_EQ(wiper.SecureFileDelete(put("leer.txt", "")), 0.0);
    EXPECT_EQ(wiper.SecureFileDelete(put("zwei.txt", "ab")), 2.0);
    EXPECT_TRUE(io.fills().empty());
    EXPECT_FALSE(there("leer.txt"));
    EXPECT_FALSE(there("zwei.txt"));
}

TEST_F(GutmannTest, CancelStopsBeforeTheNextWriteAndLeavesTheFileClosed) {
    const auto path = put("abbruch.txt", std::string(20, 'x'));
    FixedRandom twoPasses{{0.3, 0.5, 0.9, 0.1}};  // pass 2: 25.5 rounds to 26
    CGutMAnn twoPassWiper{drawing(twoPasses)};
    // The owner sets the flag from the message loop, as a cancel button would.
    auto& loop = pf::ui::MessageLoop::current();
    int yields = 0;
    const auto source = loop.addSource([&] {
        if (++yields == 7)
            twoPassWiper.Cancel = true;
    });
    EXPECT_EQ(twoPassWiper.SecureFileDelete(path), 20.0);
    loop.removeSource(source);
    EXPECT_TRUE(twoPassWiper.cancelled());
    EXPECT_EQ(io.fills().size(), 7u * 3);  // seven regions done, nothing after
    // Pass 1 went through (c = 230); pass 2 reached two regions of 4 bytes.
    EXPECT_EQ(read("abbruch.txt"), std::string(8, '\x1A') + std::string(12, '\xE6'));
    // The handle was closed and its locks released: the file can be wiped again.
    EXPECT_TRUE(pf::OverwriteFile::open(tm.machine(), path, pf::OverwriteFile::Open::Existing));
    EXPECT_EQ(twoPassWiper.SecureFileDelete(path), 20.0);  // the flag is cleared per operation
    EXPECT_FALSE(twoPassWiper.cancelled());
    EXPECT_FALSE(there("abbruch.txt"));
}

TEST_F(GutmannTest, LinksHardLinksAndFailuresFreeNothingAndWipeNothingElse) {
    using enum DeleteOutcome;
    const auto outcome = [&](const std::string& path) {
        const auto result = wiper.destroyFile(path);
        EXPECT_EQ(result.bytesFreed(), 0.0) << path;
        return result.outcome;
    };
    // A link goes itself; neither its target nor a file behind a linked folder is wiped.
    const fs::path outside = tm.root() / "outside.txt";
    tm.writeHostFile(outside, "keep me");
    fs::create_symlink(outside, host("link.txt"));
    EXPECT_EQ(outcome(win("link.txt")), LinkRemoved);
    EXPECT_FALSE(there("link.txt"));
    fs::create_directory_symlink(tm.root(), host("ordnerlink"));
    EXPECT_EQ(outcome(win("ordnerlink\\outside.txt")), Failed);
    EXPECT_EQ(outcome(win("ordnerlink")), LinkRemoved);  // a link to a folder goes too
    EXPECT_FALSE(there("ordnerlink"));
    EXPECT_EQ(TempMachine::readHostFile(outside), "keep me");

    // A hard-linked file loses this name only.
    put("eins.txt", "shared content");
    fs::create_hard_link(host("eins.txt"), host("zwei.txt"));
    EXPECT_EQ(outcome(win("eins.txt")), NameRemoved);
    EXPECT_FALSE(there("eins.txt"));
    EXPECT_EQ(read("zwei.txt"), "shared content");

    // Missing, or locked by another program (an flock held on another open file).
    EXPECT_EQ(outcome(win("fehlt.txt")), NothingThere);
    const auto locked = put("gesperrt.txt", "in use");
    const int fd = ::open(host("gesperrt.txt").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    EXPECT_EQ(outcome(locked), Failed);
    ::close(fd);
    EXPECT_EQ(read("gesperrt.txt"), "in use");
    EXPECT_TRUE(io.fills().empty());

    // A write failing part-way through pass 1.
    io.failFill = 5;
    EXPECT_EQ(outcome(put("defekt.txt", "0123456789")), Failed);
    EXPECT_TRUE(there("defekt.txt"));

    // A read-only file has its attributes reset first, so it is wiped.
    io.reset();
    const auto readOnly = put("schreibgeschuetzt.txt", "0123456789");
    ASSERT_TRUE(pf::files::setAttributes(tm.machine(), readOnly, pf::fileattr::ReadOnly));
    EXPECT_EQ(wiper.SecureFileDelete(readOnly), 10.0);
    EXPECT_EQ(io.fills().size(), 35 * kFillsPerPass);
    EXPECT_FALSE(there("schreibgeschuetzt.txt"));
}

TEST_F(GutmannTest, FreeSpaceWipeFillsNeverTakesAnExistingFileAndCleansUpWhenCancelled) {
    // Somebody's TEMP.000 is neither overwritten nor removed.
    put("TEMP.000", "somebody's file");
    bool done = false;
    wiper.SecureFreeSpaceWipe("C:", 8000, done);
    EXPECT_FALSE(done);
    EXPECT_EQ(read("TEMP.000"), "somebody's file");
    fs::remove(host("TEMP.000"));

    io.reset();
    io.realFlush = false;  // 35,000 regions: no fdatasync per run here
    std::vector<std::uintmax_t> sizes;
    io.afterFill = [&](std::size_t n) {
        if (n % 3000 == 0)  // the end of each pass
            sizes.push_back(fs::file_size(host("TEMP.000")));
    };
    wiper.SecureFreeSpaceWipe("C", 8000, done);
    EXPECT_TRUE(done);
    EXPECT_FALSE(there("TEMP.000"));
    EXPECT_EQ(sizes, std::vector<std::uintmax_t>(35, 8000));
    EXPECT_EQ(io.opened.size(), 35u);
    EXPECT_EQ(random.reseeds.size(), 8u);  // before each random pass
    for (double s : random.reseeds) EXPECT_TRUE(s >= -1.0 && s <= 1.0);
    // Region 1 of pass 5 (0x55): b, b again, c, each 8 bytes at offset 8.
    const auto fills = io.fills();
    const auto at = 4 * 3000 + 3;
    EXPECT_EQ(fills[at], (WipeEvent{WipeEvent::Fill, 8, 8, 0x55}));
    EXPECT_EQ(fills[at + 2], (WipeEvent{WipeEvent::Fill, 8, 8, 0x55}));
    EXPECT_TRUE(test::flushedBeforeOverwritten(io.events));

    // Cancelled in pass 2: the temporary file does not stay to keep the drive
    // full, and a flag left true by the wipe before does not report it done.
    io.reset();
    io.afterFill = [&](std::size_t n) {
        if (n == 4500)
            wiper.Cancel = true;
    };
    ASSERT_TRUE(done);
    wiper.SecureFreeSpaceWipe("C", 8000, done);
    EXPECT_FALSE(done);
    EXPECT_TRUE(wiper.cancelled());
    EXPECT_EQ(io.fills().size(), 4500u);
    EXPECT_FALSE(there("TEMP.000"));
}

}  // namespace
}  // namespace kx::deletion
