// The anonymity check window; see frm_ano_check.hpp.
#include "anonymity/frm_ano_check.hpp"

#include "anonymity/proxy_checker.hpp"
#include "platform/runtime/translation.hpp"
#include "platform/ui/cursor.hpp"
#include "platform/ui/message_loop.hpp"

namespace kx::anonymity {
namespace {
namespace ui = platform::ui;
}  // namespace

frmAnoCheck::frmAnoCheck(std::string sHost, std::string sPort)
    : FormBase(std::string(platform::tr("Anonymitätscheck"))),
      sHost_(std::move(sHost)),
      sPort_(std::move(sPort)) {
    name = "frmAnoCheck";
    width = 6000;
    height = 3600;
    lvIP = add<ui::ListView>("lvIP");
    lvIP->addColumn(std::string(platform::tr("IP-Adresse")), 3000);
    imgOK = add<ImageBox>("imgOK");
    imgOK->visible = false;
    imgStop = add<ImageBox>("imgStop");
    imgStop->visible = false;
    lblInfo = add<ui::Label>("lblInfo");
    lblInfo->caption = platform::tr(kAnoCheckTemplate);
    cmdOK = add<ui::CommandButton>("cmdOK");
    cmdOK->caption = "OK";
    cmdOK->isDefault = true;
    cmdOK->cancel = true;
    images = add<ui::ImageList>("images");
    images->add("ok", "ok.ico");
    images->add("stop", "stop.ico");

    cmdOK->Click = [this] { unload(); };
}

void frmAnoCheck::activate() {
    ui::yield();
    ui::HourglassCursor busy;
    bool anonymous = false;
    answer_ = KXChecker(sHost_ + ":" + sPort_, anonymous, this, kAnoCheckSeconds);
    if (answer_ == kCheckerMissing)
        hide();
}

std::string ShowAnoCheck(const std::string& sHost, const std::string& sPort) {
    auto form = std::make_shared<frmAnoCheck>(sHost, sPort);
    form->load();
    form->activate();
    if (form->answer() != kCheckerMissing)
        form->show(true);
    form->unload();
    return form->answer();
}

}  // namespace kx::anonymity
