// The encrypt, decrypt and favourites commands as a user and a script run
// them: Ctrl+C at a key prompt on a terminal, key files, and favourites that
// a wrong key or a foreign file leaves untouched.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "support/host_run.hpp"
#include "support/temp_machine.hpp"

namespace {

namespace fs = std::filesystem;

struct PtyRun {
    int exitCode = -1;
    bool echoDuringPrompt = true;
    bool echoAfter = false;
    std::string shown;
};

// Runs the host on a terminal, waits for its prompt, presses Ctrl+C.
PtyRun ctrlCAtPrompt(const fs::path& prefix, std::vector<std::string> args) {
    args.insert(args.begin(), "--quiet");
    int master = -1;
    const pid_t pid = kx::test::startOnTerminal(prefix, args, master);
    PtyRun run;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (run.shown.find("asswort: ") == std::string::npos &&
           std::chrono::steady_clock::now() < deadline) {
        char buf[256];
        const ssize_t got = ::read(master, buf, sizeof buf);
        if (got <= 0)
            break;
        run.shown.append(buf, static_cast<std::size_t>(got));
    }
    termios t{};
    ::tcgetattr(master, &t);
    run.echoDuringPrompt = (t.c_lflag & ECHO) != 0;
    const char ctrlC = 0x03;
    EXPECT_EQ(::write(master, &ctrlC, 1), 1);
    // A prompt that missed the key would wait for ever: ended after a while.
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline)
            ::kill(pid, SIGKILL);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    ::tcgetattr(master, &t);
    run.echoAfter = (t.c_lflag & ECHO) != 0;
    ::close(master);
    return run;
}

class CryptCli : public ::testing::Test {
  protected:
    kx::test::HostRun kolvanex(std::vector<std::string> args) {
        args.insert(args.begin(), "--quiet");
        return kx::test::runKolvanex(tm.prefix(), args, tm.root());
    }
    std::string keyFile(const std::string& key) {
        const auto file = tm.root() / ("key-" + key);
        tm.writeHostFile(file, key + "\n");
        return file.string();
    }
    fs::path store() const {
        return tm.prefix() /
               "drive_c/Dokumente und Einstellungen/anna/Eigene Dateien/favoriten.aes";
    }

    kx::test::TempMachine tm;
};

TEST_F(CryptCli, CtrlCAtAKeyPromptEndsTheCommandWithTheTerminalRestored) {
    tm.writeHostFile(tm.prefix() / "drive_c/brief.txt", "Hallo");
    const std::vector<std::vector<std::string>> commands = {
        {"encrypt", "C:\\brief.txt"},
        {"decrypt", "--folder", "C:\\Dokumente und Einstellungen"},
        {"cipher", "encrypt", "C:\\brief.txt", "C:\\brief.kx"},
    };
    for (const auto& command : commands) {
        const auto run = ctrlCAtPrompt(tm.prefix(), command);
        EXPECT_FALSE(run.echoDuringPrompt) << command[0] << ": " << run.shown;
        EXPECT_EQ(run.exitCode, 130) << command[0] << ": " << run.shown;
        EXPECT_TRUE(run.echoAfter) << command[0];
    }
    EXPECT_EQ(kx::test::TempMachine::readHostFile(tm.prefix() / "drive_c/brief.txt"), "Hallo");
    EXPECT_FALSE(fs::exists(tm.prefix() / "drive_c/brief.kx"));
}

TEST_F(CryptCli, FavouritesOpenOnlyWithTheirKeyAndStayUntouchedOtherwise) {
    const auto key = keyFile("geheim");
    auto r = kolvanex({"favourites", "add", "Bank; Konto", "HTTP://Bank.Example", "--group", "Geld",
                       "--safe", "--key-file", key});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    r = kolvanex({"favourites", "add", "bank; konto", "http://x", "--key-file", key});
    EXPECT_EQ(r.exitCode, 1);  // the name exists
    r = kolvanex({"favourites", "list", "--key-file", key});
    EXPECT_EQ(r.out, "Bank; Konto\tFalsch\tWahr\tgeld\thttp://bank.example\n");
    const std::string stored = kx::test::TempMachine::readHostFile(store());

    r = kolvanex({"favourites", "remove", "Bank; Konto", "--key-file", keyFile("falsch")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Passwort ist falsch"), std::string::npos) << r.err;
    EXPECT_EQ(kx::test::TempMachine::readHostFile(store()), stored);

    tm.writeHostFile(store(), "fremde Datei");
    r = kolvanex({"favourites", "list", "--key-file", key});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("keine mit diesem Programm"), std::string::npos) << r.err;
    EXPECT_EQ(kx::test::TempMachine::readHostFile(store()), "fremde Datei");
    EXPECT_EQ(fs::directory_iterator(store().parent_path())->path().filename(), "favoriten.aes");
}

}  // namespace
