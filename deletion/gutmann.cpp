#include "deletion/gutmann.hpp"

#include <cmath>
#include <exception>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>

#include "deletion/entry_rules.hpp"
#include "platform/files/files.hpp"
#include "platform/files/overwrite.hpp"
#include "platform/runtime/local_time.hpp"
#include "platform/ui/message_loop.hpp"

namespace kx::deletion {
namespace {

namespace pf = kx::platform;

constexpr GutmannPass one(std::uint8_t v) {
    return {false, v, v, v};
}
constexpr GutmannPass three(std::uint8_t a, std::uint8_t b, std::uint8_t c) {
    return {false, a, b, c};
}
constexpr GutmannPass kRandom{true, 0, 0, 0};

// Ends the operation on a failing file call; caught at the operation's boundary.
struct WipeFailure : std::runtime_error {
    explicit WipeFailure(const FileError& e) : std::runtime_error(e.message) {}
};

template <typename T>
T must(std::expected<T, FileError> result) {
    if (!result)
        throw WipeFailure(result.error());
    if constexpr (std::is_void_v<T>)
        return;
    else
        return std::move(*result);
}

}  // namespace

const std::array<GutmannPass, 35> kGutmannPasses = {
    kRandom,                  // 1
    kRandom,                  // 2
    kRandom,                  // 3
    kRandom,                  // 4
    one(0x55),                // 5
    one(0xAA),                // 6
    three(0x92, 0x49, 0x24),  // 7
    three(0x49, 0x24, 0x92),  // 8
    three(0x24, 0x92, 0x49),  // 9
    one(0x00),                // 10
    one(0x11),                // 11
    one(0x22),                // 12
    one(0x33),                // 13
    one(0x44),                // 14
    one(0x55),                // 15
    one(0x66),                // 16
    one(0x77),                // 17
    one(0x88),                // 18
    one(0x99),                // 19
    one(0xAA),                // 20
    one(0xBB),                // 21
    one(0xCC),                // 22
    one(0xDD),                // 23
    one(0xEE),                // 24
    one(0xFF),                // 25
    three(0x92, 0x49, 0x24),  // 26
    three(0x49, 0x24, 0x92),  // 27
    three(0x24, 0x92, 0x49),  // 28
    three(0x6D, 0xB6, 0xDB),  // 29
    three(0xB6, 0xDB, 0x6D),  // 30
    three(0xDB, 0x6D, 0xB6),  // 31
    kRandom,                  // 32
    kRandom,                  // 33
    kRandom,                  // 34
    kRandom,                  // 35
};

std::uint64_t gutmannChunk(std::uint64_t length) {
    return length / 5 + (length % 5 >= 3 ? 1 : 0);
}

std::string passPattern(std::uint8_t a, std::uint8_t b, std::uint8_t c) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (const std::uint8_t v : {a, b, c}) {
        out.push_back(kHex[v >> 4]);
        out.push_back(kHex[v & 0xF]);
    }
    return out;
}

CGutMAnn::CGutMAnn(const DeletionContext& context)
    : machine_(context.machine),
      machineFiles_(context.machine),
      files_(context.files != nullptr ? *context.files : machineFiles_),
      random_(context.random),
      stop_(context.cancel),
      passBegins_(context.passBegins) {}

void CGutMAnn::startOperation() {
    Cancel = false;
    stop_ = false;
    cancelled_ = false;
}

GutmannPass CGutMAnn::triple(int pass) {
    GutmannPass p = kGutmannPasses.at(static_cast<std::size_t>(pass - 1));
    if (p.random) {
        p.a = randomByte(random_.next());
        p.b = randomByte(random_.next());
        p.c = randomByte(random_.next());
    }
    return p;
}

double CGutMAnn::SecureFileDelete(std::string_view sFileName) {
    const DeleteResult result = destroyFile(sFileName);
    // A cancelled wipe answers the length it was working on; the file stays.
    return result.outcome == DeleteOutcome::Cancelled ? static_cast<double>(result.size)
                                                      : result.bytesFreed();
}

DeleteResult CGutMAnn::destroyFile(std::string_view sFileName) {
    startOperation();
    DeleteResult result;
    try {
        const auto looked = pf::lookAtEntry(machine_, sFileName);
        if (!looked && nothingThere(looked.error()))
            return DeleteResult::of(DeleteOutcome::NothingThere);
        const auto facts = must(looked);
        const auto verdict = classifyEntry(facts);
        switch (verdict.treatment) {
            case EntryTreatment::Refuse:
                return DeleteResult::refused(verdict.refusal);
            case EntryTreatment::RemoveName:
                // The wiper was sent to a name, not to a file elsewhere nor to
                // content other names share: the name goes, nothing else.
                must(pf::files::removeName(machine_, sFileName));
                return DeleteResult::of(verdict.removed);
            case EntryTreatment::Destroy:
                break;
        }
        const std::uint64_t length = facts.size;
        const std::uint64_t chunk = gutmannChunk(length);
        must(pf::files::setAttributes(machine_, sFileName, 0));
        result.size = length;

        {
            auto file = must(files_.open(sFileName, WipeIo::Open::Existing));
            if (length > 0) {
                for (int pass = 1; pass <= 35; ++pass) {
                    const GutmannPass p = triple(pass);
                    if (passBegins_)
                        passBegins_(pass, 35, p.random ? "random" : passPattern(p.a, p.b, p.c));
                    for (std::uint64_t region = 0; region < 5; ++region) {
                        if (cancelRaised()) {
                            cancelled_ = true;
                            result.outcome = DeleteOutcome::Cancelled;
                            return result;
                        }
                        if (chunk > 0) {
                            const std::uint64_t at = region * chunk;
                            must(file->fill(at, chunk, p.a));
                            must(file->flush());
                            must(file->fill(at, chunk, p.b));
                            must(file->flush());
                            // c stays until the next pass; the flush after the
                            // next region's a (or the pass's last flush below)
                            // puts it on the device before anything overwrites it.
                            must(file->fill(at, chunk, p.c));
                        }
                        pf::ui::yield();
                    }
                    if (chunk > 0)
                        must(file->flush());
                }
            }
            must(file->truncate(0));
            must(file->flush());
        }
        must(pf::files::remove(machine_, sFileName));
        result.outcome = DeleteOutcome::Deleted;
        return result;
    } catch (const std::exception& e) {
        // Any error ends the wipe as a failure, the file left as far as it
        // got.
        return DeleteResult::failed(e.what());
    }
}

void CGutMAnn::SecureFreeSpaceWipe(std::string_view sDrive, std::int64_t cBytesPerPass,
                                   bool& bDone) {
    // A flag still true from an earlier wipe must not report this one done.
    bDone = false;
    startOperation();
    if (sDrive.empty() || cBytesPerPass < 0)
        return;
    const std::uint64_t chunk =
        static_cast<std::uint64_t>(std::nearbyint(static_cast<double>(cBytesPerPass) / 1000.0));
    const std::string temp = std::string(1, sDrive.front()) + ":\\TEMP.000";
    bool ours = false;  // the temporary file is there and ours to remove
    try {
        for (int pass = 1; pass <= 35; ++pass) {
            auto file = must(files_.open(temp, WipeIo::Open::CreateNew));
            ours = true;
            if (kGutmannPasses.at(static_cast<std::size_t>(pass - 1)).random)
                random_.reseed(std::sin(pf::secondsSinceMidnight()));
            const GutmannPass p = triple(pass);
            for (std::uint64_t region = 0; region < 1000; ++region) {
                if (cancelRaised()) {
                    cancelled_ = true;
                    file.reset();
                    (void)pf::files::remove(machine_, temp);
                    return;
                }
                if (chunk > 0) {
                    const std::uint64_t at = region * chunk;
                    must(file->fill(at, chunk, p.b));
                    must(file->flush());
                    must(file->fill(at, chunk, p.b));
                    must(file->flush());
                    must(file->fill(at, chunk, p.c));
                }
                if (onRegion)
                    onRegion(pass, static_cast<int>(region + 1));
                pf::ui::yield();
            }
            // The last runs must be on the free blocks before the file gives
            // them back: cut first, and dirty pages would never be written.
            must(file->flush());
            must(file->truncate(0));
            file.reset();
            must(pf::files::remove(machine_, temp));
            ours = false;
        }
        bDone = true;
    } catch (const std::exception&) {
        if (ours)
            (void)pf::files::remove(machine_, temp);
    }
}

}  // namespace kx::deletion
