// The information window; see frm_info.hpp.
#include "anonymity/frm_info.hpp"

#include <cctype>
#include <cmath>
#include <cstdio>

#include "core/shared_state.hpp"
#include "platform/runtime/local_time.hpp"
#include "platform/runtime/translation.hpp"
#include "services/utilities.hpp"
#include "settings/keys.hpp"

namespace kx {
namespace {
namespace ui = platform::ui;
}  // namespace

frmInfo::frmInfo() : FormBase("KOLVANEX 3") {
    name = "frmInfo";
    width = 6000;
    height = 4200;
    imgLogo = add<ImageBox>("imgLogo");
    lblName = add<ui::Label>("lblName");
    lblVersion = add<ui::Label>("lblVersion");
    lblInfo = add<ui::Label>("lblInfo");
    lblInfo->caption = platform::tr(kInfoTemplate);
    cmdHome = add<ui::CommandButton>("cmdHome");
    cmdHome->caption = platform::tr("Homepage");
    cmdOK = add<ui::CommandButton>("cmdOK");
    cmdOK->caption = "OK";

    cmdHome->Click = [this] { openHomePage(); };
    imgLogo->Click = [this] { openHomePage(); };
    cmdOK->Click = [this] { unload(); };
}

void frmInfo::onLoad() {
    FormBase::onLoad();
    const bool ownTitle = !shared().KXAppTitle.empty();
    imgLogo->visible = !ownTitle;
    cmdHome->visible = !ownTitle;
    lblInfo->setCaption(infoSentence());
    lblVersion->setCaption(infoVersion());
    lblName->setCaption(std::string(kComponentTitle));
}

void frmInfo::openHomePage() {
    unload();
    Homepage();
}

std::string todayText() {
    const auto date = platform::today();
    char out[48];
    std::snprintf(out, sizeof out, "%02d.%02d.%04d", date.day, date.month, date.year);
    return out;
}

std::string infoSentence(std::string_view startDate, std::string_view files, std::string_view mb,
                         std::string_view blocked) {
    // Each placeholder is filled once, in a single pass, so a value that
    // itself holds "$2" cannot be filled again.
    const std::string values[] = {std::string(startDate), std::string(files),
                                  formatNumber(numericValue(mb), 2),
                                  formatNumber(numericValue(blocked), 0)};
    std::string out;
    const std::string_view tpl = platform::tr(kInfoTemplate);
    for (std::size_t i = 0; i < tpl.size(); ++i) {
        if (tpl[i] == '$' && i + 1 < tpl.size() && tpl[i + 1] >= '1' && tpl[i + 1] <= '4') {
            out += values[tpl[i + 1] - '1'];
            ++i;
        } else {
            out += tpl[i];
        }
    }
    return out;
}

std::string infoSentence() {
    return infoSentence(settings::read(settings::keys::StatStartDate, todayText()),
                        settings::read(settings::keys::StatFiles, std::string_view("0")),
                        settings::read(settings::keys::StatMB, std::string_view("0")),
                        settings::read(settings::keys::PopupBlocked, std::string_view("0")));
}

std::string infoVersion() {
    const std::string number = std::to_string(kComponentVersion.major) + "." +
                               std::to_string(kComponentVersion.minor) + "." +
                               std::to_string(kComponentVersion.revision);
    return platform::trf("Version: {1}", {number});
}

void ShowInfo() {
    auto form = std::make_shared<frmInfo>();
    form->show(true);
    form->unload();
}

}  // namespace kx
