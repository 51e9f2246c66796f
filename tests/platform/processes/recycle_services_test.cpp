// The built-in system programs the cleaning steps start (regsvr32, net) and
// the recycle bin of every drive.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "platform/files/files.hpp"
#include "platform/files/ini.hpp"
#include "platform/processes/shell.hpp"
#include "platform/processes/system_programs.hpp"
#include "platform/ui/dialogs.hpp"
#include "support/registry_values.hpp"
#include "support/temp_machine.hpp"

namespace kx::platform {
namespace {

namespace fs = std::filesystem;

SystemProgramCall call(std::vector<std::string> arguments) {
    return SystemProgramCall{std::move(arguments), "", 0};
}

DWORD serviceState(Machine& machine) {
    const auto bytes =
        test::valueBytes(machine.registry(), HKEY_LOCAL_MACHINE,
                         "SYSTEM\\CurrentControlSet\\Services\\Messenger", "CurrentState");
    DWORD state = 0;
    if (bytes && bytes->size() == sizeof state)
        std::memcpy(&state, bytes->data(), sizeof state);
    return state;
}

TEST(SystemPrograms, Regsvr32LoadsOnlyLibrariesItReachesAndNetOnlyKnownServices) {
    test::TempMachine tm;
    tm.writeHostFile(tm.host("C:\\x\\good.ocx"), "MZ\x90");
    tm.writeHostFile(tm.host("C:\\x\\text.ocx"), "plain");
    fs::create_symlink(tm.host("C:\\x\\good.ocx"), tm.host("C:\\x") / "link.ocx");
    ui::ScriptedDialogs dialogs;
    ui::DialogsScope scope{dialogs};

    const auto regsvr32 = findSystemProgram("REGSVR32.EXE");
    ASSERT_TRUE(regsvr32);
    EXPECT_EQ(regsvr32(call({"/u", "/s", "C:\\x\\good.ocx"})), 0u);
    EXPECT_EQ(regsvr32(call({"-s", "-u", "C:\\x\\text.ocx"})), 3u);
    EXPECT_EQ(regsvr32(call({"/s", "C:\\x\\link.ocx"})), 3u);
    EXPECT_EQ(regsvr32(call({"/s"})), 1u);
    EXPECT_TRUE(dialogs.shown.empty());

    // net stops and starts known services only.
    const auto net = findSystemProgram("net");
    ASSERT_TRUE(net);
    EXPECT_EQ(net(call({"stop", "messenger"})), 2u);  // no such service yet
    ASSERT_EQ(test::createKey(tm->registry(), HKEY_LOCAL_MACHINE,
                              "SYSTEM\\CurrentControlSet\\Services\\Messenger"),
              ERROR_SUCCESS);

    EXPECT_EQ(net(call({"start", "messenger"})), 2u);  // runs already
    EXPECT_EQ(net(call({"STOP", "Messenger"})), 0u);
    EXPECT_EQ(serviceState(tm.machine()), SERVICE_STOPPED);
    EXPECT_EQ(net(call({"stop", "messenger"})), 2u);
    EXPECT_EQ(net(call({"start", "messenger"})), 0u);
    EXPECT_EQ(serviceState(tm.machine()), SERVICE_RUNNING);
    EXPECT_EQ(net(call({"use", "x:"})), 1u);

    // Someone who is not an administrator cannot stop it.
    const auto file = tm.prefix() / "machine.ini";
    auto ini = IniFile::load(file);
    ASSERT_TRUE(ini.has_value());
    ini->set("user", "administrator", "0");
    ASSERT_TRUE(ini->save(file).has_value());
    tm.reopen();
    EXPECT_EQ(net(call({"stop", "messenger"})), 2u);
    EXPECT_EQ(serviceState(tm.machine()), SERVICE_RUNNING);
}

TEST(RecycleBin, EveryDrivesBinIsEmptiedWithoutFollowingLinks) {
    auto config = MachineConfig::defaults();
    config.drives.push_back(Drive{'E', DriveType::Fixed, "Lokaler Datenträger"});
    test::TempMachine tm(config);
    tm.writeHostFile(tm.host("C:\\RECYCLER\\S-1-5-21\\Dc1.txt"), "old");
    tm.writeHostFile(tm.host("E:\\RECYCLED\\De2.doc"), "older");
    const fs::path outside = tm.root() / "precious.txt";
    tm.writeHostFile(outside, "keep");
    fs::create_symlink(outside, tm.host("C:\\RECYCLER") / "Dc3.txt");
    fs::create_symlink(tm.root(), tm.host("E:\\RECYCLED") / "Dc4");
    ui::ScriptedDialogs dialogs;
    ui::DialogsScope scope{dialogs};

    EXPECT_EQ(SHEmptyRecycleBinA(0, "", SHERB_NOCONFIRMATION | SHERB_NOPROGRESSUI), 0);

    for (const char* bin : {"C:\\RECYCLER", "E:\\RECYCLED"}) {
        const auto left = files::list(tm.machine(), bin);
        ASSERT_TRUE(left.has_value()) << bin;
        EXPECT_TRUE(left->empty()) << bin;
    }
    EXPECT_EQ(test::TempMachine::readHostFile(outside), "keep");
    EXPECT_TRUE(dialogs.shown.empty());

    EXPECT_EQ(SHEmptyRecycleBinA(0, "Q:\\", SHERB_NOCONFIRMATION), E_INVALIDARG);
}

}  // namespace
}  // namespace kx::platform
