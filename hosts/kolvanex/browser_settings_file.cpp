// The browsers' own proxy settings, carried from one run of the console host
// to the next: `session anonym on` and `off` are two processes, and the one
// that restores must know what the one that changed the browsers found. The
// file lives in the machine's prefix and exists only while the browsers
// wait to be restored.
#include <nlohmann/json.hpp>

#include <fstream>
#include <iostream>
#include <system_error>

#include "anonymity/browser_proxy.hpp"
#include "hosts/kolvanex/host.hpp"
#include "platform/runtime/system_reason.hpp"
#include "platform/runtime/translation.hpp"

namespace kx::host {

namespace {

using nlohmann::json;
namespace fs = std::filesystem;

constexpr const char* kFileName = "browser-settings.json";

json optionalText(const std::optional<std::string>& text) {
    return text ? json(*text) : json(nullptr);
}

std::optional<std::string> optionalText(const json& value) {
    if (value.is_null())
        return std::nullopt;
    return value.get<std::string>();
}

json toJson(const anonymity::SavedBrowserSettings& saved) {
    json ie = json::array();
    for (const auto& s : saved.ie)
        ie.push_back({{"connection", s.connectionName},
                      {"autoConfigUrl", s.autoConfigUrl},
                      {"autoConfigFlags", s.autoConfigFlags},
                      {"proxyValue", s.proxyValue},
                      {"proxyFlags", s.proxyFlags}});
    json mozilla = json::object();
    for (const auto& [file, lines] : saved.mozilla)
        mozilla[file] = {{"addressLine", lines.first}, {"typeLine", lines.second}};
    return {{"pointed", saved.pointed},
            {"ieSaved", saved.ieSaved},
            {"ie", ie},
            {"operaSaved", saved.operaSaved},
            {"operaKnown", saved.operaKnown},
            {"operaUrl", optionalText(saved.operaUrl)},
            {"operaUse", optionalText(saved.operaUse)},
            {"mozilla", mozilla}};
}

anonymity::SavedBrowserSettings fromJson(const json& j) {
    anonymity::SavedBrowserSettings saved;
    saved.pointed = j.at("pointed").get<bool>();
    saved.ieSaved = j.at("ieSaved").get<bool>();
    for (const auto& s : j.at("ie"))
        saved.ie.push_back(
            {s.at("connection").get<std::string>(), s.at("autoConfigUrl").get<std::string>(),
             s.at("autoConfigFlags").get<std::int32_t>(), s.at("proxyValue").get<std::string>(),
             s.at("proxyFlags").get<std::int32_t>()});
    saved.operaSaved = j.at("operaSaved").get<bool>();
    saved.operaKnown = j.at("operaKnown").get<bool>();
    saved.operaUrl = optionalText(j.at("operaUrl"));
    saved.operaUse = optionalText(j.at("operaUse"));
    for (const auto& [file, lines] : j.at("mozilla").items())
        saved.mozilla[file] = {lines.at("addressLine").get<std::string>(),
                               lines.at("typeLine").get<std::string>()};
    return saved;
}

}  // namespace

void loadBrowserSettings(const fs::path& prefix) {
    std::ifstream in(prefix / kFileName, std::ios::binary);
    if (!in)
        return;
    try {
        anonymity::adoptSavedBrowserSettings(fromJson(json::parse(in)));
    } catch (const std::exception& e) {
        // Kept as it is, so the user can still read what it held.
        std::cerr << "kolvanex: "
                  << platform::trf("{1} kann nicht gelesen werden: {2}",
                                   {(prefix / kFileName).string(), e.what()})
                  << "\n";
    }
}

void storeBrowserSettings(const fs::path& prefix) {
    const fs::path file = prefix / kFileName;
    const auto saved = anonymity::savedBrowserSettings();
    std::error_code ec;
    if (saved.settled()) {
        fs::remove(file, ec);
        return;
    }
    // Written beside and renamed over, so a crash leaves the old or the new.
    const fs::path temporary = file.string() + ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << toJson(saved).dump(2) << "\n";
        out.flush();
        if (!out) {
            std::cerr << "kolvanex: "
                      << platform::trf(
                             "{1} kann nicht geschrieben werden; die eigenen "
                             "Einstellungen der Browser stellt ein späterer Lauf nicht "
                             "wieder her",
                             {temporary.string()})
                      << "\n";
            fs::remove(temporary, ec);
            return;
        }
    }
    fs::rename(temporary, file, ec);
    if (ec)
        std::cerr << "kolvanex: "
                  << platform::trf("{1} kann nicht geschrieben werden: {2}",
                                   {file.string(), platform::systemReason(ec)})
                  << "\n";
}

}  // namespace kx::host
