#pragma once
// Every key of the settings store with its text form and defaults, in one
// place. Readers ask for a key through this table so that a default can never
// drift between two places that read the same key.
#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace kx::settings {

/// How a value is written.
enum class Form {
    Check,     // "1" checked, "0" unchecked
    Choice,    // Boolean text "True"/"False" (or "Wahr"/"Falsch"), read with CBoolEx
    Number,    // decimal text of an integer
    Decimal,   // decimal text of a number with a fraction
    Flag,      // "1" or "0" compared as text
    Date,      // "dd.mm.yy"
    DateTime,  // date and time
    Text,      // free text
};

/// Who reads: the settings dialog (and the information window), or the
/// engine's own steps (cleaning, deletion, popup blocker start, statistics).
/// A few keys default differently for the two, and readers rely on it: an
/// empty store cleans without emptying the recycle bin although the dialog
/// shows that box checked.
enum class Reader { Dialog, Engine };

struct SettingKey {
    std::string_view section;
    std::string_view name;
    Form form;
    std::string_view dialogDefault;
    std::string_view engineDefault;
    /// The default depends on something only the reader knows (the present
    /// time, a window's current position) or on the application title.
    bool computedDefault = false;
};

namespace keys {
// Section "Options", check states.
inline constexpr SettingKey Cookies{"Options", "Cookies", Form::Check, "1", "1"};
inline constexpr SettingKey History{"Options", "History", Form::Check, "1", "1"};
inline constexpr SettingKey TempFiles{"Options", "TempFiles", Form::Check, "1", "1"};
inline constexpr SettingKey INetTempFiles{"Options", "INetTempFiles", Form::Check, "1", "1"};
inline constexpr SettingKey Recent{"Options", "Recent", Form::Check, "1", "1"};
inline constexpr SettingKey Trashcan{"Options", "Trashcan", Form::Check, "1", "0"};
inline constexpr SettingKey DownloadedProgramFiles{"Options", "DownloadedProgramFiles", Form::Check,
                                                   "0", "0"};
inline constexpr SettingKey AutoFillOff{"Options", "AutoFillOff", Form::Check, "1", "1"};
inline constexpr SettingKey KaazaaSearch{"Options", "KaazaaSearch", Form::Check, "1", "1"};
inline constexpr SettingKey MessengerOff{"Options", "MessengerOff", Form::Check, "1", "1"};
inline constexpr SettingKey ClearPageFile{"Options", "ClearPageFile", Form::Check, "0", "0"};
inline constexpr SettingKey Junk{"Options", "Junk", Form::Check, "0", "0"};
inline constexpr SettingKey AntiSpy{"Options", "AntiSpy", Form::Check, "0", "0"};
inline constexpr SettingKey AntiVirus{"Options", "AntiVirus", Form::Check, "0", "0"};
inline constexpr SettingKey NoFlash{"Options", "NoFlash", Form::Check, "0", "0"};
inline constexpr SettingKey IEToolbar{"Options", "IEToolbar", Form::Check, "1", "1"};
inline constexpr SettingKey Autostart{"Options", "Autostart", Form::Check, "1", "1", true};
inline constexpr SettingKey AutostartIE{"Options", "AutostartIE", Form::Check, "0", "0"};
inline constexpr SettingKey NoStatus{"Options", "NoStatus", Form::Check, "0", "0"};
inline constexpr SettingKey Bosskey{"Options", "Bosskey", Form::Check, "1", "1"};
inline constexpr SettingKey SecurityMode{"Options", "SecurityMode", Form::Check, "1", "1"};
inline constexpr SettingKey Security{"Options", "Security", Form::Check, "1", "1"};
inline constexpr SettingKey Encrypt{"Options", "Encrypt", Form::Check, "1", "0"};
inline constexpr SettingKey DeleteIt{"Options", "DeleteIt", Form::Check, "1", "1"};
inline constexpr SettingKey Gutmann{"Options", "Gutmann", Form::Check, "0", "0"};
inline constexpr SettingKey IEPopSound{"Options", "IEPopSound", Form::Check, "1", "1"};

// Section "Options", numbers.
inline constexpr SettingKey DeleteN{"Options", "DeleteN", Form::Number, "3", "3"};
inline constexpr SettingKey DeleteValue{"Options", "DeleteValue", Form::Number, "246", "246"};
inline constexpr SettingKey NProxys{"Options", "NProxys", Form::Number, "2", "2"};
inline constexpr SettingKey DialerCheckTime{"Options", "DialerCheckTime", Form::Number, "60", "60"};

// Section "Options", choice states.
inline constexpr SettingKey BrowserIsIE{"Options", "BrowserIsIE", Form::Choice, "True", "True"};
inline constexpr SettingKey BrowserIsOpera{"Options", "BrowserIsOpera", Form::Choice, "False",
                                           "False"};
inline constexpr SettingKey BrowserIsMozilla{"Options", "BrowserIsMozilla", Form::Choice, "False",
                                             "False"};
inline constexpr SettingKey BrowserIsMozillaFireFox{"Options", "BrowserIsMozillaFireFox",
                                                    Form::Choice, "False", "False"};
inline constexpr SettingKey BrowserIsNetscape{"Options", "BrowserIsNetscape", Form::Choice, "False",
                                              "False"};
inline constexpr SettingKey BrowserIsAOL{"Options", "BrowserIsAOL", Form::Choice, "False", "False"};
inline constexpr SettingKey IEPopKillerOff{"Options", "IEPopKillerOff", Form::Choice,
                                           "False",   "False",          true};
inline constexpr SettingKey IEPopKillerStep1{
    "Options", "IEPopKillerStep1", Form::Choice, "True", "True", true};
inline constexpr SettingKey IEPopKillerStep2{"Options", "IEPopKillerStep2", Form::Choice, "False",
                                             "False"};

// Section "Options", free texts, flags and markers.
inline constexpr SettingKey NoDialerNumbers{"Options", "NoDialerNumbers", Form::Text, "", ""};
inline constexpr SettingKey AnonymIP{"Options", "AnonymIP", Form::Text, "", ""};
inline constexpr SettingKey AnonymPort{"Options", "AnonymPort", Form::Text, "", ""};
inline constexpr SettingKey Proxylist{"Options", "Proxylist", Form::Text, "", ""};
inline constexpr SettingKey DownLoadProxy{"Options", "DownLoadProxy", Form::Text, "", ""};
inline constexpr SettingKey DownLoadPort{"Options", "DownLoadPort", Form::Text, "", ""};
inline constexpr SettingKey AnoSession{"Options", "AnoSession", Form::Flag, "0", "0"};
inline constexpr SettingKey AnoSafeSession{"Options", "AnoSafeSession", Form::Flag, "0", "0"};
inline constexpr SettingKey SafeSession{"Options", "SafeSession", Form::Flag, "0", "0"};
inline constexpr SettingKey CloseSessions{"Options", "CloseSessions", Form::Check, "", ""};
inline constexpr SettingKey JunkCleaned{"Options", "JunkCleaned", Form::Check, "0", "0"};
inline constexpr SettingKey JunkCleanedDate{"Options", "JunkCleanedDate", Form::Date, "", ""};
inline constexpr SettingKey AntiVirDate{"Options", "AntiVirDate", Form::Date, "", ""};

// Other sections.
inline constexpr SettingKey StatFiles{"Stat", "nFiles", Form::Number, "0", ""};
inline constexpr SettingKey StatMB{"Stat", "nMB", Form::Decimal, "0", ""};
inline constexpr SettingKey StatStartDate{"Stat", "StartDate", Form::DateTime, "", "", true};
inline constexpr SettingKey PopupBlocked{"Popup", "Blocked", Form::Number, "0", "0"};
inline constexpr SettingKey FavoX{"FavoPos", "X", Form::Decimal, "", "", true};
inline constexpr SettingKey FavoY{"FavoPos", "Y", Form::Decimal, "", "", true};
inline constexpr SettingKey FavoW{"FavoPos", "W", Form::Decimal, "", "", true};
inline constexpr SettingKey FavoH{"FavoPos", "H", Form::Decimal, "", "", true};
inline constexpr SettingKey FavoCol1{"FavoPos", "Col1", Form::Decimal, "", "", true};
inline constexpr SettingKey FavoCol2{"FavoPos", "Col2", Form::Decimal, "", "", true};
inline constexpr SettingKey FavoCol3{"FavoPos", "Col3", Form::Decimal, "", "", true};
inline constexpr SettingKey FavoCol4{"FavoPos", "Col4", Form::Decimal, "", "", true};
inline constexpr SettingKey FavoCol5{"FavoPos", "Col5", Form::Decimal, "", "", true};
// Section "WebForms": how web forms are filled. A page still loading after
// PageTimeout seconds is given up; the submit button of a page whose address
// contains SignInSite is never clicked directly (its sign-in page would take
// the click as a robot's).
inline constexpr SettingKey PageTimeout{"WebForms", "PageTimeout", Form::Number, "120", "120"};
inline constexpr SettingKey SignInSite{"WebForms", "SignInSite", Form::Text, "signin.ebay",
                                       "signin.ebay"};
}  // namespace keys

/// The exchange with the proxy checker program uses fixed names.
inline constexpr std::string_view kCheckerApplication = "kolvanex";
inline constexpr std::string_view kCheckerSection = "kxchecker";
namespace keys {
inline constexpr SettingKey CheckerResult{"kxchecker", "result", Form::Text, "", ""};
inline constexpr SettingKey CheckerPage{"kxchecker", "page", Form::Text, "", ""};
}  // namespace keys

/// Every key of the component's own application, in table order.
std::span<const SettingKey* const> allKeys();

/// The key of that section and name (any case), or null.
const SettingKey* findKey(std::string_view section, std::string_view name);

/// The default the reader supplies. Title-dependent defaults follow the
/// present application title; defaults only the reader can compute (the
/// present time, a window's position) answer "".
std::string defaultFor(const SettingKey& key, Reader reader);

/// Reads a key of the component's application (the application title, read
/// anew each time), with the reader's default.
std::string read(const SettingKey& key, Reader reader = Reader::Dialog);
/// As `read`, with a default the caller computed.
std::string read(const SettingKey& key, std::string_view computedDefault);
/// Reads a choice state with CBoolEx, or a check state as nonzero-is-true.
bool readBool(const SettingKey& key, Reader reader = Reader::Dialog);
/// Writes a key of the component's application; false when the store refused.
bool write(const SettingKey& key, std::string_view text);

/// The component's keys under one application title, for a run that is
/// handed the title instead of looking it up; the functions above are this
/// under the present title.
class AppSettings {
  public:
    explicit AppSettings(std::string application) : application_(std::move(application)) {}

    std::string defaultFor(const SettingKey& key, Reader reader) const;
    std::string read(const SettingKey& key, Reader reader = Reader::Dialog) const;
    std::string read(const SettingKey& key, std::string_view computedDefault) const;
    bool readBool(const SettingKey& key, Reader reader = Reader::Dialog) const;
    bool write(const SettingKey& key, std::string_view text) const;

  private:
    std::string application_;
};

/// Reads and writes the checker exchange (application "kolvanex").
std::string readChecker(const SettingKey& key);
bool writeChecker(const SettingKey& key, std::string_view text);

}  // namespace kx::settings
