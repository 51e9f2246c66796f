#include "cleaning/step_choice.hpp"

#include <array>

#include "platform/runtime/text.hpp"

namespace kx::cleaning {

namespace keys = settings::keys;

std::span<const CleaningStep> cleaningSteps() {
    static const std::array<CleaningStep, 14> steps = {{
        {"dialers", &keys::DialerCheckTime,
         "checks the dial-up entries for premium-rate dialers and removes dialer remnants"},
        {"temp-files", &keys::TempFiles, "temporary files of Windows, AOL and Java"},
        {"junk", &keys::Junk,
         "backup copies, temporary files and dumps on every fixed drive (once a week)"},
        {"internet-cache", &keys::INetTempFiles,
         "the browsers' cached pages (Internet Explorer, Opera, Netscape/Mozilla/Firefox)"},
        {"auto-complete", &keys::AutoFillOff,
         "saved form entries of Mozilla/Firefox; switches the browsers' auto-complete off"},
        {"cookies", &keys::Cookies, "cookies and stored website data (excepted sites stay)"},
        {"recent", &keys::Recent,
         "recently opened documents, browser history files and window lists"},
        {"history", &keys::History,
         "recent-file lists, typed addresses and search histories in the registry"},
        {"downloaded-programs", &keys::DownloadedProgramFiles,
         "downloaded program files (ActiveX controls), with the history step"},
        {"virus-scan", &keys::AntiVirus, "a daily virus check with the stand-alone scanner"},
        {"recycle-bin", &keys::Trashcan, "the recycle bins of every drive"},
        {"messenger", &keys::MessengerOff, "switches the Windows messenger service off"},
        {"kazaa", &keys::KaazaaSearch, "KaZaA's search words and recent files"},
        {"anti-spy", &keys::AntiSpy, "runs the anti-spy tool on the Windows privacy settings"},
    }};
    return steps;
}

const CleaningStep* findStep(std::string_view name) {
    for (const auto& step : cleaningSteps())
        if (platform::winEqualNoCase(step.name, name))
            return &step;
    return nullptr;
}

std::optional<StepChoice> StepChoice::of(const std::vector<std::string>& names, bool except,
                                         std::string* unknown) {
    StepChoice choice;
    std::set<const settings::SettingKey*> named;
    for (const auto& name : names) {
        const auto* step = findStep(name);
        if (step == nullptr) {
            if (unknown != nullptr)
                *unknown = name;
            return std::nullopt;
        }
        named.insert(step->key);
    }
    for (const auto& step : cleaningSteps())
        if (named.contains(step.key) != except)
            choice.chosen_.insert(step.key);
    return choice;
}

bool StepChoice::allows(const settings::SettingKey& key) const {
    if (chosen_.contains(&key))
        return true;
    for (const auto& step : cleaningSteps())
        if (step.key == &key)
            return false;
    return true;
}

}  // namespace kx::cleaning
