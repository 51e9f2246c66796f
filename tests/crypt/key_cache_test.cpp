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
    KeyCacheTest() { forgetAllKeys(); }
    ~KeyCacheTest() override { forgetAllKeys(); }

    static std::uint64_t derivations() { return derivationStats().count; }
};

TEST_F(KeyCacheTest, ARunDerivesOnceForAllItsFilesAndDecryptingThemReusesTheKey) {
    for (int i = 0; i < 5; ++i) put("f" + std::to_string(i), pattern(100 + i, i + 1));
    const auto start = derivations();
    {
        RijnDael run;
        for (int i = 0; i < 5; ++i) {
            setUp(run, win("f" + std::to_string(i)), win("f" + std::to_string(i) + ".kx"));
            ASSERT_TRUE(run.EncryptFile()) << run.LastError;
        }
    }
    EXPECT_EQ(derivations() - start, 1u);

    // Decrypting them finds the run's key in the cache.
    for (int i = 0; i < 5; ++i) {
        RijnDael d;  // one instance per file: the cache is the thread's
        setUp(d, win("f" + std::to_string(i) + ".kx"), win("back"));
        ASSERT_TRUE(d.DecryptFile()) << d.LastError;
        EXPECT_EQ(get("back"), pattern(100 + i, i + 1));
    }
    EXPECT_EQ(derivations() - start, 1u);

    // Another instance (another run): a new salt, a new derivation.
    RijnDael next;
    setUp(next, win("f0"), win("g0.kx"));
    ASSERT_TRUE(next.EncryptFile());
    EXPECT_EQ(derivations() - start, 2u);

    // Another password or key length is another key.
    setUp(next, win("f0"), win("g1.kx"), "anderes Kennwort");
    ASSERT_TRUE(next.EncryptFile());
    setUp(next, win("f0"), win("g2.kx"), "Kennwort 1", 128);
    ASSERT_TRUE(next.EncryptFile());
    EXPECT_EQ(derivations() - start, 4u);
    // A wrong password derives (and fails), and is not mistaken for the right one.
    RijnDael wrong;
    setUp(wrong, win("f0.kx"), win("back"), "Kennwort 2");
    EXPECT_FALSE(wrong.DecryptFile());
    EXPECT_EQ(derivations() - start, 5u);
}

TEST_F(KeyCacheTest, ReleasingTheHolderForgetsFileKeysButKeepsTheScrambleKey) {
    put("plain", "content");
    {
        AesRun run;
        setUp(run.cipher(), win("plain"), win("plain.kx"));
        ASSERT_TRUE(run.cipher().EncryptFile());
    }
    const auto afterRun = derivations();
    {
        AesRun run;
        setUp(run.cipher(), win("plain.kx"), win("back"));
        ASSERT_TRUE(run.cipher().DecryptFile());
    }
    // The first run's key was wiped at its release: derived again.
    EXPECT_EQ(derivations() - afterRun, 1u);

    // The scramble: one run per file, as the deletion runs it, one derivation.
    const auto beforeScramble = derivations();
    for (int i = 0; i < 20; ++i) {
        put("s" + std::to_string(i), pattern(50, i));
        AesRun run;
        setUp(run.cipher(), win("s" + std::to_string(i)), "", "fixed", 128);
        ASSERT_TRUE(run.cipher().EncryptInPlace()) << run.cipher().LastError;
    }
    EXPECT_EQ(derivations() - beforeScramble, 1u);
    // All twenty share the thread's scramble salt.
    EXPECT_EQ(get("s0").substr(16, 16), get("s19").substr(16, 16));
    EXPECT_NE(get("s0").substr(32, 7), get("s19").substr(32, 7));  // but not the nonce prefix
}

TEST_F(KeyCacheTest, TheCacheStaysSmall) {
    const sealed::Salt salt{};
    const platform::crypto::ScryptCost cheap{10, 1, 1};
    const auto start = derivations();
    for (int i = 0; i < static_cast<int>(kKeyCacheEntries) + 1; ++i)
        ASSERT_TRUE(passwordKey("pw" + std::to_string(i), salt, cheap, 256, KeyUse::Files));
    EXPECT_EQ(derivations() - start, kKeyCacheEntries + 1);
    // The newest ones are held; the first one went to make room.
    ASSERT_TRUE(
        passwordKey("pw" + std::to_string(kKeyCacheEntries), salt, cheap, 256, KeyUse::Files));
    EXPECT_EQ(derivations() - start, kKeyCacheEntries + 1);
    ASSERT_TRUE(passwordKey("pw0", salt, cheap, 256, KeyUse::Files));
    EXPECT_EQ(derivations() - start, kKeyCacheEntries + 2);

    // The cached key is the derived key: a fresh derivation agrees.
    const auto cached = passwordKey("pw0", salt, cheap, 256, KeyUse::Files);
    forgetAllKeys();
    const auto fresh = passwordKey("pw0", salt, cheap, 256, KeyUse::Files);
    ASSERT_TRUE(cached && fresh);
    EXPECT_TRUE(std::ranges::equal(cached->bytes(), fresh->bytes()));
    // And the key bits take part: the 128-bit key is not the 256-bit key's half.
    const auto half = passwordKey("pw0", salt, cheap, 128, KeyUse::Files);
    ASSERT_TRUE(half);
    EXPECT_EQ(half->bytes().size(), 16u);
    EXPECT_FALSE(std::ranges::equal(half->bytes(), fresh->bytes().first(16)));
}

}  // namespace
}  // namespace kx::crypt
