// `kolvanex clean` and its preview, run as a script would run them, and a
// clean that Ctrl+C cancels.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <array>
#include <atomic>
#include <filesystem>

#include "cleaning/destroy_phase.hpp"
#include "platform/runtime/text.hpp"
#include "steps_fixture.hpp"
#include "support/host_run.hpp"
#include "support/web_server.hpp"

extern char** environ;

namespace kx::test {
namespace {

TEST_F(CleaningRunTest, CleanCommandPreviewsExactlyWhatItThenDeletes) {
    set(settings::keys::TempFiles, "1");
    set(settings::keys::History, "1");
    exceptions("*.log\n");
    const auto a = put(tempDir(), "a.tmp", "12345");
    const auto b = put(tempDir(), "Sub\\B.dat", "123");
    const auto log = put(tempDir(), "keep.log");
    const auto opera = put(settings::GetOperaDirectory(), "opera.dir");
    set(settings::keys::Recent, "1");

    auto run = runKolvanex(tm.prefix(), {"clean", "--preview"}, tm.root());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    // Each file with its size and its place on this computer, the kept one
    // marked; the registry step said plainly; the total.
    const std::string operaEntry = AddBackslash(settings::GetOperaDirectory()) + "opera.dir";
    for (const auto& [word, shown, path] :
         std::vector<std::array<std::string, 3>>{{"löschen", "3 B  " + platform::vbLCase(b), b},
                                                 {"löschen", "5 B  " + platform::vbLCase(a), a},
                                                 {"löschen", "5 B  " + operaEntry, opera},
                                                 {"bleibt", "5 B  " + log, log}}) {
        const auto host = std::filesystem::weakly_canonical(tm.host(path)).string();
        const auto at = run.out.find(shown + "  ->  " + host + "\n");
        ASSERT_NE(at, std::string::npos) << shown << "\n" << run.out;
        EXPECT_EQ(run.out.substr(run.out.rfind('\n', at) + 1, word.size()), word) << shown;
    }
    for (const auto& line :
         {"danach  Listen der Registry geleert: zuletzt geöffnete Dateien, eingegebene Adressen, "
          "Such- und Ausführen-Verläufe",
          "würde 13 B in 3 Dateien freigeben"})
        EXPECT_NE(run.out.find(std::string(line) + "\n"), std::string::npos) << line;
    for (const auto& stays : {a, b, log, opera}) EXPECT_TRUE(there(stays)) << stays;
    EXPECT_EQ(attributes(log), 0u);
    EXPECT_EQ(settings::read(settings::keys::StatFiles, std::string_view("none")), "none");

    run = runKolvanex(tm.prefix(), {"clean"}, tm.root());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_FALSE(there(a) || there(b) || there(opera));
    EXPECT_TRUE(there(log));
    EXPECT_EQ(attributes(log), 0u);
    // The History step took its marker off the list when it ran; the count
    // is the summary's either way.
    EXPECT_TRUE(run.out.starts_with("Es wurden ")) << run.out;
    EXPECT_NE(run.out.find("0,0000 MB"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("Lösche temporäre Dateien"), std::string::npos) << run.err;
    // The summary is the log's last line and the output's: each stream has
    // it once, and a terminal showing both shows it once.
    const auto summary = run.out.substr(0, run.out.find('\n') + 1);
    EXPECT_TRUE(run.err.ends_with(summary)) << run.err;
    const auto shown = onTerminal(tm.prefix(), {"clean"}).shown;
    const auto first = shown.find("Es wurden ");
    ASSERT_NE(first, std::string::npos) << shown;
    EXPECT_EQ(shown.find("Es wurden ", first + 1), std::string::npos) << shown;
}

// `kolvanex --prefix PREFIX ARGS...` as a child whose id is known, its
// output kept in files below `scratch`.
pid_t spawnKolvanex(const std::filesystem::path& prefix, const std::vector<std::string>& args,
                    const std::filesystem::path& scratch) {
    std::vector<std::string> words = {KX_HOST_BINARY, "--prefix", prefix.string()};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, (scratch / "out.txt").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, (scratch / "err.txt").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = -1;
    if (posix_spawn(&pid, KX_HOST_BINARY, &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// `kolvanex clean` with the daily virus scan on, sent `signal` while it
// waits for the maker's answer about the scanner's version: after discovery,
// before any file is destroyed.
class ScanSignalTest : public StepsTest {
  protected:
    /// Answers the wait status of the run and what it wrote to standard output.
    std::pair<int, std::string> cleanSignalledAtTheScan(int signal) {
        set(settings::keys::AntiVirus, "1");
        const auto scanner = tm.host("C:\\Programme\\Kolvanex\\stinger.exe");
        tm.writeHostFile(scanner, "#!/bin/sh\nexit 0\n");
        std::filesystem::permissions(scanner, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add);
        WebServer web;
        std::atomic<pid_t> child{0};
        const auto size = std::to_string(std::filesystem::file_size(scanner));
        web.serve("/stinger.ver", WebServer::Resource{.handler = [&](const RecordedRequest&) {
                      while (child.load() == 0) ::usleep(1000);
                      if (const pid_t pid = child.load(); pid > 0)
                          ::kill(pid, signal);
                      return size;
                  }});
        setMachineIni("endpoints", "maker", web.url(""));
        child = spawnKolvanex(tm.prefix(), {"clean"}, tm.root());
        int status = 0;
        if (child.load() <= 0 || ::waitpid(child.load(), &status, 0) != child.load())
            ADD_FAILURE() << "kolvanex clean did not run";
        return {status, TempMachine::readHostFile(tm.root() / "out.txt")};
    }
};

TEST_F(ScanSignalTest, CleanCancelledByCtrlCSaysSoCountsNothingItLeftAndExits130) {
    set(settings::keys::TempFiles, "1");
    const std::vector<std::string> files = {put(tempDir(), "a.tmp", "12345"),
                                            put(tempDir(), "b.tmp", "123")};
    const auto [status, out] = cleanSignalledAtTheScan(SIGINT);
    ASSERT_TRUE(WIFEXITED(status)) << out;
    EXPECT_EQ(WEXITSTATUS(status), 130) << out;
    EXPECT_EQ(out,
              std::string(cleaning::kCancelledLine) + "\n" + cleaning::summaryLine(0, 0) + "\n");
    for (const auto& file : files) EXPECT_TRUE(there(file)) << file;
    EXPECT_EQ(settings::read(settings::keys::StatFiles), "0");
}

TEST_F(ScanSignalTest, FilesAKilledRunHidGetTheirAttributesBackAtTheNextStart) {
    set(settings::keys::TempFiles, "1");
    exceptions("*.log\n");
    const auto kept = put(tempDir(), "behalten.log", "kept");
    const auto readOnly = put(tempDir(), "alt.log", "kept too");
    ASSERT_TRUE(platform::files::setAttributes(readOnly, platform::fileattr::ReadOnly));
    ASSERT_TRUE(WIFSIGNALED(cleanSignalledAtTheScan(SIGKILL).first));
    const auto hidden =
        platform::fileattr::ReadOnly | platform::fileattr::Hidden | platform::fileattr::System;
    EXPECT_EQ(attributes(kept), hidden);
    EXPECT_EQ(attributes(readOnly), hidden);

    // Any start of the engine gives them back, as they were before.
    const auto next = runKolvanex(tm.prefix(), {"info"}, tm.root());
    EXPECT_EQ(attributes(kept), 0u) << next.err;
    EXPECT_EQ(attributes(readOnly), platform::fileattr::ReadOnly);
}

}  // namespace
}  // namespace kx::test
