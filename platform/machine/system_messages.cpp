// The system's message texts; see system_messages.hpp.
#include "platform/machine/system_messages.hpp"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/runtime/translation.hpp"

namespace kx::platform {
namespace {

struct Message {
    DWORD id;
    std::string_view text;
};

// The codes the machine's services answer, as a German Windows words them;
// translated where they are handed out.
constexpr Message kMessages[] = {
    {0, trMark("Der Vorgang wurde erfolgreich beendet.")},
    {1, trMark("Unzulässige Funktion.")},
    {2, trMark("Das System kann die angegebene Datei nicht finden.")},
    {3, trMark("Das System kann den angegebenen Pfad nicht finden.")},
    {5, trMark("Zugriff verweigert")},
    {6, trMark("Das Handle ist ungültig.")},
    {8, trMark("Nicht genügend Speicher verfügbar, um diesen Befehl zu verarbeiten.")},
    {14, trMark("Für diesen Vorgang ist nicht genügend Speicher verfügbar.")},
    {21, trMark("Das Gerät ist nicht bereit.")},
    {29, trMark("Das System kann nicht auf das angegebene Gerät schreiben.")},
    {30, trMark("Das System kann nicht von dem angegebenen Gerät lesen.")},
    {32, trMark("Der Prozess kann nicht auf die Datei zugreifen, da sie von einem anderen Prozess "
                "verwendet wird.")},
    {87, trMark("Falscher Parameter.")},
    {112, trMark("Auf dem Datenträger ist nicht genügend Speicherplatz vorhanden.")},
    {123,
     trMark("Die Syntax für den Dateinamen, Verzeichnisnamen oder die Datenträgerbezeichnung ist "
            "falsch.")},
    {183, trMark("Eine Datei kann nicht erstellt werden, wenn sie bereits vorhanden ist.")},
};

}  // namespace

DWORD FormatMessageA(DWORD flags, const void*, DWORD messageId, DWORD, char* buffer, DWORD size,
                     void*) {
    if ((flags & FORMAT_MESSAGE_FROM_SYSTEM) == 0 || buffer == nullptr || size == 0)
        return 0;
    const auto* found = std::find_if(std::begin(kMessages), std::end(kMessages),
                                     [&](const Message& m) { return m.id == messageId; });
    if (found == std::end(kMessages))
        return 0;
    // In the user's language, as a Windows of that language words it.
    const std::string text = std::string(tr(found->text)) + "\r\n";
    const auto n = static_cast<DWORD>(std::min<std::size_t>(text.size(), size - 1));
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return n;
}

}  // namespace kx::platform
