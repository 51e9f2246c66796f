// Links out of every place a cleaning run walks or writes: symbolic links to
// a file, to a folder, dangling and looping, hard links to a read-only and
// to a writable file outside the machine, and cleaned folders that are
// links themselves, with plain, safety and Gutmann deletion. Nothing outside
// may change (bytes, mode, attributes, names), during the run or after it,
// and the summary frees no byte of it and counts nothing behind a link.
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "cleaning/destroy_phase.hpp"
#include "steps_fixture.hpp"
#include "support/outside_files.hpp"

namespace kx::test {
namespace {

namespace fs = std::filesystem;
namespace keys = settings::keys;

using Names = std::vector<std::pair<std::string, Plant>>;

struct Row {
    std::string place;
    std::vector<const settings::SettingKey*> switches;
    std::string (*folder)();
    Names names;  // none: the folder itself is a link out
    std::string mode = "";
};

void PrintTo(const Row& row, std::ostream* out) {
    *out << row.place << ", mode " << row.mode;
}

constexpr std::string_view kProfile = "\\Mozilla\\Profiles\\default\\x1y2.slt";
constexpr std::string_view kActiveX = "C:\\WINDOWS\\Downloaded Program Files";

std::vector<Row> rows() {
    using enum Plant;
    const Names every = {{"sym_datei.tmp", FileLink}, {"sym_ordner", FolderLink},
                         {"sym_leer.tmp", Dangling},  {"schleife.tmp", SelfLoop},
                         {"kreis", FolderLoop},       {"hart_ro.tmp", HardRO},
                         {"hart_rw.tmp", HardRW},     {"behalten_ro.tmp", HardRO}};
    const Names opera = {{"cookies4.dat", HardRO},   {"opera.dir", FileLink},
                         {"global.dat", HardRW},     {"vlink4.dat", Dangling},
                         {"download.dat", SelfLoop}, {"autopera.win", HardRO}};
    const Names profile = {{"cookies.txt", HardRW},      {"cookperm.txt", HardRO},
                           {"localstore.rdf", FileLink}, {"formhistory.dat", HardRO},
                           {"history.dat", Dangling},    {"downloads.rdf", HardRW},
                           {"cache", FolderLink}};
    auto temp = [] { return settings::GetTempDir(false); };
    auto cache = [] { return settings::GetSpecialfolder(32); };
    auto history = [] { return settings::GetSpecialfolder(34); };
    auto bin = [] { return std::string("C:\\RECYCLER"); };
    auto cookies = [] { return settings::GetSpecialfolder(33); };
    auto recent = [] { return settings::GetSpecialfolder(8); };
    auto junk = [] { return std::string("C:\\Daten"); };
    auto profileFolder = [] {
        return settings::GetSpecialfolder(settings::kCsidlAppData) + std::string(kProfile);
    };
    auto activeX = [] { return std::string(kActiveX); };
    const std::vector<Row> table = {
        {"temporary folder", {&keys::TempFiles}, temp, every},
        {"Internet cache", {&keys::INetTempFiles}, cache, every},
        {"cookies", {&keys::Cookies}, cookies, every},
        {"Recent", {&keys::Recent}, recent, every},
        {"history", {&keys::Recent}, history, every},
        {"recycle bin",
         {&keys::Trashcan},
         [] { return std::string("C:\\RECYCLER\\S-1-5-21-1"); },
         every},
        {"junk search", {&keys::Junk}, junk, every},
        {"dialer remnants",
         {&keys::DialerCheckTime},
         [] { return settings::GetWinDir() + "\\dialer"; },
         every},
        {"Opera", {&keys::Cookies, &keys::Recent}, settings::GetOperaDirectory, opera},
        {"downloaded program files",
         {&keys::History, &keys::DownloadedProgramFiles},
         activeX,
         every},
        {"profile",
         {&keys::Cookies, &keys::Recent, &keys::AutoFillOff, &keys::INetTempFiles},
         profileFolder,
         profile},
        {"linked temporary folder", {&keys::TempFiles}, temp, {}},
        {"linked cache", {&keys::INetTempFiles}, cache, {}},
        {"linked history", {&keys::Recent}, history, {}},
        {"linked recycle bin", {&keys::Trashcan}, bin, {}},
        {"linked cookies", {&keys::Cookies}, cookies, {}},
        {"linked Recent", {&keys::Recent}, recent, {}},
        {"linked junk folder", {&keys::Junk}, junk, {}},
        {"linked profile", {&keys::Cookies, &keys::Recent, &keys::AutoFillOff}, profileFolder, {}},
        {"linked Opera", {&keys::Cookies, &keys::Recent}, settings::GetOperaDirectory, {}},
        {"linked downloaded program files", {&keys::DownloadedProgramFiles}, activeX, {}},
    };
    std::vector<Row> all;
    for (const auto& row : table) {
        for (const char* mode : {"plain", "safety", "Gutmann"}) {
            all.push_back(row);
            all.back().mode = mode;
        }
    }
    return all;
}

class LinkMatrixTest : public StepsTest, public ::testing::WithParamInterface<Row> {
  protected:
    OutsideFiles outside{tm};
};

TEST_P(LinkMatrixTest, NothingOutsideChangesAndNothingOfItCounts) {
    const Row& row = GetParam();
    set(keys::Security, row.mode == "safety" ? "1" : "0");
    set(keys::Gutmann, row.mode == "Gutmann" ? "1" : "0");
    for (const auto* key : row.switches) set(*key, "1");
    put(settings::GetSpecialfolder(settings::kCsidlAppData) + std::string(kProfile), "prefs.js",
        "user_pref(\"a\", 1);\n");
    setString(platform::HKEY_LOCAL_MACHINE,
              "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\ActiveX Cache", "0",
              std::string(kActiveX));
    // Patterns exist (so the kept check runs on every file) and one keeps a
    // hard-linked file, which must not be hidden through its shared mode.
    exceptions("*behalten*\n*cookperm*\n");

    const fs::path folder = tm.host(row.folder());
    if (row.names.empty())
        outside.linkFolder(folder);
    for (const auto& [name, kind] : row.names) outside.plant(folder / name, kind);
    const auto before = outside.look();

    start();
    EXPECT_EQ(outside.look(), before);
    const auto summary = cleaning::runDestroyPhase(context());
    ASSERT_TRUE(summary);
    EXPECT_EQ(outside.look(), before);
    EXPECT_EQ(summary->bytes, 0.0);
    EXPECT_LE(summary->count, row.names.size());  // nothing behind a link
    // The run's own name of a read-only file outside is gone all the same
    // (but for a control that could not be unregistered, which stays).
    const auto own = std::ranges::find(row.names, std::string("hart_ro.tmp"),
                                       &std::pair<std::string, Plant>::first);
    if (own != row.names.end() && row.place != "downloaded program files") {
        EXPECT_FALSE(fs::exists(fs::symlink_status(folder / "hart_ro.tmp")));
    }
}

INSTANTIATE_TEST_SUITE_P(EveryPlace, LinkMatrixTest, ::testing::ValuesIn(rows()),
                         [](const ::testing::TestParamInfo<Row>& row) {
                             std::string name = row.param.place + "_" + row.param.mode;
                             std::ranges::replace(name, ' ', '_');
                             return name;
                         });

}  // namespace
}  // namespace kx::test
