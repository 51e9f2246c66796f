// The favourites window and its store; see frm_favoriten.hpp.
#include "favourites/frm_favoriten.hpp"

#include <array>

#include "anonymity/sessions.hpp"
#include "core/shared_state.hpp"
#include "core/text_rules.hpp"
#include "crypt/aes_holder.hpp"
#include "favourites/favourite_dialogs.hpp"
#include "favourites/key_prompts.hpp"
#include "fsys/dir_scanner.hpp"
#include "platform/files/files.hpp"
#include "platform/files/overwrite.hpp"
#include "platform/files/profile_strings.hpp"
#include "platform/runtime/text.hpp"
#include "platform/runtime/translation.hpp"
#include "platform/runtime/wildcard.hpp"
#include "platform/ui/cursor.hpp"
#include "platform/ui/dialogs.hpp"
#include "settings/locations.hpp"
#include "settings/settings_store.hpp"

namespace kx::favourites {
namespace {

namespace ui = platform::ui;
using platform::tr;
using platform::trMark;

constexpr int kCsidlFavorites = 6;
constexpr std::int32_t kKeyBits = 256;
constexpr const char* kPositionSection = "FavoPos";
constexpr std::array<std::string_view, 5> kColumns = {
    trMark("Bezeichnung"), trMark("Anonym"), trMark("Sicher"), trMark("Gruppe"), trMark("URL")};
constexpr std::array<std::int32_t, 5> kColumnWidths = {2400, 800, 800, 1400, 3000};
constexpr std::int16_t kShiftAlt = ui::vbAltMask;

std::shared_ptr<ui::Menu> menuEntry(ui::Form& form, ui::Menu& parent, const char* name,
                                    std::string_view caption) {
    auto entry = form.add<ui::Menu>(name);
    entry->caption = caption;
    parent.add(entry);
    return entry;
}

}  // namespace

SessionCalls browserSessions() {
    return {[] { return anonymity::SetSafeSessionOn(); },
            [] { return anonymity::SetAnonymSessionOn(); },
            [] { return anonymity::SetSafeSessionOff(); },
            [](const std::string& url) { (void)anonymity::Werbung(url); }};
}

frmFavoriten::frmFavoriten(PlainWiper wipe, SessionCalls sessions)
    : FormBase(std::string(tr("KOLVANEX 3 - Sichere Favoriten"))),
      wipe_(std::move(wipe)),
      sessions_(std::move(sessions)) {
    name = "frmFavoriten";
    width = 9600;
    height = 6000;
    keyPreview = true;
    tbToolsA = add<ui::CommandButton>("tbToolsA");
    tbToolsA->tag = "A";
    tbToolsA->caption = tr("Starten");
    tbToolsB = add<ui::CommandButton>("tbToolsB");
    tbToolsB->tag = "B";
    tbToolsB->caption = tr("Hinzufügen");
    tbToolsC = add<ui::CommandButton>("tbToolsC");
    tbToolsC->tag = "C";
    tbToolsC->caption = tr("Löschen");
    for (auto* button : {tbToolsA.get(), tbToolsB.get(), tbToolsC.get()}) button->toolbar = true;
    cbFind = add<ui::ComboBox>("cbFind");
    lvFavoriten = add<ui::ListView>("lvFavoriten");
    lvFavoriten->multiSelect = true;
    for (std::size_t i = 0; i < kColumns.size(); ++i)
        lvFavoriten->addColumn(std::string(tr(kColumns[i])), kColumnWidths[i]);
    tmrMenu = add<ui::Timer>("tmrMenu");
    tmrMenu->setInterval(200);

    mnuFavoriten = add<ui::Menu>("mnuFavoriten");
    mnuFavoriten->caption = tr("&Favoriten");
    mnuStart = menuEntry(*this, *mnuFavoriten, "mnuStart", tr("&Internet-Sitzung starten"));
    mnuAdd = menuEntry(*this, *mnuFavoriten, "mnuAdd", tr("&Hinzufügen..."));
    mnuDel = menuEntry(*this, *mnuFavoriten, "mnuDel", tr("&Löschen..."));
    mnuImport = menuEntry(*this, *mnuFavoriten, "mnuImport", tr("&Importieren"));
    mnuFilter = menuEntry(*this, *mnuFavoriten, "mnuFilter", tr("&Suchen..."));
    mnuProperty = menuEntry(*this, *mnuFavoriten, "mnuProperty", tr("&Eigenschaften..."));
    mnuClose = menuEntry(*this, *mnuFavoriten, "mnuClose", tr("Schließen"));
    mnupopup = add<ui::Menu>("mnupopup");
    mnupopup->visible = false;
    mnuProp = menuEntry(*this, *mnupopup, "mnuProp", tr("Eigenschaften"));
    mnuDelPop = menuEntry(*this, *mnupopup, "mnuDelPop", tr("&Löschen"));

    tbToolsA->Click = mnuStart->Click = [this] { startSelected(); };
    tbToolsB->Click = mnuAdd->Click = [this] { addFavourite(); };
    tbToolsC->Click = mnuDel->Click = mnuDelPop->Click = [this] { deleteSelected(); };
    mnuImport->Click = [this] { importFavourites(); };
    mnuFilter->Click = [this] { markByPattern(); };
    mnuProperty->Click = mnuProp->Click = [this] { showProperties(); };
    mnuClose->Click = [this] { unload(); };
    tmrMenu->TimerEvent = [this] { menuTick(); };

    cbFind->KeyUp = [this](std::int16_t& keyCode, std::int16_t) { findTyped(keyCode); };
    cbFind->KeyDown = [this](std::int16_t& keyCode, std::int16_t) {
        if (keyCode == ui::vbKeyReturn)
            findEnter();
    };
    cbFind->Click = [this] { chooseFound(cbFind->text); };
    lvFavoriten->ItemClick = [this](ui::ListItem& item) { cbFind->setText(item.text); };
    lvFavoriten->DblClick = [this] { startSelected(); };
    lvFavoriten->ColumnClick = [this](std::size_t column) {
        ui::HourglassCursor hourglass;
        lvFavoriten->setSortKey(column);
        lvFavoriten->setSortOrder(lvFavoriten->sortOrder() == ui::SortOrder::Ascending
                                      ? ui::SortOrder::Descending
                                      : ui::SortOrder::Ascending);
        lvFavoriten->setSorted(true);
    };
    lvFavoriten->KeyDown = [this](std::int16_t& keyCode, std::int16_t shift) {
        if (keyCode == ui::vbKeyReturn)
            (shift & kShiftAlt) != 0 ? showProperties() : startSelected();
        else if (keyCode == kKeyInsert)
            addFavourite();
        else if (keyCode == kKeyDelete)
            deleteSelected();
        else if (keyCode == ui::vbKeyApps)
            popupMenu(*mnupopup);
        else if (keyCode == kKeyF2)
            lvFavoriten->startLabelEdit();
    };
    lvFavoriten->AfterLabelEdit = [this](bool&, std::string& newText) { renameSelected(newText); };
    lvFavoriten->MouseUp = [this](std::int16_t button, std::int16_t shift, float, float) {
        if (button == ui::vbRightButton && shift == 0)
            popupMenu(*mnupopup);
    };
    KeyDown = [this](std::int16_t& keyCode, std::int16_t) {
        // While a name is edited, Escape belongs to the edit.
        if (keyCode == ui::vbKeyEscape && !lvFavoriten->labelEditing())
            unload();
    };
    QueryUnload = [this](bool& cancel, ui::UnloadMode) {
        if (changed && !saveList()) {
            cancel = true;
            return;
        }
        savePosition();
    };
}

frmFavoriten::~frmFavoriten() = default;

void frmFavoriten::onLoad() {
    FormBase::onLoad();
    restorePosition();
    tmrMenu->start();
}

void frmFavoriten::restorePosition() {
    const auto app = shared().applicationTitle;
    const auto number = [&](const std::string& key, std::int32_t fallback) {
        const auto text =
            settings::GetSetting(app, kPositionSection, key, std::to_string(fallback));
        return static_cast<std::int32_t>(numericValue(text));
    };
    left = number("X", left);
    top = number("Y", top);
    width = number("W", width);
    height = number("H", height);
    for (std::size_t i = 0; i < lvFavoriten->columns.size(); ++i) {
        auto& column = lvFavoriten->columns[i];
        column.width = number("Col" + std::to_string(i + 1), column.width);
    }
}

void frmFavoriten::savePosition() {
    const auto app = shared().applicationTitle;
    const auto put = [&](const std::string& key, std::int32_t value) {
        settings::SaveSetting(app, kPositionSection, key, std::to_string(value));
    };
    put("X", left);
    put("Y", top);
    put("W", width);
    put("H", height);
    for (std::size_t i = 0; i < lvFavoriten->columns.size(); ++i)
        put("Col" + std::to_string(i + 1), lvFavoriten->columns[i].width);
}

void frmFavoriten::showModal() {
    load();
    if (!firstShown_) {
        firstShown_ = true;
        if (!loadList()) {
            unload();
            return;
        }
    }
    show(true);
}

std::string frmFavoriten::GetFavoPath() const {
    return AddBackslash(settings::VBGetSpecialFolder(settings::kCsidlPersonal));
}

void frmFavoriten::FillTheCombo() {
    ui::HourglassCursor hourglass;
    cbFind->list.clear();
    for (const auto& row : lvFavoriten->items()) cbFind->list.push_back(row->text);
    cbFind->refresh();
}

std::vector<Favourite> frmFavoriten::favourites() const {
    std::vector<Favourite> out;
    for (const auto& row : lvFavoriten->items()) {
        out.push_back({row->text, row->columnText(2), row->columnText(3), row->columnText(4),
                       row->columnText(5)});
    }
    return out;
}

void frmFavoriten::addRow(const Favourite& f) {
    auto row = lvFavoriten->add(f.name);
    row->setSubItem(1, f.anonym);
    row->setSubItem(2, f.sicher);
    row->setSubItem(3, f.gruppe);
    row->setSubItem(4, f.url);
}

std::optional<std::size_t> frmFavoriten::findRow(std::string_view title) const {
    const auto wanted = platform::vbLCase(title);
    const auto& rows = lvFavoriten->items();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (platform::vbLCase(rows[i]->text) == wanted)
            return i;
    }
    return std::nullopt;
}

void frmFavoriten::selectOnly(std::size_t index) {
    for (const auto& row : lvFavoriten->items()) row->selected = false;
    lvFavoriten->select(index);
    lvFavoriten->ensureVisible(index);
}

bool frmFavoriten::loadList() {
    changed = false;
    const std::string folder = GetFavoPath();
    const std::string sealedFile = folder + std::string(kEncryptedFile);
    const std::string plainFile = folder + std::string(kPlainFile);
    const bool encrypted = platform::files::exists(sealedFile);
    if (encrypted) {
        std::string key = KXPasswordGet();
        AesRun run;
        auto& cipher = run.cipher();
        cipher.InputFile = sealedFile;
        cipher.OutputFile = plainFile;
        cipher.KeyBits = kKeyBits;
        cipher.Password = std::move(key);
        if (cipher.Password.empty())
            return false;
        cipher.StopIt = false;
        const bool opened = cipher.DecryptFile();
        cipher.Password.assign(cipher.Password.size(), '\0');
        if (!opened) {
            // The store stays as it is: DecryptFile writes nothing on failure.
            const bool foreign = cipher.LastError.starts_with(platform::tr(crypt::kNotOurFile));
            ui::dialogs().messageBox(std::string(tr(foreign ? kNotOurs : kWrongKey)),
                                     shared().applicationTitle,
                                     ui::MB_ICONEXCLAMATION | ui::MB_SYSTEMMODAL);
            return false;
        }
    }
    if (platform::files::exists(plainFile)) {
        ui::HourglassCursor hourglass;
        if (const auto bytes = platform::files::readAll(plainFile)) {
            for (const auto& f : decodeFavourites(*bytes)) addRow(f);
        }
    }
    if (encrypted && wipe_)
        wipe_(plainFile);
    FillTheCombo();
    if (lvFavoriten->count() > 0)
        selectOnly(0);
    return true;
}

bool frmFavoriten::saveList() {
    const std::string folder = GetFavoPath();
    const std::string plainFile = folder + std::string(kPlainFile);
    {
        ui::HourglassCursor hourglass;
        // Written beside and renamed over: a plain copy left by a cancelled
        // save is never half overwritten.
        if (!platform::files::replaceContent(platform::currentMachine(), plainFile,
                                             encodeFavourites(favourites())))
            return false;
        ui::yield();
    }
    std::string key = KXPasswordSet();
    if (key.empty())
        return false;
    bool sealed = false;
    {
        AesRun run;
        auto& cipher = run.cipher();
        cipher.InputFile = plainFile;
        // The new store takes the name only once it is complete and on the
        // disk: the previous one stays whole until then.
        cipher.OutputFile = folder + std::string(kEncryptedFile);
        cipher.KeyBits = kKeyBits;
        cipher.Password = std::move(key);
        cipher.StopIt = false;
        sealed = cipher.EncryptFile();
        cipher.Password.assign(cipher.Password.size(), '\0');
    }
    if (sealed && wipe_)
        wipe_(plainFile);
    changed = false;
    return true;
}

void frmFavoriten::importFavourites() {
    fsys::DirScanner scanner;
    scanner.Scan(settings::VBGetSpecialFolder(kCsidlFavorites));
    if (scanner.UpperIndex() < 0) {
        ui::dialogs().messageBox(std::string(tr(kNoBrowserFavourites)), shared().applicationTitle,
                                 ui::MB_ICONINFORMATION);
        return;
    }
    {
        ui::HourglassCursor hourglass;
        for (std::int32_t i = 0; i <= scanner.UpperIndex(); ++i) {
            const std::string path = scanner.Item(i);
            // Shortcuts are read from the folder's own files, never through a
            // link, which may lead anywhere outside the machine.
            const auto entry = platform::lookAtEntry(platform::currentMachine(), path);
            if (!entry || entry->kind != platform::EntryKind::File) {
                ui::yield();
                continue;
            }
            const auto parts = platform::splitAt(path, "\\");
            const std::string title(platform::vbTrim(
                platform::vbReplace(platform::vbReplace(parts.back(), ".url", ""), ".URL", "")));
            if (findRow(title)) {
                ui::yield();
                continue;
            }
            Favourite f{title, "", "", "", ""};
            std::array<char, 1024> buffer{};
            platform::GetPrivateProfileStringA("DEFAULT", "BASEURL", "", buffer.data(),
                                               buffer.size(), path.c_str());
            f.url = buffer.data();  // up to the first NUL
            if (!f.url.empty() && parts.size() > 5) {
                for (std::size_t p = 4; p + 1 < parts.size(); ++p)
                    f.gruppe +=
                        (f.gruppe.empty() ? "" : "/") + std::string(platform::vbTrim(parts[p]));
            }
            addRow(f);
            ui::yield();
        }
    }
    FillTheCombo();
    if (lvFavoriten->count() > 0)
        selectOnly(0);
    changed = true;
}

void frmFavoriten::startSelected() {
    shared().gbBreak = false;
    const auto row = lvFavoriten->selectedItem();
    if (!row)
        return;
    const std::string url = row->columnText(5);
    if (CBoolEx(Variant(row->columnText(3))) && !sessions_.safeOn())
        return;
    if (CBoolEx(Variant(row->columnText(2))) && !sessions_.anonymOn()) {
        sessions_.safeOff();
        return;
    }
    sessions_.open(url);
}

void frmFavoriten::addFavourite() {
    frmFavoritenAdd dialog(*this);
    dialog.show(true);
    dialog.unload();
}

void frmFavoriten::showProperties() {
    const auto row = lvFavoriten->selectedItem();
    if (!row)
        return;
    frmFavoritenAdd dialog(*this);
    dialog.tag = kEditTag;
    dialog.load();
    dialog.txtBezeichnung->text = row->text;
    dialog.txtGruppe->text = row->columnText(4);
    dialog.txtURL->text = row->columnText(5);
    dialog.chkAnonym->value = CBoolEx(Variant(row->columnText(2))) ? 1 : 0;
    dialog.chkSafe->value = CBoolEx(Variant(row->columnText(3))) ? 1 : 0;
    dialog.show(true);
    dialog.unload();
}

void frmFavoriten::deleteSelected() {
    std::vector<std::shared_ptr<ui::ListItem>> chosen;
    for (const auto& row : lvFavoriten->items()) {
        if (row->selected)
            chosen.push_back(row);
    }
    if (chosen.empty())
        return;
    const int answer = ui::dialogs().messageBox(
        std::string(tr(chosen.size() == 1 ? kDeleteOne : kDeleteMany)), shared().applicationTitle,
        ui::MB_YESNO | ui::MB_ICONQUESTION | ui::MB_DEFBUTTON2 | ui::MB_SYSTEMMODAL);
    if (answer == ui::IDYES) {
        for (const auto& row : chosen) {
            const auto& rows = lvFavoriten->items();
            for (std::size_t i = 0; i < rows.size(); ++i) {
                if (rows[i] == row) {
                    lvFavoriten->remove(i);
                    break;
                }
            }
        }
        changed = true;
    }
    FillTheCombo();
}

void frmFavoriten::markByPattern() {
    frmFavoritenFilter dialog(*this);
    dialog.show(true);
    dialog.unload();
}

void frmFavoriten::findTyped(std::int16_t keyCode) {
    if (keyCode == kKeyBack || keyCode == kKeyDelete || keyCode == ui::vbKeyReturn)
        return;
    const std::string typed = cbFind->text;
    if (typed == lastTyped_)
        return;
    const std::string pattern = platform::vbLCase(typed) + "*";
    for (const auto& entry : cbFind->list) {
        if (!platform::vbLike(platform::vbLCase(entry), pattern))
            continue;
        lastTyped_ = typed;
        cbFind->text = entry;
        cbFind->selStart = static_cast<std::int32_t>(typed.size());
        cbFind->selLength = static_cast<std::int32_t>(entry.size() - typed.size());
        cbFind->refresh();
        if (const auto index = findRow(entry))
            selectOnly(*index);
        return;
    }
}

void frmFavoriten::findEnter() {
    const auto index = findRow(cbFind->text);
    if (!index)
        return;
    selectOnly(*index);
    ui::yield();
    startSelected();
}

void frmFavoriten::chooseFound(const std::string& entry) {
    if (const auto index = findRow(entry))
        selectOnly(*index);
}

void frmFavoriten::renameSelected(const std::string& newName) {
    const auto row = lvFavoriten->selectedItem();
    if (!row)
        return;
    row->text = newName;
    lvFavoriten->refresh();
    changed = true;
    cbFind->setText(newName);
}

void frmFavoriten::menuTick() {
    const bool any = lvFavoriten->selectedIndex().has_value();
    for (auto* button : {tbToolsA.get(), tbToolsC.get()}) {
        if (button->enabled != any) {
            button->enabled = any;
            button->refresh();
        }
    }
}

}  // namespace kx::favourites
