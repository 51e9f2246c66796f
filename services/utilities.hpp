#pragma once
// Small window and dialog helpers that every form and feature shares.
#include <cstdint>
#include <string>
#include <string_view>

#include "core/automation.hpp"
#include "core/text_rules.hpp"
#include "platform/ui/controls.hpp"

namespace kx {

/// The built component never runs inside its development environment.
bool IsIDE();

/// Selects the whole text of the control that has the input focus.
Variant Selex();

/// Ctrl+Tab (9, shift 2) selects the next tab, wrapping to tab 1;
/// Ctrl+Shift+Tab (9, shift 3) the previous one, wrapping to the last.
void ChangeTabControl(platform::ui::TabStrip& tsTabControl, Integer iKeycode, Integer iShift);

/// Makes a window topmost (or not) without moving or sizing it.
void FormOnTop(Long hwnd, bool OnTop);

/// Lets a form fill the desktop's work area, leaving the task bar free.
void FormMaximize(platform::ui::Form& f);

/// Gives every control but text boxes the button-face colour, except on
/// Windows XP whose themes draw them.
void BackColor98(platform::ui::Form& fIn);

/// The common open and save dialogs. The filter is "description|pattern|...";
/// it is returned with NUL separators, as the platform takes it. "" on cancel.
std::string ShowOpenDlg(Long& lHwndOwner, std::string& strFilter, std::string& strTitel,
                        std::string& strInitDir);
std::string ShowSaveDlg(Long& lHwndOwner, std::string& strFilter, std::string& strTitel,
                        std::string& strInitDir);

/// The folder picker; "" when cancelled.
std::string BrowseFolder(Long hwndOwner, std::string_view sTitel, Long piRoot);

/// Open the maker's web site (Help does nothing for the partner edition).
void Help(Long lHwnd);
void Homepage();

/// The application title in dialog captions: every "KOLVANEX 3" becomes
/// KXAppTitle when that is set.
std::string applyCaptionRule(std::string_view designCaption);

/// Makes the window topmost when gbFormsOnTop is set.
void applyTopmostRule(Long hwnd);

/// The address of the maker's web site.
std::string makerWebSite();

}  // namespace kx
