#pragma once
// frmFavoriten: the window of the safe favourites. The list lives in its
// rows only: it is loaded (decrypted, read, the plain copy wiped) when the
// window is first shown and saved (written, encrypted, the plain copy wiped)
// when it closes after a change. The user searches the list, starts a
// favourite in a safe and/or anonymous browser session, adds, edits, renames,
// deletes and marks rows, and imports the browser's favourites.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "favourites/favourites_file.hpp"
#include "platform/runtime/translation.hpp"
#include "platform/ui/controls.hpp"
#include "services/form_base.hpp"

namespace kx::favourites {

/// Destroys a plain copy of the list with the secure deletion, with the
/// arguments the store gives (bSecurityMode, bEncryptIt, iDeleteN,
/// yDeleteChar, bDeleteIt).
using PlainWiper = std::function<void(const std::string& file)>;

/// The browser sessions a favourite is started in (anonymity/sessions.hpp
/// unless a caller gives others).
struct SessionCalls {
    std::function<bool()> safeOn, anonymOn, safeOff;
    std::function<void(const std::string& url)> open;
};
SessionCalls browserSessions();

inline constexpr std::int16_t kWipePasses = 3;
inline constexpr std::uint8_t kWipeByte = 247;

// Messages, shown in the user's language (tr); a host that answers one of
// them compares it translated.
inline constexpr const char* kNoBrowserFavourites =
    platform::trMark("Keine persönliche Favoriten vom Internet-Explorer gefunden!").data();
inline constexpr const char* kDeleteOne =
    platform::trMark("Soll der markierte Eintrag gelöscht werden?").data();
inline constexpr const char* kDeleteMany =
    platform::trMark("Die markierten Einträge unwiderruflich löschen?").data();
inline constexpr const char* kNotOurs =
    platform::trMark(
        "Die Datei favoriten.aes ist keine mit diesem Programm verschlüsselte Favoritenliste. Sie "
        "wurde nicht geöffnet und bleibt unverändert.")
        .data();
inline constexpr const char* kWrongKey =
    platform::trMark(
        "Die Favoriten konnten nicht entschlüsselt werden: das Passwort ist falsch oder die Datei "
        "favoriten.aes wurde verändert. Die Datei bleibt unverändert.")
        .data();

/// Key codes of the list's keys.
inline constexpr std::int16_t kKeyInsert = 45;
inline constexpr std::int16_t kKeyDelete = 46;
inline constexpr std::int16_t kKeyBack = 8;
inline constexpr std::int16_t kKeyF2 = 113;

class frmFavoriten final : public FormBase {
  public:
    explicit frmFavoriten(PlainWiper wipe, SessionCalls sessions = browserSessions());
    ~frmFavoriten() override;

    // Toolbar tbTools: the buttons keyed "A" (start), "B" (add), "C" (delete).
    std::shared_ptr<platform::ui::CommandButton> tbToolsA, tbToolsB, tbToolsC;
    /// The search box; its drop-down list holds the row names.
    std::shared_ptr<platform::ui::ComboBox> cbFind;
    std::shared_ptr<platform::ui::ListView> lvFavoriten;
    std::shared_ptr<platform::ui::Timer> tmrMenu;
    std::shared_ptr<platform::ui::Menu> mnuFavoriten, mnuStart, mnuAdd, mnuDel, mnuImport,
        mnuFilter, mnuProperty, mnuClose;
    std::shared_ptr<platform::ui::Menu> mnupopup, mnuProp, mnuDelPop;

    std::string sNameFilter;
    std::string sURLFilter;
    /// The changed mark: the rows differ from the stored list.
    bool changed = false;

    /// Shows the window modally; on its first show the list is loaded first,
    /// which may close the window again (then it is not shown).
    void showModal();

    /// The storage folder (the personal documents folder) with "\".
    std::string GetFavoPath() const;
    /// Rebuilds cbFind's list from the row names, in list order.
    void FillTheCombo();

    /// The rows as favourites, in list order; adds one row.
    std::vector<Favourite> favourites() const;
    void addRow(const Favourite& favourite);
    /// The index of the row whose name is `name` (whole text, any case).
    std::optional<std::size_t> findRow(std::string_view title) const;
    /// Deselects every row, selects one and scrolls it into view.
    void selectOnly(std::size_t index);

    /// The store (loading answers false when the window is to close;
    /// saving answers false when the close is to be cancelled).
    bool loadList();
    bool saveList();
    void importFavourites();

    /// The actions of the menus, toolbar and keys.
    void startSelected();
    void addFavourite();
    void showProperties();
    void deleteSelected();
    void markByPattern();
    /// cbFind typed (KeyUp); Enter in cbFind; an entry of the drop-down chosen.
    void findTyped(std::int16_t keyCode);
    void findEnter();
    void chooseFound(const std::string& name);
    /// A name edited in place (F2) was committed: the selected row takes
    /// `newName`, which also goes into the search box.
    void renameSelected(const std::string& newName);
    /// The menu timer: "A" and "C" follow whether a row is selected.
    void menuTick();

  private:
    void onLoad() override;
    void restorePosition();
    void savePosition();

    PlainWiper wipe_;
    SessionCalls sessions_;
    bool firstShown_ = false;
    std::string lastTyped_;
};

}  // namespace kx::favourites
