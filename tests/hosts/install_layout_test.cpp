// `machine init` of an installed suite: the companions come from
// libexec/kolvanex and the data files from share/kolvanex beside the bin/
// folder holding the program.
#include <gtest/gtest.h>

#include <filesystem>

#include "anonymity/shipped_files.hpp"
#include "support/host_run.hpp"
#include "support/temp_machine.hpp"

namespace {

namespace fs = std::filesystem;
using kx::test::TempMachine;

TEST(InstallLayout, MachineInitTakesCompanionsAndDataFilesFromTheInstalledFolders) {
    TempMachine scratch;
    const fs::path usr = scratch.root() / "usr";
    fs::create_directories(usr / "bin");
    std::error_code ec;
    fs::create_hard_link(KX_HOST_BINARY, usr / "bin" / "kolvanex", ec);
    if (ec)
        fs::copy_file(KX_HOST_BINARY, usr / "bin" / "kolvanex");
    const std::string popup = "#!/bin/sh\n# the installed popup\n";
    const std::string flashOff = "REGEDIT4\r\n; the installed switch\r\n";
    scratch.writeHostFile(usr / "libexec" / "kolvanex" / "KXPopup.Exe", popup);
    scratch.writeHostFile(usr / "share" / "kolvanex" / "FlashOff.reg", flashOff);

    const fs::path prefix = scratch.root() / "installed-machine";
    const auto command = kx::test::shellQuote((usr / "bin" / "kolvanex").string()) + " --prefix " +
                         kx::test::shellQuote(prefix.string()) + " machine init >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);

    const fs::path programs = prefix / "drive_c" / "Programme" / "Kolvanex";
    EXPECT_EQ(TempMachine::readHostFile(programs / "KXPopup.Exe"), popup);
    EXPECT_EQ(TempMachine::readHostFile(programs / "FlashOff.reg"), flashOff);
    // Companions the installation lacks are not taken from anywhere else.
    EXPECT_FALSE(fs::exists(programs / "KXMonitor.exe"));
    // A data file the installation lacks comes from the program's own copy.
    for (const auto& file : kx::anonymity::shippedFiles()) {
        if (file.name == kx::anonymity::kFlashOff)
            continue;
        EXPECT_EQ(TempMachine::readHostFile(programs / std::string(file.name)), file.text)
            << file.name;
    }
}

}  // namespace
