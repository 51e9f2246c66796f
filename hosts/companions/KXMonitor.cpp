// KXMonitor.exe: the suite's monitor. It keeps its main window on the
// machine's desktop, where the engine finds it by class "ThunderRT6Form" and
// the title "<application title> Monitor", and ends when that window is
// closed (WM_CLOSE) or told to quit (WM_QUIT).
//
// Options: --prefix DIR (else $KOLVANEX_PREFIX), --title TEXT (the
// application title, else $KOLVANEX_APP_TITLE, which the engine passes on).
#include <iostream>

#include "platform/processes/desktop_program.hpp"

int main(int argc, char** argv) {
    using namespace kx::platform;
    const auto args = parseCompanionArguments(argc, argv);
    if (!args.error.empty()) {
        std::cerr << "KXMonitor: " << args.error << "\n";
        return 2;
    }
    CompanionWindow window;
    window.className = "ThunderRT6Form";
    window.title = args.applicationTitle + " Monitor";
    return runCompanion(args.prefix, window);
}
