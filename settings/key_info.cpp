#include "settings/key_info.hpp"

#include <array>
#include <utility>

#include "platform/runtime/text.hpp"
#include "platform/runtime/translation.hpp"

namespace kx::settings {
namespace {

using namespace keys;
using platform::tr;
using platform::trf;
using platform::trMark;

struct Row {
    const SettingKey* key;
    KeyInfo info;
};

const auto& table() {
    static const auto rows = std::to_array<Row>({
        {&Cookies, {trMark("Cookies und gespeicherte Website-Daten löschen"), {}}},
        {&History, {trMark("eingegebene Adressen und den Verlauf der Browser löschen"), {}}},
        {&TempFiles, {trMark("temporäre Dateien löschen"), {}}},
        {&INetTempFiles, {trMark("temporäre Internet-Dateien löschen"), {}}},
        {&Recent, {trMark("das Dokumentenmenü leeren (zuletzt benutzte Dokumente)"), {}}},
        {&Trashcan, {trMark("den Papierkorb leeren"), {}}},
        {&DownloadedProgramFiles, {trMark("die heruntergeladenen Programmdateien bereinigen"), {}}},
        {&AutoFillOff,
         {trMark("das AutoVervollständigen der Browser für Formulare und Kennwörter abschalten"),
          {}}},
        {&KaazaaSearch, {trMark("die Liste der KaZaA-Suchbegriffe leeren"), {}}},
        {&MessengerOff, {trMark("den Windows-Messenger-Dienst abschalten"), {}}},
        {&ClearPageFile, {trMark("die Auslagerungsdatei beim Beenden leeren"), {}}},
        {&Junk, {trMark("überflüssige Dateien wöchentlich entfernen"), {}}},
        {&AntiSpy, {trMark("die AntiSpy-Einstellungen von Windows XP aktivieren"), {}}},
        {&AntiVirus, {trMark("täglicher Virencheck"), {}}},
        {&NoFlash, {trMark("Flash-Animationen im Browser blockieren"), {}}},
        {&IEToolbar, {trMark("die Browser-Leiste anzeigen"), {}}},
        {&Autostart, {trMark("mit Windows starten"), {}}},
        {&AutostartIE, {trMark("automatisch reinigen, wenn der Browser beendet wird"), {}}},
        {&NoStatus, {trMark("keine Statusanzeige beim Reinigen und Scannen"), {}}},
        {&Bosskey,
         {trMark("Boss-Key: Windows-Taste + C schließt alle Browser-Fenster und reinigt"), {}}},
        {&SecurityMode,
         {trMark("Sicherheitsmodus beim Löschen, wie ihn der Einstellungsdialog zeigt"), {}}},
        {&Security, {trMark("Sicherheitsmodus beim Löschen, wie ihn das Löschen liest"), {}}},
        {&Encrypt, {trMark("Dateien vor dem Löschen verschlüsseln"), {}}},
        {&DeleteIt, {trMark("Dateien vor dem Löschen überschreiben"), {}}},
        {&Gutmann, {trMark("nach der Gutmann-Methode überschreiben (35 Durchgänge)"), {}}},
        {&IEPopSound, {trMark("einen Ton abspielen, wenn ein Popup-Fenster blockiert wurde"), {}}},
        {&DeleteN,
         {trMark("wie oft eine Datei vor dem Löschen überschrieben wird"), ranges::DeleteN}},
        {&DeleteValue,
         {trMark("der Bytewert, der beim Überschreiben geschrieben wird"), ranges::DeleteValue}},
        {&NProxys,
         {trMark("über wie viele anonyme Proxy-Server eine Sitzung geleitet wird"),
          ranges::NProxys}},
        {&DialerCheckTime,
         {trMark("Abstand der Dialer-Prüfung in Sekunden (0: aus)"), ranges::DialerCheckTime}},
        {&BrowserIsIE, {trMark("Internet Explorer ist der Browser für anonyme Sitzungen"), {}}},
        {&BrowserIsOpera, {trMark("Opera ist der Browser für anonyme Sitzungen"), {}}},
        {&BrowserIsMozilla, {trMark("Mozilla ist der Browser für anonyme Sitzungen"), {}}},
        {&BrowserIsMozillaFireFox, {trMark("Firefox ist der Browser für anonyme Sitzungen"), {}}},
        {&BrowserIsNetscape, {trMark("Netscape ist der Browser für anonyme Sitzungen"), {}}},
        {&BrowserIsAOL, {trMark("AOL ist der Browser für anonyme Sitzungen"), {}}},
        {&IEPopKillerOff, {trMark("Popup-Blocker aus"), {}}},
        {&IEPopKillerStep1,
         {trMark("Popup-Blocker Stufe 1: neue Fenster nur bei gedrückter Strg-Taste"), {}}},
        {&IEPopKillerStep2, {trMark("Popup-Blocker Stufe 2: keine neuen Fenster"), {}}},
        {&NoDialerNumbers,
         {trMark("Rufnummern, die die Dialer-Prüfung erlaubt, durch ';' getrennt"), {}}},
        {&AnonymIP, {trMark("ein von Hand gewählter Proxy-Server"), {}}},
        {&AnonymPort, {trMark("sein Port"), {}}},
        {&Proxylist, {trMark("eine von Hand gewählte Proxy-Liste"), {}}},
        {&DownLoadProxy, {trMark("der Proxy-Server für Downloads"), {}}},
        {&DownLoadPort, {trMark("sein Port"), {}}},
        {&AnoSession, {trMark("1, solange eine anonyme Sitzung läuft"), {}}},
        {&AnoSafeSession, {trMark("1, solange eine anonyme sichere Sitzung läuft"), {}}},
        {&SafeSession, {trMark("1, solange eine sichere Sitzung läuft"), {}}},
        {&CloseSessions, {trMark("vor dem Schließen der Browser nicht mehr fragen"), {}}},
        {&JunkCleaned, {trMark("die wöchentliche Bereinigung ist gelaufen"), {}}},
        {&JunkCleanedDate, {trMark("Tag der letzten wöchentlichen Bereinigung"), {}}},
        {&AntiVirDate, {trMark("Tag des letzten Virenchecks"), {}}},
        {&StatFiles, {trMark("seit dem Startdatum gelöschte Dateien"), {}}},
        {&StatMB, {trMark("seit dem Startdatum freigegebene Megabyte"), {}}},
        {&StatStartDate, {trMark("Beginn der Statistik"), {}}},
        {&PopupBlocked, {trMark("bisher blockierte Popup-Fenster"), {}}},
        {&PageTimeout,
         {trMark("Sekunden, die das Laden der Seite eines Web-Formulars dauern darf"), {}}},
        {&SignInSite,
         {trMark("Adressteil von Anmeldeseiten, deren Schaltfläche nie geklickt wird"), {}}},
    });
    return rows;
}

bool isDate(std::string_view text) {
    // dd.mm.yy
    if (text.size() != 8 || text[2] != '.' || text[5] != '.')
        return false;
    for (const std::size_t i : {0U, 1U, 3U, 4U, 6U, 7U})
        if (text[i] < '0' || text[i] > '9')
            return false;
    return true;
}

bool isNumber(std::string_view text) {
    const auto trimmed = platform::vbTrim(text);
    if (trimmed.empty())
        return false;
    std::size_t digits = 0;
    for (std::size_t i = 0; i < trimmed.size(); ++i) {
        const char c = trimmed[i];
        if (c >= '0' && c <= '9')
            ++digits;
        else if (!((c == '-' && i == 0) || c == '.' || c == ','))
            return false;
    }
    return digits > 0;
}

}  // namespace

KeyInfo infoOf(const SettingKey& key) {
    for (const auto& row : table())
        if (row.key == &key)
            return row.info;
    // The position of the favourites window and its columns.
    if (key.section == FavoX.section)
        return {trMark("Lage und Größe des Fensters der sicheren Favoriten, seine Spaltenbreiten"),
                {}};
    return {};
}

std::string valuesOf(const SettingKey& key) {
    switch (key.form) {
        case Form::Check:
        case Form::Flag:
            return std::string(tr("0 oder 1"));
        case Form::Choice:
            return std::string(tr("True oder False"));
        case Form::Number:
            if (const auto range = infoOf(key).range)
                return trf("ganze Zahl {1} bis {2}",
                           {std::to_string(range->low), std::to_string(range->high)});
            return std::string(tr("ganze Zahl"));
        case Form::Decimal:
            return std::string(tr("Zahl"));
        case Form::Date:
            return std::string(tr("Datum tt.mm.jj"));
        case Form::DateTime:
            return std::string(tr("Datum und Uhrzeit"));
        case Form::Text:
            break;
    }
    return std::string(tr("Text"));
}

std::optional<std::string> refusal(const SettingKey& key, std::string_view text) {
    bool fits = true;
    switch (key.form) {
        case Form::Check:
        case Form::Flag:
            fits = text == "0" || text == "1";
            break;
        case Form::Choice:
            fits = text == "True" || text == "False" || text == "Wahr" || text == "Falsch";
            break;
        case Form::Number: {
            const auto n = platform::wholeNumber(text);
            const auto range = infoOf(key).range;
            fits = n && (!range || (*n >= range->low && *n <= range->high));
            break;
        }
        case Form::Decimal:
            fits = isNumber(text);
            break;
        case Form::Date:
            fits = text.empty() || isDate(text);
            break;
        case Form::DateTime:
        case Form::Text:
            break;
    }
    if (fits)
        return std::nullopt;
    return trf("{1} nimmt {2}; '{3}' ist nichts davon",
               {std::string(key.section) + "\\" + std::string(key.name), valuesOf(key), text});
}

}  // namespace kx::settings
