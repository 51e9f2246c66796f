// What an English-speaking user reads of the anonymous mail: the dialog's
// captions, its refusal of a mail without a recipient, and the status lines
// of a send on a machine where no browser starts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mail/frm_mail.hpp"
#include "platform/browser/internet_explorer.hpp"
#include "platform/runtime/automation_objects.hpp"
#include "support/language.hpp"
#include "support/scripted_ui.hpp"
#include "support/temp_machine.hpp"

namespace kx::mail {
namespace {

namespace ui = platform::ui;

class RecordedLines final : public ProgressSink {
  public:
    void status(std::string_view line) noexcept override { lines.emplace_back(line); }
    std::shared_ptr<ui::ProgressBar> bar() override { return bar_; }
    void closeAfter(std::int32_t) override {}
    std::shared_ptr<frmProgress> openWindow() override { return nullptr; }

    std::vector<std::string> lines;

  private:
    std::shared_ptr<ui::ProgressBar> bar_ = std::make_shared<ui::ProgressBar>("pbBar");
};

class EnglishMail : public ::testing::Test, protected test::ScriptedUi {
  protected:
    test::TempMachine machine;
    SharedState host;
    RecordedLines progress;
    // No browser starts on this machine.
    platform::ObjectFactoryScope noBrowser{
        std::string(platform::browser::kInternetExplorerProgId), []() -> platform::DispatchRef {
            throw platform::RuntimeError{429, "ActiveX component can't create object"};
        }};
};

TEST_F(EnglishMail, TheDialogAndItsSendSpeakEnglishInEnglish) {
    KX_ONLY_IN_ENGLISH();
    MailContext context{host, progress, [] { return true; }, nullptr, nullptr, {}};
    context.timings.finalWait = std::chrono::milliseconds(0);
    frmMail form(std::move(context));
    form.load();
    form.cmdOK->click();  // no recipient yet
    ASSERT_EQ(dialogs.shown.size(), 1u);
    const std::string refusal = dialogs.shown[0].text;

    form.txtTo->setText("a@b.example");
    form.txtMessage->setText("Hello");
    form.chkMulti->setValue(0);
    form.cmdOK->click();
    ASSERT_FALSE(progress.lines.empty());
    ASSERT_FALSE(dialogs.shown.empty());

    const struct {
        const char* what;
        std::string text, english;
    } shown[] = {
        {"caption", form.caption, "KOLVANEX 3 - Send anonymous e-mail"},
        {"tabs", form.tsTab->tabs[0] + "|" + form.tsTab->tabs[1], "Message|Options"},
        {"send button", form.cmdOK->caption, "Se&nd"},
        {"refusal", refusal, "Please enter an e-mail address for the recipient!"},
        {"first status", progress.lines.front(), "Preparing the anonymous e-mail..."},
        {"first service", progress.lines.at(1), "Preparing the anonymising remailer..."},
        {"no browser", dialogs.shown.back().text, "Internet Explorer could not be started!"},
        {"outcome", progress.lines.back(),
         "Your e-mail could not be sent. Please connect to the Internet if necessary and try "
         "again later."},
    };
    for (const auto& s : shown) EXPECT_EQ(s.text, s.english) << s.what;
}

}  // namespace
}  // namespace kx::mail
