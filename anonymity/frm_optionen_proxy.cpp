// The proxy selection dialog; see frm_optionen_proxy.hpp.
#include "anonymity/frm_optionen_proxy.hpp"

#include <algorithm>
#include <vector>

#include "anonymity/browser_proxy.hpp"
#include "anonymity/frm_ano_check.hpp"
#include "anonymity/internet_file.hpp"
#include "anonymity/proxy_checker.hpp"
#include "anonymity/proxy_list.hpp"
#include "anonymity/sessions.hpp"
#include "core/shared_state.hpp"
#include "core/text_rules.hpp"
#include "dialer/dialer_check.hpp"
#include "platform/files/files.hpp"
#include "platform/machine/machine.hpp"
#include "platform/processes/command_line.hpp"
#include "platform/runtime/text.hpp"
#include "platform/runtime/translation.hpp"
#include "platform/ui/cursor.hpp"
#include "platform/ui/dialogs.hpp"
#include "platform/ui/message_loop.hpp"
#include "settings/keys.hpp"
#include "settings/locations.hpp"

namespace kx::anonymity {
namespace {

namespace ui = platform::ui;
namespace keys = settings::keys;
using platform::tr;

constexpr std::uint32_t kSystemInfo = ui::MB_SYSTEMMODAL | ui::MB_ICONINFORMATION;  // 4160
constexpr std::uint32_t kQuestion = ui::MB_YESNO | ui::MB_ICONQUESTION;             // 36
constexpr std::uint32_t kNotUpdatedFlags = 112;

// The answer column holds the seconds a proxy took ("0,53") or a failure text.
bool isSeconds(std::string_view text) {
    if (text.empty())
        return false;
    int separators = 0;
    for (const char c : text) {
        if (c == ',' || c == '.')
            ++separators;
        else if (c < '0' || c > '9')
            return false;
    }
    return separators <= 1 && text.front() != ',' && text.front() != '.';
}

std::string proxyOf(const ui::ListItem& row) {
    return std::string(platform::vbTrim(row.text)) + ":" +
           std::string(platform::vbTrim(row.columnText(kColPort)));
}

bool portAboveZero(const ui::ListItem& row) {
    return isProxyPort(row.columnText(kColPort));
}

bool slowChecks() {
    return platform::currentArguments().find("/S") != std::string::npos;
}

// Selects one row alone, although the list allows several.
void selectOnly(ui::ListView& list, std::size_t index) {
    for (const auto& row : list.items()) row->selected = false;
    list.select(index);
    list.ensureVisible(index);
}

void selectAll(ui::TextBox& box) {
    box.selStart = 0;
    box.selLength = static_cast<std::int32_t>(box.text.size());
    box.refresh();
}

}  // namespace

std::string OnlyChars(std::string_view text) {
    return dialer::digitsOnly(text);
}

frmOptionenProxy::frmOptionenProxy() : FormBase(std::string(tr("Proxyeinstellungen"))) {
    name = "frmOptionenProxy";
    width = 7800;
    height = 6900;
    auto label = [this](const char* controlName, std::string_view words, std::int32_t x,
                        std::int32_t y, std::int32_t w, std::int32_t h) {
        auto l = add<ui::Label>(controlName);
        l->caption = words;
        l->move(x, y, w, h);
        return l;
    };
    auto text = [this](const char* controlName, std::int32_t x, std::int32_t y, std::int32_t w) {
        auto t = add<ui::TextBox>(controlName);
        t->move(x, y, w, 315);
        t->GotFocus = [box = t.get()] { selectAll(*box); };
        return t;
    };
    auto button = [this](const char* controlName, std::string_view words, std::int32_t x,
                         std::int32_t y, std::int32_t w) {
        auto b = add<ui::CommandButton>(controlName);
        b->caption = words;
        b->move(x, y, w, 375);
        return b;
    };

    lblAuswahl =
        label("lblAuswahl",
              tr("Wählen Sie hier den/die Server aus, über den/die Ihre Internet-Sitzungen "
                 "anonym ablaufen sollen:"),
              120, 120, 7440, 480);
    lvProxy = add<ui::ListView>("lvProxy");
    lvProxy->addColumn(std::string(tr("Proxy-Server")), 3000);
    lvProxy->addColumn(std::string(tr("Port")), 900);
    lvProxy->addColumn(std::string(tr("Antwort")), 1900);
    lvProxy->addColumn(std::string(tr("Anonym")), 1200);
    lvProxy->multiSelect = true;
    lvProxy->move(120, 600, 7440, 3000);
    lblManuell =
        label("lblManuell", tr("Alternativ können Sie hier auch manuell einen Hostnamen angeben:"),
              120, 3720, 7440, 255);
    lblIP = label("lblIP", tr("&Host:"), 120, 4050, 600, 255);
    txtIP = text("txtIP", 780, 4020, 3600);
    lblPort = label("lblPort", tr("&Port:"), 4560, 4050, 600, 255);
    txtPort = text("txtPort", 5220, 4020, 1000);
    lblDownload = label("lblDownload", tr("Proxy-Server für Downloads:"), 120, 4500, 7440, 255);
    lblDownloadIP = label("lblDownloadIP", tr("&Host:"), 120, 4830, 600, 255);
    txtDownloadIP = text("txtDownloadIP", 780, 4800, 3600);
    lblDownloadPort = label("lblDownloadPort", tr("&Port:"), 4560, 4830, 600, 255);
    txtDownloadPort = text("txtDownloadPort", 5220, 4800, 1000);

    cmdCheck = button("cmdCheck", tr(kCheckCaption), 120, 5400, 2700);
    cmdCheck->toolTipText =
        tr("Prüft alle Server in der Liste auf Erreichbarkeit, Performance und Anonymität");
    cmdProxyTest = button("cmdProxyTest", tr("Server &testen..."), 2940, 5400, 1800);
    cmdProxyTest->toolTipText =
        tr("Prüft den markierten Server in der Liste auf Erreichbarkeit und Anonymität");
    cmdLoadServer = button("cmdLoadServer", tr("Serverliste aktualisieren"), 4860, 5400, 2700);
    cmdLoadServer->toolTipText = tr("Aktuelle Server-Liste aus dem Internet laden");
    cmdOK = button("cmdOK", "OK", 4800, 6000, 1335);
    cmdOK->isDefault = true;
    cmdCan = button("cmdCan", tr("Schließen"), 6225, 6000, 1335);
    cmdCan->cancel = true;

    checker = [](const std::string& proxy, bool& anonymous, std::int32_t seconds) {
        return KXChecker(proxy, anonymous, nullptr, seconds);
    };
    lvProxy->ItemClick = [this](ui::ListItem& row) {
        txtIP->setText(row.text);
        txtPort->setText(row.columnText(kColPort));
    };
    lvProxy->ColumnClick = [this](std::size_t column) {
        const auto key = column - 1;
        const bool again = lvProxy->sorted() && lvProxy->sortKey() == key;
        lvProxy->setSortKey(key);
        lvProxy->setSortOrder(again && lvProxy->sortOrder() == ui::SortOrder::Ascending
                                  ? ui::SortOrder::Descending
                                  : ui::SortOrder::Ascending);
        lvProxy->setSorted(true);
    };
    lvProxy->KeyDown = [this](std::int16_t& keyCode, std::int16_t) { onListKey(keyCode); };
    for (auto* port : {txtPort.get(), txtDownloadPort.get()}) {
        port->Change = [port] {
            if (auto digits = OnlyChars(port->text); digits != port->text)
                port->setText(std::move(digits));
        };
    }
    cmdLoadServer->Click = [this] { loadServer(); };
    cmdCheck->Click = [this] { checkAll(); };
    cmdProxyTest->Click = [this] {
        const auto row = lvProxy->selectedItem();
        if (!row || !portAboveZero(*row))
            return;
        enableButtons(false, true);
        ShowAnoCheck(std::string(platform::vbTrim(row->text)),
                     std::string(platform::vbTrim(row->columnText(kColPort))));
        enableButtons(true, true);
    };
    cmdOK->Click = [this] { (void)save(); };
    cmdCan->Click = [this] { unload(); };
}

void frmOptionenProxy::onLoad() {
    FormBase::onLoad();
    LoadProxy();
    txtIP->setText(settings::read(keys::AnonymIP));
    txtPort->setText(settings::read(keys::AnonymPort));
    if (!txtIP->text.empty()) {
        const auto& rows = lvProxy->items();
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (rows[i]->text == txtIP->text) {
                selectOnly(*lvProxy, i);
                break;
            }
        }
    }
    txtDownloadIP->setText(settings::read(keys::DownLoadProxy));
    txtDownloadPort->setText(settings::read(keys::DownLoadPort));
}

void frmOptionenProxy::LoadProxy() {
    const auto text = platform::files::readAll(proxyListPath());
    if (!text) {
        loadServer();
    } else {
        ui::HourglassCursor busy;
        lvProxy->clear();
        lvProxy->add(std::string(tr(kNoChoice)));
        std::vector<std::string> skipped;
        for (const auto& entry : parseProxyList(*text, &skipped)) {
            auto row = lvProxy->add(entry.sHost);
            row->setSubItem(1, entry.sPort);
            row->setSubItem(2, "");
            row->setSubItem(3, "");
        }
        if (!skipped.empty()) {
            std::string message = platform::trf(
                "{1} Zeile(n) der Serverliste enthalten keinen Proxy-Server und wurden "
                "übersprungen:",
                {std::to_string(skipped.size())});
            for (std::size_t i = 0; i < skipped.size() && i < 5; ++i) message += "\r" + skipped[i];
            if (skipped.size() > 5)
                message += "\r...";
            ui::dialogs().messageBox(message, shared().applicationTitle, ui::MB_ICONINFORMATION);
        }
    }
    lvProxy->toolTipText = platform::trf("{1} Server", {std::to_string(lvProxy->count())});
    lvProxy->refresh();
}

std::size_t frmOptionenProxy::GetSelected() const {
    return static_cast<std::size_t>(
        std::count_if(lvProxy->items().begin(), lvProxy->items().end(),
                      [](const auto& row) { return row->selected && row->text != tr(kNoChoice); }));
}

void frmOptionenProxy::loadServer() {
    const auto list = GetInternetFile(makerUrl(std::string(kRemoteProxyListPath)));
    if (!list.empty() && saveLocalProxyList(list)) {
        LoadProxy();
        ui::dialogs().messageBox(std::string(tr(kListUpdated)), shared().applicationTitle,
                                 kSystemInfo);
    } else {
        ui::dialogs().messageBox(std::string(tr(kListNotUpdated)), shared().applicationTitle,
                                 kNotUpdatedFlags);
    }
}

void frmOptionenProxy::onListKey(std::int16_t& keyCode) {
    const auto selected = lvProxy->selectedIndex();
    switch (keyCode) {
        case ui::vbKeyInsert:
            if (selected) {
                if (SetIEProxy(proxyOf(*lvProxy->item(*selected)))) {
                    ui::MessageLoop::current().sleep(ui::Millis(10));
                    (void)Werbung(makerUrl(std::string(kCheckerEchoPath)));
                }
            }
            break;
        case ui::vbKeyDelete:
            rewriteList(true);
            break;
        case ui::vbKeyBack:
            if (selected && lvProxy->item(*selected)->text != tr(kNoChoice))
                lvProxy->remove(*selected);
            break;
        case ui::vbKeyF12:
            rewriteList(false);
            break;
        default:
            break;
    }
}

void frmOptionenProxy::rewriteList(bool keepOnlyAnonymous) {
    auto& machine = platform::currentMachine();
    const auto path = proxyListPath();
    const auto old = platform::files::readAll(machine, path);
    if (!old)
        return;
    if (keepOnlyAnonymous) {
        // The list as it was stays at hand, since only the proxies that
        // passed the last check survive.
        const auto backup =
            AddBackslash(settings::GetPrivatePath()) + std::string(kProxyListBackupFile);
        if (!platform::files::replaceContent(machine, backup, *old))
            return;
    }
    std::string text;
    for (const auto& row : lvProxy->items()) {
        const bool keep = keepOnlyAnonymous ? isSeconds(row->columnText(kColAnswer)) &&
                                                  row->columnText(kColAnonym) == tr(kAnonymYes)
                                            : portAboveZero(*row);
        if (keep)
            text += proxyOf(*row) + "\r\n";
    }
    if (platform::files::replaceContent(machine, path, text) && keepOnlyAnonymous)
        LoadProxy();
}

void frmOptionenProxy::enableButtons(bool on, bool withCheck) {
    for (auto* b : {cmdProxyTest.get(), cmdLoadServer.get(), cmdOK.get()}) {
        b->enabled = on;
        b->refresh();
    }
    if (withCheck) {
        cmdCheck->enabled = on;
        cmdCheck->refresh();
    }
}

void frmOptionenProxy::checkAll() {
    if (cmdCheck->caption == tr(kCancelCaption)) {
        finishCheck();
        return;
    }
    if (ui::dialogs().messageBox(std::string(tr(kCheckQuestion)), shared().applicationTitle,
                                 kQuestion) == ui::IDNO)
        return;
    cmdCheck->caption = tr(kCancelCaption);
    cmdCheck->refresh();
    enableButtons(false, false);
    ui::cursor().set(ui::MousePointer::Hourglass);
    for (const auto& row : lvProxy->items()) {
        row->setSubItem(2, "");
        row->setSubItem(3, "");
        row->selected = false;
    }
    lvProxy->refresh();

    const bool slow = slowChecks();
    auto& loop = ui::MessageLoop::current();
    // The rows are held, not their places: a sort while the check yields
    // must not make it test or mark the wrong row.
    const std::vector<std::shared_ptr<ui::ListItem>> rows = lvProxy->items();
    std::shared_ptr<ui::ListItem> best;
    double bestTime = 0;
    for (const auto& row : rows) {
        const auto& current = lvProxy->items();
        const auto place = std::find(current.begin(), current.end(), row);
        if (place == current.end())
            continue;
        const auto index = static_cast<std::size_t>(place - current.begin());
        selectOnly(*lvProxy, index);
        if (!portAboveZero(*row))
            continue;
        const auto proxy = proxyOf(*row);
        bool anonymous = false;
        const auto start = loop.now();
        auto answer = checker(proxy, anonymous, slow ? 15 : 3);
        auto elapsed = loop.now() - start;
        if (answer == kCheckerMissing)
            break;
        ui::yield();
        if (slow && answer != kCheckerOK) {
            loop.sleep(ui::Millis(2000));
            const auto again = loop.now();
            answer = checker(proxy, anonymous, 10);
            elapsed = loop.now() - again;
        }
        if (!isLoaded() || cmdCheck->caption != tr(kCancelCaption)) {
            finishCheck();
            return;
        }
        const double seconds = static_cast<double>(elapsed.count()) / 1000.0;
        if (answer != kCheckerOK) {
            row->setSubItem(2, answer);
            row->setSubItem(3, "?");
        } else {
            row->setSubItem(2, formatNumber(seconds, 2));
            row->setSubItem(3, std::string(tr(anonymous ? kAnonymYes : kAnonymNo)));
            if (anonymous && (!best || seconds < bestTime)) {
                best = row;
                bestTime = seconds;
            }
        }
        lvProxy->refresh();
    }
    if (!best) {
        ui::dialogs().messageBox(std::string(tr(kUnreachable)), shared().applicationTitle,
                                 kSystemInfo);
    } else {
        lvProxy->setSortKey(kColAnswer - 1);
        lvProxy->setSortOrder(ui::SortOrder::Ascending);
        lvProxy->setSorted(true);
        const auto& sortedRows = lvProxy->items();
        const auto place = std::find(sortedRows.begin(), sortedRows.end(), best);
        const auto index = static_cast<std::size_t>(place - sortedRows.begin());
        selectOnly(*lvProxy, index);
        txtIP->setText(best->text);
        txtPort->setText(best->columnText(kColPort));
        ui::dialogs().messageBox(best->text + "\r" + std::string(tr(kFastest)),
                                 shared().applicationTitle, kSystemInfo);
    }
    finishCheck();
}

void frmOptionenProxy::finishCheck() {
    cmdCheck->caption = tr(kCheckCaption);
    cmdCheck->refresh();
    (void)SetIEProxy("");
    enableButtons(true, true);
    ui::cursor().set(ui::MousePointer::Default);
}

bool frmOptionenProxy::save() {
    const auto host = txtIP->text;
    const auto port = txtPort->text;
    auto store = [](std::string_view ip, std::string_view ipPort, std::string_view chain) {
        (void)settings::write(keys::AnonymIP, ip);
        (void)settings::write(keys::AnonymPort, ipPort);
        (void)settings::write(keys::Proxylist, chain);
    };
    if (host.empty() || host == tr(kNoChoice)) {
        store("", "", "");
    } else if (!port.empty()) {
        store(host, port, "");
    } else if (GetSelected() == 1) {
        // A proxy that does not answer is not stored.
        const auto proxy = host + ":" + port;
        if (!SetIEProxy(proxy))
            return false;
        bool anonymous = false;
        if (checker(proxy, anonymous, 5) != kCheckerOK) {
            (void)SetIEProxy("");
            ui::dialogs().messageBox(std::string(tr(kUnreachable)), shared().applicationTitle,
                                     ui::MB_ICONINFORMATION);
            ui::setFocusedControl(txtIP.get());
            return false;
        }
        store(host, port, "");
    } else {
        enableButtons(false, true);
        std::string chain;
        for (const auto& row : lvProxy->items())
            if (row->selected && row->text != tr(kNoChoice))
                chain += proxyOf(*row) + ";";
        store("", "", chain);
    }
    (void)settings::write(keys::DownLoadProxy, txtDownloadIP->text);
    (void)settings::write(keys::DownLoadPort, txtDownloadPort->text);
    unload();
    return true;
}

void ShowOptionenProxy() {
    auto form = std::make_shared<frmOptionenProxy>();
    form->show(true);
    form->unload();
}

}  // namespace kx::anonymity
