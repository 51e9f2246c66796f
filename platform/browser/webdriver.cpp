// The WebDriver client and the driver's process group; see webdriver.hpp.
#include "platform/browser/webdriver.hpp"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/runtime/translation.hpp"

extern char** environ;

namespace kx::platform::browser {
namespace fs = std::filesystem;
using nlohmann::json;
using std::chrono::milliseconds;
using std::chrono::seconds;

namespace {

// ---- the groups still running, readable from a signal handler --------------

std::array<std::atomic<pid_t>, 64> runningGroups{};
static_assert(std::atomic<pid_t>::is_always_lock_free);

void rememberGroup(pid_t group) {
    for (auto& slot : runningGroups) {
        pid_t none = 0;
        if (slot.compare_exchange_strong(none, group))
            return;
    }
}

void forgetGroup(pid_t group) {
    for (auto& slot : runningGroups) {
        pid_t expected = group;
        if (slot.compare_exchange_strong(expected, 0))
            return;
    }
}

// A fatal signal ends the browsers first, then does what it does by default.
void onFatalSignal(int signal) {
    endAllBrowserGroups();
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

// Once per process: the groups end with exit() and with the signals that end
// a program, unless the program handles such a signal itself (the console's
// Ctrl+C handler ends them on its own way out).
void installCleanup() {
    static std::once_flag once;
    std::call_once(once, [] {
        std::atexit(&endAllBrowserGroups);
        for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
            struct sigaction current {};
            if (::sigaction(signal, nullptr, &current) != 0 || current.sa_handler != SIG_DFL)
                continue;
            struct sigaction action {};
            action.sa_handler = &onFatalSignal;
            sigemptyset(&action.sa_mask);
            ::sigaction(signal, &action, nullptr);
        }
    });
}

// ---- programs ----------------------------------------------------------------

bool executable(const fs::path& file) {
    return !file.empty() && ::access(file.c_str(), X_OK) == 0 && !fs::is_directory(file);
}

fs::path onSearchPath(std::string_view name) {
    const char* path = std::getenv("PATH");
    std::string_view rest = path ? path : "/usr/bin:/bin";
    while (!rest.empty()) {
        const auto colon = rest.find(':');
        const auto folder = rest.substr(0, colon);
        if (!folder.empty()) {
            const fs::path candidate = fs::path(folder) / name;
            if (executable(candidate))
                return candidate;
        }
        if (colon == std::string_view::npos)
            break;
        rest.remove_prefix(colon + 1);
    }
    return {};
}

// ---- loopback HTTP -----------------------------------------------------------

// The driver answers at once except for commands that wait for the page;
// none of ours does (pages load without being waited for), so a minute
// without an answer means the driver hangs.
constexpr long kCommandSeconds = 60;
constexpr int kScriptMilliseconds = 3000;

size_t collect(char* data, size_t size, size_t count, void* out) {
    static_cast<std::string*>(out)->append(data, size * count);
    return size * count;
}

struct CurlHandle {
    CURL* handle = curl_easy_init();
    curl_slist* headers = nullptr;
    ~CurlHandle() {
        curl_slist_free_all(headers);
        curl_easy_cleanup(handle);
    }
};

// One request; nothing when the driver could not be reached at all.
std::optional<std::pair<long, std::string>> request(int port, const char* method,
                                                    const std::string& path,
                                                    const std::string* body, long seconds) {
    static const bool initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    CurlHandle curl;
    if (!initialised || !curl.handle)
        return std::nullopt;
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + path;
    std::string answer;
    curl_easy_setopt(curl.handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl.handle, CURLOPT_PROTOCOLS_STR, "http");
    curl_easy_setopt(curl.handle, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(curl.handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl.handle, CURLOPT_TIMEOUT, seconds);
    curl_easy_setopt(curl.handle, CURLOPT_CUSTOMREQUEST, method);
    curl_easy_setopt(curl.handle, CURLOPT_WRITEFUNCTION, &collect);
    curl_easy_setopt(curl.handle, CURLOPT_WRITEDATA, &answer);
    if (body) {
        curl.headers = curl_slist_append(curl.headers, "Content-Type: application/json");
        curl_easy_setopt(curl.handle, CURLOPT_HTTPHEADER, curl.headers);
        curl_easy_setopt(curl.handle, CURLOPT_POSTFIELDS, body->c_str());
        curl_easy_setopt(curl.handle, CURLOPT_POSTFIELDSIZE, static_cast<long>(body->size()));
    }
    if (curl_easy_perform(curl.handle) != CURLE_OK)
        return std::nullopt;
    long status = 0;
    curl_easy_getinfo(curl.handle, CURLINFO_RESPONSE_CODE, &status);
    return std::make_pair(status, std::move(answer));
}

int freeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

std::string base64(std::string_view bytes) {
    static constexpr char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        std::uint32_t n = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size())
            n |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size())
            n |= static_cast<unsigned char>(bytes[i + 2]);
        out += kDigits[(n >> 18) & 63];
        out += kDigits[(n >> 12) & 63];
        out += i + 1 < bytes.size() ? kDigits[(n >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? kDigits[n & 63] : '=';
    }
    return out;
}

// Chromium takes no proxy script from a file, so a script file travels
// inside the address itself; other addresses stay as they are.
std::string proxyScriptAddress(const std::string& url) {
    constexpr std::string_view kFile = "file://";
    if (!url.starts_with(kFile))
        return url;
    std::FILE* file = std::fopen(url.c_str() + kFile.size(), "rb");
    if (!file)
        return url;
    std::string script;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
        script.append(buffer, n);
    std::fclose(file);
    return "data:application/x-ns-proxy-autoconfig;base64," + base64(script);
}

bool hasDisplay() {
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x && *x) || (wayland && *wayland);
}

// The driver's environment: ours, with the home and cache folders moved into
// the throw-away folder so that nothing of the browser stays behind.
std::vector<std::string> driverEnvironment(const fs::path& home) {
    std::vector<std::string> out;
    for (char** entry = environ; entry && *entry; ++entry) {
        const std::string_view text(*entry);
        if (text.starts_with("HOME=") || text.starts_with("XDG_CONFIG_HOME=") ||
            text.starts_with("XDG_CACHE_HOME=") || text.starts_with("XDG_DATA_HOME="))
            continue;
        out.emplace_back(text);
    }
    out.push_back("HOME=" + home.string());
    out.push_back("XDG_CONFIG_HOME=" + (home / ".config").string());
    out.push_back("XDG_CACHE_HOME=" + (home / ".cache").string());
    out.push_back("XDG_DATA_HOME=" + (home / ".local/share").string());
    return out;
}

// True while a process of the group is still running (a zombie waiting to be
// reaped by its new parent is not running).
bool groupRunning(pid_t group) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/proc", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::FILE* file = std::fopen((entry.path() / "stat").c_str(), "r");
        if (!file)
            continue;
        char line[512] = {};
        const std::size_t n = std::fread(line, 1, sizeof line - 1, file);
        std::fclose(file);
        const std::string_view text(line, n);
        const auto close = text.rfind(')');
        if (close == std::string_view::npos || close + 2 >= text.size())
            continue;
        char state = 0;
        int parent = 0, processGroup = 0;
        if (std::sscanf(line + close + 2, "%c %d %d", &state, &parent, &processGroup) == 3 &&
            processGroup == group && state != 'Z' && state != 'X')
            return true;
    }
    return false;
}

bool goneError(const std::string& error, const std::string& message) {
    return error == "invalid session id" || message.find("not reachable") != std::string::npos ||
           message.find("disconnected") != std::string::npos ||
           message.find("session deleted") != std::string::npos;
}

}  // namespace

void endAllBrowserGroups() noexcept {
    for (auto& slot : runningGroups) {
        const pid_t group = slot.exchange(0);
        if (group > 0)
            ::kill(-group, SIGKILL);
    }
}

std::optional<Programs> findPrograms(const BrowserOptions& options) {
    Programs found;
    if (!options.chromium.empty())
        found.chromium = options.chromium;
    else if (executable("/usr/lib/chromium/chromium"))
        found.chromium = "/usr/lib/chromium/chromium";
    else
        found.chromium = onSearchPath("chromium");
    found.chromedriver =
        options.chromedriver.empty() ? onSearchPath("chromedriver") : options.chromedriver;
    if (!executable(found.chromium) || !executable(found.chromedriver))
        return std::nullopt;
    return found;
}

WebDriverSession::WebDriverSession(const BrowserOptions& options) {
    const auto programs = findPrograms(options);
    if (!programs)
        throw BrowserGone(std::string(tr("Chromium oder chromedriver ist nicht installiert")));
    installCleanup();
    try {
        start(options, *programs);
    } catch (...) {
        endGroup();
        throw;
    }
}

WebDriverSession::~WebDriverSession() {
    quit();
}

void WebDriverSession::start(const BrowserOptions& options, const Programs& programs) {
    std::string pattern = (fs::temp_directory_path() / "kx-browser-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw BrowserGone(std::string(tr("kein temporärer Ordner für den Browser")));
    folder_ = pattern;
    std::error_code ignored;
    fs::create_directories(folder_ / "home", ignored);

    port_ = freeLoopbackPort();
    if (port_ == 0)
        throw BrowserGone(std::string(tr("kein freier Loopback-Port für den Treiber")));
    const std::vector<std::string> args{programs.chromedriver.string(),
                                        "--port=" + std::to_string(port_), "--log-level=OFF"};
    const auto environment = driverEnvironment(folder_ / "home");
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (const auto& e : environment) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);

    posix_spawnattr_t attr;
    posix_spawn_file_actions_t actions;
    posix_spawnattr_init(&attr);
    posix_spawn_file_actions_init(&actions);
    // Its own group, so the whole tree ends with one kill; the signals a
    // terminal sends reach only us, and we end the group.
    posix_spawnattr_setpgroup(&attr, 0);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (const int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE}) sigaddset(&defaults, s);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF);
    for (const int fd : {0, 1, 2})
        posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY,
                                         0);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, argv[0], &actions, &attr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0)
        throw BrowserGone(std::string(tr("der Treiber konnte nicht gestartet werden")));
    group_ = pid;
    rememberGroup(group_);

    const auto deadline = std::chrono::steady_clock::now() + seconds(20);
    for (;;) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            forgetGroup(group_);
            group_ = 0;
            throw BrowserGone(std::string(tr("der Treiber wurde beim Starten beendet")));
        }
        const auto answer = request(port_, "GET", "/status", nullptr, 2);
        if (answer && answer->first == 200) {
            const auto parsed = json::parse(answer->second, nullptr, false);
            if (!parsed.is_discarded() &&
                parsed.value("value", json::object()).value("ready", false))
                break;
        }
        if (std::chrono::steady_clock::now() > deadline)
            throw BrowserGone(std::string(tr("der Treiber ist nicht bereit geworden")));
        std::this_thread::sleep_for(milliseconds(50));
    }

    headless_ = !(options.windowed && hasDisplay());
    json browserArgs = json::array();
    if (headless_)
        browserArgs.push_back("--headless=new");
    // Chromium's sandbox needs user namespaces, which a root container lacks.
    if (::geteuid() == 0)
        browserArgs.push_back("--no-sandbox");
    // Nothing but the pages asked for: no updates, sync, reports or guesses
    // of the browser's own, which would also tell others about the user.
    for (const char* a :
         {"--disable-gpu", "--disable-dev-shm-usage", "--no-first-run", "--disable-crash-reporter",
          "--disable-breakpad", "--no-default-browser-check", "--disable-background-networking",
          "--disable-component-update", "--disable-sync", "--disable-domain-reliability",
          "--disable-client-side-phishing-detection", "--disable-default-apps", "--no-pings",
          "--disable-extensions", "--dns-prefetch-disable",
          "--disable-features=Translate,OptimizationHints,AutofillServerCommunication,"
          "MediaRouter,NetworkPrediction,InterestFeedContentSuggestions"})
        browserArgs.push_back(a);
    // Test machines keep the browser on loopback: no name resolves.
    if (const char* only = std::getenv("KOLVANEX_BROWSER_LOOPBACK_ONLY"); only && *only == '1')
        browserArgs.push_back("--host-resolver-rules=MAP * ~NOTFOUND, EXCLUDE 127.0.0.1");
    browserArgs.push_back("--user-data-dir=" + (folder_ / "profile").string());
    if (!options.proxyScriptUrl.empty())
        browserArgs.push_back("--proxy-pac-url=" + proxyScriptAddress(options.proxyScriptUrl));
    else
        browserArgs.push_back("--no-proxy-server");
    const json capabilities = {
        {"capabilities",
         {{"alwaysMatch",
           {{"browserName", "chrome"},
            // navigate returns at once; Busy tells when the page is there.
            {"pageLoadStrategy", "none"},
            // While a page is on its way no script runs; ours are quick, so
            // a script that has not run in this time meets a loading page.
            {"timeouts", {{"script", kScriptMilliseconds}}},
            {"unhandledPromptBehavior", "accept"},
            {"goog:chromeOptions",
             {{"binary", programs.chromium.string()}, {"args", browserArgs}}}}}}}};
    const auto created = command("POST", "/session", capabilities);
    session_ = created.value("sessionId", "");
    if (session_.empty())
        throw BrowserGone(std::string(tr("der Browser ist nicht gestartet")));
}

json WebDriverSession::command(const char* method, const std::string& path,
                               const std::optional<json>& body) {
    if (group_ <= 0)
        throw BrowserGone(std::string(tr("der Browser wurde beendet")));
    const std::string text = body ? body->dump() : std::string();
    const auto answer = request(port_, method, path, body ? &text : nullptr, kCommandSeconds);
    if (!answer) {
        endGroup();
        throw BrowserGone(std::string(tr("der Browsertreiber antwortet nicht")));
    }
    const auto parsed = json::parse(answer->second, nullptr, false);
    const json value = parsed.is_object() ? parsed.value("value", json()) : json();
    if (answer->first == 200)
        return value;
    const std::string error = value.is_object() ? value.value("error", "") : "";
    const std::string message = value.is_object() ? value.value("message", "") : "";
    if (goneError(error, message)) {
        endGroup();
        throw BrowserGone(
            trf("der Browser wurde beendet: {1}", {message.substr(0, message.find('\n'))}));
    }
    throw DriverError(error, message.substr(0, message.find('\n')));
}

static std::string sessionPath(const std::string& session, std::string_view rest) {
    return "/session/" + session + std::string(rest);
}

void WebDriverSession::navigate(const std::string& url) {
    frames_.reset();
    command("POST", sessionPath(session_, "/url"), json{{"url", url}});
}

json WebDriverSession::execute(const std::string& script, const json& arguments) {
    const json body = {{"script", script},
                       {"args", arguments.is_array() ? arguments : json::array()}};
    return command("POST", sessionPath(session_, "/execute/sync"), body);
}

void WebDriverSession::enterFrames(const std::vector<int>& path) {
    if (frames_ && *frames_ == path)
        return;
    frames_.reset();
    command("POST", sessionPath(session_, "/frame"), json{{"id", nullptr}});
    for (const int index : path)
        command("POST", sessionPath(session_, "/frame"), json{{"id", index}});
    frames_ = path;
}

void WebDriverSession::stopLoading() {
    // Through the browser's own protocol: a script would wait for the page.
    command("POST", sessionPath(session_, "/goog/cdp/execute"),
            json{{"cmd", "Page.stopLoading"}, {"params", json::object()}});
}

void WebDriverSession::pressKey(const std::string& key) {
    const json body = {
        {"actions",
         json::array({{{"type", "key"},
                       {"id", "keyboard"},
                       {"actions", json::array({{{"type", "keyDown"}, {"value", key}},
                                                {{"type", "keyUp"}, {"value", key}}})}}})}};
    command("POST", sessionPath(session_, "/actions"), body);
}

void WebDriverSession::showWindow(bool visible) {
    if (headless_)
        return;
    command("POST", sessionPath(session_, visible ? "/window/maximize" : "/window/minimize"),
            json::object());
}

void WebDriverSession::quit() {
    if (group_ > 0 && !session_.empty())
        (void)request(port_, "DELETE", sessionPath(session_, ""), nullptr, 10);
    endGroup();
}

void WebDriverSession::endGroup() {
    if (group_ > 0) {
        const pid_t group = group_;
        group_ = 0;
        forgetGroup(group);
        ::kill(-group, SIGKILL);
        int status = 0;
        ::waitpid(group, &status, 0);
        // The browser's processes were the driver's children; wait until
        // the last of them is gone before its folder is removed.
        const auto deadline = std::chrono::steady_clock::now() + seconds(5);
        while (groupRunning(group) && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(milliseconds(10));
    }
    if (!folder_.empty()) {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
        folder_.clear();
    }
}

}  // namespace kx::platform::browser
