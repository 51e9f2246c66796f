// The anonymous mail of CKOLVANEX: the dialog and the form filling, thin
// entries into mail/.
#include "facade/guarded.hpp"
#include "facade/kolvanex.hpp"
#include "facade/run_contexts.hpp"
#include "mail/frm_mail.hpp"
#include "mail/web_fill.hpp"

namespace kx {

Ret<void> CKOLVANEX::ShowAnoMail() {
    return guarded("ShowAnoMail", [] {
        const ThreadMail mail;
        mail::ShowAnoMail(mail.context());
    });
}

Ret<bool> CKOLVANEX::KXFillWebForm(ObjectRef wbBrowser, std::string sURL,
                                   CollectionRef colFormdata) {
    return guarded("KXFillWebForm", [&] {
        const auto browser = platform::asDispatch(Variant(wbBrowser));
        const auto entries =
            colFormdata ? mail::formEntries(*colFormdata) : std::vector<mail::CFormEntry>{};
        return mail::fillWebForm(*browser, sURL, entries, mail::storedFillTimings()) ==
               mail::FillResult::Submitted;
    });
}

}  // namespace kx
