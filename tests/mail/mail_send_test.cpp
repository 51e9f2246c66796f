// The anonymous mail: frmMail's checks and its send through remailer
// stand-ins served on loopback, filled by a real Chromium.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "fsys/file_access.hpp"
#include "mail/frm_mail.hpp"
#include "platform/browser/internet_explorer.hpp"
#include "platform/ui/cursor.hpp"
#include "platform/ui/dialogs.hpp"
#include "platform/ui/view.hpp"
#include "settings/keys.hpp"
#include "support/scripted_ui.hpp"
#include "support/temp_machine.hpp"
#include "support/web_server.hpp"

namespace kx::mail {
namespace {
namespace ui = platform::ui;
using test::WebServer;
using namespace std::chrono_literals;

// Status lines and the bar, as the progress window would show them.
class RecordingProgress final : public ProgressSink {
  public:
    std::function<void(std::string_view)> onLine;
    void status(std::string_view line) noexcept override {
        lines.emplace_back(line);
        if (onLine)
            onLine(line);
    }
    std::shared_ptr<ui::ProgressBar> bar() override { return bar_; }
    void closeAfter(std::int32_t ms) override { closedAfter = ms; }
    std::shared_ptr<frmProgress> openWindow() override { return nullptr; }

    std::vector<std::string> lines;
    std::optional<std::int32_t> closedAfter;

  private:
    std::shared_ptr<ui::ProgressBar> bar_ = std::make_shared<ui::ProgressBar>("pbBar");
};

// Live processes (not zombies waiting for their parent) of these groups.
int liveProcesses(const std::vector<pid_t>& groups) {
    int n = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const auto pid = entry.path().filename().string();
        if (pid.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::ifstream stat(entry.path() / "stat");
        std::string line((std::istreambuf_iterator<char>(stat)), {});
        const auto close = line.rfind(')');
        if (close == std::string::npos)
            continue;
        char state = 'Z';
        int parent = 0, group = 0;
        std::istringstream(line.substr(close + 2)) >> state >> parent >> group;
        if (state != 'Z' && state != 'X' && std::ranges::count(groups, group) > 0)
            ++n;
    }
    return n;
}

std::string decode(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            out += ' ';
        } else if (text[i] == '%' && i + 2 < text.size()) {
            out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// The fields of a posted form.
std::map<std::string, std::string> fields(const std::string& body) {
    std::map<std::string, std::string> out;
    std::size_t start = 0;
    while (start <= body.size()) {
        const auto end = std::min(body.find('&', start), body.size());
        const auto pair = std::string_view(body).substr(start, end - start);
        const auto eq = pair.find('=');
        if (eq != std::string_view::npos)
            out[decode(pair.substr(0, eq))] = decode(pair.substr(eq + 1));
        start = end + 1;
    }
    return out;
}

std::string page(const std::string& inner, const std::string& title = "Remailer") {
    return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>" + title +
           "</title></head><body>" + inner + "</body></html>";
}

const std::string kTo = "o'brien+\"x\"@example.org";
const std::string kSubject = "Grüße \"ÄÖÜ\" <b>&amp;";
const std::string kMessage = "Zeile 1\r\n');alert(1);('\r\n</textarea><script>boom()</script>";

class MailTest : public ::testing::Test, protected test::ScriptedUi {
  protected:
    void SetUp() override {
        if (!platform::browser::findPrograms())
            GTEST_SKIP() << "Chromium and chromedriver are not installed (apt-get install "
                            "chromium chromium-driver)";
        ::setenv("KOLVANEX_BROWSER_LOOPBACK_ONLY", "1", 1);
    }
    void TearDown() override {
        ::unsetenv("KOLVANEX_BROWSER_LOOPBACK_ONLY");
        form.reset();
        EXPECT_FALSE(groups.empty());
        EXPECT_EQ(liveProcesses(groups), 0) << "a browser outlived its send";
    }

    static platform::MachineConfig config(WebServer& web) {
        auto c = platform::MachineConfig::defaults();
        for (int k = 1; k <= 6; ++k)
            c.endpoints["remailer" + std::to_string(k)] = web.url("/s" + std::to_string(k));
        return c;
    }

    // A stand-in: the form page at the service's path, and "sent" beside it
    // answering with a result page.
    void standIn(int k, const std::string& formPath, const std::string& body,
                 const std::string& resultTitle = "Danke") {
        const std::string base = "/s" + std::to_string(k) + formPath;
        web.serve(base, WebServer::Resource{.body = page(body), .contentType = "text/html"});
        const auto folder = base.substr(0, base.rfind('/') + 1);
        web.serve(folder + "sent",
                  WebServer::Resource{.body = page("ok", resultTitle), .contentType = "text/html"});
    }

    std::vector<test::RecordedRequest> requestsTo(const std::string& prefix) const {
        std::vector<test::RecordedRequest> out;
        for (const auto& r : web.requests())
            if (r.path().starts_with(prefix))
                out.push_back(r);
        return out;
    }
    // The fields of the last form posted to the service.
    std::map<std::string, std::string> posted(int k) const {
        const auto all = requestsTo("/s" + std::to_string(k) + "/");
        for (auto it = all.rbegin(); it != all.rend(); ++it)
            if (it->method == "POST")
                return fields(it->body);
        return {};
    }

    frmMail& send(bool multi, bool anonym = false) {
        MailContext context{host,
                            progress,
                            [this] { return ++sessions, true; },
                            [this] { cleanedQuietly = host.gbQuiet; },
                            [this] { events.push_back("popup killer"); },
                            {}};
        context.timings.fill = {.settle = 200ms, .poll = 100ms, .pageLimit = 4s};
        context.timings.resultWait = 500ms;
        context.timings.finalWait = 0ms;
        context.timings.closeWait = 0ms;
        progress.onLine = [this](std::string_view line) {
            events.emplace_back(line);
            if (cancelOn == line)
                host.gbBreak = true;
        };
        form = std::make_shared<frmMail>(std::move(context));
        form->load();
        form->txtTo->setText(kTo);
        form->txtBetreff->setText(kSubject);
        form->txtMessage->setText(kMessage);
        form->chkMulti->setValue(multi ? 1 : 0);
        form->chkAnonym->setValue(anonym ? 1 : 0);
        form->cmdOK->click();
        return *form;
    }

    WebServer web;
    test::TempMachine machine{config(web)};
    SharedState host;
    RecordingProgress progress;
    std::shared_ptr<frmMail> form;
    std::vector<std::string> events;
    std::string cancelOn;
    int sessions = 0;
    std::optional<bool> cleanedQuietly;
    // Every browser of the test, with the process group of its driver.
    std::vector<pid_t> groups;
    std::atomic<pid_t> lastGroup{0};
    platform::ObjectFactoryScope browsers{
        std::string(platform::browser::kInternetExplorerProgId), [this] {
            auto ie = std::make_shared<platform::browser::InternetExplorer>(
                platform::browser::threadBrowserOptions());
            lastGroup = ie->processGroup();
            groups.push_back(lastGroup);
            return ie;
        }};
};

TEST_F(MailTest, EveryServiceGetsItsFieldsWhateverItsPageLooksLike) {
    // Upper-case names; a frameset; a disclaimer; no submit button; a result
    // without a title; a hidden and a read-only field.
    standIn(1, "/email.htm",
            "<form method=post action=sent><input name=\"EMAIL[TO]\"><input "
            "name=\"Email[Subject]\"><textarea name=\"EMAIL[TEXT]\"></textarea><input "
            "type=submit></form>");
    web.serve(
        "/s2/anonemail_de.html",
        WebServer::Resource{
            .body = "<html><head><title>Rahmen</title></head><frameset rows=\"50%,50%\"><frame "
                    "src=\"head.html\"><frame src=\"form.html\"></frameset>"
                    "</html>",
            .contentType = "text/html"});
    standIn(2, "/head.html", "<p>Kopf ohne Formular</p>");
    standIn(2, "/form.html",
            "<form method=post action=sent><input name=to><input name=subject><textarea "
            "name=text></textarea><input type=submit></form>");
    standIn(3, "/cgi-bin/mail.cgi",
            "<form method=post action=sent><input name=to><input name=subject><textarea "
            "name=body></textarea><input type=checkbox name=disclaimer value=ja><input "
            "type=submit></form>");
    standIn(4, "/anon_remailer.htm",
            "<form method=post action=sent><input name=to><input name=subject><textarea "
            "name=message></textarea></form>");
    standIn(5, "/speech/anonymous/remailer.html",
            "<form method=post action=sent><input name=to><input name=subject><textarea "
            "name=message></textarea><input type=submit></form>",
            "");
    standIn(6, "/service/anonym-mailen/index.html", "");
    web.serve("/s6/service/anonym-mailen/",
              WebServer::Resource{.body = page("<form method=post action=sent><input type=hidden "
                                               "name=sendMail><input name=getMail readonly><input "
                                               "name=subject><textarea name=message></textarea>"
                                               "<button type=submit>Los</button></form>"),
                                  .contentType = "text/html"});

    auto& sent = send(true);

    EXPECT_EQ(sent.successCount(), 6);
    using Fields = std::map<std::string, std::string>;
    const Fields mails[] = {
        {{"EMAIL[TO]", kTo}, {"Email[Subject]", kSubject}, {"EMAIL[TEXT]", kMessage}},
        {{"to", kTo}, {"subject", kSubject}, {"text", kMessage}},
        {{"to", kTo}, {"subject", kSubject}, {"body", kMessage}, {"disclaimer", "ja"}},
        {},  // nothing to click, and the browser is not visible
        {{"to", kTo}, {"subject", kSubject}, {"message", kMessage}},
        {{"sendMail", host.applicationTitle},
         {"getMail", kTo},
         {"subject", kSubject},
         {"message", kMessage}},
    };
    for (int k = 1; k <= 6; ++k) EXPECT_EQ(posted(k), mails[k - 1]) << "service " << k;

    const std::vector<std::string> expected{
        "Anonyme E-Mail wird initialisiert...",
        "Initialisiere anonymisierenden Remailer...",
        "E-Mail abgeschickt über anonymisierenden Remailer",
        "Initialisiere anonyme E-Mail per HTTP...",
        "E-Mail abgeschickt per HTTP",
        "Initialisiere anonyme E-Mail per HTTPS...",
        "E-Mail abgeschickt per HTTPS",
        "Initialisiere anonyme E-Mail per Remailer...",
        "popup killer",
        "E-Mail abgeschickt per Remailer",
        "Initialisiere Remailer...",
        web.url("/s5/speech/anonymous/sent"),  // the result page has no title
        "Initialisiere Remailer...",
        "E-Mail abgeschickt per Remailer",
        std::string(kMailSent)};
    EXPECT_EQ(events, expected);
    EXPECT_EQ(progress.closedAfter, 5000);
    EXPECT_FALSE(sent.isLoaded());
    EXPECT_EQ(sessions, 0);
    EXPECT_EQ(cursor.current(), ui::MousePointer::Default);
}

TEST_F(MailTest, AStuckPageOrADeadBrowserFailsOnlyItsServiceAndOneMailStopsTheSend) {
    web.serve("/s1/email.htm", WebServer::Resource{.neverAnswer = true});
    web.serve("/s2/anonemail_de.html", WebServer::Resource{.handler = [&](const auto&) {
                  ::kill(-lastGroup.load(), SIGKILL);
                  return page("zu spät");
              }});
    standIn(3, "/cgi-bin/mail.cgi",
            "<form method=post action=sent><input name=to><input type=submit></form>");
    standIn(4, "/anon_remailer.htm", "<form></form>");

    auto& sent = send(false);

    EXPECT_EQ(sent.successCount(), 1);
    EXPECT_EQ(posted(3), (std::map<std::string, std::string>{{"to", kTo}}));
    EXPECT_TRUE(requestsTo("/s4/").empty());  // one mail is enough without "multiple"
    const std::vector<std::string> expected{
        "Anonyme E-Mail wird initialisiert...",
        "Initialisiere anonymisierenden Remailer...",
        "Die Seite " + web.url("/s1/email.htm") +
            " wurde nicht rechtzeitig geladen; der Dienst wird übersprungen.",
        "Initialisiere anonyme E-Mail per HTTP...",
        "Der Browser wurde während des Versands beendet; der Dienst wird übersprungen.",
        "Initialisiere anonyme E-Mail per HTTPS...",
        "E-Mail abgeschickt per HTTPS",
        std::string(kMailSent)};
    EXPECT_EQ(events, expected);
}

TEST_F(MailTest, CancelAfterTheSecondServiceLeavesTheRestUntried) {
    for (int k : {1, 2})
        standIn(k, k == 1 ? "/email.htm" : "/anonemail_de.html",
                "<form method=post action=sent><input name=to><input type=submit></form>");
    cancelOn = "E-Mail abgeschickt per HTTP";

    auto& sent = send(true);

    EXPECT_EQ(sent.successCount(), 2);
    for (int k = 3; k <= 6; ++k) EXPECT_TRUE(requestsTo("/s" + std::to_string(k) + "/").empty());
    EXPECT_EQ(progress.lines.back(), kMailSent);
    EXPECT_FALSE(progress.closedAfter);  // the closing show is skipped after a cancel
}

TEST_F(MailTest, AnAnonymousSessionSendsThePagesThroughItsProxyScript) {
    // The remailer's name resolves nowhere: only the session's proxy (this
    // loopback server, which serves the stand-in itself) reaches it.
    const auto ini = machine.prefix() / "machine.ini";
    auto text = test::TempMachine::readHostFile(ini);
    text.replace(text.find(web.url("/s1")), web.url("/s1").size(), "remailer1.test");
    machine.writeHostFile(ini, text);
    machine.reopen();
    web.serve("/email.htm", WebServer::Resource{.body = page("<form method=post action=sent>"
                                                             "<input name=\"email[to]\"><input "
                                                             "type=submit></form>"),
                                                .contentType = "text/html"});
    machine.writeHostFile(
        machine.host("C:\\") / "kx.js",
        "function FindProxyForURL(url, host) { return \"PROXY " + web.hostPort() + "\"; }");
    fsys::FileAccess().SetAutoConfigURL("file://C:\\kx.js", "", 5);

    auto& sent = send(false, true);

    EXPECT_EQ(sessions, 1);
    EXPECT_EQ(sent.successCount(), 1);
    const auto requests = web.requests();
    EXPECT_TRUE(std::ranges::any_of(requests, [](const auto& r) {
        return r.method == "POST" && r.target == "http://remailer1.test/sent" &&
               fields(r.body) == std::map<std::string, std::string>{{"email[to]", kTo}};
    }));
}

TEST_F(MailTest, TheSignInSitesSubmitButtonIsNeverClickedDirectly) {
    // The submit pass clicks the button outside the form, which sends
    // nothing; only the last step clicks the form's own button.
    standIn(1, "/f.htm",
            "<input type=submit name=outside><form method=post action=sent><input name=to>"
            "<input type=submit></form>");
    for (const bool excepted : {false, true}) {
        web.clearRequests();
        ASSERT_TRUE(
            settings::write(settings::keys::SignInSite, excepted ? "127.0.0.1:" : "x.invalid"));
        const auto browser = platform::CreateObject(platform::browser::kInternetExplorerProgId);
        const std::vector<CFormEntry> entries{{"TO", "a@b.c"}};
        EXPECT_EQ(fillWebForm(*browser, web.url("/s1/f.htm"), entries,
                              {.settle = 100ms, .poll = 100ms, .pageLimit = 4s}),
                  FillResult::Submitted);
        std::this_thread::sleep_for(500ms);
        EXPECT_EQ(posted(1).empty(), excepted);
        browser->call("quit", {});
    }
}

TEST_F(MailTest, AnAddressNobodyAnswersGivesNoDocumentAndAQuitBrowserAnswers462) {
    const auto browser = platform::CreateObject(platform::browser::kInternetExplorerProgId);
    EXPECT_EQ(fillWebForm(*browser, "http://127.0.0.1:1/", {}, {.settle = 100ms, .poll = 100ms}),
              FillResult::NoDocument);
    EXPECT_EQ(platform::toBool(browser->get("Busy")), false);
    browser->call("quit", {});
    try {
        browser->get("document");
        ADD_FAILURE() << "a quit browser still answered";
    } catch (const platform::RuntimeError& error) {
        EXPECT_EQ(error.number, platform::browser::kBrowserGone);
    }
    EXPECT_EQ(fillWebForm(*browser, web.url("/"), {}, {}), FillResult::BrowserGone);
}

// ---- without a browser -------------------------------------------------------------

class MailFormTest : public ::testing::Test, protected test::ScriptedUi {
  protected:
    frmMail& open() {
        MailContext context{
            host,  progress, [this] { return session; }, [this] { cleanedQuietly = host.gbQuiet; },
            [] {}, {}};
        context.timings.fill = {.settle = 0ms, .poll = 0ms, .pageLimit = 0ms};
        context.timings.resultWait = context.timings.finalWait = context.timings.closeWait = 0ms;
        form = std::make_shared<frmMail>(std::move(context));
        form->load();
        return *form;
    }

    test::TempMachine machine;
    // No browser can be created here.
    platform::ObjectFactoryScope noBrowser{std::string(platform::browser::kInternetExplorerProgId),
                                           [] { return nullptr; }};
    SharedState host;
    RecordingProgress progress;
    std::shared_ptr<frmMail> form;
    bool session = true;
    std::optional<bool> cleanedQuietly;
};

TEST_F(MailFormTest, TheRecipientMustLookLikeAnAddressAndTheMessageMustHaveText) {
    struct Case {
        std::string to, message;
        std::string_view refusal;  // "" = accepted
    };
    const Case cases[] = {
        {"a@b.c", "x", ""},
        {"anna@example.org", "  Hallo ", ""},
        {"anna@example", "x", kNoRecipient},
        {"anna.example.org", "x", kNoRecipient},
        {"", "x", kNoRecipient},
        {"a@b.c", "   ", kNoMessage},
    };
    for (const auto& c : cases) {
        dialogs.shown.clear();
        auto& mail = open();
        mail.tsTab->select(2);
        mail.txtTo->setText(c.to);
        mail.txtMessage->setText(c.message);
        mail.cmdOK->click();
        ASSERT_FALSE(dialogs.shown.empty()) << c.to;
        if (c.refusal.empty()) {
            // Accepted: every service is tried and none has a browser.
            EXPECT_EQ(dialogs.shown.size(), 6u);
            EXPECT_EQ(dialogs.shown[0].text, kNoBrowser);
            EXPECT_EQ(progress.lines.back(), kMailNotSent);
            EXPECT_FALSE(mail.isLoaded());
            continue;
        }
        EXPECT_EQ(dialogs.shown.size(), 1u) << c.to;
        EXPECT_EQ(dialogs.shown[0].text, c.refusal);
        EXPECT_EQ(dialogs.shown[0].flags, kRefusedFlags);
        EXPECT_EQ(mail.tsTab->selectedIndex, 1);
        EXPECT_TRUE(mail.find<ui::Frame>("A")->visible);
        EXPECT_FALSE(mail.find<ui::Frame>("B")->visible);
        EXPECT_EQ(ui::focusedControl(), c.refusal == kNoRecipient
                                            ? static_cast<ui::Control*>(mail.txtTo.get())
                                            : mail.txtMessage.get());
        EXPECT_TRUE(mail.isLoaded());
    }
}

TEST_F(MailFormTest, FocusSelectsTheWholeTextAndCtrlTabSwitchesPages) {
    auto& mail = open();
    EXPECT_EQ(ui::focusedControl(), mail.txtTo.get());
    mail.txtBetreff->setText("Grüße");
    mail.focus(*mail.txtBetreff);
    EXPECT_EQ(mail.txtBetreff->selStart, 0);
    EXPECT_EQ(mail.txtBetreff->selLength, 5);
    mail.keyDown(ui::vbKeyTab, ui::vbCtrlMask);
    EXPECT_EQ(mail.tsTab->selectedIndex, 2);
    EXPECT_FALSE(mail.find<ui::Frame>("A")->visible);  // only the options page shows
    EXPECT_TRUE(mail.find<ui::Frame>("B")->visible);
    EXPECT_EQ(mail.chkMulti->value, 1);
    EXPECT_EQ(mail.chkAnonym->value, 0);
}

TEST_F(MailFormTest, AFailedSessionSendsNothingAndCleaningRunsQuietlyWhenConfirmed) {
    session = false;
    for (const auto answer : {ui::IDYES, ui::IDNO}) {
        progress.lines.clear();
        cleanedQuietly.reset();
        auto& mail = open();
        mail.txtTo->setText("a@b.c");
        mail.txtMessage->setText("x");
        mail.chkAnonym->setValue(1);
        mail.chkMailClean->setValue(1);
        dialogs.messageAnswers = {answer};
        mail.cmdOK->click();
        EXPECT_EQ(dialogs.shown.back().text, kAskClean);
        std::vector<std::string> expected{"Anonyme E-Mail wird initialisiert...",
                                          std::string(kMailNotSent)};
        if (answer == ui::IDYES)
            expected.insert(expected.end(),
                            {"Vernichte Internetspuren...", "Internetspuren wurden vernichtet"});
        EXPECT_EQ(progress.lines, expected);
        EXPECT_EQ(cleanedQuietly, answer == ui::IDYES ? std::optional(true) : std::nullopt);
        EXPECT_FALSE(host.gbQuiet);
    }
}

}  // namespace
}  // namespace kx::mail
