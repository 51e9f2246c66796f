// KXPopup.Exe: the popup blocker. Its window "KOLVANEX - Popup-blocker" is how
// the engine finds it and asks it to end. The options it was started with
// are kept as properties of that window, so whoever started it can see what
// it was told:
//   /SOUND   sound on blocking      /STEP1, /STEP2   blocking level
//   /IGNORECLOSE  a test mode: WM_CLOSE is counted and ignored, only WM_QUIT ends it
// plus --prefix DIR (else $KOLVANEX_PREFIX). Options are not case-sensitive;
// unknown ones are reported and ignored, as the blocker always did.
#include <iostream>

#include "platform/processes/desktop_program.hpp"
#include "platform/runtime/text.hpp"
#include "platform/runtime/translation.hpp"

int main(int argc, char** argv) {
    using namespace kx::platform;
    const auto args = parseCompanionArguments(argc, argv);
    if (!args.error.empty()) {
        std::cerr << "KXPopup: " << args.error << "\n";
        return 2;
    }
    CompanionWindow window;
    window.className = "ThunderRT6Form";
    window.title = "KOLVANEX - Popup-blocker";
    for (const auto& word : args.rest) {
        const auto option = vbUCase(word);
        if (option == "/SOUND" || option == "/STEP1" || option == "/STEP2") {
            window.properties.emplace_back(option.substr(1), 1);
        } else if (option == "/IGNORECLOSE") {
            window.ignoreClose = true;
            window.properties.emplace_back("IGNORECLOSE", 1);
        } else {
            std::cerr << "KXPopup: " << trf("unbekannte Option {1} übergangen", {word}) << "\n";
        }
    }
    return runCompanion(args.prefix, window);
}
