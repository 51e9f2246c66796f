// The tool tips of a dialog; see tool_tips.hpp.
#include "services/tool_tips.hpp"

#include <algorithm>

namespace kx {

CMToolTipp::~CMToolTipp() {
    for (const auto& tool : tools_) {
        if (auto control = tool.control.lock())
            platform::ui::toolTips().detach(*control);
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

void CMToolTipp::attach(platform::ui::Control& control, const std::string& text,
                        bool centered) const {
    platform::ui::ToolTip tip;
    tip.title = title_;
    tip.icon = icon_;
    tip.text = text;
    tip.balloon = balloon();
    tip.centered = centered;
    tip.maxWidth = maxWidth_;
    tip.visibleTime = visibleTime_;
    tip.delayTime = delayTime_;
    platform::ui::toolTips().attach(control, std::move(tip));
}

void CMToolTipp::AddControl(const std::shared_ptr<platform::ui::Control>& objControl,
                            const std::string& strCaption, bool bCenterToolTip) {
    if (!objControl)
        return;
    attach(*objControl, strCaption, bCenterToolTip);
    tools_.push_back({objControl, strCaption, bCenterToolTip});
}

void CMToolTipp::SetToolTipTitle(const std::string& strTitle, Integer iTitleIcon) {
    title_ = strTitle;
    icon_ = iTitleIcon;
    for (const auto& tool : tools_) {
        if (auto control = tool.control.lock())
            attach(*control, tool.text, tool.centered);
    }
}

}  // namespace kx
