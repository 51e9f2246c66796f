// SendKeys: keystrokes in the runtime's notation, posted as key messages to
// the foreground window.
#include <unistd.h>

#include <algorithm>
#include <map>
#include <thread>

#include "platform/processes/desktop.hpp"
#include "platform/processes/desktop_access.hpp"
#include "platform/runtime/text.hpp"

namespace kx::platform {
using detail::onDesktop;
using std::chrono::milliseconds;
using SteadyClock = std::chrono::steady_clock;
namespace {

struct Stroke {
    std::uint16_t vk = 0;
    char character = 0;  // a character message follows the key-down when not 0
    bool shift = false, control = false, alt = false;
};

std::optional<std::uint16_t> namedKey(std::string_view name) {
    static const std::map<std::string, std::uint16_t> keys = {
        {"BACKSPACE", VK_BACK}, {"BS", VK_BACK},       {"BKSP", VK_BACK},     {"TAB", VK_TAB},
        {"ENTER", VK_RETURN},   {"ESC", VK_ESCAPE},    {"ESCAPE", VK_ESCAPE}, {"PGUP", VK_PRIOR},
        {"PGDN", VK_NEXT},      {"END", VK_END},       {"HOME", VK_HOME},     {"LEFT", VK_LEFT},
        {"UP", VK_UP},          {"RIGHT", VK_RIGHT},   {"DOWN", VK_DOWN},     {"INSERT", VK_INSERT},
        {"INS", VK_INSERT},     {"DELETE", VK_DELETE}, {"DEL", VK_DELETE},    {"BREAK", 0x03},
        {"CAPSLOCK", 0x14},     {"NUMLOCK", 0x90},     {"SCROLLLOCK", 0x91},  {"HELP", 0x2F},
        {"PRTSC", 0x2C}};
    const auto upper = platform::vbUCase(name);
    if (const auto it = keys.find(upper); it != keys.end())
        return it->second;
    if (upper.size() >= 2 && upper[0] == 'F') {
        try {
            const int n = std::stoi(upper.substr(1));
            if (n >= 1 && n <= 16 && std::to_string(n) == upper.substr(1))
                return static_cast<std::uint16_t>(VK_F1 + n - 1);
        } catch (const std::exception&) {
        }
    }
    return std::nullopt;
}

Stroke characterStroke(char c) {
    Stroke s;
    s.character = c;
    if (c >= 'a' && c <= 'z') {
        s.vk = static_cast<std::uint16_t>(c - 'a' + 'A');
    } else if (c >= 'A' && c <= 'Z') {
        s.vk = static_cast<std::uint16_t>(c);
        s.shift = true;
    } else if (c >= '0' && c <= '9') {
        s.vk = static_cast<std::uint16_t>(c);
    } else if (c == ' ') {
        s.vk = 0x20;
    }
    return s;
}

// Parses the runtime's notation; nothing for a malformed text.
std::optional<std::vector<Stroke>> parseKeys(std::string_view text) {
    std::vector<Stroke> strokes;
    bool shift = false, control = false, alt = false;
    auto apply = [&](Stroke s) {
        s.shift = s.shift || shift;
        s.control = control;
        s.alt = alt;
        strokes.push_back(s);
    };
    std::size_t i = 0;
    int group = 0;
    bool groupShift = false, groupControl = false, groupAlt = false;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '+' || c == '^' || c == '%') {
            (c == '+' ? shift : c == '^' ? control : alt) = true;
            ++i;
            continue;
        }
        if (c == '(') {
            if (group > 0)
                return std::nullopt;
            group = 1;
            groupShift = shift;
            groupControl = control;
            groupAlt = alt;
            ++i;
            continue;
        }
        if (c == ')') {
            if (group == 0)
                return std::nullopt;
            group = 0;
            shift = control = alt = false;
            ++i;
            continue;
        }
        std::vector<Stroke> keys;
        if (c == '{') {
            // "{}}" and "{{}" name the braces themselves.
            std::size_t close = text.find('}', i + 2);
            if (i + 1 < text.size() && text[i + 1] == '}')
                close = i + 2 < text.size() && text[i + 2] == '}' ? i + 2 : std::string_view::npos;
            if (close == std::string_view::npos)
                return std::nullopt;
            std::string_view inside = text.substr(i + 1, close - i - 1);
            int repeat = 1;
            if (const auto blank = inside.find(' '); blank != std::string_view::npos && blank > 0) {
                try {
                    repeat = std::stoi(std::string(inside.substr(blank + 1)));
                } catch (const std::exception&) {
                    return std::nullopt;
                }
                if (repeat < 0 || repeat > 255)
                    return std::nullopt;
                inside = inside.substr(0, blank);
            }
            Stroke key;
            if (inside.size() == 1 &&
                std::string_view("+^%~(){}[]").find(inside[0]) != std::string_view::npos) {
                key = characterStroke(inside[0]);
            } else if (const auto vk = namedKey(inside)) {
                key.vk = *vk;
            } else {
                return std::nullopt;
            }
            keys.assign(static_cast<std::size_t>(repeat), key);
            i = close + 1;
        } else if (c == '~') {
            Stroke enter;
            enter.vk = VK_RETURN;
            keys.push_back(enter);
            ++i;
        } else if (c == '}' || c == '[' || c == ']') {
            return std::nullopt;
        } else {
            keys.push_back(characterStroke(c));
            ++i;
        }
        for (const auto& k : keys) apply(k);
        if (group > 0) {
            shift = groupShift;
            control = groupControl;
            alt = groupAlt;
        } else {
            shift = control = alt = false;
        }
    }
    if (group > 0)
        return std::nullopt;
    return strokes;
}

struct KeyMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

std::vector<KeyMessage> messagesFor(const Stroke& s) {
    constexpr LPARAM kUp = (LPARAM{1} << 30) | (LPARAM{1} << 31);
    const LPARAM alt = s.alt ? KF_ALTDOWN_BIT : 0;
    std::vector<KeyMessage> out;
    if (s.alt)
        out.push_back({WM_SYSKEYDOWN, VK_MENU, 1 | KF_ALTDOWN_BIT});
    if (s.control)
        out.push_back({s.alt ? WM_SYSKEYDOWN : WM_KEYDOWN, VK_CONTROL, 1 | alt});
    if (s.shift)
        out.push_back({s.alt ? WM_SYSKEYDOWN : WM_KEYDOWN, VK_SHIFT, 1 | alt});
    const UINT down = s.alt ? WM_SYSKEYDOWN : WM_KEYDOWN;
    const UINT up = s.alt ? WM_SYSKEYUP : WM_KEYUP;
    if (s.vk != 0)
        out.push_back({down, s.vk, 1 | alt});
    if (s.character != 0 && !s.control) {
        char c = s.character;
        if (s.shift && c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        out.push_back({s.alt ? WM_SYSCHAR : WM_CHAR,
                       static_cast<WPARAM>(static_cast<unsigned char>(c)), 1 | alt});
    }
    if (s.vk != 0)
        out.push_back({up, s.vk, 1 | alt | kUp});
    if (s.shift)
        out.push_back({up, VK_SHIFT, 1 | alt | kUp});
    if (s.control)
        out.push_back({up, VK_CONTROL, 1 | alt | kUp});
    if (s.alt)
        out.push_back({WM_KEYUP, VK_MENU, 1 | kUp});
    return out;
}

}  // namespace

bool SendKeys(std::string_view keys, bool wait) {
    const auto strokes = parseKeys(keys);
    if (!strokes)
        return false;
    // A window of our own thread: nobody else takes its queue, so its
    // procedure gets the keys at once, as SendMessageA delivers to it.
    const HWND own = onDesktop<HWND>(0, [](Desktop& d) {
        const HWND target = d.foreground();
        const auto w = target != 0 ? d.window(target) : std::nullopt;
        return w && w->processId == static_cast<DWORD>(::getpid()) &&
                       d.ownerThread(target) == detail::callingThreadId()
                   ? target
                   : HWND{0};
    });
    if (own != 0) {
        for (const auto& stroke : *strokes)
            for (const auto& m : messagesFor(stroke))
                SendMessageTimeoutA(own, m.message, m.wParam, m.lParam, kSendKeysTimeout);
        return true;
    }
    return onDesktop<bool>(false, [&](Desktop& d) {
        const HWND target = d.foreground();
        if (target == 0)
            return false;
        // All keys go into the queue at once: a window that closes on the
        // first of them (Alt+F4) must not make the rest fail to arrive.
        std::vector<Desktop::Posted> messages;
        for (const auto& stroke : *strokes) {
            for (const auto& m : messagesFor(stroke))
                messages.push_back({m.message, m.wParam, m.lParam});
        }
        const auto posted = d.postAll(target, messages);
        if (!posted)
            return false;
        const auto& ids = *posted;
        if (!wait)
            return true;
        const auto deadline = SteadyClock::now() + kSendKeysTimeout;
        while (SteadyClock::now() < deadline) {
            const bool any =
                std::any_of(ids.begin(), ids.end(), [&](std::int64_t id) { return d.pending(id); });
            if (!any)
                return true;
            std::this_thread::sleep_for(milliseconds(2));
        }
        return true;  // the keys were delivered; the window is merely slow
    });
}

}  // namespace kx::platform
