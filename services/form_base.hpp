#pragma once
// The base of the engine's form models: the rules every dialog of the
// component follows when it loads. Its caption is the design caption with
// "KOLVANEX 3" replaced by the host's application title, and it is made
// topmost when the host asked for topmost dialogs (gbFormsOnTop), unless the
// form is one that must never cover the host's own windows.
#include <string>

#include "platform/ui/controls.hpp"

namespace kx {

class FormBase : public platform::ui::Form {
  public:
    enum class Topmost {
        FollowSetting,  // topmost while gbFormsOnTop is set
        Never,          // never made topmost by gbFormsOnTop
    };

    explicit FormBase(std::string designCaption, Topmost topmost = Topmost::FollowSetting);

    /// The caption as designed, before the caption rule.
    const std::string& designCaption() const { return designCaption_; }

  protected:
    /// Applies the caption and topmost rules. Forms that override it call it.
    void onLoad() override;

  private:
    std::string designCaption_;
    Topmost topmost_;
};

}  // namespace kx
