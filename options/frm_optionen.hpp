#pragma once
// frmOptionen: the settings dialog. Its six pages (five on Windows NT, which
// has no dial-up watch page) show every choice of the section "Options":
// what a cleaning run removes and how files are destroyed, the number of
// proxies and the browser of anonymous sessions, the dialer watch and the
// popup blocker. OK checks the numbers, stores every key and applies some
// choices at once: the start-with-Windows entries, the paging-file switch,
// the popup blocker, the Flash switch and the browser toolbar.
//
// frmFileSelect adds a file-name pattern to the exception list, which is
// kept in "alist.txt" in the private folder.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/runtime/translation.hpp"
#include "platform/ui/controls.hpp"
#include "services/form_base.hpp"
#include "services/tool_tips.hpp"
#include "settings/keys.hpp"

namespace kx::options {

inline constexpr std::string_view kExceptionFile = "alist.txt";

inline constexpr std::string_view kRangeN =
    platform::trMark("Gültige Eingaben liegen im Bereich von 1 bis 99!");
inline constexpr std::string_view kRangeValue =
    platform::trMark("Gültige Eingaben liegen im Bereich von 0 bis 255!");
inline constexpr std::string_view kChooseOne =
    platform::trMark("Bitte mindestens 1 Option wählen!");
/// The dialer label; "$" becomes the slider's value.
inline constexpr std::string_view kDialerCheckLabel =
    platform::trMark("Alle $ &Sekunden auf 0190er/0900er Dialer prüfen");

/// The tag of the page-1 boxes that take part in a cleaning run.
inline constexpr std::string_view kCleaningTag = "A";

class frmFileSelect final : public FormBase {
  public:
    frmFileSelect();

    std::shared_ptr<platform::ui::Label> lblName;
    std::shared_ptr<platform::ui::TextBox> txtName;
    std::shared_ptr<platform::ui::CommandButton> cmdSel;
    std::shared_ptr<platform::ui::CommandButton> cmdOK;
    std::shared_ptr<platform::ui::CommandButton> cmdCan;

    /// True after OK: the pattern is then txtName's text.
    bool accepted = false;
};

class frmOptionen final : public FormBase {
  public:
    frmOptionen();

    std::shared_ptr<platform::ui::TabStrip> tsTab;
    /// The pages' containers, page 1 at [0].
    std::array<std::shared_ptr<platform::ui::Frame>, 6> picContainer;

    // Page 1: Internet-Spuren. The two boxes named "chkTemporäre" and
    // "chkTemporäreINet" are spelt without the umlaut in the code, which the
    // analysis tools cannot read; their control names keep it.
    std::shared_ptr<platform::ui::CheckBox> chkTemporaere, chkTemporaereINet, chkCookies,
        chkVerlauf, chkHistory, chkTrash, chkPagefile, chkAutoFill, chkKaazaa, chkJunkFiles;
    std::shared_ptr<platform::ui::Frame> fraBlock, fraDelete, fraExtras;
    std::shared_ptr<platform::ui::CheckBox> chkCleanDownloaded, chkAntiVir, chkNoFlash,
        chkMessenger, chkAntiSpy;
    std::shared_ptr<platform::ui::CheckBox> chkSecurityMode, chkCrypt, chkDeleteIt, chkGutmann;
    std::shared_ptr<platform::ui::TextBox> txtN, txtValue;
    std::array<std::shared_ptr<platform::ui::Label>, 2> lblN;
    std::shared_ptr<platform::ui::CheckBox> chkBoss, chkAutoIE, chkAutoStart, chkNoStatus;

    // Page 2: Ausnahmen.
    std::shared_ptr<platform::ui::ListView> lvAusnahmen;
    std::shared_ptr<platform::ui::CommandButton> cmdAdd, cmdRemove;

    // Page 3: Anonym surfen.
    std::shared_ptr<platform::ui::Label> lblAnoMeter;
    std::shared_ptr<platform::ui::Slider> slAnoMeter;
    std::shared_ptr<platform::ui::CommandButton> cmdSetProxy;

    // Page 4: Browser.
    std::shared_ptr<platform::ui::OptionButton> optIE, optOpera, optMozilla, optMozillaFireFox,
        optNetscape, optAOL;
    std::shared_ptr<platform::ui::CheckBox> chkIEToolbar;

    // Page 5: Dialer.
    std::shared_ptr<platform::ui::Slider> slDialerCheckTime;
    std::shared_ptr<platform::ui::Label> lblDialerCheckTime, lblNoDialerNumbers;
    std::shared_ptr<platform::ui::TextBox> txtNoDialerNumbers;

    // Page 6: IE Popup-Blocker.
    std::shared_ptr<platform::ui::OptionButton> optPopOff, optPopupStep1, optPopupStep2;
    std::shared_ptr<platform::ui::CheckBox> chkPopSound;

    std::shared_ptr<platform::ui::CommandButton> cmdOK, cmdCan;

    /// The page (1..6) whose container shows.
    int shownPage() const { return shownPage_; }
    /// Selects the tab of page 1..6 (the popup page is tab 5 on Windows NT).
    void selectPage(int page);
    /// The last tab: the popup blocker's page.
    void selectLastPage();
    /// Whether the dialer page is part of the dialog.
    bool hasDialerPage() const { return tabPages_.size() == 6; }

    /// The range check of a number field as leaving it runs it: the message
    /// and the focus kept there when it fails.
    bool checkN();
    bool checkValue();

    /// cmdOK: checks, stores, applies and closes; false when the dialog
    /// stays open.
    bool save();

  protected:
    void onLoad() override;

  private:
    void loadValues();
    void showPage(int page);
    void onSecurityMode();
    void onDeleteIt();
    void onAutoStart();
    void onBrowser();
    void onDialerSlider();
    void onSetProxy();
    void onAdd();
    void storeValues();
    void endSessionsOnBrowserChange(const std::array<bool, 6>& storedBrowser);
    void applyPopupBlocker();
    std::array<bool, 6> chosenBrowser() const;
    std::vector<std::shared_ptr<platform::ui::CheckBox>> checkBoxes() const;
    // Each box and option button with the key it shows ("Security" follows
    // "SecurityMode" and is not listed).
    std::vector<std::pair<platform::ui::CheckBox*, const settings::SettingKey*>> checkKeys() const;
    std::vector<std::pair<platform::ui::OptionButton*, const settings::SettingKey*>> choiceKeys()
        const;

    int shownPage_ = 1;
    std::vector<int> tabPages_;  // the page of each tab, in tab order
    bool loading_ = false;
    std::unique_ptr<CMToolTipp> proxyTip_;
    std::unique_ptr<CMToolTipp> meterTip_;
};

/// ShowOptionen: the dialog modally, on its first page.
void ShowOptionen();
/// ShowOptionenPopupBlocker: the dialog modally, on the popup blocker's page.
void ShowOptionenPopupBlocker();
/// ShowProxyOptionen: the dialog modally, on its third page (where the
/// proxy dialog is reached).
void ShowProxyOptionen();

}  // namespace kx::options
