// The safe favourites: the plain file's lines, the store's round trip through
// encryption (wrong and foreign files left untouched), the import, the
// search box, the filter, the delete questions, the add dialog's rules, the
// start of a favourite and the key prompts.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/shared_state.hpp"
#include "facade/kolvanex_favourites.hpp"
#include "favourites/favourite_dialogs.hpp"
#include "favourites/favourites_file.hpp"
#include "favourites/frm_favoriten.hpp"
#include "favourites/key_prompts.hpp"
#include "platform/runtime/text.hpp"
#include "platform/ui/dialogs.hpp"
#include "settings/locations.hpp"
#include "support/scripted_ui.hpp"
#include "support/temp_machine.hpp"

namespace kx::favourites {
namespace {

namespace ui = platform::ui;
using Rows = std::vector<Favourite>;

TEST(FavouritesFile, OnlyLinesOfSevenFieldsCount) {
    const struct {
        std::string line;
        bool counts;
    } cases[] = {
        {"Bank;Wahr;Falsch;geld;http://bank.example;;", true},
        {";;;;;;", true},
        {"Bank;Wahr;Falsch;geld;http://bank.example;", false},
        {"Bank;Wahr;Falsch;geld;http://bank.example;;;", false},
        {"Bank;x;y;z;http://a.example/p;q;;", false},  // a ";" the file format cannot hold
        {"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseFavouriteLine(c.line).has_value(), c.counts) << c.line;
    const auto parsed = decodeFavourites("a;Wahr;;g;u;;\r\n\r\nbroken\r\nb;;True;;v;ignored;x\n");
    EXPECT_EQ(parsed, (Rows{{"a", "Wahr", "", "g", "u"}, {"b", "", "True", "", "v"}}));
}

TEST(FavouritesFile, EveryListComesBackUnchanged) {
    const Rows rows = {
        {"Bank;Konto 100%", "Wahr", "Falsch", "geld", "http://a.example/x;y?%41"},
        {"Bäckerei \"Müller\"", "True", "False", "essen/brot", "http://b.example"},
        {"Ωmega", "", "", "", "http://c.example"},
        {std::string(4000, 'n'), "Falsch", "Wahr", "", "http://d.example"},
    };
    for (const auto& row : rows) {
        const auto bytes = encodeFavourites({row});
        EXPECT_EQ(decodeFavourites(bytes), Rows{row}) << row.name;
    }
    // A list the code page can hold is written in it, one byte per letter.
    EXPECT_EQ(encodeFavourites({rows[1]}), platform::toCp1252(favouriteLine(rows[1]) + "\r\n"));
    EXPECT_EQ(favouriteLine(rows[1]),
              "Bäckerei \"Müller\";True;False;essen/brot;http://b.example;;");
}

class Favourites : public ::testing::Test, protected test::ScriptedUi {
  protected:
    Favourites() {
        resetShared();
        view.onModal = [this](ui::Form& form) {
            if (auto* set = dynamic_cast<frmFavoritenPassSet*>(&form)) {
                ++keySets;
                set->txtPass->text = set->txtPass2->text = newKey;
                (newKey.empty() ? set->cmdCan : set->cmdOK)->click();
            } else if (auto* get = dynamic_cast<frmFavoritenPasswortGet*>(&form)) {
                get->txtPass->text = key;
                get->cmdOK->click();
            } else if (auto* window = dynamic_cast<frmFavoriten*>(&form)) {
                shownRows = window->favourites();
                if (inWindow)
                    inWindow(*window);
                window->unload();
            } else if (onDialog) {
                onDialog(form);
            }
        };
        std::filesystem::create_directories(folder());
    }
    ~Favourites() override { resetShared(); }

    std::filesystem::path folder() const {
        return tm.host(settings::VBGetSpecialFolder(settings::kCsidlPersonal));
    }
    std::string sealedBytes() const {
        return test::TempMachine::readHostFile(folder() / "favoriten.aes");
    }
    bool plainExists() const { return std::filesystem::exists(folder() / "favoriten.txt"); }

    /// A window as ShowFavoriten shows it, with the sessions recorded.
    void openWindow() {
        shownRows.reset();
        frmFavoriten window(favouritesWiper(), recordingSessions());
        window.showModal();
        window.unload();
    }
    SessionCalls recordingSessions() {
        return {[this] {
                    calls.push_back("safe");
                    return safeWorks;
                },
                [this] {
                    calls.push_back("anonym");
                    return anonymWorks;
                },
                [this] {
                    calls.push_back("safeOff");
                    return true;
                },
                [this](const std::string& url) { calls.push_back("open " + url); }};
    }
    /// A loaded window holding `rows`, with the sessions recorded.
    frmFavoriten& loaded(const Rows& rows) {
        window_ = std::make_unique<frmFavoriten>(nullptr, recordingSessions());
        window_->load();
        for (const auto& row : rows) window_->addRow(row);
        window_->FillTheCombo();
        return *window_;
    }
    std::vector<std::string> selectedNames(const frmFavoriten& window) const {
        std::vector<std::string> names;
        for (const auto& row : window.lvFavoriten->items())
            if (row->selected)
                names.push_back(row->text);
        return names;
    }

    test::TempMachine tm;
    std::string key = "geheim", newKey = "geheim";
    int keySets = 0;
    std::optional<Rows> shownRows;
    std::function<void(frmFavoriten&)> inWindow;
    std::function<void(ui::Form&)> onDialog;
    std::vector<std::string> calls;
    bool safeWorks = true, anonymWorks = true;

  private:
    std::unique_ptr<frmFavoriten> window_;
};

const Rows kTwo = {{"Bank;Konto", "Wahr", "Falsch", "geld", "http://bank.example"},
                   {"Bahn", "Falsch", "True", "", "http://bahn.example"}};

TEST_F(Favourites, TheListRoundTripsThroughEncryptionAndAWrongKeyChangesNothing) {
    inWindow = [](frmFavoriten& w) {
        for (const auto& row : kTwo) w.addRow(row);
        w.changed = true;
    };
    openWindow();
    EXPECT_EQ(shownRows, Rows{});
    const std::string stored = sealedBytes();
    ASSERT_TRUE(stored.starts_with("KXSEALED"));
    EXPECT_FALSE(plainExists());  // wiped after encrypting

    // Opening and closing without a change asks for no new key.
    inWindow = nullptr;
    keySets = 0;
    openWindow();
    EXPECT_EQ(shownRows, kTwo);
    EXPECT_EQ(keySets, 0);
    EXPECT_FALSE(plainExists());

    key = "falsch";
    openWindow();
    EXPECT_FALSE(shownRows.has_value());  // closed before it showed
    EXPECT_EQ(sealedBytes(), stored);
    EXPECT_FALSE(plainExists());
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, kWrongKey);

    tm.writeHostFile(folder() / "favoriten.aes", "Bank;;;;http://x;;\r\n");
    openWindow();
    EXPECT_FALSE(shownRows.has_value());
    EXPECT_EQ(dialogs.shown.back().text, kNotOurs);
    EXPECT_EQ(sealedBytes(), "Bank;;;;http://x;;\r\n");
}

TEST_F(Favourites, AnEmptyNewKeyKeepsTheWindowOpenAndThePreviousStore) {
    inWindow = [](frmFavoriten& w) {
        w.addRow(kTwo[1]);
        w.changed = true;
    };
    openWindow();
    const std::string stored = sealedBytes();
    inWindow = [&](frmFavoriten& w) {
        w.addRow(kTwo[0]);
        w.changed = true;
        newKey = "";
        EXPECT_FALSE(w.unload());  // the close is cancelled
        EXPECT_TRUE(w.isLoaded());
        EXPECT_EQ(sealedBytes(), stored);
        EXPECT_TRUE(plainExists());  // the plain list waits for the next save
        newKey = "neu";
    };
    openWindow();
    EXPECT_FALSE(plainExists());
    key = "neu";
    inWindow = nullptr;
    openWindow();
    EXPECT_EQ(shownRows, (Rows{kTwo[1], kTwo[0]}));
}

TEST_F(Favourites, TheImportTakesGroupsFromFoldersAndSkipsKnownNames) {
    const auto favs = tm.host(settings::VBGetSpecialFolder(6));
    tm.writeHostFile(favs / "Top.url", "[DEFAULT]\r\nBASEURL=http://top.example\r\n");
    tm.writeHostFile(favs / "news" / "Zeitung.URL", "[DEFAULT]\r\nBASEURL=http://z.example\r\n");
    tm.writeHostFile(favs / "news" / "welt" / "Blatt.url",
                     "[DEFAULT]\r\nBASEURL=http://b.example\r\n");
    tm.writeHostFile(favs / "BAHN.url", "[DEFAULT]\r\nBASEURL=http://other.example\r\n");
    auto& window = loaded({kTwo[1]});
    window.importFavourites();
    auto rows = window.favourites();
    std::sort(rows.begin(), rows.end(), [](auto& a, auto& b) { return a.name < b.name; });
    EXPECT_EQ(rows, (Rows{{"Bahn", "Falsch", "True", "", "http://bahn.example"},
                          {"Blatt", "", "", "news/welt", "http://b.example"},
                          {"Top", "", "", "", "http://top.example"},
                          {"Zeitung", "", "", "news", "http://z.example"}}));
    EXPECT_TRUE(window.changed);

    std::filesystem::remove_all(favs);
    window.importFavourites();
    EXPECT_EQ(dialogs.shown.back().text, kNoBrowserFavourites);
}

TEST_F(Favourites, TypingCompletesToTheFirstNameInListOrder) {
    auto& window =
        loaded({{"Bank", "", "", "", "u1"}, {"bahn", "", "", "", "u2"}, {"Post", "", "", "", ""}});
    window.cbFind->text = "ba";
    window.findTyped('A');
    EXPECT_EQ(window.cbFind->text, "Bank");
    EXPECT_EQ(window.cbFind->selStart, 2);
    EXPECT_EQ(window.cbFind->selLength, 2);
    EXPECT_EQ(selectedNames(window), std::vector<std::string>{"Bank"});
    window.cbFind->text = "bah";
    window.findTyped('H');
    EXPECT_EQ(selectedNames(window), std::vector<std::string>{"bahn"});
    // Enter starts the row of that exact name.
    window.findEnter();
    EXPECT_EQ(calls, std::vector<std::string>{"open u2"});
}

TEST_F(Favourites, F2RenamesTheSelectedRowInPlaceAndEscapeBelongsToTheEdit) {
    auto& window = loaded({{"Bank", "", "", "", "u1"}, {"Post", "", "", "", "u2"}});
    auto& list = *window.lvFavoriten;
    list.keyDown(kKeyF2, 0);  // no row selected: nothing to edit
    EXPECT_FALSE(list.labelEditing());
    window.selectOnly(1);
    for (const bool commit : {false, true}) {
        list.keyDown(kKeyF2, 0);
        EXPECT_EQ(list.labelEditIndex(), 1u);
        list.keyDown(ui::vbKeyEscape, 0);  // the form sees it first, and stays
        EXPECT_TRUE(window.isLoaded());
        list.endLabelEdit(commit ? std::optional<std::string>("Postbank") : std::nullopt);
        EXPECT_FALSE(list.labelEditing());
        EXPECT_EQ(list.item(1)->text, commit ? "Postbank" : "Post");
        EXPECT_EQ(window.changed, commit);
    }
    EXPECT_EQ(window.cbFind->text, "Postbank");
    list.keyDown(ui::vbKeyEscape, 0);
    EXPECT_FALSE(window.isLoaded());
}

TEST_F(Favourites, TheFilterRewritesEverySelection) {
    auto& window = loaded({{"Bank", "", "", "", "http://bank.example"},
                           {"Online-Banking", "", "", "", "http://ob.example"},
                           {"Bankkonto", "", "", "", "http://k.example"},
                           {"bunk", "", "", "", "http://bunk.example"},
                           {"Post", "", "", "", ""}});
    const struct {
        const char* name;
        const char* url;
        std::vector<std::string> selected;
    } cases[] = {
        {"bank", "*.invalid", {"Bank", "Online-Banking", "Bankkonto"}},
        {"b?nk", "*.invalid", {"Bank", "bunk"}},
        {"nothing", "", {"Post"}},  // an empty pattern matches the empty URL
        {"", "*ob*", {"Online-Banking"}},
    };
    for (const auto& c : cases) {
        onDialog = [&](ui::Form& form) {
            auto& filter = dynamic_cast<frmFavoritenFilter&>(form);
            filter.txtBezeichnung->text = c.name;
            filter.txtURL->text = c.url;
            filter.cmdOK->click();
        };
        window.markByPattern();
        EXPECT_EQ(selectedNames(window), c.selected) << c.name;
        EXPECT_EQ(window.sNameFilter, c.name);
    }
}

TEST_F(Favourites, DeletingAsksOnceForOneRowAndOnceForSeveral) {
    auto& window = loaded({{"a", "", "", "", ""}, {"b", "", "", "", ""}, {"c", "", "", "", ""}});
    window.deleteSelected();  // nothing selected: no question
    EXPECT_TRUE(dialogs.shown.empty());
    window.lvFavoriten->select(0);
    window.lvFavoriten->select(1);
    dialogs.messageAnswers = {ui::IDNO};
    window.deleteSelected();
    EXPECT_EQ(dialogs.shown.back().text, kDeleteMany);
    EXPECT_EQ(dialogs.shown.back().flags, 4388u);  // Yes/No, question, No as default, system-modal
    EXPECT_EQ(window.lvFavoriten->count(), 3u);
    EXPECT_FALSE(window.changed);
    window.selectOnly(2);
    dialogs.messageAnswers = {ui::IDYES};
    window.deleteSelected();
    EXPECT_EQ(dialogs.shown.back().text, kDeleteOne);
    EXPECT_EQ(window.cbFind->list, (std::vector<std::string>{"a", "b"}));
    EXPECT_TRUE(window.changed);
}

TEST_F(Favourites, TheAddDialogRefusesDuplicatesOnlyWhenAdding) {
    auto& window = loaded({{"Bank", "Falsch", "Falsch", "", "http://bank.example"}});
    std::string name = "BANK";
    onDialog = [&](ui::Form& form) {
        auto& add = dynamic_cast<frmFavoritenAdd&>(form);
        add.txtBezeichnung->text = name;
        add.txtURL->text = "HTTP://Neu.Example";
        add.txtGruppe->text = "Geld/Ämter";
        add.chkAnonym->value = 1;
        add.cmdOK->click();
        if (add.isLoaded())
            add.cmdCan->click();
    };
    window.addFavourite();
    EXPECT_EQ(dialogs.shown.back().text, kNameExists);
    EXPECT_EQ(window.lvFavoriten->count(), 1u);
    // Editing keeps the name without a question, and lower-cases group and URL.
    window.selectOnly(0);
    window.showProperties();
    EXPECT_EQ(window.favourites(),
              (Rows{{"BANK", "Wahr", "Falsch", "geld/ämter", "http://neu.example"}}));
    EXPECT_TRUE(window.changed);
}

TEST_F(Favourites, StartingTakesTheSessionsTheRowAsksFor) {
    const struct {
        const char* anonym;
        const char* sicher;
        bool safeWorks, anonymWorks;
        std::vector<std::string> calls;
    } cases[] = {
        {"", "", true, true, {"open u"}},
        {"True", "Wahr", true, true, {"safe", "anonym", "open u"}},
        {"wahr", "TRUE", true, true, {"open u"}},  // only "Wahr" and "True" count
        {"Falsch", "Wahr", false, true, {"safe"}},
        {"Wahr", "Wahr", true, false, {"safe", "anonym", "safeOff"}},
    };
    for (const auto& c : cases) {
        auto& window = loaded({{"x", c.anonym, c.sicher, "", "u"}});
        calls.clear();
        safeWorks = c.safeWorks;
        anonymWorks = c.anonymWorks;
        window.startSelected();  // nothing selected yet
        window.selectOnly(0);
        window.startSelected();
        EXPECT_EQ(calls, c.calls) << c.anonym << "/" << c.sicher;
    }
}

TEST_F(Favourites, TheNewKeyDialogInsistsOnTwoEqualKeys) {
    frmFavoritenPassSet dialog;
    dialog.load();
    const struct {
        const char* first;
        const char* second;
        const char* message;
    } cases[] = {{"abc", "abd", kKeysDiffer}, {"", "", kKeyEmpty}, {"", "x", kKeysDiffer}};
    for (const auto& c : cases) {
        dialog.txtPass->text = c.first;
        dialog.txtPass2->text = c.second;
        dialog.cmdOK->click();
        EXPECT_EQ(dialogs.shown.back().text, c.message);
        EXPECT_TRUE(dialog.isLoaded());
        EXPECT_EQ(dialog.txtPass->text + dialog.txtPass2->text, "");
        EXPECT_EQ(ui::focusedControl(), dialog.txtPass.get());
    }
    dialog.txtPass->text = dialog.txtPass2->text = "ok";
    dialog.cmdOK->click();
    EXPECT_FALSE(dialog.isLoaded());
    EXPECT_EQ(dialog.key, "ok");
}

}  // namespace
}  // namespace kx::favourites
