#pragma once
// frmCloseIE: the question whether the running browser windows are to be
// closed before a new browser session starts with the current security
// settings. The answer is the form's tag: "OK" when the user said yes (the
// browser windows are closed then), "" when he said no. The box "do not ask
// again" is kept in the setting "CloseSessions" when the form unloads.
#include <memory>
#include <string>

#include "platform/ui/controls.hpp"
#include "services/form_base.hpp"

namespace kx::anonymity {

class frmCloseIE final : public FormBase {
  public:
    frmCloseIE();

    std::shared_ptr<platform::ui::Label> lblFrage;
    std::shared_ptr<platform::ui::CheckBox> chkDontAsk;
    std::shared_ptr<platform::ui::CommandButton> cmdOK;    // yes
    std::shared_ptr<platform::ui::CommandButton> cmdHome;  // no

    /// The user's answer: "OK" after cmdOK, "" after cmdHome (and before).
    std::string tag;
};

}  // namespace kx::anonymity
