#pragma once
// Files outside the machine, and links to them planted where a run works:
// symbolic links to a file, to a folder, dangling and looping, and hard
// links to a read-only and to a writable file. `look()` takes everything
// outside (names, bytes, modes, attribute records) so a test can say that
// nothing of it changed.
#include <array>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>

#include "support/temp_machine.hpp"

namespace kx::test {

enum class Plant { FileLink, FolderLink, Dangling, SelfLoop, FolderLoop, HardRO, HardRW };

inline constexpr std::array kEveryPlant = {Plant::FileLink, Plant::FolderLink, Plant::Dangling,
                                           Plant::SelfLoop, Plant::FolderLoop, Plant::HardRO,
                                           Plant::HardRW};

/// A short name of the kind, for file names and test names.
std::string_view plantName(Plant kind);

class OutsideFiles {
  public:
    /// Writes the files outside (in <root>/aussen) and gives each a second
    /// name in C:\Zeugen, a folder no run touches, through which its
    /// attribute record is set and read. Uses the thread's machine.
    explicit OutsideFiles(const TempMachine& tm);

    /// Puts a link of `kind` at the host path `at` (creating its folders).
    void plant(const std::filesystem::path& at, Plant kind) const;
    /// Replaces the folder `at` by a link to the folder outside.
    void linkFolder(const std::filesystem::path& at) const;

    /// Every name outside with its content, mode and attributes.
    std::map<std::string, std::string> look() const;

    /// The text of the writable and of the read-only file outside (both read
    /// as shortcut files: a BASEURL under [DEFAULT]).
    static constexpr std::string_view kWritable =
        "[DEFAULT]\r\nBASEURL=http://draussen.example/rw\r\n";
    static constexpr std::string_view kReadOnly =
        "[DEFAULT]\r\nBASEURL=http://draussen.example/ro\r\n";

  private:
    std::filesystem::path outside_;
};

}  // namespace kx::test
