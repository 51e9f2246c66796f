#include "crypt/key_cache.hpp"

#include <algorithm>
#include <optional>
#include <vector>

#include "platform/runtime/translation.hpp"

namespace kx::crypt {
namespace {

namespace pc = platform::crypto;

struct Entry {
    // The password is held in a buffer of its own (never a std::string,
    // whose reallocations would leave copies behind) and wiped with the key.
    std::vector<std::uint8_t> password;
    sealed::Salt salt{};
    pc::ScryptCost cost;
    int keyBits = 0;
    KeyUse use = KeyUse::Files;
    SecretKey key;
    std::uint64_t lastUsed = 0;

    void wipe() {
        pc::cleanse(password.data(), password.size());
        password.clear();
    }
    bool matches(std::string_view pw, const sealed::Salt& s, const pc::ScryptCost& c,
                 int bits) const {
        return keyBits == bits && salt == s && cost.log2N == c.log2N && cost.r == c.r &&
               cost.p == c.p && password.size() == pw.size() &&
               std::equal(password.begin(), password.end(), pw.begin(),
                          [](std::uint8_t a, char b) { return a == static_cast<std::uint8_t>(b); });
    }
};

}  // namespace

struct KeyCache::Impl {
    std::vector<Entry> entries;
    std::uint64_t tick = 0;
    DerivationStats stats;
    std::optional<sealed::Salt> scrambleSalt;
    std::optional<SecretKey> throwAwayKeys[2];  // 128 bits, 256 bits

    // Room for every entry up front: entries never move to a new buffer.
    Impl() { entries.reserve(kKeyCacheEntries); }
    ~Impl() {
        forget([](const Entry&) { return true; });
    }

    template <typename Pred>
    void forget(Pred pred) {
        for (auto& e : entries) {
            if (pred(e))
                e.wipe();  // the key wipes itself as the entry goes
        }
        std::erase_if(entries, pred);
    }
};

KeyCache::KeyCache() : impl_(std::make_unique<Impl>()) {}
KeyCache::~KeyCache() = default;

KeyCache& threadKeyCache() {
    thread_local KeyCache keys;
    return keys;
}

SecretKey::SecretKey(std::span<const std::uint8_t> bytes)
    : size_(std::min(bytes.size(), bytes_.size())) {
    std::copy_n(bytes.begin(), size_, bytes_.begin());
}

SecretKey& SecretKey::operator=(const SecretKey& other) {
    if (this != &other) {
        pc::cleanse(bytes_.data(), bytes_.size());
        size_ = other.size_;
        bytes_ = other.bytes_;
    }
    return *this;
}

SecretKey::~SecretKey() {
    pc::cleanse(bytes_.data(), bytes_.size());
}

std::expected<SecretKey, std::string> KeyCache::passwordKey(std::string_view password,
                                                            const sealed::Salt& salt,
                                                            const pc::ScryptCost& cost, int keyBits,
                                                            KeyUse use) {
    if (keyBits != 128 && keyBits != 256)
        return std::unexpected(
            std::string(platform::tr("die Schlüssellänge ist 128 oder 256 Bit")));
    auto& c = *impl_;
    for (auto& e : c.entries) {
        if (e.matches(password, salt, cost, keyBits)) {
            e.lastUsed = ++c.tick;
            // A key a file run used must go at the end of the run even if a
            // scramble derived it first.
            if (use == KeyUse::Files)
                e.use = KeyUse::Files;
            return e.key;
        }
    }

    // The key bits join the salt: a password's 128-bit key is then not the
    // first half of its 256-bit key (scrypt's output is a prefix-stable
    // stream otherwise).
    std::array<std::uint8_t, sealed::kSaltBytes + 2> fullSalt{};
    std::copy(salt.begin(), salt.end(), fullSalt.begin());
    fullSalt[sealed::kSaltBytes] = static_cast<std::uint8_t>(keyBits >> 8);
    fullSalt[sealed::kSaltBytes + 1] = static_cast<std::uint8_t>(keyBits & 0xFF);

    std::array<std::uint8_t, 32> derived{};
    const auto length = static_cast<std::size_t>(keyBits / 8);
    const auto start = std::chrono::steady_clock::now();
    auto ok = pc::scrypt(password, fullSalt, cost, std::span(derived.data(), length));
    c.stats.time += std::chrono::steady_clock::now() - start;
    ++c.stats.count;
    if (!ok) {
        pc::cleanse(derived.data(), derived.size());
        return std::unexpected(ok.error().message);
    }

    if (c.entries.size() >= kKeyCacheEntries) {
        const auto oldest = std::min_element(
            c.entries.begin(), c.entries.end(),
            [](const Entry& a, const Entry& b) { return a.lastUsed < b.lastUsed; });
        oldest->wipe();
        c.entries.erase(oldest);
    }
    Entry e;
    e.password.assign(password.begin(), password.end());
    e.salt = salt;
    e.cost = cost;
    e.keyBits = keyBits;
    e.use = use;
    e.key = SecretKey(std::span(derived.data(), length));
    e.lastUsed = ++c.tick;
    pc::cleanse(derived.data(), derived.size());
    SecretKey out = e.key;
    c.entries.push_back(std::move(e));
    return out;
}

void KeyCache::forget(KeyUse use) {
    impl_->forget([use](const Entry& e) { return e.use == use; });
}

void KeyCache::forgetAll() {
    impl_->forget([](const Entry&) { return true; });
}

DerivationStats KeyCache::stats() const {
    return impl_->stats;
}

std::expected<sealed::Salt, std::string> KeyCache::scrambleSalt() {
    if (!impl_->scrambleSalt) {
        sealed::Salt salt{};
        if (auto ok = pc::randomBytes(salt); !ok)
            return std::unexpected(ok.error().message);
        impl_->scrambleSalt = salt;
    }
    return *impl_->scrambleSalt;
}

std::expected<SecretKey, std::string> KeyCache::throwAwayKey(int keyBits) {
    if (keyBits != 128 && keyBits != 256)
        return std::unexpected(
            std::string(platform::tr("die Schlüssellänge ist 128 oder 256 Bit")));
    auto& slot = impl_->throwAwayKeys[keyBits == 128 ? 0 : 1];
    if (!slot) {
        std::array<std::uint8_t, 32> bytes{};
        const std::size_t length = static_cast<std::size_t>(keyBits / 8);
        auto ok = pc::randomBytes(std::span(bytes.data(), length));
        if (ok)
            slot.emplace(std::span<const std::uint8_t>(bytes.data(), length));
        pc::cleanse(bytes.data(), bytes.size());
        if (!ok)
            return std::unexpected(ok.error().message);
    }
    return *slot;
}

}  // namespace kx::crypt
