#include "platform/processes/desktop_program.hpp"

#include <signal.h>

#include <cstdlib>
#include <iostream>
#include <thread>

#include "platform/machine/machine.hpp"
#include "platform/runtime/translation.hpp"

namespace kx::platform {
namespace {

volatile std::sig_atomic_t stopRequested = 0;

void onStopSignal(int) {
    stopRequested = 1;
}

std::string environmentOr(const char* name, std::string fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? std::string(value) : std::move(fallback);
}

}  // namespace

ProgramWindow::ProgramWindow(std::shared_ptr<Desktop> desktop, std::string_view className,
                             std::string_view title, std::uint32_t style)
    : desktop_(std::move(desktop)) {
    hwnd_ = desktop_->createWindow(className, title, style);
}

ProgramWindow::~ProgramWindow() {
    try {
        destroy();
    } catch (const std::exception&) {
        // The table is unreachable; the window goes when anyone sees we ended.
    }
}

void ProgramWindow::destroy() {
    if (hwnd_ != 0) {
        const HWND h = hwnd_;
        hwnd_ = 0;
        desktop_->destroyWindow(h);
    }
}

std::optional<DesktopMessage> ProgramWindow::next(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (hwnd_ == 0)
            return std::nullopt;
        if (auto message = desktop_->take(hwnd_))
            return message;
        if (stopRequested != 0 || std::chrono::steady_clock::now() >= deadline)
            return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void ProgramWindow::finish(const DesktopMessage& message, LRESULT result) {
    desktop_->finish(message, result);
}

std::uint32_t styleForShowWindow(std::uint32_t style, std::uint16_t showWindow) {
    if (showWindow == SW_HIDE)
        return style & ~WS_VISIBLE;
    style |= WS_VISIBLE;
    if (showWindow == SW_SHOWMINIMIZED || showWindow == SW_MINIMIZE ||
        showWindow == SW_SHOWMINNOACTIVE)
        style |= WS_MINIMIZE;
    return style;
}

std::uint16_t startShowWindow() {
    const char* value = std::getenv("KOLVANEX_SHOW_WINDOW");
    if (value == nullptr)
        return SW_SHOWNORMAL;
    char* end = nullptr;
    const long code = std::strtol(value, &end, 10);
    if (end == value || *end != '\0' || code < 0 || code > 11)
        return SW_SHOWNORMAL;
    return static_cast<std::uint16_t>(code);
}

CompanionArguments parseCompanionArguments(int argc, char** argv) {
    CompanionArguments args;
    std::optional<std::string> prefix;
    std::optional<std::string> title;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        auto take = [&](std::string_view option, std::optional<std::string>& into) {
            if (word == option) {
                if (i + 1 >= argc) {
                    args.error = trf("{1} verlangt einen Wert", {option});
                    return true;
                }
                into = argv[++i];
                return true;
            }
            const std::string withEquals = std::string(option) + "=";
            if (word.starts_with(withEquals)) {
                into = word.substr(withEquals.size());
                return true;
            }
            return false;
        };
        if (take("--prefix", prefix) || take("--title", title))
            continue;
        args.rest.push_back(word);
    }
    args.prefix = prefix ? std::filesystem::path(*prefix) : Machine::defaultPrefix();
    args.applicationTitle = title ? *title : environmentOr("KOLVANEX_APP_TITLE", "Kolvanex");
    return args;
}

int runCompanion(const std::filesystem::path& prefix, const CompanionWindow& wanted) {
    struct sigaction action {};
    action.sa_handler = &onStopSignal;
    sigemptyset(&action.sa_mask);
    for (const int sig : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(sig, &action, nullptr);

    auto machine = Machine::open(prefix);
    if (!machine) {
        std::cerr << trf("kein Rechner unter {1}: {2}", {prefix.string(), machine.error().message})
                  << "\n";
        return 1;
    }
    // Bound for the program's life, so later work of a companion (settings,
    // registry) reaches the same machine as its window.
    MachineScope scope(**machine);
    const auto desktop = currentDesktop();
    if (!desktop) {
        std::cerr << trf("kann den Desktop von {1} nicht öffnen", {prefix.string()}) << "\n";
        return 1;
    }
    try {
        // The window is found by its title: it gets it only once its
        // properties are set, so whoever finds it sees what it was told.
        ProgramWindow window(desktop, wanted.className, "",
                             styleForShowWindow(wanted.style, startShowWindow()));
        for (const auto& [name, value] : wanted.properties)
            desktop->setProperty(window.hwnd(), name, value);
        desktop->setTitle(window.hwnd(), wanted.title);
        std::int64_t closeRequests = 0;
        while (stopRequested == 0) {
            const auto message = window.next(std::chrono::milliseconds(200));
            if (!message) {
                if (!desktop->window(window.hwnd()))
                    return 0;  // someone took our window away: nothing left to do
                continue;
            }
            switch (message->message) {
                case WM_QUIT:
                    window.finish(*message, 0);
                    return static_cast<int>(message->wParam & 0xFF);
                case WM_CLOSE:
                    window.finish(*message, 0);
                    if (wanted.ignoreClose) {
                        desktop->setProperty(window.hwnd(), "CLOSEREQUESTS", ++closeRequests);
                        break;
                    }
                    window.destroy();
                    return 0;
                default:
                    window.finish(*message, defWindowProc(*desktop, window.hwnd(), message->message,
                                                          message->wParam, message->lParam));
                    break;
            }
        }
        return 0;
    } catch (const std::runtime_error& e) {
        std::cerr << e.what() << "\n";
        return 1;
    }
}

}  // namespace kx::platform
