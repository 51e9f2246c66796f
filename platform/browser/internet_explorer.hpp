#pragma once
// "InternetExplorer.Application" as the engine sees it, on a real Chromium
// driven through WebDriver (webdriver.hpp). The members web pages are filled
// through:
//   browser:  stop, navigate, Navigate2, Busy, document, Visible, hwnd, quit,
//             Parent (the application itself), LocationURL
//   document: body, frames (length, item(i) -> frame window -> document),
//             all and Forms (length, item(i)), nameProp (the title, or the
//             address when the page has none)
//   element:  Type, Name, Value, Checked, tagName, Length and item(i) of a
//             form, click
// Names are matched without regard to case, as late binding does. Values
// reach the page as script arguments, never as script text.
//
// A page the browser could not load (no server, a refused connection)
// answers no document. Once the driver or browser is gone every member
// raises error 462; other failures of the page raise -2147467259 with the
// driver's words, as a page's own errors would.
//
// Each browser is a window of the thread's desktop (class "IEFrame"): the
// window's hwnd can be brought to the front, and an Enter key sent to it
// presses Enter in the page.
#include <sys/types.h>

#include <memory>
#include <string_view>

#include "platform/browser/browser_options.hpp"
#include "platform/runtime/automation_objects.hpp"

namespace kx::platform::browser {

inline constexpr std::string_view kInternetExplorerProgId = "InternetExplorer.Application";

/// The error every member raises once the browser is gone.
inline constexpr std::int32_t kBrowserGone = 462;

/// How the calling thread's new browsers start (the proxy script of an
/// anonymous session, a window when a display exists).
BrowserOptions& threadBrowserOptions();

class InternetExplorer final : public Dispatch,
                               public std::enable_shared_from_this<InternetExplorer> {
  public:
    /// Starts a browser showing nothing; throws std::runtime_error when it
    /// cannot.
    explicit InternetExplorer(const BrowserOptions& options);
    ~InternetExplorer() override;
    std::string_view typeName() const override { return "IWebBrowser2"; }

    Variant get(std::string_view property) override;
    void put(std::string_view property, const Variant& value) override;
    Variant call(std::string_view method, const std::vector<NamedArgument>& arguments) override;

    /// The process group of its driver and browser; 0 once it has quit.
    pid_t processGroup() const;

    /// What the browser's document and element objects share with it.
    struct State;

  private:
    std::shared_ptr<State> state_;
};

/// A new browser with the thread's options; nothing when Chromium or its
/// driver is missing or does not start (CreateObject then fails with 429).
DispatchRef createInternetExplorer();

}  // namespace kx::platform::browser
