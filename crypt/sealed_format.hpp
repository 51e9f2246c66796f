#pragma once
// The layout of the files the cipher component writes ("sealed files").
//
//   offset size  field
//        0    8  magic "KXSEALED"
//        8    1  layout version, 1
//        9    2  key bits, big-endian: 128 or 256 (AES-128-GCM / AES-256-GCM)
//       11    1  key source: 1 = scrypt of the password; 0 = a random key
//                that was never stored (a scramble nobody can undo)
//       12    1  scrypt log2 N
//       13    1  scrypt r
//       14    1  scrypt p
//       15    1  log2 of the chunk size C (12..24: 4 KiB .. 16 MiB)
//       16   16  salt (random)
//       32    7  nonce prefix (random, per file)
//       39    1  reserved, 0
//       40       records
//
// The plain text is cut into chunks of C bytes; every chunk but the last is
// full, the last holds 0..C bytes (an empty file has one empty last chunk).
// Record i is chunk i sealed with AES-GCM: C' bytes of cipher text followed by
// a 16-byte tag, so every record but the last is exactly C + 16 bytes and the
// last one 16..C + 16. The nonce of record i is
//
//   nonce prefix (7) || i as 32-bit big-endian || 1 for the last record, else 0
//
// and the associated data of every record is the whole 40-byte header. So:
// a wrong password or a changed header byte fails the first record; a changed
// record byte fails that record; records swapped or moved fail their counter;
// a file cut at a record boundary ends in a record not sealed as the last;
// bytes appended turn the real last record into a middle one; records from
// another file (even one sealed under the same key) carry another prefix in
// their associated data. Decryption reads the header's own C and costs, but
// only within limits, so a crafted header cannot make us allocate gigabytes
// or compute for hours.
//
// The key is scrypt(password, salt || key bits as 16-bit big-endian, N, r, p)
// of 16 or 32 bytes: the key bits take part, so the 128-bit key of a password
// is not the first half of its 256-bit key.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "platform/crypto/crypto.hpp"

namespace kx::crypt::sealed {

inline constexpr std::size_t kHeaderBytes = 40;
inline constexpr std::size_t kSaltBytes = 16;
inline constexpr std::size_t kPrefixBytes = 7;
inline constexpr std::size_t kTagBytes = platform::crypto::AesGcm::kTagBytes;
inline constexpr std::uint8_t kVersion = 1;
inline constexpr std::uint32_t kMinChunkLog2 = 12;
inline constexpr std::uint32_t kMaxChunkLog2 = 24;
inline constexpr std::uint32_t kDefaultChunkLog2 = 20;  // 1 MiB: few system calls, little memory

enum class KeySource : std::uint8_t {
    RandomKey = 0,
    Password = 1,
};

/// What we write: N = 2^17, r = 8, p = 1 (128 MiB, some 200..400 ms), the
/// common minimum for files at rest. Files written with N = 2^15 before
/// still open: every file is read with the costs its header records.
inline constexpr platform::crypto::ScryptCost kDefaultCost{17, 8, 1};

using Salt = std::array<std::uint8_t, kSaltBytes>;
using NoncePrefix = std::array<std::uint8_t, kPrefixBytes>;
using Nonce = std::array<std::uint8_t, platform::crypto::AesGcm::kNonceBytes>;

struct Header {
    std::uint16_t keyBits = 256;
    KeySource source = KeySource::Password;
    platform::crypto::ScryptCost cost = kDefaultCost;
    std::uint32_t chunkLog2 = kDefaultChunkLog2;
    Salt salt{};
    NoncePrefix prefix{};

    std::size_t chunkBytes() const { return std::size_t{1} << chunkLog2; }
    std::size_t recordBytes() const { return chunkBytes() + kTagBytes; }
};

using HeaderBytes = std::array<std::uint8_t, kHeaderBytes>;

HeaderBytes encode(const Header& header);

/// The header of a file, or nothing when the bytes are no header we wrote
/// or one whose costs or chunk size lie outside what we accept (see
/// acceptableCost).
std::optional<Header> decode(std::span<const std::uint8_t, kHeaderBytes> bytes);

/// Costs a header may ask for: N from 2^10 to 2^20, r 1..32, p 1..16, at
/// most 256 MiB of memory and at most 8 times the work of what we write.
bool acceptableCost(const platform::crypto::ScryptCost& cost);

/// The nonce of record `index`.
Nonce nonceFor(const NoncePrefix& prefix, std::uint32_t index, bool last);

/// The size of the sealed form of `plainBytes` bytes, or nothing when it has
/// more chunks than the counter can number.
std::optional<std::uint64_t> sealedSize(std::uint64_t plainBytes, std::uint32_t chunkLog2);

}  // namespace kx::crypt::sealed
