#pragma once
// The dialogs of the favourites window: frmFavoritenAdd adds a favourite or
// edits the selected one, frmFavoritenFilter selects the rows whose name or
// address matches a wildcard pattern.
#include <memory>
#include <string>

#include "platform/runtime/translation.hpp"
#include "platform/ui/controls.hpp"
#include "services/form_base.hpp"

namespace kx::favourites {

class frmFavoriten;

// Messages, shown in the user's language (tr); C strings, as callers keep them
// in tables of their own.
inline constexpr const char* kNameMissing = platform::trMark("Die Bezeichnung fehlt").data();
inline constexpr const char* kUrlMissing = platform::trMark("Die URL fehlt").data();
inline constexpr const char* kNameExists =
    platform::trMark("Diese Bezeichnung existiert schon!").data();
/// The tag that makes frmFavoritenAdd edit the selected row.
inline constexpr const char* kEditTag = "EDIT";

class frmFavoritenAdd final : public FormBase {
  public:
    explicit frmFavoritenAdd(frmFavoriten& owner);

    std::shared_ptr<platform::ui::TextBox> txtBezeichnung, txtURL, txtGruppe;
    std::shared_ptr<platform::ui::CheckBox> chkAnonym, chkSafe;
    std::shared_ptr<platform::ui::CommandButton> cmdOK, cmdCan;
    /// "EDIT" edits the selected row; anything else adds.
    std::string tag;

  private:
    void accept();
    frmFavoriten& owner_;
};

class frmFavoritenFilter final : public FormBase {
  public:
    explicit frmFavoritenFilter(frmFavoriten& owner);

    std::shared_ptr<platform::ui::Label> lblText;
    std::shared_ptr<platform::ui::TextBox> txtBezeichnung, txtURL;
    std::shared_ptr<platform::ui::CommandButton> cmdOK, cmdCan;

  private:
    void accept();
    frmFavoriten& owner_;
};

/// A filter pattern as the filter uses it: one without "*" or "?" is
/// enclosed in stars (a substring search), then lower-cased.
std::string filterPattern(const std::string& typed);

}  // namespace kx::favourites
