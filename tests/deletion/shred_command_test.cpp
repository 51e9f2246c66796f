// `kolvanex shred` as a script runs it: the real console host on a
// throw-away machine, its status lines, its summary and its exit status.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/host_run.hpp"
#include "support/temp_machine.hpp"

namespace {

namespace fs = std::filesystem;

TEST(ShredCommandTest, DestroysFilesSumsTheBytesAndReportsWhatItLeft) {
    kx::test::TempMachine tm;
    const fs::path dir = tm.prefix() / "drive_c" / "Daten";
    const auto kolvanex = [&](const std::vector<std::string>& args) {
        return kx::test::runKolvanex(tm.prefix(), args, tm.root());
    };
    tm.writeHostFile(dir / "a.txt", "12345");
    tm.writeHostFile(dir / "b.txt", std::string(10, 'b'));
    auto run =
        kolvanex({"shred", "--passes", "2", "--byte", "7", "C:\\Daten\\a.txt", "C:\\Daten\\b.txt"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "2 Datei(en) gelöscht, 15 Bytes freigegeben\n");
    EXPECT_NE(run.err.find("Gelöscht: C:\\Daten\\a.txt (5 Bytes)"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("Gelöscht: C:\\Daten\\b.txt (10 Bytes)"), std::string::npos) << run.err;
    EXPECT_TRUE(fs::is_empty(dir));

    // Without --gutmann an .ini file is left alone, as the cleaner leaves it.
    tm.writeHostFile(dir / "x.ini", "[x]");
    run = kolvanex({"shred", "C:\\Daten\\x.ini", "C:\\Daten\\fehlt.txt"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out,
              "0 Datei(en) gelöscht, 0 Bytes freigegeben, 1 nicht vernichtet, 1 nicht gefunden\n");
    EXPECT_TRUE(fs::exists(dir / "x.ini"));
    run = kolvanex({"shred", "--byte", "256", "C:\\Daten\\x.ini"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(fs::exists(dir / "x.ini"));

    // --gutmann destroys it, and leaves the stored setting alone.
    run = kolvanex({"shred", "--gutmann", "C:\\Daten\\x.ini"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "1 Datei(en) gelöscht, 3 Bytes freigegeben\n");
    EXPECT_FALSE(fs::exists(dir / "x.ini"));
    EXPECT_EQ(kolvanex({"settings", "get", "Options", "Gutmann"}).out, "0\n");
}

TEST(ShredCommandTest, VerboseNamesEachPassAsItBegins) {
    kx::test::TempMachine tm;
    const fs::path dir = tm.prefix() / "drive_c" / "Daten";
    tm.writeHostFile(dir / "a.txt", "12345");
    tm.writeHostFile(dir / "b.txt", "12345");
    auto run = kx::test::runKolvanex(
        tm.prefix(), {"shred", "-n", "2", "--byte", "255", "-v", "C:\\Daten\\a.txt"}, tm.root());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("kolvanex: C:\\Daten\\a.txt: Durchgang 1/2 (ffffff)…\n"
                           "kolvanex: C:\\Daten\\a.txt: Durchgang 2/2 (ffffff)…\n"),
              std::string::npos)
        << run.err;

    // The Gutmann passes by their patterns, the random ones as such.
    run = kx::test::runKolvanex(tm.prefix(), {"shred", "--gutmann", "-v", "C:\\Daten\\b.txt"},
                                tm.root());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    std::size_t passes = 0;
    for (auto at = run.err.find(": Durchgang "); at != std::string::npos;
         at = run.err.find(": Durchgang ", at + 1))
        ++passes;
    EXPECT_EQ(passes, 35u);
    for (const char* line : {"Durchgang 1/35 (zufällig)…", "Durchgang 7/35 (924924)…",
                             "Durchgang 10/35 (000000)…", "Durchgang 35/35 (zufällig)…"})
        EXPECT_NE(run.err.find(line), std::string::npos) << line << run.err;
}

TEST(ShredCommandTest, SaysWhyEachFileWasNotDestroyed) {
    kx::test::TempMachine tm;
    const fs::path dir = tm.prefix() / "drive_c" / "Daten";
    tm.writeHostFile(dir / "x.ini", "[x]");
    tm.writeHostFile(dir / "index.dat", "Client UrlCache");
    tm.writeHostFile(dir / "$$@$$.del", "left by an interrupted call");
    fs::create_directory(dir / "Ordner");
    ASSERT_EQ(::mkfifo((dir / "rohr").c_str(), 0600), 0);
    tm.writeHostFile(tm.root() / "ziel.txt", "target");
    fs::create_symlink(tm.root() / "ziel.txt", dir / "verweis.txt");
    tm.writeHostFile(dir / "eins.txt", "shared");
    fs::create_hard_link(dir / "eins.txt", dir / "zwei.txt");

    struct Case {
        const char* name;
        const char* reason;
        bool nameStays;
    };
    const Case cases[] = {
        {"x.ini", "übersprungen: Konfigurationsdateien (.ini) bleiben erhalten", true},
        {"index.dat", "zurückgestellt: Indexdateien werden am Ende einer Reinigung geleert", true},
        {"$$@$$.del", "abgelehnt: der Name, den Dateien während ihrer Vernichtung tragen", true},
        {"Ordner", "abgelehnt: ein Ordner", true},
        {"rohr", "abgelehnt: ein Gerät, eine Pipe oder ein Socket", true},
        {"verweis.txt", "Verknüpfung entfernt, ihr Ziel bleibt erhalten", false},
        {"zwei.txt", "nur dieser Name entfernt: die Datei hat weitere harte Links", false},
    };
    std::vector<std::string> args = {"shred"};
    for (const auto& c : cases) args.push_back(std::string("C:\\Daten\\") + c.name);
    const auto run = kx::test::runKolvanex(tm.prefix(), args, tm.root());

    // The removed names count as deleted, with nothing freed; the rest stay.
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "2 Datei(en) gelöscht, 0 Bytes freigegeben, 5 nicht vernichtet\n");
    for (const auto& c : cases) {
        const std::string line =
            std::string("kolvanex: C:\\Daten\\") + c.name + ": " + c.reason + "\n";
        EXPECT_NE(run.err.find(line), std::string::npos) << line << run.err;
        EXPECT_EQ(fs::exists(fs::symlink_status(dir / c.name)), c.nameStays) << c.name;
    }
    EXPECT_EQ(kx::test::TempMachine::readHostFile(tm.root() / "ziel.txt"), "target");
    EXPECT_EQ(kx::test::TempMachine::readHostFile(dir / "eins.txt"), "shared");
}

}  // namespace
