#pragma once
// Test doubles of the wipes: a file layer that writes into the real files of
// the machine and records every run, flush and cut (optionally failing one
// write, or running a check after one), and a random source that plays a
// fixed sequence.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "deletion/random_source.hpp"
#include "deletion/wipe_io.hpp"

namespace kx::test {

struct WipeEvent {
    enum Kind { Fill, Flush, Truncate } kind;
    std::uint64_t offset = 0;  // Fill
    std::uint64_t count = 0;   // Fill; the new length for Truncate
    std::uint8_t value = 0;    // Fill
    bool operator==(const WipeEvent&) const = default;
    friend void PrintTo(const WipeEvent& e, std::ostream* os) {
        *os << "{" << e.kind << ", " << e.offset << ", " << e.count << ", " << int{e.value} << "}";
    }
};

class RecordingIo final : public deletion::WipeIo {
  public:
    /// Writes into the files of `machine`.
    explicit RecordingIo(platform::Machine& machine) : real_(machine) {}

    std::vector<WipeEvent> events;
    std::vector<std::string> opened;
    /// Runs before each file is opened.
    std::function<void()> beforeOpen;
    /// Runs after the n-th fill (1-based) reached the file.
    std::function<void(std::size_t n)> afterFill;
    /// The n-th fill (1-based) fails without writing.
    std::optional<std::size_t> failFill;
    /// False skips fdatasync (the flush is still recorded), for tests that
    /// run thousands of tiny runs.
    bool realFlush = true;

    /// Forgets everything recorded and asked for, as a fresh recorder.
    void reset() {
        events.clear();
        opened.clear();
        beforeOpen = nullptr;
        afterFill = nullptr;
        failFill.reset();
        fillCount_ = 0;
    }

    std::vector<WipeEvent> fills() const {
        std::vector<WipeEvent> out;
        for (const auto& e : events)
            if (e.kind == WipeEvent::Fill)
                out.push_back(e);
        return out;
    }

    std::expected<std::unique_ptr<deletion::WipeFile>, platform::FileError> open(
        std::string_view path, Open how) override {
        opened.emplace_back(path);
        if (beforeOpen)
            beforeOpen();
        auto real = real_.open(path, how);
        if (!real)
            return std::unexpected(real.error());
        return std::make_unique<File>(*this, std::move(*real));
    }

  private:
    class File final : public deletion::WipeFile {
      public:
        File(RecordingIo& io, std::unique_ptr<deletion::WipeFile> real)
            : io_(io), real_(std::move(real)) {}
        std::expected<std::uint64_t, platform::FileError> length() override {
            return real_->length();
        }
        std::expected<void, platform::FileError> fill(std::uint64_t offset, std::uint64_t count,
                                                      std::uint8_t value) override {
            const std::size_t n = ++io_.fillCount_;
            if (io_.failFill == n)
                return std::unexpected(
                    platform::FileError{platform::FileError::WriteFault, "injected write failure"});
            auto done = real_->fill(offset, count, value);
            if (done) {
                io_.events.push_back({WipeEvent::Fill, offset, count, value});
                if (io_.afterFill)
                    io_.afterFill(n);
            }
            return done;
        }
        std::expected<void, platform::FileError> flush() override {
            io_.events.push_back({WipeEvent::Flush});
            return io_.realFlush ? real_->flush() : std::expected<void, platform::FileError>{};
        }
        std::expected<void, platform::FileError> truncate(std::uint64_t length) override {
            io_.events.push_back({WipeEvent::Truncate, 0, length});
            return real_->truncate(length);
        }

      private:
        RecordingIo& io_;
        std::unique_ptr<deletion::WipeFile> real_;
    };

    deletion::MachineWipeIo real_;
    std::size_t fillCount_ = 0;
};

/// Plays `draws` in order, the last one again once they run out; records reseeds.
class FixedRandom final : public deletion::RandomSource {
  public:
    explicit FixedRandom(std::vector<double> draws) : draws_(std::move(draws)) {}
    double next() override { return draws_.at(std::min(drawn++, draws_.size() - 1)); }
    void reseed(double seed) override { reseeds.push_back(seed); }

    std::size_t drawn = 0;
    std::vector<double> reseeds;

  private:
    std::vector<double> draws_;
};

/// No run is written over bytes of an earlier run before those reached the
/// device, and nothing written is cut away unflushed.
inline ::testing::AssertionResult flushedBeforeOverwritten(const std::vector<WipeEvent>& events) {
    struct Range {
        std::uint64_t from, to;
    };
    std::vector<Range> dirty;
    for (std::size_t i = 0; i < events.size(); ++i) {
        const auto& e = events[i];
        if (e.kind == WipeEvent::Flush) {
            dirty.clear();
        } else if (e.kind == WipeEvent::Truncate) {
            if (!dirty.empty())
                return ::testing::AssertionFailure() << "event " << i << " cuts unflushed runs";
        } else if (e.count > 0) {
            for (const auto& d : dirty)
                if (e.offset < d.to && d.from < e.offset + e.count)
                    return ::testing::AssertionFailure()
                           << "event " << i << " overwrites [" << d.from << ", " << d.to
                           << ") before it was flushed";
            dirty.push_back({e.offset, e.offset + e.count});
        }
    }
    return ::testing::AssertionSuccess();
}

}  // namespace kx::test
