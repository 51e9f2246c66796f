#pragma once
// frmAnoCheck: the result of the anonymity test of one proxy. It runs the
// test when it comes up and shows the user's own address, a success or
// failure picture and a sentence saying whether the proxy hides that
// address.
#include <memory>
#include <string>

#include "anonymity/frm_info.hpp"
#include "platform/ui/controls.hpp"
#include "services/form_base.hpp"

namespace kx::anonymity {

/// How long the window waits for the checker program.
inline constexpr int kAnoCheckSeconds = 5;

class frmAnoCheck final : public FormBase {
  public:
    /// The window for the proxy sHost:sPort (the row chosen in the proxy list).
    frmAnoCheck(std::string sHost, std::string sPort);

    std::shared_ptr<platform::ui::ListView> lvIP;
    std::shared_ptr<ImageBox> imgOK;
    std::shared_ptr<ImageBox> imgStop;
    std::shared_ptr<platform::ui::Label> lblInfo;
    std::shared_ptr<platform::ui::CommandButton> cmdOK;
    std::shared_ptr<platform::ui::ImageList> images;

    /// The last answer of the test ("" until it ran).
    const std::string& answer() const { return answer_; }

    /// What the window does when it becomes active: yield, the busy pointer,
    /// the test of its proxy with 5 seconds, which fills the list, the
    /// pictures and the sentence; a missing checker program ("BREAK") hides
    /// the window again.
    void activate();

  private:
    std::string sHost_;
    std::string sPort_;
    std::string answer_;
};

/// Shows the window for one proxy modally: loaded, tested, and put on screen
/// unless the checker program is missing. Answers the test's answer.
std::string ShowAnoCheck(const std::string& sHost, const std::string& sPort);

}  // namespace kx::anonymity
