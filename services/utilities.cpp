#include "services/utilities.hpp"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <optional>

#include "core/shared_state.hpp"
#include "platform/machine/machine.hpp"
#include "platform/processes/shell.hpp"
#include "platform/runtime/text.hpp"
#include "platform/ui/dialogs.hpp"
#include "platform/ui/windows.hpp"
#include "settings/system_info.hpp"

namespace kx {
namespace {

namespace ui = platform::ui;

constexpr std::string_view kPartnerTitle = "Orvantel";
constexpr std::string_view kDesignTitle = "KOLVANEX 3";
constexpr std::string_view kDefaultMakerSite = "http://127.0.0.1:8080/";

// The common file dialog: the filter's "|" become NUL characters, the record
// carries 254-blank buffers of capacity 255, the answer is the buffer up to
// its terminator with blanks trimmed.
std::string fileDialog(bool save, Long& owner, std::string& filter, std::string& title,
                       std::string& initDir) {
    try {
        if (!filter.ends_with('|'))
            filter += '|';
        for (auto& c : filter) {
            if (c == '|')
                c = '\0';
        }
        ui::OpenFileName ofn;
        ofn.structSize = 76;
        ofn.owner = owner;
        ofn.filter = filter;
        ofn.file = std::string(254, ' ');
        ofn.maxFile = 255;
        ofn.fileTitle = std::string(254, ' ');
        ofn.maxFileTitle = 255;
        ofn.initialDir = initDir;
        ofn.title = title;
        ofn.flags = save ? 0x2006 : 0x1004;
        const bool chosen =
            save ? ui::dialogs().getSaveFileName(ofn) : ui::dialogs().getOpenFileName(ofn);
        if (!chosen)
            return "";
        const auto end = ofn.file.find('\0');
        return std::string(platform::vbTrim(std::string_view(ofn.file).substr(0, end)));
    } catch (...) {
        // A dialog that fails behaves as a cancelled one.
        return "";
    }
}

}  // namespace

bool IsIDE() {
    return false;
}

Variant Selex() {
    if (auto* box = dynamic_cast<ui::TextBox*>(ui::focusedControl())) {
        box->selStart = 0;
        box->selLength = static_cast<Long>(box->text.size());
    }
    return Variant{};
}

void ChangeTabControl(ui::TabStrip& tsTabControl, Integer iKeycode, Integer iShift) {
    if (iKeycode != 9)
        return;
    const auto count = static_cast<Long>(tsTabControl.tabs.size());
    if (count == 0)
        return;
    if (iShift == 2) {
        tsTabControl.selectedIndex =
            tsTabControl.selectedIndex < count ? tsTabControl.selectedIndex + 1 : 1;
    } else if (iShift == 3) {
        tsTabControl.selectedIndex =
            tsTabControl.selectedIndex > 1 ? tsTabControl.selectedIndex - 1 : count;
    }
}

void FormOnTop(Long hwnd, bool OnTop) {
    ui::SetWindowPos(hwnd, OnTop ? ui::HWND_TOPMOST : ui::HWND_NOTOPMOST, 0, 0, 0, 0,
                     ui::SWP_NOMOVE | ui::SWP_NOSIZE);
}

void FormMaximize(ui::Form& f) {
    ui::RECT area;
    if (!ui::SystemParametersInfoA(ui::SPI_GETWORKAREA, 0, &area, 0))
        return;
    const auto& screen = ui::screenMetrics();
    const Long tx = screen.twipsPerPixelX;
    const Long ty = screen.twipsPerPixelY;
    f.left = area.left * tx;
    f.top = area.top * ty;
    f.width = (area.left < 1 ? area.right : area.right - area.left) * tx;
    f.height = (area.top < 1 ? area.bottom : area.bottom - area.top) * ty;
}

void BackColor98(ui::Form& fIn) {
    if (settings::Betriebssystem() == "Windows XP")
        return;
    for (const auto& control : fIn.controls) {
        if (dynamic_cast<const ui::TextBox*>(control.get()) != nullptr)
            continue;
        if (control->backColor)
            control->backColor = ui::kColorButtonFace;
    }
}

std::string ShowOpenDlg(Long& lHwndOwner, std::string& strFilter, std::string& strTitel,
                        std::string& strInitDir) {
    return fileDialog(false, lHwndOwner, strFilter, strTitel, strInitDir);
}

std::string ShowSaveDlg(Long& lHwndOwner, std::string& strFilter, std::string& strTitel,
                        std::string& strInitDir) {
    return fileDialog(true, lHwndOwner, strFilter, strTitel, strInitDir);
}

std::string BrowseFolder(Long hwndOwner, std::string_view sTitel, Long piRoot) {
    try {
        auto chosen = ui::dialogs().browseForFolder(hwndOwner, std::string(sTitel), piRoot,
                                                    ui::BIF_RETURNONLYFSDIRS);
        if (!chosen)
            return "";
        // The path buffer holds 260 characters; the answer ends at the first NUL.
        std::string path = chosen->substr(0, 259);
        if (const auto nul = path.find('\0'); nul != std::string::npos)
            path.resize(nul);
        return path;
    } catch (...) {
        return "";
    }
}

std::string makerWebSite() {
    if (platform::hasCurrentMachine()) {
        auto site = platform::currentMachine().endpoint("maker");
        if (!site.empty())
            return site;
    }
    return std::string(kDefaultMakerSite);
}

void Help(Long lHwnd) {
    if (shared().applicationTitle == kPartnerTitle)
        return;
    platform::ShellExecuteA(lHwnd, "open", makerWebSite(), "", "", 0);
}

void Homepage() {
    platform::ShellExecuteA(0, "open", makerWebSite(), "", "", 1);
}

std::string applyCaptionRule(std::string_view designCaption) {
    std::string caption(designCaption);
    const auto& title = shared().KXAppTitle;
    if (title.empty())
        return caption;
    for (auto pos = caption.find(kDesignTitle); pos != std::string::npos;
         pos = caption.find(kDesignTitle, pos + title.size())) {
        caption.replace(pos, kDesignTitle.size(), title);
    }
    return caption;
}

void applyTopmostRule(Long hwnd) {
    if (shared().gbFormsOnTop)
        FormOnTop(hwnd, true);
}

}  // namespace kx
