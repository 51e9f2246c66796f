// `kolvanex reg query|add|delete|import|export`: the machine's registry, as
// reg.exe and regedit.exe reach it.
#include <CLI/CLI.hpp>

#include <charconv>
#include <cstdio>
#include <iostream>
#include <memory>

#include "hosts/kolvanex/host.hpp"
#include "hosts/kolvanex/user_path.hpp"
#include "platform/registry/regfile.hpp"
#include "platform/registry/registry_key.hpp"
#include "platform/runtime/text.hpp"
#include "platform/runtime/translation.hpp"
#include "settings/registry_access.hpp"

namespace kx::host {
namespace {

using namespace kx::platform;

struct KeyPath {
    HKEY root;
    std::string subKey;
};

KeyPath parseKeyPath(std::string_view path) {
    const auto slash = path.find('\\');
    const auto rootText = path.substr(0, slash);
    const HKEY root = rootFromName(rootText);
    if (root == 0) {
        throw UsageError(
            trf("ein Schlüsselpfad beginnt mit HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, "
                "HKEY_USERS oder HKEY_CLASSES_ROOT (oder HKCU, HKLM, HKU, HKCR): '{1}'",
                {path}));
    }
    return {root, slash == std::string_view::npos ? "" : std::string(path.substr(slash + 1))};
}

std::string_view typeName(DWORD type) {
    switch (type) {
        case REG_SZ:
            return "REG_SZ";
        case REG_EXPAND_SZ:
            return "REG_EXPAND_SZ";
        case REG_BINARY:
            return "REG_BINARY";
        case REG_DWORD:
            return "REG_DWORD";
        case REG_MULTI_SZ:
            return "REG_MULTI_SZ";
        case REG_NONE:
            return "REG_NONE";
        default:
            return "REG_UNKNOWN";
    }
}

DWORD typeFromName(std::string_view name) {
    for (const DWORD type : {REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_MULTI_SZ}) {
        if (winEqualNoCase(name, typeName(type)))
            return type;
    }
    throw UsageError(trf(
        "unbekannter Werttyp '{1}' (REG_SZ, REG_EXPAND_SZ, REG_DWORD, REG_MULTI_SZ, REG_BINARY)",
        {name}));
}

std::string formatData(DWORD type, const std::string& bytes) {
    switch (type) {
        case REG_SZ:
        case REG_EXPAND_SZ:
            return bytes.substr(0, bytes.find('\0'));
        case REG_DWORD: {
            if (bytes.size() != 4)
                break;
            std::uint32_t v = 0;
            for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(bytes[i]);
            char buf[32];
            std::snprintf(buf, sizeof buf, "0x%08x (%u)", v, v);
            return buf;
        }
        case REG_MULTI_SZ: {
            std::string text = bytes;
            while (!text.empty() && text.back() == '\0') text.pop_back();
            std::string out;
            for (const char c : text) out += c == '\0' ? std::string("\\0") : std::string(1, c);
            return out;
        }
        default:
            break;
    }
    std::string hex;
    char buf[4];
    for (const char c : bytes) {
        std::snprintf(buf, sizeof buf, "%02x", static_cast<unsigned char>(c));
        hex += buf;
    }
    return hex;
}

std::string encodeData(DWORD type, std::string_view data) {
    switch (type) {
        case REG_SZ:
        case REG_EXPAND_SZ:
            return std::string(data) + '\0';
        case REG_DWORD: {
            std::uint32_t v = 0;
            const bool hex = data.starts_with("0x") || data.starts_with("0X");
            const auto digits = hex ? data.substr(2) : data;
            const auto [end, ec] =
                std::from_chars(digits.data(), digits.data() + digits.size(), v, hex ? 16 : 10);
            if (digits.empty() || ec != std::errc{} || end != digits.data() + digits.size()) {
                throw UsageError(
                    trf("REG_DWORD-Daten müssen eine Zahl von 0 bis 4294967295 sein (dezimal "
                        "oder 0x hexadezimal): '{1}'",
                        {data}));
            }
            return std::string{static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
                               static_cast<char>((v >> 16) & 0xFF), static_cast<char>(v >> 24)};
        }
        case REG_MULTI_SZ: {
            // Items are separated by the two characters "\0", as reg.exe takes them.
            std::string out;
            for (std::size_t pos = 0;;) {
                const auto sep = data.find("\\0", pos);
                out += data.substr(pos, sep - pos);
                out += '\0';
                if (sep == std::string_view::npos)
                    break;
                pos = sep + 2;
            }
            return out + '\0';
        }
        case REG_BINARY: {
            if (data.size() % 2 != 0)
                throw UsageError(std::string(tr("REG_BINARY-Daten sind Paare von Hexziffern")));
            std::string out;
            for (std::size_t i = 0; i < data.size(); i += 2) {
                unsigned v = 0;
                const auto [end, ec] = std::from_chars(data.data() + i, data.data() + i + 2, v, 16);
                if (ec != std::errc{} || end != data.data() + i + 2) {
                    throw UsageError(
                        trf("REG_BINARY-Daten sind Paare von Hexziffern: '{1}'", {data}));
                }
                out += static_cast<char>(v);
            }
            return out;
        }
        default:
            break;
    }
    throw UsageError(std::string(tr("nicht unterstützter Werttyp")));
}

int reportStatus(std::string_view what, LONG status) {
    if (status == ERROR_SUCCESS)
        return 0;
    const auto number = std::to_string(status);
    std::cerr << "kolvanex: "
              << (status == ERROR_FILE_NOT_FOUND
                      ? trf("{1}: Fehler {2} (nicht gefunden)", {what, number})
                  : status == ERROR_ACCESS_DENIED
                      ? trf("{1}: Fehler {2} (Zugriff verweigert)", {what, number})
                      : trf("{1}: Fehler {2}", {what, number}))
              << "\n";
    return kExitFailed;
}

}  // namespace

int runRegQuery(const GlobalOptions& options, const std::string& keyPath,
                const std::optional<std::string>& valueName) {
    const auto path = parseKeyPath(keyPath);
    Session session(options, true);
    auto& registry = session.machine().registry();
    HKEY raw = 0;
    if (const auto status = registry.RegOpenKeyExA(path.root, path.subKey, 0, KEY_READ, &raw)) {
        return reportStatus(keyPath, status);
    }
    const RegKey key(registry, raw);
    char name[16384];
    std::string data;
    for (DWORD i = 0;; ++i) {
        DWORD nameSize = sizeof name;
        DWORD type = 0;
        DWORD size = 0;
        if (registry.RegEnumValueA(key.get(), i, name, &nameSize, nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS) {
            break;
        }
        const std::string value(name, nameSize);
        if (valueName && !winEqualNoCase(*valueName, value))
            continue;
        data.assign(size, '\0');
        registry.RegQueryValueExA(key.get(), value, nullptr, &type,
                                  reinterpret_cast<std::uint8_t*>(data.data()), &size);
        data.resize(size);
        std::cout << "    " << (value.empty() ? "(Standard)" : value) << "    " << typeName(type)
                  << "    " << formatData(type, data) << "\n";
        if (valueName)
            return 0;
    }
    if (valueName)
        return reportStatus(keyPath + "\\" + *valueName, ERROR_FILE_NOT_FOUND);
    for (DWORD i = 0;; ++i) {
        DWORD nameSize = sizeof name;
        if (registry.RegEnumKeyExA(key.get(), i, name, &nameSize, nullptr, nullptr, nullptr,
                                   nullptr) != ERROR_SUCCESS) {
            break;
        }
        std::cout << keyPath << (keyPath.ends_with('\\') ? "" : "\\")
                  << std::string_view(name, nameSize) << "\n";
    }
    return 0;
}

int runRegAdd(const GlobalOptions& options, const std::string& keyPath,
              const std::string& valueName, const std::string& type, const std::string& data) {
    const auto path = parseKeyPath(keyPath);
    const DWORD valueType = typeFromName(type);
    const auto bytes = encodeData(valueType, data);
    Session session(options, true);
    auto& registry = session.machine().registry();
    HKEY raw = 0;
    if (const auto status =
            registry.RegCreateKeyExA(path.root, path.subKey, 0, "", REG_OPTION_NON_VOLATILE,
                                     KEY_WRITE, nullptr, &raw, nullptr)) {
        return reportStatus(keyPath, status);
    }
    const RegKey key(registry, raw);
    return reportStatus(keyPath,
                        registry.RegSetValueExA(key.get(), valueName, 0, valueType,
                                                reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                                static_cast<DWORD>(bytes.size())));
}

int runRegDelete(const GlobalOptions& options, const std::string& keyPath,
                 const std::optional<std::string>& valueName) {
    const auto path = parseKeyPath(keyPath);
    if (!valueName && path.subKey.find_first_not_of('\\') == std::string::npos) {
        throw UsageError(trf("eine ganze Wurzel wird nicht gelöscht: '{1}'", {keyPath}));
    }
    Session session(options, true);
    if (valueName) {
        return reportStatus(keyPath,
                            settings::deleteRegistryValue(path.root, path.subKey, *valueName));
    }
    return reportStatus(keyPath, settings::deleteRegistryTree(path.root, path.subKey));
}

int runRegImport(const GlobalOptions& options, const std::string& file) {
    Session session(options, true);
    const auto host = UserPath(file).host(session.machine());
    if (!std::filesystem::is_regular_file(host))
        throw UsageError(trf("keine solche Datei: {1}", {file}));
    const auto result = importRegFile(session.machine().registry(), host);
    if (result.status != ERROR_SUCCESS) {
        std::cerr << "kolvanex: " << file << ": "
                  << (result.error.empty() ? trf("Fehler {1}", {std::to_string(result.status)})
                                           : result.error)
                  << "\n";
        return kExitFailed;
    }
    return 0;
}

int runRegExport(const GlobalOptions& options, const std::string& keyPath, const std::string& file,
                 bool regedit4) {
    const auto path = parseKeyPath(keyPath);
    Session session(options, true);
    const auto result = exportRegFile(session.machine().registry(), path.root, path.subKey,
                                      UserPath(file).host(session.machine()),
                                      regedit4 ? RegFileFormat::Regedit4 : RegFileFormat::Version5);
    if (result.status != ERROR_SUCCESS) {
        std::cerr << "kolvanex: " << keyPath << ": "
                  << (result.error.empty() ? trf("Fehler {1}", {std::to_string(result.status)})
                                           : result.error)
                  << "\n";
        return kExitFailed;
    }
    return 0;
}

void addRegCommands(CLI::App& app, const GlobalOptions& options, int& exitCode) {
    auto* reg = app.add_subcommand("reg", std::string(tr("die Registry der Maschine")));
    reg->footer(std::string(
        tr("Beispiel:\n  kolvanex reg query 'HKCU\\Software\\Microsoft\\Internet Explorer'")));
    reg->require_subcommand(1);
    struct Words {
        std::string keyPath, file, type = "REG_SZ", data, addName;
        std::optional<std::string> valueName;
        bool regedit4 = false;
    };
    auto w = std::make_shared<Words>();
    auto* query =
        reg->add_subcommand("query", std::string(tr("Werte und Unterschlüssel eines Schlüssels")));
    query->add_option("key", w->keyPath)->required();
    query->add_option("-v,--value", w->valueName, std::string(tr("nur diesen Wert")));
    query->footer(
        std::string(tr("Beispiel:\n  kolvanex reg query 'HKCU\\Software\\Kazaa\\Search' -v 1")));
    query->callback(
        [&options, &exitCode, w] { exitCode = runRegQuery(options, w->keyPath, w->valueName); });
    auto* add = reg->add_subcommand(
        "add", std::string(tr("einen Schlüssel anlegen und einen Wert setzen")));
    add->add_option("key", w->keyPath)->required();
    add->add_option("-v,--value", w->addName,
                    std::string(tr("Name des Werts (Vorgabe: der Standardwert des Schlüssels)")));
    add->add_option("-t,--type", w->type,
                    "REG_SZ, REG_EXPAND_SZ, REG_DWORD, REG_MULTI_SZ, REG_BINARY");
    add->add_option("-d,--data", w->data, std::string(tr("die Daten")));
    add->footer(std::string(
        tr("Beispiel:\n  kolvanex reg add 'HKCU\\Software\\Probe' -v Zahl -t REG_DWORD -d 16")));
    add->callback([&options, &exitCode, w] {
        exitCode = runRegAdd(options, w->keyPath, w->addName, w->type, w->data);
    });
    auto* del = reg->add_subcommand(
        "delete", std::string(tr("einen Wert löschen oder einen Schlüssel mit allem darunter")));
    del->add_option("key", w->keyPath)->required();
    del->add_option("-v,--value", w->valueName, std::string(tr("nur diesen Wert löschen")));
    del->footer(
        std::string(tr("Beispiel:\n  kolvanex reg delete 'HKCU\\Software\\Probe' -v Zahl")));
    del->callback(
        [&options, &exitCode, w] { exitCode = runRegDelete(options, w->keyPath, w->valueName); });
    auto* importCmd = reg->add_subcommand("import", std::string(tr("eine .reg-Datei importieren")));
    importCmd->add_option("file", w->file)->required();
    importCmd->footer(std::string(tr("Beispiel:\n  kolvanex reg import sicher.reg")));
    importCmd->callback([&options, &exitCode, w] { exitCode = runRegImport(options, w->file); });
    auto* exportCmd = reg->add_subcommand(
        "export", std::string(tr("einen Schlüssel in eine .reg-Datei exportieren")));
    exportCmd->add_option("key", w->keyPath)->required();
    exportCmd->add_option("file", w->file)->required();
    exportCmd->footer(
        std::string(tr("Beispiel:\n  kolvanex reg export 'HKCU\\Software\\Probe' probe.reg")));
    exportCmd->add_flag("--regedit4", w->regedit4,
                        std::string(tr("eine REGEDIT4-Datei schreiben (Vorgabe: Version 5.00)")));
    exportCmd->callback([&options, &exitCode, w] {
        exitCode = runRegExport(options, w->keyPath, w->file, w->regedit4);
    });
}

}  // namespace kx::host
