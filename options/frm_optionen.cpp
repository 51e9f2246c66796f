// The settings dialog and the exception pattern dialog; see frm_optionen.hpp.
#include "options/frm_optionen.hpp"

#include <algorithm>
#include <optional>

#include "anonymity/frm_optionen_proxy.hpp"
#include "anonymity/proxy_list.hpp"
#include "anonymity/sessions.hpp"
#include "core/shared_state.hpp"
#include "core/text_rules.hpp"
#include "fsys/file_access.hpp"
#include "platform/runtime/text.hpp"
#include "platform/runtime/translation.hpp"
#include "platform/ui/dialogs.hpp"
#include "services/processes.hpp"
#include "services/registry_import.hpp"
#include "services/utilities.hpp"
#include "settings/cregistry.hpp"
#include "settings/key_info.hpp"
#include "settings/keys.hpp"
#include "settings/locations.hpp"
#include "settings/registry_access.hpp"
#include "settings/system_info.hpp"

namespace kx::options {
namespace {

namespace ui = platform::ui;
namespace keys = settings::keys;
using platform::tr;
using platform::trMark;
using settings::SettingKey;

constexpr std::string_view kProxyTip = trMark(
    "Diese Experten-Option können Sie auswählen, wenn Sie bestimmte Proxy-Server selbst "
    "auswählen möchten. Normalerweise ist das nicht nötig, da {1} automatisch nach den "
    "schnellsten momentan verfügbaren Proxy-Servern sucht.");
constexpr std::string_view kMeterTip = trMark(
    "Bitte beachten Sie, dass das Starten einer anonymen Internet-Sitzung etwas länger dauert, "
    "wenn Sie hier einen hohen Wert einstellen. Dafür ist der Grad der Anonymität höher, denn "
    "jeder weitere Proxy-Server erschwert es, Ihre Spur im Internet zu verfolgen.");

// The tab captions of pages 1 to 6 and the keys the tabs carry.
constexpr std::array<std::string_view, 6> kTabCaptions{
    trMark("&Internet-Spuren"), trMark("&Ausnahmen"),        trMark("Anon&ym surfen"),
    trMark("B&rowser"),         trMark("&0190/0900 Dialer"), trMark("IE Popup-B&locker")};
constexpr int kDialerPage = 5;
constexpr int kPopupPage = 6;

// Geometry in twips: the form, its tab strip and the pages on it.
constexpr std::int32_t kPageLeft = 240, kPageTop = 540, kPageWidth = 7440, kPageHeight = 5280;
constexpr std::int32_t kRow = 270, kBoxHeight = 255;

constexpr std::string_view kTrue = "True";
constexpr std::string_view kFalse = "False";

using platform::wholeNumber;

bool inRange(std::string_view text, settings::KeyRange range) {
    const auto value = wholeNumber(text);
    return value && *value >= range.low && *value <= range.high;
}

std::int16_t checkState(const SettingKey& key) {
    const auto value = wholeNumber(settings::read(key));
    if (!value)
        return 0;
    return *value == 2 ? std::int16_t{2} : static_cast<std::int16_t>(*value != 0);
}

bool choiceState(const SettingKey& key) {
    return CBoolEx(Variant(settings::read(key)));
}

void writeCheck(const SettingKey& key, const ui::CheckBox& box) {
    (void)settings::write(key, std::to_string(box.value));
}

void writeChoice(const SettingKey& key, const ui::OptionButton& option) {
    (void)settings::write(key, option.value ? kTrue : kFalse);
}

void setSliderFromText(ui::Slider& slider, std::string_view text) {
    const long value = wholeNumber(text).value_or(slider.min());
    slider.setValue(static_cast<std::int32_t>(std::clamp<long>(value, slider.min(), slider.max())));
}

void enable(ui::Control& control, bool on) {
    control.enabled = on;
    control.refresh();
}

void selectAll(ui::TextBox& box) {
    box.selStart = 0;
    box.selLength = static_cast<std::int32_t>(box.text.size());
    box.refresh();
}

std::string exceptionFilePath() {
    return AddBackslash(settings::GetPrivatePath()) + std::string(kExceptionFile);
}

bool sessionRunning(const SettingKey& key) {
    const auto text = settings::read(key, settings::Reader::Engine);
    return text == "1" || CBoolEx(Variant(text));
}

}  // namespace

// ---------------------------------------------------------------------------

frmFileSelect::frmFileSelect() : FormBase(std::string(tr("Datei auswählen"))) {
    name = "frmFileSelect";
    width = 6000;
    height = 1800;
    lblName = add<ui::Label>("lblName");
    lblName->caption = tr("&Datei oder Muster (z.B. *.doc):");
    lblName->move(120, 120, 5640, 255);
    txtName = add<ui::TextBox>("txtName");
    txtName->move(120, 420, 5160, 315);
    cmdSel = add<ui::CommandButton>("cmdSel");
    cmdSel->caption = "...";
    cmdSel->move(5400, 420, 360, 315);
    cmdOK = add<ui::CommandButton>("cmdOK");
    cmdOK->caption = "OK";
    cmdOK->isDefault = true;
    cmdOK->move(3000, 900, 1335, 375);
    cmdCan = add<ui::CommandButton>("cmdCan");
    cmdCan->caption = tr("Abbrechen");
    cmdCan->cancel = true;
    cmdCan->move(4440, 900, 1335, 375);

    cmdSel->Click = [this] {
        Long owner = hWnd;
        std::string filter(tr("Alle Dateien (*.*)|*.*"));
        std::string title(tr("Datei auswählen"));
        std::string folder = settings::GetPrivatePath();
        const auto chosen = ShowOpenDlg(owner, filter, title, folder);
        if (!chosen.empty())
            txtName->setText(chosen);
    };
    cmdOK->Click = [this] {
        accepted = true;
        unload();
    };
    cmdCan->Click = [this] { unload(); };
}

// ---------------------------------------------------------------------------

frmOptionen::frmOptionen() : FormBase(std::string(tr("KOLVANEX 3 - Einstellungen"))) {
    name = "frmOptionen";
    width = 7935;
    height = 6900;
    keyPreview = true;

    tsTab = add<ui::TabStrip>("tsTab");
    tsTab->move(120, 120, 7680, 5820);
    for (std::size_t i = 0; i < picContainer.size(); ++i) {
        auto& page = picContainer[i];
        page = add<ui::Frame>("picContainer(" + std::to_string(i) + ")");
        page->border = false;
        page->move(kPageLeft, kPageTop, kPageWidth, kPageHeight);
        page->visible = i == 0;
    }
    auto in = [](ui::Control& control, const ui::Control& container, std::int32_t x, std::int32_t y,
                 std::int32_t w, std::int32_t h) {
        control.container = container.name();
        control.move(x, y, w, h);
    };
    auto box = [&](const char* controlName, std::string_view words, const ui::Control& container,
                   std::int32_t x, std::int32_t y, std::int32_t w, std::string_view tag = {}) {
        auto check = add<ui::CheckBox>(controlName);
        check->caption = std::string(words);
        check->tag = tag;
        in(*check, container, x, y, w, kBoxHeight);
        return check;
    };
    auto frame = [&](const char* controlName, std::string_view words, const ui::Control& container,
                     std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h) {
        auto f = add<ui::Frame>(controlName);
        f->caption = std::string(words);
        in(*f, container, x, y, w, h);
        return f;
    };

    // Page 1: what a cleaning run removes, how files are destroyed, extras.
    const auto& p1 = *picContainer[0];
    const std::int32_t col1 = 120, colWidth = 3480;
    int row = 0;
    auto next = [&] { return 120 + kRow * row++; };
    chkTemporaere = box("chkTemporäre", tr("&Temporäre Dateien löschen"), p1, col1, next(),
                        colWidth, kCleaningTag);
    chkTemporaereINet = box("chkTemporäreINet", tr("Temporäre &Internet-Dateien löschen"), p1, col1,
                            next(), colWidth, kCleaningTag);
    chkCookies =
        box("chkCookies", tr("&Cookies löschen"), p1, col1, next(), colWidth, kCleaningTag);
    chkVerlauf =
        box("chkVerlauf", tr("&Dokumentenmenü leeren"), p1, col1, next(), colWidth, kCleaningTag);
    chkHistory = box("chkHistory", tr("&Verlauf und eingegebene Adressen löschen"), p1, col1,
                     next(), colWidth, kCleaningTag);
    chkTrash = box("chkTrash", tr("&Papierkorb leeren"), p1, col1, next(), colWidth, kCleaningTag);
    chkPagefile = box("chkPagefile", tr("Aus&lagerungsdatei beim Beenden leeren"), p1, col1, next(),
                      colWidth);
    chkAutoFill = box("chkAutoFill", tr("Auto&Vervollständigen abschalten"), p1, col1, next(),
                      colWidth, kCleaningTag);
    chkKaazaa = box("chkKaazaa", tr("&KaZaA-Suchbegriffe löschen"), p1, col1, next(), colWidth,
                    kCleaningTag);
    chkJunkFiles = box("chkJunkFiles", tr("Überflüssige Dateien &wöchentlich entfernen"), p1, col1,
                       next(), colWidth, kCleaningTag);

    fraExtras = frame("fraExtras", tr("Extras"), p1, col1, 3000, colWidth, 1440);
    chkBoss = box("chkBoss", tr("&Boss-Key (Windows-Taste + C)"), *fraExtras, 120, 240, 3240);
    chkAutoIE = box("chkAutoIE", tr("Reinigen, wenn der &Browser beendet wird"), *fraExtras, 120,
                    510, 3240);
    chkAutoStart = box("chkAutoStart", tr("Mit Windows &starten"), *fraExtras, 120, 780, 3240);
    chkNoStatus = box("chkNoStatus", tr("Status&anzeige abschalten"), *fraExtras, 120, 1050, 3240);

    const std::int32_t col2 = 3720, col2Width = 3600;
    fraBlock = frame("fraBlock", tr("Blockieren && Scannen"), p1, col2, 0, col2Width, 1680);
    chkCleanDownloaded = box("chkCleanDownloaded", tr("&Heruntergeladene Programmdateien"),
                             *fraBlock, 120, 240, 3360, kCleaningTag);
    chkAntiVir =
        box("chkAntiVir", tr("Täglicher Vi&rencheck"), *fraBlock, 120, 510, 3360, kCleaningTag);
    chkNoFlash = box("chkNoFlash", tr("&Flash-Animationen blockieren"), *fraBlock, 120, 780, 3360);
    chkMessenger = box("chkMessenger", tr("&Messenger-Dienst abschalten"), *fraBlock, 120, 1050,
                       3360, kCleaningTag);
    chkAntiSpy = box("chkAntiSpy", tr("Windows XP A&ntiSpy-Einstellungen"), *fraBlock, 120, 1320,
                     3360, kCleaningTag);

    fraDelete = frame("fraDelete", tr("Löschmodus für Dateien"), p1, col2, 1800, col2Width, 2640);
    chkSecurityMode = box("chkSecurityMode", tr("Sicherheits&modus"), *fraDelete, 120, 240, 3360);
    chkCrypt = box("chkCrypt", tr("Vor dem Löschen verschl&üsseln"), *fraDelete, 360, 510, 3120);
    chkDeleteIt =
        box("chkDeleteIt", tr("Vor dem Löschen übersc&hreiben"), *fraDelete, 360, 780, 3120);
    lblN[0] = add<ui::Label>("lblN(0)");
    lblN[0]->caption = tr("Anzahl:");
    in(*lblN[0], *fraDelete, 600, 1110, 900, 255);
    txtN = add<ui::TextBox>("txtN");
    txtN->maxLength = 2;
    in(*txtN, *fraDelete, 1560, 1080, 450, 285);
    lblN[1] = add<ui::Label>("lblN(1)");
    lblN[1]->caption = tr("Durchgänge (1 - 99)");
    in(*lblN[1], *fraDelete, 2070, 1110, 1440, 255);
    auto lblValue = add<ui::Label>("lblValue");
    lblValue->caption = tr("Wert:");
    in(*lblValue, *fraDelete, 600, 1470, 900, 255);
    txtValue = add<ui::TextBox>("txtValue");
    txtValue->maxLength = 3;
    in(*txtValue, *fraDelete, 1560, 1440, 450, 285);
    auto lblValueRange = add<ui::Label>("lblValueRange");
    lblValueRange->caption = tr("Byte (0 - 255)");
    in(*lblValueRange, *fraDelete, 2070, 1470, 1440, 255);
    chkGutmann =
        box("chkGutmann", tr("&Gutmann-Methode (35 Durchgänge)"), *fraDelete, 120, 1920, 3360);

    // Page 2: the exception list.
    const auto& p2 = *picContainer[1];
    lvAusnahmen = add<ui::ListView>("lvAusnahmen");
    lvAusnahmen->addColumn(std::string(tr("Beizubehaltende Dateien")), 6900);
    in(*lvAusnahmen, p2, 120, 120, 7200, 4440);
    cmdAdd = add<ui::CommandButton>("cmdAdd");
    cmdAdd->caption = tr("&Hinzufügen...");
    in(*cmdAdd, p2, 4080, 4740, 1575, 375);
    cmdRemove = add<ui::CommandButton>("cmdRemove");
    cmdRemove->caption = tr("En&tfernen");
    in(*cmdRemove, p2, 5760, 4740, 1575, 375);

    // Page 3: anonymous surfing.
    const auto& p3 = *picContainer[2];
    lblAnoMeter = add<ui::Label>("lblAnoMeter");
    lblAnoMeter->caption =
        "Über wie viele anonyme Proxy-Server sollen Ihre Internet-Sitzungen geleitet werden?";
    in(*lblAnoMeter, p3, 120, 240, 7200, 480);
    slAnoMeter = add<ui::Slider>("slAnoMeter");
    slAnoMeter->setMax(settings::ranges::NProxys.high);
    slAnoMeter->setMin(settings::ranges::NProxys.low);
    slAnoMeter->largeChange = 1;
    in(*slAnoMeter, p3, 120, 840, 7200, 600);
    cmdSetProxy = add<ui::CommandButton>("cmdSetProxy");
    cmdSetProxy->caption = tr("&Proxy-Server auswählen...");
    in(*cmdSetProxy, p3, 120, 1800, 3000, 375);

    // Page 4: the browser of anonymous sessions.
    const auto& p4 = *picContainer[3];
    auto option = [&](const char* controlName, std::string_view words, const ui::Control& container,
                      std::int32_t y) {
        auto o = add<ui::OptionButton>(controlName);
        o->caption = std::string(words);
        in(*o, container, 120, y, 7200, 285);
        return o;
    };
    optIE = option("optIE", "&Internet Explorer", p4, 120);
    optOpera = option("optOpera", "&Opera", p4, 450);
    optMozilla = option("optMozilla", "&Mozilla", p4, 780);
    optMozillaFireFox = option("optMozillaFireFox", "Mozilla &Firefox", p4, 1110);
    optNetscape = option("optNetscape", "&Netscape", p4, 1440);
    optAOL = option("optAOL", "&AOL", p4, 1770);
    chkIEToolbar = box("chkIEToolbar", tr("&Browser-Leiste im Internet Explorer anzeigen"), p4, 120,
                       2400, 7200);

    // Page 5: the dialer watch.
    const auto& p5 = *picContainer[4];
    lblDialerCheckTime = add<ui::Label>("lblDialerCheckTime");
    in(*lblDialerCheckTime, p5, 120, 240, 7200, 255);
    slDialerCheckTime = add<ui::Slider>("slDialerCheckTime");
    slDialerCheckTime->setMax(settings::ranges::DialerCheckTime.high);
    slDialerCheckTime->smallChange = 10;
    slDialerCheckTime->largeChange = 60;
    in(*slDialerCheckTime, p5, 120, 600, 7200, 600);
    lblNoDialerNumbers = add<ui::Label>("lblNoDialerNumbers");
    lblNoDialerNumbers->caption = tr("&Erlaubte Rufnummern (durch ; getrennt):");
    in(*lblNoDialerNumbers, p5, 120, 1440, 7200, 255);
    txtNoDialerNumbers = add<ui::TextBox>("txtNoDialerNumbers");
    in(*txtNoDialerNumbers, p5, 120, 1740, 7200, 315);

    // Page 6: the popup blocker.
    const auto& p6 = *picContainer[5];
    optPopOff = option("optPopOff", tr("Popup-Blocker &aus"), p6, 240);
    optPopupStep1 = option("optPopupStep1",
                           tr("Stufe &1: Neue Fenster nur bei gedrückter Strg-Taste"), p6, 570);
    optPopupStep2 = option("optPopupStep2", tr("Stufe &2: Keine neuen Fenster"), p6, 900);
    chkPopSound = box("chkPopSound", tr("&Ton abspielen, wenn ein Popup-Fenster blockiert wurde"),
                      p6, 120, 1440, 7200);

    cmdOK = add<ui::CommandButton>("cmdOK");
    cmdOK->caption = "OK";
    cmdOK->isDefault = true;
    cmdOK->move(4920, 6060, 1335, 375);
    cmdCan = add<ui::CommandButton>("cmdCan");
    cmdCan->caption = tr("Schließen");
    cmdCan->cancel = true;
    cmdCan->move(6360, 6060, 1335, 375);

    // Behaviour.
    tsTab->Click = [this] {
        const auto index = static_cast<std::size_t>(tsTab->selectedIndex);
        if (index >= 1 && index <= tabPages_.size())
            showPage(tabPages_[index - 1]);
    };
    KeyDown = [this](std::int16_t& keyCode, std::int16_t shift) {
        if (keyCode == ui::vbKeyTab && (shift & ui::vbCtrlMask) != 0) {
            ChangeTabControl(*tsTab, keyCode, shift);
            tsTab->Click();
            keyCode = 0;
        } else if (keyCode == ui::vbKeyF1) {
            keyCode = 0;
            Help(hWnd);
        }
    };
    chkAutoStart->Click = [this] { onAutoStart(); };
    chkSecurityMode->Click = [this] { onSecurityMode(); };
    chkGutmann->Click = [this] {
        if (chkGutmann->value == 1)
            chkSecurityMode->setValue(0);
    };
    chkDeleteIt->Click = [this] { onDeleteIt(); };
    for (const auto& browser :
         {optIE, optOpera, optMozilla, optMozillaFireFox, optNetscape, optAOL})
        browser->Click = [this] { onBrowser(); };
    slAnoMeter->Change = [this] {
        if (!loading_ && slAnoMeter->value() > 1) {
            (void)settings::write(keys::AnonymIP, "");
            (void)settings::write(keys::AnonymPort, "");
        }
    };
    slDialerCheckTime->Change = [this] { onDialerSlider(); };
    slDialerCheckTime->Scroll = [this] { onDialerSlider(); };
    cmdSetProxy->Click = [this] { onSetProxy(); };
    txtN->GotFocus = [this] { selectAll(*txtN); };
    txtValue->GotFocus = [this] { selectAll(*txtValue); };
    txtN->LostFocus = [this] { (void)checkN(); };
    txtValue->LostFocus = [this] { (void)checkValue(); };
    cmdAdd->Click = [this] { onAdd(); };
    cmdRemove->Click = [this] {
        if (const auto index = lvAusnahmen->selectedIndex())
            lvAusnahmen->remove(*index);
    };
    cmdOK->Click = [this] { (void)save(); };
    cmdCan->Click = [this] { unload(); };
}

void frmOptionen::onLoad() {
    FormBase::onLoad();
    const std::string title = shared().applicationTitle;
    proxyTip_ = std::make_unique<CMToolTipp>();
    proxyTip_->Create(*this, true, true);
    proxyTip_->AddControl(cmdSetProxy, platform::trf(kProxyTip, {title}));
    meterTip_ = std::make_unique<CMToolTipp>();
    meterTip_->Create(*this, true, true);
    meterTip_->AddControl(slAnoMeter, std::string(tr(kMeterTip)));
    meterTip_->SetToolTipTitle(std::string(tr("Information")), CMToolTipp::kIconInformation);

    tabPages_ = {1, 2, 3, 4, 5, 6};
    if (settings::Betriebssystem() == "Windows NT") {
        auto& dialerPage = *picContainer[kDialerPage - 1];
        dialerPage.visible = false;
        dialerPage.enabled = false;
        tabPages_.erase(tabPages_.begin() + (kDialerPage - 1));
    }
    tsTab->tabs.clear();
    for (const int page : tabPages_)
        tsTab->tabs.emplace_back(tr(kTabCaptions[static_cast<std::size_t>(page - 1)]));
    tsTab->selectedIndex = 1;
    showPage(1);

    loadValues();
}

void frmOptionen::loadValues() {
    loading_ = true;
    for (const auto& [box, key] : checkKeys()) box->value = checkState(*key);
    txtN->setText(settings::read(keys::DeleteN));
    txtValue->setText(settings::read(keys::DeleteValue));
    setSliderFromText(*slAnoMeter, settings::read(keys::NProxys));
    setSliderFromText(*slDialerCheckTime, settings::read(keys::DialerCheckTime));
    txtNoDialerNumbers->setText(settings::read(keys::NoDialerNumbers));
    for (const auto& [option, key] : choiceKeys()) option->value = choiceState(*key);

    fsys::FileAccess files;
    const auto path = exceptionFilePath();
    lvAusnahmen->clear();
    if (files.Exists(path)) {
        auto lines = anonymity::splitListLines(files.ReadText(path));
        if (!lines.empty() && lines.back().empty())
            lines.pop_back();
        for (auto& line : lines) lvAusnahmen->add(std::move(line));
    }

    // The dependent controls follow the loaded values.
    onAutoStart();
    onSecurityMode();
    onDeleteIt();
    onBrowser();
    onDialerSlider();
    for (const auto& control : controls) control->refresh();
    loading_ = false;
}

std::vector<std::pair<ui::CheckBox*, const SettingKey*>> frmOptionen::checkKeys() const {
    return {{chkTemporaere.get(), &keys::TempFiles},
            {chkTemporaereINet.get(), &keys::INetTempFiles},
            {chkCookies.get(), &keys::Cookies},
            {chkVerlauf.get(), &keys::Recent},
            {chkHistory.get(), &keys::History},
            {chkTrash.get(), &keys::Trashcan},
            {chkPagefile.get(), &keys::ClearPageFile},
            {chkAutoFill.get(), &keys::AutoFillOff},
            {chkKaazaa.get(), &keys::KaazaaSearch},
            {chkJunkFiles.get(), &keys::Junk},
            {chkCleanDownloaded.get(), &keys::DownloadedProgramFiles},
            {chkAntiVir.get(), &keys::AntiVirus},
            {chkNoFlash.get(), &keys::NoFlash},
            {chkMessenger.get(), &keys::MessengerOff},
            {chkAntiSpy.get(), &keys::AntiSpy},
            {chkSecurityMode.get(), &keys::SecurityMode},
            {chkCrypt.get(), &keys::Encrypt},
            {chkDeleteIt.get(), &keys::DeleteIt},
            {chkGutmann.get(), &keys::Gutmann},
            {chkBoss.get(), &keys::Bosskey},
            {chkAutoIE.get(), &keys::AutostartIE},
            {chkAutoStart.get(), &keys::Autostart},
            {chkNoStatus.get(), &keys::NoStatus},
            {chkIEToolbar.get(), &keys::IEToolbar},
            {chkPopSound.get(), &keys::IEPopSound}};
}

std::vector<std::pair<ui::OptionButton*, const SettingKey*>> frmOptionen::choiceKeys() const {
    return {{optIE.get(), &keys::BrowserIsIE},
            {optOpera.get(), &keys::BrowserIsOpera},
            {optMozilla.get(), &keys::BrowserIsMozilla},
            {optMozillaFireFox.get(), &keys::BrowserIsMozillaFireFox},
            {optNetscape.get(), &keys::BrowserIsNetscape},
            {optAOL.get(), &keys::BrowserIsAOL},
            {optPopOff.get(), &keys::IEPopKillerOff},
            {optPopupStep1.get(), &keys::IEPopKillerStep1},
            {optPopupStep2.get(), &keys::IEPopKillerStep2}};
}

void frmOptionen::showPage(int page) {
    shownPage_ = page;
    for (std::size_t i = 0; i < picContainer.size(); ++i) {
        picContainer[i]->visible = static_cast<int>(i) + 1 == page;
        picContainer[i]->refresh();
    }
}

void frmOptionen::selectPage(int page) {
    const auto found = std::find(tabPages_.begin(), tabPages_.end(), page);
    if (found == tabPages_.end())
        return;
    tsTab->select(static_cast<std::int32_t>(found - tabPages_.begin()) + 1);
    showPage(page);
}

void frmOptionen::selectLastPage() {
    selectPage(kPopupPage);
}

void frmOptionen::onAutoStart() {
    if (chkAutoStart->value == 1) {
        enable(*chkNoStatus, true);
    } else {
        chkNoStatus->setValue(0);
        enable(*chkNoStatus, false);
    }
}

void frmOptionen::onSecurityMode() {
    if (chkSecurityMode->value == 1) {
        enable(*chkCrypt, true);
        enable(*chkDeleteIt, true);
        chkGutmann->setValue(0);
    } else {
        chkCrypt->setValue(0);
        chkDeleteIt->setValue(0);
        enable(*chkCrypt, false);
        enable(*chkDeleteIt, false);
    }
    onDeleteIt();
}

void frmOptionen::onDeleteIt() {
    const bool on = chkDeleteIt->value == 1;
    enable(*txtN, on);
    enable(*lblN[0], on);
    enable(*lblN[1], on);
}

void frmOptionen::onBrowser() {
    if (optIE->value) {
        enable(*chkIEToolbar, true);
    } else {
        chkIEToolbar->setValue(0);
        enable(*chkIEToolbar, false);
    }
}

void frmOptionen::onDialerSlider() {
    std::string text(tr(kDialerCheckLabel));
    text.replace(text.find('$'), 1, std::to_string(slDialerCheckTime->value()));
    lblDialerCheckTime->setCaption(text);
}

void frmOptionen::onSetProxy() {
    anonymity::ShowOptionenProxy();
    if (!settings::read(keys::AnonymIP).empty())
        slAnoMeter->setValue(1);
    const auto chain = settings::read(keys::Proxylist);
    if (!chain.empty()) {
        // The highest index of the chain split at ";", minus one.
        const auto highest = static_cast<long>(std::count(chain.begin(), chain.end(), ';'));
        setSliderFromText(*slAnoMeter, std::to_string(highest - 1));
    }
}

void frmOptionen::onAdd() {
    auto select = std::make_shared<frmFileSelect>();
    select->show(true);
    if (select->accepted)
        lvAusnahmen->add(select->txtName->text);
    select->unload();
}

bool frmOptionen::checkN() {
    if (inRange(txtN->text, settings::ranges::DeleteN))
        return true;
    ui::dialogs().messageBox(std::string(tr(kRangeN)), shared().applicationTitle,
                             ui::MB_ICONINFORMATION);
    ui::setFocusedControl(txtN.get());
    return false;
}

bool frmOptionen::checkValue() {
    if (inRange(txtValue->text, settings::ranges::DeleteValue))
        return true;
    ui::dialogs().messageBox(std::string(tr(kRangeValue)), shared().applicationTitle,
                             ui::MB_ICONINFORMATION);
    ui::setFocusedControl(txtValue.get());
    return false;
}

std::vector<std::shared_ptr<ui::CheckBox>> frmOptionen::checkBoxes() const {
    std::vector<std::shared_ptr<ui::CheckBox>> boxes;
    for (const auto& control : controls)
        if (auto box = std::dynamic_pointer_cast<ui::CheckBox>(control))
            boxes.push_back(std::move(box));
    return boxes;
}

std::array<bool, 6> frmOptionen::chosenBrowser() const {
    return {optIE->value,       optOpera->value, optMozilla->value, optMozillaFireFox->value,
            optNetscape->value, optAOL->value};
}

bool frmOptionen::save() {
    if (!checkValue() || !checkN())
        return false;
    const auto boxes = checkBoxes();
    if (std::none_of(boxes.begin(), boxes.end(),
                     [](const auto& box) { return box->tag == kCleaningTag && box->value == 1; })) {
        ui::dialogs().messageBox(std::string(tr(kChooseOne)), shared().applicationTitle,
                                 ui::MB_ICONINFORMATION);
        return false;
    }
    const std::array<bool, 6> storedBrowser{
        choiceState(keys::BrowserIsIE),       choiceState(keys::BrowserIsOpera),
        choiceState(keys::BrowserIsMozilla),  choiceState(keys::BrowserIsMozillaFireFox),
        choiceState(keys::BrowserIsNetscape), choiceState(keys::BrowserIsAOL)};

    storeValues();
    endSessionsOnBrowserChange(storedBrowser);

    const std::string title = shared().applicationTitle;
    settings::AutoStart(chkAutoStart->value == 1,
                        AddBackslash(shared().KXAppPath) + title + ".Exe /AUTO", title);

    std::string exceptions;
    for (const auto& item : lvAusnahmen->items()) exceptions += item->text + "\r\n";
    fsys::FileAccess files;
    (void)files.WriteText(exceptionFilePath(), exceptions);

    (void)settings::write(keys::DialerCheckTime, std::to_string(slDialerCheckTime->value()));
    (void)settings::write(keys::NoDialerNumbers, txtNoDialerNumbers->text);

    const auto system = settings::Betriebssystem();
    if (system == "Windows XP" || system == "Windows 2000" || system == "Windows NT") {
        settings::CRegistry memory;
        memory.ProductName = "CurrentControlSet\\Control\\Session Manager\\Memory Management";
        if (memory.WriteMachineSYSTEMInformationLong("", "ClearPageFileAtShutdown",
                                                     chkPagefile->value) != 0)
            ui::dialogs().messageBox(settings::RegFailMsg(), title, ui::MB_ICONINFORMATION);
    }

    applyPopupBlocker();
    (void)settings::RegEdit(AddBackslash(shared().KXAppPath) +
                            (chkNoFlash->value == 1 ? "FlashOff.reg" : "FlashOn.reg"));
    anonymity::ShowBrowserBar();
    unload();
    return true;
}

void frmOptionen::storeValues() {
    for (const auto& [box, key] : checkKeys()) writeCheck(*key, *box);
    writeCheck(keys::Security, *chkSecurityMode);
    (void)settings::write(keys::DeleteN, std::to_string(*wholeNumber(txtN->text)));
    (void)settings::write(keys::DeleteValue, std::to_string(*wholeNumber(txtValue->text)));
    (void)settings::write(keys::NProxys, std::to_string(slAnoMeter->value()));
    for (const auto& [option, key] : choiceKeys()) writeChoice(*key, *option);
    (void)settings::write(keys::Proxylist, "");
}

void frmOptionen::endSessionsOnBrowserChange(const std::array<bool, 6>& storedBrowser) {
    if (chosenBrowser() == storedBrowser)
        return;
    // A session set up for one browser is not carried over to another.
    if (sessionRunning(keys::AnoSession) || sessionRunning(keys::AnoSafeSession))
        anonymity::SetAnonymSessionOff();
    if (sessionRunning(keys::SafeSession) || sessionRunning(keys::AnoSafeSession))
        anonymity::SetSafeSessionOff();
    for (const auto* key : {&keys::AnoSession, &keys::AnoSafeSession, &keys::SafeSession})
        (void)settings::write(*key, "0");
}

void frmOptionen::applyPopupBlocker() {
    const std::string entry = shared().applicationTitle + " Popupblocker";
    const std::string program = AddBackslash(shared().KXAppPath) + "KXPopup.Exe";
    const std::string sound = chkPopSound->value == 1 ? " /SOUND" : "";
    if (optPopOff->value)
        settings::AutoStart(false, "", entry);
    else if (optPopupStep1->value)
        settings::AutoStart(true, program + " /STEP1" + sound, entry);
    else if (optPopupStep2->value)
        settings::AutoStart(true, program + " /STEP2" + sound, entry);
    CloseKXPopupKiller();
    StartThePopupKiller();
}

// ---------------------------------------------------------------------------

namespace {

void showOptions(int page) {
    auto form = std::make_shared<frmOptionen>();
    form->load();
    form->selectPage(page);
    form->show(true);
    form->unload();
}

}  // namespace

void ShowOptionen() {
    showOptions(1);
}

void ShowOptionenPopupBlocker() {
    showOptions(kPopupPage);
}

void ShowProxyOptionen() {
    showOptions(3);
}

}  // namespace kx::options
