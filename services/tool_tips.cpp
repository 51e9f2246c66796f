// The tool tips of a dialog; see tool_tips.hpp.
#include "services/tool_tips.hpp"

#include <algorithm>

namespace kx {

CMToolTipp::~CMToolTipp() {
    for (const auto& tool : tools_) {
        if (auto control = tool.lock()) {
            control->toolTipText.clear();
            control->toolTipTitle.clear();
            control->toolTipIcon = kIconNone;
            control->toolTipBalloon = false;
        }
    }
}

bool CMToolTipp::Create(const platform::ui::Form& hWndParent, bool bAlwaysTip, bool bBalloonTip) {
    if (hWndParent.hWnd == 0)
        return false;
    style_ = kStyleBase | (bAlwaysTip ? kAlwaysTip : 0u) | (bBalloonTip ? kBalloon : 0u);
    return true;
}

void CMToolTipp::VisibleTime(Long lTime) {
    visibleTime_ = std::clamp<Long>(lTime, 0, 32767);
}

void CMToolTipp::DelayTime(Long lTime) {
    delayTime_ = std::clamp<Long>(lTime, 0, 32767);
}

void CMToolTipp::AddControl(const std::shared_ptr<platform::ui::Control>& objControl,
                            const std::string& strCaption, bool /*bCenterToolTip*/) {
    if (!objControl)
        return;
    objControl->toolTipText = strCaption;
    objControl->toolTipBalloon = balloon();
    objControl->toolTipTitle = title_;
    objControl->toolTipIcon = static_cast<std::int16_t>(icon_);
    objControl->refresh();
    tools_.push_back(objControl);
}

void CMToolTipp::SetToolTipTitle(const std::string& strTitle, Integer iTitleIcon) {
    title_ = strTitle;
    icon_ = iTitleIcon;
    for (const auto& tool : tools_) {
        if (auto control = tool.lock()) {
            control->toolTipTitle = title_;
            control->toolTipIcon = static_cast<std::int16_t>(icon_);
            control->refresh();
        }
    }
}

}  // namespace kx
