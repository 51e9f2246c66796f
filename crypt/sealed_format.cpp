#include "crypt/sealed_format.hpp"

#include <algorithm>
#include <string_view>

namespace kx::crypt::sealed {
namespace {

constexpr std::string_view kMagic = "KXSEALED";
static_assert(kMagic.size() == 8);

}  // namespace

HeaderBytes encode(const Header& header) {
    HeaderBytes out{};
    std::copy(kMagic.begin(), kMagic.end(), out.begin());
    out[8] = kVersion;
    out[9] = static_cast<std::uint8_t>(header.keyBits >> 8);
    out[10] = static_cast<std::uint8_t>(header.keyBits & 0xFF);
    out[11] = static_cast<std::uint8_t>(header.source);
    out[12] = static_cast<std::uint8_t>(header.cost.log2N);
    out[13] = static_cast<std::uint8_t>(header.cost.r);
    out[14] = static_cast<std::uint8_t>(header.cost.p);
    out[15] = static_cast<std::uint8_t>(header.chunkLog2);
    std::copy(header.salt.begin(), header.salt.end(), out.begin() + 16);
    std::copy(header.prefix.begin(), header.prefix.end(), out.begin() + 32);
    out[39] = 0;
    return out;
}

bool acceptableCost(const platform::crypto::ScryptCost& cost) {
    if (cost.log2N < 10 || cost.log2N > 20 || cost.r < 1 || cost.r > 32 || cost.p < 1 ||
        cost.p > 16)
        return false;
    if (platform::crypto::scryptMemory(cost) > (std::uint64_t{256} << 20))
        return false;
    const std::uint64_t work = (std::uint64_t{1} << cost.log2N) * cost.r * cost.p;
    const std::uint64_t ours =
        (std::uint64_t{1} << kDefaultCost.log2N) * kDefaultCost.r * kDefaultCost.p;
    return work <= 8 * ours;
}

std::optional<Header> decode(std::span<const std::uint8_t, kHeaderBytes> bytes) {
    if (!std::equal(kMagic.begin(), kMagic.end(), bytes.begin()) || bytes[8] != kVersion ||
        bytes[39] != 0)
        return std::nullopt;
    Header h;
    h.keyBits = static_cast<std::uint16_t>((bytes[9] << 8) | bytes[10]);
    if (h.keyBits != 128 && h.keyBits != 256)
        return std::nullopt;
    if (bytes[11] == static_cast<std::uint8_t>(KeySource::Password)) {
        h.source = KeySource::Password;
    } else if (bytes[11] == static_cast<std::uint8_t>(KeySource::RandomKey)) {
        h.source = KeySource::RandomKey;
    } else {
        return std::nullopt;
    }
    h.cost = {bytes[12], bytes[13], bytes[14]};
    if (h.source == KeySource::Password && !acceptableCost(h.cost))
        return std::nullopt;
    h.chunkLog2 = bytes[15];
    if (h.chunkLog2 < kMinChunkLog2 || h.chunkLog2 > kMaxChunkLog2)
        return std::nullopt;
    std::copy(bytes.begin() + 16, bytes.begin() + 32, h.salt.begin());
    std::copy(bytes.begin() + 32, bytes.begin() + 39, h.prefix.begin());
    return h;
}

Nonce nonceFor(const NoncePrefix& prefix, std::uint32_t index, bool last) {
    Nonce n{};
    std::copy(prefix.begin(), prefix.end(), n.begin());
    n[7] = static_cast<std::uint8_t>(index >> 24);
    n[8] = static_cast<std::uint8_t>(index >> 16);
    n[9] = static_cast<std::uint8_t>(index >> 8);
    n[10] = static_cast<std::uint8_t>(index);
    n[11] = last ? 1 : 0;
    return n;
}

std::optional<std::uint64_t> sealedSize(std::uint64_t plainBytes, std::uint32_t chunkLog2) {
    const std::uint64_t chunk = std::uint64_t{1} << chunkLog2;
    const std::uint64_t records = plainBytes == 0 ? 1 : (plainBytes - 1) / chunk + 1;
    if (records > (std::uint64_t{1} << 32))
        return std::nullopt;
    return kHeaderBytes + plainBytes + records * kTagBytes;
}

}  // namespace kx::crypt::sealed
