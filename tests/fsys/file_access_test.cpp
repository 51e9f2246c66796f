// FileAccess: the cleaners' file, registry and IE-settings calls.
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include <sys/stat.h>

#include "fsys/connection_blob.hpp"
#include "fsys/file_access.hpp"
#include "platform/files/files.hpp"
#include "platform/ui/dialogs.hpp"
#include "support/registry_values.hpp"
#include "support/temp_machine.hpp"

namespace kx::fsys {
namespace {

namespace fs = std::filesystem;
namespace pf = kx::platform;
using kx::test::TempMachine;

constexpr std::string_view kConnections =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";

class FileAccessTest : public ::testing::Test {
  protected:
    TempMachine tm;
    FileAccess fa;
    const fs::path profile = tm.prefix() / "drive_c/Dokumente und Einstellungen/anna";

    pf::LONG createKey(pf::HKEY root, std::string_view path) {
        return kx::test::createKey(tm->registry(), root, path);
    }
    bool keyExists(pf::HKEY root, std::string_view path) {
        return kx::test::keyExists(tm->registry(), root, path);
    }
    std::string blob(std::string_view name) {
        return kx::test::valueBytes(tm->registry(), pf::HKEY_CURRENT_USER, kConnections, name)
            .value_or("");
    }
    void setBlob(std::string_view name, const std::string& bytes) {
        ASSERT_EQ(kx::test::putValue(tm->registry(), pf::HKEY_CURRENT_USER, kConnections, name,
                                     bytes, pf::REG_BINARY),
                  0);
    }
};

TEST_F(FileAccessTest, FileCallsRoundTripAndSuppressErrors) {
    const std::string path = "C:\\Dokumente und Einstellungen\\anna\\Eigene Dateien\\brief.txt";
    EXPECT_FALSE(fa.Exists(path));
    EXPECT_EQ(fa.Size(path), 0.0);
    EXPECT_EQ(fa.ReadText(path), "");
    ASSERT_TRUE(fa.WriteText(path, std::string("Grüße\r\n\0binär", 14)));
    EXPECT_TRUE(fa.Exists(path));
    EXPECT_EQ(fa.Size(path), 14.0);
    EXPECT_EQ(fa.ReadText(path), std::string("Grüße\r\n\0binär", 14));
    EXPECT_TRUE(fa.Delete(path));
    EXPECT_FALSE(fa.Exists(path));
    EXPECT_FALSE(fa.Delete(path));  // nothing left to delete
    EXPECT_FALSE(fa.WriteText("Q:\\x.txt", "x"));
    EXPECT_FALSE(fa.WriteText(":", "x"));
    EXPECT_FALSE(fa.Delete("C:\\Programme"));  // folders are not deleted by it
    EXPECT_TRUE(fs::is_directory(tm.prefix() / "drive_c/Programme"));
}

TEST_F(FileAccessTest, DeleteClearsReadOnlyButNeverTouchesALinksTarget) {
    ASSERT_TRUE(fa.WriteText("C:\\WINDOWS\\locked.txt", "x"));
    ASSERT_TRUE(
        pf::files::setAttributes(tm.machine(), "C:\\WINDOWS\\locked.txt", pf::fileattr::ReadOnly));
    EXPECT_TRUE(fa.Delete("C:\\WINDOWS\\locked.txt"));
    EXPECT_FALSE(fs::exists(tm.prefix() / "drive_c/WINDOWS/locked.txt"));

    const fs::path outside = tm.root() / "target.txt";
    tm.writeHostFile(outside, "keep");
    fs::permissions(outside,
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    const auto modeBefore = fs::status(outside).permissions();
    fs::create_symlink(outside, tm.prefix() / "drive_c/WINDOWS/link.txt");
    EXPECT_FALSE(fa.WriteText("C:\\WINDOWS\\link.txt", "overwrite"));
    EXPECT_TRUE(fa.Delete("C:\\WINDOWS\\link.txt"));
    EXPECT_EQ(TempMachine::readHostFile(outside), "keep");
    EXPECT_EQ(fs::status(outside).permissions(), modeBefore);
}

TEST_F(FileAccessTest, DeleteRegKeyRemovesTheWholeTreeAndNothingBeside) {
    ASSERT_EQ(createKey(pf::HKEY_CURRENT_USER, "Software\\Tracks\\MRU\\a\\b\\c"), 0);
    ASSERT_EQ(createKey(pf::HKEY_CURRENT_USER, "Software\\Tracks\\MRU\\d"), 0);
    ASSERT_EQ(createKey(pf::HKEY_CURRENT_USER, "Software\\Tracks\\Keep"), 0);
    EXPECT_EQ(fa.DeleteRegKey(pf::HKEY_CURRENT_USER, "software\\tracks\\mru"), 0);
    EXPECT_FALSE(keyExists(pf::HKEY_CURRENT_USER, "Software\\Tracks\\MRU"));
    EXPECT_TRUE(keyExists(pf::HKEY_CURRENT_USER, "Software\\Tracks\\Keep"));
    EXPECT_EQ(fa.DeleteRegKey(pf::HKEY_CURRENT_USER, "Software\\Tracks\\MRU"),
              pf::ERROR_FILE_NOT_FOUND);
    // A root is never deleted, however the empty path is spelt.
    EXPECT_EQ(fa.DeleteRegKey(pf::HKEY_CURRENT_USER, ""), pf::ERROR_INVALID_PARAMETER);
    EXPECT_EQ(fa.DeleteRegKey(pf::HKEY_CURRENT_USER, "\\\\"), pf::ERROR_INVALID_PARAMETER);
    EXPECT_TRUE(keyExists(pf::HKEY_CURRENT_USER, "Software\\Tracks\\Keep"));
}

TEST_F(FileAccessTest, DeleteRegKeyIsAllOrNothing) {
    ASSERT_EQ(createKey(pf::HKEY_CURRENT_USER, "Software\\Tracks\\A\\Locked"), 0);
    ASSERT_EQ(createKey(pf::HKEY_CURRENT_USER, "Software\\Tracks\\A\\Free"), 0);
    ASSERT_EQ(
        tm->registry().setKeyReadOnly(pf::HKEY_CURRENT_USER, "Software\\Tracks\\A\\Locked", true),
        0);
    EXPECT_EQ(fa.DeleteRegKey(pf::HKEY_CURRENT_USER, "Software\\Tracks\\A"),
              pf::ERROR_ACCESS_DENIED);
    EXPECT_TRUE(keyExists(pf::HKEY_CURRENT_USER, "Software\\Tracks\\A\\Free"));
    EXPECT_TRUE(keyExists(pf::HKEY_CURRENT_USER, "Software\\Tracks\\A\\Locked"));
}

TEST_F(FileAccessTest, ClearIECacheEmptiesTheCacheButKeepsItsFolder) {
    const fs::path cache = profile / "Lokale Einstellungen/Temporary Internet Files";
    const fs::path outside = tm.root() / "outside";
    tm.writeHostFile(outside / "keep.txt", "keep");
    tm.writeHostFile(cache / "Content.IE5/ABCD1234/page[1].htm", "p");
    tm.writeHostFile(cache / "Content.IE5/index.dat", "i");
    fs::create_directory_symlink(outside, cache / "Content.IE5/escape");
    EXPECT_TRUE(fa.ClearIECache());
    EXPECT_TRUE(fs::is_directory(cache));
    EXPECT_TRUE(fs::is_empty(cache));
    EXPECT_EQ(TempMachine::readHostFile(outside / "keep.txt"), "keep");

    const fs::path history = profile / "Lokale Einstellungen/Verlauf";
    tm.writeHostFile(history / "History.IE5/index.dat", "h");
    fa.ClearIEHistory();
    EXPECT_TRUE(fs::is_directory(history));
    EXPECT_TRUE(fs::is_empty(history));
    // The cache folder of another profile stays as it is.
    EXPECT_TRUE(fs::is_directory(profile / "Cookies"));
}

TEST_F(FileAccessTest, ClearIECacheRefusesACacheFolderThatIsALink) {
    const fs::path cache = profile / "Lokale Einstellungen/Temporary Internet Files";
    const fs::path outside = tm.root() / "real-cache";
    tm.writeHostFile(outside / "keep.txt", "keep");
    fs::remove_all(cache);
    fs::create_directory_symlink(outside, cache);
    EXPECT_FALSE(fa.ClearIECache());
    EXPECT_TRUE(fs::exists(outside / "keep.txt"));
}

TEST_F(FileAccessTest, ACacheValueNamingTheProfileOrADriveIsRefused) {
    tm.writeHostFile(profile / "Eigene Dateien/brief.doc", "mine");
    tm.writeHostFile(tm.prefix() / "drive_c/boot.ini", "[boot loader]");
    for (const std::string value :
         {"C:\\Dokumente und Einstellungen\\anna", "C:\\", "c:\\dokumente und einstellungen",
          "C:\\Dokumente und Einstellungen\\anna\\Eigene Dateien\\..", "C:\\WINDOWS"}) {
        ASSERT_EQ(
            kx::test::putValue(tm->registry(), pf::HKEY_CURRENT_USER,
                               "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell "
                               "Folders",
                               "Cache", value + '\0'),
            0);
        EXPECT_FALSE(fa.ClearIECache()) << value;
        EXPECT_EQ(TempMachine::readHostFile(profile / "Eigene Dateien/brief.doc"), "mine") << value;
        EXPECT_EQ(TempMachine::readHostFile(tm.prefix() / "drive_c/boot.ini"), "[boot loader]")
            << value;
        EXPECT_TRUE(fs::is_directory(tm.prefix() / "drive_c/WINDOWS/system32")) << value;
    }
}

TEST_F(FileAccessTest, ShowOpenJoinsSeveralChosenFilesWithSemicolons) {
    pf::ui::ScriptedDialogs dialogs;
    pf::ui::DialogsScope scope(dialogs);
    dialogs.fileAnswers.push_back(std::string("C:\\Eigene Dateien\\brief.txt"));
    dialogs.fileAnswers.push_back(std::string("C:\\Daten\0a.txt\0b c.txt\0\0", 24));
    dialogs.fileAnswers.push_back(std::nullopt);
    FileAccess access;
    EXPECT_EQ(access.ShowOpen(5, "*.*", 0, "", "", "", "Dateien", 0x80200),
              "C:\\Eigene Dateien\\brief.txt");
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].record.filter, std::string("*.*\0*.*\0", 8));
    EXPECT_EQ(dialogs.shown[0].record.flags, 0x80200u);
    EXPECT_EQ(dialogs.shown[0].record.owner, 5);
    EXPECT_EQ(access.ShowOpen(5, "*.*", 0, "", "", "", "Dateien", 0x80200),
              "C:\\Daten;a.txt;b c.txt");
    EXPECT_EQ(access.ShowOpen(5, "*.*", 0, "", "", "", "Dateien", 0x80200), "");
}

TEST_F(FileAccessTest, ConnectionSettingsRoundTripPerConnection) {
    fa.SetProxyValue("127.0.0.1:3128", "", ConnectionBlob::Proxy | ConnectionBlob::Direct);
    fa.SetAutoConfigURL("http://127.0.0.1/proxy.pac", "T-Online", ConnectionBlob::AutoConfigUrl);
    std::string value;
    std::int32_t flags = -1;
    fa.GetProxyValue("", value, flags);
    EXPECT_EQ(value, "127.0.0.1:3128");
    EXPECT_EQ(flags, 3);
    fa.GetAutoConfigURL("T-Online", value, flags);
    EXPECT_EQ(value, "http://127.0.0.1/proxy.pac");
    EXPECT_EQ(flags, 4);
    fa.GetAutoConfigURL("", value, flags);  // the LAN has no URL
    EXPECT_EQ(value, "");
    EXPECT_EQ(flags, 3);
    fa.GetProxyValue("Nie angelegt", value, flags);
    EXPECT_EQ(value, "");
    EXPECT_EQ(flags, 0);
    // Where IE looks for them.
    const auto lan = ConnectionBlob::parse(blob("DefaultConnectionSettings"));
    ASSERT_TRUE(lan);
    EXPECT_EQ(lan->proxyServer, "127.0.0.1:3128");
    EXPECT_TRUE(ConnectionBlob::parse(blob("T-Online")));
}

TEST_F(FileAccessTest, SettingOneTextKeepsTheRestOfTheBlob) {
    ConnectionBlob original;
    original.version = 0x3C;
    original.counter = 41;
    original.flags = ConnectionBlob::Proxy;
    original.proxyServer = "old:80";
    original.bypassList = "<local>;*.intern";
    original.autoConfigUrl = "http://127.0.0.1/old.pac";
    original.trailing = std::string("\x01\x00\x00\x00\xC0\xA8\x00\x01\xDE\xAD\xBE\xEF", 12);
    setBlob("DefaultConnectionSettings", original.serialize());

    fa.SetProxyValue("new:8080", "", ConnectionBlob::Proxy);
    const auto after = ConnectionBlob::parse(blob("DefaultConnectionSettings"));
    ASSERT_TRUE(after);
    EXPECT_EQ(after->version, 0x3Cu);
    EXPECT_EQ(after->counter, 42u);  // each change counted
    EXPECT_EQ(after->proxyServer, "new:8080");
    EXPECT_EQ(after->bypassList, "<local>;*.intern");
    EXPECT_EQ(after->autoConfigUrl, "http://127.0.0.1/old.pac");
    EXPECT_EQ(after->trailing, original.trailing);
}

TEST_F(FileAccessTest, ABrokenBlobIsNeitherTrustedNorACrash) {
    // Lengths that point far past the end of the value.
    std::string broken(
        "\x46\0\0\0\x01\0\0\0\x02\0\0\0\xFF\xFF\xFF\x7F"
        "abc",
        19);
    setBlob("DefaultConnectionSettings", broken);
    std::string value = "x";
    std::int32_t flags = 7;
    fa.GetProxyValue("", value, flags);
    EXPECT_EQ(value, "");
    EXPECT_EQ(flags, 0);
    fa.SetProxyValue("p:1", "", ConnectionBlob::Proxy);
    fa.GetProxyValue("", value, flags);
    EXPECT_EQ(value, "p:1");
    EXPECT_EQ(flags, 2);
}

TEST(ConnectionBlobTest, ParseRejectsTruncatedBlobsAndSerializeIsItsInverse) {
    ConnectionBlob b = ConnectionBlob::fresh();
    b.proxyServer = "h:1";
    const std::string bytes = b.serialize();
    for (std::size_t cut = 0; cut < 24 + 3; ++cut) {
        EXPECT_FALSE(ConnectionBlob::parse(std::string_view(bytes).substr(0, cut))) << cut;
    }
    const auto back = ConnectionBlob::parse(bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->serialize(), bytes);
}

TEST(FileAccessNoMachine, EveryCallFailsQuietly) {
    FileAccess fa;
    EXPECT_FALSE(fa.Exists("C:\\x"));
    EXPECT_EQ(fa.Size("C:\\x"), 0.0);
    EXPECT_EQ(fa.ReadText("C:\\x"), "");
    EXPECT_FALSE(fa.WriteText("C:\\x", "y"));
    EXPECT_FALSE(fa.Delete("C:\\x"));
    EXPECT_NE(fa.DeleteRegKey(pf::HKEY_CURRENT_USER, "Software\\x"), 0);
    EXPECT_FALSE(fa.ClearIECache());
    fa.ClearIEHistory();
    fa.SetProxyValue("p", "", 2);
    std::string v = "x";
    std::int32_t f = 9;
    fa.GetProxyValue("", v, f);
    EXPECT_EQ(v, "");
    EXPECT_EQ(f, 0);
}

}  // namespace
}  // namespace kx::fsys
