// Links out of every place a cleaning run walks or writes: symbolic links to
// a file, to a folder, dangling and looping, hard links to a read-only and
// to a writable file outside the machine, and cleaned folders that are
// links themselves, with safety deletion off and on. Nothing outside may
// change (bytes, mode, attributes, names), and the summary frees no byte of
// it and counts nothing behind a link.
#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "cleaning/destroy_phase.hpp"
#include "steps_fixture.hpp"

namespace kx::test {
namespace {

namespace fs = std::filesystem;
namespace keys = settings::keys;
namespace attr = platform::fileattr;

// What a planted name is.
enum class Plant {
    FileLink,
    FolderLink,
    Dangling,
    SelfLoop,
    FolderLoop,
    HardReadOnly,
    HardWritable
};

struct Row {
    std::string place;
    std::vector<const settings::SettingKey*> switches;
    std::string (*folder)();
    /// Names planted in the folder; empty: the folder itself is a link out.
    std::vector<std::pair<std::string, Plant>> names;
    std::string security;
};

// Named in the test's output by its place and mode.
void PrintTo(const Row& row, std::ostream* out) {
    *out << row.place << ", security " << row.security;
}

std::vector<std::pair<std::string, Plant>> everyKind() {
    return {{"sym_datei.tmp", Plant::FileLink},   {"sym_ordner", Plant::FolderLink},
            {"sym_leer.tmp", Plant::Dangling},    {"schleife.tmp", Plant::SelfLoop},
            {"kreis", Plant::FolderLoop},         {"hart_ro.tmp", Plant::HardReadOnly},
            {"hart_rw.tmp", Plant::HardWritable}, {"behalten_ro.tmp", Plant::HardReadOnly}};
}

constexpr std::string_view kDownloadedFiles = "C:\\WINDOWS\\Downloaded Program Files";

std::string profileFolder() {
    return settings::GetSpecialfolder(settings::kCsidlAppData) +
           "\\Mozilla\\Profiles\\default\\x1y2.slt";
}

std::vector<Row> rows() {
    const auto tempFolder = [] { return settings::GetTempDir(false); };
    const auto cache = [] { return settings::GetSpecialfolder(32); };
    const auto cookies = [] { return settings::GetSpecialfolder(33); };
    const auto recent = [] { return settings::GetSpecialfolder(8); };
    const auto history = [] { return settings::GetSpecialfolder(34); };
    const auto bin = [] { return std::string("C:\\RECYCLER\\S-1-5-21-1"); };
    const auto wholeBin = [] { return std::string("C:\\RECYCLER"); };
    const auto drive = [] { return std::string("C:\\Daten"); };
    const auto dialer = [] { return settings::GetWinDir() + "\\dialer"; };
    const auto opera = [] { return settings::GetOperaDirectory(); };
    const auto downloaded = [] { return std::string(kDownloadedFiles); };
    const std::vector<std::pair<std::string, Plant>> operaFiles = {
        {"cookies4.dat", Plant::HardReadOnly}, {"opera.dir", Plant::FileLink},
        {"global.dat", Plant::HardWritable},   {"vlink4.dat", Plant::Dangling},
        {"download.dat", Plant::SelfLoop},     {"autopera.win", Plant::HardReadOnly}};
    const std::vector<std::pair<std::string, Plant>> profileFiles = {
        {"cookies.txt", Plant::HardWritable}, {"cookperm.txt", Plant::HardReadOnly},
        {"localstore.rdf", Plant::FileLink},  {"formhistory.dat", Plant::HardReadOnly},
        {"history.dat", Plant::Dangling},     {"downloads.rdf", Plant::HardWritable},
        {"cache", Plant::FolderLink}};
    std::vector<Row> table = {
        {"temporary folder", {&keys::TempFiles}, tempFolder, everyKind(), ""},
        {"Internet cache", {&keys::INetTempFiles}, cache, everyKind(), ""},
        {"cookies", {&keys::Cookies}, cookies, everyKind(), ""},
        {"Recent", {&keys::Recent}, recent, everyKind(), ""},
        {"history", {&keys::Recent}, history, everyKind(), ""},
        {"recycle bin", {&keys::Trashcan}, bin, everyKind(), ""},
        {"junk search", {&keys::Junk}, drive, everyKind(), ""},
        {"dialer remnants", {&keys::DialerCheckTime}, dialer, everyKind(), ""},
        {"Opera", {&keys::Cookies, &keys::Recent}, opera, operaFiles, ""},
        {"downloaded program files",
         {&keys::History, &keys::DownloadedProgramFiles},
         downloaded,
         everyKind(),
         ""},
        {"profile",
         {&keys::Cookies, &keys::Recent, &keys::AutoFillOff, &keys::INetTempFiles},
         profileFolder,
         profileFiles,
         ""},
        {"linked temporary folder", {&keys::TempFiles}, tempFolder, {}, ""},
        {"linked cache", {&keys::INetTempFiles}, cache, {}, ""},
        {"linked history", {&keys::Recent}, history, {}, ""},
        {"linked recycle bin", {&keys::Trashcan}, wholeBin, {}, ""},
    };
    std::vector<Row> both;
    for (const auto& row : table) {
        for (const char* security : {"0", "1"}) {
            both.push_back(row);
            both.back().security = security;
        }
    }
    return both;
}

// Everything about the files outside that a run could change.
struct Outside {
    std::map<std::string, std::string> content;
    std::map<std::string, fs::perms> modes;
    std::map<std::string, std::uint32_t> attributes;  // through their witnesses
    std::set<std::string> names;
    bool operator==(const Outside&) const = default;
};

class LinkMatrixTest : public StepsTest, public ::testing::WithParamInterface<Row> {
  protected:
    void SetUp() override {
        StepsTest::SetUp();
        tm.writeHostFile(outside / "beschreibbar.txt", "draussen, beschreibbar");
        tm.writeHostFile(outside / "nurlesen.txt", "draussen, nur lesbar");
        tm.writeHostFile(outside / "ordner" / "drin.txt", "draussen im Ordner");
        // Each file outside also has a name in a folder no run touches,
        // through which its attribute record is set and read.
        fs::create_directories(tm.host("C:\\Zeugen"));
        for (const auto* name : {"beschreibbar.txt", "nurlesen.txt"})
            fs::create_hard_link(outside / name, tm.host("C:\\Zeugen") / name);
        ASSERT_TRUE(platform::files::setAttributes(witness("beschreibbar.txt"), attr::Hidden));
        ASSERT_TRUE(
            platform::files::setAttributes(witness("nurlesen.txt"), attr::ReadOnly | attr::System));
    }

    static std::string witness(const std::string& name) { return "C:\\Zeugen\\" + name; }

    Outside look() {
        Outside now;
        for (const auto& entry : fs::recursive_directory_iterator(outside)) {
            const auto rel = fs::relative(entry.path(), outside).string();
            now.names.insert(rel);
            if (entry.is_regular_file()) {
                now.content[rel] = TempMachine::readHostFile(entry.path());
                now.modes[rel] = entry.status().permissions();
            }
        }
        for (const auto* name : {"beschreibbar.txt", "nurlesen.txt"})
            now.attributes[name] = attributes(witness(name));
        return now;
    }

    void plant(const fs::path& folder, const std::string& name, Plant kind) {
        fs::create_directories(folder);
        const auto at = folder / name;
        switch (kind) {
            case Plant::FileLink:
                fs::create_symlink(outside / "beschreibbar.txt", at);
                break;
            case Plant::FolderLink:
                fs::create_directory_symlink(outside / "ordner", at);
                break;
            case Plant::Dangling:
                fs::create_symlink(outside / "fehlt.txt", at);
                break;
            case Plant::SelfLoop:
                fs::create_symlink(name, at);
                break;
            case Plant::FolderLoop:
                fs::create_directory_symlink(".", at);
                break;
            case Plant::HardReadOnly:
                fs::create_hard_link(outside / "nurlesen.txt", at);
                break;
            case Plant::HardWritable:
                fs::create_hard_link(outside / "beschreibbar.txt", at);
                break;
        }
    }

    const fs::path outside = tm.root() / "aussen";
};

TEST_P(LinkMatrixTest, NothingOutsideChangesAndNothingOfItCounts) {
    const Row& row = GetParam();
    set(keys::Security, row.security);
    for (const auto* key : row.switches) set(*key, "1");
    if (row.place == "profile")
        put(profileFolder(), "prefs.js", "user_pref(\"a\", 1);\n");
    if (row.place == "downloaded program files")
        setString(platform::HKEY_LOCAL_MACHINE,
                  "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\ActiveX Cache",
                  "0", std::string(kDownloadedFiles));
    // Patterns exist (so the kept check runs on every file) and one keeps a
    // hard-linked file, which must not be hidden through its shared mode.
    exceptions("*behalten*\n*cookperm*\n");

    const fs::path folder = tm.host(row.folder());
    if (row.names.empty()) {
        fs::remove_all(folder);
        fs::create_directories(folder.parent_path());
        fs::create_directory_symlink(outside / "ordner", folder);
    }
    for (const auto& [name, kind] : row.names) plant(folder, name, kind);
    const Outside before = look();

    start();
    EXPECT_EQ(look(), before);  // nothing hidden through a shared mode either
    const auto summary = cleaning::runDestroyPhase(context());
    ASSERT_TRUE(summary);
    EXPECT_FALSE(summary->cancelled);

    const Outside after = look();
    EXPECT_EQ(after.content, before.content);
    EXPECT_EQ(after.modes, before.modes);
    EXPECT_EQ(after.attributes, before.attributes);
    EXPECT_EQ(after.names, before.names);
    EXPECT_EQ(summary->bytes, 0.0);
    // At most the names planted here: nothing behind a link is counted.
    EXPECT_LE(summary->count, row.names.size());
}

INSTANTIATE_TEST_SUITE_P(EveryPlace, LinkMatrixTest, ::testing::ValuesIn(rows()),
                         [](const ::testing::TestParamInfo<Row>& info) {
                             std::string name =
                                 info.param.place + "_security" + info.param.security;
                             std::ranges::replace(name, ' ', '_');
                             return name;
                         });

}  // namespace
}  // namespace kx::test
