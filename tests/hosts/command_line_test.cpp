// The command line as a new user meets it: the settings refusing values
// they do not take, cleaning steps chosen for one run, a preview the clean
// keeps to, long runs kept silent by --quiet after their name, and a
// free-space wipe that leaves no filler when stopped.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "host_test.hpp"

namespace {

namespace fs = std::filesystem;
using kx::test::HasSubstr;
using kx::test::HostRun;
using CommandLineTest = kx::test::HostTest;

TEST_F(CommandLineTest, SettingsNameTheirValuesAndRefuseOthers) {
    auto run = kolvanex({"settings", "list", "--section", "Options"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    for (const char* shown :
         {"Options\\DeleteN=3 (Vorgabe)", "ganze Zahl 1 bis 99",
          "wie oft eine Datei vor dem Löschen überschrieben wird", "Options\\Cookies=1 (Vorgabe)",
          "0 oder 1", "Options\\BrowserIsIE=True (Vorgabe)", "True oder False"})
        EXPECT_THAT(run.out, HasSubstr(shown));
    EXPECT_EQ(kolvanex({"settings", "get", "Options", "DeleteValue"}).out, "246\n");

    const struct {
        std::vector<std::string> words;
        std::string said;  // empty: taken
    } sets[] = {
        {{"Options", "DeleteN", "100"}, "nimmt ganze Zahl 1 bis 99; '100' ist nichts davon"},
        {{"Options", "DeleteN", "0"}, "1 bis 99"},
        {{"Options", "DeleteValue", "256"}, "ganze Zahl 0 bis 255"},
        {{"Options", "NProxys", "11"}, "ganze Zahl 1 bis 10"},
        {{"Options", "Cookies", "ja"}, "nimmt 0 oder 1"},
        {{"Options", "BrowserIsOpera", "1"}, "True oder False"},
        {{"Options", "JunkCleanedDate", "2026-12-07"}, "Datum tt.mm.jj"},
        {{"Options", "Kekse", "1"}, "unbekannte Einstellung 'Options\\Kekse'"},
        {{"options", "deleten", "99"}, ""},
        {{"Options", "DeleteValue", "0"}, ""},
        {{"Options", "JunkCleanedDate", "07.12.26"}, ""},
    };
    for (const auto& s : sets) {
        SCOPED_TRACE(testing::PrintToString(s.words));
        std::vector<std::string> args = {"settings", "set"};
        args.insert(args.end(), s.words.begin(), s.words.end());
        run = kolvanex(args);
        if (s.said.empty())
            EXPECT_EQ(run.exitCode, 0) << run.err;
        else
            kx::test::expectUsageError(run, s.said);
    }
    // Refused values left the stored one alone, which the list no longer
    // calls the default; another title keeps settings of its own; reset
    // gives the default back.
    EXPECT_EQ(kolvanex({"settings", "get", "options", "deleten"}).out, "99\n");
    EXPECT_THAT(kolvanex({"settings", "list"}).out, HasSubstr("Options\\DeleteN=99 "));
    EXPECT_EQ(kolvanex({"--title", "Tarnkappe", "settings", "get", "Options", "DeleteN"}).out,
              "3\n");
    ASSERT_EQ(kolvanex({"settings", "reset", "Options", "DeleteN"}).exitCode, 0);
    EXPECT_THAT(kolvanex({"settings", "list"}).out, HasSubstr("Options\\DeleteN=3 (Vorgabe)"));
    EXPECT_EQ(kolvanex({"settings", "reset", "Options", "Kekse"}).exitCode, 2);
}

// Every file on the drives of a machine with its content (the machine's own
// records, the registry among them, lie beside the drives).
std::map<fs::path, std::string> filesOf(const fs::path& prefix) {
    std::map<fs::path, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(prefix)) {
        if (entry.is_symlink() || !entry.is_regular_file() || entry.path().parent_path() == prefix)
            continue;
        files[entry.path()] = kx::test::TempMachine::readHostFile(entry.path());
    }
    return files;
}

// What a preview lists: the files it names (deleted, blanked, kept) and the
// files and folders the later steps rewrite or empty.
struct Preview {
    std::map<std::string, std::set<fs::path>> files;  // by "löschen", "leeren", "bleibt"
    std::set<fs::path> stepPaths;
    std::string total;
};

Preview parsePreview(const std::string& out) {
    Preview preview;
    std::istringstream lines(out);
    std::string line;
    const std::string arrow = "  ->  ";
    while (std::getline(lines, line)) {
        const auto at = line.find(arrow);
        if (line.starts_with("würde "))
            preview.total = line;
        if (at == std::string::npos)
            continue;
        const fs::path host = line.substr(at + arrow.size());
        if (line.starts_with("    "))
            preview.stepPaths.insert(host);
        else
            preview.files[line.substr(0, line.find(' '))].insert(host);
    }
    return preview;
}

bool below(const fs::path& file, const std::set<fs::path>& paths) {
    for (const auto& p : paths) {
        const auto rel = file.lexically_relative(p);
        if (file == p || (!rel.empty() && *rel.begin() != ".."))
            return true;
    }
    return false;
}

class CleanChoiceTest : public CommandLineTest {
  protected:
    HostRun on(const fs::path& prefix, const std::vector<std::string>& args) {
        return kx::test::runKolvanex(prefix, args, machine.root());
    }
    // The user's choices in the store (a run's own bookkeeping of when it
    // last searched for junk aside).
    std::string choices(const fs::path& prefix) {
        std::istringstream lines(on(prefix, {"settings", "list", "--section", "Options"}).out);
        std::string kept, line;
        while (std::getline(lines, line))
            if (line.find("JunkCleaned") == std::string::npos)
                kept += line + "\n";
        return kept;
    }

    // Runs the preview, then the clean with the same steps, and checks that
    // the clean touched exactly what the preview listed. Answers the files
    // the clean touched.
    std::set<fs::path> previewThenClean(const fs::path& prefix,
                                        const std::vector<std::string>& steps) {
        auto args = std::vector<std::string>{"clean", "--preview"};
        args.insert(args.end(), steps.begin(), steps.end());
        const auto shown = on(prefix, args);
        EXPECT_EQ(shown.exitCode, 0) << shown.err;
        auto preview = parsePreview(shown.out);
        EXPECT_TRUE(preview.total.find(" MB in ") != std::string::npos ||
                    preview.total.find(" kB in ") != std::string::npos)
            << shown.out;
        const auto before = filesOf(prefix);
        const auto settingsBefore = choices(prefix);
        EXPECT_EQ(filesOf(prefix), before) << "the preview changed the machine";

        args.erase(args.begin() + 1);
        const auto cleaned = on(prefix, args);
        EXPECT_EQ(cleaned.exitCode, 0) << cleaned.err;
        const auto after = filesOf(prefix);
        std::set<fs::path> touched;
        for (const auto& [file, content] : before) {
            const auto now = after.find(file);
            if (now == after.end() || now->second != content)
                touched.insert(file);
        }
        for (const auto& file : preview.files["löschen"])
            EXPECT_FALSE(after.contains(file)) << file << " was listed for deletion";
        for (const auto& file : touched) {
            const bool listed =
                preview.files.at("löschen").contains(file) ||
                (preview.files.contains("leeren") && preview.files.at("leeren").contains(file)) ||
                below(file, preview.stepPaths);
            EXPECT_TRUE(listed) << file << " was touched but not listed";
        }
        for (const auto& file : preview.files["bleibt"])
            EXPECT_FALSE(touched.contains(file)) << file << " was to be kept";
        // The choice held for this run only.
        EXPECT_EQ(choices(prefix), settingsBefore);
        return touched;
    }
};

bool isCookie(std::string file) {
    std::ranges::transform(file, file.begin(), [](unsigned char c) { return std::tolower(c); });
    return file.find("cookie") != std::string::npos;
}

TEST_F(CleanChoiceTest, TheCleanTouchesExactlyTheChosenStepsThePreviewListed) {
    const auto listed = kolvanex({"clean", "--list"});
    for (const char* shown : {"cookies", "ein ", "Options\\Cookies", "recycle-bin"})
        EXPECT_THAT(listed.out, HasSubstr(shown));
    const struct {
        std::vector<std::string> steps;
        std::size_t fewest;  // files touched
        std::function<bool(const std::string&)> mayTouch;
    } runs[] = {
        {{}, 41, [](const std::string&) { return true; }},
        {{"--only", "cookies"}, 1, isCookie},
        {{"--except", "cookies,recycle-bin"},
         21,
         [](const std::string& file) {
             return !isCookie(file) && file.find("RECYCLER") == std::string::npos;
         }},
    };
    for (const auto& r : runs) {
        SCOPED_TRACE(testing::PrintToString(r.steps));
        const auto touched =
            previewThenClean(plantedDemo("demo" + std::to_string(&r - runs)), r.steps);
        EXPECT_GE(touched.size(), r.fewest);
        for (const auto& file : touched) EXPECT_TRUE(r.mayTouch(file.string())) << file;
    }
}

// --quiet after the command's name: nothing but errors, and a run that went
// right has none.
TEST_F(CommandLineTest, LongRunsTakeQuietAfterTheirName) {
    const auto demo = plantedDemo("demo");
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--prefix", demo.string(), "clean", "--quiet"},
             {"--prefix", (machine.root() / "shown").string(), "demo", "--quiet"}}) {
        const auto run = bare(args);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.out, "") << testing::PrintToString(args);
    }
}

// Starts the host, interrupts it with Ctrl+C's signal once `ready` holds and
// answers its exit status, with what it said on standard error in `err`.
int interruptWhen(const std::vector<std::string>& args, const std::function<bool()>& ready,
                  const fs::path& errFile) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::dup2(err, 2);
        std::vector<char*> argv = {const_cast<char*>(KX_HOST_BINARY)};
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(KX_HOST_BINARY, argv.data());
        ::_exit(127);
    }
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!ready() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ::kill(pid, SIGINT);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(CommandLineTest, AStoppedFreeSpaceWipeLeavesNoFillerBehind) {
    const auto filler = machine.prefix() / "drive_c" / "TEMP.000";
    const auto errFile = machine.root() / "wipe-err.txt";
    const int status = interruptWhen(
        {"--prefix", machine.prefix().string(), "wipe-free-space", "C:", "--bytes", "200M"},
        [&] {
            std::error_code ec;
            return fs::file_size(filler, ec) > 1024 * 1024 && !ec;
        },
        errFile);
    EXPECT_EQ(status, 130) << kx::test::TempMachine::readHostFile(errFile);
    EXPECT_FALSE(fs::exists(filler));
    EXPECT_THAT(kx::test::TempMachine::readHostFile(errFile),
                HasSubstr("die Fülldatei wurde entfernt"));

    // Someone's own TEMP.000 is never overwritten; bad drives are bad input.
    machine.writeHostFile(filler, "meins");
    EXPECT_EQ(kolvanex({"wipe-free-space", "C"}).exitCode, 1);
    EXPECT_EQ(kx::test::TempMachine::readHostFile(filler), "meins");
    for (const auto& drive : {"Q:", "C:\\Daten", "12"})
        EXPECT_EQ(kolvanex({"wipe-free-space", drive}).exitCode, 2) << drive;
    EXPECT_EQ(kolvanex({"wipe-free-space", "C", "--bytes", "viel"}).exitCode, 2);
}

}  // namespace
