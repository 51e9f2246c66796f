#pragma once
// Programs and windows for tests of processes and the desktop: real Linux
// programs installed into a test machine under Windows names, the built
// companion programs, and a thread that plays other programs' windows.
// Header-only: the companions' folder comes from KX_HOST_BINARY, which only
// the test programs are built with.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <future>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/processes/desktop_program.hpp"
#include "platform/processes/process.hpp"
#include "temp_machine.hpp"

namespace kx::test {

/// Copies a host program into the machine under a Windows path, executable.
inline std::filesystem::path installProgram(TempMachine& machine, std::string_view windowsPath,
                                            const std::filesystem::path& hostProgram) {
    const auto target = machine.host(windowsPath);
    std::filesystem::create_directories(target.parent_path());
    std::filesystem::copy_file(hostProgram, target,
                               std::filesystem::copy_options::overwrite_existing);
    std::filesystem::permissions(target, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add);
    return target;
}

/// A Linux program found in the usual places ("/bin/sleep", "/usr/bin/sleep").
inline std::filesystem::path hostTool(std::string_view name) {
    for (const char* dir : {"/usr/bin/", "/bin/"}) {
        const std::filesystem::path p = std::string(dir) + std::string(name);
        if (std::filesystem::exists(p))
            return p;
    }
    throw std::runtime_error("no " + std::string(name) + " on this machine");
}

#ifdef KX_HOST_BINARY
/// A companion program as the build made it ("KXPopup.Exe", "KXMonitor.exe").
inline std::filesystem::path companionBinary(std::string_view windowsName) {
    return std::filesystem::path(KX_HOST_BINARY).parent_path() / std::string(windowsName);
}
#endif

/// The exit code of an ended process, or 0xDEAD when it cannot be read.
inline platform::DWORD exitCode(platform::HANDLE process) {
    platform::DWORD code = 0;
    return platform::GetExitCodeProcess(process, &code) ? code : 0xDEAD;
}

/// Polls until `done` answers true or `timeout` passed; answers `done()`.
inline bool waitUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds timeout = std::chrono::milliseconds(5000)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return done();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

/// Windows of "another program", run by a thread with its own connection
/// to the machine's desktop: each window answers its messages as its
/// behaviour says, and every message it got is recorded.
class WindowPlayer {
  public:
    enum class Reaction { Keep, Close, Default };
    using Behaviour = std::function<Reaction(const platform::DesktopMessage&)>;
    struct Played {
        std::string className;
        std::string title;
        std::uint32_t style;
        Behaviour behaviour;
        /// The result a sent message gets back.
        std::function<platform::LRESULT(const platform::DesktopMessage&)> result;
    };

    /// Closes on WM_CLOSE, leaves the rest to the desktop's defaults.
    static Reaction obedient(const platform::DesktopMessage& m) {
        return m.message == platform::WM_CLOSE ? Reaction::Close : Reaction::Default;
    }

    WindowPlayer(const std::filesystem::path& prefix, std::vector<Played> played)
        : played_(std::move(played)) {
        std::promise<std::vector<platform::HWND>> made;
        auto handles = made.get_future();
        thread_ = std::thread([this, prefix, &made] { run(prefix, made); });
        handles_ = handles.get();
    }
    ~WindowPlayer() {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
    }
    WindowPlayer(const WindowPlayer&) = delete;
    WindowPlayer& operator=(const WindowPlayer&) = delete;

    platform::HWND hwnd(std::size_t index) const { return handles_.at(index); }

    std::vector<platform::DesktopMessage> received(std::size_t index) const {
        std::lock_guard lock(mutex_);
        const auto it = received_.find(index);
        return it == received_.end() ? std::vector<platform::DesktopMessage>{} : it->second;
    }

    /// Stops answering (the windows stay registered until the player ends).
    /// Returns once the player has finished the round it was in, so that no
    /// message sent from now on is answered against the change.
    void pause(bool paused) {
        paused_ = paused;
        const auto round = rounds_.load();
        while (rounds_.load() == round && !stop_)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

  private:
    void run(const std::filesystem::path& prefix, std::promise<std::vector<platform::HWND>>& made) {
        std::vector<std::unique_ptr<platform::ProgramWindow>> windows;
        std::shared_ptr<platform::Desktop> desktop;
        try {
            desktop = platform::Desktop::open(prefix / "desktop.db");
            std::vector<platform::HWND> handles;
            for (const auto& one : played_) {
                windows.push_back(std::make_unique<platform::ProgramWindow>(desktop, one.className,
                                                                            one.title, one.style));
                handles.push_back(windows.back()->hwnd());
            }
            made.set_value(handles);
        } catch (...) {
            made.set_exception(std::current_exception());
            return;
        }
        while (!stop_) {
            ++rounds_;
            bool any = false;
            for (std::size_t i = 0; i < windows.size() && !paused_; ++i) {
                auto& window = *windows[i];
                if (window.hwnd() == 0)
                    continue;
                const auto message = desktop->take(window.hwnd());
                if (!message)
                    continue;
                any = true;
                {
                    std::lock_guard lock(mutex_);
                    received_[i].push_back(*message);
                }
                const auto& one = played_[i];
                const auto reaction = one.behaviour ? one.behaviour(*message) : Reaction::Default;
                platform::LRESULT result = 0;
                if (reaction == Reaction::Default)
                    result = platform::defWindowProc(*desktop, window.hwnd(), message->message,
                                                     message->wParam, message->lParam);
                if (one.result)
                    result = one.result(*message);
                window.finish(*message, result);
                if (reaction == Reaction::Close)
                    window.destroy();
            }
            if (!any)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }

    std::vector<Played> played_;
    std::vector<platform::HWND> handles_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> paused_{false};
    std::atomic<std::uint64_t> rounds_{0};
    mutable std::mutex mutex_;
    std::map<std::size_t, std::vector<platform::DesktopMessage>> received_;
};

}  // namespace kx::test
