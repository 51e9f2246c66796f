#include "services/registry_import.hpp"

#include <chrono>
#include <string>

#include "core/text_rules.hpp"
#include "fsys/fresh_files.hpp"
#include "platform/files/files.hpp"
#include "platform/processes/shell.hpp"
#include "platform/runtime/text.hpp"
#include "platform/runtime/translation.hpp"
#include "platform/ui/message_loop.hpp"
#include "services/progress.hpp"
#include "settings/locations.hpp"

namespace kx::settings {
namespace {

namespace files = platform::files;
using std::chrono::milliseconds;

// "C:\Daten\Zones High.REG" -> "zones high": the lower-cased name after the
// last backslash with every ".reg" taken out.
std::string baseName(std::string_view fileName) {
    std::string name = platform::vbLCase(fileName);
    if (const auto slash = name.rfind('\\'); slash != std::string::npos)
        name.erase(0, slash + 1);
    for (auto pos = name.find(".reg"); pos != std::string::npos; pos = name.find(".reg", pos)) {
        name.erase(pos, 4);
    }
    return name;
}

// The copy is removed after a second whether or not the editor has
// finished; the user interface stays alive meanwhile.
void removeLater(const std::string& copy) {
    auto& loop = platform::ui::MessageLoop::current();
    const auto until = loop.now() + milliseconds(1000);
    while (loop.now() < until) {
        loop.yield();
        loop.sleep(milliseconds(50));
    }
    if (!copy.empty() && files::exists(copy))
        (void)files::remove(copy);
}

}  // namespace

bool RegEdit(std::string_view sFileName) {
    const std::string folder = GetPrivatePath();
    const std::string name = baseName(sFileName);
    // Made here under the first free name ("<name>.tmp", "<name>1.tmp", ...):
    // a file of the user's that has the name stays untouched.
    std::string copy;
    bool failed = false;
    try {
        const auto content = files::readAll(sFileName);
        if (content)
            copy = fsys::createFreshFile(folder, name, ".tmp");
        failed = copy.empty() || !files::writeAll(copy, *content).has_value();
        if (!failed) {
            const auto started =
                platform::ShellExecuteA(0, "open", "regedit.exe", " /s \"" + copy + "\"", "", 1);
            failed = started <= 32;
        }
    } catch (const std::exception&) {
        failed = true;
    }
    const bool ok = !failed && files::exists(copy);
    if (!ok) {
        Status(platform::trf("{1} wurde nicht gefunden!",
                             {copy.empty() ? AddBackslash(folder) + name + ".tmp" : copy}));
        if (auto window = existingProgressWindow())
            window->startCloseTimer();
    }
    removeLater(copy);
    return ok;
}

}  // namespace kx::settings
