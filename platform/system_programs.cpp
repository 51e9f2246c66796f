#include "platform/system_programs.hpp"

#include <map>
#include <mutex>
#include <optional>

#include "platform/machine.hpp"
#include "platform/regfile.hpp"
#include "platform/text.hpp"
#include "platform/ui/dialogs.hpp"

namespace kx::platform {
namespace {

// Names are kept lower-cased and without ".exe", so "Cleanmgr.exe",
// "cleanmgr" and "CLEANMGR.EXE" are one program.
std::string programKey(std::string_view name) {
    auto key = lower(name);
    if (key.size() > 4 && key.ends_with(".exe"))
        key.resize(key.size() - 4);
    return key;
}

struct Table {
    std::mutex mutex;
    std::map<std::string, SystemProgramHandler> handlers;
    Table() { handlers.emplace("regedit", &runRegedit); }
};

Table& table() {
    static Table t;
    return t;
}

bool isOption(const std::string& word, std::string_view letter) {
    return word.size() == 2 && (word[0] == '/' || word[0] == '-') &&
           iequals(word.substr(1), letter);
}

std::uint32_t exportKey(Machine& machine, const std::string& file, const std::string& keyPath,
                        RegFileFormat format) {
    const auto cut = keyPath.find('\\');
    const HKEY root = rootFromName(keyPath.substr(0, cut));
    if (root == 0)
        return 1;
    const std::string subKey = cut == std::string::npos ? "" : keyPath.substr(cut + 1);
    const auto host = machine.resolve(file);
    if (!host)
        return 1;
    return exportRegFile(machine.registry(), root, subKey, *host, format).status == ERROR_SUCCESS
               ? 0
               : 1;
}

}  // namespace

void registerSystemProgram(std::string_view name, SystemProgramHandler handler) {
    auto& t = table();
    std::lock_guard lock(t.mutex);
    t.handlers[programKey(name)] = std::move(handler);
}

SystemProgramHandler findSystemProgram(std::string_view name) {
    auto& t = table();
    std::lock_guard lock(t.mutex);
    const auto it = t.handlers.find(programKey(name));
    return it == t.handlers.end() ? SystemProgramHandler{} : it->second;
}

std::uint32_t runRegedit(const SystemProgramCall& call) {
    if (!hasCurrentMachine())
        return 1;
    auto& machine = currentMachine();
    bool silent = false;
    std::optional<RegFileFormat> exportFormat;
    std::vector<std::string> operands;
    for (const auto& word : call.arguments) {
        if (isOption(word, "s"))
            silent = true;
        else if (isOption(word, "e"))
            exportFormat = RegFileFormat::Version5;
        else if (isOption(word, "a"))
            exportFormat = RegFileFormat::Regedit4;
        else if (!word.empty() && word[0] == '/')
            continue;  // options regedit knows but that change nothing here (/v, /l:...)
        else
            operands.push_back(word);
    }
    if (exportFormat) {
        // Exporting the whole registry is not offered; a key must be named.
        if (operands.size() != 2)
            return 1;
        return exportKey(machine, operands[0], operands[1], *exportFormat);
    }
    if (operands.size() != 1)
        return 1;
    const auto& file = operands[0];
    auto& dialogs = ui::dialogs();
    const std::string title = "Registrierungs-Editor";
    if (!silent && dialogs.messageBox("Sind Sie sicher, dass Sie die Informationen in " + file +
                                          " zur Registrierung hinzufügen möchten?",
                                      title, ui::MB_YESNO | ui::MB_ICONQUESTION) != ui::IDYES) {
        return 1;
    }
    const auto host = machine.resolve(file);
    RegFileResult result;
    if (!host) {
        result.status = ERROR_FILE_NOT_FOUND;
        result.error = host.error().message;
    } else {
        result = importRegFile(machine.registry(), *host);
    }
    if (!silent) {
        if (result.status == ERROR_SUCCESS) {
            dialogs.messageBox("Die Informationen in " + file +
                                   " wurden erfolgreich in die Registrierung eingetragen.",
                               title, ui::MB_OK | ui::MB_ICONINFORMATION);
        } else {
            dialogs.messageBox(
                "Die Datei " + file + " konnte nicht importiert werden: " + result.error, title,
                ui::MB_OK | ui::MB_ICONCRITICAL);
        }
    }
    return result.status == ERROR_SUCCESS ? 0 : 1;
}

}  // namespace kx::platform
