// The file layer: content replaced in place, attributes kept the Windows way,
// and no write, deletion or attribute change ever reaching through a link.
#include <gtest/gtest.h>

#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "platform/files/files.hpp"
#include "support/temp_machine.hpp"

namespace kx::platform {
namespace {

namespace fs = std::filesystem;
using kx::test::TempMachine;

class FilesTest : public ::testing::Test {
  protected:
    TempMachine tm;
    Machine& m = tm.machine();
    const fs::path c = tm.prefix() / "drive_c";

    ino_t inode(const fs::path& p) {
        struct stat st {};
        EXPECT_EQ(::lstat(p.c_str(), &st), 0) << p;
        return st.st_ino;
    }
    mode_t mode(const fs::path& p) {
        struct stat st {};
        EXPECT_EQ(::lstat(p.c_str(), &st), 0) << p;
        return st.st_mode & 07777;
    }
};

TEST_F(FilesTest, WriteAllReplacesContentInTheSameFile) {
    ASSERT_TRUE(files::writeAll(m, "C:\\Programme\\notes.txt", "a much longer first content"));
    const ino_t before = inode(c / "Programme/notes.txt");
    ASSERT_TRUE(
        files::writeAll(m, "c:\\programme\\NOTES.TXT", "short"));  // found case-insensitively
    EXPECT_EQ(inode(c / "Programme/notes.txt"), before);
    EXPECT_EQ(TempMachine::readHostFile(c / "Programme/notes.txt"),
              "short");  // cut to the new length
    EXPECT_EQ(files::readAll(m, "C:\\Programme\\notes.txt").value_or("?"), "short");
    EXPECT_EQ(files::size(m, "C:\\Programme\\notes.txt").value_or(0), 5u);

    const std::string binary("\0\x01\xff\r\n\x1a", 6);
    ASSERT_TRUE(files::writeAll(m, "C:\\Programme\\notes.txt", binary));
    EXPECT_EQ(files::readAll(m, "C:\\Programme\\notes.txt").value_or(""), binary);
    ASSERT_TRUE(files::writeAll(m, "C:\\Programme\\notes.txt", ""));
    EXPECT_EQ(fs::file_size(c / "Programme/notes.txt"), 0u);
}

TEST_F(FilesTest, ReplaceContentSwapsWholeFilesAndNeverWritesThroughALink) {
    ASSERT_TRUE(files::writeAll(m, "C:\\Programme\\prefs.js", "old"));
    fs::permissions(c / "Programme/prefs.js", fs::perms(0640));
    ASSERT_TRUE(files::replaceContent(m, "c:\\programme\\PREFS.JS", "new content"));
    EXPECT_EQ(TempMachine::readHostFile(c / "Programme/prefs.js"), "new content");
    EXPECT_EQ(mode(c / "Programme/prefs.js"), 0640u);  // the file keeps its mode
    EXPECT_EQ(std::distance(fs::directory_iterator(c / "Programme"), fs::directory_iterator()),
              1);  // no temporary left beside it

    // A link of that name is replaced itself; its target keeps its content.
    const fs::path outside = tm.root() / "outside.js";
    tm.writeHostFile(outside, "keep me");
    fs::create_symlink(outside, c / "Programme/link.js");
    ASSERT_TRUE(files::replaceContent(m, "C:\\Programme\\link.js", "mine"));
    EXPECT_EQ(TempMachine::readHostFile(outside), "keep me");
    EXPECT_FALSE(fs::is_symlink(c / "Programme/link.js"));
    // A linked folder on the way stops it before anything is written.
    const fs::path elsewhere = tm.root() / "elsewhere";
    fs::create_directories(elsewhere);
    fs::create_directory_symlink(elsewhere, c / "Programme/Linked");
    EXPECT_FALSE(files::replaceContent(m, "C:\\Programme\\Linked\\x.txt", "new"));
    EXPECT_TRUE(fs::is_empty(elsewhere));

    ASSERT_TRUE(files::setAttributes(m, "C:\\Programme\\prefs.js", fileattr::ReadOnly));
    EXPECT_EQ(files::replaceContent(m, "C:\\Programme\\prefs.js", "x").error().code,
              FileError::AccessDenied);
    EXPECT_EQ(TempMachine::readHostFile(c / "Programme/prefs.js"), "new content");
    EXPECT_FALSE(files::replaceContent(m, "C:\\Programme", "x"));  // a folder
}

TEST_F(FilesTest, MissingFileAndMissingFolderAreToldApart) {
    const auto code = [](const auto& r) { return r ? std::uint32_t{0} : r.error().code; };
    EXPECT_EQ(code(files::readAll(m, "C:\\Programme\\none.txt")), FileError::NotFound);
    EXPECT_EQ(code(files::readAll(m, "C:\\NoSuchDir\\none.txt")), FileError::PathNotFound);
    EXPECT_EQ(code(files::writeAll(m, "C:\\NoSuchDir\\new.txt", "x")), FileError::PathNotFound);
    EXPECT_FALSE(fs::exists(c / "NoSuchDir"));
    EXPECT_EQ(code(files::remove(m, "C:\\Programme\\none.txt")), FileError::NotFound);
}

TEST_F(FilesTest, ALinkIsNeverWrittenOrChangedThroughAndRemovedAsItself) {
    const fs::path outside = tm.root() / "outside.txt";
    tm.writeHostFile(outside, "keep me");
    const mode_t before = mode(outside);
    fs::create_symlink(outside, c / "Programme/link.txt");
    auto w = files::writeAll(m, "C:\\Programme\\link.txt", "overwritten");
    ASSERT_FALSE(w);
    EXPECT_EQ(w.error().code, FileError::AccessDenied);
    // Attributes are not set on the target, neither its mode nor its extended attribute.
    EXPECT_FALSE(
        files::setAttributes(m, "C:\\Programme\\link.txt", fileattr::ReadOnly | fileattr::Hidden));
    EXPECT_EQ(mode(outside), before);
    char buf[16];
    EXPECT_LT(::getxattr(outside.c_str(), "user.kolvanex.attributes", buf, sizeof buf), 0);
    EXPECT_EQ(files::attributes(m, "C:\\Programme\\link.txt").value_or(0), fileattr::ReparsePoint);
    EXPECT_TRUE(files::exists(m, "C:\\Programme\\link.txt"));
    ASSERT_TRUE(files::remove(m, "C:\\Programme\\link.txt"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(c / "Programme/link.txt")));
    EXPECT_EQ(TempMachine::readHostFile(outside), "keep me");

    // A dangling link must not be used to create its target either.
    const fs::path notYet = tm.root() / "created-through-link.txt";
    fs::create_symlink(notYet, c / "Programme/dangling.txt");
    EXPECT_FALSE(files::writeAll(m, "C:\\Programme\\dangling.txt", "x"));
    EXPECT_FALSE(fs::exists(notYet));

    auto folder = files::remove(m, "C:\\Programme");
    ASSERT_FALSE(folder);
    EXPECT_EQ(folder.error().code, FileError::AccessDenied);
    EXPECT_TRUE(fs::is_directory(c / "Programme"));
}

TEST_F(FilesTest, ALinkedFolderInTheMiddleOfAPathIsNotWrittenThrough) {
    const fs::path outsideDir = tm.root() / "outside-dir";
    tm.writeHostFile(outsideDir / "victim.txt", "keep me");
    fs::create_directory_symlink(outsideDir, c / "Programme/linked");
    EXPECT_FALSE(files::writeAll(m, "C:\\Programme\\linked\\victim.txt", "gone"));
    EXPECT_FALSE(files::remove(m, "C:\\Programme\\linked\\victim.txt"));
    EXPECT_FALSE(files::setAttributes(m, "C:\\Programme\\linked\\victim.txt", fileattr::ReadOnly));
    EXPECT_FALSE(files::createFolders(m, "C:\\Programme\\linked\\sub\\dir"));
    EXPECT_FALSE(files::emptyFolder(m, "C:\\Programme\\linked"));
    EXPECT_EQ(TempMachine::readHostFile(outsideDir / "victim.txt"), "keep me");
    EXPECT_NE(mode(outsideDir / "victim.txt") & S_IWUSR, 0u);
    EXPECT_FALSE(fs::exists(outsideDir / "sub"));
    // Reading may follow it, as Windows follows a junction.
    EXPECT_EQ(files::readAll(m, "C:\\Programme\\linked\\victim.txt").value_or(""), "keep me");
}

TEST_F(FilesTest, RefusesFifosAndHardLinkedFilesWithoutBlocking) {
    ASSERT_EQ(::mkfifo((c / "Programme/pipe").c_str(), 0644), 0);
    auto w = files::writeAll(m, "C:\\Programme\\pipe", "x");
    ASSERT_FALSE(w);
    EXPECT_EQ(w.error().code, FileError::AccessDenied);
    EXPECT_FALSE(files::readAll(m, "C:\\Programme\\pipe"));  // must not wait for a writer

    tm.writeHostFile(c / "Programme/one.txt", "shared");
    fs::create_hard_link(c / "Programme/one.txt", c / "WINDOWS/two.txt");
    EXPECT_FALSE(files::writeAll(m, "C:\\Programme\\one.txt", "changed"));
    EXPECT_EQ(TempMachine::readHostFile(c / "WINDOWS/two.txt"), "shared");
    EXPECT_FALSE(files::writeAll(m, "C:\\Programme", "x"));  // a folder
}

TEST_F(FilesTest, AttributesRoundTripAndReadOnlyClearsWriteBits) {
    ASSERT_TRUE(files::writeAll(m, "C:\\WINDOWS\\a.txt", "x"));
    EXPECT_EQ(files::attributes(m, "C:\\WINDOWS\\a.txt").value_or(0), fileattr::Normal);
    ASSERT_TRUE(files::setAttributes(m, "C:\\WINDOWS\\a.txt", fileattr::Hidden | fileattr::System));
    EXPECT_EQ(files::attributes(m, "C:\\WINDOWS\\a.txt").value_or(0),
              fileattr::Hidden | fileattr::System);

    ASSERT_TRUE(
        files::setAttributes(m, "C:\\WINDOWS\\a.txt", fileattr::ReadOnly | fileattr::Archive));
    EXPECT_EQ(files::attributes(m, "C:\\WINDOWS\\a.txt").value_or(0),
              fileattr::ReadOnly | fileattr::Archive);
    EXPECT_EQ(mode(c / "WINDOWS/a.txt") & 0222, 0u);
    // Read-only holds even for root, whose writes ignore mode bits.
    auto w = files::writeAll(m, "C:\\WINDOWS\\a.txt", "changed");
    ASSERT_FALSE(w);
    EXPECT_EQ(w.error().code, FileError::AccessDenied);
    auto r = files::remove(m, "C:\\WINDOWS\\a.txt");
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().code, FileError::AccessDenied);
    EXPECT_EQ(TempMachine::readHostFile(c / "WINDOWS/a.txt"), "x");

    ASSERT_TRUE(files::setAttributes(m, "C:\\WINDOWS\\a.txt", fileattr::Normal));
    EXPECT_NE(mode(c / "WINDOWS/a.txt") & S_IWUSR, 0u);
    EXPECT_EQ(files::attributes(m, "C:\\WINDOWS\\a.txt").value_or(0), fileattr::Normal);
    EXPECT_TRUE(files::writeAll(m, "C:\\WINDOWS\\a.txt", "changed"));

    // A chmod from outside shows as read-only too.
    fs::permissions(c / "WINDOWS/a.txt",
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    EXPECT_EQ(files::attributes(m, "C:\\WINDOWS\\a.txt").value_or(0), fileattr::ReadOnly);

    EXPECT_EQ(files::attributes(m, "C:\\WINDOWS").value_or(0), fileattr::Directory);
    ASSERT_TRUE(files::setAttributes(m, "C:\\WINDOWS", fileattr::ReadOnly | fileattr::System));
    EXPECT_EQ(files::attributes(m, "C:\\WINDOWS").value_or(0),
              fileattr::Directory | fileattr::ReadOnly | fileattr::System);
    EXPECT_NE(mode(c / "WINDOWS") & S_IWUSR, 0u);  // a read-only folder still takes files
    EXPECT_FALSE(files::attributes(m, "C:\\WINDOWS\\none.txt"));
}

TEST_F(FilesTest, SideTableKeepsAttributesWhereExtendedAttributesAreMissing) {
    files::forceAttributeSideTable(true);
    ASSERT_TRUE(files::writeAll(m, "C:\\WINDOWS\\s.txt", "x"));
    ASSERT_TRUE(
        files::setAttributes(m, "C:\\WINDOWS\\s.txt", fileattr::Hidden | fileattr::Archive));
    EXPECT_EQ(files::attributes(m, "C:\\WINDOWS\\s.txt").value_or(0),
              fileattr::Hidden | fileattr::Archive);
    char buf[16];
    EXPECT_LT(
        ::getxattr((c / "WINDOWS/s.txt").c_str(), "user.kolvanex.attributes", buf, sizeof buf), 0);
    EXPECT_TRUE(fs::exists(tm.prefix() / "attributes.tbl"));
    // The bits follow the file through a rename and leave with it.
    ASSERT_TRUE(files::rename(m, "C:\\WINDOWS\\s.txt", "C:\\WINDOWS\\t.txt"));
    EXPECT_EQ(files::attributes(m, "C:\\WINDOWS\\t.txt").value_or(0),
              fileattr::Hidden | fileattr::Archive);
    ASSERT_TRUE(files::remove(m, "C:\\WINDOWS\\t.txt"));
    ASSERT_TRUE(files::writeAll(m, "C:\\WINDOWS\\u.txt", "new file, maybe the same inode"));
    EXPECT_EQ(files::attributes(m, "C:\\WINDOWS\\u.txt").value_or(0), fileattr::Normal);
    files::forceAttributeSideTable(false);
}

TEST_F(FilesTest, RenameNeverReplacesAnExistingEntry) {
    ASSERT_TRUE(files::writeAll(m, "C:\\WINDOWS\\a.txt", "a"));
    ASSERT_TRUE(files::writeAll(m, "C:\\WINDOWS\\b.txt", "b"));
    auto r = files::rename(m, "C:\\WINDOWS\\a.txt", "C:\\WINDOWS\\B.TXT");  // resolves to b.txt
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().code, FileError::AlreadyExists);
    EXPECT_EQ(TempMachine::readHostFile(c / "WINDOWS/b.txt"), "b");
    ASSERT_TRUE(files::rename(m, "C:\\WINDOWS\\a.txt", "C:\\Programme\\moved.txt"));
    EXPECT_EQ(TempMachine::readHostFile(c / "Programme/moved.txt"), "a");
}

TEST_F(FilesTest, FoldersAreCreatedListedAndRemoved) {
    ASSERT_TRUE(files::createFolders(m, "C:\\Programme\\Kolvanex\\Daten\\Alt"));
    ASSERT_TRUE(files::createFolders(m, "C:\\programme\\kolvanex"));  // existing: fine
    EXPECT_TRUE(fs::is_directory(c / "Programme/Kolvanex/Daten/Alt"));
    auto again = files::createFolder(m, "C:\\Programme\\Kolvanex");
    ASSERT_FALSE(again);
    EXPECT_EQ(again.error().code, FileError::AlreadyExists);
    ASSERT_TRUE(files::writeAll(m, "C:\\Programme\\Kolvanex\\b.txt", "x"));
    auto entries = files::list(m, "C:\\Programme\\Kolvanex");
    ASSERT_TRUE(entries);
    ASSERT_EQ(entries->size(), 2u);
    EXPECT_EQ((*entries)[0].name, "Daten");
    EXPECT_EQ((*entries)[0].kind, EntryKind::Folder);
    EXPECT_EQ((*entries)[1].name, "b.txt");
    EXPECT_EQ((*entries)[1].kind, EntryKind::File);
    auto full = files::removeFolder(m, "C:\\Programme\\Kolvanex\\Daten");
    ASSERT_FALSE(full);
    EXPECT_EQ(full.error().code, FileError::DirNotEmpty);
    EXPECT_TRUE(files::removeFolder(m, "C:\\Programme\\Kolvanex\\Daten\\Alt"));
    EXPECT_FALSE(files::writeAll(m, "C:\\", "x"));  // the root itself is no file
}

TEST_F(FilesTest, SizesPastFourGigabytesAreExact) {
    const fs::path big = c / "WINDOWS/pagefile.sys";
    tm.writeHostFile(big, "");
    fs::resize_file(big, 5ull * 1024 * 1024 * 1024 + 7);  // sparse: costs no disk
    EXPECT_EQ(files::size(m, "C:\\WINDOWS\\pagefile.sys").value_or(0),
              5ull * 1024 * 1024 * 1024 + 7);
    auto folder = files::size(m, "C:\\WINDOWS");
    EXPECT_FALSE(folder);
}

TEST_F(FilesTest, EmptyFolderKeepsTheFolderAndUnlinksLinkedFolders) {
    const fs::path outsideDir = tm.root() / "outside";
    tm.writeHostFile(outsideDir / "keep.txt", "keep");
    const fs::path cache = c / "WINDOWS/Temp";
    tm.writeHostFile(cache / "a.tmp", "1");
    tm.writeHostFile(cache / "sub/deeper/b.tmp", "2");
    tm.writeHostFile(cache / "sub/c.tmp", "3");
    fs::permissions(cache / "sub/c.tmp", fs::perms::owner_write,
                    fs::perm_options::remove);  // read-only
    fs::create_directory_symlink(outsideDir, cache / "sub/to-outside");
    fs::create_symlink(outsideDir / "keep.txt", cache / "file-link");
    ASSERT_EQ(::mkfifo((cache / "fifo").c_str(), 0644), 0);

    auto result = files::emptyFolder(m, "c:\\windows\\temp");
    ASSERT_TRUE(result) << result.error().message;
    EXPECT_EQ(result->failed, 0u);
    EXPECT_EQ(result->removedEntries, 6u);  // 3 files, 2 links, 1 FIFO
    EXPECT_EQ(result->removedFolders, 2u);
    EXPECT_TRUE(fs::is_directory(cache));
    EXPECT_TRUE(fs::is_empty(cache));
    EXPECT_EQ(TempMachine::readHostFile(outsideDir / "keep.txt"), "keep");

    // A folder that is itself a link is refused whole.
    fs::create_directory_symlink(outsideDir, c / "WINDOWS/linked");
    EXPECT_FALSE(files::emptyFolder(m, "C:\\WINDOWS\\linked"));
    EXPECT_TRUE(fs::exists(outsideDir / "keep.txt"));
}

TEST(FilesCurrentMachine, CallsWithoutAMachineUseTheBoundOne) {
    TempMachine tm;
    ASSERT_TRUE(files::writeAll("C:\\x.txt", "bound"));
    EXPECT_EQ(TempMachine::readHostFile(tm.prefix() / "drive_c/x.txt"), "bound");
    EXPECT_TRUE(files::exists("c:\\X.TXT"));
}

}  // namespace
}  // namespace kx::platform
