// The add/edit and filter dialogs; see favourite_dialogs.hpp.
#include "favourites/favourite_dialogs.hpp"

#include "core/shared_state.hpp"
#include "core/text_rules.hpp"
#include "favourites/frm_favoriten.hpp"
#include "favourites/key_prompts.hpp"
#include "platform/runtime/text.hpp"
#include "platform/runtime/translation.hpp"
#include "platform/runtime/wildcard.hpp"
#include "platform/ui/dialogs.hpp"

namespace kx::favourites {
namespace {

namespace ui = platform::ui;
using platform::tr;

constexpr std::uint32_t kInfoFlags = ui::MB_ICONINFORMATION | ui::MB_SYSTEMMODAL;

void buttons(FormBase& form, std::shared_ptr<ui::CommandButton>& ok,
             std::shared_ptr<ui::CommandButton>& can) {
    ok = form.add<ui::CommandButton>("cmdOK");
    ok->caption = "OK";
    ok->isDefault = true;
    can = form.add<ui::CommandButton>("cmdCan");
    can->caption = tr("Abbrechen");
    can->cancel = true;
    can->Click = [&form] { form.unload(); };
}

// The caption of the field or group that follows it.
void label(FormBase& form, const char* name, std::string_view caption) {
    form.add<ui::Label>(name)->caption = caption;
}

bool matches(const std::string& text, const std::string& pattern) {
    return platform::vbLike(platform::vbLCase(text), pattern);
}

}  // namespace

std::string filterPattern(const std::string& typed) {
    std::string pattern = typed;
    if (!pattern.empty() && pattern.find_first_of("*?") == std::string::npos)
        pattern = "*" + pattern + "*";
    return platform::vbLCase(pattern);
}

frmFavoritenAdd::frmFavoritenAdd(frmFavoriten& owner)
    : FormBase(std::string(tr("KOLVANEX 3 - Favoriten hinzufügen"))), owner_(owner) {
    name = "frmFavoritenAdd";
    label(*this, "lblBezeichnung", tr("&Bezeichnung:"));
    txtBezeichnung = addWholeTextField(*this, "txtBezeichnung");
    label(*this, "lblURL", tr("&URL:"));
    txtURL = addWholeTextField(*this, "txtURL");
    label(*this, "lblGruppe", tr("&Gruppe:"));
    txtGruppe = addWholeTextField(*this, "txtGruppe");
    label(*this, "lblOptional", tr("&Optional:"));
    chkAnonym = add<ui::CheckBox>("chkAnonym");
    chkAnonym->caption = tr("&Anonym aufrufen");
    chkAnonym->toolTipText = tr("Die Seite wird anonym aufgerufen");
    chkSafe = add<ui::CheckBox>("chkSafe");
    chkSafe->caption = tr("&Mit hoher Internet-Sicherheitsstufe aufrufen");
    chkSafe->toolTipText =
        tr("Die Seite wird mit hohen Internet-Sicherheitseinstellungen aufgerufen");
    buttons(*this, cmdOK, cmdCan);
    // The browser's current address is not asked for on this system: the
    // address starts empty in add mode.
    Load = [this] { focusWholeText(*txtBezeichnung); };
    cmdOK->Click = [this] { accept(); };
}

void frmFavoritenAdd::accept() {
    const auto refuse = [this](const char* text, ui::TextBox& box) {
        ui::dialogs().messageBox(std::string(tr(text)), shared().applicationTitle, kInfoFlags);
        focusWholeText(box);
    };
    if (txtBezeichnung->text.empty())
        return refuse(kNameMissing, *txtBezeichnung);
    if (txtURL->text.empty())
        return refuse(kUrlMissing, *txtURL);
    const bool edit = tag == kEditTag;
    if (!edit && owner_.findRow(txtBezeichnung->text))
        return refuse(kNameExists, *txtBezeichnung);
    if (edit) {
        if (const auto selected = owner_.lvFavoriten->selectedIndex())
            owner_.lvFavoriten->remove(*selected);
    }
    owner_.addRow({txtBezeichnung->text, booleanText(chkAnonym->value != 0),
                   booleanText(chkSafe->value != 0), platform::vbLCase(txtGruppe->text),
                   platform::vbLCase(txtURL->text)});
    owner_.changed = true;
    owner_.FillTheCombo();
    unload();
}

frmFavoritenFilter::frmFavoritenFilter(frmFavoriten& owner)
    : FormBase(std::string(tr("KOLVANEX 3 - Filter"))), owner_(owner) {
    name = "frmFavoritenFilter";
    lblText = add<ui::Label>("lblText");
    lblText->caption =
        tr("Bitte tragen Sie hier das Namensmuster für die zu markierenden Zeilen ein (* steht "
           "für beliebige Zeichen oder nichts, das ? steht für ein beliebiges Zeichen).");
    label(*this, "lblBezeichnung", tr("&Bezeichnung:"));
    txtBezeichnung = addWholeTextField(*this, "txtBezeichnung");
    label(*this, "lblURL", tr("&URL:"));
    txtURL = addWholeTextField(*this, "txtURL");
    buttons(*this, cmdOK, cmdCan);
    Load = [this] {
        txtURL->text = owner_.sURLFilter;
        txtBezeichnung->text = owner_.sNameFilter;
    };
    cmdOK->Click = [this] { accept(); };
}

void frmFavoritenFilter::accept() {
    owner_.sURLFilter = txtURL->text;
    owner_.sNameFilter = txtBezeichnung->text;
    const std::string namePattern = filterPattern(owner_.sNameFilter);
    const std::string url = filterPattern(owner_.sURLFilter);
    unload();
    for (const auto& row : owner_.lvFavoriten->items())
        row->selected = matches(row->text, namePattern) || matches(row->columnText(5), url);
    owner_.lvFavoriten->refresh();
}

}  // namespace kx::favourites
