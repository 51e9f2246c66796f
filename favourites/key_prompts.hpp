#pragma once
// The two key prompts of the component: frmFavoritenPassSet asks for a new
// key twice (the favourites' save, encrypting files), frmFavoritenPasswortGet
// asks for a key once (the favourites' load, decrypting files). Both are
// modal; "Abbrechen" answers an empty key.
#include <memory>
#include <string>

#include "platform/runtime/translation.hpp"
#include "platform/ui/controls.hpp"
#include "services/form_base.hpp"

namespace kx::favourites {

// Messages, shown in the user's language (tr); C strings, as callers keep them
// in tables of their own.
inline constexpr const char* kKeysDiffer =
    platform::trMark("Passworte stimmen nicht überein!").data();
inline constexpr const char* kKeyEmpty = platform::trMark("Passwort darf nicht leer sein!").data();

class frmFavoritenPassSet final : public FormBase {
  public:
    frmFavoritenPassSet();

    std::shared_ptr<platform::ui::Label> lblPass, lblPass2;
    std::shared_ptr<platform::ui::TextBox> txtPass, txtPass2;
    std::shared_ptr<platform::ui::CommandButton> cmdOK, cmdCan;

    /// The key the dialog closed with; "" after "Abbrechen".
    std::string key;
};

class frmFavoritenPasswortGet final : public FormBase {
  public:
    frmFavoritenPasswortGet();

    std::shared_ptr<platform::ui::Label> lblPass;
    std::shared_ptr<platform::ui::TextBox> txtPass;
    std::shared_ptr<platform::ui::CommandButton> cmdOK, cmdCan;

    std::string key;
};

/// Gives a text box the focus with its whole text selected.
void focusWholeText(platform::ui::TextBox& box);
/// Adds a text box that selects its whole text whenever it gets the focus,
/// as every field of the favourites' dialogs does.
std::shared_ptr<platform::ui::TextBox> addWholeTextField(FormBase& form, const char* name);

/// Shows a fresh frmFavoritenPassSet modally and answers its key; "" when
/// the user cancelled, which also unloads the progress window.
std::string KXPasswordSet();
/// The same with frmFavoritenPasswortGet.
std::string KXPasswordGet();

}  // namespace kx::favourites
