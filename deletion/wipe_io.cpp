#include "deletion/wipe_io.hpp"

#include <utility>

#include "platform/files/overwrite.hpp"

namespace kx::deletion {
namespace {

namespace pf = kx::platform;

class MachineWipeFile final : public WipeFile {
  public:
    explicit MachineWipeFile(pf::OverwriteFile file) : file_(std::move(file)) {}

    std::expected<std::uint64_t, FileError> length() override { return file_.length(); }
    std::expected<void, FileError> fill(std::uint64_t offset, std::uint64_t count,
                                        std::uint8_t value) override {
        return file_.fill(offset, count, value);
    }
    std::expected<void, FileError> flush() override { return file_.flush(); }
    std::expected<void, FileError> truncate(std::uint64_t length) override {
        return file_.truncate(length);
    }

  private:
    pf::OverwriteFile file_;
};

}  // namespace

std::expected<std::unique_ptr<WipeFile>, FileError> MachineWipeIo::open(std::string_view path,
                                                                        Open how) {
    auto file = pf::OverwriteFile::open(machine_, path,
                                        how == Open::CreateNew ? pf::OverwriteFile::Open::CreateNew
                                                               : pf::OverwriteFile::Open::Existing);
    if (!file)
        return std::unexpected(file.error());
    return std::make_unique<MachineWipeFile>(std::move(*file));
}

}  // namespace kx::deletion
