#pragma once
// frmInfo: the information window. It shows the component's title and
// version and a sentence of running totals (cleaned files, freed space,
// blocked pop-up windows); its home button and logo open the maker's home
// page. Under a host's own title (KXAppTitle) the logo and the home button
// are hidden: the window then carries no trace of the maker.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/runtime/translation.hpp"
#include "platform/ui/controls.hpp"
#include "services/form_base.hpp"

namespace kx {

/// The component's version and title, as the information window shows them.
struct ComponentVersion {
    int major, minor, revision;
};
inline constexpr ComponentVersion kComponentVersion{3, 0, 0};
inline constexpr std::string_view kComponentTitle = "KOLVANEX";

/// The sentence's template; $1 start date, $2 files, $3 MB, $4 pop-ups.
/// Shown in the user's language (tr).
inline constexpr std::string_view kInfoTemplate = platform::trMark(
    "Seit dem $1 wurden insgesamt $2 Dateien entfernt. Dadurch wurden ca. $3 MB Speicherplatz "
    "freigegeben. Weiterhin wurden bislang $4 Popup-Fenster blockiert.");

/// A picture on a form that can be clicked.
class ImageBox final : public platform::ui::Control {
  public:
    using Control::Control;
    std::string_view typeName() const override { return "Image"; }
};

class frmInfo final : public FormBase {
  public:
    frmInfo();

    std::shared_ptr<ImageBox> imgLogo;
    std::shared_ptr<platform::ui::Label> lblName;
    std::shared_ptr<platform::ui::Label> lblVersion;
    std::shared_ptr<platform::ui::Label> lblInfo;
    std::shared_ptr<platform::ui::CommandButton> cmdHome;
    std::shared_ptr<platform::ui::CommandButton> cmdOK;

    /// cmdHome and a click on imgLogo: close, then open the home page.
    void openHomePage();

  protected:
    void onLoad() override;
};

/// The statistics sentence from the settings store (Stat StartDate, nFiles,
/// nMB; Popup Blocked), with their defaults: today, 0, 0, 0.
std::string infoSentence();
/// The sentence from given texts; `mb` and `blocked` are read as numbers.
std::string infoSentence(std::string_view startDate, std::string_view files, std::string_view mb,
                         std::string_view blocked);
/// "Version: 3.0.0"
std::string infoVersion();

/// Today as the short date of the machine's format: "07.12.2026".
std::string todayText();

/// ShowInfo: shows a new information window modally.
void ShowInfo();

}  // namespace kx
