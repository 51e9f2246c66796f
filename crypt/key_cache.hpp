#pragma once
// Keys derived from passwords, remembered for a while so that scrypt (a few hundred
// milliseconds and 128 MiB by design) runs once per password and salt rather
// than once per file: a folder run encrypts every file under one salt, and
// the scramble before deletion seals thousands of files with one password.
//
// The cache is small; the component keeps one per thread (the engine runs on
// its host's thread), which the cipher's holder hands to each cipher it
// makes. Keys live in memory only and are wiped when an entry is evicted,
// when the keys of file runs are forgotten at the end of a run, and when the
// cache goes (for the thread's, when the thread ends).
#include <array>
#include <chrono>
#include <cstdint>
#include <expected>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "crypt/sealed_format.hpp"

namespace kx::crypt {

/// A key of 16 or 32 bytes, wiped when it goes.
class SecretKey {
  public:
    SecretKey() = default;
    explicit SecretKey(std::span<const std::uint8_t> bytes);
    SecretKey(const SecretKey& other) : SecretKey(other.bytes()) {}
    SecretKey& operator=(const SecretKey& other);
    ~SecretKey();

    std::span<const std::uint8_t> bytes() const { return {bytes_.data(), size_}; }

  private:
    std::array<std::uint8_t, 32> bytes_{};
    std::size_t size_ = 0;
};

/// What a key was derived for.
enum class KeyUse {
    Files,     // EncryptFile/DecryptFile: forgotten at the end of every run
    Scramble,  // EncryptInPlace: kept for the thread's life (until evicted)
};

/// How many scrypt derivations a cache ran, and how long they took in all:
/// what tests and the benchmark read to see the cache work.
struct DerivationStats {
    std::uint64_t count = 0;
    std::chrono::nanoseconds time{0};
};

/// The derived keys and the random key material a cipher reuses across its
/// runs; a cipher gets one with its context (crypt/cipher_context.hpp).
class KeyCache {
  public:
    KeyCache();
    ~KeyCache();
    KeyCache(const KeyCache&) = delete;
    KeyCache& operator=(const KeyCache&) = delete;

    /// The key of a password for a salt, costs and key length (128 or 256
    /// bits), from the cache or derived (and then remembered). Fails when
    /// scrypt fails.
    std::expected<SecretKey, std::string> passwordKey(std::string_view password,
                                                      const sealed::Salt& salt,
                                                      const platform::crypto::ScryptCost& cost,
                                                      int keyBits, KeyUse use);
    /// Wipes and drops the cached keys of one use.
    void forget(KeyUse use);
    /// Wipes and drops every cached key.
    void forgetAll();
    DerivationStats stats() const;

    /// The salt of every scramble with a password this cache serves, drawn
    /// at its first use. Fails when no random bytes can be had.
    std::expected<sealed::Salt, std::string> scrambleSalt();
    /// A key of `keyBits` (128 or 256) drawn at random at its first use and
    /// never stored anywhere else: the key of RandomKey scrambles.
    std::expected<SecretKey, std::string> throwAwayKey(int keyBits);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

/// The calling thread's cache, which the component keeps between runs.
KeyCache& threadKeyCache();

/// Entries the cache holds at most; the least recently used one goes first.
inline constexpr std::size_t kKeyCacheEntries = 4;

}  // namespace kx::crypt
