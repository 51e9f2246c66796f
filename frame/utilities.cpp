#include "frame/utilities.hpp"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <optional>

#include "frame/shared_state.hpp"
#include "platform/machine.hpp"
#include "platform/shell.hpp"
#include "platform/text.hpp"
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
        return std::string(platform::trim(std::string_view(ofn.file).substr(0, end)));
    } catch (...) {
        // A dialog that fails behaves as a cancelled one.
        return "";
    }
}

}  // namespace

std::string AddBackslash(std::string_view sFile) {
    std::string out(sFile);
    if (!out.ends_with('\\'))
        out += '\\';
    return out;
}

bool CBoolEx(const Variant& vValue) {
    if (vValue.is<bool>())
        return vValue.get<bool>();
    if (vValue.is<std::string>()) {
        const auto& text = vValue.get<std::string>();
        return text == "Wahr" || text == "True";
    }
    return false;
}

Byte hibyte(Integer wParam) {
    return static_cast<Byte>((static_cast<std::uint16_t>(wParam) >> 8) & 0xFF);
}

Byte lobyte(Integer wParam) {
    return static_cast<Byte>(static_cast<std::uint16_t>(wParam) & 0xFF);
}

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

double numericValue(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    double value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i)
        value = value * 10 + (text[i] - '0');
    if (i < text.size() && (text[i] == ',' || text[i] == '.')) {
        double scale = 0.1;
        for (++i; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i, scale /= 10)
            value += (text[i] - '0') * scale;
    }
    return negative ? -value : value;
}

std::string formatNumber(double value, int decimals) {
    if (!std::isfinite(value)) value = 0;
    char raw[64];
    std::snprintf(raw, sizeof raw, "%.*f", decimals, std::fabs(value));
    std::string text(raw);
    const auto point = text.find('.');
    std::string whole = text.substr(0, point);
    const std::string fraction = point == std::string::npos ? "" : text.substr(point + 1);
    std::string grouped;
    for (std::size_t i = 0; i < whole.size(); ++i) {
        if (i > 0 && (whole.size() - i) % 3 == 0) grouped += '.';
        grouped += whole[i];
    }
    const bool zero = text.find_first_not_of("0.") == std::string::npos;
    std::string out = (value < 0 && !zero ? "-" : "") + grouped;
    if (!fraction.empty()) out += "," + fraction;
    return out;
}

}  // namespace kx
