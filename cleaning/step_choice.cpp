#include "cleaning/step_choice.hpp"

#include <array>

#include "platform/runtime/text.hpp"
#include "platform/runtime/translation.hpp"

namespace kx::cleaning {

namespace keys = settings::keys;

std::span<const CleaningStep> cleaningSteps() {
    // The descriptions in the user's language, looked up once.
    using platform::tr;
    static const std::array<CleaningStep, 14> steps = {{
        {"dialers", &keys::DialerCheckTime,
         tr("prüft die DFÜ-Verbindungen auf teure Dialer und entfernt Reste von Dialern")},
        {"temp-files", &keys::TempFiles, tr("temporäre Dateien von Windows, AOL und Java")},
        {"junk", &keys::Junk,
         tr("Sicherungskopien, temporäre Dateien und Speicherabbilder auf allen Festplatten "
            "(einmal pro Woche)")},
        {"internet-cache", &keys::INetTempFiles,
         tr("zwischengespeicherte Seiten der Browser (Internet Explorer, Opera, "
            "Netscape/Mozilla/Firefox)")},
        {"auto-complete", &keys::AutoFillOff,
         tr("gespeicherte Formulareinträge von Mozilla/Firefox; schaltet die "
            "Autovervollständigung der Browser aus")},
        {"cookies", &keys::Cookies,
         tr("Cookies und gespeicherte Website-Daten (Ausnahmen bleiben)")},
        {"recent", &keys::Recent,
         tr("zuletzt geöffnete Dokumente, Verlaufsdateien der Browser und Fensterlisten")},
        {"history", &keys::History,
         tr("Listen zuletzt geöffneter Dateien, eingegebene Adressen und Suchverläufe in der "
            "Registry")},
        {"downloaded-programs", &keys::DownloadedProgramFiles,
         tr("heruntergeladene Programmdateien (ActiveX-Steuerelemente), mit dem Schritt history")},
        {"virus-scan", &keys::AntiVirus,
         tr("eine tägliche Virenprüfung mit dem eigenständigen Scanner")},
        {"recycle-bin", &keys::Trashcan, tr("die Papierkörbe aller Laufwerke")},
        {"messenger", &keys::MessengerOff, tr("schaltet den Windows-Nachrichtendienst aus")},
        {"kazaa", &keys::KaazaaSearch, tr("Suchbegriffe und zuletzt geöffnete Dateien von KaZaA")},
        {"anti-spy", &keys::AntiSpy,
         tr("startet das Anti-Spy-Werkzeug für die Datenschutzeinstellungen von Windows")},
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
