// Dial-up networking over the machine's phone book and connection table;
// see dialup.hpp.
#include "platform/network/dialup.hpp"

#include <fcntl.h>
#include <sys/file.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <expected>
#include <optional>
#include <string>
#include <vector>

#include "platform/files/files.hpp"
#include "platform/files/fs_fd.hpp"
#include "platform/files/ini.hpp"
#include "platform/machine/shell_folders.hpp"
#include "platform/runtime/text.hpp"
#include "platform/runtime/translation.hpp"

namespace kx::platform {
namespace {

constexpr std::string_view kPhoneBookBelowAppData =
    "\\Microsoft\\Network\\Connections\\Pbk\\rasphone.pbk";
constexpr const char* kConnectionFile = "rasconn.ini";
constexpr const char* kConnectionLock = "rasconn.lock";
constexpr std::string_view kTableSection = "Table";
constexpr std::string_view kDefaultDeviceType = "modem";
// Connection handles start here, so that no handle is 0 or looks like a count.
constexpr DWORD kFirstHandle = 0x10001;

bool systemFromVersionFive(const Machine& machine) {
    const auto& v = machine.config().version;
    return v.platform == 2 && v.major >= 5;
}

bool entryNameSizeAccepted(const Machine& machine, DWORD size) {
    if (systemFromVersionFive(machine))
        return size == rasentryname::kSizeWithPhoneBook || size == rasentryname::kSize;
    return size == rasentryname::kSize || size == rasentryname::kSizeShortName;
}

DWORD systemEntrySize(const Machine& machine) {
    return systemFromVersionFive(machine) ? rasentry::kSizeXP : rasentry::kSizeFirst;
}

DWORD readDword(const std::byte* at) {
    DWORD value = 0;
    std::memcpy(&value, at, sizeof value);
    return value;
}

void putDword(std::byte* record, std::size_t offset, DWORD value) {
    std::memcpy(record + offset, &value, sizeof value);
}

// A text cut to the field's bytes less its NUL, never inside a character.
void putText(std::byte* record, std::size_t offset, std::size_t bytes, std::string_view text) {
    std::size_t n = std::min(text.size(), bytes - 1);
    while (n > 0 && n < text.size() && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    std::memcpy(record + offset, text.data(), n);
    record[offset + n] = std::byte{0};
}

DWORD numberOf(std::string_view text) {
    text = vbTrim(text);
    DWORD value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

bool named(const char* text) {
    return text != nullptr && *text != '\0';
}

struct PhoneBook {
    std::string path;
    bool allUsers = false;
    IniFile entries;
};

// The phone book asked for; a missing default book is an empty one.
std::expected<PhoneBook, DWORD> openPhoneBook(Machine& machine, const char* phoneBook) {
    PhoneBook book;
    const std::string fallback = defaultPhoneBook(machine);
    // cppcheck-suppress nullPointer ; named() is false for a null pointer
    book.path = named(phoneBook) ? std::string(phoneBook) : fallback;
    book.allUsers = !fallback.empty() && winEqualNoCase(book.path, fallback);
    if (book.path.empty())
        return book;
    auto text = files::readAll(machine, book.path);
    if (!text) {
        if (text.error().code == Error::NotFound || text.error().code == Error::PathNotFound)
            return book.allUsers ? std::expected<PhoneBook, DWORD>(std::move(book))
                                 : std::unexpected(ERROR_CANNOT_OPEN_PHONEBOOK);
        return std::unexpected(ERROR_CANNOT_LOAD_PHONEBOOK);
    }
    // Older systems wrote the book in the single-byte code page.
    book.entries = IniFile::parse(isValidUtf8(*text) ? *text : fromCp1252(*text));
    return book;
}

// The entry's section name as the book spells it, if it is there.
std::optional<std::string> findEntry(const PhoneBook& book, std::string_view name) {
    for (auto& section : book.entries.sections())
        if (winEqualNoCase(section, name))
            return section;
    return std::nullopt;
}

// ---- the connection table ---------------------------------------------------

struct Connection {
    DWORD handle = 0;
    std::string entry;
    std::string phoneBook;
    std::string deviceType;
    std::string deviceName;
};

// The machine's active connections, held under an exclusive lock for the
// object's lifetime, so two processes dialing at once cannot lose a record.
class ConnectionTable {
  public:
    explicit ConnectionTable(Machine& machine)
        : file_(machine.prefix() / kConnectionFile),
          lock_(::open((machine.prefix() / kConnectionLock).c_str(), O_RDWR | O_CREAT | O_CLOEXEC,
                       0644)) {
        if (!lock_.valid() || ::flock(lock_.get(), LOCK_EX) != 0) {
            usable_ = false;
            return;
        }
        if (auto loaded = IniFile::load(file_))
            table_ = std::move(*loaded);
        else
            usable_ = loaded.error().code == 2;  // no table yet: no connections
    }

    bool usable() const { return usable_; }

    std::vector<Connection> connections() const {
        std::vector<Connection> out;
        for (const auto& section : table_.sections()) {
            if (winEqualNoCase(section, kTableSection))
                continue;
            Connection c;
            c.handle = numberOf(section);
            if (c.handle == 0)
                continue;
            c.entry = table_.get(section, "Entry", "");
            c.phoneBook = table_.get(section, "PhoneBook", "");
            c.deviceType = table_.get(section, "DeviceType", "");
            c.deviceName = table_.get(section, "DeviceName", "");
            out.push_back(std::move(c));
        }
        return out;
    }

    DWORD add(const Connection& c) {
        DWORD handle =
            std::max(numberOf(table_.get(kTableSection, "NextHandle", "")), kFirstHandle);
        const std::string section = std::to_string(handle);
        table_.set(kTableSection, "NextHandle", std::to_string(handle + 1));
        table_.set(section, "Entry", c.entry);
        table_.set(section, "PhoneBook", c.phoneBook);
        table_.set(section, "DeviceType", c.deviceType);
        table_.set(section, "DeviceName", c.deviceName);
        return handle;
    }

    bool remove(DWORD handle) { return table_.removeSection(std::to_string(handle)); }

    bool save() const { return table_.save(file_).has_value(); }

  private:
    std::filesystem::path file_;
    fsfd::UniqueFd lock_;
    IniFile table_;
    bool usable_ = true;
};

// ---- error texts ------------------------------------------------------------

struct RasMessage {
    std::uint32_t code;
    std::string_view text;
};

constexpr RasMessage kRasMessages[] = {
    {600, trMark("Ein Vorgang ist noch nicht abgeschlossen.")},
    {601, trMark("Die ermittelte Anschlusskennung ist ungültig.")},
    {603, trMark("Der Puffer für die Daten ist zu klein.")},
    {608, trMark("Das angegebene Gerät ist nicht vorhanden.")},
    {610, trMark("Der angegebene Puffer ist ungültig.")},
    {621, trMark("Das Telefonbuch kann nicht geöffnet werden.")},
    {622, trMark("Das Telefonbuch kann nicht geladen werden.")},
    {623, trMark("Der Telefonbucheintrag für diese Verbindung wurde nicht gefunden.")},
    {624, trMark("Die Telefonbuchdatei kann nicht geschrieben werden.")},
    {625, trMark("Das Telefonbuch enthält ungültige Informationen.")},
    {632, trMark("Die Strukturgröße ist falsch.")},
    {668, trMark("Die Verbindung wurde beendet.")},
};

}  // namespace

std::string defaultPhoneBook(Machine& machine) {
    const std::string common = specialFolderPath(machine, CSIDL_COMMON_APPDATA);
    return common.empty() ? std::string() : common + std::string(kPhoneBookBelowAppData);
}

DWORD RasEnumEntriesA(const char*, const char* phoneBook, std::byte* buffer, DWORD* cb,
                      DWORD* entries) {
    if (cb == nullptr || entries == nullptr)
        return static_cast<DWORD>(ERROR_INVALID_PARAMETER);
    Machine& machine = currentMachine();
    DWORD recordSize =
        systemFromVersionFive(machine) ? rasentryname::kSizeWithPhoneBook : rasentryname::kSize;
    if (buffer != nullptr) {
        if (*cb < sizeof(DWORD))
            return ERROR_INVALID_SIZE;
        recordSize = readDword(buffer);
    }
    if (!entryNameSizeAccepted(machine, recordSize))
        return ERROR_INVALID_SIZE;
    auto book = openPhoneBook(machine, phoneBook);
    if (!book)
        return book.error();
    const auto names = book->entries.sections();
    const auto needed = static_cast<DWORD>(names.size() * recordSize);
    *entries = static_cast<DWORD>(names.size());
    if (buffer == nullptr || *cb < needed) {
        *cb = needed;
        return ERROR_BUFFER_TOO_SMALL;
    }
    std::memset(buffer, 0, needed);
    const std::size_t nameBytes = recordSize == rasentryname::kSizeShortName
                                      ? rasentryname::kShortNameBytes
                                      : rasentryname::kNameBytes;
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::byte* record = buffer + i * recordSize;
        putDword(record, 0, recordSize);
        putText(record, rasentryname::kName, nameBytes, names[i]);
        if (recordSize == rasentryname::kSizeWithPhoneBook) {
            putDword(record, rasentryname::kFlags, book->allUsers ? rasentryname::kAllUsers : 0);
            putText(record, rasentryname::kPhoneBook, rasentryname::kPhoneBookBytes, book->path);
        }
    }
    *cb = needed;
    return 0;
}

DWORD RasGetEntryPropertiesA(const char* phoneBook, const char* entryName, std::byte* entryBuffer,
                             DWORD* entrySize, std::byte*, DWORD* deviceInfoSize) {
    if (entrySize == nullptr)
        return static_cast<DWORD>(ERROR_INVALID_PARAMETER);
    Machine& machine = currentMachine();
    if (deviceInfoSize != nullptr)
        *deviceInfoSize = 0;
    DWORD form = systemEntrySize(machine);
    if (entryBuffer != nullptr && *entrySize >= sizeof(DWORD)) {
        form = readDword(entryBuffer);
        if ((form != rasentry::kSizeFirst && form != rasentry::kSizeXP) ||
            form > systemEntrySize(machine))
            return ERROR_INVALID_SIZE;
    }
    std::string section;
    PhoneBook book;
    if (named(entryName)) {
        auto opened = openPhoneBook(machine, phoneBook);
        if (!opened)
            return opened.error();
        book = std::move(*opened);
        auto found = findEntry(book, entryName);
        if (!found)
            return ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
        section = std::move(*found);
    }
    if (entryBuffer == nullptr || *entrySize < form) {
        *entrySize = form;
        return ERROR_BUFFER_TOO_SMALL;
    }
    // Without an entry the answer is the record of a new entry.
    const auto value = [&](std::string_view key, std::string_view fallback = "") {
        return section.empty() ? std::string(fallback) : book.entries.get(section, key, fallback);
    };
    std::memset(entryBuffer, 0, form);
    putDword(entryBuffer, 0, form);
    putDword(entryBuffer, rasentry::kCountryId, numberOf(value("CountryID")));
    putDword(entryBuffer, rasentry::kCountryCode, numberOf(value("CountryCode")));
    putText(entryBuffer, rasentry::kAreaCode, rasentry::kAreaCodeBytes, value("AreaCode"));
    putText(entryBuffer, rasentry::kLocalPhoneNumber, rasentry::kLocalPhoneNumberBytes,
            value("PhoneNumber"));
    putText(entryBuffer, rasentry::kDeviceType, rasentry::kDeviceTypeBytes,
            value("DeviceType", kDefaultDeviceType));
    putText(entryBuffer, rasentry::kDeviceName, rasentry::deviceNameBytes(form), value("Device"));
    *entrySize = form;
    return 0;
}

DWORD RasEnumConnectionsA(std::byte* buffer, DWORD* cb, DWORD* connections) {
    if (cb == nullptr || connections == nullptr)
        return static_cast<DWORD>(ERROR_INVALID_PARAMETER);
    if (buffer != nullptr && (*cb < sizeof(DWORD) || readDword(buffer) != rasconn::kSize))
        return ERROR_INVALID_SIZE;
    ConnectionTable table(currentMachine());
    const auto active = table.usable() ? table.connections() : std::vector<Connection>{};
    const auto needed = static_cast<DWORD>(active.size() * rasconn::kSize);
    *connections = static_cast<DWORD>(active.size());
    if (buffer == nullptr || *cb < needed) {
        *cb = needed;
        return ERROR_BUFFER_TOO_SMALL;
    }
    std::memset(buffer, 0, needed);
    for (std::size_t i = 0; i < active.size(); ++i) {
        std::byte* record = buffer + i * rasconn::kSize;
        putDword(record, 0, rasconn::kSize);
        putDword(record, rasconn::kHandle, active[i].handle);
        putText(record, rasconn::kEntryName, rasentryname::kNameBytes, active[i].entry);
        putText(record, rasconn::kDeviceType, rasentry::kDeviceTypeBytes, active[i].deviceType);
        putText(record, rasconn::kDeviceName, 129, active[i].deviceName);
    }
    *cb = needed;
    return 0;
}

DWORD RasDeleteEntryA(const char* phoneBook, const char* entryName) {
    if (!named(entryName))
        return ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
    Machine& machine = currentMachine();
    auto book = openPhoneBook(machine, phoneBook);
    if (!book)
        return book.error();
    auto section = findEntry(*book, entryName);
    if (!section)
        return ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
    if (book->allUsers && !machine.config().administrator)
        return static_cast<DWORD>(ERROR_ACCESS_DENIED);
    book->entries.removeSection(*section);
    auto written = files::replaceContent(machine, book->path, book->entries.text());
    if (!written)
        return written.error().code == Error::AccessDenied ? static_cast<DWORD>(ERROR_ACCESS_DENIED)
                                                           : ERROR_CANNOT_WRITE_PHONEBOOK;
    return 0;
}

DWORD RasGetErrorStringA(std::uint32_t code, char* buffer, DWORD size) {
    if (buffer == nullptr || size == 0)
        return static_cast<DWORD>(ERROR_INVALID_PARAMETER);
    const auto* found = std::find_if(std::begin(kRasMessages), std::end(kRasMessages),
                                     [&](const RasMessage& m) { return m.code == code; });
    if (found == std::end(kRasMessages))
        return static_cast<DWORD>(ERROR_INVALID_PARAMETER);
    const auto text = tr(found->text);
    if (text.size() + 1 > size)
        return ERROR_BUFFER_TOO_SMALL;
    std::memcpy(buffer, text.data(), text.size());
    buffer[text.size()] = '\0';
    return 0;
}

bool InternetGetConnectedState(DWORD* flags, DWORD) {
    ConnectionTable table(currentMachine());
    const bool dialled = table.usable() && !table.connections().empty();
    if (flags != nullptr)
        *flags = INTERNET_RAS_INSTALLED |
                 (dialled ? INTERNET_CONNECTION_MODEM : INTERNET_CONNECTION_LAN);
    return true;
}

DWORD InternetDial(std::int32_t, const char* connectoid, DWORD flags, std::uintptr_t* connection,
                   DWORD) {
    if (connection == nullptr)
        return static_cast<DWORD>(ERROR_INVALID_PARAMETER);
    *connection = 0;
    constexpr DWORD kKnownFlags = INTERNET_AUTODIAL_FORCE_ONLINE |
                                  INTERNET_AUTODIAL_FORCE_UNATTENDED | INTERNET_DIAL_UNATTENDED;
    if ((flags & ~kKnownFlags) != 0)
        return static_cast<DWORD>(ERROR_INVALID_PARAMETER);
    if (!named(connectoid))
        return ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
    Machine& machine = currentMachine();
    auto book = openPhoneBook(machine, nullptr);
    if (!book)
        return book.error();
    auto section = findEntry(*book, connectoid);
    if (!section)
        return ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;

    ConnectionTable table(machine);
    if (!table.usable())
        return static_cast<DWORD>(ERROR_ACCESS_DENIED);
    for (const auto& c : table.connections()) {
        if (winEqualNoCase(c.entry, *section)) {
            *connection = c.handle;
            return 0;
        }
    }
    Connection c;
    c.entry = *section;
    c.phoneBook = book->path;
    c.deviceType = book->entries.get(*section, "DeviceType", kDefaultDeviceType);
    c.deviceName = book->entries.get(*section, "Device", "");
    const DWORD handle = table.add(c);
    if (!table.save())
        return static_cast<DWORD>(ERROR_ACCESS_DENIED);
    *connection = handle;
    return 0;
}

DWORD InternetHangUp(std::uintptr_t connection, DWORD) {
    if (connection == 0 || connection > 0xFFFFFFFFu)
        return ERROR_NO_CONNECTION;
    ConnectionTable table(currentMachine());
    if (!table.usable() || !table.remove(static_cast<DWORD>(connection)))
        return ERROR_NO_CONNECTION;
    return table.save() ? 0 : static_cast<DWORD>(ERROR_ACCESS_DENIED);
}

}  // namespace kx::platform
