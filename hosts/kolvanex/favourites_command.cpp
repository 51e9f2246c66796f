// `kolvanex favourites list|add|remove|import|open`: the safe favourites
// through their window, as a user works it: the window is opened (the list
// decrypted with the key asked for), the command's action is done on it, and
// the window is closed (the list encrypted again with a new key when it
// changed). --key-file gives both keys for scripts.
#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>
#include <optional>

#include "core/shared_state.hpp"
#include "facade/kolvanex.hpp"
#include "favourites/favourite_dialogs.hpp"
#include "favourites/frm_favoriten.hpp"
#include "hosts/kolvanex/console_forms.hpp"
#include "hosts/kolvanex/host.hpp"
#include "hosts/kolvanex/user_path.hpp"
#include "platform/runtime/translation.hpp"
#include "platform/ui/dialogs.hpp"

namespace kx::host {

using platform::tr;
using platform::trf;

namespace {

namespace ui = platform::ui;
namespace fav = favourites;

struct FavouritesOptions {
    std::string action;
    std::string name;
    std::string url;
    std::string group;
    bool anonym = false;
    bool safe = false;
    std::optional<std::string> keyFile;
};

// Answers the delete question with yes (the command line asked for it) and
// leaves every other message to the console.
class DeleteConfirmed final : public ui::Dialogs {
  public:
    DeleteConfirmed() : inner_(ui::dialogs()), scope_(*this) {}
    std::int32_t messageBox(const std::string& text, const std::string& title,
                            std::uint32_t flags) override {
        if (text == platform::tr(fav::kDeleteOne))
            return ui::IDYES;
        return inner_.messageBox(text, title, flags);
    }
    bool getOpenFileName(ui::OpenFileName& ofn) override { return inner_.getOpenFileName(ofn); }
    bool getSaveFileName(ui::OpenFileName& ofn) override { return inner_.getSaveFileName(ofn); }
    std::optional<std::string> browseForFolder(ui::HWND owner, const std::string& title,
                                               std::int32_t root, std::uint32_t flags) override {
        return inner_.browseForFolder(owner, title, root, flags);
    }

  private:
    ui::Dialogs& inner_;
    ui::DialogsScope scope_;
};

// The action on the open window; false when it could not be done.
bool act(fav::frmFavoriten& window, const FavouritesOptions& o) {
    if (o.action == "list") {
        for (const auto& f : window.favourites())
            std::cout << f.name << '\t' << f.anonym << '\t' << f.sicher << '\t' << f.gruppe << '\t'
                      << f.url << '\n';
        return true;
    }
    if (o.action == "import") {
        window.importFavourites();
        return true;
    }
    if (o.action == "add") {
        const auto before = window.lvFavoriten->count();
        window.addFavourite();
        return window.lvFavoriten->count() > before;
    }
    const auto row = window.findRow(o.name);
    if (!row) {
        std::cerr << "kolvanex: " << trf("kein Favorit namens '{1}'", {o.name}) << "\n";
        return false;
    }
    window.selectOnly(*row);
    if (o.action == "remove")
        window.deleteSelected();
    else
        window.startSelected();
    return true;
}

int runFavourites(const GlobalOptions& options, const FavouritesOptions& o) {
    if (o.action != "list" && o.action != "import" && o.name.empty())
        throw UsageError(std::string(tr("der NAME des Favoriten fehlt")));
    Session session(options, true);
    ConsoleForms forms(o.keyFile
                           ? std::optional(UserPath(*o.keyFile).host(session.machine()).string())
                           : std::nullopt);
    DeleteConfirmed confirmed;
    bool opened = false;
    bool done = false;
    bool saved = true;
    forms.onModal = [&](ui::Form& form) {
        if (auto* add = dynamic_cast<fav::frmFavoritenAdd*>(&form)) {
            add->txtBezeichnung->text = o.name;
            add->txtURL->text = o.url;
            add->txtGruppe->text = o.group;
            add->chkAnonym->value = o.anonym ? 1 : 0;
            add->chkSafe->value = o.safe ? 1 : 0;
            add->cmdOK->click();
            if (add->isLoaded())
                add->cmdCan->click();  // refused: the message said why
            return true;
        }
        auto* window = dynamic_cast<fav::frmFavoriten*>(&form);
        if (window == nullptr)
            return false;
        opened = true;
        done = act(*window, o);
        if (!window->unload()) {
            // The new key was not given: the window would stay open. The
            // list is left in the plain file, as a cancelled save leaves it.
            saved = false;
            window->changed = false;
            window->unload();
        }
        return true;
    };
    const auto result = CKOLVANEX().ShowFavoriten();
    if (forms.interrupted)
        return kExitCancelled;
    if (!result) {
        std::cerr << "kolvanex: " << result.error().description << "\n";
        return kExitFailed;
    }
    if (!opened) {
        std::cerr << "kolvanex: "
                  << tr("die Favoriten wurden nicht geöffnet; nichts wurde geändert") << "\n";
        return kExitFailed;
    }
    if (!saved) {
        std::cerr << "kolvanex: "
                  << tr("die geänderte Liste wurde nicht verschlüsselt (kein Schlüssel); sie "
                        "bleibt in favoriten.txt")
                  << "\n";
        return kExitFailed;
    }
    return done ? 0 : kExitFailed;
}

}  // namespace

void addFavouritesCommands(CLI::App& app, const GlobalOptions& options, int& exitCode) {
    auto o = std::make_shared<FavouritesOptions>();
    auto* command = app.add_subcommand(
        "favourites", std::string(tr("die sicheren Favoriten (verschlüsselt aufbewahrt)")));
    command->add_option("action", o->action, std::string(tr("list, add, remove, import oder open")))
        ->required()
        ->check(CLI::IsMember({"list", "add", "remove", "import", "open"}));
    command->add_option("NAME", o->name,
                        std::string(tr("der Name des Favoriten (add, remove, open)")));
    command->add_option("URL", o->url, std::string(tr("seine Adresse (add)")));
    command->add_option("--group", o->group, std::string(tr("seine Gruppe (add)")));
    command->add_flag("--anonym", o->anonym,
                      std::string(tr("ihn in einer anonymen Sitzung öffnen (add)")));
    command->add_flag("--safe", o->safe,
                      std::string(tr("ihn in einer sicheren Sitzung öffnen (add)")));
    command->add_option("--key-file", o->keyFile,
                        std::string(tr("die Schlüssel aus der ersten Zeile dieser (Host-)Datei "
                                       "lesen")));
    command->footer(std::string(
        tr("Exit-Status 0, wenn erledigt, 1, wenn die Liste nicht geöffnet werden konnte\n"
           "(falscher Schlüssel, eine fremde Datei: nichts wird geändert) oder die Aktion\n"
           "scheiterte, 2 bei fehlerhafter Eingabe, 130 nach Strg+C an einer Eingabe.\n\n"
           "Beispiel:\n"
           "  kolvanex favourites add Bank https://bank.example --group Geld")));
    command->callback([o, &options, &exitCode] { exitCode = runFavourites(options, *o); });
}

}  // namespace kx::host
