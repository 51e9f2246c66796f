// Dial-up entries, properties, connections and error texts; see
// dialup_entries.hpp.
#include "dialer/dialup_entries.hpp"

#include <array>
#include <cstddef>
#include <cstring>

#include "platform/machine/system_messages.hpp"
#include "platform/network/dialup.hpp"
#include "platform/runtime/text.hpp"
#include "settings/system_info.hpp"

namespace kx::dialer {
namespace {

namespace pf = platform;
using Buffer = std::vector<std::byte>;

// The system buffers for error texts.
constexpr pf::DWORD kErrorTextBuffer = 512;
// Room for this many active connections.
constexpr std::size_t kConnectionRecords = 256;

std::vector<DialupEntry>& entryList() {
    thread_local std::vector<DialupEntry> list;
    return list;
}

bool isWindowsNT() {
    return settings::Betriebssystem() == "Windows NT";
}

void putDword(Buffer& buffer, std::size_t offset, pf::DWORD value) {
    if (offset + sizeof value <= buffer.size())
        std::memcpy(buffer.data() + offset, &value, sizeof value);
}

// Fields are read only inside the buffer: a short record gives empty fields
// rather than bytes from beyond it.
pf::DWORD dwordAt(const Buffer& buffer, std::size_t offset) {
    pf::DWORD value = 0;
    if (offset + sizeof value <= buffer.size())
        std::memcpy(&value, buffer.data() + offset, sizeof value);
    return value;
}

std::string textAt(const Buffer& buffer, std::size_t offset, std::size_t bytes) {
    if (offset >= buffer.size())
        return {};
    bytes = std::min(bytes, buffer.size() - offset);
    const char* start = reinterpret_cast<const char*>(buffer.data() + offset);
    return std::string(start, strnlen(start, bytes));
}

// The alternate numbers after the record: texts each ended by a NUL, the
// list ended by an empty one. Kept NUL-separated.
std::string alternatesAt(const Buffer& buffer, std::size_t offset) {
    std::string out;
    while (offset < buffer.size()) {
        std::string one = textAt(buffer, offset, buffer.size() - offset);
        if (one.empty())
            break;
        if (!out.empty())
            out += '\0';
        offset += one.size() + 1;
        out += std::move(one);
    }
    return out;
}

struct ActiveConnection {
    pf::DWORD handle = 0;
    std::string entryName;
};

std::vector<ActiveConnection> activeConnections() {
    Buffer buffer(pf::rasconn::kSize * kConnectionRecords);
    putDword(buffer, 0, pf::rasconn::kSize);
    auto cb = static_cast<pf::DWORD>(buffer.size());
    pf::DWORD count = 0;
    std::vector<ActiveConnection> out;
    if (pf::RasEnumConnectionsA(buffer.data(), &cb, &count) != 0)
        return out;
    for (std::size_t i = 0; i < count && i < kConnectionRecords; ++i) {
        const std::size_t record = i * pf::rasconn::kSize;
        out.push_back(
            {dwordAt(buffer, record + pf::rasconn::kHandle),
             textAt(buffer, record + pf::rasconn::kEntryName, pf::rasentryname::kNameBytes)});
    }
    return out;
}

}  // namespace

std::size_t enumerateEntries(std::string_view phoneBook) {
    auto& list = entryList();
    list.clear();
    if (isWindowsNT())
        return 0;
    const std::string book(phoneBook);
    const char* bookArg = book.empty() ? nullptr : book.c_str();

    // The systems differ in the record size they take: ask with one record
    // of each size until one is not refused for its size.
    pf::DWORD cb = 0;
    pf::DWORD count = 0;
    bool probed = false;
    for (const pf::DWORD size : {pf::rasentryname::kSizeWithPhoneBook, pf::rasentryname::kSize,
                                 pf::rasentryname::kSizeShortName}) {
        Buffer one(size);
        putDword(one, 0, size);
        cb = size;
        count = 0;
        const pf::DWORD rc = pf::RasEnumEntriesA(nullptr, bookArg, one.data(), &cb, &count);
        if (rc == pf::ERROR_INVALID_SIZE)
            continue;
        probed = rc == 0 || rc == pf::ERROR_BUFFER_TOO_SMALL;
        break;
    }
    if (!probed || count == 0)
        return 0;
    const pf::DWORD recordSize = cb / count;
    if (recordSize < pf::rasentryname::kSizeShortName ||
        recordSize > pf::rasentryname::kSizeWithPhoneBook)
        return 0;

    Buffer all(cb);
    putDword(all, 0, recordSize);
    if (pf::RasEnumEntriesA(nullptr, bookArg, all.data(), &cb, &count) != 0)
        return 0;
    const std::size_t nameBytes = recordSize == pf::rasentryname::kSizeShortName
                                      ? pf::rasentryname::kShortNameBytes
                                      : pf::rasentryname::kNameBytes;
    for (std::size_t i = 0; i < count && (i + 1) * recordSize <= all.size(); ++i) {
        const std::size_t record = i * recordSize;
        DialupEntry entry;
        entry.name = textAt(all, record + pf::rasentryname::kName, nameBytes);
        if (recordSize <= pf::rasentryname::kSize) {
            entry.phoneBook = book;
        } else {
            entry.flags = static_cast<std::uint16_t>(
                dwordAt(all, record + pf::rasentryname::kFlags) & 0xFFFFu);
            entry.phoneBook = textAt(all, record + pf::rasentryname::kPhoneBook,
                                     pf::rasentryname::kPhoneBookBytes);
        }
        list.push_back(std::move(entry));
    }
    return list.size();
}

const std::vector<DialupEntry>& dialupEntries() {
    return entryList();
}

std::vector<std::string> dialupEntryNames() {
    enumerateEntries();
    std::vector<std::string> names;
    for (const auto& entry : entryList()) names.push_back(entry.name);
    return names;
}

std::optional<EntryProperties> entryProperties(std::string_view entryName) {
    const std::string name(entryName);
    // The record size of the system first, then the size of this entry
    // (which counts its alternate numbers as well).
    pf::DWORD recordSize = 0;
    pf::RasGetEntryPropertiesA(nullptr, nullptr, nullptr, &recordSize, nullptr, nullptr);
    if (recordSize < sizeof(pf::DWORD))
        return std::nullopt;
    pf::DWORD entrySize = 0;
    if (pf::RasGetEntryPropertiesA(nullptr, name.c_str(), nullptr, &entrySize, nullptr, nullptr) !=
        pf::ERROR_BUFFER_TOO_SMALL)
        return std::nullopt;
    Buffer record(std::max(entrySize, recordSize));
    putDword(record, 0, recordSize);
    auto cb = static_cast<pf::DWORD>(record.size());
    if (pf::RasGetEntryPropertiesA(nullptr, name.c_str(), record.data(), &cb, nullptr, nullptr) !=
        0)
        return std::nullopt;

    namespace re = pf::rasentry;
    EntryProperties p;
    p.options = dwordAt(record, re::kOptions);
    p.countryId = dwordAt(record, re::kCountryId);
    p.countryCode = dwordAt(record, re::kCountryCode);
    p.areaCode = textAt(record, re::kAreaCode, re::kAreaCodeBytes);
    p.localPhoneNumber = textAt(record, re::kLocalPhoneNumber, re::kLocalPhoneNumberBytes);
    if (const pf::DWORD at = dwordAt(record, re::kAlternateOffset); at != 0)
        p.alternateNumbers = alternatesAt(record, at);
    p.ipAddress = dwordAt(record, re::kIpAddress);
    p.dns = dwordAt(record, re::kDns);
    p.dnsAlt = dwordAt(record, re::kDnsAlt);
    p.wins = dwordAt(record, re::kWins);
    p.winsAlt = dwordAt(record, re::kWinsAlt);
    p.frameSize = dwordAt(record, re::kFrameSize);
    p.netProtocols = dwordAt(record, re::kNetProtocols);
    p.framingProtocol = dwordAt(record, re::kFramingProtocol);
    p.script = textAt(record, re::kScript, re::kPathBytes);
    p.autodialDll = textAt(record, re::kAutodialDll, re::kPathBytes);
    p.autodialFunc = textAt(record, re::kAutodialFunc, re::kPathBytes);
    p.deviceType = textAt(record, re::kDeviceType, re::kDeviceTypeBytes);
    p.deviceName = textAt(record, re::kDeviceName, re::deviceNameBytes(recordSize));
    return p;
}

void fillEntryList(platform::ui::ListView& list) {
    enumerateEntries();
    for (const auto& entry : entryList()) list.add(entry.name);
    if (list.count() > 0)
        list.select(0);
}

std::vector<std::string> activeConnectionNames() {
    std::vector<std::string> names;
    for (auto& c : activeConnections()) names.push_back(std::move(c.entryName));
    return names;
}

void addActiveConnections(platform::ui::ListView& list) {
    for (auto& name : activeConnectionNames()) list.add(std::move(name));
}

void hangUp(bool all, std::string_view entryName) {
    pf::DWORD state = 0;
    if (!pf::InternetGetConnectedState(&state, 0))
        return;
    for (const auto& c : activeConnections()) {
        if (all || platform::winEqualNoCase(c.entryName, entryName))
            (void)pf::InternetHangUp(c.handle, 0);
    }
}

bool RASConnect(std::int32_t hwnd, std::string_view entryName, bool autoStart) {
    const std::string name(entryName);
    std::uintptr_t connection = 0;
    pf::InternetDial(
        hwnd, name.c_str(),
        autoStart ? pf::INTERNET_AUTODIAL_FORCE_UNATTENDED : pf::INTERNET_AUTODIAL_FORCE_ONLINE,
        &connection, 0);
    return connection != 0;
}

std::string dialupErrorText(std::uint32_t code) {
    std::array<char, kErrorTextBuffer> text{};
    if (code >= 601) {
        if (pf::RasGetErrorStringA(code, text.data(), kErrorTextBuffer) != 0)
            return {};
    } else {
        pf::FormatMessageA(pf::FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code, 0, text.data(),
                           kErrorTextBuffer, nullptr);
    }
    return std::string(text.data(), strnlen(text.data(), text.size()));
}

}  // namespace kx::dialer
