#include "platform/runtime/system_reason.hpp"

#include <cerrno>
#include <cstring>
#include <string_view>
#include <utility>

#include "platform/runtime/translation.hpp"

namespace kx::platform {
namespace {

constexpr std::pair<int, std::string_view> kReasons[] = {
    {ENOENT, trMark("Datei oder Verzeichnis nicht gefunden")},
    {EACCES, trMark("Keine Berechtigung")},
    {EPERM, trMark("Die Operation ist nicht erlaubt")},
    {EEXIST, trMark("Die Datei existiert bereits")},
    {ENOTDIR, trMark("Ist kein Verzeichnis")},
    {EISDIR, trMark("Ist ein Verzeichnis")},
    {ENOTEMPTY, trMark("Das Verzeichnis ist nicht leer")},
    {ENOSPC, trMark("Auf dem Gerät ist kein Speicherplatz mehr frei")},
    {EDQUOT, trMark("Das Speicherkontingent ist überschritten")},
    {EFBIG, trMark("Die Datei ist zu groß")},
    {EROFS, trMark("Das Dateisystem ist nur lesbar")},
    {EBUSY, trMark("Das Gerät oder die Ressource ist belegt")},
    {ETXTBSY, trMark("Die Programmdatei ist in Benutzung")},
    {ENAMETOOLONG, trMark("Der Dateiname ist zu lang")},
    {ELOOP, trMark("Zu viele Ebenen symbolischer Verknüpfungen")},
    {EXDEV, trMark("Ungültige Verknüpfung über Gerätegrenzen hinweg")},
    {EIO, trMark("Ein-/Ausgabefehler")},
    {EMFILE, trMark("Zu viele offene Dateien")},
    {EINVAL, trMark("Ungültiges Argument")},
    {ENXIO, trMark("Kein solches Gerät oder keine solche Adresse")},
    {ECONNREFUSED, trMark("Verbindungsaufbau abgelehnt")},
    {ETIMEDOUT, trMark("Die Wartezeit für die Verbindung ist abgelaufen")},
};

}  // namespace

std::string systemReason(int err) {
    for (const auto& [number, german] : kReasons)
        if (number == err)
            return std::string(tr(german));
    return std::strerror(err);
}

std::string systemReason(const std::error_code& ec) {
    if (ec.category() == std::generic_category() || ec.category() == std::system_category())
        return systemReason(ec.value());
    return ec.message();
}

}  // namespace kx::platform
