#pragma once
// frmOptionenProxy: the choice of the proxy or proxies of anonymous sessions
// and of the proxy for downloads. It lists the local proxy list, can fetch
// a fresh one from the maker's server, test one proxy or all of them, and
// stores the choice in "AnonymIP"/"AnonymPort" (one proxy), "Proxylist" (a
// chain) and "DownLoadProxy"/"DownLoadPort".
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/runtime/translation.hpp"
#include "platform/ui/controls.hpp"
#include "services/form_base.hpp"

namespace kx::anonymity {

// The dialog's texts, shown in the user's language (tr). The list's first
// row and the answers of the "Anonym" column are compared in their shown
// form, never stored.
/// The list's first row, which stands for "no proxy chosen".
inline constexpr std::string_view kNoChoice = platform::trMark("[Keine Auswahl]");
inline constexpr std::string_view kCheckCaption = platform::trMark("Schnellsten &Server ermitteln");
inline constexpr std::string_view kCancelCaption = platform::trMark("Abbrechen");
inline constexpr std::string_view kCheckQuestion =
    platform::trMark("Dieser Vorgang kann mitunter einige Minuten dauern. Prüfung starten?");
inline constexpr std::string_view kUnreachable = platform::trMark(
    "Proxy Server nicht erreichbar. Bitte stellen Sie ggf. zuerst eine Verbindung mit dem "
    "Internet her.");
inline constexpr std::string_view kFastest =
    platform::trMark("ist der momentan schnellste anonyme Proxy-Server");
inline constexpr std::string_view kListUpdated =
    platform::trMark("Die Serverliste wurde aktualisiert.");
inline constexpr std::string_view kListNotUpdated = platform::trMark(
    "Die Serverliste wurde nicht aktualisiert. Bitte stellen Sie ggf. eine Internetverbindung "
    "her.");
/// The "Anonym" column of a proxy that passed the check.
inline constexpr std::string_view kAnonymYes = platform::trMark("Ja");
inline constexpr std::string_view kAnonymNo = platform::trMark("Nein");

// Columns of lvProxy (1-based, as ListItem::columnText counts them).
inline constexpr std::size_t kColHost = 1, kColPort = 2, kColAnswer = 3, kColAnonym = 4;

/// The text with every character outside "0" to "9" removed.
std::string OnlyChars(std::string_view text);

class frmOptionenProxy final : public FormBase {
  public:
    frmOptionenProxy();

    std::shared_ptr<platform::ui::Label> lblAuswahl, lblManuell, lblIP, lblPort, lblDownload,
        lblDownloadIP, lblDownloadPort;
    std::shared_ptr<platform::ui::ListView> lvProxy;
    std::shared_ptr<platform::ui::TextBox> txtIP, txtPort, txtDownloadIP, txtDownloadPort;
    std::shared_ptr<platform::ui::CommandButton> cmdCheck, cmdProxyTest, cmdLoadServer, cmdOK,
        cmdCan;

    /// How one proxy is tested: KXChecker without a result window; tests
    /// put a stand-in here.
    std::function<std::string(const std::string& proxy, bool& anonymous, std::int32_t seconds)>
        checker;

    /// Fills the list from the local list file, or fetches the list when
    /// there is none. Lines that hold no proxy are skipped and named in a
    /// message; the list's tool tip tells the row count.
    void LoadProxy();
    /// The selected rows other than "[Keine Auswahl]".
    std::size_t GetSelected() const;

    /// cmdLoadServer: fetches the maker's list into the local file.
    void loadServer();
    /// cmdCheck: tests every row; clicking again while it runs cancels.
    void checkAll();
    /// cmdOK; false when the dialog stays open.
    bool save();

  protected:
    void onLoad() override;

  private:
    void onListKey(std::int16_t& keyCode);
    void rewriteList(bool keepOnlyAnonymous);
    void finishCheck();
    void enableButtons(bool on, bool withCheck);
};

/// The dialog modally, as the settings dialog opens it.
void ShowOptionenProxy();

}  // namespace kx::anonymity
