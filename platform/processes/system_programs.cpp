#include "platform/processes/system_programs.hpp"

#include <map>
#include <mutex>
#include <optional>

#include "platform/files/files.hpp"
#include "platform/machine/machine.hpp"
#include "platform/registry/regfile.hpp"
#include "platform/registry/registry_key.hpp"
#include "platform/runtime/text.hpp"
#include "platform/runtime/translation.hpp"
#include "platform/ui/dialogs.hpp"

namespace kx::platform {
namespace {

// Names are kept lower-cased and without ".exe", so "Cleanmgr.exe",
// "cleanmgr" and "CLEANMGR.EXE" are one program.
std::string programKey(std::string_view name) {
    auto key = vbLCase(name);
    if (key.size() > 4 && key.ends_with(".exe"))
        key.resize(key.size() - 4);
    return key;
}

struct Table {
    std::mutex mutex;
    std::map<std::string, SystemProgramHandler> handlers;
    Table() {
        handlers.emplace("regedit", &runRegedit);
        handlers.emplace("regsvr32", &runRegsvr32);
        handlers.emplace("net", &runNet);
        handlers.emplace("cleanmgr", &runCleanmgr);
    }
};

Table& table() {
    static Table t;
    return t;
}

bool isOption(const std::string& word, std::string_view letter) {
    return word.size() == 2 && (word[0] == '/' || word[0] == '-') &&
           winEqualNoCase(word.substr(1), letter);
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

// An option word of programs that take "/x" or "-x", possibly followed by a
// value ("/i:cmd", "/sagerun:5", "/dC:").
bool isSwitch(const std::string& word) {
    return word.size() >= 2 && (word[0] == '/' || word[0] == '-');
}

// The service's state as the service control keeps it.
std::uint32_t serviceState(Registry& registry, HKEY key) {
    DWORD state = 0;
    DWORD size = sizeof state;
    DWORD type = 0;
    if (registry.RegQueryValueExA(key, "CurrentState", nullptr, &type,
                                  reinterpret_cast<std::uint8_t*>(&state),
                                  &size) == ERROR_SUCCESS &&
        type == REG_DWORD && size == sizeof state)
        return state;
    DWORD start = 0;
    size = sizeof start;
    const bool disabled = registry.RegQueryValueExA(key, "Start", nullptr, &type,
                                                    reinterpret_cast<std::uint8_t*>(&start),
                                                    &size) == ERROR_SUCCESS &&
                          type == REG_DWORD && start == 4;
    return disabled ? SERVICE_STOPPED : SERVICE_RUNNING;
}

bool serviceDisabled(Registry& registry, HKEY key) {
    DWORD start = 0;
    DWORD size = sizeof start;
    DWORD type = 0;
    return registry.RegQueryValueExA(key, "Start", nullptr, &type,
                                     reinterpret_cast<std::uint8_t*>(&start),
                                     &size) == ERROR_SUCCESS &&
           type == REG_DWORD && start == 4;
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
    const std::string title(tr("Registrierungs-Editor"));
    if (!silent && dialogs.messageBox(trf("Sind Sie sicher, dass Sie die Informationen in {1} zur "
                                          "Registrierung hinzufügen möchten?",
                                          {file}),
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
            dialogs.messageBox(
                trf("Die Informationen in {1} wurden erfolgreich in die Registrierung eingetragen.",
                    {file}),
                title, ui::MB_OK | ui::MB_ICONINFORMATION);
        } else {
            dialogs.messageBox(
                trf("Die Datei {1} konnte nicht importiert werden: {2}", {file, result.error}),
                title, ui::MB_OK | ui::MB_ICONCRITICAL);
        }
    }
    return result.status == ERROR_SUCCESS ? 0 : 1;
}

std::uint32_t runRegsvr32(const SystemProgramCall& call) {
    bool silent = false;
    bool unregister = false;
    std::vector<std::string> operands;
    for (const auto& word : call.arguments) {
        if (!isSwitch(word)) {
            operands.push_back(word);
            continue;
        }
        const auto option = vbLCase(word.substr(1));
        if (option == "s")
            silent = true;
        else if (option == "u")
            unregister = true;
        // "/i", "/i:text", "/n" and "/c" change nothing without a component model.
    }
    if (operands.size() != 1 || !hasCurrentMachine())
        return 1;
    const auto& file = operands[0];
    auto& machine = currentMachine();
    // The file itself, never a link's target: a library is loaded from where
    // it lies.
    const auto entry = files::info(machine, file);
    bool loadable = false;
    if (entry && entry->kind == EntryKind::File) {
        const auto bytes = files::readAll(machine, file);
        loadable = bytes && bytes->starts_with("MZ");
    }
    const std::string entryPoint = unregister ? "DllUnregisterServer" : "DllRegisterServer";
    if (!silent) {
        auto& dialogs = ui::dialogs();
        if (loadable)
            dialogs.messageBox(trf("{1} in {2} erfolgreich durchgeführt.", {entryPoint, file}),
                               "RegSvr32", ui::MB_OK | ui::MB_ICONINFORMATION);
        else
            dialogs.messageBox(trf("LoadLibrary(\"{1}\") ist fehlgeschlagen.", {file}), "RegSvr32",
                               ui::MB_OK | ui::MB_ICONCRITICAL);
    }
    return loadable ? 0 : 3;
}

std::uint32_t runNet(const SystemProgramCall& call) {
    if (call.arguments.size() != 2 || !hasCurrentMachine())
        return 1;
    const auto command = vbLCase(call.arguments[0]);
    if (command != "start" && command != "stop")
        return 1;
    const bool start = command == "start";
    auto& registry = currentMachine().registry();
    const std::string keyPath = std::string(kServicesKey) + "\\" + call.arguments[1];
    HKEY handle = 0;
    if (registry.RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_QUERY_VALUE, &handle) !=
        ERROR_SUCCESS)
        return 2;  // no such service
    std::uint32_t state = 0;
    bool disabled = false;
    {
        RegKey key(registry, handle);
        state = serviceState(registry, key.get());
        disabled = serviceDisabled(registry, key.get());
    }
    const std::uint32_t wanted = start ? SERVICE_RUNNING : SERVICE_STOPPED;
    if (state == wanted || (start && disabled))
        return 2;
    // Opened for writing anew: a user who is not an administrator is refused here.
    if (registry.RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_SET_VALUE, &handle) !=
        ERROR_SUCCESS)
        return 2;
    RegKey key(registry, handle);
    const DWORD value = wanted;
    return registry.RegSetValueExA(key.get(), "CurrentState", 0, REG_DWORD,
                                   reinterpret_cast<const std::uint8_t*>(&value),
                                   sizeof value) == ERROR_SUCCESS
               ? 0
               : 2;
}

std::uint32_t runCleanmgr(const SystemProgramCall& call) {
    if (!hasCurrentMachine())
        return 1;
    for (const auto& word : call.arguments) {
        if (!isSwitch(word))
            return 1;
        const auto option = vbLCase(word.substr(1));
        if (option.starts_with("d") && option.size() >= 2) {
            const Drive* drive = currentMachine().drive(option[1]);
            if (drive == nullptr || !driveHasFolder(*drive))
                return 1;
        }
    }
    return 0;
}

}  // namespace kx::platform
