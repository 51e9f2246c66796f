// The platform's in-place overwrite under the wipes: runs land exactly where
// asked across block boundaries, and everything that must not be written
// into is refused before a byte is written.
#include "platform/files/overwrite.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/temp_machine.hpp"

namespace kx::platform {
namespace {

namespace fs = std::filesystem;
using test::TempMachine;
using Open = OverwriteFile::Open;

class OverwriteTest : public ::testing::Test {
  protected:
    TempMachine tm;
    const fs::path c = tm.prefix() / "drive_c";
};

TEST_F(OverwriteTest, RunsLandExactlyAcrossBlockBoundariesInTheSameFile) {
    const std::size_t size = 3 * OverwriteFile::kBlockSize + 17;
    tm.writeHostFile(c / "gross.bin", std::string(size, 'o'));
    struct stat before {};
    ASSERT_EQ(::stat((c / "gross.bin").c_str(), &before), 0);

    auto file = OverwriteFile::open(tm.machine(), "c:\\GROSS.BIN", Open::Existing);
    ASSERT_TRUE(file) << file.error().message;
    const std::uint64_t from = OverwriteFile::kBlockSize - 5;
    const std::uint64_t count = 2 * OverwriteFile::kBlockSize + 9;
    ASSERT_TRUE(file->fill(from, count, 0xA5));
    ASSERT_TRUE(file->fill(size - 2, 6, 0x11));  // past the end: the file grows
    ASSERT_TRUE(file->flush());
    EXPECT_EQ(file->length().value_or(0), size + 4);
    file->close();
    EXPECT_FALSE(file->fill(0, 1, 0));  // closed

    std::string expected(size + 4, 'o');
    std::fill_n(expected.begin() + static_cast<long>(from), count, '\xA5');
    std::fill_n(expected.end() - 6, 6, '\x11');
    EXPECT_EQ(TempMachine::readHostFile(c / "gross.bin"), expected);
    struct stat after {};
    ASSERT_EQ(::stat((c / "gross.bin").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);  // its own blocks, no new file
}

TEST_F(OverwriteTest, RefusesEverythingThatIsNotOneOrdinaryWritableFile) {
    auto& m = tm.machine();
    const auto refused = [&](std::string_view path, std::uint32_t code) {
        auto file = OverwriteFile::open(m, path, Open::Existing);
        return !file && file.error().code == code;
    };
    tm.writeHostFile(tm.root() / "draussen.txt", "outside");
    fs::create_symlink(tm.root() / "draussen.txt", c / "link.txt");
    fs::create_directory_symlink(tm.root(), c / "ordnerlink");
    tm.writeHostFile(c / "a.txt", "a");
    fs::create_hard_link(c / "a.txt", c / "b.txt");
    ASSERT_EQ(::mkfifo((c / "pipe").c_str(), 0600), 0);
    tm.writeHostFile(c / "ro.txt", "ro");
    fs::permissions(c / "ro.txt", fs::perms::owner_read);
    // A FIFO is refused without blocking the open.
    for (const char* path : {"C:\\link.txt", "C:\\ordnerlink\\draussen.txt", "C:\\a.txt",
                             "C:\\pipe", "C:\\Programme", "C:\\ro.txt"})
        EXPECT_TRUE(refused(path, FileError::AccessDenied)) << path;
    EXPECT_TRUE(refused("C:\\fehlt.txt", FileError::NotFound));
    EXPECT_EQ(TempMachine::readHostFile(tm.root() / "draussen.txt"), "outside");

    // A record lock of another program counts as much as an flock.
    tm.writeHostFile(c / "gesperrt.txt", "x");
    const int fd = ::open((c / "gesperrt.txt").c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    struct flock range {};
    range.l_type = F_WRLCK;
    range.l_whence = SEEK_SET;
    ASSERT_EQ(::fcntl(fd, F_OFD_SETLK, &range), 0);
    EXPECT_TRUE(refused("C:\\gesperrt.txt", FileError::SharingViolation));
    ::close(fd);
    EXPECT_TRUE(OverwriteFile::open(m, "C:\\gesperrt.txt", Open::Existing));

    // A new file never takes an existing name, not even a dangling link's.
    EXPECT_FALSE(OverwriteFile::open(m, "C:\\a.txt", Open::CreateNew));
    fs::create_symlink(tm.root() / "nirgends", c / "haengt");
    EXPECT_FALSE(OverwriteFile::open(m, "C:\\haengt", Open::CreateNew));
    EXPECT_FALSE(fs::exists(tm.root() / "nirgends"));
}

}  // namespace
}  // namespace kx::platform
