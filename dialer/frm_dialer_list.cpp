// The dialer warning dialog; see frm_dialer_list.hpp.
#include "dialer/frm_dialer_list.hpp"

#include <vector>

#include "core/shared_state.hpp"
#include "dialer/dialup_entries.hpp"
#include "platform/network/dialup.hpp"
#include "platform/runtime/translation.hpp"
#include "platform/ui/dialogs.hpp"

namespace kx::dialer {
namespace {
namespace ui = platform::ui;
}  // namespace

std::string removedMessage() {
    return platform::trf(
        "Die verdächtigen DFÜ Verbindungen wurden entfernt. {1} wiederholt die "
        "Prüfung auf verdächtige Verbindungen bei jedem Reinigungsvorgang",
        {shared().applicationTitle});
}

frmDialerList::frmDialerList() : FormBase(std::string(platform::tr("KOLVANEX 3 - Warnhinweis"))) {
    name = "frmDialerList";
    width = 7200;
    height = 4800;
    lblWarnung = add<ui::Label>("lblWarnung");
    lblWarnung->caption = platform::tr(kDialerWarning);
    lvDialer = add<ui::ListView>("lvDialer");
    lvDialer->addColumn(std::string(platform::tr("Name der DFÜ Verbindung")), 3600);
    lvDialer->addColumn(std::string(platform::tr("Telefonnummer")), 2400);
    cmdRemove = add<ui::CommandButton>("cmdRemove");
    cmdRemove->caption = platform::tr("&Verbindungen entfernen");
    cmdOK = add<ui::CommandButton>("cmdOK");
    cmdOK->caption = "OK";
    cmdOK->isDefault = true;
    // A script that answers yes to the warning wants the entries gone.
    yesButton = "cmdRemove";

    cmdRemove->Click = [this] { removeEntries(); };
    cmdOK->Click = [this] { unload(); };
}

void frmDialerList::addFinding(const std::string& entryName, const std::string& digits) {
    lvDialer->add(entryName)->setSubItem(1, digits);
}

bool frmDialerList::removeEntries() {
    // The names first: a message box lets the loop run, and the rows must not
    // change under the loop.
    std::vector<std::string> names;
    for (const auto& row : lvDialer->items()) names.push_back(row->text);
    bool failed = false;
    for (const auto& entryName : names) {
        const platform::DWORD rc = platform::RasDeleteEntryA(nullptr, entryName.c_str());
        if (rc != 0) {
            ui::dialogs().messageBox(dialupErrorText(rc), shared().applicationTitle,
                                     kDeleteFailedFlags);
            failed = true;
        }
    }
    if (failed)
        return false;
    ui::dialogs().messageBox(removedMessage(), shared().applicationTitle, kRemovedFlags);
    unload();
    return true;
}

}  // namespace kx::dialer
