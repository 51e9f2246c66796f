#pragma once
// A Chromium driven through WebDriver: the driver program (chromedriver) is
// started on a free loopback port in a process group of its own, with a
// throw-away profile and home folder, and the browser it starts lives in that
// group too. Ending the session ends the whole group and removes the folder,
// so no browser process outlives the object, and the group is also ended when
// the program leaves through exit() or a fatal signal.
//
// Every call speaks HTTP + JSON to 127.0.0.1 only. A driver or browser that
// is gone answers BrowserGone on every call after that.
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/browser/browser_options.hpp"

namespace kx::platform::browser {

/// The driver or the browser went away (ended, killed, never came up).
struct BrowserGone : std::runtime_error {
    using std::runtime_error::runtime_error;
};
/// The driver answered a command with an error (a stale element, a script
/// that threw, a frame that is not there). `code` is WebDriver's error
/// code ("script timeout" while a page is still on its way).
struct DriverError : std::runtime_error {
    DriverError(const std::string& errorCode, const std::string& message)
        : std::runtime_error(errorCode + ": " + message), code(errorCode) {}
    std::string code;
};

/// The JSON key WebDriver gives an element reference.
inline constexpr const char* kElementKey = "element-6066-11e4-a52e-4f735466cecf";

class WebDriverSession {
  public:
    /// Starts the driver and a browser session; BrowserGone when either
    /// program is missing or does not come up.
    explicit WebDriverSession(const BrowserOptions& options);
    /// Quits: the session, then the whole process group, then the folder.
    ~WebDriverSession();
    WebDriverSession(const WebDriverSession&) = delete;
    WebDriverSession& operator=(const WebDriverSession&) = delete;

    /// Ends everything now; later calls answer BrowserGone.
    void quit();
    bool alive() const { return group_ > 0; }
    /// The process group of the driver and its browser (0 once ended).
    pid_t processGroup() const { return group_; }
    /// The throw-away folder of the profile (gone after quit).
    const std::filesystem::path& folder() const { return folder_; }

    /// Starts loading the address and returns without waiting for it.
    void navigate(const std::string& url);
    /// Runs a script in the current frame with the arguments as JSON values
    /// (values never become script text); answers what it returned.
    nlohmann::json execute(const std::string& script, const nlohmann::json& arguments = {});
    /// Makes the frame reached by these indexes (from the top document) the
    /// current one; nothing is switched when it already is.
    void enterFrames(const std::vector<int>& path);
    /// Stops whatever the browser is loading.
    void stopLoading();
    /// Presses and releases a key (a WebDriver key code such as "\uE007").
    void pressKey(const std::string& key);
    /// Shows or hides the window of a windowed browser (nothing headless).
    void showWindow(bool visible);

  private:
    nlohmann::json command(const char* method, const std::string& path,
                           const std::optional<nlohmann::json>& body);
    void start(const BrowserOptions& options, const Programs& programs);
    void endGroup();

    pid_t group_ = 0;
    int port_ = 0;
    std::string session_;
    std::filesystem::path folder_;
    bool headless_ = true;
    std::optional<std::vector<int>> frames_;
};

}  // namespace kx::platform::browser
