#pragma once
// Browser sessions: the anonymous session sends every browser through the
// proxy chosen in the proxy dialog or through a freshly found chain; the
// safe session raises Internet Explorer's Internet zone to "high" by
// importing "Zones High.reg" and lowers it again with "Zones Standard.reg".
// Also here: starting the user's chosen browser with a page (Werbung) and
// the suite's toolbar in Internet Explorer (ShowBrowserBar).
//
// The state the host sees is the setting "AnoSession" ("1" while an
// anonymous session is on); the browsers' own settings are saved and
// restored by browser_proxy.hpp.
#include <cstddef>
#include <string>
#include <string_view>

#include "platform/runtime/translation.hpp"

namespace kx::anonymity {

/// The proxy an anonymous session falls back to when none is configured and
/// the search finds none, unless the machine names one as the endpoint
/// kFallbackProxyEndpoint ("host:port"). No public proxy is named here:
/// sending the user's pages through a party nobody checked would give away
/// what the session is meant to hide. This address is reserved for
/// documentation and reaches nobody, so the browsers fail closed instead.
inline constexpr std::string_view kFallbackProxy = "192.0.2.1:80";
inline constexpr std::string_view kFallbackProxyEndpoint = "fallbackproxy";

/// The class identifier of the suite's browser toolbar band.
inline constexpr std::string_view kToolbarClassId = "{5C7A3E12-8B4D-4F61-A9E0-3D2B7C16F04A}";

/// The message shown (translated) when the browsers could not be switched.
inline constexpr std::string_view kNoProxyMessage = platform::trMark(
    "Es wurde kein anonymisierender Proxy-Server gefunden!\r"
    "Bitte stellen Sie ggf. vor dem Start einer anonymen Internet-Sitzung eine Verbindung mit "
    "dem Internet her. Sollte auch danach kein Server gefunden werden, versuchen Sie es bitte "
    "nach einer kurzen Wartezeit noch einmal oder wenden Sie sich an den Hersteller dieses "
    "Programms.");

/// The fallback proxy: the machine's endpoint kFallbackProxyEndpoint (a
/// leading "http://" and a trailing "/" taken off), else kFallbackProxy.
std::string fallbackProxy();

/// The proxy of an anonymous session: "AnonymIP" + ":" + "AnonymPort" when
/// "AnonymIP" is set, else the chain GetFastestProxy finds, else the
/// fallback; one trailing ";" is dropped.
struct SessionProxy {
    std::string proxy;
    /// Neither configured nor found: the fallback, which hides nobody.
    bool fallback = false;
    /// Found by the search, of which the first `checked` proxies were
    /// checked anonymous (the others were filled in unchecked).
    bool searched = false;
    std::size_t checked = 0;
};
SessionProxy chooseSessionProxy();
std::string sessionProxy();

/// What the calling thread's last SetAnonymSessionOn chose, so that a host
/// can tell the user which chain the browsers now use, or that none was found.
SessionProxy lastAnonymSessionProxy();

/// Points every browser at sessionProxy() and writes "AnoSession" = "1".
/// When the browsers could not be switched the user is told so (unless he
/// broke off) and the answer is false.
bool SetAnonymSessionOn();
/// Restores every browser and writes "AnoSession" = "0". Always true.
bool SetAnonymSessionOff();

/// Imports "Zones High.reg" from the program folder and tells the browsers.
/// False when AskForNewSession says no, and also when the import failed: a
/// session reported safe must be safe.
bool SetSafeSessionOn();
/// Imports "Zones Standard.reg" and tells the browsers. Always true (a
/// failed import leaves the high zone, which is safe, and says so in a
/// status line).
bool SetSafeSessionOff();

/// Whether a new browser session may start: yes, without asking.
bool AskForNewSession();

/// The program of the chosen browser: of the settings "BrowserIsAOL",
/// "BrowserIsIE", "BrowserIsOpera", "BrowserIsMozilla",
/// "BrowserIsMozillaFirefox" and "BrowserIsNetscape", checked in this
/// order, the last one that is true decides. "" when none is.
std::string chosenBrowser();

/// Starts the chosen browser with the page, maximised, after a status line
/// "Starte <program>"; the progress window closes five seconds later. A
/// browser that cannot be started is reported in a warning box. Nothing
/// happens while gbBreak is set. The page reaches the browser as one
/// argument, blanks and all. True when the browser was started.
bool Werbung(std::string_view sPageToOpen);

/// Whether the toolbar is to be shown: "IEToolbar" read as a number is not
/// 0; a missing value shows it (the default is 1).
bool browserBarShown();

/// Shows or hides the suite's toolbar in Internet Explorer through its
/// automation object. There is no Internet Explorer to automate on this
/// platform, so, as when the object cannot be created, nothing happens.
void ShowBrowserBar();

}  // namespace kx::anonymity
