// The file commands as a user types them: every command that takes a file
// or folder, with each form of path a user may write, and the meter a
// terminal shows while shred and cipher work.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "support/host_run.hpp"
#include "support/temp_machine.hpp"

namespace {

namespace fs = std::filesystem;
using kx::test::TempMachine;

// One way of writing a file's name: the host folder the file lies in, and
// the text that names a file of that folder.
struct PathForm {
    const char* name;
    std::function<fs::path(const TempMachine&)> folder;
    std::function<std::string(const TempMachine&, const std::string&)> text;
};

fs::path inMachine(const TempMachine& tm) {
    return tm.prefix() / "drive_c" / "Daten";
}
fs::path home(const TempMachine& tm) {
    return tm.root() / "home";
}

const PathForm kForms[] = {
    {"windows", inMachine,
     [](const TempMachine&, std::string n) {
         std::ranges::replace(n, '/', '\\');
         return "C:\\Daten\\" + n;
     }},
    {"linux inside the machine", inMachine,
     [](const TempMachine& tm, const std::string& n) { return (inMachine(tm) / n).string(); }},
    {"linux absolute", home,
     [](const TempMachine& tm, const std::string& n) { return (home(tm) / n).string(); }},
    {"linux relative", home, [](const TempMachine&, const std::string& n) { return n; }},
    {"home", home, [](const TempMachine&, const std::string& n) { return "~/" + n; }},
};

class FileCommands : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(inMachine(tm));
        fs::create_directories(home(tm));
        fs::current_path(home(tm));  // the relative form counts from here
        ::setenv("HOME", home(tm).c_str(), 1);
        tm.writeHostFile(tm.root() / "key", "geheim\n");
    }
    void TearDown() override {
        fs::current_path(cwd_);
        if (home_)
            ::setenv("HOME", home_->c_str(), 1);
        else
            ::unsetenv("HOME");
    }
    kx::test::HostRun kolvanex(std::vector<std::string> args) {
        return kx::test::runKolvanex(tm.prefix(), args, tm.root());
    }
    std::string key() const { return (tm.root() / "key").string(); }

    TempMachine tm;

  private:
    fs::path cwd_ = fs::current_path();
    std::optional<std::string> home_ =
        std::getenv("HOME") ? std::optional<std::string>(std::getenv("HOME")) : std::nullopt;
};

TEST_F(FileCommands, EveryFileCommandTakesEveryFormOfPath) {
    for (const auto& form : kForms) {
        SCOPED_TRACE(form.name);
        const fs::path dir = form.folder(tm);
        const auto name = [&](const std::string& n) { return form.text(tm, n); };
        const auto read = [&](const std::string& n) { return TempMachine::readHostFile(dir / n); };

        // shred: the file is gone, and the lines name it as it was given.
        tm.writeHostFile(dir / "geheim.txt", "streng geheim");
        auto r = kolvanex({"shred", "-n", "1", name("geheim.txt")});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_NE(r.err.find("Gelöscht: " + name("geheim.txt") + " (13 Bytes)"), std::string::npos)
            << r.err;
        EXPECT_FALSE(fs::exists(dir / "geheim.txt"));

        // cipher, encrypt and decrypt (each derives a key: one of each).
        tm.writeHostFile(dir / "report.pdf", "%PDF Bericht");
        r = kolvanex(
            {"cipher", "encrypt", name("report.pdf"), name("report.pdf.kx"), "--key-file", key()});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_GT(read("report.pdf.kx").size(), 12u);
        tm.writeHostFile(dir / "Ordner" / "a.txt", "eins");
        EXPECT_EQ(kolvanex({"encrypt", "--folder", name("Ordner"), "--key-file", key()}).exitCode,
                  0);
        EXPECT_NE(read("Ordner/a.txt"), "eins");
        EXPECT_EQ(kolvanex({"decrypt", name("Ordner/a.txt"), "--key-file", key()}).exitCode, 0);
        EXPECT_EQ(read("Ordner/a.txt"), "eins");

        // reg export and import.
        EXPECT_EQ(kolvanex({"reg", "add", "HKCU\\Software\\Pfad", "-v", "x", "-d", "1"}).exitCode,
                  0);
        EXPECT_EQ(kolvanex({"reg", "export", "HKCU\\Software\\Pfad", name("pfad.reg")}).exitCode,
                  0);
        EXPECT_FALSE(read("pfad.reg").empty());
        EXPECT_EQ(kolvanex({"reg", "delete", "HKCU\\Software\\Pfad"}).exitCode, 0);
        EXPECT_EQ(kolvanex({"reg", "import", name("pfad.reg")}).exitCode, 0);
        EXPECT_EQ(kolvanex({"reg", "query", "HKCU\\Software\\Pfad", "-v", "x"}).exitCode, 0);

        // A message file that is not there is named as given.
        r = kolvanex({"mail", "--to", "a@example.org", "--message-file", name("fehlt.txt")});
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_NE(r.err.find(name("fehlt.txt")), std::string::npos) << r.err;
        for (const auto& entry : fs::directory_iterator(dir)) fs::remove_all(entry.path());
    }
}

TEST_F(FileCommands, RefusesNamesTheMachineCannotHoldBeforeDoingAnything) {
    tm.writeHostFile(home(tm) / "a.txt", "a");
    tm.writeHostFile(home(tm) / "Fall.txt", "mine");
    tm.writeHostFile(home(tm) / "fr?ge.txt", "b");
    for (const std::vector<std::string>& args : {
             std::vector<std::string>{"shred", "a.txt", "fr?ge.txt"},  // Windows has no "?"
             std::vector<std::string>{"shred", "a.txt", "FALL.txt"},   // would reach Fall.txt
             std::vector<std::string>{"shred", "a.txt", "C:\\..\\x"},  // climbs out of C:
         }) {
        const auto r = kolvanex(args);
        EXPECT_EQ(r.exitCode, 2) << args.back() << ": " << r.err;
        EXPECT_NE(r.err.find(args.back()), std::string::npos) << r.err;
    }
    EXPECT_EQ(TempMachine::readHostFile(home(tm) / "a.txt"), "a");
    EXPECT_EQ(TempMachine::readHostFile(home(tm) / "Fall.txt"), "mine");
}

TEST_F(FileCommands, ATerminalShowsBytesAndPassesAndQuietShowsNothing) {
    const std::string big(3 << 20, 'x');
    tm.writeHostFile(home(tm) / "big", big);
    auto shown = kx::test::shownOnTerminal(
        tm.prefix(), {"cipher", "encrypt", "big", "big.kx", "--key-file", key()});
    EXPECT_NE(shown.find("big:  3.0 MiB / 3.0 MiB"), std::string::npos) << shown;
    shown = kx::test::shownOnTerminal(tm.prefix(), {"shred", "-n", "2", "big"});
    EXPECT_NE(shown.find("big: Durchgang 2/2  6.0 MiB / 6.0 MiB"), std::string::npos) << shown;
    EXPECT_NE(shown.find("Gelöscht: big"), std::string::npos) << shown;

    // Quiet: not a line, not a meter, when nothing fails.
    tm.writeHostFile(home(tm) / "big", big);
    EXPECT_EQ(kx::test::shownOnTerminal(tm.prefix(), {"--quiet", "shred", "big"}), "");
    // Nor is the meter drawn when the output is no terminal.
    tm.writeHostFile(home(tm) / "big", big);
    const auto r = kolvanex({"shred", "-n", "2", "big"});
    EXPECT_EQ(r.err.find('\r'), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("MiB"), std::string::npos) << r.err;
}

}  // namespace
