// The cipher's footing: scrypt and AES-GCM agree with published test
// vectors (a swapped parameter or a wrong nonce length would not), a tag
// check fails for every kind of change, and an output file appears under its
// name only when it is published.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include <sys/stat.h>

#include "platform/crypto/crypto.hpp"
#include "platform/files/cipher_files.hpp"
#include "support/temp_machine.hpp"

namespace kx::platform {
namespace {

namespace fs = std::filesystem;
using crypto::AesGcm;
using kx::test::TempMachine;

std::vector<std::uint8_t> fromHex(std::string_view hex) {
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(
            static_cast<std::uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
    return out;
}

std::span<const std::uint8_t> bytes(std::string_view s) {
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

TEST(CryptoTest, ScryptMatchesTheRfcVectorsAndNeedsItsMemoryCeiling) {
    std::vector<std::uint8_t> key(64);
    ASSERT_TRUE(crypto::scrypt("", {}, {4, 1, 1}, key));
    EXPECT_EQ(key, fromHex("77d6576238657b203b19ca42c18a0497f16b4844e3074ae8dfdffa3fede21442"
                           "fcd0069ded0948f8326a753a0fc81f17e8d3e0fb2e0d3628cf35e20c38d18906"));
    ASSERT_TRUE(crypto::scrypt("password", bytes("NaCl"), {10, 8, 16}, key));
    EXPECT_EQ(key, fromHex("fdbabe1c9d3472007856e7190d01e9fe7c6ad7cbc8237830e77376634b373162"
                           "2eaf30d92e22a3886ff109279d9830dac727afb94a83ee6d8360cbdfa2cc0640"));
    // Our own costs need more than OpenSSL's default ceiling of 32 MB.
    EXPECT_GT(crypto::scryptMemory({15, 8, 1}), 32u << 20);
    std::vector<std::uint8_t> ours(32);
    EXPECT_TRUE(crypto::scrypt("pw", bytes("salt"), {15, 8, 1}, ours));
    EXPECT_FALSE(crypto::scrypt("pw", bytes("salt"), {15, 0, 1}, ours));
}

TEST(CryptoTest, AesGcmMatchesTheNistVectorsForBothKeyLengths) {
    const std::array<std::uint8_t, 12> zeroNonce{};
    const std::vector<std::uint8_t> zeros(16, 0);
    struct Case {
        std::size_t keyBytes;
        const char* emptyTag;
        const char* blockCipher;
        const char* blockTag;
    } cases[] = {
        {16, "58e2fccefa7e3061367f1d57a4e7455a", "0388dace60b6a392f328c2b971b2fe78",
         "ab6e47d42cec13bdf53a67b21257bddf"},
        {32, "530f8afbc74536b9a963b4f1c4cb738b", "cea7403d4d606b6e074ec5d3baf39d18",
         "d0d1c8a799996bf0265b98b5d48ab919"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.keyBytes);
        const std::vector<std::uint8_t> key(c.keyBytes, 0);
        auto gcm = AesGcm::create(key);
        ASSERT_TRUE(gcm);
        std::vector<std::uint8_t> out(16);
        ASSERT_TRUE(gcm->seal(zeroNonce, {}, {}, out));
        EXPECT_EQ(out, fromHex(c.emptyTag));
        out.resize(32);
        ASSERT_TRUE(gcm->seal(zeroNonce, {}, zeros, out));
        auto expected = fromHex(c.blockCipher);
        const auto tag = fromHex(c.blockTag);
        expected.insert(expected.end(), tag.begin(), tag.end());
        EXPECT_EQ(out, expected);
        std::vector<std::uint8_t> back(16, 0xAA);
        EXPECT_TRUE(gcm->open(zeroNonce, {}, out, back));
        EXPECT_EQ(back, zeros);
    }
    EXPECT_FALSE(AesGcm::create(std::vector<std::uint8_t>(24, 0)));
}

TEST(CryptoTest, OpenFailsForAnyChangeAndTheSameContextGoesOnWorking) {
    std::vector<std::uint8_t> key(32);
    ASSERT_TRUE(crypto::randomBytes(key));
    auto gcm = AesGcm::create(key);
    ASSERT_TRUE(gcm);
    std::array<std::uint8_t, 12> nonce{1, 2, 3};
    const std::string aad = "header";
    const std::string plain = "a chunk of plain text, longer than one block of AES";
    std::vector<std::uint8_t> sealed(plain.size() + 16);
    ASSERT_TRUE(gcm->seal(nonce, bytes(aad), bytes(plain), sealed));
    std::vector<std::uint8_t> out(plain.size());

    for (std::size_t i = 0; i < sealed.size(); ++i) {
        auto changed = sealed;
        changed[i] ^= 0x01;
        EXPECT_FALSE(gcm->open(nonce, bytes(aad), changed, out)) << i;
    }
    auto otherNonce = nonce;
    otherNonce[11] = 1;
    EXPECT_FALSE(gcm->open(otherNonce, bytes(aad), sealed, out));
    EXPECT_FALSE(gcm->open(nonce, bytes("Header"), sealed, out));
    EXPECT_FALSE(gcm->open(nonce, {}, sealed, out));
    EXPECT_FALSE(
        gcm->open(nonce, bytes(aad), std::span(sealed).first(15), std::span(out).first(0)));
    auto otherKey = key;
    otherKey[0] ^= 1;
    EXPECT_FALSE(AesGcm::create(otherKey)->open(nonce, bytes(aad), sealed, out));
    // Failures leave nothing behind that spoils the next message.
    ASSERT_TRUE(gcm->open(nonce, bytes(aad), sealed, out));
    EXPECT_EQ(std::string(out.begin(), out.end()), plain);
}

class PendingFileTest : public ::testing::Test {
  protected:
    TempMachine tm;
    const fs::path dir = tm.prefix() / "drive_c" / "Daten";
    PendingFileTest() { fs::create_directories(dir); }

    std::set<std::string> entries() const {
        std::set<std::string> out;
        for (const auto& e : fs::directory_iterator(dir)) out.insert(e.path().filename().string());
        return out;
    }
    static std::expected<void, FileError> writeText(cipherfiles::File& f, std::string_view text) {
        return f.write(bytes(text));
    }
};

TEST_F(PendingFileTest, AppearsOnlyWhenPublishedAndReplacesTheOldFile) {
    tm.writeHostFile(dir / "out.txt", "old");
    {
        auto pending = cipherfiles::PendingFile::create(tm.machine(), "C:\\Daten\\out.txt", true);
        ASSERT_TRUE(pending) << pending.error().message;
        ASSERT_TRUE(writeText(pending->file(), "half of the new"));
        EXPECT_EQ(entries(), std::set<std::string>{"out.txt"});  // nothing visible yet
        EXPECT_EQ(TempMachine::readHostFile(dir / "out.txt"), "old");
    }  // dropped unpublished
    EXPECT_EQ(entries(), std::set<std::string>{"out.txt"});
    EXPECT_EQ(TempMachine::readHostFile(dir / "out.txt"), "old");

    auto pending = cipherfiles::PendingFile::create(tm.machine(), "C:\\Daten\\out.txt", true);
    ASSERT_TRUE(pending);
    ASSERT_TRUE(writeText(pending->file(), "the new content"));
    ASSERT_TRUE(pending->publish());
    EXPECT_EQ(entries(), std::set<std::string>{"out.txt"});
    EXPECT_EQ(TempMachine::readHostFile(dir / "out.txt"), "the new content");
    EXPECT_EQ(fs::status(dir / "out.txt").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_FALSE(pending->publish());  // once only
}

TEST_F(PendingFileTest, ReplacesALinkAsANameButRefusesFoldersAndReadOnlyFiles) {
    const auto outside = tm.root() / "outside.txt";
    tm.writeHostFile(outside, "outside");
    fs::create_symlink(outside, dir / "link");
    // Left to the system's writing, the name still changes in one step.
    auto pending = cipherfiles::PendingFile::create(tm.machine(), "C:\\Daten\\link", false,
                                                    cipherfiles::Durability::Cached);
    ASSERT_TRUE(pending);
    ASSERT_TRUE(writeText(pending->file(), "replaced"));
    ASSERT_TRUE(pending->publish());
    EXPECT_FALSE(fs::is_symlink(dir / "link"));
    EXPECT_EQ(TempMachine::readHostFile(outside), "outside");

    fs::create_directory(dir / "folder");
    EXPECT_FALSE(cipherfiles::PendingFile::create(tm.machine(), "C:\\Daten\\folder", false));
    tm.writeHostFile(dir / "ro", "read only");
    fs::permissions(dir / "ro", fs::perms::owner_read);
    EXPECT_FALSE(cipherfiles::PendingFile::create(tm.machine(), "C:\\Daten\\ro", false));
    EXPECT_FALSE(cipherfiles::PendingFile::create(tm.machine(), "C:\\Daten\\none\\x", false));
}

}  // namespace
}  // namespace kx::platform
