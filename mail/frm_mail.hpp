#pragma once
// frmMail: the anonymous mail dialog. The user writes a recipient, a subject
// and a message; Senden fills the web forms of up to six remailers, each in a
// browser of its own (remailers.hpp, web_fill.hpp), with the progress and
// outcome as status lines. Optionally an anonymous session starts first and
// the local internet tracks are destroyed afterwards. The dialog closes after
// a send; none of its options is stored.
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

#include "core/shared_state.hpp"
#include "mail/remailers.hpp"
#include "mail/web_fill.hpp"
#include "platform/runtime/translation.hpp"
#include "platform/ui/controls.hpp"
#include "services/form_base.hpp"
#include "services/progress.hpp"

namespace kx::mail {

// The dialog's messages, shown in the user's language (tr).
inline constexpr std::string_view kNoRecipient =
    platform::trMark("Bitte geben Sie eine E-Mail Adresse für den Empfänger an!");
inline constexpr std::string_view kNoMessage =
    platform::trMark("Bitte geben Sie einen E-Mail Text ein!");
inline constexpr std::string_view kNoBrowser =
    platform::trMark("Der Internet-Explorer konnte nicht gestartet werden!");
inline constexpr std::string_view kMailSent = platform::trMark("Ihre E-Mail wurde verschickt.");
inline constexpr std::string_view kMailNotSent = platform::trMark(
    "Ihre E-Mail konnte nicht verschickt werden. Bitte stellen Sie ggf. eine "
    "Internetverbindung her und versuchen Sie es später noch einmal.");
inline constexpr std::string_view kAskClean =
    platform::trMark("Lokale Internetspuren jetzt vernichten?");

/// Message box flags: system-modal information; system-modal Yes/No question.
inline constexpr std::uint32_t kRefusedFlags = 4160;
inline constexpr std::uint32_t kAskCleanFlags = 4132;
inline constexpr std::uint32_t kNoBrowserFlags = 48;

/// The waits of a send.
struct SendTimings {
    FillTimings fill;
    /// Services whose result page takes a while wait this long after the fill.
    std::chrono::milliseconds resultWait{5000};
    /// Before the final status.
    std::chrono::milliseconds finalWait{3000};
    /// After each browser is quit.
    std::chrono::milliseconds closeWait{500};
    /// How long the progress window stays with the final status.
    std::int32_t progressClose = 5000;
};

/// What a send works with, handed in by the public class.
struct MailContext {
    SharedState& host;  // gbBreak, gbQuiet, the application title
    ProgressSink& progress;
    std::function<bool()> startSession;      // SetAnonymSessionOn
    std::function<void()> cleanTracks;       // track discovery and cleaning, stored settings
    std::function<void()> startPopupKiller;  // StartKXPopupKiller(" /STEP1")
    SendTimings timings;
};

class frmMail final : public FormBase {
  public:
    explicit frmMail(MailContext context);

    std::shared_ptr<platform::ui::TabStrip> tsTab;
    std::shared_ptr<platform::ui::Label> lblIntro;
    std::shared_ptr<platform::ui::Label> lblTo;
    std::shared_ptr<platform::ui::TextBox> txtTo;
    std::shared_ptr<platform::ui::Label> lblBetreff;
    std::shared_ptr<platform::ui::TextBox> txtBetreff;
    std::shared_ptr<platform::ui::Label> lblMessage;
    std::shared_ptr<platform::ui::TextBox> txtMessage;
    std::shared_ptr<platform::ui::CheckBox> chkAnonym;
    std::shared_ptr<platform::ui::CheckBox> chkMulti;
    std::shared_ptr<platform::ui::CheckBox> chkMailClean;
    std::shared_ptr<platform::ui::CommandButton> cmdOK;
    std::shared_ptr<platform::ui::CommandButton> cmdCan;

    /// The browser slots, one per service; filled only during a send.
    std::array<platform::DispatchRef, 6> browsers;

    /// cmdOK: validates, sends through the services, reports, optionally
    /// cleans, closes the dialog and quits the browsers.
    void send();
    /// A browser in slot i, showing "about:blank", kept on top and
    /// invisible; false (after telling the user) when none can be started.
    bool IE(std::size_t slot);
    /// Quits the browser of every filled slot.
    void IEClose();
    /// Services whose page was loaded and submitted in the last send.
    int successCount() const { return successes_; }
    /// Gives a control the input focus, as the user's Tab or click does.
    void focus(platform::ui::Control& control);

  private:
    bool sendThrough(std::size_t slot, const MailText& mail);
    void refuse(platform::ui::Control& field, std::string_view message);

    MailContext context_;
    int successes_ = 0;
};

/// ShowAnoMail: shows frmMail modally; returns when it is closed.
void ShowAnoMail(MailContext context);

}  // namespace kx::mail
