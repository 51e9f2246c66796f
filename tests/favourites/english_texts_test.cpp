// What an English-speaking user reads of the safe favourites: the window's
// captions, columns and menu, the add dialog's refusal, the delete question
// and the key prompt's complaint.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/shared_state.hpp"
#include "favourites/favourite_dialogs.hpp"
#include "favourites/frm_favoriten.hpp"
#include "favourites/key_prompts.hpp"
#include "support/language.hpp"
#include "support/scripted_ui.hpp"
#include "support/temp_machine.hpp"

namespace kx::favourites {
namespace {

namespace ui = platform::ui;

class EnglishFavourites : public ::testing::Test, protected test::ScriptedUi {
  protected:
    EnglishFavourites() { resetShared(); }
    ~EnglishFavourites() override { resetShared(); }

    std::string lastMessage() const {
        return dialogs.shown.empty() ? "" : dialogs.shown.back().text;
    }

    test::TempMachine tm;
};

TEST_F(EnglishFavourites, TheDialogsSpeakEnglishInEnglish) {
    KX_ONLY_IN_ENGLISH();
    frmFavoriten window(nullptr, {});
    window.load();
    window.addRow({"Bank", "Falsch", "Falsch", "", "http://bank.example"});
    std::string columns;
    for (const auto& column : window.lvFavoriten->columns) columns += column.text + "|";

    std::string addCaption;
    view.onModal = [&](ui::Form& form) {
        auto& add = dynamic_cast<frmFavoritenAdd&>(form);
        addCaption = add.caption;
        add.cmdOK->click();  // no name yet
        add.cmdCan->click();
    };
    window.addFavourite();
    const std::string noName = lastMessage();

    window.selectOnly(0);
    dialogs.messageAnswers = {ui::IDNO};
    window.deleteSelected();
    const std::string deleteQuestion = lastMessage();

    frmFavoritenPassSet keys;
    keys.load();
    keys.txtPass->text = "one";
    keys.txtPass2->text = "two";
    keys.cmdOK->click();

    const struct {
        const char* what;
        std::string text, english;
    } shown[] = {
        {"window caption", window.caption, "KOLVANEX 3 - Safe favourites"},
        {"columns", columns, "Name|Anonymous|Safe|Group|URL|"},
        {"menu", window.mnuFavoriten->caption + " " + window.mnuStart->caption,
         "F&avourites &Start Internet session"},
        {"toolbar", window.tbToolsB->caption, "Add"},
        {"add caption", addCaption, "KOLVANEX 3 - Add favourite"},
        {"add refusal", noName, "The name is missing"},
        {"delete question", deleteQuestion, "Delete the selected entry?"},
        {"key prompt caption", keys.caption, "KOLVANEX 3 - Password"},
        {"key prompt refusal", lastMessage(), "The passwords do not match!"},
    };
    for (const auto& s : shown) EXPECT_EQ(s.text, s.english) << s.what;
}

}  // namespace
}  // namespace kx::favourites
