// The proxy dialog as a user drives it: the list from the local file (and
// what it skips), the keys that rewrite the file, the check of every row
// with its best row and its cancel, and what OK stores for none, one or
// several rows.
#include "anonymity/frm_optionen_proxy.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "anonymity/proxy_checker.hpp"
#include "core/shared_state.hpp"
#include "platform/ui/dialogs.hpp"
#include "platform/ui/message_loop.hpp"
#include "platform/ui/view.hpp"
#include "settings/keys.hpp"
#include "settings/settings_store.hpp"
#include "support/scripted_ui.hpp"
#include "support/temp_machine.hpp"

namespace kx::anonymity {
namespace {

namespace ui = platform::ui;
namespace keys = settings::keys;
using kx::test::TempMachine;

const std::string kApp = "C:\\Programme\\Kolvanex";

// How the stand-in checker answers for a proxy: the time it takes and its
// answer.
struct Outcome {
    int millis;
    std::string answer;
    bool anonymous;
};

class ProxyDialog : public ::testing::Test, protected test::ScriptedUi {
  protected:
    void SetUp() override {
        resetShared();
        shared().KXAppPath = kApp;
        ui::MessageLoop::current().setClock(&clock);
        std::filesystem::create_directories(tm.host(kApp));
    }
    void TearDown() override {
        ui::MessageLoop::current().setClock(nullptr);
        resetShared();
    }
    std::filesystem::path file(const char* name) const { return tm.host(kApp) / name; }
    frmOptionenProxy& open(std::string_view list) {
        tm.writeHostFile(file("kxproxy.txt"), list);
        form = std::make_shared<frmOptionenProxy>();
        form->checker = [this](const std::string& proxy, bool& anonymous, std::int32_t) {
            tested.push_back(proxy);
            if (onTest)
                onTest(proxy);
            const auto& outcome = outcomes.at(proxy);
            clock.advance(ui::Millis(outcome.millis));
            anonymous = outcome.anonymous;
            return outcome.answer;
        };
        form->load();
        return *form;
    }
    std::vector<std::string> column(std::size_t n) const {
        std::vector<std::string> texts;
        for (const auto& row : form->lvProxy->items()) texts.push_back(row->columnText(n));
        return texts;
    }
    static std::string stored(const settings::SettingKey& key) {
        return settings::GetSetting(settings::applicationName(), key.section, key.name, "-");
    }

    TempMachine tm;
    ui::ManualClock clock;
    std::shared_ptr<frmOptionenProxy> form;
    std::map<std::string, Outcome> outcomes;
    std::vector<std::string> tested;
    std::function<void(const std::string&)> onTest;
};

using Texts = std::vector<std::string>;

TEST_F(ProxyDialog, TheListLoadsWhatItCanAndSaysWhatItSkipped) {
    ASSERT_TRUE(settings::write(keys::AnonymIP, "b.example"));
    auto& f = open("a.example:80\r\nkein Proxy\r\n\r\nb.example 3128\r\nB.EXAMPLE:81\r\n");
    EXPECT_EQ(column(1), (Texts{"[Keine Auswahl]", "a.example", "b.example"}));
    EXPECT_EQ(column(2), (Texts{"", "80", "3128"}));
    EXPECT_EQ(f.lvProxy->toolTipText, "3 Server");
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_NE(dialogs.shown[0].text.find("1 Zeile(n)"), std::string::npos);
    EXPECT_NE(dialogs.shown[0].text.find("\rkein Proxy"), std::string::npos);
    EXPECT_EQ(f.GetSelected(), 1u);  // the stored host is selected
    EXPECT_TRUE(f.lvProxy->item(2)->selected);
}

TEST_F(ProxyDialog, DeleteKeepsTheAnonymousRowsAndTheOldFileAsBak) {
    const std::string list = "a.example:80\r\nb.example:81\r\nc.example:82\r\n";
    auto& f = open(list);
    // Never tested: the file is emptied, the old one kept.
    EXPECT_EQ(f.lvProxy->keyDown(ui::vbKeyDelete, 0), ui::vbKeyDelete);
    EXPECT_EQ(TempMachine::readHostFile(file("kxproxy.txt")), "");
    EXPECT_EQ(TempMachine::readHostFile(file("kxproxy.txt.Bak")), list);
    EXPECT_EQ(f.lvProxy->count(), 1u);

    auto& g = open(list);
    g.lvProxy->item(1)->setSubItem(2, "0,52");
    g.lvProxy->item(1)->setSubItem(3, "Ja");
    g.lvProxy->item(2)->setSubItem(2, "0,40");
    g.lvProxy->item(2)->setSubItem(3, "Nein");
    g.lvProxy->item(3)->setSubItem(2, "No answer");
    g.lvProxy->item(3)->setSubItem(3, "Ja");
    g.lvProxy->keyDown(ui::vbKeyDelete, 0);
    EXPECT_EQ(TempMachine::readHostFile(file("kxproxy.txt")), "a.example:80\r\n");
    EXPECT_EQ(column(1), (Texts{"[Keine Auswahl]", "a.example"}));

    // Backspace takes a row off the list only; F12 writes the list as shown.
    auto& h = open(list);
    h.lvProxy->clickItem(2);
    h.lvProxy->keyDown(ui::vbKeyBack, 0);
    EXPECT_EQ(TempMachine::readHostFile(file("kxproxy.txt")), list);
    h.lvProxy->keyDown(ui::vbKeyF12, 0);
    EXPECT_EQ(TempMachine::readHostFile(file("kxproxy.txt")), "a.example:80\r\nc.example:82\r\n");
}

TEST_F(ProxyDialog, TheCheckFindsTheFirstOfTheFastestAnonymousRows) {
    outcomes = {{"a.example:80", {1000, "OK", true}},
                {"b.example:81", {500, "OK", false}},
                {"c.example:82", {500, "OK", true}},
                {"d.example:83", {500, "OK", true}},
                {"e.example:84", {3000, "No answer", false}}};
    auto& f =
        open("a.example:80\r\nb.example:81\r\nc.example:82\r\nd.example:83\r\ne.example:84\r\n");
    std::string captionWhileRunning;
    onTest = [&](const std::string&) { captionWhileRunning = f.cmdCheck->caption; };
    f.cmdCheck->click();
    EXPECT_EQ(tested.size(), 5u);
    EXPECT_EQ(captionWhileRunning, "Abbrechen");
    EXPECT_EQ(f.cmdCheck->caption, kCheckCaption);
    // Sorted by the answer as text: the times first, then the failure.
    EXPECT_EQ(column(1), (Texts{"[Keine Auswahl]", "b.example", "c.example", "d.example",
                                "a.example", "e.example"}));
    EXPECT_EQ(column(3), (Texts{"", "0,50", "0,50", "0,50", "1,00", "No answer"}));
    EXPECT_EQ(column(4), (Texts{"", "Nein", "Ja", "Ja", "Ja", "?"}));
    EXPECT_EQ(f.txtIP->text, "c.example");
    EXPECT_EQ(f.txtPort->text, "82");
    EXPECT_TRUE(f.lvProxy->item(2)->selected);
    EXPECT_EQ(f.GetSelected(), 1u);
    ASSERT_EQ(dialogs.shown.size(), 2u);
    EXPECT_EQ(dialogs.shown[0].text, kCheckQuestion);
    EXPECT_EQ(dialogs.shown[1].text, "c.example\r" + std::string(kFastest));
}

TEST_F(ProxyDialog, ACancelledCheckKeepsWhatItTestedAndNoAnswerMeansNoCheck) {
    outcomes = {{"a.example:80", {700, "OK", true}}, {"b.example:81", {700, "OK", true}}};
    auto& f = open("a.example:80\r\nb.example:81\r\n");
    dialogs.messageAnswers = {ui::IDNO};
    f.cmdCheck->click();
    EXPECT_TRUE(tested.empty());

    onTest = [&](const std::string&) { f.cmdCheck->click(); };  // "Abbrechen"
    f.cmdCheck->click();
    EXPECT_EQ(tested, (Texts{"a.example:80"}));
    EXPECT_EQ(column(3), (Texts{"", "", ""}));  // cancelled before its result came
    EXPECT_EQ(f.cmdCheck->caption, kCheckCaption);
    EXPECT_TRUE(f.cmdOK->enabled);
}

TEST_F(ProxyDialog, OkStoresNoneOneOrAChainOfTheSelectedRows) {
    const std::string list = "a.example:80\r\nb.example:81\r\nc.example:82\r\n";
    struct Case {
        const char* what;
        std::vector<std::size_t> clicks;
        const char* ip;    // typed after the clicks (null: as the clicks left it)
        const char* port;  // likewise
        Texts expected;    // AnonymIP, AnonymPort, Proxylist
    };
    const Case cases[] = {
        {"no choice", {0}, nullptr, nullptr, {"", "", ""}},
        {"one row", {2}, nullptr, nullptr, {"b.example", "81", ""}},
        {"a host typed by hand", {}, "proxy.local", "3128", {"proxy.local", "3128", ""}},
        {"several rows", {1, 3}, "a.example", "", {"", "", "a.example:80;c.example:82;"}},
    };
    for (const auto& c : cases) {
        auto& f = open(list);
        for (const auto row : c.clicks) f.lvProxy->clickItem(row);
        if (c.ip != nullptr)
            f.txtIP->setText(c.ip);
        if (c.port != nullptr)
            f.txtPort->setText(c.port);
        f.txtDownloadIP->setText("dl.example");
        f.txtDownloadPort->setText("80x8");
        f.cmdOK->click();
        EXPECT_FALSE(f.isLoaded()) << c.what;
        EXPECT_EQ(
            (Texts{stored(keys::AnonymIP), stored(keys::AnonymPort), stored(keys::Proxylist)}),
            c.expected)
            << c.what;
        EXPECT_EQ(stored(keys::DownLoadProxy), "dl.example");
        EXPECT_EQ(stored(keys::DownLoadPort), "808");  // the port keeps its digits only
    }
}

TEST_F(ProxyDialog, OneRowWithoutAPortMustAnswerBeforeItIsStored) {
    outcomes = {{"b.example:", {100, "No answer", false}}};
    auto& f = open("a.example:80\r\nb.example:81\r\n");
    f.lvProxy->clickItem(2);
    f.txtPort->setText("");
    f.cmdOK->click();
    EXPECT_TRUE(f.isLoaded());
    EXPECT_EQ(tested, (Texts{"b.example:"}));
    EXPECT_EQ(stored(keys::AnonymIP), "-");
    ASSERT_FALSE(dialogs.shown.empty());
    EXPECT_EQ(dialogs.shown.back().text, kUnreachable);
    EXPECT_EQ(ui::focusedControl(), f.txtIP.get());
    ui::setFocusedControl(nullptr);
}

}  // namespace
}  // namespace kx::anonymity
