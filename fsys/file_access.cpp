#include "fsys/file_access.hpp"

#include <exception>
#include <filesystem>
#include <stdexcept>
#include <vector>

#include "fsys/connection_blob.hpp"
#include "platform/files/files.hpp"
#include "platform/files/overwrite.hpp"
#include "platform/machine/machine.hpp"
#include "platform/machine/shell_folders.hpp"
#include "platform/ui/dialogs.hpp"

namespace kx::fsys {
namespace {

namespace pf = kx::platform;

constexpr std::string_view kConnectionsKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";

std::string blobValueName(std::string_view connectionName) {
    return connectionName.empty() ? std::string("DefaultConnectionSettings")
                                  : std::string(connectionName);
}

// Reads a connection's blob; nullopt when there is none or it cannot be read.
std::optional<ConnectionBlob> readBlob(pf::Registry& reg, std::string_view connectionName) {
    pf::HKEY key = 0;
    if (reg.RegOpenKeyExA(pf::HKEY_CURRENT_USER, kConnectionsKey, 0, pf::KEY_READ, &key) !=
        pf::ERROR_SUCCESS) {
        return std::nullopt;
    }
    const std::string name = blobValueName(connectionName);
    std::optional<ConnectionBlob> blob;
    pf::DWORD type = 0;
    pf::DWORD size = 0;
    if (reg.RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) == pf::ERROR_SUCCESS &&
        type == pf::REG_BINARY) {
        std::vector<std::uint8_t> data(size);
        if (reg.RegQueryValueExA(key, name, nullptr, &type, data.data(), &size) ==
            pf::ERROR_SUCCESS) {
            blob = ConnectionBlob::parse(
                std::string_view(reinterpret_cast<const char*>(data.data()), size));
        }
    }
    reg.RegCloseKey(key);
    return blob;
}

template <typename Change>
void updateBlob(std::string_view connectionName, Change change) {
    auto& reg = pf::currentMachine().registry();
    // Read, change and write in one transaction, so another process changing
    // the same connection at the same moment cannot lose our change or theirs.
    reg.transaction([&]() -> pf::LONG {
        ConnectionBlob blob = readBlob(reg, connectionName).value_or(ConnectionBlob::fresh());
        change(blob);
        ++blob.counter;  // IE counts each change; readers notice it by this
        const std::string bytes = blob.serialize();
        pf::HKEY key = 0;
        pf::LONG rc = reg.RegCreateKeyExA(pf::HKEY_CURRENT_USER, kConnectionsKey, 0, "",
                                          pf::REG_OPTION_NON_VOLATILE, pf::KEY_ALL_ACCESS, nullptr,
                                          &key, nullptr);
        if (rc != pf::ERROR_SUCCESS)
            return rc;
        rc = reg.RegSetValueExA(key, blobValueName(connectionName), 0, pf::REG_BINARY,
                                reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                static_cast<pf::DWORD>(bytes.size()));
        reg.RegCloseKey(key);
        return rc;
    });
}

// True when `host` is `inner` or one of its ancestors.
bool contains(const std::filesystem::path& host, const std::filesystem::path& inner) {
    auto h = host.begin();
    auto i = inner.begin();
    for (; h != host.end() && i != inner.end(); ++h, ++i) {
        if (*h != *i)
            return false;
    }
    return h == host.end();
}

// The Cache and History values are anyone's to edit. A value pointing at the
// profile, the documents, the Windows folder or above them must not make the
// cleaner empty those: such a folder is refused.
bool isProtectedFolder(pf::Machine& machine, const std::string& folder) {
    const auto target = machine.resolve(folder);
    if (!target)
        return true;
    std::vector<std::string> keep = {machine.userProfile(), pf::windowsDirectory(machine)};
    for (int csidl : {pf::CSIDL_PERSONAL, pf::CSIDL_DESKTOPDIRECTORY, pf::CSIDL_APPDATA,
                      pf::CSIDL_PROGRAM_FILES, pf::CSIDL_COMMON_APPDATA, pf::CSIDL_FAVORITES}) {
        keep.push_back(pf::specialFolderPath(machine, csidl));
    }
    for (const auto& k : keep) {
        if (k.empty())
            continue;
        if (const auto host = machine.resolve(k); host && contains(*target, *host))
            return true;
    }
    return false;
}

bool emptyShellFolder(int csidl) {
    auto& machine = pf::currentMachine();
    const std::string folder = pf::specialFolderPath(machine, csidl);
    // "" is a folder the registry does not name: never turn it into a path.
    if (folder.empty() || isProtectedFolder(machine, folder))
        return false;
    const auto result = pf::files::emptyFolder(machine, folder);
    return result && result->failed == 0;
}

}  // namespace

bool isProtectedFolder(std::string_view folder) {
    try {
        return isProtectedFolder(pf::currentMachine(), std::string(folder));
    } catch (const std::exception&) {
        return true;  // no machine bound: nothing may be cleared
    }
}

bool FileAccess::Exists(std::string_view path) {
    try {
        return pf::files::exists(path);
    } catch (const std::exception&) {
        return false;
    }
}

double FileAccess::Size(std::string_view path) {
    try {
        const auto size = pf::files::size(path);
        return size ? static_cast<double>(*size) : 0.0;
    } catch (const std::exception&) {
        return 0.0;
    }
}

std::string FileAccess::ReadText(std::string_view path) {
    try {
        auto text = pf::files::readAll(path);
        return text ? std::move(*text) : std::string();
    } catch (const std::exception&) {
        return {};
    }
}

bool FileAccess::WriteText(std::string_view path, std::string_view text) {
    try {
        return pf::files::writeAll(path, text).has_value();
    } catch (const std::exception&) {
        return false;
    }
}

bool FileAccess::Delete(std::string_view path) {
    try {
        return deleteFile(pf::currentMachine(), path);
    } catch (const std::exception&) {
        return false;  // no machine bound
    }
}

bool deleteFile(pf::Machine& machine, std::string_view path) {
    try {
        const auto info = pf::files::info(machine, path);
        if (!info || info->kind == pf::EntryKind::Folder)
            return false;
        // One name of a file with others: only the name goes, the mode and
        // attributes stay the others'.
        if (const auto facts = pf::lookAtEntry(machine, path); facts && facts->hardLinks > 1)
            return pf::files::removeName(machine, path).has_value();
        if (info->kind == pf::EntryKind::File && (info->attributes & pf::fileattr::ReadOnly) != 0) {
            // Cleared on the file itself (never through a link), then deleted.
            if (!pf::files::setAttributes(machine, path, pf::fileattr::Normal))
                return false;
        }
        return pf::files::remove(machine, path).has_value();
    } catch (const std::exception&) {
        return false;
    }
}

std::int32_t FileAccess::DeleteRegKey(platform::HKEY root, std::string_view keyPath) {
    try {
        std::string_view path = keyPath;
        while (!path.empty() && path.front() == '\\') path.remove_prefix(1);
        while (!path.empty() && path.back() == '\\') path.remove_suffix(1);
        // Deleting "" would mean the whole root: no cleaner asks for that.
        if (path.empty())
            return pf::ERROR_INVALID_PARAMETER;
        return pf::deleteKeyTree(pf::currentMachine().registry(), root, path);
    } catch (const std::logic_error&) {
        return pf::ERROR_INVALID_HANDLE;  // no machine bound
    } catch (const std::exception&) {
        return pf::ERROR_BADDB;
    }
}

void FileAccess::ClearIEHistory() {
    try {
        (void)emptyShellFolder(pf::CSIDL_HISTORY);
    } catch (const std::exception&) {
    }
}

bool FileAccess::ClearIECache() {
    try {
        return emptyShellFolder(pf::CSIDL_INTERNET_CACHE);
    } catch (const std::exception&) {
        return false;
    }
}

void FileAccess::SetAutoConfigURL(const std::string& url, const std::string& connectionName,
                                  std::int32_t flags) {
    try {
        updateBlob(connectionName, [&](ConnectionBlob& blob) {
            blob.autoConfigUrl = url;
            blob.flags = static_cast<std::uint32_t>(flags);
        });
    } catch (const std::exception&) {
    }
}

void FileAccess::SetProxyValue(const std::string& value, const std::string& connectionName,
                               std::int32_t flags) {
    try {
        updateBlob(connectionName, [&](ConnectionBlob& blob) {
            blob.proxyServer = value;
            blob.flags = static_cast<std::uint32_t>(flags);
        });
    } catch (const std::exception&) {
    }
}

void FileAccess::GetAutoConfigURL(const std::string& connectionName, std::string& url,
                                  std::int32_t& flags) {
    url.clear();
    flags = 0;
    try {
        if (auto blob = readBlob(pf::currentMachine().registry(), connectionName)) {
            url = blob->autoConfigUrl;
            flags = static_cast<std::int32_t>(blob->flags);
        }
    } catch (const std::exception&) {
        url.clear();
        flags = 0;
    }
}

void FileAccess::GetProxyValue(const std::string& connectionName, std::string& value,
                               std::int32_t& flags) {
    value.clear();
    flags = 0;
    try {
        if (auto blob = readBlob(pf::currentMachine().registry(), connectionName)) {
            value = blob->proxyServer;
            flags = static_cast<std::int32_t>(blob->flags);
        }
    } catch (const std::exception&) {
        value.clear();
        flags = 0;
    }
}

std::string FileAccess::ShowOpen(std::int32_t owner, std::string_view filter,
                                 std::int32_t /*filterIndex*/, std::string_view initialDir,
                                 std::string_view /*defaultExt*/, std::string_view fileName,
                                 std::string_view title, std::int32_t flags) {
    try {
        pf::ui::OpenFileName ofn;
        ofn.owner = owner;
        // A bare pattern stands for itself as description too.
        std::string pairs(filter);
        if (pairs.find('|') == std::string::npos)
            pairs = pairs + "|" + pairs;
        if (!pairs.ends_with('|'))
            pairs += '|';
        for (auto& c : pairs) {
            if (c == '|')
                c = '\0';
        }
        ofn.filter = std::move(pairs);
        ofn.file = std::string(fileName);
        ofn.maxFile = 32768;  // room for many names when several may be chosen
        ofn.initialDir = std::string(initialDir);
        ofn.title = std::string(title);
        ofn.flags = static_cast<std::uint32_t>(flags);
        if (!pf::ui::dialogs().getOpenFileName(ofn))
            return "";
        // One name, or (multiple selection) the folder and the names, each
        // ended by NUL and the list by a second NUL.
        std::vector<std::string> parts;
        std::size_t start = 0;
        while (start < ofn.file.size() && ofn.file[start] != '\0') {
            const auto end = ofn.file.find('\0', start);
            parts.push_back(ofn.file.substr(start, end - start));
            if (end == std::string::npos)
                break;
            start = end + 1;
        }
        std::string joined;
        for (const auto& part : parts) joined += (joined.empty() ? "" : ";") + part;
        return joined;
    } catch (const std::exception&) {
        return "";
    }
}

}  // namespace kx::fsys
