// The file commands as a user types them: every command that takes a file
// or folder, with each form of path a user may write, and the meter a
// terminal shows while shred and cipher work.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "host_test.hpp"
#include "support/home_scope.hpp"

namespace {

namespace fs = std::filesystem;
using kx::test::HasSubstr;
using kx::test::Not;
using kx::test::onTerminal;
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

class FileCommands : public kx::test::HostTest {
  protected:
    void SetUp() override {
        fs::create_directories(inMachine(machine));
        fs::create_directories(home(machine));
        fs::current_path(home(machine));  // the relative form counts from here
        machine.writeHostFile(machine.root() / "key", "geheim\n");
    }
    void TearDown() override { fs::current_path(cwd_); }
    std::string key() const { return (machine.root() / "key").string(); }

  private:
    fs::path cwd_ = fs::current_path();
    kx::test::HomeScope home_{home(machine)};
};

TEST_F(FileCommands, EveryFileCommandTakesEveryFormOfPath) {
    for (const auto& form : kForms) {
        SCOPED_TRACE(form.name);
        const fs::path dir = form.folder(machine);
        const auto name = [&](const std::string& n) { return form.text(machine, n); };
        const auto read = [&](const std::string& n) { return TempMachine::readHostFile(dir / n); };

        // shred: the file is gone, and the lines name it as it was given.
        machine.writeHostFile(dir / "geheim.txt", "streng geheim");
        auto r = kolvanex({"shred", "-n", "1", name("geheim.txt")});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_THAT(r.err, HasSubstr("Gelöscht: " + name("geheim.txt") + " (13 Bytes)"));
        EXPECT_FALSE(fs::exists(dir / "geheim.txt"));

        // cipher, encrypt and decrypt (each derives a key: one of each).
        machine.writeHostFile(dir / "report.pdf", "%PDF Bericht");
        ok({"cipher", "encrypt", name("report.pdf"), name("report.pdf.kx"), "--key-file", key()});
        EXPECT_GT(read("report.pdf.kx").size(), 12u);
        machine.writeHostFile(dir / "Ordner" / "a.txt", "eins");
        ok({"encrypt", "--folder", name("Ordner"), "--key-file", key()});
        EXPECT_NE(read("Ordner/a.txt"), "eins");
        ok({"decrypt", name("Ordner/a.txt"), "--key-file", key()});
        EXPECT_EQ(read("Ordner/a.txt"), "eins");

        // reg export and import.
        ok({"reg", "add", "HKCU\\Software\\Pfad", "-v", "x", "-d", "1"});
        ok({"reg", "export", "HKCU\\Software\\Pfad", name("pfad.reg")});
        EXPECT_FALSE(read("pfad.reg").empty());
        ok({"reg", "delete", "HKCU\\Software\\Pfad"});
        ok({"reg", "import", name("pfad.reg")});
        ok({"reg", "query", "HKCU\\Software\\Pfad", "-v", "x"});

        // A message file that is not there is named as given.
        r = kolvanex({"mail", "--to", "a@example.org", "--message-file", name("fehlt.txt")});
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_THAT(r.err, HasSubstr(name("fehlt.txt")));
        for (const auto& entry : fs::directory_iterator(dir)) fs::remove_all(entry.path());
    }
}

TEST_F(FileCommands, RefusesNamesTheMachineCannotHoldBeforeDoingAnything) {
    machine.writeHostFile(home(machine) / "a.txt", "a");
    machine.writeHostFile(home(machine) / "Fall.txt", "mine");
    machine.writeHostFile(home(machine) / "fr?ge.txt", "b");
    for (const std::vector<std::string>& args : {
             std::vector<std::string>{"shred", "a.txt", "fr?ge.txt"},  // Windows has no "?"
             std::vector<std::string>{"shred", "a.txt", "FALL.txt"},   // would reach Fall.txt
             std::vector<std::string>{"shred", "a.txt", "C:\\..\\x"},  // climbs out of C:
         }) {
        const auto r = kolvanex(args);
        EXPECT_EQ(r.exitCode, 2) << args.back() << ": " << r.err;
        EXPECT_THAT(r.err, HasSubstr(args.back()));
    }
    EXPECT_EQ(TempMachine::readHostFile(home(machine) / "a.txt"), "a");
    EXPECT_EQ(TempMachine::readHostFile(home(machine) / "Fall.txt"), "mine");
}

TEST_F(FileCommands, ATerminalShowsBytesAndPassesAndQuietShowsNothing) {
    const std::string big(3 << 20, 'x');
    machine.writeHostFile(home(machine) / "big", big);
    auto shown =
        onTerminal(machine.prefix(), {"cipher", "encrypt", "big", "big.kx", "--key-file", key()})
            .shown;
    EXPECT_THAT(shown, HasSubstr("big:  3.0 MiB / 3.0 MiB"));
    shown = onTerminal(machine.prefix(), {"shred", "-n", "2", "big"}).shown;
    EXPECT_THAT(shown, HasSubstr("big: Durchgang 2/2  6.0 MiB / 6.0 MiB"));
    EXPECT_THAT(shown, HasSubstr("Gelöscht: big"));

    // Quiet: not a line, not a meter, when nothing fails.
    machine.writeHostFile(home(machine) / "big", big);
    EXPECT_EQ(onTerminal(machine.prefix(), {"--quiet", "shred", "big"}).shown, "");
    // Nor is the meter drawn when the output is no terminal.
    machine.writeHostFile(home(machine) / "big", big);
    const auto r = kolvanex({"shred", "-n", "2", "big"});
    EXPECT_THAT(r.err, Not(HasSubstr("\r")));
    EXPECT_THAT(r.err, Not(HasSubstr("MiB")));
}

}  // namespace
