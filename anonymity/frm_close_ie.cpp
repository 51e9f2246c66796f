// The question before a new browser session; see frm_close_ie.hpp.
#include "anonymity/frm_close_ie.hpp"

#include "platform/runtime/translation.hpp"
#include "services/processes.hpp"
#include "settings/keys.hpp"

namespace kx::anonymity {
namespace {
namespace ui = platform::ui;
}  // namespace

frmCloseIE::frmCloseIE() : FormBase("KOLVANEX 3") {
    name = "frmCloseIE";
    width = 6300;
    height = 2200;
    lblFrage = add<ui::Label>("lblFrage");
    lblFrage->caption = platform::tr(
        "Sollen alle laufenden Browser-Instanzen geschlossen werden, bevor eine neue "
        "Internet-Sitzung mit den aktuellen Sicherheitseinstellungen gestartet wird?");
    chkDontAsk = add<ui::CheckBox>("chkDontAsk");
    chkDontAsk->caption = platform::tr("&Diese Frage in Zukunft nicht mehr stellen");
    cmdOK = add<ui::CommandButton>("cmdOK");
    cmdOK->caption = platform::tr("&Ja");
    cmdOK->isDefault = true;
    cmdHome = add<ui::CommandButton>("cmdHome");
    cmdHome->caption = platform::tr("&Nein");
    cmdHome->cancel = true;

    cmdOK->Click = [this] {
        CloseAllIESessions();
        tag = "OK";
        hide();
    };
    cmdHome->Click = [this] {
        tag.clear();
        hide();
    };
    Unload = [this](bool&) {
        (void)settings::write(settings::keys::CloseSessions, chkDontAsk->value == 1 ? "1" : "0");
    };
}

}  // namespace kx::anonymity
