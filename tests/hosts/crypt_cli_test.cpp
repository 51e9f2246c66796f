// The encrypt, decrypt and favourites commands as a user and a script run
// them: Ctrl+C at a key prompt on a terminal, key files, and favourites that
// a wrong key or a foreign file leaves untouched.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host_test.hpp"

namespace {

namespace fs = std::filesystem;
using kx::test::HasSubstr;
using kx::test::TempMachine;

class CryptCli : public kx::test::HostTest {
  protected:
    std::string keyFile(const std::string& key) {
        const auto file = machine.root() / ("key-" + key);
        machine.writeHostFile(file, key + "\n");
        return file.string();
    }
    fs::path store() const {
        return machine.prefix() /
               "drive_c/Dokumente und Einstellungen/anna/Eigene Dateien/favoriten.aes";
    }
};

TEST_F(CryptCli, CtrlCAtAKeyPromptEndsTheCommandWithTheTerminalRestored) {
    machine.writeHostFile(machine.prefix() / "drive_c/brief.txt", "Hallo");
    const std::vector<std::vector<std::string>> commands = {
        {"encrypt", "C:\\brief.txt"},
        {"decrypt", "--folder", "C:\\Dokumente und Einstellungen"},
        {"cipher", "encrypt", "C:\\brief.txt", "C:\\brief.kx"},
    };
    for (const auto& command : commands) {
        std::vector<std::string> args = {"--quiet"};
        args.insert(args.end(), command.begin(), command.end());
        const auto run = kx::test::onTerminal(machine.prefix(), args, "asswort: ");
        EXPECT_FALSE(run.echoAtPrompt) << command[0] << ": " << run.shown;
        EXPECT_EQ(run.exitCode, 130) << command[0] << ": " << run.shown;
        EXPECT_TRUE(run.echoAfter) << command[0];
    }
    EXPECT_EQ(TempMachine::readHostFile(machine.prefix() / "drive_c/brief.txt"), "Hallo");
    EXPECT_FALSE(fs::exists(machine.prefix() / "drive_c/brief.kx"));
}

TEST_F(CryptCli, FavouritesOpenOnlyWithTheirKeyAndStayUntouchedOtherwise) {
    const auto key = keyFile("geheim");
    ok({"--quiet", "favourites", "add", "Bank; Konto", "HTTP://Bank.Example", "--group", "Geld",
        "--safe", "--key-file", key});
    EXPECT_EQ(
        kolvanex({"favourites", "add", "bank; konto", "http://x", "--key-file", key}).exitCode,
        1);  // the name exists
    EXPECT_EQ(ok({"--quiet", "favourites", "list", "--key-file", key}),
              "Bank; Konto\tFalsch\tWahr\tgeld\thttp://bank.example\n");
    const std::string stored = TempMachine::readHostFile(store());

    auto run = kolvanex({"favourites", "remove", "Bank; Konto", "--key-file", keyFile("falsch")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_THAT(run.err, HasSubstr("Passwort ist falsch"));
    EXPECT_EQ(TempMachine::readHostFile(store()), stored);

    machine.writeHostFile(store(), "fremde Datei");
    run = kolvanex({"favourites", "list", "--key-file", key});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_THAT(run.err, HasSubstr("keine mit diesem Programm"));
    EXPECT_EQ(TempMachine::readHostFile(store()), "fremde Datei");
    EXPECT_EQ(fs::directory_iterator(store().parent_path())->path().filename(), "favoriten.aes");
}

}  // namespace
