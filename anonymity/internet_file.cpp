// GetInternetFile, GetDownloadProxy and IsConnection on the platform's
// internet library.
#include "anonymity/internet_file.hpp"

#include <memory>

#include "platform/machine/machine.hpp"
#include "platform/network/inet.hpp"
#include "platform/runtime/text.hpp"
#include "platform/runtime/translation.hpp"
#include "platform/ui/cursor.hpp"
#include "services/progress.hpp"
#include "settings/keys.hpp"
#include "settings/settings_store.hpp"

namespace kx {

std::string GetDownloadProxy() {
    const auto app = settings::applicationName();
    const auto& host = settings::keys::DownLoadProxy;
    const auto& port = settings::keys::DownLoadPort;
    const std::string joined =
        settings::GetSetting(app, host.section, host.name, host.dialogDefault) + ":" +
        settings::GetSetting(app, port.section, port.name, port.dialogDefault);
    if (platform::vbTrim(joined) == ":")
        return {};
    return joined;
}

std::string GetInternetFile(const std::string& sURL) {
    platform::ui::HourglassCursor hourglass;
    const std::string proxy = GetDownloadProxy();
    auto session = proxy.empty()
                       ? platform::InternetOpenA(kInternetAgent,
                                                 platform::INTERNET_OPEN_TYPE_DIRECT, {}, {}, 0)
                       : platform::InternetOpenA(kInternetAgent, platform::INTERNET_OPEN_TYPE_PROXY,
                                                 proxy, {}, 0);
    if (!session)
        return {};
    // The buffer the old code read into, blanks until the read fills it;
    // what the read leaves untouched falls away with the trimming.
    std::string buffer(kInternetFileBuffer, ' ');
    if (auto url =
            platform::InternetOpenUrlA(*session, sURL, {}, platform::INTERNET_FLAG_RELOAD, 0)) {
        std::uint32_t read = 0;
        platform::InternetReadFile(*url, buffer.data(),
                                   static_cast<std::uint32_t>(kInternetFileBuffer), read);
    }
    return std::string(platform::vbTrim(buffer));
}

std::string makerUrl(const std::string& path) {
    if (!platform::hasCurrentMachine())
        return {};
    std::string base = platform::currentMachine().endpoint("maker");
    if (base.empty())
        return {};
    while (!base.empty() && base.back() == '/') base.pop_back();
    return base + path;
}

bool IsConnection() {
    Status(platform::tr("Prüfe Internetverbindung"));
    const auto url = makerUrl(kConnectionTestPath);
    if (url.empty())
        return false;
    return !GetInternetFile(url).empty();
}

}  // namespace kx
