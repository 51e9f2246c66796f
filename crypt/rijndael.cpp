#include "crypt/rijndael.hpp"

#include <algorithm>
#include <bit>
#include <exception>
#include <optional>
#include <utility>
#include <vector>

#include "crypt/key_cache.hpp"
#include "crypt/sealed_format.hpp"
#include "platform/crypto/crypto.hpp"
#include "platform/files/cipher_files.hpp"
#include "platform/runtime/text.hpp"
#include "platform/runtime/translation.hpp"
#include "platform/runtime/variant.hpp"
#include "platform/ui/message_loop.hpp"

namespace kx::crypt {
namespace {

namespace pc = platform::crypto;
namespace cf = platform::cipherfiles;
using platform::tr;
using platform::trf;

// A failed step: the reason goes to LastError, the method answers false.
struct Failure {
    explicit Failure(std::string_view why) : reason(why) {}
    std::string reason;
};

template <typename T, typename E>
T orFail(std::expected<T, E> result, std::string_view what) {
    if (!result) {
        if constexpr (requires { result.error().message; })
            throw Failure{std::string(what) + ": " + result.error().message};
        else
            throw Failure{std::string(what) + ": " + result.error()};
    }
    if constexpr (!std::is_void_v<T>)
        return std::move(*result);
}

sealed::Salt randomSalt() {
    sealed::Salt salt{};
    orFail(pc::randomBytes(salt), tr("kein zufälliges Salz"));
    return salt;
}

// The bar, advanced by bytes done. Its range is set at the start; each step
// is scaled into whatever range it has at that moment, so a range changed
// during a yield never makes a step fall outside it.
class Progress {
  public:
    static constexpr std::int32_t kSteps = 1000;

    Progress(const RijnDael& cipher, std::uint64_t total)
        : bar_(cipher.ShowProgress ? cipher.ProgressBar : nullptr), total_(total) {
        if (!bar_)
            return;
        // The order keeps min below max at every moment (error 380 otherwise).
        if (bar_->min() >= kSteps) {
            bar_->setMin(0);
            bar_->setMax(kSteps);
        } else {
            bar_->setMax(kSteps);
            bar_->setMin(0);
        }
        bar_->setValue(0);
    }

    void advance(std::uint64_t done) {
        if (!bar_)
            return;
        const std::int64_t lo = bar_->min();
        const std::int64_t hi = bar_->max();
        const std::uint64_t clamped = std::min(done, total_);
        const std::int64_t value =
            total_ == 0 ? hi
                        : lo + static_cast<std::int64_t>((static_cast<unsigned __int128>(clamped) *
                                                          static_cast<std::uint64_t>(hi - lo)) /
                                                         total_);
        bar_->setValue(static_cast<std::int32_t>(std::clamp(value, lo, hi)));
    }

  private:
    std::shared_ptr<platform::ui::ProgressBar> bar_;
    std::uint64_t total_;
};

std::uint32_t chunkLog2(std::uint32_t chunkBytes) {
    if (!std::has_single_bit(chunkBytes))
        throw Failure{tr("die Blockgröße ist keine Zweierpotenz")};
    const auto log2 = static_cast<std::uint32_t>(std::countr_zero(chunkBytes));
    if (log2 < sealed::kMinChunkLog2 || log2 > sealed::kMaxChunkLog2)
        throw Failure{tr("die Blockgröße liegt außerhalb von 4 KiB .. 16 MiB")};
    return log2;
}

void checkKeyBits(std::int32_t keyBits) {
    if (keyBits != 128 && keyBits != 256)
        throw Failure{tr("KeyBits ist 128 oder 256")};
}

cf::Durability durability(bool flush, std::string_view input, std::string_view output) {
    if (!flush)
        return cf::Durability::Cached;
    // Output that replaces its own input: a rename lost in a crash leaves the
    // input, so the folder need not be flushed as well.
    return platform::winEqualNoCase(input, output) ? cf::Durability::ContentOnDisk
                                                   : cf::Durability::OnDisk;
}

// Buffers written behind: none for a file of one piece, whose write has
// nothing to overlap with.
std::size_t writeDepth(std::uint64_t inputBytes, std::uint64_t pieceBytes) {
    return inputBytes < pieceBytes ? 0 : 3;
}

std::span<const std::uint8_t> headerSpan(const sealed::HeaderBytes& bytes) {
    return {bytes.data(), bytes.size()};
}

}  // namespace

namespace {

// Memory for a chunk, kept across calls so that a folder run does not
// allocate per file, and left uninitialised: the pages of a 1 MiB buffer of
// which a small file uses a few bytes are never touched.
class Buffer {
  public:
    void reserve(std::size_t bytes) {
        if (bytes > size_) {
            data_ = std::make_unique_for_overwrite<std::uint8_t[]>(bytes);
            size_ = bytes;
        }
    }
    std::uint8_t* data() { return data_.get(); }

  private:
    std::unique_ptr<std::uint8_t[]> data_;
    std::size_t size_ = 0;
};

}  // namespace

struct RijnDael::Impl {
    // The salt of the files this instance encrypts (see the header).
    std::optional<sealed::Salt> runSalt;
    Buffer a, b, sealed;

    void reserve(std::size_t bytes) {
        a.reserve(bytes);
        b.reserve(bytes);
        sealed.reserve(bytes);
    }
};

RijnDael::RijnDael(CipherContext context) : context_(context), impl_(std::make_unique<Impl>()) {}
RijnDael::~RijnDael() = default;

namespace {

// Runs one public method: answers false with the reason in LastError for
// every failure, never throws to the caller.
template <typename Work>
bool guarded(std::string& lastError, Work&& work) {
    lastError.clear();
    try {
        work();
        return true;
    } catch (const Failure& f) {
        lastError = f.reason;
    } catch (const platform::RuntimeError& e) {
        lastError = trf("Fortschrittsbalken: {1}", {e.description});
    } catch (const std::exception& e) {
        lastError = e.what();
    }
    return false;
}

void yieldAndCheck(const bool& stopIt) {
    platform::ui::MessageLoop::current().yield();
    if (stopIt)
        throw Failure{tr("abgebrochen")};
}

// Streams a file piece by piece into `writer`: `piece` bytes at a time, one
// piece read ahead so that the last piece is known before it is sealed or
// opened (the last-chunk flag is part of its nonce). `transform(index, last,
// input, room)` fills the front of the writer's buffer and answers how many
// bytes it wrote. The bar advances by the bytes read, counted from `done`.
template <typename Transform>
void streamPieces(cf::File& in, cf::WriteBehind& writer, Buffer* cur, Buffer* next,
                  std::size_t piece, std::uint64_t done, Progress& progress, const bool& stopIt,
                  std::string_view tooManyPieces, Transform&& transform) {
    std::size_t curBytes =
        orFail(in.read(std::span(cur->data(), piece)), tr("die Datei kann nicht gelesen werden"));
    for (std::uint64_t index = 0;; ++index) {
        if (stopIt)
            throw Failure{tr("abgebrochen")};
        if (index >= (std::uint64_t{1} << 32))
            throw Failure{std::string(tooManyPieces)};
        bool last = curBytes < piece;
        std::size_t nextBytes = 0;
        if (!last) {
            nextBytes = orFail(in.read(std::span(next->data(), piece)),
                               tr("die Datei kann nicht gelesen werden"));
            last = nextBytes == 0;
        }
        const std::size_t written = transform(static_cast<std::uint32_t>(index), last,
                                              std::span(cur->data(), curBytes), writer.buffer());
        orFail(writer.submit(written), tr("die Datei kann nicht geschrieben werden"));
        done += curBytes;
        progress.advance(done);
        yieldAndCheck(stopIt);
        if (last)
            break;
        std::swap(cur, next);
        curBytes = nextBytes;
    }
}

}  // namespace

bool RijnDael::EncryptFile() {
    return guarded(LastError, [this] {
        if (StopIt)
            throw Failure{tr("abgebrochen")};
        checkKeyBits(KeyBits);
        const std::uint32_t log2 = chunkLog2(ChunkBytes);
        if (Password.empty())
            throw Failure{tr(
                "kein Passwort: eine mit leerem Passwort verschlüsselte Datei kann jeder öffnen")};
        auto& machine = context_.machine;
        auto in =
            orFail(cf::openToRead(machine, InputFile), tr("die Datei kann nicht gelesen werden"));
        const std::uint64_t total = orFail(in.size(), tr("die Datei kann nicht gelesen werden"));

        if (!impl_->runSalt)
            impl_->runSalt = randomSalt();
        sealed::Header header;
        header.keyBits = static_cast<std::uint16_t>(KeyBits);
        header.source = sealed::KeySource::Password;
        header.cost = context_.cost;
        header.chunkLog2 = log2;
        header.salt = *impl_->runSalt;
        orFail(pc::randomBytes(header.prefix), tr("keine zufällige Nonce"));
        const auto headerBytes = sealed::encode(header);

        const auto key = orFail(
            context_.keys.passwordKey(Password, header.salt, header.cost, KeyBits, KeyUse::Files),
            tr("kein Schlüssel"));
        auto gcm = orFail(pc::AesGcm::create(key.bytes()), tr("keine Verschlüsselung verfügbar"));
        auto out = orFail(cf::PendingFile::create(machine, OutputFile, false,
                                                  durability(FlushOutput, InputFile, OutputFile)),
                          tr("die Datei kann nicht geschrieben werden"));
        orFail(out.file().write(headerSpan(headerBytes)),
               tr("die Datei kann nicht geschrieben werden"));

        const std::size_t chunk = header.chunkBytes();
        impl_->reserve(header.recordBytes());
        // Writing overlaps reading and sealing the next chunk; a small file
        // gets buffers of its own size, not of a chunk's.
        cf::WriteBehind writer(out.file(),
                               static_cast<std::size_t>(std::min<std::uint64_t>(
                                   header.recordBytes(), total + sealed::kTagBytes)),
                               writeDepth(total, chunk));
        Progress progress(*this, total);
        streamPieces(
            in, writer, &impl_->a, &impl_->b, chunk, 0, progress, StopIt,
            tr("die Datei ist zu groß für ihre Blockgröße"),
            [&](std::uint32_t index, bool last, std::span<const std::uint8_t> plain,
                std::span<std::uint8_t> room) {
                if (plain.size() + sealed::kTagBytes > room.size())
                    throw Failure{tr("die Datei ist während der Verschlüsselung gewachsen")};
                const auto record = room.first(plain.size() + sealed::kTagBytes);
                orFail(gcm.seal(sealed::nonceFor(header.prefix, index, last),
                                headerSpan(headerBytes), plain, record),
                       tr("Versiegeln fehlgeschlagen"));
                return record.size();
            });
        orFail(writer.finish(), tr("die Datei kann nicht geschrieben werden"));
        orFail(out.publish(), tr("die Datei kann nicht geschrieben werden"));
    });
}

bool RijnDael::DecryptFile() {
    return guarded(LastError, [this] {
        if (StopIt)
            throw Failure{tr("abgebrochen")};
        checkKeyBits(KeyBits);
        auto& machine = context_.machine;
        auto in =
            orFail(cf::openToRead(machine, InputFile), tr("die Datei kann nicht gelesen werden"));
        const std::uint64_t total = orFail(in.size(), tr("die Datei kann nicht gelesen werden"));

        sealed::HeaderBytes headerBytes{};
        const std::size_t got =
            orFail(in.read(headerBytes), tr("die Datei kann nicht gelesen werden"));
        const auto header = got == headerBytes.size() ? sealed::decode(headerBytes) : std::nullopt;
        if (!header)
            throw Failure{tr(kNotOurFile)};
        if (header->source != sealed::KeySource::Password)
            throw Failure{
                tr("die Datei wurde mit einem Schlüssel unkenntlich gemacht, der nie aufbewahrt "
                   "wurde")};
        if (header->keyBits != KeyBits)
            throw Failure{trf("die Datei wurde mit {1}-Bit-Schlüsseln verschlüsselt, nicht mit {2}",
                              {std::to_string(header->keyBits), std::to_string(KeyBits)})};

        const auto key = orFail(
            context_.keys.passwordKey(Password, header->salt, header->cost, KeyBits, KeyUse::Files),
            tr("kein Schlüssel"));
        auto gcm = orFail(pc::AesGcm::create(key.bytes()), tr("keine Verschlüsselung verfügbar"));
        // Plain text of a secret: readable by the owner only.
        auto out = orFail(cf::PendingFile::create(machine, OutputFile, true,
                                                  durability(FlushOutput, InputFile, OutputFile)),
                          tr("die Datei kann nicht geschrieben werden"));

        const std::size_t record = header->recordBytes();
        impl_->reserve(record);
        cf::WriteBehind writer(
            out.file(),
            static_cast<std::size_t>(std::min<std::uint64_t>(header->chunkBytes(), total)),
            writeDepth(total, record));
        Progress progress(*this, total);
        streamPieces(
            in, writer, &impl_->a, &impl_->b, record, headerBytes.size(), progress, StopIt,
            tr("die Datei wurde verändert (zu viele Blöcke)"),
            [&](std::uint32_t index, bool last, std::span<const std::uint8_t> sealedRecord,
                std::span<std::uint8_t> room) {
                // Whether this record is the last one is what the file's
                // length says; the record's nonce then has to agree, which is
                // how a file cut at a record boundary or extended is caught.
                if (sealedRecord.size() < sealed::kTagBytes)
                    throw Failure{tr("die Datei wurde gekürzt")};
                if (sealedRecord.size() - sealed::kTagBytes > room.size())
                    throw Failure{tr("die Datei ist während der Entschlüsselung gewachsen")};
                const auto plain = room.first(sealedRecord.size() - sealed::kTagBytes);
                if (!gcm.open(sealed::nonceFor(header->prefix, index, last),
                              headerSpan(headerBytes), sealedRecord, plain)) {
                    throw Failure{
                        index == 0 ? tr("das Passwort passt nicht, oder die Datei wurde verändert")
                                   : tr("die Datei wurde verändert, gekürzt oder verlängert")};
                }
                return plain.size();
            });
        orFail(writer.finish(), tr("die Datei kann nicht geschrieben werden"));
        orFail(out.publish(), tr("die Datei kann nicht geschrieben werden"));
    });
}

bool RijnDael::EncryptInPlace() {
    return guarded(LastError, [this] {
        if (StopIt)
            throw Failure{tr("abgebrochen")};
        checkKeyBits(KeyBits);
        const std::uint32_t log2 = chunkLog2(ChunkBytes);
        if (!RandomKey && Password.empty())
            throw Failure{
                tr("kein Passwort (RandomKey setzen für einen Schlüssel, den niemand aufbewahrt)")};
        auto file = orFail(cf::openToOverwrite(context_.machine, InputFile),
                           tr("die Datei kann nicht überschrieben werden"));
        const std::uint64_t plainBytes =
            orFail(file.size(), tr("die Datei kann nicht überschrieben werden"));
        const auto finalBytes = sealed::sealedSize(plainBytes, log2);
        if (!finalBytes)
            throw Failure{tr("die Datei ist zu groß für ihre Blockgröße")};

        sealed::Header header;
        header.keyBits = static_cast<std::uint16_t>(KeyBits);
        header.chunkLog2 = log2;
        SecretKey key;
        if (RandomKey) {
            header.source = sealed::KeySource::RandomKey;
            header.cost = {0, 0, 0};
            key = orFail(context_.keys.throwAwayKey(KeyBits), tr("kein zufälliger Schlüssel"));
        } else {
            header.source = sealed::KeySource::Password;
            header.cost = context_.cost;
            header.salt = orFail(context_.keys.scrambleSalt(), tr("kein zufälliges Salz"));
            key = orFail(context_.keys.passwordKey(Password, header.salt, header.cost, KeyBits,
                                                   KeyUse::Scramble),
                         tr("kein Schlüssel"));
        }
        orFail(pc::randomBytes(header.prefix), tr("keine zufällige Nonce"));
        const auto headerBytes = sealed::encode(header);
        auto gcm = orFail(pc::AesGcm::create(key.bytes()), tr("keine Verschlüsselung verfügbar"));

        // The room the sealed form needs beyond the plain text is taken
        // first: a full disk then fails the call before a byte changed.
        orFail(file.reserve(*finalBytes), tr("die Datei kann nicht überschrieben werden"));

        const std::uint64_t chunk = header.chunkBytes();
        const std::uint64_t records = plainBytes == 0 ? 1 : (plainBytes - 1) / chunk + 1;
        impl_->reserve(header.recordBytes());
        Progress progress(*this, plainBytes);
        std::uint64_t done = 0;
        // From the last chunk to the first: record i starts at
        // header + i * (chunk + tag), never before chunk i's own start, and
        // every byte after chunk i's start belongs to chunks already read. So
        // nothing is overwritten before it was read, with one chunk in memory
        // however long the file (reading forward, the growing offset would
        // need a read-ahead buffer growing with the file).
        for (std::uint64_t i = records; i-- > 0;) {
            if (StopIt)
                throw Failure{tr("abgebrochen; die Datei ist teilweise unkenntlich gemacht")};
            const std::uint64_t offset = i * chunk;
            const std::size_t length =
                static_cast<std::size_t>(std::min(chunk, plainBytes - offset));
            const std::size_t got = orFail(file.readAt(offset, std::span(impl_->a.data(), length)),
                                           tr("die Datei kann nicht gelesen werden"));
            if (got != length)
                throw Failure{tr("die Datei ist während der Verschlüsselung geschrumpft")};
            const auto nonce =
                sealed::nonceFor(header.prefix, static_cast<std::uint32_t>(i), i + 1 == records);
            const auto record = std::span(impl_->sealed.data(), length + sealed::kTagBytes);
            orFail(gcm.seal(nonce, headerSpan(headerBytes), std::span(impl_->a.data(), length),
                            record),
                   tr("Versiegeln fehlgeschlagen"));
            orFail(file.writeAt(sealed::kHeaderBytes + i * (chunk + sealed::kTagBytes), record),
                   tr("die Datei kann nicht überschrieben werden"));
            done += length;
            progress.advance(done);
            yieldAndCheck(StopIt);
        }
        orFail(file.writeAt(0, headerSpan(headerBytes)),
               tr("die Datei kann nicht überschrieben werden"));
        orFail(file.flush(), tr("die Datei kann nicht überschrieben werden"));
    });
}

}  // namespace kx::crypt
