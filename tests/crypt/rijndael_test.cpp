// The cipher component on real files: what it encrypts it decrypts, and what
// anyone changed, cut, extended, reordered or wrote without it never decrypts
// (and leaves nothing behind). Runs stop when told, and the in-place scramble
// writes into the file's own blocks without ever reaching through a link.
#include <gtest/gtest.h>

#include <filesystem>

#include <sys/stat.h>

#include "cipher_fixture.hpp"
#include "crypt/sealed_format.hpp"

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

// Header, the content, one tag per chunk (an empty file has one).
constexpr std::size_t sealedSize(std::size_t n) {
    return H + n + (n == 0 ? 1 : (n + C - 1) / C) * T;
}

class RijnDaelTest : public CipherFixture {
  protected:
    // Encrypts `plain` as C:\Daten\plain -> C:\Daten\sealed; answers the sealed bytes.
    std::string seal(const std::string& plain, int keyBits = 256) {
        put("plain", plain);
        RijnDael c(context());
        setUp(c, win("plain"), win("sealed"), "Kennwort 1", keyBits);
        EXPECT_TRUE(c.EncryptFile()) << c.LastError;
        return get("sealed");
    }

    // Decrypts C:\Daten\<in> to C:\Daten\<out>; answers the plain bytes.
    std::string open(const std::string& in, const std::string& out, int keyBits = 256) {
        RijnDael d(context());
        setUp(d, win(in), win(out), "Kennwort 1", keyBits);
        EXPECT_TRUE(d.DecryptFile()) << d.LastError;
        EXPECT_TRUE(d.LastError.empty());
        return get(out);
    }

    // Decrypting `sealedBytes` fails, the old output stays as it was and no
    // temporary file is left.
    void expectRefused(const std::string& sealedBytes, const std::string& what, int keyBits = 256,
                       const std::string& password = "Kennwort 1") {
        put("probe", sealedBytes);
        put("out", "the old file");
        const auto before = entries();
        RijnDael c(context());
        setUp(c, win("probe"), win("out"), password, keyBits);
        EXPECT_FALSE(c.DecryptFile()) << what;
        EXPECT_FALSE(c.LastError.empty()) << what;
        EXPECT_EQ(get("out"), "the old file") << what;
        EXPECT_EQ(entries(), before) << what;
    }
};

// ---- round trips ----------------------------------------------------------------

TEST_F(RijnDaelTest, RoundTripsAtEveryChunkBoundaryWithBothKeyLengths) {
    for (const int bits : {128, 256}) {
        for (const std::size_t n : {0ul, 1ul, C - 1, C, C + 1, 3 * C, 3 * C + 17}) {
            SCOPED_TRACE(testing::Message() << bits << " bits, " << n << " bytes");
            const std::string plain = pattern(n, static_cast<std::uint32_t>(n + 1));
            const std::string sealedBytes = seal(plain, bits);
            EXPECT_EQ(sealedBytes.size(), sealedSize(n));
            if (n >= 64) {  // no plain text shows through
                EXPECT_EQ(sealedBytes.find(plain.substr(0, 64)), std::string::npos);
            }
            EXPECT_EQ(open("sealed", "back", bits), plain);
        }
    }

    // The default chunks (2.5 MiB: three of 1 MiB); the same plain text seals
    // differently, a fresh nonce prefix per file even under the run's one key.
    const std::string plain = pattern((5u << 20) / 2 + 7);
    put("plain", plain);
    RijnDael c(context());
    c.InputFile = win("plain");
    c.OutputFile = win("one");
    c.Password = "Kennwort 1";
    ASSERT_TRUE(c.EncryptFile()) << c.LastError;
    c.OutputFile = win("two");
    ASSERT_TRUE(c.EncryptFile()) << c.LastError;
    EXPECT_EQ(get("one").size(), H + plain.size() + 3 * T);
    EXPECT_NE(get("one"), get("two"));
    EXPECT_EQ(open("two", "back"), plain);  // reads the chunk size from the header
    // Plain text of a secret is the owner's alone.
    EXPECT_EQ(fs::status(host("back")).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(RijnDaelTest, NewFilesRecordTheDefaultCostAndFilesOfTheOldCostStillOpen) {
    // New files, as the component writes them: scrypt N = 2^17, r = 8, p = 1,
    // written into the header.
    crypt::CipherContext component{tm.machine(), crypt::threadKeyCache()};
    put("plain", "neu");
    RijnDael c(component);
    setUp(c, win("plain"), win("new"));
    ASSERT_TRUE(c.EncryptFile()) << c.LastError;
    EXPECT_EQ(get("new").substr(12, 3), std::string("\x11\x08\x01"));

    // A file written with the former N = 2^15 opens with today's defaults.
    put("plain", "alt");
    component.cost = {15, 8, 1};
    RijnDael former(component);
    setUp(former, win("plain"), win("old"));
    ASSERT_TRUE(former.EncryptFile()) << former.LastError;
    EXPECT_EQ(get("old").substr(12, 3), std::string("\x0F\x08\x01"));
    RijnDael d(crypt::CipherContext{tm.machine(), crypt::threadKeyCache()});
    setUp(d, win("old"), win("back"));
    ASSERT_TRUE(d.DecryptFile()) << d.LastError;
    EXPECT_EQ(get("back"), "alt");
}

TEST_F(RijnDaelTest, OutputReplacesAFileOrALinkButNeverWritesThroughALink) {
    const std::string outside = (tm.root() / "outside.txt").string();
    tm.writeHostFile(outside, "outside stays");
    fs::create_symlink(outside, host("out"));
    seal("new content");
    EXPECT_EQ(open("sealed", "out"), "new content");
    EXPECT_FALSE(fs::is_symlink(host("out")));
    EXPECT_EQ(TempMachine::readHostFile(outside), "outside stays");

    // The same name as input and output: the file is read whole before the
    // new one takes its name.
    RijnDael e(context());
    setUp(e, win("out"), win("out"));
    ASSERT_TRUE(e.EncryptFile()) << e.LastError;
    EXPECT_EQ(open("out", "out"), "new content");

    // A path through a linked folder is refused.
    fs::create_directories(tm.root() / "elsewhere");
    fs::create_directory_symlink(tm.root() / "elsewhere", host("via"));
    setUp(e, win("plain"), "C:\\Daten\\via\\out");
    EXPECT_FALSE(e.EncryptFile());
    EXPECT_TRUE(fs::is_empty(tm.root() / "elsewhere"));
}

TEST_F(RijnDaelTest, BadSettingsAnswerFalseWithoutTouchingAnything) {
    put("plain", "abc");
    const auto before = entries();
    RijnDael c(context());
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
        for (const unsigned mask : field ? std::vector{0x01u, 0x80u, 0xFFu} : std::vector{0x01u}) {
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
        cuts.insert({boundary - T - 1, boundary - T, boundary - 1, boundary, boundary + 1});
    }
    for (const std::size_t cut : cuts)
        if (cut < sealedBytes.size())
            expectRefused(sealedBytes.substr(0, cut), "cut to " + std::to_string(cut));
}

TEST_F(RijnDaelTest, AppendedBytesAreCaught) {
    for (const std::size_t n : {std::size_t{0}, C - 5, 2 * C}) {
        const std::string sealedBytes = seal(pattern(n));
        expectRefused(sealedBytes + "x", "one byte more");
        expectRefused(sealedBytes + std::string(T, '\0'), "an empty record's room more");
        // The last record once more: sealed right, but not as the last one twice.
        const std::size_t lastSize = (sealedBytes.size() - H - 1) % R + 1;
        expectRefused(sealedBytes + sealedBytes.substr(sealedBytes.size() - lastSize),
                      "the last record repeated");
    }
}

TEST_F(RijnDaelTest, RecordsReorderedDroppedOrTakenFromAnotherFileAreCaught) {
    const std::string sealedBytes = seal(pattern(3 * C + 100));
    std::string swapped = sealedBytes;
    // Records 0 and 1 (both full) change places.
    swapped.replace(H, R, sealedBytes.substr(H + R, R));
    swapped.replace(H + R, R, sealedBytes.substr(H, R));
    expectRefused(swapped, "records 0 and 1 swapped");
    // A middle record dropped: every record after it is one place early.
    expectRefused(sealedBytes.substr(0, H + R) + sealedBytes.substr(H + 2 * R), "record 1 dropped");

    // One instance seals both files under one salt, hence one key: only the
    // per-file nonce prefix tells their records apart.
    put("a", pattern(2 * C, 7));
    put("b", pattern(2 * C, 8));
    RijnDael c(context());
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
    expectRefused(seal(pattern(100), 128), "128-bit file read as 256", 256);
    expectRefused(sealedBytes, "256-bit file read as 128", 128);

    expectRefused("", "an empty file");
    expectRefused("plain text someone wrote\r\n", "a text file");
    expectRefused(pattern(5000, 99), "random bytes");
    expectRefused(sealedBytes.substr(0, H), "a header alone");
    // A header of ours (as a forger would copy it) over random records.
    expectRefused(sealedBytes.substr(0, H) + pattern(200, 5), "our header, foreign body");
}

// ---- stopping and progress -------------------------------------------------------

TEST_F(RijnDaelTest, StopItFromAYieldStopsEachKindOfRunWithinOneChunk) {
    const std::string plain = pattern(10 * C);
    seal(plain);
    put("out", "old output");
    const auto before = entries();

    // Stopped in the middle, or at the yield after the last chunk (the output
    // is complete then, and still discarded).
    for (const int stopAt : {3, 10}) {
        for (const int kind : {0, 1, 2}) {
            SCOPED_TRACE(testing::Message() << "kind " << kind << ", stop at yield " << stopAt);
            RijnDael r(context());
            setUp(r, kind == 1 ? win("sealed") : win("plain"), win("out"));
            if (kind == 2) {
                put("scramble", plain);
                r.InputFile = win("scramble");
            }
            int yields = 0;
            YieldHook hook([&] {
                if (++yields == stopAt)
                    r.StopIt = true;
            });
            const bool ok = kind == 0   ? r.EncryptFile()
                            : kind == 1 ? r.DecryptFile()
                                        : r.EncryptInPlace();
            EXPECT_FALSE(ok);
            EXPECT_EQ(yields, stopAt);  // not one chunk more after the stop
            EXPECT_NE(r.LastError.find("abgebrochen"), std::string::npos) << r.LastError;
            EXPECT_EQ(get("out"), "old output");
            if (kind == 2)
                fs::remove(host("scramble"));
            EXPECT_EQ(entries(), before);
        }
    }

    // A run told to stop before it starts does nothing.
    RijnDael r(context());
    setUp(r, win("plain"), win("fresh"));
    r.StopIt = true;
    EXPECT_FALSE(r.EncryptFile());
    EXPECT_FALSE(exists("fresh"));
}

TEST_F(RijnDaelTest, ProgressBarRisesByBytesToItsEnd) {
    put("plain", pattern(8 * C + 1));
    auto bar = std::make_shared<platform::ui::ProgressBar>("pbBar");
    bar->setMax(5000);
    bar->setMin(4000);
    bar->setValue(4500);
    std::vector<std::int32_t> seen;
    YieldHook hook([&] { seen.push_back(bar->value()); });

    RijnDael r(context());
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

    // Without ShowProgress the bar is left alone (the run yields all the same).
    bar->setValue(7);
    seen.clear();
    r.ShowProgress = false;
    r.OutputFile = win("sealed2");
    ASSERT_TRUE(r.EncryptFile());
    EXPECT_EQ(bar->value(), 7);
    EXPECT_EQ(seen.size(), 9u);
}

// ---- in place --------------------------------------------------------------------

TEST_F(RijnDaelTest, InPlaceKeepsTheInodeAndDecryptsBackEvenWhenTheGrowthPassesAChunk) {
    // 300 chunks: the sealed form runs 40 + 300 * 16 bytes ahead of the plain
    // text, more than a whole chunk, which a one-chunk read-ahead forwards
    // would have overwritten before reading.
    for (const std::size_t n : {0ul, 1ul, C, 300 * C + 33}) {
        SCOPED_TRACE(n);
        const std::string plain = pattern(n, 3);
        put("file", plain);
        const ino_t before = inode(host("file"));
        RijnDael r(context());
        setUp(r, win("file"), "", "Kennwort 1", 128);
        ASSERT_TRUE(r.EncryptInPlace()) << r.LastError;
        EXPECT_EQ(inode(host("file")), before);
        const std::string scrambled = get("file");
        EXPECT_EQ(scrambled.size(), sealedSize(n));
        if (n >= 64) {
            EXPECT_EQ(scrambled.find(plain.substr(n / 2, 64)), std::string::npos);
        }
        EXPECT_EQ(open("file", "back", 128), plain);
    }
}

TEST_F(RijnDaelTest, InPlaceRefusesLinksHardLinksAndSpecialFilesBeforeWritingAByte) {
    const std::string outside = (tm.root() / "target.txt").string();
    tm.writeHostFile(outside, "the link's target");
    fs::create_symlink(outside, host("link"));
    tm.writeHostFile(tm.root() / "dir" / "inner.txt", "inside a linked folder");
    fs::create_directory_symlink(tm.root() / "dir", host("dirlink"));
    put("hard", "two names");
    fs::create_hard_link(host("hard"), host("hard2"));
    ASSERT_EQ(::mkfifo(host("fifo").c_str(), 0644), 0);
    put("readonly", "read only");
    fs::permissions(host("readonly"), fs::perms::owner_read);

    RijnDael r(context());
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

TEST_F(RijnDaelTest, RandomKeyScramblesBeyondAnyPasswordAndNeedsNone) {
    const std::string plain = pattern(2 * C + 5);
    put("file", plain);
    RijnDael r(context());
    setUp(r, win("file"), "", "Kennwort 1", 128);
    r.RandomKey = true;
    ASSERT_TRUE(r.EncryptInPlace()) << r.LastError;
    const std::string scrambled = get("file");
    EXPECT_EQ(scrambled.size(), sealedSize(plain.size()));
    EXPECT_EQ(scrambled.find(plain.substr(0, 64)), std::string::npos);
    for (const int bits : {128, 256}) {
        RijnDael d(context());
        setUp(d, win("file"), win("back"), "Kennwort 1", bits);
        EXPECT_FALSE(d.DecryptFile());
        EXPECT_FALSE(exists("back"));
    }
    put("file2", plain);
    setUp(r, win("file2"), "", "", 128);
    EXPECT_TRUE(r.EncryptInPlace()) << r.LastError;
}

}  // namespace
}  // namespace kx::crypt
