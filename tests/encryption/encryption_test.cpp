// Encrypting files and folders in place: the protected files, the folder
// refusals, a folder's round trip with one key derivation per run, a wrong
// key that changes nothing (a file list stops at it, a folder run tries
// every file), and a folder run killed at several points that leaves every
// file whole.
#include "encryption/file_encryption.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/shared_state.hpp"
#include "crypt/key_cache.hpp"
#include "crypt/rijndael.hpp"
#include "facade/kolvanex_favourites.hpp"
#include "favourites/key_prompts.hpp"
#include "platform/ui/dialogs.hpp"
#include "services/progress.hpp"
#include "support/host_run.hpp"
#include "support/scripted_ui.hpp"
#include "support/temp_machine.hpp"

namespace kx::encryption {
namespace {

namespace ui = platform::ui;
namespace fs = std::filesystem;

TEST(EncryptionRules, ProtectedFilesAndRefusedFolders) {
    for (const char* path : {"c:\\x\\setup.exe", "c:\\x\\ntuser.dat", "c:\\win.386", "ntldr",
                             "c:\\a\\registry.dat", "c:\\a\\b.swp", "c:\\a\\.bin"})
        EXPECT_TRUE(isProtectedFile(path)) << path;
    for (const char* path :
         {"c:\\x\\setup.exe.txt", "c:\\x\\my ntuser.dat", "c:\\daten\\exe", "c:\\a\\brief.doc"})
        EXPECT_FALSE(isProtectedFile(path)) << path;

    test::TempMachine tm;  // drives A: removable, C: fixed, D: CD-ROM
    const std::map<std::string, FolderVerdict> folders = {
        {"", FolderVerdict::Empty},
        {"C:", FolderVerdict::DriveRefused},
        {"q:", FolderVerdict::DriveRefused},  // no such drive
        {"a:", FolderVerdict::Allowed},
        {"D:", FolderVerdict::Allowed},
        {"d:\\data\\windows-backup", FolderVerdict::FolderRefused},
        {"C:\\Programme\\Kolvanex", FolderVerdict::FolderRefused},
        {"c:\\x\\System32", FolderVerdict::FolderRefused},
        {"C:\\Daten\\Briefe", FolderVerdict::Allowed},
    };
    for (const auto& [folder, verdict] : folders) EXPECT_EQ(checkFolder(folder), verdict) << folder;
}

class Encryption : public ::testing::Test, protected test::ScriptedUi {
  protected:
    Encryption() {
        resetShared();
        view.onModal = [this](ui::Form& form) {
            ++prompts;
            if (auto* set = dynamic_cast<favourites::frmFavoritenPassSet*>(&form)) {
                set->txtPass->text = set->txtPass2->text = key;
                set->cmdOK->click();
            } else if (auto* get = dynamic_cast<favourites::frmFavoritenPasswortGet*>(&form)) {
                get->txtPass->text = key;
                get->cmdOK->click();
            }
        };
        fs::create_directories(data);
    }
    ~Encryption() override { resetShared(); }

    void put(const std::string& name, const std::string& bytes) {
        tm.writeHostFile(data / name, bytes);
        originals[name] = bytes;
    }
    std::string get(const std::string& name) const {
        return test::TempMachine::readHostFile(data / name);
    }
    std::set<std::string> entries() const {
        std::set<std::string> out;
        for (const auto& e : fs::recursive_directory_iterator(data))
            out.insert(fs::relative(e.path(), data).string());
        return out;
    }
    std::vector<std::string> statusLines() const {
        std::vector<std::string> lines;
        if (const auto window = existingProgressWindow())
            for (const auto& item : window->lvLog->items()) lines.push_back(item->text);
        return lines;
    }
    std::uint64_t derivations() const { return crypt::threadKeyCache().stats().count; }

    /// Whether a file holds its original, or its sealed form that decrypts
    /// to the original with the key.
    bool whole(const std::string& name) {
        const std::string now = get(name);
        if (now == originals.at(name))
            return true;
        crypt::RijnDael cipher({tm.machine(), crypt::threadKeyCache()});
        cipher.InputFile = "C:\\Daten\\" + name;
        cipher.OutputFile = "C:\\check.out";
        cipher.Password = key;
        const bool ok = cipher.DecryptFile();
        const std::string plain =
            test::TempMachine::readHostFile(tm.prefix() / "drive_c/check.out");
        fs::remove(tm.prefix() / "drive_c/check.out");
        return ok && plain == originals.at(name);
    }

    static std::string pattern(std::size_t n, char seed) {
        std::string out(n, '\0');
        for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<char>(seed + i * 31 + i / 7);
        return out;
    }

    test::TempMachine tm;
    const fs::path data = tm.prefix() / "drive_c" / "Daten";
    std::map<std::string, std::string> originals;
    std::string key = "Schlüssel 1";
    int prompts = 0;
};

TEST_F(Encryption, AFolderRoundTripsWithOneDerivationPerRunAndProtectedFilesStay) {
    const std::vector<std::string> names = {
        "a;b.txt",     "it's 'quoted'.txt", "Ärger über Öl.doc", std::string(200, 'l') + ".txt",
        "sub/big.dat", "setup.exe",         "sub/ntuser.dat",    "empty.txt"};
    for (std::size_t i = 0; i < names.size(); ++i)
        put(names[i],
            names[i] == "empty.txt" ? "" : pattern(i == 4 ? 2'500'000 : 1000 + i, 'a' + i));
    const auto before = entries();

    auto start = derivations();
    auto outcome = cryptChosenFolder("C:\\Daten\\", enumCryptIt::Encrypt, encryptionWiper());
    EXPECT_EQ(derivations() - start, 1u);
    EXPECT_EQ(outcome.processed, names.size());
    EXPECT_EQ(outcome.failed, 0u);
    EXPECT_EQ(entries(), before);  // nothing beside the files
    for (const auto& name : names) {
        const bool kept = name == "setup.exe" || name == "sub/ntuser.dat";
        EXPECT_EQ(get(name) == originals[name], kept) << name;
        EXPECT_TRUE(kept || get(name).starts_with("KXSEALED")) << name;
    }
    EXPECT_EQ(statusLines().back(), "Verzeichnis/Laufwerk verschlüsseln beendet");

    start = derivations();
    outcome = cryptChosenFolder("C:\\Daten", enumCryptIt::Decrypt, encryptionWiper());
    EXPECT_EQ(derivations() - start, 1u);
    EXPECT_EQ(outcome.failed, 0u);
    for (const auto& name : names) EXPECT_EQ(get(name), originals[name]) << name;
    EXPECT_EQ(prompts, 2);
}

TEST_F(Encryption, AWrongKeyChangesNothingAndStopsAFileListAtOnce) {
    put("eins.txt", "erste Datei");
    put("zwei.txt", "zweite Datei");
    ASSERT_EQ(
        cryptChosenFiles("C:\\Daten;eins.txt;zwei.txt", enumCryptIt::Encrypt, encryptionWiper())
            .processed,
        2u);
    const std::string sealedOne = get("eins.txt"), sealedTwo = get("zwei.txt");
    key = "falsch";
    auto outcome =
        cryptChosenFiles("C:\\Daten;eins.txt;zwei.txt", enumCryptIt::Decrypt, encryptionWiper());
    EXPECT_EQ(outcome.failed + outcome.processed, 1u);  // the second file is not tried
    auto lines = statusLines();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](auto& l) { return l.starts_with("Entschlüsselung abgebrochen"); }),
              1);
    outcome = cryptChosenFolder("C:\\Daten", enumCryptIt::Decrypt, encryptionWiper());
    EXPECT_EQ(outcome.failed, 2u);  // a folder run tries every file
    EXPECT_EQ(get("eins.txt"), sealedOne);
    EXPECT_EQ(get("zwei.txt"), sealedTwo);
    EXPECT_EQ(entries(), (std::set<std::string>{"eins.txt", "zwei.txt"}));
}

TEST_F(Encryption, RefusedFoldersAreToldAndNothingIsAskedOrTouched) {
    put("x.txt", "bleibt");
    const struct {
        const char* folder;
        const char* message;
    } cases[] = {{"C:\\", kOnlyRemovable}, {"C:\\WINDOWS", kFolderRefused}, {"", nullptr}};
    for (const auto& c : cases) {
        dialogs.shown.clear();
        EXPECT_FALSE(cryptChosenFolder(c.folder, enumCryptIt::Encrypt, encryptionWiper()).started);
        ASSERT_EQ(dialogs.shown.size(), c.message ? 1u : 0u) << c.folder;
        if (c.message) {
            EXPECT_EQ(dialogs.shown[0].text, c.message);
            EXPECT_EQ(dialogs.shown[0].flags, 4160u);
        }
    }
    EXPECT_EQ(prompts, 0);
    EXPECT_EQ(get("x.txt"), "bleibt");
}

TEST_F(Encryption, AKilledFolderRunLeavesEveryFileWhole) {
    // Small files of one chunk and large ones of three: the kill lands
    // between files and inside a file, by the chunks done.
    for (int i = 0; i < 4; ++i)
        put("klein" + std::to_string(i) + ".txt", pattern(100 * 1024, 'k' + i));
    for (int i = 0; i < 2; ++i)
        put("gross" + std::to_string(i) + ".dat", pattern(2'600'000, 'g' + i));
    const auto names = entries();
    const fs::path keyFile = tm.root() / "key";
    tm.writeHostFile(keyFile, key + "\n");
    int killed = 0;
    for (const int at : {1, 2, 4, 6, 8, 9}) {
        ::setenv("KOLVANEX_KILL_AT_YIELD", std::to_string(at).c_str(), 1);
        const auto run = test::runKolvanex(
            tm.prefix(),
            {"--quiet", "encrypt", "--folder", "C:\\Daten", "--key-file", keyFile.string()},
            tm.root());
        ::unsetenv("KOLVANEX_KILL_AT_YIELD");
        killed += run.exitCode != 0;
        EXPECT_EQ(entries(), names) << "killed at yield " << at;
        for (const auto& name : names)
            EXPECT_TRUE(whole(name)) << name << ", killed at yield " << at;
        // The next trial starts from the originals again.
        for (const auto& [name, bytes] : originals) tm.writeHostFile(data / name, bytes);
    }
    EXPECT_GE(killed, 5);
}

}  // namespace
}  // namespace kx::encryption
