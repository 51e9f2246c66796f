#pragma once
// What the cipher component needs from below: random bytes, wiping, scrypt
// and AES-GCM, all on OpenSSL 3 libcrypto, which only platform/crypto.cpp
// includes.
#include <cstddef>
#include <cstdint>
#include <expected>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "platform/files/files.hpp"
#include "platform/machine/machine.hpp"
#include "platform/runtime/error.hpp"

namespace kx::platform::crypto {

/// Fills `out` from the system-seeded generator. Fails only when the
/// generator cannot be seeded.
std::expected<void, Error> randomBytes(std::span<std::uint8_t> out);

/// Overwrites memory with zeros in a way the compiler may not drop as a dead
/// store (OPENSSL_cleanse). Secrets are wiped with it before they are freed.
void cleanse(void* data, std::size_t size);

/// The cost parameters of scrypt: N = 2^log2N, block size r, parallelism p.
struct ScryptCost {
    std::uint32_t log2N = 15;
    std::uint32_t r = 8;
    std::uint32_t p = 1;
};

/// The memory scrypt needs for these costs, in bytes (its working array and
/// block buffer). The derivation is allowed exactly this much plus a margin;
/// OpenSSL's default ceiling (32 MB) would refuse N = 2^15, r = 8.
std::uint64_t scryptMemory(const ScryptCost& cost);

/// Derives key.size() bytes from a password and a salt with scrypt. Fails
/// for costs scrypt does not accept (N below 2, r or p 0, ...) and when the
/// memory cannot be had.
std::expected<void, Error> scrypt(std::string_view password, std::span<const std::uint8_t> salt,
                                  const ScryptCost& cost, std::span<std::uint8_t> key);

/// AES-GCM under one key for many messages (the key schedule is made once).
/// Keys of 16 bytes select AES-128-GCM, keys of 32 bytes AES-256-GCM. Nonces
/// are 12 bytes, tags 16 bytes. The caller keeps nonces unique per key.
class AesGcm {
  public:
    static constexpr std::size_t kNonceBytes = 12;
    static constexpr std::size_t kTagBytes = 16;

    /// Fails for a key of another length.
    static std::expected<AesGcm, Error> create(std::span<const std::uint8_t> key);

    AesGcm(AesGcm&&) noexcept;
    AesGcm& operator=(AesGcm&&) noexcept;
    ~AesGcm();

    /// Seals `plain` with `aad` as associated data: `out` (plain.size() +
    /// kTagBytes bytes) receives the cipher text followed by the tag. `out`
    /// may not overlap `plain` except exactly (in place).
    std::expected<void, Error> seal(std::span<const std::uint8_t, kNonceBytes> nonce,
                                    std::span<const std::uint8_t> aad,
                                    std::span<const std::uint8_t> plain,
                                    std::span<std::uint8_t> out);

    /// Opens what seal made: `sealed` is the cipher text followed by the tag,
    /// `out` receives sealed.size() - kTagBytes bytes. False when the tag does
    /// not match (wrong key, changed bytes, another nonce or other associated
    /// data) or `sealed` is shorter than a tag; `out` then holds nothing the
    /// caller may use.
    bool open(std::span<const std::uint8_t, kNonceBytes> nonce, std::span<const std::uint8_t> aad,
              std::span<const std::uint8_t> sealed, std::span<std::uint8_t> out);

  private:
    struct Context;
    explicit AesGcm(std::unique_ptr<Context> context);
    std::unique_ptr<Context> context_;
};

}  // namespace kx::platform::crypto
