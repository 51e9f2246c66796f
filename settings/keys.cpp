#include "settings/keys.hpp"

#include <array>

#include "core/text_rules.hpp"
#include "platform/runtime/text.hpp"
#include "settings/settings_store.hpp"

namespace kx::settings {
namespace {

using namespace keys;

constexpr auto kAll = std::to_array<const SettingKey*>({&Cookies,
                                                        &History,
                                                        &TempFiles,
                                                        &INetTempFiles,
                                                        &Recent,
                                                        &Trashcan,
                                                        &DownloadedProgramFiles,
                                                        &AutoFillOff,
                                                        &KaazaaSearch,
                                                        &MessengerOff,
                                                        &ClearPageFile,
                                                        &Junk,
                                                        &AntiSpy,
                                                        &AntiVirus,
                                                        &NoFlash,
                                                        &IEToolbar,
                                                        &Autostart,
                                                        &AutostartIE,
                                                        &NoStatus,
                                                        &Bosskey,
                                                        &SecurityMode,
                                                        &Security,
                                                        &Encrypt,
                                                        &DeleteIt,
                                                        &Gutmann,
                                                        &IEPopSound,
                                                        &DeleteN,
                                                        &DeleteValue,
                                                        &NProxys,
                                                        &DialerCheckTime,
                                                        &BrowserIsIE,
                                                        &BrowserIsOpera,
                                                        &BrowserIsMozilla,
                                                        &BrowserIsMozillaFireFox,
                                                        &BrowserIsNetscape,
                                                        &BrowserIsAOL,
                                                        &IEPopKillerOff,
                                                        &IEPopKillerStep1,
                                                        &IEPopKillerStep2,
                                                        &NoDialerNumbers,
                                                        &AnonymIP,
                                                        &AnonymPort,
                                                        &Proxylist,
                                                        &DownLoadProxy,
                                                        &DownLoadPort,
                                                        &AnoSession,
                                                        &AnoSafeSession,
                                                        &SafeSession,
                                                        &CloseSessions,
                                                        &JunkCleaned,
                                                        &JunkCleanedDate,
                                                        &AntiVirDate,
                                                        &StatFiles,
                                                        &StatMB,
                                                        &StatStartDate,
                                                        &PopupBlocked,
                                                        &FavoX,
                                                        &FavoY,
                                                        &FavoW,
                                                        &FavoH,
                                                        &FavoCol1,
                                                        &FavoCol2,
                                                        &FavoCol3,
                                                        &FavoCol4,
                                                        &FavoCol5,
                                                        &PageTimeout,
                                                        &SignInSite});

// The maker's partner edition ships with the autostart and the popup blocker
// off unless the user turns them on.
constexpr std::string_view kPartnerTitle = "Orvantel";

bool partnerEdition(std::string_view application) {
    return application == kPartnerTitle;
}

bool same(const SettingKey& a, const SettingKey& b) {
    return a.section == b.section && a.name == b.name;
}

}  // namespace

std::span<const SettingKey* const> allKeys() {
    return kAll;
}

const SettingKey* findKey(std::string_view section, std::string_view name) {
    for (const auto* key : allKeys()) {
        if (platform::winEqualNoCase(key->section, section) &&
            platform::winEqualNoCase(key->name, name)) {
            return key;
        }
    }
    return nullptr;
}

std::string AppSettings::defaultFor(const SettingKey& key, Reader reader) const {
    if (reader == Reader::Dialog) {
        const bool partner = partnerEdition(application_);
        if (same(key, Autostart))
            return partner ? "0" : "1";
        if (same(key, IEPopKillerOff))
            return partner ? "True" : "False";
        if (same(key, IEPopKillerStep1))
            return partner ? "False" : "True";
    }
    return std::string(reader == Reader::Dialog ? key.dialogDefault : key.engineDefault);
}

std::string AppSettings::read(const SettingKey& key, Reader reader) const {
    return GetSetting(application_, key.section, key.name, defaultFor(key, reader));
}

std::string AppSettings::read(const SettingKey& key, std::string_view computedDefault) const {
    return GetSetting(application_, key.section, key.name, computedDefault);
}

bool AppSettings::readBool(const SettingKey& key, Reader reader) const {
    const auto text = read(key, reader);
    if (key.form == Form::Choice)
        return CBoolEx(Variant(text));
    try {
        return platform::toDouble(Variant(text)) != 0;
    } catch (const platform::RuntimeError&) {
        return false;  // letters where a number belongs: not set
    }
}

bool AppSettings::write(const SettingKey& key, std::string_view text) const {
    return SaveSetting(application_, key.section, key.name, text);
}

std::string defaultFor(const SettingKey& key, Reader reader) {
    return AppSettings(applicationName()).defaultFor(key, reader);
}

std::string read(const SettingKey& key, Reader reader) {
    return AppSettings(applicationName()).read(key, reader);
}

std::string read(const SettingKey& key, std::string_view computedDefault) {
    return AppSettings(applicationName()).read(key, computedDefault);
}

bool readBool(const SettingKey& key, Reader reader) {
    return AppSettings(applicationName()).readBool(key, reader);
}

bool write(const SettingKey& key, std::string_view text) {
    return AppSettings(applicationName()).write(key, text);
}

std::string readChecker(const SettingKey& key) {
    return GetSetting(kCheckerApplication, kCheckerSection, key.name, "");
}

bool writeChecker(const SettingKey& key, std::string_view text) {
    return SaveSetting(kCheckerApplication, kCheckerSection, key.name, text);
}

}  // namespace kx::settings
