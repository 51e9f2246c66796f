#include "settings/key_info.hpp"

#include <array>
#include <utility>

#include "platform/runtime/text.hpp"

namespace kx::settings {
namespace {

using namespace keys;

struct Row {
    const SettingKey* key;
    KeyInfo info;
};

const auto& table() {
    static const auto rows = std::to_array<Row>({
        {&Cookies, {"delete cookies and stored website data", {}}},
        {&History, {"delete typed addresses and the browsers' history", {}}},
        {&TempFiles, {"delete temporary files", {}}},
        {&INetTempFiles, {"delete temporary internet files", {}}},
        {&Recent, {"empty the documents menu (document history)", {}}},
        {&Trashcan, {"empty the recycle bin", {}}},
        {&DownloadedProgramFiles, {"clean the downloaded program files", {}}},
        {&AutoFillOff, {"switch off the browsers' auto-complete of forms and passwords", {}}},
        {&KaazaaSearch, {"empty the KaZaA search word list", {}}},
        {&MessengerOff, {"switch off the Windows messenger service", {}}},
        {&ClearPageFile, {"clear the paging file at shutdown", {}}},
        {&Junk, {"remove redundant files weekly", {}}},
        {&AntiSpy, {"activate the Windows XP anti-spy settings", {}}},
        {&AntiVirus, {"daily virus check", {}}},
        {&NoFlash, {"block Flash animations in the browser", {}}},
        {&IEToolbar, {"show the browser bar", {}}},
        {&Autostart, {"start with Windows", {}}},
        {&AutostartIE, {"clean automatically when the browser ends", {}}},
        {&NoStatus, {"no status display while cleaning and scanning", {}}},
        {&Bosskey, {"boss key: Windows key + C closes every browser window and cleans", {}}},
        {&SecurityMode, {"safety deletion mode, as the settings dialog shows it", {}}},
        {&Security, {"safety deletion mode, as the deletion reads it", {}}},
        {&Encrypt, {"encrypt files before erasing them", {}}},
        {&DeleteIt, {"overwrite files before erasing them", {}}},
        {&Gutmann, {"overwrite by the Gutmann method (35 passes)", {}}},
        {&IEPopSound, {"play a sound when a popup window was blocked", {}}},
        {&DeleteN, {"how often a file is overwritten before it is erased", ranges::DeleteN}},
        {&DeleteValue, {"the byte value written when overwriting", ranges::DeleteValue}},
        {&NProxys, {"over how many anonymous proxies a session is routed", ranges::NProxys}},
        {&DialerCheckTime, {"interval of the dialer check (0: off)", ranges::DialerCheckTime}},
        {&BrowserIsIE, {"Internet Explorer is the browser for anonymous sessions", {}}},
        {&BrowserIsOpera, {"Opera is the browser for anonymous sessions", {}}},
        {&BrowserIsMozilla, {"Mozilla is the browser for anonymous sessions", {}}},
        {&BrowserIsMozillaFireFox, {"Firefox is the browser for anonymous sessions", {}}},
        {&BrowserIsNetscape, {"Netscape is the browser for anonymous sessions", {}}},
        {&BrowserIsAOL, {"AOL is the browser for anonymous sessions", {}}},
        {&IEPopKillerOff, {"popup blocker off", {}}},
        {&IEPopKillerStep1, {"popup blocker level 1: new windows only while Ctrl is held", {}}},
        {&IEPopKillerStep2, {"popup blocker level 2: no new windows at all", {}}},
        {&NoDialerNumbers, {"dial-up numbers the dialer check accepts, separated by ';'", {}}},
        {&AnonymIP, {"a proxy chosen by hand", {}}},
        {&AnonymPort, {"its port", {}}},
        {&Proxylist, {"a proxy list chosen by hand", {}}},
        {&DownLoadProxy, {"the proxy used for downloads", {}}},
        {&DownLoadPort, {"its port", {}}},
        {&AnoSession, {"1 while an anonymous session is on", {}}},
        {&AnoSafeSession, {"1 while an anonymous safe session is on", {}}},
        {&SafeSession, {"1 while a safe session is on", {}}},
        {&CloseSessions, {"do not ask again before closing the browsers", {}}},
        {&JunkCleaned, {"the weekly cleanup has run", {}}},
        {&JunkCleanedDate, {"day of the last weekly cleanup", {}}},
        {&AntiVirDate, {"day of the last virus check", {}}},
        {&StatFiles, {"files erased since the start date", {}}},
        {&StatMB, {"megabytes freed since the start date", {}}},
        {&StatStartDate, {"start of the statistics", {}}},
        {&PopupBlocked, {"popup windows blocked so far", {}}},
        {&PageTimeout, {"seconds a web form's page may take to load", {}}},
        {&SignInSite, {"address part of sign-in pages whose button is never clicked", {}}},
    });
    return rows;
}

bool isDate(std::string_view text) {
    // dd.mm.yy
    if (text.size() != 8 || text[2] != '.' || text[5] != '.')
        return false;
    for (const std::size_t i : {0U, 1U, 3U, 4U, 6U, 7U})
        if (text[i] < '0' || text[i] > '9')
            return false;
    return true;
}

bool isNumber(std::string_view text) {
    const auto trimmed = platform::vbTrim(text);
    if (trimmed.empty())
        return false;
    std::size_t digits = 0;
    for (std::size_t i = 0; i < trimmed.size(); ++i) {
        const char c = trimmed[i];
        if (c >= '0' && c <= '9')
            ++digits;
        else if (!((c == '-' && i == 0) || c == '.' || c == ','))
            return false;
    }
    return digits > 0;
}

}  // namespace

KeyInfo infoOf(const SettingKey& key) {
    for (const auto& row : table())
        if (row.key == &key)
            return row.info;
    // The position of the favourites window and its columns.
    if (key.section == FavoX.section)
        return {"position and size of the safe favourites window, its column widths", {}};
    return {};
}

std::string valuesOf(const SettingKey& key) {
    switch (key.form) {
        case Form::Check:
        case Form::Flag:
            return "0 or 1";
        case Form::Choice:
            return "True or False";
        case Form::Number:
            if (const auto range = infoOf(key).range)
                return "whole number " + std::to_string(range->low) + " to " +
                       std::to_string(range->high);
            return "whole number";
        case Form::Decimal:
            return "number";
        case Form::Date:
            return "date dd.mm.yy";
        case Form::DateTime:
            return "date and time";
        case Form::Text:
            return "text";
    }
    return "text";
}

std::optional<std::string> refusal(const SettingKey& key, std::string_view text) {
    bool fits = true;
    switch (key.form) {
        case Form::Check:
        case Form::Flag:
            fits = text == "0" || text == "1";
            break;
        case Form::Choice:
            fits = text == "True" || text == "False" || text == "Wahr" || text == "Falsch";
            break;
        case Form::Number: {
            const auto n = platform::wholeNumber(text);
            const auto range = infoOf(key).range;
            fits = n && (!range || (*n >= range->low && *n <= range->high));
            break;
        }
        case Form::Decimal:
            fits = isNumber(text);
            break;
        case Form::Date:
            fits = text.empty() || isDate(text);
            break;
        case Form::DateTime:
        case Form::Text:
            break;
    }
    if (fits)
        return std::nullopt;
    return std::string(key.section) + "\\" + std::string(key.name) + " takes " + valuesOf(key) +
           "; '" + std::string(text) + "' is not one";
}

}  // namespace kx::settings
