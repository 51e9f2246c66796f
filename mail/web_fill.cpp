// The form filling; see web_fill.hpp.
#include "mail/web_fill.hpp"

#include <algorithm>

#include "core/text_rules.hpp"
#include "platform/browser/internet_explorer.hpp"
#include "platform/processes/desktop.hpp"
#include "platform/runtime/text.hpp"
#include "platform/ui/cursor.hpp"
#include "platform/ui/message_loop.hpp"
#include "settings/keys.hpp"

namespace kx::mail {
namespace {
namespace pf = platform;
namespace ui = platform::ui;
using std::chrono::milliseconds;

// Raised inside a fill when the browser has gone, to end the fill at once:
// every later call would fail the same way.
struct Gone {};

// Runs one step of the fill and passes over what the page refuses; only a
// browser that has gone ends the fill.
template <typename F>
void passOver(F&& step) {
    try {
        step();
    } catch (const pf::RuntimeError& error) {
        if (error.number == pf::browser::kBrowserGone)
            throw Gone{};
    }
}

Variant member(pf::Dispatch& object, std::string_view name) {
    return object.get(name);
}

pf::DispatchRef item(pf::Dispatch& list, std::int32_t index) {
    return pf::asDispatch(list.call("item", {{"", Variant(index)}}));
}

std::string lowerText(pf::Dispatch& object, std::string_view name) {
    return pf::vbLCase(pf::toText(member(object, name)));
}

// The element pass: with entries, every element whose name matches an
// entry gets its value (and a "disclaimer" is ticked); without, the first
// submit element is clicked.
void elementPass(pf::Dispatch& document, const std::vector<CFormEntry>* entries) {
    if (!entries) {
        passOver([&] {
            const auto all = pf::asDispatch(member(document, "all"));
            const auto count = pf::toLong(member(*all, "length"));
            for (std::int32_t i = 0; i < count; ++i) {
                bool clicked = false;
                passOver([&] {
                    const auto element = item(*all, i);
                    if (lowerText(*element, "Type") == "submit") {
                        element->call("click", {});
                        clicked = true;
                    }
                });
                if (clicked)
                    return;
            }
        });
        return;
    }
    for (const auto& entry : *entries) {
        const auto wanted = pf::vbLCase(entry.sName);
        passOver([&] {
            const auto all = pf::asDispatch(member(document, "all"));
            const auto count = pf::toLong(member(*all, "length"));
            for (std::int32_t i = 0; i < count; ++i) {
                passOver([&] {
                    const auto element = item(*all, i);
                    const auto name = lowerText(*element, "Name");
                    if (name.empty())
                        return;
                    if (name == "disclaimer")
                        passOver([&] { element->put("Checked", Variant(true)); });
                    if (wanted == name)
                        passOver([&] { element->put("Value", Variant(entry.sValue)); });
                });
            }
        });
    }
}

// The document walk: the element pass on a document with a normal body, then
// every frame's document, depth first.
void documentWalk(pf::Dispatch& document, const std::vector<CFormEntry>* entries) {
    ui::cursor().set(ui::MousePointer::ArrowHourglass);
    ui::yield();
    passOver([&] {
        const auto body = pf::asDispatch(member(document, "body"));
        if (pf::vbUCase(pf::toText(member(*body, "tagName"))) == "BODY")
            elementPass(document, entries);
    });
    passOver([&] {
        const auto frames = pf::asDispatch(member(document, "frames"));
        const auto count = pf::toLong(member(*frames, "length"));
        for (std::int32_t i = 0; i < count; ++i) {
            passOver([&] {
                const auto frame = item(*frames, i);
                const auto inner = pf::asDispatch(member(*frame, "document"));
                documentWalk(*inner, entries);
            });
        }
    });
}

// The first submit element of the document's first form, if any.
pf::DispatchRef firstFormSubmit(pf::Dispatch& document) {
    pf::DispatchRef found;
    passOver([&] {
        const auto forms = pf::asDispatch(member(document, "Forms"));
        const auto form = item(*forms, 0);
        const auto count = pf::toLong(member(*form, "Length"));
        for (std::int32_t i = 0; i < count && !found; ++i) {
            passOver([&] {
                const auto element = item(*form, i);
                if (lowerText(*element, "Type") == "submit")
                    found = element;
            });
        }
    });
    return found;
}

bool busy(pf::Dispatch& browser) {
    bool answer = false;
    passOver([&] { answer = pf::toBool(member(browser, "Busy")); });
    return answer;
}

FillResult fill(pf::Dispatch& browser, const std::string& url,
                const std::vector<CFormEntry>& entries, const FillTimings& timings) {
    auto& loop = ui::MessageLoop::current();
    passOver([&] { browser.call("stop", {}); });
    const auto asked = loop.now();
    passOver([&] { browser.call("navigate", {{"", Variant(url)}}); });

    waitWithEvents(timings.settle);
    for (;;) {
        waitWithEvents(timings.poll);
        if (!busy(browser))
            break;
        if (timings.cancel && *timings.cancel) {
            passOver([&] { browser.call("stop", {}); });
            return FillResult::NoDocument;
        }
        if (loop.now() - asked >= timings.pageLimit) {
            passOver([&] { browser.call("stop", {}); });
            return FillResult::TimedOut;
        }
        ui::yield();
        waitWithEvents(timings.poll);
    }

    pf::DispatchRef document;
    passOver([&] {
        const auto value = member(browser, "document");
        if (value.is<pf::ObjectRef>() && value.get<pf::ObjectRef>())
            document = pf::asDispatch(value);
    });
    if (!document) {
        passOver([&] { browser.call("stop", {}); });
        return FillResult::NoDocument;
    }

    documentWalk(*document, &entries);
    documentWalk(*document, nullptr);

    auto submit = firstFormSubmit(*document);
    const auto signIn = exceptedSignInSite();
    if (submit && !signIn.empty() &&
        pf::vbLCase(url).find(pf::vbLCase(signIn)) != std::string::npos)
        submit.reset();
    if (submit) {
        passOver([&] { submit->call("click", {}); });
    } else {
        bool visible = false;
        passOver([&] { visible = pf::toBool(member(browser, "Visible")); });
        if (visible) {
            passOver([&] {
                const auto hwnd = pf::toLong(member(browser, "hwnd"));
                pf::BringWindowToTop(hwnd);
                pf::SetForegroundWindow(hwnd);
                ui::yield();
                pf::SendKeys("{ENTER}", true);
            });
        }
    }
    return FillResult::Submitted;
}

}  // namespace

std::vector<CFormEntry> formEntries(const pf::Collection& colFormdata) {
    std::vector<CFormEntry> out;
    for (const auto& value : colFormdata.items) {
        if (!value.is<pf::ObjectRef>())
            continue;
        if (const auto entry = std::dynamic_pointer_cast<CFormEntry>(value.get<pf::ObjectRef>()))
            out.push_back(*entry);
    }
    return out;
}

FillTimings storedFillTimings() {
    FillTimings timings;
    const auto seconds = numericValue(settings::read(settings::keys::PageTimeout));
    if (seconds > 0)
        timings.pageLimit = milliseconds(static_cast<std::int64_t>(seconds * 1000));
    return timings;
}

std::string exceptedSignInSite() {
    return settings::read(settings::keys::SignInSite);
}

FillResult fillWebForm(pf::Dispatch& wbBrowser, const std::string& sURL,
                       const std::vector<CFormEntry>& entries, const FillTimings& timings) {
    try {
        return fill(wbBrowser, sURL, entries, timings);
    } catch (const Gone&) {
        return FillResult::BrowserGone;
    }
}

void waitWithEvents(milliseconds span) {
    auto& loop = ui::MessageLoop::current();
    const auto end = loop.now() + span;
    for (auto now = loop.now(); now < end; now = loop.now()) {
        loop.sleep(std::min(end - now, milliseconds(50)));
        loop.yield();
    }
}

}  // namespace kx::mail
