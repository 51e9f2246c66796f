#pragma once
// The files a wipe writes into, behind a small interface: the wipes talk to
// it instead of to the platform directly, so that a test can watch every run
// written and every flush, make a write fail, or cancel at an exact point,
// while the bytes still land in a real file it can read back.
#include <cstdint>
#include <expected>
#include <memory>
#include <string_view>

#include "platform/files/files.hpp"
#include "platform/machine/machine.hpp"

namespace kx::deletion {

using platform::FileError;

/// One file opened for overwriting in place.
class WipeFile {
  public:
    virtual ~WipeFile() = default;
    /// The file's length now.
    virtual std::expected<std::uint64_t, FileError> length() = 0;
    /// Writes `count` bytes of `value` from `offset` on; the file grows when
    /// the run reaches past its end. Not flushed yet.
    virtual std::expected<void, FileError> fill(std::uint64_t offset, std::uint64_t count,
                                                std::uint8_t value) = 0;
    /// Puts everything written so far on the device.
    virtual std::expected<void, FileError> flush() = 0;
    /// Cuts (or extends) the file to `length` bytes.
    virtual std::expected<void, FileError> truncate(std::uint64_t length) = 0;
};

class WipeIo {
  public:
    enum class Open {
        Existing,   // the file must be there; nothing is created or cut on opening
        CreateNew,  // a new file; an existing entry of that name is refused
    };
    virtual ~WipeIo() = default;
    /// Opens a Windows path of the machine for overwriting. Links,
    /// folders, devices, hard-linked, read-only and locked files are refused.
    virtual std::expected<std::unique_ptr<WipeFile>, FileError> open(std::string_view path,
                                                                     Open how) = 0;
};

/// A machine's own files (platform/overwrite.hpp).
class MachineWipeIo final : public WipeIo {
  public:
    explicit MachineWipeIo(platform::Machine& machine) : machine_(machine) {}
    std::expected<std::unique_ptr<WipeFile>, FileError> open(std::string_view path,
                                                             Open how) override;

  private:
    platform::Machine& machine_;
};

}  // namespace kx::deletion
