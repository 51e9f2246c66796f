// Browser proxy configuration: the generated script, and Internet Explorer,
// Opera and Mozilla pointed at it and back.
#include "anonymity/browser_proxy.hpp"

#include <cctype>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>

#include "anonymity/proxy_script.hpp"
#include "core/shared_state.hpp"
#include "core/text_rules.hpp"
#include "dialer/dialup_entries.hpp"
#include "fsys/file_access.hpp"
#include "platform/files/files.hpp"
#include "platform/files/profile_strings.hpp"
#include "platform/machine/machine.hpp"
#include "platform/runtime/text.hpp"
#include "platform/runtime/variant.hpp"
#include "settings/locations.hpp"

namespace kx::anonymity {
namespace {

namespace files = platform::files;
namespace fs = std::filesystem;

constexpr std::string_view kFileScheme = "file://";
constexpr const char* kOperaSection = "Proxy";
constexpr const char* kOperaUrlKey = "Automatic Proxy Configuration URL";
constexpr const char* kOperaUseKey = "Use Automatic Proxy Configuration";
constexpr std::string_view kMozUrlPref = "network.proxy.autoconfig_url";
constexpr std::string_view kMozTypePref = "network.proxy.type";
// Direct access plus an automatic configuration script.
constexpr std::int32_t kIEAutoConfigFlags = 5;
// The buffer the Opera values are read into.
constexpr std::uint32_t kOperaBuffer = 260;

struct SavedPrefs {
    std::string addressLine;
    std::string typeLine;
};

// What a thread's component instances share.
struct ComponentState {
    bool writingScript = false;
    bool operaSaved = false;              // since the last restore
    bool operaKnown = false;              // the values below were read once
    std::optional<std::string> operaUrl;  // nullopt: the key was not there
    std::optional<std::string> operaUse;
    std::map<std::string, SavedPrefs> mozilla;  // by lower-cased profile file
};

ComponentState& component() {
    thread_local ComponentState state;
    return state;
}

// Internet Explorer's settings as they were, for the process.
struct ProcessState {
    std::mutex lock;
    bool pointed = false;
    bool saved = false;
    std::vector<CProxySetting> settings;
};

ProcessState& process() {
    static ProcessState state;
    return state;
}

bool isRestore(std::string_view proxy) {
    return platform::vbTrim(proxy).empty();
}

bool isAdFilter(std::string_view proxy) {
    return platform::vbTrim(proxy) == kAdFilter;
}

std::string browserAddress(bool adFilter) {
    return adFilter ? GetAdFilterProxyFileName() : GetAutoProxyFileName();
}

bool containsNoCase(std::string_view line, std::string_view what) {
    return platform::vbLCase(line).find(what) != std::string::npos;
}

// Lines ended by CR LF, LF or a lone CR; a last line without an end counts,
// an end at the very end does not start another line.
std::vector<std::string> splitLines(std::string_view text) {
    std::vector<std::string> lines;
    std::string current;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(std::move(current));
            current.clear();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            current += c;
        }
    }
    if (!current.empty())
        lines.push_back(std::move(current));
    return lines;
}

// The line end a file is written with: its first one, so that a file kept
// with line feeds alone stays so; carriage return and line feed for a file
// that has none yet.
std::string_view lineEndOf(std::string_view text) {
    const auto end = text.find_first_of("\r\n");
    return end != std::string_view::npos && text[end] == '\n' ? "\n" : "\r\n";
}

// A host path as a file URL: every byte but letters, digits, "-._~" and "/"
// written as "%XX".
std::string fileUrl(const fs::path& path) {
    constexpr std::string_view kHex = "0123456789ABCDEF";
    std::string url = "file://";
    for (const char c : path.string()) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) != 0 ||
            std::string_view("-._~/").find(c) != std::string_view::npos) {
            url += c;
        } else {
            url += '%';
            url += kHex[byte >> 4];
            url += kHex[byte & 0xF];
        }
    }
    return url;
}

// The host path of a Windows path, links and the drive's own link resolved;
// nullopt when it reaches no drive.
std::optional<fs::path> hostPath(std::string_view windowsPath) {
    if (!platform::hasCurrentMachine())
        return std::nullopt;
    const auto resolved = platform::currentMachine().resolve(windowsPath);
    if (!resolved)
        return std::nullopt;
    std::error_code ec;
    auto canonical = fs::weakly_canonical(*resolved, ec);
    return ec ? std::nullopt : std::optional<fs::path>(std::move(canonical));
}

// The script's address as a profile's browser opens it. A profile that lies
// on the host, outside the machine's prefix (one linked in from the user's
// home), is read by the host's own browser, which opens the script only by
// its host path as a "file:///" URL; the machine's own profiles get the
// Windows address.
std::string addressFor(std::string_view profileFile, bool adFilter) {
    const std::string address = browserAddress(adFilter);
    const auto profile = hostPath(profileFile);
    if (!profile)
        return address;
    std::error_code ec;
    const auto prefix = fs::weakly_canonical(platform::currentMachine().prefix(), ec);
    const auto inside = profile->lexically_relative(prefix);
    if (ec || (!inside.empty() && *inside.begin() != ".."))
        return address;
    // The script is written to the lower-cased path (see WriteAutoProxyFile).
    std::string scriptPath = address.substr(kFileScheme.size());
    if (!adFilter)
        scriptPath = platform::vbLCase(scriptPath);
    const auto script = hostPath(scriptPath);
    return script ? fileUrl(*script) : address;
}

// The value of an Opera key; nullopt when the key is not there, so that a
// restore takes out what a change put in instead of leaving an empty key.
std::optional<std::string> operaValue(const std::string& ini, const char* key) {
    constexpr const char* kAbsent = "\x01kx-absent\x01";
    std::string buffer(kOperaBuffer, '\0');
    platform::GetPrivateProfileStringA(kOperaSection, key, kAbsent, buffer.data(), kOperaBuffer,
                                       ini.c_str());
    std::erase(buffer, '\0');
    if (buffer == kAbsent)
        return std::nullopt;
    return std::string(platform::vbTrim(buffer));
}

// Writes a saved value back; a key that was not there goes again. After a
// restart nothing is saved at all, and the keys are written empty.
bool restoreOperaValue(const std::string& ini, const char* key,
                       const std::optional<std::string>& value, bool saved) {
    const char* text = value ? value->c_str() : (saved ? nullptr : "");
    return platform::WritePrivateProfileStringA(kOperaSection, key, text, ini.c_str()) != 0;
}

std::string mozillaAddressLine(const std::string& address) {
    std::string line =
        platform::vbReplace("user_pref($network.proxy.autoconfig_url$, $§$);", "$", "\"");
    line = platform::vbReplace(std::move(line), "§", address);
    return platform::vbReplace(std::move(line), "\\", "\\\\");
}

std::string mozillaTypeLine() {
    return platform::vbReplace("user_pref($network.proxy.type$, 2);", "$", "\"");
}

}  // namespace

std::string GetAutoProxyFileName() {
    return std::string(kFileScheme) + AddBackslash(settings::GetPrivatePath()) + "kx.js";
}

std::string GetAdFilterProxyFileName() {
    return std::string(kFileScheme) + AddBackslash(shared().KXAppPath) + "no-ads.pac";
}

void WriteAutoProxyFile(std::string_view proxy) {
    auto& state = component();
    if (state.writingScript)
        return;
    state.writingScript = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{state.writingScript};

    std::optional<std::string> chainTemplate;
    if (platform::vbTrim(proxy).find(';') != std::string_view::npos) {
        auto text = files::readAll(AddBackslash(shared().KXAppPath) + "template.js");
        if (!text)
            return;  // no template, no chain: the old script stays
        chainTemplate = std::move(*text);
    }
    const auto script = buildProxyScript(proxy, chainTemplate);
    if (!script)
        return;
    std::string path = platform::vbLCase(GetAutoProxyFileName());
    if (path.starts_with(kFileScheme))
        path.erase(0, kFileScheme.size());
    (void)platform::replaceFileText(path, *script + "\r\n");
}

bool SetOperaProxy(std::string_view proxy) {
    const bool adFilter = isAdFilter(proxy);
    const std::string ini = settings::GetOperaIni();
    if (ini.empty())
        return false;
    if (!adFilter)
        WriteAutoProxyFile(proxy);
    auto& state = component();
    if (!isRestore(proxy)) {
        if (!state.operaSaved) {
            state.operaUrl = operaValue(ini, kOperaUrlKey);
            state.operaUse = operaValue(ini, kOperaUseKey);
            state.operaSaved = true;
            state.operaKnown = true;
        }
        const std::string address = browserAddress(adFilter);
        return platform::WritePrivateProfileStringA(kOperaSection, kOperaUrlKey, address.c_str(),
                                                    ini.c_str()) != 0 &&
               platform::WritePrivateProfileStringA(kOperaSection, kOperaUseKey, "1",
                                                    ini.c_str()) != 0;
    }
    state.operaSaved = false;
    return restoreOperaValue(ini, kOperaUrlKey, state.operaUrl, state.operaKnown) &&
           restoreOperaValue(ini, kOperaUseKey, state.operaUse, state.operaKnown);
}

bool SetMozillaProxy(std::string_view proxy, std::string_view profileFile) {
    const bool adFilter = isAdFilter(proxy);
    const std::string file(profileFile);
    if (!adFilter)
        WriteAutoProxyFile(proxy);

    std::vector<std::string> lines;
    std::string_view lineEnd = "\r\n";
    if (auto text = files::readAll(file)) {
        lines = splitLines(*text);
        lineEnd = lineEndOf(*text);
    } else if (text.error().code != platform::FileError::NotFound)
        return false;  // never rewrite a file we could not read

    auto& saved = component().mozilla;
    const std::string key = platform::vbLCase(file);
    std::vector<std::string> out;
    out.reserve(lines.size() + 2);
    if (!isRestore(proxy)) {
        // Only the first change after a restore keeps the lines: later ones
        // would keep our own lines instead of the user's.
        const bool first = !saved.contains(key);
        SavedPrefs& keep = saved[key];
        const std::string addressLine = mozillaAddressLine(addressFor(file, adFilter));
        const std::string typeLine = mozillaTypeLine();
        bool hadAddress = false;
        bool hadType = false;
        for (auto& line : lines) {
            if (containsNoCase(line, kMozUrlPref)) {
                if (first)
                    keep.addressLine = line;
                out.push_back(addressLine);
                hadAddress = true;
            } else if (containsNoCase(line, kMozTypePref)) {
                if (first)
                    keep.typeLine = line;
                out.push_back(typeLine);
                hadType = true;
            } else {
                out.push_back(std::move(line));
            }
        }
        if (!hadAddress)
            out.push_back(addressLine);
        if (!hadType)
            out.push_back(typeLine);
    } else {
        SavedPrefs keep;
        if (auto it = saved.find(key); it != saved.end()) {
            keep = it->second;
            saved.erase(it);
        }
        // A line that was not there before goes again, rather than leaving
        // an empty line behind for every round of changes.
        for (auto& line : lines) {
            if (containsNoCase(line, kMozUrlPref)) {
                if (!keep.addressLine.empty())
                    out.push_back(keep.addressLine);
            } else if (containsNoCase(line, kMozTypePref)) {
                if (!keep.typeLine.empty())
                    out.push_back(keep.typeLine);
            } else {
                out.push_back(std::move(line));
            }
        }
    }
    std::string text;
    for (const auto& line : out) {
        text += line;
        text += lineEnd;
    }
    return platform::replaceFileText(file, text);
}

bool SetIEProxy(std::string_view proxy) {
    (void)SetOperaProxy(proxy);
    platform::CollectionRef profiles;
    settings::NetscapeAndMozillaGetProfileFilesMulti(profiles);
    if (profiles) {
        for (const auto& item : profiles->items)
            (void)SetMozillaProxy(proxy, item.get<std::string>());
    }
    const bool adFilter = isAdFilter(proxy);
    const bool restore = isRestore(proxy);
    fsys::FileAccess access;
    // The LAN ("") first, then every dial-up entry.
    std::vector<std::string> connections{""};
    for (auto& name : dialer::dialupEntryNames()) connections.push_back(std::move(name));
    std::vector<CProxySetting> before;
    {
        auto& state = process();
        std::lock_guard hold(state.lock);
        if (!restore && !state.saved) {
            for (const auto& name : connections) {
                CProxySetting setting;
                setting.connectionName = name;
                access.GetAutoConfigURL(name, setting.autoConfigUrl, setting.autoConfigFlags);
                access.GetProxyValue(name, setting.proxyValue, setting.proxyFlags);
                state.settings.push_back(std::move(setting));
            }
            state.saved = true;
        }
        state.pointed = !restore;
        before = state.settings;
    }
    if (!adFilter)
        WriteAutoProxyFile(proxy);
    for (const auto& name : connections)
        access.SetAutoConfigURL(browserAddress(adFilter), name, kIEAutoConfigFlags);
    if (restore) {
        for (const auto& setting : before) {
            access.SetAutoConfigURL(setting.autoConfigUrl, setting.connectionName,
                                    setting.autoConfigFlags);
            access.SetProxyValue(setting.proxyValue, setting.connectionName, setting.proxyFlags);
        }
    }
    RefreshIESettings();
    return true;
}

void RefreshIESettings() {
    // Nothing to tell: no internet library caches these settings here.
}

SavedBrowserSettings savedBrowserSettings() {
    SavedBrowserSettings out;
    const auto& component = anonymity::component();
    out.operaSaved = component.operaSaved;
    out.operaKnown = component.operaKnown;
    out.operaUrl = component.operaUrl;
    out.operaUse = component.operaUse;
    for (const auto& [file, prefs] : component.mozilla)
        out.mozilla[file] = {prefs.addressLine, prefs.typeLine};
    auto& state = process();
    std::lock_guard hold(state.lock);
    out.pointed = state.pointed;
    out.ieSaved = state.saved;
    out.ie = state.settings;
    return out;
}

void adoptSavedBrowserSettings(const SavedBrowserSettings& saved) {
    auto& component = anonymity::component();
    component.operaSaved = saved.operaSaved;
    component.operaKnown = saved.operaKnown;
    component.operaUrl = saved.operaUrl;
    component.operaUse = saved.operaUse;
    component.mozilla.clear();
    for (const auto& [file, lines] : saved.mozilla)
        component.mozilla[file] = SavedPrefs{lines.first, lines.second};
    auto& state = process();
    std::lock_guard hold(state.lock);
    state.pointed = saved.pointed;
    state.saved = saved.ieSaved;
    state.settings = saved.ie;
}

void forgetSavedBrowserSettings() {
    component() = ComponentState{};
    auto& state = process();
    std::lock_guard hold(state.lock);
    state.pointed = false;
    state.saved = false;
    state.settings.clear();
}

}  // namespace kx::anonymity
