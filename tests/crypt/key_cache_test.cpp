// scrypt runs once per password and salt, not once per file: a folder run
// and the scramble before deletion would otherwise spend most of their time
// deriving the same key again. Counted through the thread's derivation stats.
#include <gtest/gtest.h>

#include "cipher_fixture.hpp"
#include "crypt/aes_holder.hpp"
#include "crypt/key_cache.hpp"

namespace kx::crypt {
namespace {

using kx::test::CipherFixture;

class KeyCacheTest : public CipherFixture {
  protected:
    KeyCacheTest() { threadKeyCache().forgetAll(); }
    ~KeyCacheTest() override { threadKeyCache().forgetAll(); }

    // Derivations since the test began.
    std::uint64_t derivations() const { return threadKeyCache().stats().count - start_; }

  private:
    const std::uint64_t start_ = threadKeyCache().stats().count;
};

TEST_F(KeyCacheTest, ARunDerivesOnceForAllItsFilesAndDecryptingThemReusesTheKey) {
    const auto f = [](int i) { return "f" + std::to_string(i); };
    for (int i = 0; i < 5; ++i) put(f(i), pattern(100 + i, i + 1));
    {
        RijnDael run(context());
        for (int i = 0; i < 5; ++i) {
            setUp(run, win(f(i)), win(f(i) + ".kx"));
            ASSERT_TRUE(run.EncryptFile()) << run.LastError;
        }
    }
    EXPECT_EQ(derivations(), 1u);

    // Decrypting them finds the run's key in the cache.
    for (int i = 0; i < 5; ++i) {
        RijnDael d(context());  // one instance per file: the cache is the thread's
        setUp(d, win(f(i) + ".kx"), win("back"));
        ASSERT_TRUE(d.DecryptFile()) << d.LastError;
        EXPECT_EQ(get("back"), pattern(100 + i, i + 1));
    }
    EXPECT_EQ(derivations(), 1u);

    // Another instance (another run) draws a new salt; another password or
    // key length is another key.
    RijnDael next(context());
    setUp(next, win("f0"), win("g0.kx"));
    ASSERT_TRUE(next.EncryptFile());
    EXPECT_EQ(derivations(), 2u);
    setUp(next, win("f0"), win("g1.kx"), "anderes Kennwort");
    ASSERT_TRUE(next.EncryptFile());
    setUp(next, win("f0"), win("g2.kx"), "Kennwort 1", 128);
    ASSERT_TRUE(next.EncryptFile());
    EXPECT_EQ(derivations(), 4u);
    // A wrong password derives (and fails), and is not mistaken for the right one.
    RijnDael wrong(context());
    setUp(wrong, win("f0.kx"), win("back"), "Kennwort 2");
    EXPECT_FALSE(wrong.DecryptFile());
    EXPECT_EQ(derivations(), 5u);
}

TEST_F(KeyCacheTest, ReleasingTheHolderForgetsFileKeysButKeepsTheScrambleKey) {
    put("plain", "content");
    {
        AesRun run;
        setUp(run.cipher(), win("plain"), win("plain.kx"));
        ASSERT_TRUE(run.cipher().EncryptFile());
    }
    {
        AesRun run;
        setUp(run.cipher(), win("plain.kx"), win("back"));
        ASSERT_TRUE(run.cipher().DecryptFile());
    }
    // The first run's key was wiped at its release: derived again.
    EXPECT_EQ(derivations(), 2u);

    // The scramble: one run per file, as the deletion runs it, one derivation.
    for (int i = 0; i < 20; ++i) {
        put("s" + std::to_string(i), pattern(50, i));
        AesRun run;
        setUp(run.cipher(), win("s" + std::to_string(i)), "", "fixed", 128);
        ASSERT_TRUE(run.cipher().EncryptInPlace()) << run.cipher().LastError;
    }
    EXPECT_EQ(derivations(), 3u);
    // All twenty share the thread's scramble salt, but not the nonce prefix.
    EXPECT_EQ(get("s0").substr(16, 16), get("s19").substr(16, 16));
    EXPECT_NE(get("s0").substr(32, 7), get("s19").substr(32, 7));
}

TEST_F(KeyCacheTest, TheCacheStaysSmallAndKeysDependOnTheirLength) {
    const sealed::Salt salt{};
    const platform::crypto::ScryptCost cheap{10, 1, 1};
    const auto key = [&](const std::string& password, int bits = 256) {
        return threadKeyCache().passwordKey(password, salt, cheap, bits, KeyUse::Files);
    };
    const auto last = static_cast<int>(kKeyCacheEntries);
    for (int i = 0; i <= last; ++i) ASSERT_TRUE(key("pw" + std::to_string(i)));
    EXPECT_EQ(derivations(), kKeyCacheEntries + 1);
    // The newest ones are held; the first one went to make room.
    ASSERT_TRUE(key("pw" + std::to_string(last)));
    EXPECT_EQ(derivations(), kKeyCacheEntries + 1);
    const auto full = key("pw0");
    EXPECT_EQ(derivations(), kKeyCacheEntries + 2);
    // (A cached key is the derived one: the first test decrypts with cached keys.)

    // The key bits take part: the 128-bit key is not the 256-bit key's half.
    const auto half = key("pw0", 128);
    ASSERT_TRUE(full && half);
    EXPECT_EQ(half->bytes().size(), 16u);
    EXPECT_FALSE(std::ranges::equal(half->bytes(), full->bytes().first(16)));
}

}  // namespace
}  // namespace kx::crypt
