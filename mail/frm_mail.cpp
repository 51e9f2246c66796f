// The anonymous mail dialog; see frm_mail.hpp.
#include "mail/frm_mail.hpp"

#include <vector>

#include "fsys/file_access.hpp"
#include "platform/browser/internet_explorer.hpp"
#include "platform/machine/machine.hpp"
#include "platform/runtime/text.hpp"
#include "platform/runtime/translation.hpp"
#include "platform/runtime/wildcard.hpp"
#include "platform/ui/cursor.hpp"
#include "platform/ui/dialogs.hpp"
#include "services/utilities.hpp"

namespace kx::mail {
namespace {
namespace pf = platform;
namespace ui = platform::ui;
using platform::tr;

inline constexpr std::string_view kBrowserEnded = platform::trMark(
    "Der Browser wurde während des Versands beendet; der Dienst wird übersprungen.");
inline constexpr std::string_view kIntro = platform::trMark(
    "Hier können Sie eine anonyme E-Mail abschicken. Der Empfänger der E-Mail kann später nicht "
    "erkennen von wem diese E-Mail abgeschickt wurde.");

// Runs a step whose failure changes nothing about the send (a progress bar
// that refuses a value, a browser that refuses a call).
template <typename F>
void quietly(F&& step) {
    try {
        step();
    } catch (const pf::RuntimeError&) {
    }
}

// The proxy script Internet Explorer's LAN settings name, as an address a
// browser of this machine can open: a session's script lies on the machine,
// so its Windows path becomes the host's.
std::string lanProxyScript() {
    std::string url;
    std::int32_t flags = 0;
    fsys::FileAccess().GetAutoConfigURL("", url, flags);
    constexpr std::string_view kFile = "file://";
    if (url.size() <= kFile.size() || pf::vbLCase(url.substr(0, kFile.size())) != kFile)
        return url;
    const auto host = pf::currentMachine().resolve(std::string_view(url).substr(kFile.size()));
    return host ? "file://" + host->string() : std::string();
}

// The thread's browsers start with the session's script for the scope.
class ProxyScriptScope {
  public:
    explicit ProxyScriptScope(std::string url)
        : saved_(
              std::exchange(pf::browser::threadBrowserOptions().proxyScriptUrl, std::move(url))) {}
    ~ProxyScriptScope() { pf::browser::threadBrowserOptions().proxyScriptUrl = saved_; }
    ProxyScriptScope(const ProxyScriptScope&) = delete;
    ProxyScriptScope& operator=(const ProxyScriptScope&) = delete;

  private:
    std::string saved_;
};

}  // namespace

frmMail::frmMail(MailContext context)
    : FormBase(std::string(tr("KOLVANEX 3 - Anonyme E-Mail versenden"))),
      context_(std::move(context)) {
    name = "frmMail";
    width = 7800;
    height = 6000;
    keyPreview = true;
    tsTab = add<ui::TabStrip>("tsTab");
    tsTab->tabs = {std::string(tr("Nachricht")), std::string(tr("Optionen"))};
    // The controls of each page carry the page's tab key as their container:
    // a frame without a border, shown while its tab is selected.
    std::vector<ui::Frame*> pages;
    for (const char* key : {"A", "B"}) {
        auto page = add<ui::Frame>(key);
        page->border = false;
        page->visible = pages.empty();
        pages.push_back(page.get());
    }
    const auto showPage = [this, pages] {
        for (std::size_t i = 0; i < pages.size(); ++i) {
            pages[i]->visible = static_cast<std::size_t>(tsTab->selectedIndex) == i + 1;
            pages[i]->refresh();
        }
    };
    tsTab->Click = showPage;
    auto onPage = [](auto control, const char* page) {
        control->container = page;
        return control;
    };
    lblIntro = onPage(add<ui::Label>("lblIntro"), "A");
    lblIntro->caption = tr(kIntro);
    lblTo = onPage(add<ui::Label>("lblTo"), "A");
    lblTo->caption = tr("&Empfänger:");
    txtTo = onPage(add<ui::TextBox>("txtTo"), "A");
    txtTo->toolTipText = tr("E-Mail Adresse des Empfängers");
    lblBetreff = onPage(add<ui::Label>("lblBetreff"), "A");
    lblBetreff->caption = tr("&Betreff:");
    txtBetreff = onPage(add<ui::TextBox>("txtBetreff"), "A");
    txtBetreff->maxLength = 40;
    txtBetreff->toolTipText = tr("Maximal 40 Zeichen");
    lblMessage = onPage(add<ui::Label>("lblMessage"), "A");
    lblMessage->caption = tr("&Nachricht:");
    txtMessage = onPage(add<ui::TextBox>("txtMessage"), "A");
    txtMessage->multiLine = true;
    txtMessage->maxLength = 10000;
    txtMessage->toolTipText =
        tr("Maximal 10.000 Zeichen. <STRG+ENTER> um eine neue Zeile einzufügen");
    chkAnonym = onPage(add<ui::CheckBox>("chkAnonym"), "B");
    chkAnonym->caption =
        tr("&Anonymisierende Internetsitzung starten vor dem Versenden der E-Mail");
    chkAnonym->toolTipText = tr("Verbirgt Ihre Identität vor den Betreibern der E-Mail Dienste");
    chkMulti = onPage(add<ui::CheckBox>("chkMulti"), "B");
    chkMulti->caption = tr("E-Mail über mehrere &Dienste versenden");
    chkMulti->toolTipText =
        tr("Erhöht die Chance, daß Ihre E-Mail ans Ziel kommt. Ggf. erreicht die Mail aber auch "
           "mehrfach den Adressaten");
    chkMulti->value = 1;
    chkMailClean = onPage(add<ui::CheckBox>("chkMailClean"), "B");
    chkMailClean->caption = tr("&Lokale Interntetspuren vernichten nach dem Versand der E-Mail");
    cmdOK = add<ui::CommandButton>("cmdOK");
    cmdOK->caption = tr("&Senden");
    cmdOK->isDefault = true;
    cmdCan = add<ui::CommandButton>("cmdCan");
    cmdCan->caption = tr("Abbrechen");
    cmdCan->cancel = true;

    for (const auto& box : {txtTo, txtBetreff}) {
        box->GotFocus = [raw = box.get()] {
            raw->selStart = 0;
            raw->selLength = static_cast<std::int32_t>(
                platform::characterCount(raw->text));  // characters, not bytes
            raw->refresh();
        };
    }
    KeyDown = [this, showPage](std::int16_t& keyCode, std::int16_t shift) {
        ChangeTabControl(*tsTab, keyCode, shift);
        if (keyCode == ui::vbKeyTab)
            showPage();
    };
    Load = [this] { focus(*txtTo); };
    cmdOK->Click = [this] { send(); };
    cmdCan->Click = [this] { unload(); };
}

void frmMail::focus(ui::Control& control) {
    ui::setFocusedControl(&control);
    if (control.GotFocus) {
        auto handler = control.GotFocus;
        handler();
    }
}

void frmMail::refuse(ui::Control& field, std::string_view message) {
    ui::dialogs().messageBox(std::string(tr(message)), context_.host.applicationTitle,
                             kRefusedFlags);
    tsTab->select(1);
    focus(field);
}

bool frmMail::IE(std::size_t slot) {
    try {
        browsers.at(slot) = pf::CreateObject(pf::browser::kInternetExplorerProgId);
    } catch (const pf::RuntimeError&) {
        ui::dialogs().messageBox(std::string(tr(kNoBrowser)), context_.host.applicationTitle,
                                 kNoBrowserFlags);
        return false;
    }
    auto& browser = *browsers[slot];
    quietly([&] { browser.call("Navigate2", {{"", Variant("about:blank")}}); });
    quietly([&] { FormOnTop(pf::toLong(browser.get("hwnd")), true); });
    return true;
}

void frmMail::IEClose() {
    for (auto& browser : browsers) {
        if (!browser)
            continue;
        quietly([&] { browser->put("Visible", Variant(false)); });
        quietly([&] { browser->call("quit", {}); });
        browser.reset();
        waitWithEvents(context_.timings.closeWait);
    }
}

bool frmMail::sendThrough(std::size_t slot, const MailText& mail) {
    const auto& service = remailerServices()[slot];
    const auto entries = serviceEntries(service, mail);
    auto& progress = context_.progress;
    progress.status(tr(service.statusBefore));
    if (service.popupKillerFirst && context_.startPopupKiller)
        context_.startPopupKiller();
    if (!IE(slot))
        return false;
    const auto url = serviceUrl(service);
    pf::DispatchRef application = browsers[slot];
    quietly([&] { application = pf::asDispatch(browsers[slot]->get("Parent")); });
    auto timings = context_.timings.fill;
    timings.cancel = &context_.host.gbBreak;
    switch (fillWebForm(*application, url, entries, timings)) {
        case FillResult::Submitted:
            break;
        case FillResult::NoDocument:
            return false;
        case FillResult::TimedOut:
            progress.status(platform::trf(
                "Die Seite {1} wurde nicht rechtzeitig geladen; der Dienst wird übersprungen.",
                {url}));
            return false;
        case FillResult::BrowserGone:
            progress.status(tr(kBrowserEnded));
            return false;
    }
    if (service.resultWaits)
        waitWithEvents(context_.timings.resultWait);
    std::string shown(tr(service.statusSuccess));
    quietly([&] {
        const auto document = pf::asDispatch(application->get("document"));
        const auto nameProp = pf::toText(document->get("nameProp"));
        if (pf::vbLCase(nameProp).find("http") != std::string::npos)
            shown = nameProp;
    });
    progress.status(shown);
    ++successes_;
    return true;
}

void frmMail::send() {
    if (!pf::vbLike(txtTo->text, "*@*.*")) {
        refuse(*txtTo, kNoRecipient);
        return;
    }
    if (pf::vbTrim(txtMessage->text).empty()) {
        refuse(*txtMessage, kNoMessage);
        return;
    }
    auto& host = context_.host;
    auto& progress = context_.progress;
    host.gbBreak = false;
    successes_ = 0;
    ui::cursor().set(ui::MousePointer::ArrowHourglass);
    hide();
    ui::yield();
    progress.status(tr("Anonyme E-Mail wird initialisiert..."));

    if (chkAnonym->value != 1 || context_.startSession()) {
        const ProxyScriptScope proxy(lanProxyScript());
        quietly([&] {
            const auto bar = progress.bar();
            bar->setMin(0);
            bar->setMax(static_cast<std::int32_t>(browsers.size()));
            bar->setValue(0);
        });
        const MailText mail{txtTo->text, txtBetreff->text, txtMessage->text, host.applicationTitle};
        for (std::size_t slot = 0; slot < browsers.size(); ++slot) {
            if (sendThrough(slot, mail) && chkMulti->value != 1)
                break;
            quietly([&] { progress.bar()->setValue(static_cast<std::int32_t>(slot + 1)); });
            ui::yield();
            if (host.gbBreak)
                break;
        }
    }

    waitWithEvents(context_.timings.finalWait);
    ui::cursor().set(ui::MousePointer::Default);
    progress.status(tr(successes_ > 0 ? kMailSent : kMailNotSent));

    if (chkMailClean->value == 1 &&
        ui::dialogs().messageBox(std::string(tr(kAskClean)), host.applicationTitle,
                                 kAskCleanFlags) == ui::IDYES) {
        progress.status(tr("Vernichte Internetspuren..."));
        if (!host.gbBreak && context_.cleanTracks) {
            host.gbQuiet = true;
            try {
                context_.cleanTracks();
            } catch (...) {
                host.gbQuiet = false;
                throw;
            }
            host.gbQuiet = false;
            ui::yield();
        }
        progress.status(tr("Internetspuren wurden vernichtet"));
    }

    unload();
    IEClose();
    if (!host.gbBreak) {
        quietly([&] {
            progress.bar();
            if (const auto window = progress.openWindow())
                window->show(false);
            progress.closeAfter(context_.timings.progressClose);
        });
    }
}

void ShowAnoMail(MailContext context) {
    const auto form = std::make_shared<frmMail>(std::move(context));
    form->show(true);
    form->unload();
}

}  // namespace kx::mail
