// The browser automation object on Chromium; see internet_explorer.hpp.
#include "platform/browser/internet_explorer.hpp"

#include <cmath>
#include <limits>

#include "platform/browser/webdriver.hpp"
#include "platform/processes/desktop.hpp"
#include "platform/runtime/text.hpp"
#include "platform/runtime/translation.hpp"

namespace kx::platform::browser {
namespace {
using nlohmann::json;

constexpr std::int32_t kPageError = -2147467259;  // E_FAIL, as a Long
constexpr std::int32_t kNoSuchMember = 438;
constexpr const char* kEnterKey = "\xEE\x80\x87";  // WebDriver's Enter, U+E007

[[noreturn]] void noSuchMember() {
    throw RuntimeError{kNoSuchMember,
                       std::string(tr("Objekt unterstützt diese Eigenschaft oder Methode nicht"))};
}

bool named(std::string_view name, std::string_view expected) {
    return vbLCase(name) == vbLCase(expected);
}

const Variant& argument(const std::vector<NamedArgument>& arguments, std::size_t index) {
    if (arguments.size() <= index)
        throw RuntimeError{
            450, std::string(tr("Falsche Anzahl an Argumenten oder ungültige Zuweisung an eine "
                                "Eigenschaft"))};
    return arguments[index].value;
}

json toJson(const Variant& value) {
    const auto& v = value.storage();
    if (std::holds_alternative<bool>(v))
        return std::get<bool>(v);
    if (std::holds_alternative<std::string>(v))
        return std::get<std::string>(v);
    if (value.isEmpty() || value.isNull())
        return nullptr;
    if (std::holds_alternative<double>(v))
        return std::get<double>(v);
    if (std::holds_alternative<ObjectRef>(v))
        throw RuntimeError{13, std::string(tr("Typen unverträglich"))};
    return toLong(value);
}

// Every call into the driver: its failures as the automation errors a page
// raises.
template <typename F>
auto onPage(F&& work) -> decltype(work()) {
    try {
        return work();
    } catch (const BrowserGone& gone) {
        throw RuntimeError{kBrowserGone, gone.what()};
    } catch (const DriverError& error) {
        throw RuntimeError{kPageError, error.what()};
    }
}

}  // namespace

// What every object of one browser shares.
struct InternetExplorer::State {
    std::unique_ptr<WebDriverSession> session;
    bool visible = false;
    HWND hwnd = 0;
    // A page was asked for and nothing but a blank page has shown since.
    bool awaitingPage = false;

    WebDriverSession& driver() {
        if (!session || !session->alive())
            throw BrowserGone(std::string(tr("der Browser wurde beendet")));
        return *session;
    }
};

namespace {
using StateRef = std::shared_ptr<InternetExplorer::State>;

Variant toVariant(const StateRef& state, const std::vector<int>& frames, const json& value);

// A script's result or an element of the page, in one frame of the page.
class PageObject : public Dispatch {
  public:
    PageObject(StateRef state, std::vector<int> frames)
        : state_(std::move(state)), frames_(std::move(frames)) {}

  protected:
    // Runs a script in this object's frame.
    json run(const std::string& script, const json& arguments = json::array()) {
        return onPage([&] {
            auto& driver = state_->driver();
            driver.enterFrames(frames_);
            return driver.execute(script, arguments);
        });
    }
    Variant wrap(const json& value) { return toVariant(state_, frames_, value); }

    StateRef state_;
    std::vector<int> frames_;
};

// The properties of an element and what the page calls them.
constexpr std::pair<std::string_view, std::string_view> kElementProperties[] = {
    {"type", "type"},
    {"name", "name"},
    {"value", "value"},
    {"checked", "checked"},
    {"tagname", "tagName"},
    {"length", "length"},
    {"id", "id"},
    {"disabled", "disabled"},
    {"readonly", "readOnly"},
    {"innertext", "innerText"},
    {"href", "href"},
    {"action", "action"},
};

std::string domName(std::string_view property) {
    const auto lower = vbLCase(property);
    for (const auto& [ours, page] : kElementProperties)
        if (lower == ours)
            return std::string(page);
    noSuchMember();
}

class HtmlElement final : public PageObject {
  public:
    HtmlElement(StateRef state, std::vector<int> frames, json reference)
        : PageObject(std::move(state), std::move(frames)), reference_(std::move(reference)) {}
    std::string_view typeName() const override { return "HTMLElement"; }

    Variant get(std::string_view property) override {
        const auto name = domName(property);
        // A property the element does not have reads as nothing, as in the
        // old browser's late binding of a plain element's "type".
        return wrap(run("var v = arguments[0][arguments[1]]; return v === undefined ? null : v;",
                        json::array({reference_, name})));
    }
    void put(std::string_view property, const Variant& value) override {
        const auto name = domName(property);
        run("arguments[0][arguments[1]] = arguments[2];",
            json::array({reference_, name, toJson(value)}));
    }
    Variant call(std::string_view method, const std::vector<NamedArgument>& arguments) override {
        if (named(method, "click")) {
            run("arguments[0].click();", json::array({reference_}));
            return {};
        }
        if (named(method, "submit")) {
            run("arguments[0].submit();", json::array({reference_}));
            return {};
        }
        if (named(method, "item")) {
            const auto index = toLong(argument(arguments, 0));
            const auto found = run(
                "var e = arguments[0].elements; return e && e[arguments[1]] ? e[arguments[1]] : "
                "null;",
                json::array({reference_, index}));
            if (found.is_null())
                throw RuntimeError{kPageError, std::string(tr("kein Element an dieser Stelle"))};
            return wrap(found);
        }
        noSuchMember();
    }

  private:
    json reference_;
};

// all, Forms: the elements as they were when the list was asked for.
class ElementList final : public PageObject {
  public:
    ElementList(StateRef state, std::vector<int> frames, json items)
        : PageObject(std::move(state), std::move(frames)), items_(std::move(items)) {}
    std::string_view typeName() const override { return "HTMLElementCollection"; }

    Variant get(std::string_view property) override {
        if (named(property, "length"))
            return static_cast<std::int32_t>(items_.size());
        noSuchMember();
    }
    void put(std::string_view, const Variant&) override { noSuchMember(); }
    Variant call(std::string_view method, const std::vector<NamedArgument>& arguments) override {
        if (!named(method, "item"))
            noSuchMember();
        const auto index = toLong(argument(arguments, 0));
        if (index < 0 || static_cast<std::size_t>(index) >= items_.size())
            throw RuntimeError{kPageError, std::string(tr("kein Element an dieser Stelle"))};
        return wrap(items_[static_cast<std::size_t>(index)]);
    }

  private:
    json items_;
};

class HtmlDocument;

// frames(i): the window of a frame, whose document is the frame's.
class FrameWindow final : public PageObject {
  public:
    using PageObject::PageObject;
    std::string_view typeName() const override { return "HTMLWindow2"; }
    Variant get(std::string_view property) override;
    void put(std::string_view, const Variant&) override { noSuchMember(); }
    Variant call(std::string_view, const std::vector<NamedArgument>&) override { noSuchMember(); }
};

class FrameList final : public PageObject {
  public:
    using PageObject::PageObject;
    std::string_view typeName() const override { return "FramesCollection"; }
    Variant get(std::string_view property) override {
        if (named(property, "length"))
            return wrap(run("return window.frames.length;"));
        noSuchMember();
    }
    void put(std::string_view, const Variant&) override { noSuchMember(); }
    Variant call(std::string_view method, const std::vector<NamedArgument>& arguments) override {
        if (!named(method, "item"))
            noSuchMember();
        auto path = frames_;
        path.push_back(toLong(argument(arguments, 0)));
        return ObjectRef(std::make_shared<FrameWindow>(state_, std::move(path)));
    }
};

class HtmlDocument final : public PageObject {
  public:
    using PageObject::PageObject;
    std::string_view typeName() const override { return "HTMLDocument"; }

    Variant get(std::string_view property) override {
        if (named(property, "body"))
            return wrap(run("return document.body;"));
        if (named(property, "frames"))
            return ObjectRef(std::make_shared<FrameList>(state_, frames_));
        if (named(property, "all"))
            return list("return Array.from(document.getElementsByTagName('*'));");
        if (named(property, "forms"))
            return list("return Array.from(document.forms);");
        if (named(property, "nameProp"))
            return wrap(run("return document.title || location.href;"));
        if (named(property, "title"))
            return wrap(run("return document.title;"));
        if (named(property, "url") || named(property, "location"))
            return wrap(run("return location.href;"));
        if (named(property, "readyState"))
            return wrap(run("return document.readyState;"));
        noSuchMember();
    }
    void put(std::string_view, const Variant&) override { noSuchMember(); }
    Variant call(std::string_view, const std::vector<NamedArgument>&) override { noSuchMember(); }

  private:
    Variant list(const std::string& script) {
        auto items = run(script);
        if (!items.is_array())
            items = json::array();
        return ObjectRef(std::make_shared<ElementList>(state_, frames_, std::move(items)));
    }
};

Variant FrameWindow::get(std::string_view property) {
    if (named(property, "document")) {
        // Entering the frame is what fails for a frame that is not there.
        run("return 0;");
        return ObjectRef(std::make_shared<HtmlDocument>(state_, frames_));
    }
    noSuchMember();
}

Variant toVariant(const StateRef& state, const std::vector<int>& frames, const json& value) {
    if (value.is_null())
        return {};
    if (value.is_boolean())
        return value.get<bool>();
    if (value.is_string())
        return value.get<std::string>();
    if (value.is_number_integer()) {
        const auto n = value.get<std::int64_t>();
        if (n >= std::numeric_limits<std::int32_t>::min() &&
            n <= std::numeric_limits<std::int32_t>::max())
            return static_cast<std::int32_t>(n);
        return static_cast<double>(n);
    }
    if (value.is_number())
        return value.get<double>();
    if (value.is_object() && value.contains(kElementKey))
        return ObjectRef(std::make_shared<HtmlElement>(state, frames, value));
    return value.dump();
}

}  // namespace

BrowserOptions& threadBrowserOptions() {
    thread_local BrowserOptions options;
    return options;
}

InternetExplorer::InternetExplorer(const BrowserOptions& options)
    : state_(std::make_shared<State>()) {
    state_->session = std::make_unique<WebDriverSession>(options);
    // The browser's window on the desktop: it can be brought to the front,
    // and the keys sent to it reach the page.
    try {
        if (const auto desktop = currentDesktop()) {
            state_->hwnd = desktop->createWindow(
                "IEFrame", "about:blank - Microsoft Internet Explorer", WS_OVERLAPPEDWINDOW);
            const std::weak_ptr<State> weak = state_;
            setWindowProcedure(
                state_->hwnd,
                [weak](HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
                    const auto state = weak.lock();
                    if (state && message == WM_KEYDOWN && wParam == VK_RETURN) {
                        try {
                            state->driver().pressKey(kEnterKey);
                        } catch (const std::exception&) {
                            // A key for a browser that is gone goes nowhere.
                        }
                        return 0;
                    }
                    return DefWindowProcA(hwnd, message, wParam, lParam);
                });
        }
    } catch (const std::exception&) {
        state_->hwnd = 0;  // no desktop: a browser without a window handle
    }
}

InternetExplorer::~InternetExplorer() {
    call("quit", {});
}

pid_t InternetExplorer::processGroup() const {
    return state_->session ? state_->session->processGroup() : 0;
}

Variant InternetExplorer::get(std::string_view property) {
    if (named(property, "Parent") || named(property, "Application"))
        return ObjectRef(shared_from_this());
    if (named(property, "Visible"))
        return state_->visible;
    if (named(property, "hwnd"))
        return static_cast<std::int32_t>(state_->hwnd);
    return onPage([&]() -> Variant {
        auto& driver = state_->driver();
        if (named(property, "Busy") || named(property, "ReadyState")) {
            // The page navigate() left carries a mark until the new one
            // replaces it; the new one is busy until it has loaded. While
            // the new one is on its way no script runs at all.
            bool busy = true;
            try {
                driver.enterFrames({});
                const auto answer = driver.execute(
                    "return [window.__kxLeaving === true, document.readyState, location.href];");
                const bool blank =
                    answer.is_array() && answer.size() == 3 && answer[2] == "about:blank";
                if (!blank)
                    state_->awaitingPage = false;
                busy = !answer.is_array() || answer.size() != 3 || answer[0] == true ||
                       answer[1] != "complete" || state_->awaitingPage;
            } catch (const DriverError& error) {
                if (error.code != "script timeout")
                    throw;
            }
            if (named(property, "Busy"))
                return busy;
            return static_cast<std::int32_t>(busy ? 3 : 4);
        }
        if (named(property, "LocationURL")) {
            driver.enterFrames({});
            return toVariant(state_, {}, driver.execute("return location.href;"));
        }
        if (named(property, "document")) {
            driver.enterFrames({});
            const auto address = driver.execute("return location.href;");
            // The browser's own page for an address it could not load is
            // no document of the site.
            if (!address.is_string() || address.get<std::string>().starts_with("chrome-error:"))
                return {};
            return ObjectRef(std::make_shared<HtmlDocument>(state_, std::vector<int>{}));
        }
        noSuchMember();
    });
}

void InternetExplorer::put(std::string_view property, const Variant& value) {
    if (!named(property, "Visible"))
        noSuchMember();
    state_->visible = toBool(value);
    onPage([&] { state_->driver().showWindow(state_->visible); });
}

Variant InternetExplorer::call(std::string_view method,
                               const std::vector<NamedArgument>& arguments) {
    if (named(method, "quit")) {
        if (state_->hwnd != 0) {
            setWindowProcedure(state_->hwnd, nullptr);
            try {
                if (const auto desktop = currentDesktop())
                    desktop->destroyWindow(state_->hwnd);
            } catch (const std::exception&) {
            }
            state_->hwnd = 0;
        }
        if (state_->session)
            state_->session->quit();
        return {};
    }
    return onPage([&]() -> Variant {
        auto& driver = state_->driver();
        if (named(method, "navigate") || named(method, "Navigate2")) {
            const auto url = toText(argument(arguments, 0));
            try {
                driver.enterFrames({});
                driver.execute("window.__kxLeaving = true;");
            } catch (const DriverError&) {
                // A page still on its way has nothing to mark: Busy holds
                // until something has loaded.
            }
            driver.navigate(url);
            // A blank page that shows before the asked-for one (the one a
            // navigation still under way leaves) is not it.
            state_->awaitingPage = url != "about:blank";
            return {};
        }
        if (named(method, "stop")) {
            driver.stopLoading();
            state_->awaitingPage = false;
            driver.enterFrames({});
            driver.execute("delete window.__kxLeaving;");
            return {};
        }
        noSuchMember();
    });
}

DispatchRef createInternetExplorer() {
    try {
        return std::make_shared<InternetExplorer>(threadBrowserOptions());
    } catch (const BrowserGone&) {
        return nullptr;
    } catch (const DriverError&) {
        return nullptr;
    }
}

}  // namespace kx::platform::browser
