#include "platform/processes/process.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

#include "platform/processes/command_line.hpp"
#include "platform/processes/shell.hpp"
#include "platform/processes/system_programs.hpp"
#include "platform/registry/registry.hpp"
#include "platform/ui/dialogs.hpp"
#include "support/programs.hpp"
#include "support/registry_values.hpp"
#include "support/temp_machine.hpp"

namespace kx::platform {
namespace {

using test::exitCode;
using test::installProgram;
using test::waitUntil;
using Words = std::vector<std::string>;

// ---------------------------------------------------------------------------
// Command lines

TEST(CommandLineTest, SplitsByTheRuntimesRules) {
    EXPECT_EQ(splitCommandLine("prog a  b\tc"), (Words{"prog", "a", "b", "c"}));
    EXPECT_EQ(splitCommandLine(R"("C:\Program Files\x.exe" "a b" c)"),
              (Words{R"(C:\Program Files\x.exe)", "a b", "c"}));
    // Backslashes are literal unless they stand before a quote.
    EXPECT_EQ(splitCommandLine(R"(x a\\b C:\dir\)"), (Words{"x", R"(a\\b)", R"(C:\dir\)"}));
    EXPECT_EQ(splitCommandLine(R"(x "a\"b")"), (Words{"x", R"(a"b)"}));
    EXPECT_EQ(splitCommandLine(R"(x a\\\"b)"), (Words{"x", R"(a\"b)"}));
    EXPECT_EQ(splitCommandLine(R"(x a\\\\"b c")"), (Words{"x", R"(a\\b c)"}));
    // A doubled quote inside quotes is one literal quote, and the quoted part goes on.
    EXPECT_EQ(splitCommandLine(R"(x "ab""c d")"), (Words{"x", R"(ab"c d)"}));
    EXPECT_EQ(splitCommandLine(R"(x "" y)"), (Words{"x", "", "y"}));
    EXPECT_EQ(splitCommandLine(R"(x "open to the end)"), (Words{"x", "open to the end"}));
    EXPECT_EQ(splitCommandLine(R"(x a"b c"d)"), (Words{"x", "ab cd"}));
    // The program name has its own rule: quotes group, backslashes stay.
    EXPECT_EQ(splitCommandLine(R"(C:\a\"b c"\x.exe /s)"), (Words{R"(C:\a\b c\x.exe)", "/s"}));
    EXPECT_EQ(splitCommandLine(R"(  C:\dir\ x)"), (Words{R"(C:\dir\)", "x"}));
    EXPECT_TRUE(splitCommandLine("").empty());
    EXPECT_TRUE(splitCommandLine(" \t ").empty());
}

TEST(CommandLineTest, QuotedArgumentsComeBackUnchanged) {
    const Words tricky = {"plain",
                          "two words",
                          R"(quote"inside)",
                          R"(ends\)",
                          R"(ends\\)",
                          R"(\\server\share\)",
                          R"(a\"b)",
                          "",
                          "tab\there",
                          R"(")",
                          R"(C:\Programme\Kolvanex\)"};
    for (const auto& word : tricky)
        EXPECT_EQ(splitArguments(quoteArgument(word)), Words{word}) << word;
    Words line = {R"(C:\Programme\Mein Tool\x.exe)"};
    line.insert(line.end(), tricky.begin(), tricky.end());
    EXPECT_EQ(splitCommandLine(joinCommandLine(line)), line);

    // The program token keeps the rest of the line unsplit.
    const auto token = programToken(R"("C:\a b\x.exe"  /s "f g")");
    EXPECT_EQ(token.program, R"(C:\a b\x.exe)");
    EXPECT_TRUE(token.quoted);
    EXPECT_EQ(token.rest, R"(  /s "f g")");
}

// ---------------------------------------------------------------------------
// Processes

class ProcessTest : public ::testing::Test {
  protected:
    test::TempMachine machine;

    void SetUp() override {
        installProgram(machine, R"(C:\WINDOWS\system32\schlaefer.exe)", test::hostTool("sleep"));
        installProgram(machine, R"(C:\WINDOWS\sh.exe)", test::hostTool("sh"));
    }

    static ProcessStart command(std::string line) {
        ProcessStart start;
        start.commandLine = std::move(line);
        return start;
    }

    // Runs a command line to its end and answers its exit code.
    static std::optional<DWORD> run(const ProcessStart& start) {
        const auto info = CreateProcessA(start);
        if (!info)
            return std::nullopt;
        EXPECT_EQ(WaitForSingleObject(info->hProcess, 10000), WAIT_OBJECT_0);
        const DWORD code = exitCode(info->hProcess);
        EXPECT_TRUE(CloseHandle(info->hProcess));
        return code;
    }

    static bool listed(DWORD pid, std::string_view name) {
        const auto all = processSnapshot();
        return std::any_of(all.begin(), all.end(), [&](const ProcessEntry& e) {
            return e.processId == pid && e.exeFile == name;
        });
    }
};

TEST_F(ProcessTest, ProgramsAreFoundInThePrefixAndAmongTheBuiltIns) {
    auto found = findProgram("SCHLAEFER");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->windowsPath, R"(C:\WINDOWS\system32\schlaefer.exe)");
    EXPECT_EQ(found->hostPath, machine.host(R"(C:\WINDOWS\system32\schlaefer.exe)"));
    found = findProgram("sh.EXE");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->windowsPath, R"(C:\WINDOWS\sh.exe)");
    found = findProgram(R"(c:\windows\SYSTEM32\Schlaefer)");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->windowsPath, R"(C:\WINDOWS\system32\schlaefer.exe)");

    for (const auto* name : {"regedit.exe", "REGEDIT", R"(C:\WINDOWS\regedit.exe)",
                             R"(C:\Windows\System32\regedit.exe)"}) {
        found = findProgram(name);
        ASSERT_TRUE(found) << name;
        EXPECT_TRUE(found->builtin) << name;
    }
    // Someone else's regedit.exe elsewhere is a file like any other: absent here.
    EXPECT_EQ(findProgram(R"(C:\Programme\regedit.exe)").error(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(findProgram("nothing.exe").error(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(findProgram(R"(C:\Nirgends\x.exe)").error(), ERROR_PATH_NOT_FOUND);
    EXPECT_FALSE(findProgram(R"(system32\schlaefer.exe)"));  // relative: no current folder
    EXPECT_FALSE(findProgram("/bin/sh"));                    // host paths are not Windows paths
}

TEST_F(ProcessTest, RunningProcessIsWaitedForTerminatedAndListedByItsWindowsName) {
    auto start = command("schlaefer.exe 30");
    start.showWindow = SW_SHOWMINIMIZED;
    const auto info = CreateProcessA(start);
    ASSERT_TRUE(info);
    ASSERT_GT(info->dwProcessId, 0u);
    EXPECT_EQ(GetProcessId(info->hProcess), info->dwProcessId);
    EXPECT_EQ(processShowWindow(info->hProcess), SW_SHOWMINIMIZED);
    EXPECT_TRUE(listed(info->dwProcessId, "schlaefer.exe"));

    EXPECT_EQ(WaitForSingleObject(info->hProcess, 100), WAIT_TIMEOUT);
    EXPECT_EQ(exitCode(info->hProcess), STILL_ACTIVE);

    EXPECT_TRUE(TerminateProcess(info->hProcess, 7));
    EXPECT_EQ(WaitForSingleObject(info->hProcess, 0), WAIT_OBJECT_0);
    EXPECT_EQ(exitCode(info->hProcess), 7u);
    // Gone at once, not left as a zombie.
    EXPECT_FALSE(listed(info->dwProcessId, "schlaefer.exe"));
    EXPECT_FALSE(processStartTime(info->dwProcessId));
    EXPECT_FALSE(TerminateProcess(info->hProcess, 8));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

    EXPECT_TRUE(CloseHandle(info->hProcess));
    EXPECT_FALSE(CloseHandle(info->hProcess));
    EXPECT_EQ(WaitForSingleObject(info->hProcess, 0), WAIT_FAILED);
}

TEST_F(ProcessTest, ArgumentsEnvironmentAndExitStatusReachTheProgram) {
    // Quotes are taken apart by the Windows rules before the program sees them.
    EXPECT_EQ(run(command(R"(sh.exe -c "exit 3")")), 3u);
    EXPECT_EQ(run(command(R"(sh.exe -c "test \"$1\" = 'a b\"c'" sh "a b\"c")")), 0u);
    // A child opens the same machine and knows how it was to be shown.
    auto start = command(
        R"(sh.exe -c "test \"$KOLVANEX_PREFIX\" = \"$0\" && test $KOLVANEX_SHOW_WINDOW = 2" )" +
        quoteArgument(machine.prefix().string()));
    start.showWindow = SW_SHOWMINIMIZED;
    EXPECT_EQ(run(start), 0u);
    {
        ChildEnvironmentScope scope("KX_TEST_VALUE", "Grüße");
        EXPECT_EQ(run(command(R"(sh.exe -c "test \"$KX_TEST_VALUE\" = Grüße")")), 0u);
    }
    EXPECT_EQ(run(command(R"(sh.exe -c "test -z \"$KX_TEST_VALUE\"")")), 0u);
    // argv[0] is the program's Windows path (with -c and no more words, $0 is argv[0]).
    EXPECT_EQ(run(command(R"(sh.exe -c "test \"$0\" = 'C:\WINDOWS\sh.exe'")")), 0u);
}

TEST_F(ProcessTest, UnquotedProgramPathsWithBlanksAreTriedWordByWord) {
    installProgram(machine, R"(C:\Programme\Mein Tool\helper.exe)", test::hostTool("sh"));
    EXPECT_EQ(run(command(R"(C:\Programme\Mein Tool\helper.exe -c "exit 4")")), 4u);
    EXPECT_EQ(run(command(R"("C:\Programme\Mein Tool\helper" -c "exit 5")")), 5u);
    // "C:\Programme\Mein" is a folder of another name, not the program.
    installProgram(machine, R"(C:\Programme\Mein.exe)", test::hostTool("sh"));
    EXPECT_NE(run(command(R"(C:\Programme\Mein Tool\helper.exe -c "exit 4")")), 4u)
        << "Windows takes C:\\Programme\\Mein.exe first, and so do we";
}

TEST_F(ProcessTest, WhatCannotStartFailsTheStart) {
    auto failed = CreateProcessA(command("nothing.exe /x"));
    ASSERT_FALSE(failed);
    EXPECT_EQ(failed.error(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(CreateProcessA(command("   ")).error(), ERROR_INVALID_PARAMETER);

    machine.writeHostFile(machine.host(R"(C:\WINDOWS\daten.exe)"), "just text\n");
    EXPECT_EQ(CreateProcessA(command("daten.exe")).error(), ERROR_ACCESS_DENIED);
    std::filesystem::permissions(machine.host(R"(C:\WINDOWS\daten.exe)"),
                                 std::filesystem::perms::owner_exec,
                                 std::filesystem::perm_options::add);
    EXPECT_EQ(CreateProcessA(command("daten.exe")).error(), ERROR_BAD_EXE_FORMAT);

    auto start = command("schlaefer.exe 1");
    start.currentDirectory = R"(C:\Nirgends)";
    EXPECT_EQ(CreateProcessA(start).error(), ERROR_PATH_NOT_FOUND);
}

TEST_F(ProcessTest, ProcessesOpenedByIdCanBeEndedAlsoWhenNotOurChildren) {
    // The shell starts a sleeper in the background and ends: the sleeper is
    // then nobody's child of ours.
    const auto pidFile = machine.host(R"(C:\WINDOWS\Temp\pid.txt)");
    ASSERT_EQ(run(command(R"(sh.exe -c "sleep 30 >/dev/null 2>&1 & echo $! > \"$0\"" )" +
                          quoteArgument(pidFile.string()))),
              0u);
    std::ifstream in(pidFile);
    DWORD pid = 0;
    in >> pid;
    ASSERT_GT(pid, 0u);
    ASSERT_TRUE(processStartTime(pid));

    const auto handle = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, false, pid);
    ASSERT_NE(handle, 0);
    EXPECT_EQ(WaitForSingleObject(handle, 0), WAIT_TIMEOUT);
    EXPECT_TRUE(TerminateProcess(handle, 5));
    EXPECT_EQ(WaitForSingleObject(handle, 2000), WAIT_OBJECT_0);
    EXPECT_EQ(exitCode(handle), 5u);
    EXPECT_TRUE(CloseHandle(handle));
    EXPECT_TRUE(waitUntil([&] { return !processStartTime(pid); }));
    EXPECT_EQ(OpenProcess(PROCESS_TERMINATE, false, pid), 0);
    EXPECT_EQ(OpenProcess(PROCESS_TERMINATE, false, 0), 0);

    // Opened by id, a child of ours shares its end with the handle it was started with.
    const auto info = CreateProcessA(command("schlaefer.exe 30"));
    ASSERT_TRUE(info);
    const auto second = OpenProcess(PROCESS_TERMINATE, false, info->dwProcessId);
    ASSERT_NE(second, 0);
    EXPECT_TRUE(TerminateProcess(second, 1));
    EXPECT_TRUE(CloseHandle(second));
    EXPECT_EQ(WaitForSingleObject(info->hProcess, 0), WAIT_OBJECT_0);
    EXPECT_EQ(exitCode(info->hProcess), 1u);
    CloseHandle(info->hProcess);
}

TEST_F(ProcessTest, SnapshotWalksProcessesOfTheUser) {
    const auto snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    ASSERT_NE(snapshot, 0);
    PROCESSENTRY32 entry;
    std::vector<std::pair<DWORD, std::string>> seen;
    for (bool more = Process32First(snapshot, &entry); more;
         more = Process32Next(snapshot, &entry)) {
        seen.emplace_back(entry.th32ProcessID, std::string(entry.szExeFile.data()));
    }
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    EXPECT_TRUE(CloseHandle(snapshot));
    const auto me = std::find_if(seen.begin(), seen.end(),
                                 [](const auto& p) { return p.first == DWORD(::getpid()); });
    ASSERT_NE(me, seen.end());
    EXPECT_EQ(me->second, "test_platform");
    EXPECT_EQ(CreateToolhelp32Snapshot(0x8 /* modules */, 0), 0);
    EXPECT_FALSE(Process32First(snapshot, &entry));  // closed
}

TEST_F(ProcessTest, RegeditImportsSilentlyAsABuiltInProgram) {
    const std::string reg = R"(C:\WINDOWS\Temp\einstellungen.reg)";
    machine.writeHostFile(machine.host(reg),
                          "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\KxTest]\r\n"
                          "\"Name\"=\"Wert\"\r\n");
    ui::ScriptedDialogs dialogs;
    ui::DialogsScope dialogScope(dialogs);
    const auto info = CreateProcessA(command("regedit.exe /s \"" + reg + "\""));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->dwProcessId, 0u);
    EXPECT_EQ(WaitForSingleObject(info->hProcess, 0), WAIT_OBJECT_0);
    EXPECT_EQ(exitCode(info->hProcess), 0u);
    CloseHandle(info->hProcess);
    EXPECT_TRUE(dialogs.shown.empty());

    auto& registry = machine->registry();
    EXPECT_EQ(test::valueBytes(registry, HKEY_CURRENT_USER, "Software\\KxTest", "Name"),
              std::string("Wert\0", 5));

    // A file that is not there is a failing run, not a failed start.
    EXPECT_EQ(run(command(R"(REGEDIT /s C:\WINDOWS\Temp\fehlt.reg)")), 1u);
    // Without /s the user is asked; saying no imports nothing.
    dialogs.messageAnswers.push_back(ui::IDNO);
    machine.writeHostFile(machine.host(reg),
                          "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\KxNein]\r\n");
    EXPECT_EQ(run(command("regedit.exe \"" + reg + "\"")), 1u);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_NE(dialogs.shown[0].text.find(reg), std::string::npos);
    EXPECT_FALSE(test::keyExists(registry, HKEY_CURRENT_USER, "Software\\KxNein"));
}

TEST_F(ProcessTest, BuiltInProgramsCanBeAddedAndReceiveTheirArguments) {
    std::vector<std::string> arguments;
    registerSystemProgram("KxTestTool.exe", [&](const SystemProgramCall& call) {
        arguments = call.arguments;
        return DWORD{3};
    });
    EXPECT_EQ(run(command(R"(kxtesttool /x "a b" c\\)")), 3u);
    EXPECT_EQ(arguments, (Words{"/x", "a b", R"(c\\)"}));
    registerSystemProgram("kxtesttool", [](const SystemProgramCall&) -> DWORD {
        throw std::runtime_error("broken handler");
    });
    EXPECT_EQ(run(command("kxtesttool")), 1u);
}

TEST_F(ProcessTest, ShellExecuteStartsProgramsAndReportsWhatItCannotOpen) {
    const auto marker = machine.host(R"(C:\WINDOWS\Temp\marker.txt)");
    ASSERT_GT(ShellExecuteA(0, "open", R"(C:\WINDOWS\sh.exe)",
                            R"(-c "pwd -P > \"$0\"" )" + quoteArgument(marker.string()),
                            R"(C:\WINDOWS\Temp)", SW_SHOWNORMAL),
              32);
    ASSERT_TRUE(waitUntil([&] { return !test::TempMachine::readHostFile(marker).empty(); }));
    EXPECT_EQ(test::TempMachine::readHostFile(marker),
              std::filesystem::canonical(machine.host(R"(C:\WINDOWS\Temp)")).string() + "\n");

    const std::string reg = R"(C:\WINDOWS\Temp\shell.reg)";
    machine.writeHostFile(machine.host(reg),
                          "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\KxShell]\r\n");
    EXPECT_GT(ShellExecuteA(0, "", "regedit.exe", "/s \"" + reg + "\"", "", SW_SHOWNORMAL), 32);
    EXPECT_TRUE(test::keyExists(machine->registry(), HKEY_CURRENT_USER, "Software\\KxShell"));

    EXPECT_EQ(ShellExecuteA(0, "open", R"(C:\WINDOWS\fehlt.exe)", "", "", 1), SE_ERR_FNF);
    EXPECT_EQ(ShellExecuteA(0, "open", R"(C:\Nirgends\fehlt.exe)", "", "", 1), SE_ERR_PNF);
    machine.writeHostFile(machine.host(R"(C:\WINDOWS\Temp\brief.txt)"), "Hallo");
    EXPECT_EQ(ShellExecuteA(0, "open", R"(C:\WINDOWS\Temp\brief.txt)", "", "", 1), SE_ERR_NOASSOC);
    EXPECT_EQ(ShellExecuteA(0, "print", R"(C:\WINDOWS\sh.exe)", "", "", 1), SE_ERR_NOASSOC);
}

TEST(ProcessWithoutMachineTest, OnlyBuiltInsAreFound) {
    ASSERT_FALSE(hasCurrentMachine());
    ProcessStart start;
    start.commandLine = "schlaefer.exe";
    EXPECT_EQ(CreateProcessA(start).error(), ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(findProgram("regedit.exe"));
    EXPECT_EQ(ShellExecuteA(0, "open", R"(C:\WINDOWS\sh.exe)", "", "", 1), SE_ERR_FNF);
    // regedit needs a machine to import into.
    start.commandLine = R"(regedit /s C:\x.reg)";
    const auto info = CreateProcessA(start);
    ASSERT_TRUE(info);
    EXPECT_EQ(exitCode(info->hProcess), 1u);
    CloseHandle(info->hProcess);
}

}  // namespace
}  // namespace kx::platform
