#include "platform/crypto/crypto.hpp"

#include <climits>
#include <cstring>
#include <utility>
#include <vector>

#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include "platform/runtime/translation.hpp"

namespace kx::platform::crypto {
namespace {

// `what` (in the user's language) with the newest OpenSSL error in words;
// the queue is emptied so a later failure does not report this one.
std::string opensslError(std::string_view what) {
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0)
        return std::string(what);
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return std::string(what) + ": " + text;
}

}  // namespace

std::expected<void, Error> randomBytes(std::span<std::uint8_t> out) {
    // RAND_bytes takes an int; secrets and nonces are far below that, but a
    // large request is served in pieces rather than cut silently.
    std::size_t done = 0;
    while (done < out.size()) {
        const int piece = static_cast<int>(std::min<std::size_t>(out.size() - done, 1 << 20));
        if (RAND_bytes(out.data() + done, piece) != 1)
            return std::unexpected(Error{0, opensslError(tr("keine Zufallsbytes"))});
        done += static_cast<std::size_t>(piece);
    }
    return {};
}

void cleanse(void* data, std::size_t size) {
    if (data != nullptr && size > 0)
        OPENSSL_cleanse(data, size);
}

std::uint64_t scryptMemory(const ScryptCost& cost) {
    // The working array V (128 * r * (N + 2) bytes, as OpenSSL counts it)
    // and the block buffer B (128 * r * p bytes).
    if (cost.log2N >= 63)
        return UINT64_MAX;
    const std::uint64_t n = std::uint64_t{1} << cost.log2N;
    return 128ull * cost.r * (n + 2) + 128ull * cost.r * cost.p;
}

std::expected<void, Error> scrypt(std::string_view password, std::span<const std::uint8_t> salt,
                                  const ScryptCost& cost, std::span<std::uint8_t> key) {
    if (cost.log2N < 1 || cost.log2N >= 63 || cost.r == 0 || cost.p == 0)
        return std::unexpected(
            Error{0, std::string(tr("scrypt-Kosten außerhalb des zulässigen Bereichs"))});
    // The ceiling is what these costs need and a little more: the default
    // (32 MB) refuses N = 2^15 with r = 8, and no ceiling at all would let
    // any costs through.
    const std::uint64_t maxmem = scryptMemory(cost) + (1u << 20);
    // An empty password is legal; OpenSSL wants a non-null pointer for it.
    const char* pass = password.empty() ? "" : password.data();
    if (EVP_PBE_scrypt(pass, password.size(), salt.data(), salt.size(),
                       std::uint64_t{1} << cost.log2N, cost.r, cost.p, maxmem, key.data(),
                       key.size()) != 1) {
        return std::unexpected(Error{0, opensslError(tr("scrypt ist fehlgeschlagen"))});
    }
    return {};
}

// ---- AES-GCM --------------------------------------------------------------------

struct AesGcm::Context {
    // One context per direction: each keeps its key schedule, and a chunk
    // only sets a new nonce.
    EVP_CIPHER_CTX* sealer = nullptr;
    EVP_CIPHER_CTX* opener = nullptr;

    ~Context() {
        // EVP_CIPHER_CTX_free wipes the key schedule.
        EVP_CIPHER_CTX_free(sealer);
        EVP_CIPHER_CTX_free(opener);
    }
};

AesGcm::AesGcm(std::unique_ptr<Context> context) : context_(std::move(context)) {}
AesGcm::AesGcm(AesGcm&&) noexcept = default;
AesGcm& AesGcm::operator=(AesGcm&&) noexcept = default;
AesGcm::~AesGcm() = default;

std::expected<AesGcm, Error> AesGcm::create(std::span<const std::uint8_t> key) {
    const EVP_CIPHER* cipher = nullptr;
    if (key.size() == 16) {
        cipher = EVP_aes_128_gcm();
    } else if (key.size() == 32) {
        cipher = EVP_aes_256_gcm();
    } else {
        return std::unexpected(Error{0, std::string(tr("ein AES-Schlüssel hat 16 oder 32 Bytes"))});
    }
    auto context = std::make_unique<Context>();
    context->sealer = EVP_CIPHER_CTX_new();
    context->opener = EVP_CIPHER_CTX_new();
    if (context->sealer == nullptr || context->opener == nullptr)
        return std::unexpected(Error{0, opensslError(tr("kein Verschlüsselungskontext"))});
    // The default GCM nonce length is 12 bytes, the one we use.
    if (EVP_EncryptInit_ex(context->sealer, cipher, nullptr, key.data(), nullptr) != 1 ||
        EVP_DecryptInit_ex(context->opener, cipher, nullptr, key.data(), nullptr) != 1) {
        return std::unexpected(Error{0, opensslError(tr("kann den AES-Schlüssel nicht setzen"))});
    }
    return AesGcm(std::move(context));
}

std::expected<void, Error> AesGcm::seal(std::span<const std::uint8_t, kNonceBytes> nonce,
                                        std::span<const std::uint8_t> aad,
                                        std::span<const std::uint8_t> plain,
                                        std::span<std::uint8_t> out) {
    if (out.size() != plain.size() + kTagBytes || plain.size() > INT_MAX || aad.size() > INT_MAX)
        return std::unexpected(
            Error{0, std::string(tr("Verschlüsseln: die Puffergrößen passen nicht"))});
    EVP_CIPHER_CTX* ctx = context_->sealer;
    int len = 0;
    if (EVP_EncryptInit_ex(ctx, nullptr, nullptr, nullptr, nonce.data()) != 1)
        return std::unexpected(Error{0, opensslError(tr("Verschlüsseln: Nonce abgelehnt"))});
    if (!aad.empty() &&
        EVP_EncryptUpdate(ctx, nullptr, &len, aad.data(), static_cast<int>(aad.size())) != 1)
        return std::unexpected(
            Error{0, opensslError(tr("Verschlüsseln: zugehörige Daten abgelehnt"))});
    int done = 0;
    if (!plain.empty()) {
        if (EVP_EncryptUpdate(ctx, out.data(), &len, plain.data(),
                              static_cast<int>(plain.size())) != 1)
            return std::unexpected(Error{0, opensslError(tr("Verschlüsseln ist fehlgeschlagen"))});
        done = len;
    }
    if (EVP_EncryptFinal_ex(ctx, out.data() + done, &len) != 1)
        return std::unexpected(Error{0, opensslError(tr("Verschlüsseln ist fehlgeschlagen"))});
    done += len;
    if (static_cast<std::size_t>(done) != plain.size() ||
        EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_GET_TAG, static_cast<int>(kTagBytes),
                            out.data() + plain.size()) != 1)
        return std::unexpected(Error{0, opensslError(tr("Verschlüsseln: kein Prüfwert"))});
    return {};
}

bool AesGcm::open(std::span<const std::uint8_t, kNonceBytes> nonce,
                  std::span<const std::uint8_t> aad, std::span<const std::uint8_t> sealed,
                  std::span<std::uint8_t> out) {
    if (sealed.size() < kTagBytes || out.size() != sealed.size() - kTagBytes ||
        sealed.size() > INT_MAX || aad.size() > INT_MAX)
        return false;
    const std::size_t n = sealed.size() - kTagBytes;
    EVP_CIPHER_CTX* ctx = context_->opener;
    int len = 0;
    bool ok = EVP_DecryptInit_ex(ctx, nullptr, nullptr, nullptr, nonce.data()) == 1;
    if (ok && !aad.empty())
        ok = EVP_DecryptUpdate(ctx, nullptr, &len, aad.data(), static_cast<int>(aad.size())) == 1;
    if (ok && n > 0)
        ok = EVP_DecryptUpdate(ctx, out.data(), &len, sealed.data(), static_cast<int>(n)) == 1;
    std::uint8_t tag[kTagBytes];
    std::memcpy(tag, sealed.data() + n, kTagBytes);
    if (ok)
        ok = EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_SET_TAG, static_cast<int>(kTagBytes), tag) == 1;
    if (ok)
        ok = EVP_DecryptFinal_ex(ctx, out.data() + (n > 0 ? n : 0), &len) > 0;
    // A failed tag check leaves an error on the queue of some versions; it
    // must not show up as the cause of a later, unrelated failure.
    ERR_clear_error();
    return ok;
}

}  // namespace kx::platform::crypto
