// The cipher component on real files: what it encrypts it decrypts, and what
// anyone changed, cut, extended, reordered or wrote without it never decrypts
// (and leaves nothing behind). Runs stop when told, and the in-place scramble
// writes into the file's own blocks without ever reaching through a link.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cipher_fixture.hpp"
#include "crypt/sealed_format.hpp"
#include "platform/ui/message_loop.hpp"

namespace kx::crypt {
namespace {

namespace fs = std::filesystem;
using kx::test::CipherFixture;
using kx::test::TempMachine;
using kx::test::YieldHook;

constexpr std::size_t C = CipherFixture::kChunk;
constexpr std::size_t H = sealed::kHeaderBytes;
constexpr std::size_t T = sealed::kTagBytes;
constexpr std::size_t R = C + T;  // a full record

class RijnDaelTest : public CipherFixture {
  protected:
    // Encrypts `plain` as C:\Daten\plain -> C:\Daten\sealed; answers the sealed bytes.
    std::string seal(const std::string& plain, int keyBits = 256,
                     const std::string& password = "Kennwort 1") {
        put("plain", plain);
        RijnDael c;
        setUp(c, win("plain"), win("sealed"), password, keyBits);
        EXPECT_TRUE(c.EncryptFile()) << c.LastError;
        return get("sealed");
    }

    // Decrypting `sealedBytes` fails, and neither the output nor a temporary
    // file is left.
    void expectRefused(const std::string& sealedBytes, const std::string& what, int keyBits = 256,
                       const std::string& password = "Kennwort 1") {
        put("probe", sealedBytes);
        const auto before = entries();
        RijnDael c;
        setUp(c, win("probe"), win("out"), password, keyBits);
        EXPECT_FALSE(c.DecryptFile()) << what;
        EXPECT_FALSE(c.LastError.empty()) << what;
        EXPECT_FALSE(exists("out")) << what;
        EXPECT_EQ(entries(), before) << what;
    }
};

// ---- round trips ----------------------------------------------------------------

TEST_F(RijnDaelTest, RoundTripsAtEveryChunkBoundaryWithBothKeyLengths) {
    const std::size_t sizes[] = {0, 1, C - 1, C, C + 1, 3 * C, 3 * C + 17};
    for (const int bits : {128, 256}) {
        for (const std::size_t n : sizes) {
            SCOPED_TRACE(testing::Message() << bits << " bits, " << n << " bytes");
            const std::string plain = pattern(n, static_cast<std::uint32_t>(n + 1));
            const std::string sealedBytes = seal(plain, bits);
            // Header, the content, one tag per chunk (an empty file has one).
            const std::size_t records = n == 0 ? 1 : (n + C - 1) / C;
            EXPECT_EQ(sealedBytes.size(), H + n + records * T);
            if (n >= 64) {  // no plain text shows through
                EXPECT_EQ(sealedBytes.find(plain.substr(0, 64)), std::string::npos);
            }

            RijnDael d;
            setUp(d, win("sealed"), win("back"), "Kennwort 1", bits);
            ASSERT_TRUE(d.DecryptFile()) << d.LastError;
            EXPECT_EQ(get("back"), plain);
            EXPECT_TRUE(d.LastError.empty());
        }
    }
}

TEST_F(RijnDaelTest, DefaultChunksRoundTripAndTheSamePlainTextSealsDifferently) {
    const std::string plain = pattern((5u << 20) / 2 + 7);  // 2.5 MiB: three 1 MiB chunks
    put("plain", plain);
    RijnDael c;
    c.InputFile = win("plain");
    c.OutputFile = win("one");
    c.Password = "Kennwort 1";
    ASSERT_TRUE(c.EncryptFile()) << c.LastError;
    c.OutputFile = win("two");
    ASSERT_TRUE(c.EncryptFile()) << c.LastError;
    EXPECT_EQ(get("one").size(), H + plain.size() + 3 * T);
    // A fresh nonce prefix per file, even under the run's one key.
    EXPECT_NE(get("one"), get("two"));

    RijnDael d;
    d.InputFile = win("two");
    d.OutputFile = win("back");
    d.Password = "Kennwort 1";
    ASSERT_TRUE(d.DecryptFile()) << d.LastError;
    EXPECT_EQ(get("back"), plain);
    // Plain text of a secret is the owner's alone.
    EXPECT_EQ(fs::status(host("back")).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(RijnDaelTest, OutputReplacesAFileOrALinkButNeverWritesThroughTheLink) {
    const std::string outside = (tm.root() / "outside.txt").string();
    tm.writeHostFile(outside, "outside stays");
    fs::create_symlink(outside, host("out"));
    const std::string sealedBytes = seal("new content");
    put("probe", sealedBytes);
    RijnDael d;
    setUp(d, win("probe"), win("out"));
    ASSERT_TRUE(d.DecryptFile()) << d.LastError;
    EXPECT_FALSE(fs::is_symlink(host("out")));
    EXPECT_EQ(get("out"), "new content");
    EXPECT_EQ(TempMachine::readHostFile(outside), "outside stays");

    // The same name as input and output: the file is read whole before the
    // new one takes its name.
    RijnDael e;
    setUp(e, win("out"), win("out"));
    ASSERT_TRUE(e.EncryptFile()) << e.LastError;
    setUp(d, win("out"), win("out"));
    ASSERT_TRUE(d.DecryptFile()) << d.LastError;
    EXPECT_EQ(get("out"), "new content");
}

TEST_F(RijnDaelTest, PathThroughALinkedFolderIsRefusedForTheOutput) {
    fs::create_directories(tm.root() / "elsewhere");
    fs::create_directory_symlink(tm.root() / "elsewhere", host("via"));
    put("plain", "x");
    RijnDael c;
    setUp(c, win("plain"), "C:\\Daten\\via\\out");
    EXPECT_FALSE(c.EncryptFile());
    EXPECT_TRUE(fs::is_empty(tm.root() / "elsewhere"));
}

TEST_F(RijnDaelTest, BadSettingsAnswerFalseWithoutTouchingAnything) {
    put("plain", "abc");
    const auto before = entries();
    RijnDael c;
    setUp(c, win("plain"), win("out"));
    c.KeyBits = 192;
    EXPECT_FALSE(c.EncryptFile());
    c.KeyBits = 256;
    c.ChunkBytes = 5000;  // no power of two
    EXPECT_FALSE(c.EncryptFile());
    c.ChunkBytes = 1024;  // below 4 KiB
    EXPECT_FALSE(c.EncryptFile());
    c.ChunkBytes = kChunk;
    c.Password = "";
    EXPECT_FALSE(c.EncryptFile());
    EXPECT_FALSE(c.EncryptInPlace());
    c.Password = "x";
    c.InputFile = win("missing");
    EXPECT_FALSE(c.EncryptFile());
    c.InputFile = "\\\\server\\share\\x";
    EXPECT_FALSE(c.EncryptFile());
    c.InputFile = win("plain");
    fs::create_directory(host("folder"));
    c.OutputFile = win("folder");
    EXPECT_FALSE(c.EncryptFile());
    fs::remove(host("folder"));
    EXPECT_EQ(entries(), before);
    EXPECT_EQ(get("plain"), "abc");
}

// ---- what must never decrypt ---------------------------------------------------

TEST_F(RijnDaelTest, EverySingleByteChangeIsCaught) {
    // Two chunks: the flips reach the header, a full record and the last one.
    const std::string sealedBytes = seal(pattern(C + 10));
    ASSERT_EQ(sealedBytes.size(), H + C + 10 + 2 * T);
    for (std::size_t i = 0; i < sealedBytes.size(); ++i) {
        // The header's fields are tried with several changes per byte (a
        // single bit, the top bit, all bits); the salt (each change costs a
        // derivation) and the body with one.
        const bool field = i < 16 || (i >= 32 && i < H);
        const std::vector<unsigned> masks =
            field ? std::vector<unsigned>{0x01, 0x80, 0xFF} : std::vector<unsigned>{0x01};
        for (const unsigned mask : masks) {
            std::string changed = sealedBytes;
            changed[i] = static_cast<char>(changed[i] ^ mask);
            expectRefused(changed, "byte " + std::to_string(i) + " ^ " + std::to_string(mask));
            if (HasFailure())
                return;  // one report is enough
        }
    }
}

TEST_F(RijnDaelTest, CutAtAndAroundEveryRecordBoundaryIsCaught) {
    const std::string sealedBytes = seal(pattern(3 * C));  // three full records
    ASSERT_EQ(sealedBytes.size(), H + 3 * R);
    std::set<std::size_t> cuts = {0, 1, H - 1, H, H + 1, H + T - 1, H + T};
    for (std::size_t k = 1; k <= 3; ++k) {
        const std::size_t boundary = H + k * R;
        cuts.insert({boundary - T - 1, boundary - T, boundary - 1, boundary});
        if (boundary + 1 < sealedBytes.size())
            cuts.insert(boundary + 1);
    }
    for (const std::size_t cut : cuts) {
        if (cut >= sealedBytes.size())
            continue;
        expectRefused(sealedBytes.substr(0, cut), "cut to " + std::to_string(cut));
    }
}

TEST_F(RijnDaelTest, AppendedBytesAreCaught) {
    for (const std::size_t n : {std::size_t{0}, C - 5, 2 * C}) {
        const std::string sealedBytes = seal(pattern(n));
        expectRefused(sealedBytes + "x", "one byte more");
        expectRefused(sealedBytes + std::string(T, '\0'), "an empty record's room more");
        // The last record once more: sealed right, but not as the last one twice.
        const std::size_t lastSize =
            (sealedBytes.size() - H) % R == 0 ? R : (sealedBytes.size() - H) % R;
        expectRefused(sealedBytes + sealedBytes.substr(sealedBytes.size() - lastSize),
                      "the last record repeated");
    }
}

TEST_F(RijnDaelTest, ReorderedRecordsAreCaught) {
    const std::string sealedBytes = seal(pattern(3 * C + 100));
    std::string swapped = sealedBytes;
    // Records 0 and 1 (both full) change places.
    swapped.replace(H, R, sealedBytes.substr(H + R, R));
    swapped.replace(H + R, R, sealedBytes.substr(H, R));
    expectRefused(swapped, "records 0 and 1 swapped");
    // A middle record dropped: every record after it is one place early.
    expectRefused(sealedBytes.substr(0, H + R) + sealedBytes.substr(H + 2 * R), "record 1 dropped");
}

TEST_F(RijnDaelTest, RecordsOfAnotherFileSealedUnderTheSameKeyAreCaught) {
    // One instance seals both files under one salt, hence one key: only the
    // per-file nonce prefix tells their records apart.
    put("a", pattern(2 * C, 7));
    put("b", pattern(2 * C, 8));
    RijnDael c;
    setUp(c, win("a"), win("a.kx"));
    ASSERT_TRUE(c.EncryptFile());
    setUp(c, win("b"), win("b.kx"));
    ASSERT_TRUE(c.EncryptFile());
    const std::string a = get("a.kx");
    const std::string b = get("b.kx");
    ASSERT_EQ(a.substr(16, 16), b.substr(16, 16));  // the same salt
    expectRefused(a.substr(0, H + R) + b.substr(H + R), "b's last record after a's first");
    expectRefused(b.substr(0, H) + a.substr(H), "b's header on a's records");
}

TEST_F(RijnDaelTest, WrongPasswordWrongKeyLengthAndForeignFilesAreRefused) {
    const std::string sealedBytes = seal(pattern(100));
    expectRefused(sealedBytes, "wrong password", 256, "Kennwort 2");
    expectRefused(sealedBytes, "password with a trailing space", 256, "Kennwort 1 ");
    const std::string sealed128 = seal(pattern(100), 128);
    expectRefused(sealed128, "128-bit file read as 256", 256);
    expectRefused(sealedBytes, "256-bit file read as 128", 128);

    expectRefused("", "an empty file");
    expectRefused("plain text someone wrote\r\n", "a text file");
    expectRefused(pattern(5000, 99), "random bytes");
    expectRefused(sealedBytes.substr(0, H), "a header alone");
    // A header of ours (as a forger would copy it) over random records.
    expectRefused(sealedBytes.substr(0, H) + pattern(200, 5), "our header, foreign body");
}

TEST_F(RijnDaelTest, AFailedDecryptionLeavesTheOldOutputAsItWas) {
    put("out", "the old file");
    const std::string sealedBytes = seal(pattern(3 * C));
    put("probe", sealedBytes.substr(0, sealedBytes.size() - 1));
    RijnDael d;
    setUp(d, win("probe"), win("out"));
    EXPECT_FALSE(d.DecryptFile());
    EXPECT_EQ(get("out"), "the old file");
}

// ---- stopping and progress -------------------------------------------------------

TEST_F(RijnDaelTest, StopItFromAYieldStopsEachKindOfRunWithinOneChunk) {
    const std::string plain = pattern(10 * C);
    put("plain", plain);
    RijnDael c;
    setUp(c, win("plain"), win("sealed"));
    ASSERT_TRUE(c.EncryptFile());
    put("out", "old output");
    const auto before = entries();

    for (const int kind : {0, 1, 2}) {
        SCOPED_TRACE(kind);
        RijnDael r;
        setUp(r, kind == 1 ? win("sealed") : win("plain"), win("out"));
        if (kind == 2) {
            put("scramble", plain);
            r.InputFile = win("scramble");
        }
        int yields = 0;
        YieldHook hook([&] {
            if (++yields == 3)
                r.StopIt = true;
        });
        const bool ok = kind == 0   ? r.EncryptFile()
                        : kind == 1 ? r.DecryptFile()
                                    : r.EncryptInPlace();
        EXPECT_FALSE(ok);
        EXPECT_EQ(yields, 3);  // not one chunk more after the stop
        EXPECT_NE(r.LastError.find("stopped"), std::string::npos) << r.LastError;
        EXPECT_EQ(get("out"), "old output");
        if (kind == 2)
            fs::remove(host("scramble"));
        EXPECT_EQ(entries(), before);
    }

    // A run told to stop before it starts does nothing.
    RijnDael r;
    setUp(r, win("plain"), win("fresh"));
    r.StopIt = true;
    EXPECT_FALSE(r.EncryptFile());
    EXPECT_FALSE(exists("fresh"));
}

TEST_F(RijnDaelTest, AStopDuringTheLastYieldStillDiscardsTheOutput) {
    put("plain", pattern(2 * C));
    RijnDael r;
    setUp(r, win("plain"), win("out"));
    int yields = 0;
    YieldHook hook([&] {
        if (++yields == 2)  // the yield after the last chunk
            r.StopIt = true;
    });
    EXPECT_FALSE(r.EncryptFile());
    EXPECT_FALSE(exists("out"));
}

TEST_F(RijnDaelTest, ProgressBarRisesByBytesToItsEnd) {
    put("plain", pattern(8 * C + 1));
    auto bar = std::make_shared<platform::ui::ProgressBar>("pbBar");
    bar->setMax(5000);
    bar->setMin(4000);
    bar->setValue(4500);
    std::vector<std::int32_t> seen;
    YieldHook hook([&] { seen.push_back(bar->value()); });

    RijnDael r;
    setUp(r, win("plain"), win("sealed"));
    r.ProgressBar = bar;
    r.ShowProgress = true;
    ASSERT_TRUE(r.EncryptFile()) << r.LastError;
    ASSERT_EQ(seen.size(), 9u);  // one yield per chunk
    EXPECT_EQ(bar->min(), 0);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_GT(seen.front(), 0);
    EXPECT_LT(seen[3], seen[4]);
    EXPECT_EQ(seen.back(), bar->max());

    // Without ShowProgress the bar is left alone.
    bar->setValue(7);
    seen.clear();
    r.ShowProgress = false;
    r.OutputFile = win("sealed2");
    ASSERT_TRUE(r.EncryptFile());
    EXPECT_EQ(bar->value(), 7);
    EXPECT_EQ(seen.size(), 9u);  // it yields all the same
}

// ---- in place --------------------------------------------------------------------

TEST_F(RijnDaelTest, InPlaceKeepsTheInodeAndDecryptsBackEvenWhenTheGrowthPassesAChunk) {
    // 300 chunks: the sealed form runs 40 + 300 * 16 bytes ahead of the plain
    // text, more than a whole chunk, which a one-chunk read-ahead forwards
    // would have overwritten before reading.
    for (const std::size_t n : {std::size_t{0}, std::size_t{1}, C, 300 * C + 33}) {
        SCOPED_TRACE(n);
        const std::string plain = pattern(n, 3);
        put("file", plain);
        const ino_t before = inode(host("file"));
        RijnDael r;
        setUp(r, win("file"), "", "Kennwort 1", 128);
        ASSERT_TRUE(r.EncryptInPlace()) << r.LastError;
        EXPECT_EQ(inode(host("file")), before);
        const std::string scrambled = get("file");
        const std::size_t records = n == 0 ? 1 : (n + C - 1) / C;
        EXPECT_EQ(scrambled.size(), H + n + records * T);
        if (n >= 64) {
            EXPECT_EQ(scrambled.find(plain.substr(n / 2, 64)), std::string::npos);
        }

        RijnDael d;
        setUp(d, win("file"), win("back"), "Kennwort 1", 128);
        ASSERT_TRUE(d.DecryptFile()) << d.LastError;
        EXPECT_EQ(get("back"), plain);
    }
}

TEST_F(RijnDaelTest, InPlaceRefusesLinksHardLinksAndSpecialFilesBeforeWritingAByte) {
    const std::string outside = (tm.root() / "target.txt").string();
    tm.writeHostFile(outside, "the link's target");
    fs::create_symlink(outside, host("link"));
    fs::create_directories(tm.root() / "dir");
    tm.writeHostFile(tm.root() / "dir" / "inner.txt", "inside a linked folder");
    fs::create_directory_symlink(tm.root() / "dir", host("dirlink"));
    put("hard", "two names");
    fs::create_hard_link(host("hard"), host("hard2"));
    ASSERT_EQ(::mkfifo(host("fifo").c_str(), 0644), 0);
    put("readonly", "read only");
    fs::permissions(host("readonly"), fs::perms::owner_read);

    RijnDael r;
    for (const char* name : {"link", "dirlink\\inner.txt", "hard", "fifo", "readonly", "missing"}) {
        SCOPED_TRACE(name);
        setUp(r, win(name), "");
        EXPECT_FALSE(r.EncryptInPlace());  // and returns: the FIFO does not block
        EXPECT_FALSE(r.LastError.empty());
    }
    EXPECT_EQ(TempMachine::readHostFile(outside), "the link's target");
    EXPECT_TRUE(fs::is_symlink(host("link")));
    EXPECT_EQ(TempMachine::readHostFile(tm.root() / "dir" / "inner.txt"), "inside a linked folder");
    EXPECT_EQ(get("hard"), "two names");
    EXPECT_EQ(get("readonly"), "read only");
}

TEST_F(RijnDaelTest, RandomKeyScramblesBeyondAnyPassword) {
    const std::string plain = pattern(2 * C + 5);
    put("file", plain);
    RijnDael r;
    setUp(r, win("file"), "", "Kennwort 1", 128);
    r.RandomKey = true;
    ASSERT_TRUE(r.EncryptInPlace()) << r.LastError;
    const std::string scrambled = get("file");
    EXPECT_EQ(scrambled.size(), H + plain.size() + 3 * T);
    EXPECT_EQ(scrambled.find(plain.substr(0, 64)), std::string::npos);
    for (const int bits : {128, 256}) {
        RijnDael d;
        setUp(d, win("file"), win("back"), "Kennwort 1", bits);
        EXPECT_FALSE(d.DecryptFile());
        EXPECT_FALSE(exists("back"));
    }
    // It needs no password at all.
    put("file2", plain);
    setUp(r, win("file2"), "", "", 128);
    EXPECT_TRUE(r.EncryptInPlace()) << r.LastError;
}

}  // namespace
}  // namespace kx::crypt
