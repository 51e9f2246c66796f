#include "platform/ui/tool_tips.hpp"

namespace kx::platform::ui {

void ToolTips::attach(Control& control, ToolTip tip) {
    tips_[control.serial()] = std::move(tip);
    control.refresh();
}

void ToolTips::detach(Control& control) {
    if (tips_.erase(control.serial()) > 0)
        control.refresh();
}

std::optional<ToolTip> ToolTips::find(const Control& control) const {
    const auto it = tips_.find(control.serial());
    if (it == tips_.end())
        return std::nullopt;
    return it->second;
}

ToolTips& toolTips() {
    thread_local ToolTips tips;
    return tips;
}

}  // namespace kx::platform::ui
