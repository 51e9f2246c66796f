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

namespace kx::test {
namespace {

namespace fs = std::filesystem;
namespace keys = settings::keys;

enum class Plant { FileLink, FolderLink, Dangling, SelfLoop, FolderLoop, HardRO, HardRW };
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
    const std::vector<Row> table = {
        {"temporary folder", {&keys::TempFiles}, temp, every},
        {"Internet cache", {&keys::INetTempFiles}, cache, every},
        {"cookies", {&keys::Cookies}, [] { return settings::GetSpecialfolder(33); }, every},
        {"Recent", {&keys::Recent}, [] { return settings::GetSpecialfolder(8); }, every},
        {"history", {&keys::Recent}, history, every},
        {"recycle bin",
         {&keys::Trashcan},
         [] { return std::string("C:\\RECYCLER\\S-1-5-21-1"); },
         every},
        {"junk search", {&keys::Junk}, [] { return std::string("C:\\Daten"); }, every},
        {"dialer remnants",
         {&keys::DialerCheckTime},
         [] { return settings::GetWinDir() + "\\dialer"; },
         every},
        {"Opera", {&keys::Cookies, &keys::Recent}, settings::GetOperaDirectory, opera},
        {"downloaded program files",
         {&keys::History, &keys::DownloadedProgramFiles},
         [] { return std::string(kActiveX); },
         every},
        {"profile",
         {&keys::Cookies, &keys::Recent, &keys::AutoFillOff, &keys::INetTempFiles},
         [] { return settings::GetSpecialfolder(settings::kCsidlAppData) + std::string(kProfile); },
         profile},
        {"linked temporary folder", {&keys::TempFiles}, temp, {}},
        {"linked cache", {&keys::INetTempFiles}, cache, {}},
        {"linked history", {&keys::Recent}, history, {}},
        {"linked recycle bin", {&keys::Trashcan}, bin, {}},
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
    void SetUp() override {
        StepsTest::SetUp();
        tm.writeHostFile(outside / "rw.txt", "draussen, beschreibbar");
        tm.writeHostFile(outside / "ro.txt", "draussen, nur lesbar");
        tm.writeHostFile(outside / "ordner" / "drin.txt", "draussen im Ordner");
        // Each file outside also has a name in a folder no run touches,
        // through which its attribute record is set and read.
        fs::create_directories(tm.host("C:\\Zeugen"));
        for (const auto* name : {"rw.txt", "ro.txt"})
            fs::create_hard_link(outside / name, tm.host("C:\\Zeugen") / name);
        namespace attr = platform::fileattr;
        ASSERT_TRUE(platform::files::setAttributes("C:\\Zeugen\\rw.txt", attr::Hidden));
        ASSERT_TRUE(
            platform::files::setAttributes("C:\\Zeugen\\ro.txt", attr::ReadOnly | attr::System));
    }

    // Every name outside with its content, mode and attributes.
    std::map<std::string, std::string> look() {
        std::map<std::string, std::string> now;
        for (const auto& entry : fs::recursive_directory_iterator(outside)) {
            auto& seen = now[fs::relative(entry.path(), outside).string()];
            if (entry.is_regular_file())
                seen = TempMachine::readHostFile(entry.path()) + " " +
                       std::to_string(static_cast<int>(entry.status().permissions()));
        }
        for (const auto* name : {"rw.txt", "ro.txt"})
            now[name] += " " + std::to_string(attributes(std::string("C:\\Zeugen\\") + name));
        return now;
    }

    void plant(const fs::path& at, Plant kind) {
        fs::create_directories(at.parent_path());
        switch (kind) {
            case Plant::FileLink:
                return fs::create_symlink(outside / "rw.txt", at);
            case Plant::FolderLink:
                return fs::create_directory_symlink(outside / "ordner", at);
            case Plant::Dangling:
                return fs::create_symlink(outside / "fehlt.txt", at);
            case Plant::SelfLoop:
                return fs::create_symlink(at.filename(), at);
            case Plant::FolderLoop:
                return fs::create_directory_symlink(".", at);
            case Plant::HardRO:
                return fs::create_hard_link(outside / "ro.txt", at);
            case Plant::HardRW:
                return fs::create_hard_link(outside / "rw.txt", at);
        }
    }

    const fs::path outside = tm.root() / "aussen";
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
    if (row.names.empty()) {
        fs::remove_all(folder);
        fs::create_directories(folder.parent_path());
        fs::create_directory_symlink(outside / "ordner", folder);
    }
    for (const auto& [name, kind] : row.names) plant(folder / name, kind);
    const auto before = look();

    start();
    EXPECT_EQ(look(), before);
    const auto summary = cleaning::runDestroyPhase(context());
    ASSERT_TRUE(summary);
    EXPECT_EQ(look(), before);
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
                         [](const ::testing::TestParamInfo<Row>& test) {
                             std::string name = test.param.place + "_" + test.param.mode;
                             std::ranges::replace(name, ' ', '_');
                             return name;
                         });

}  // namespace
}  // namespace kx::test
