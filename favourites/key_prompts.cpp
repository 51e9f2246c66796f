// The key prompts; see key_prompts.hpp.
#include "favourites/key_prompts.hpp"

#include "core/shared_state.hpp"
#include "platform/runtime/translation.hpp"
#include "platform/ui/dialogs.hpp"
#include "services/progress.hpp"

namespace kx::favourites {
namespace {

namespace ui = platform::ui;
using platform::tr;

constexpr std::string_view kCaption = platform::trMark("KOLVANEX 3 - Passwort");

std::shared_ptr<ui::TextBox> maskedField(FormBase& form, const char* name) {
    auto box = addWholeTextField(form, name);
    box->passwordChar = "*";
    return box;
}

void wipe(std::string& text) {
    text.assign(text.size(), '\0');
    text.clear();
}

template <typename Dialog>
std::string showForKey() {
    Dialog dialog;
    dialog.show(true);
    dialog.unload();
    std::string key = std::move(dialog.key);
    if (key.empty())
        unloadProgressWindow();
    return key;
}

}  // namespace

std::shared_ptr<ui::TextBox> addWholeTextField(FormBase& form, const char* name) {
    auto box = form.add<ui::TextBox>(name);
    auto* raw = box.get();
    box->GotFocus = [raw] {
        raw->selStart = 0;
        raw->selLength = static_cast<std::int32_t>(raw->text.size());
    };
    return box;
}

void focusWholeText(ui::TextBox& box) {
    ui::setFocusedControl(&box);
    box.selStart = 0;
    box.selLength = static_cast<std::int32_t>(box.text.size());
}

frmFavoritenPassSet::frmFavoritenPassSet() : FormBase(std::string(tr(kCaption))) {
    name = "frmFavoritenPassSet";
    lblPass = add<ui::Label>("lblPass");
    lblPass->caption = tr("&Bitte geben Sie das Passwort zum Verschlüsseln ein:");
    txtPass = maskedField(*this, "txtPass");
    lblPass2 = add<ui::Label>("lblPass2");
    lblPass2->caption = tr("&Passwort wiederholen:");
    txtPass2 = maskedField(*this, "txtPass2");
    cmdOK = add<ui::CommandButton>("cmdOK");
    cmdOK->caption = "OK";
    cmdOK->isDefault = true;
    cmdOK->toolTipText = tr(
        "Daten verschlüsseln: Die Daten werden mit der 256-Bit AES Technologie verschlüsselt und "
        "können ohne das richtige Passwort nicht mehr entschlüsselt werden. Bitte merken Sie sich "
        "das vergebene Passwort gut, andernfalls können Sie Ihre Daten nicht mehr öffnen! Das "
        "Passwort sollte mindestens 5 Zeichen lang sein und im Idealfall aus zufälligen Zeichen "
        "bestehen.");
    cmdCan = add<ui::CommandButton>("cmdCan");
    cmdCan->caption = tr("Abbrechen");
    cmdCan->cancel = true;

    Load = [this] { focusWholeText(*txtPass); };
    cmdOK->Click = [this] {
        const char* problem = txtPass->text != txtPass2->text ? kKeysDiffer
                              : txtPass->text.empty()         ? kKeyEmpty
                                                              : nullptr;
        if (problem == nullptr) {
            key = txtPass->text;
            wipe(txtPass->text);
            wipe(txtPass2->text);
            unload();
            return;
        }
        ui::dialogs().messageBox(std::string(tr(problem)), shared().applicationTitle,
                                 ui::MB_ICONEXCLAMATION);
        wipe(txtPass->text);
        wipe(txtPass2->text);
        txtPass->refresh();
        txtPass2->refresh();
        focusWholeText(*txtPass);
    };
    cmdCan->Click = [this] {
        key.clear();
        unload();
    };
}

frmFavoritenPasswortGet::frmFavoritenPasswortGet() : FormBase(std::string(tr(kCaption))) {
    name = "frmFavoritenPasswortGet";
    lblPass = add<ui::Label>("lblPass");
    lblPass->caption = tr("&Bitte geben Sie das Passwort zum Entschlüsseln ein:");
    txtPass = maskedField(*this, "txtPass");
    cmdOK = add<ui::CommandButton>("cmdOK");
    cmdOK->caption = "OK";
    cmdOK->isDefault = true;
    cmdCan = add<ui::CommandButton>("cmdCan");
    cmdCan->caption = tr("Abbrechen");
    cmdCan->cancel = true;

    Load = [this] { focusWholeText(*txtPass); };
    cmdOK->Click = [this] {
        key = txtPass->text;
        wipe(txtPass->text);
        unload();
    };
    cmdCan->Click = [this] {
        key.clear();
        unload();
    };
}

std::string KXPasswordSet() {
    return showForKey<frmFavoritenPassSet>();
}

std::string KXPasswordGet() {
    return showForKey<frmFavoritenPasswortGet>();
}

}  // namespace kx::favourites
