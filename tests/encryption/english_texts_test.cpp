// What an English-speaking user reads while folders are encrypted and
// decrypted: the status line of each file, the end of a run, a wrong key and
// the refused folders.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "core/shared_state.hpp"
#include "encryption/file_encryption.hpp"
#include "facade/kolvanex_favourites.hpp"
#include "services/progress.hpp"
#include "support/language.hpp"
#include "support/scripted_ui.hpp"
#include "support/temp_machine.hpp"

namespace kx::encryption {
namespace {

namespace ui = platform::ui;

TEST(EncryptionTexts, FolderRunsAndRefusalsAreToldInEnglishInEnglish) {
    KX_ONLY_IN_ENGLISH();
    resetShared();
    test::TempMachine tm;
    test::ScriptedUi user;
    std::string key = "key one";
    // Either key prompt is answered with `key`.
    user.view.onModal = [&key](ui::Form& form) {
        for (const char* box : {"txtPass", "txtPass2"})
            if (const auto field = form.find<ui::TextBox>(box))
                field->text = key;
        form.find<ui::CommandButton>("cmdOK")->click();
    };
    tm.writeHostFile(tm.prefix() / "drive_c" / "Daten" / "Brief.txt", std::string(3000, 'x'));

    const struct {
        const char* folder;
        enumCryptIt what;
        const char* newKey;  // the key typed from this case on
        const char* fileLine;
        const char* lastLine;  // the run's last status line, or the refusal's message box
    } cases[] = {
        {"C:\\Daten", enumCryptIt::Encrypt, "key one", "Encrypting c:\\daten\\brief.txt 2 KB",
         "Encrypting the folder/drive finished"},
        {"C:\\Daten", enumCryptIt::Decrypt, "wrong key",
         "Decryption cancelled: c:\\daten\\brief.txt", "Decrypting the folder/drive finished"},
        {"C:\\Daten", enumCryptIt::Decrypt, "key one", "c:\\daten\\brief.txt was decrypted",
         "Decrypting the folder/drive finished"},
        {"C:\\", enumCryptIt::Encrypt, "key one", nullptr,
         "Only removable drives or drives with removable media may be chosen!"},
        {"C:\\WINDOWS", enumCryptIt::Decrypt, "key one", nullptr, "This folder may not be chosen!"},
    };
    for (const auto& c : cases) {
        shared().gbBreak = false;
        user.dialogs.shown.clear();
        key = c.newKey;
        (void)cryptChosenFolder(c.folder, c.what, encryptionWiper());
        if (c.fileLine == nullptr) {
            ASSERT_EQ(user.dialogs.shown.size(), 1u) << c.folder;
            EXPECT_EQ(user.dialogs.shown[0].text, c.lastLine);
            continue;
        }
        const auto window = existingProgressWindow();
        ASSERT_NE(window, nullptr) << c.folder;
        std::vector<std::string> lines;
        for (const auto& item : window->lvLog->items()) lines.push_back(item->text);
        EXPECT_NE(std::find(lines.begin(), lines.end(), c.fileLine), lines.end()) << c.fileLine;
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(), c.lastLine);
    }
    resetShared();
}

}  // namespace
}  // namespace kx::encryption
