#include "services/form_base.hpp"

#include "services/utilities.hpp"

namespace kx {

FormBase::FormBase(std::string designCaption, Topmost topmost)
    : Form(designCaption), designCaption_(std::move(designCaption)), topmost_(topmost) {}

void FormBase::onLoad() {
    // From the design caption each time: a form loaded again after the host
    // changed its title must not keep the old title.
    setCaption(applyCaptionRule(designCaption_));
    if (topmost_ == Topmost::FollowSetting)
        applyTopmostRule(hWnd);
}

}  // namespace kx
