#pragma once
// CMToolTipp: the tool tips of a dialog, one tool-tip window per instance.
// The view draws them from the thread's tool-tip service; this class says
// which control shows which text, and whether as a balloon with a title and
// an icon. A dialog creates one instance when it loads; releasing it takes
// its tips off the controls.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/automation.hpp"
#include "platform/ui/controls.hpp"
#include "platform/ui/tool_tips.hpp"

namespace kx {

class CMToolTipp {
  public:
    /// Window styles of the tool-tip window.
    static constexpr std::uint32_t kStyleBase = 0x80000002;  // WS_POPUP | TTS_NOPREFIX
    static constexpr std::uint32_t kAlwaysTip = 0x1;
    static constexpr std::uint32_t kBalloon = 0x40;
    /// Title icons.
    static constexpr Integer kIconNone = 0;
    static constexpr Integer kIconInformation = 1;

    CMToolTipp() = default;
    ~CMToolTipp();
    CMToolTipp(const CMToolTipp&) = delete;
    CMToolTipp& operator=(const CMToolTipp&) = delete;

    /// Makes the tool-tip window of `hWndParent`'s dialog; false when it has
    /// no window yet.
    bool Create(const platform::ui::Form& hWndParent, bool bAlwaysTip, bool bBalloonTip);
    std::uint32_t style() const { return style_; }

    void MaxWidth(Long lMaxWidth) { maxWidth_ = lMaxWidth; }
    Long maxWidth() const { return maxWidth_; }
    /// Milliseconds, held to 0..32767.
    void VisibleTime(Long lTime);
    void DelayTime(Long lTime);
    Long visibleTime() const { return visibleTime_; }
    Long delayTime() const { return delayTime_; }

    /// The control shows `strCaption` when the mouse rests on it.
    void AddControl(const std::shared_ptr<platform::ui::Control>& objControl,
                    const std::string& strCaption, bool bCenterToolTip = false);
    /// The title above every tip of this window, with its icon.
    void SetToolTipTitle(const std::string& strTitle, Integer iTitleIcon);

  private:
    bool balloon() const { return (style_ & kBalloon) != 0; }
    /// Hands the tip of one tool to the service, as it now reads.
    void attach(platform::ui::Control& control, const std::string& text, bool centered) const;

    std::uint32_t style_ = 0;
    Long maxWidth_ = 0;
    Long visibleTime_ = -1;
    Long delayTime_ = -1;
    std::string title_;
    Integer icon_ = kIconNone;
    struct Tool {
        std::weak_ptr<platform::ui::Control> control;
        std::string text;
        bool centered = false;
    };
    std::vector<Tool> tools_;
};

}  // namespace kx
