#pragma once
// Filling a web form in a browser driven by automation (modWebFill): the page
// is loaded, every field whose name matches an entry gets the entry's value,
// a "disclaimer" box is ticked, and the form is submitted by clicking its
// first submit button (or by Enter in a visible browser).
//
// Every member the page lacks, every frame that refuses access and every
// field that refuses a value is passed over; what ends a fill is only a page
// without a document, a page that is still loading after the upper bound,
// or a browser that went away.
#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "platform/runtime/automation_objects.hpp"

namespace kx::mail {

/// One field assignment of a web form: the field's name (any case) and its value.
class CFormEntry final : public platform::Object {
  public:
    CFormEntry() = default;
    CFormEntry(std::string name, std::string value)
        : sName(std::move(name)), sValue(std::move(value)) {}
    std::string_view typeName() const override { return "CFormEntry"; }
    std::string sName;
    std::string sValue;
};

/// The entries of a collection, in its order; items that are no CFormEntry
/// are passed over.
std::vector<CFormEntry> formEntries(const platform::Collection& colFormdata);

/// The waits of a fill.
struct FillTimings {
    /// After the page was asked for, before the first look whether it is there.
    std::chrono::milliseconds settle{5000};
    /// Between two looks.
    std::chrono::milliseconds poll{1000};
    /// A page still loading this long after it was asked for is given up.
    std::chrono::milliseconds pageLimit{120000};
    /// When it is set while the page loads (the user cancelled), the wait
    /// ends and the fill answers NoDocument.
    const bool* cancel = nullptr;
};

/// The waits as the settings give them: the upper bound is "PageTimeout"
/// (seconds) of section "WebForms".
FillTimings storedFillTimings();

/// The host-name fragment of the sign-in site whose submit button is never
/// clicked directly ("SignInSite" of section "WebForms").
std::string exceptedSignInSite();

enum class FillResult {
    Submitted,    // the page had a document and a submission was attempted
    NoDocument,   // the page produced no document
    TimedOut,     // the page was still loading after the upper bound
    BrowserGone,  // the browser or its driver ended during the fill
};

/// The fill routine on a browser automation object (its application
/// object): navigate to `url`, wait for the page, fill every frame's fields,
/// submit. Never throws for what the page or browser does.
FillResult fillWebForm(platform::Dispatch& wbBrowser, const std::string& sURL,
                       const std::vector<CFormEntry>& entries, const FillTimings& timings);

/// Waits `span` of the thread's loop time, letting the message loop run in
/// between, so a window and Ctrl+C stay answered.
void waitWithEvents(std::chrono::milliseconds span);

}  // namespace kx::mail
