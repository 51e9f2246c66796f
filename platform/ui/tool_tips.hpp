#pragma once
// Balloon tool tips as a service of the thread's view: a form attaches a tip
// (title, icon, text) to one of its controls, and the view shows it when the
// pointer rests on the control. The engine keeps the tips here; the view
// reads them when it draws a control, so a console or a test sees them too.
#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "platform/ui/controls.hpp"

namespace kx::platform::ui {

struct ToolTip {
    std::string title;
    std::int32_t icon = 0;  // 0 none, 1 information
    std::string text;
    bool balloon = true;
    bool centered = false;
    std::int32_t maxWidth = 0;      // pixels; 0 = no limit
    std::int32_t visibleTime = -1;  // milliseconds shown; -1 = the system's
    std::int32_t delayTime = -1;    // milliseconds before showing; -1 = the system's
};

/// The tips of the calling thread's controls.
class ToolTips {
  public:
    /// Attaches (or replaces) the tip of a control and tells the view.
    void attach(Control& control, ToolTip tip);
    /// Takes the control's tip away and tells the view.
    void detach(Control& control);
    /// The control's tip, if it has one.
    std::optional<ToolTip> find(const Control& control) const;

  private:
    std::map<std::uint64_t, ToolTip> tips_;
};

ToolTips& toolTips();

}  // namespace kx::platform::ui
