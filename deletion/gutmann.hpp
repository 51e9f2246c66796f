#pragma once
// CGutMAnn: the Gutmann wiper. Overwrites a file in the 35 passes of the
// published Gutmann table before removing it, or fills a drive's free space
// with a temporary file in the same passes.
//
// How a pass is written: each pass has a byte triple (a, b, c). The file's
// first five fifths ("regions" of `chunk` bytes, chunk = length / 5 rounded
// to the nearest integer) are overwritten one region after the other, each
// with a run of a, then a run of b, then a run of c, so every region ends the
// pass holding c. Every run reaches the device before the next run is
// written over it: a run left in the page cache would be replaced there by
// the next and never touch the disk. Runs are written from a fixed buffer,
// so memory stays small whatever the file's size.
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "deletion/delete_result.hpp"
#include "deletion/deletion_context.hpp"
#include "deletion/wipe_io.hpp"

namespace kx::deletion {

/// The byte triple of one pass of the table.
struct GutmannPass {
    bool random = false;  // a, b and c are drawn anew for the pass
    std::uint8_t a = 0;
    std::uint8_t b = 0;
    std::uint8_t c = 0;
};

/// A pass's pattern as shred -v names it: its three bytes as six hex digits.
std::string passPattern(std::uint8_t a, std::uint8_t b, std::uint8_t c);

/// The published table, passes 1 to 35 at indexes 0 to 34: passes 1 to 4 and
/// 32 to 35 random; one-byte patterns have a = b = c.
extern const std::array<GutmannPass, 35> kGutmannPasses;

/// The region length for a file of `length` bytes: length × 0.2 rounded to
/// the nearest integer. A whole length never gives a half, so no tie rule is
/// needed: (length + 2) / 5 is that value exactly, also for lengths where the
/// floating-point product would lose digits.
std::uint64_t gutmannChunk(std::uint64_t length);

class CGutMAnn {
  public:
    /// Works on the context's machine, with its files (the machine's own
    /// when it names none) and its random source; the context's cancel flag
    /// stops it as Cancel does. The context's members must outlive the wiper.
    explicit CGutMAnn(const DeletionContext& context);

    /// The cancel flag: cleared at the start of each operation; set it (from
    /// a cancel handler or a yield callback) and the running operation stops
    /// before its next write.
    bool Cancel = false;

    /// Told after every region the free-space wipe wrote: the pass (1 to
    /// 35) and the regions of it done (1 to 1000).
    std::function<void(int pass, int regions)> onRegion;

    /// Destroys a file and answers its length in bytes as measured at the
    /// start; 0 on any error (missing, locked, refused file), leaving the file
    /// as far as it got. The attributes are reset to normal first. An empty
    /// file is only removed; files of 1 or 2 bytes get regions of 0 bytes and
    /// are cut and removed without passes. As the regions cover 5 × chunk
    /// bytes, up to two bytes at the end of a file are never overwritten, or
    /// the file grows by up to two bytes before it is cut to 0 and removed.
    ///
    /// Never writes through a link: a symbolic link is removed itself (its
    /// target untouched) and answers 0. A file with other hard links keeps
    /// its content, which its other names still show: only this name is
    /// removed, and the answer is 0 (no space was freed). Folders and devices
    /// answer 0 untouched.
    ///
    /// Cancelled, it answers the length and leaves the file in place as far
    /// as the passes got (closed, not removed); cancelled() tells.
    /// Answers destroyFile()'s length for a cancelled wipe, else its bytes freed.
    double SecureFileDelete(std::string_view sFileName);

    /// SecureFileDelete with what happened: Deleted (size = the length),
    /// LinkRemoved, NameRemoved, Refused (a folder; a device, pipe or socket),
    /// Cancelled (size = the length), Failed (with the file layer's message)
    /// or NothingThere.
    DeleteResult destroyFile(std::string_view sFileName);

    /// Fills drive `sDrive` (its letter, "C" or "C:") with the temporary file
    /// "<letter>:\TEMP.000" in the 35 passes: per pass the file takes a
    /// thousand regions of `cBytesPerPass` / 1000 bytes (rounded to the
    /// nearest whole byte; the amount is a whole byte count), each written
    /// with b, b again and c, and is then cut and removed. The generator is
    /// reseeded from the sine of the seconds since midnight before each random
    /// pass. `bDone` is set false at the start and turns true after the 35th
    /// pass; it stays false when the wipe is refused, cancelled or fails
    /// (disk full, a drive without a folder).
    /// An existing "TEMP.000" at the drive's root is someone's file: the wipe
    /// refuses to start rather than overwrite and remove it. A cancelled or
    /// failed wipe removes its temporary file, which would otherwise keep the
    /// drive full.
    void SecureFreeSpaceWipe(std::string_view sDrive, std::int64_t cBytesPerPass, bool& bDone);

    /// True when the last operation stopped on the cancel flag.
    bool cancelled() const { return cancelled_; }

  private:
    // The pass's triple, drawing the random ones from the source.
    GutmannPass triple(int pass);
    // Lowers both cancel flags at the start of an operation.
    void startOperation();
    bool cancelRaised() const { return Cancel || stop_; }

    platform::Machine& machine_;
    MachineWipeIo machineFiles_;
    WipeIo& files_;
    RandomSource& random_;
    bool& stop_;  // the context's cancel flag
    std::function<void(int, int, const std::string&)> passBegins_;
    bool cancelled_ = false;
};

}  // namespace kx::deletion
