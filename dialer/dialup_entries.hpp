#pragma once
// The dial-up entries and connections as the engine sees them: the entry
// list of a phone book, an entry's properties, the names of the active
// connections, hanging up, and the text of a dial-up error code. Failing
// calls of the dial-up service leave the answers short or empty and are not
// reported: the dialer check then finds nothing and says nothing.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/controls.hpp"

namespace kx::dialer {

/// One dial-up entry as the enumeration found it.
struct DialupEntry {
    std::string name;
    std::uint16_t flags = 0;  // the low half of the entry's flags (1: all users)
    std::string phoneBook;
};

/// What an entry's record holds, in the record's order.
struct EntryProperties {
    std::uint32_t options = 0;
    std::uint32_t countryId = 0;
    std::uint32_t countryCode = 0;
    std::string areaCode;
    std::string localPhoneNumber;
    std::string alternateNumbers;  // NUL-separated, as the record lists them
    std::uint32_t ipAddress = 0, dns = 0, dnsAlt = 0, wins = 0, winsAlt = 0;
    std::uint32_t frameSize = 0;
    std::uint32_t netProtocols = 0;
    std::uint32_t framingProtocol = 0;
    std::string script;
    std::string autodialDll;
    std::string autodialFunc;
    std::string deviceType;
    std::string deviceName;
};

/// Fills the thread's entry list from a phone book ("" for the default) and
/// answers the number of entries. On a system that reports "Windows NT" the
/// list stays empty. The record size is probed (532, then 264, then 28
/// bytes); entries of the smaller forms carry the phone book asked for.
std::size_t enumerateEntries(std::string_view phoneBook = {});

/// The list the last enumeration of the thread filled.
const std::vector<DialupEntry>& dialupEntries();

/// The names of the entries of the default phone book, enumerated anew.
std::vector<std::string> dialupEntryNames();

/// The properties of an entry of the default phone book; nothing when the
/// service cannot tell them.
std::optional<EntryProperties> entryProperties(std::string_view entryName);

/// Adds every entry name of a new enumeration to the list (without clearing
/// it) and selects the first item when the list is not empty.
void fillEntryList(platform::ui::ListView& list);

/// Adds the entry name of every active dial-up connection to the list.
void addActiveConnections(platform::ui::ListView& list);

/// The entry names of the active dial-up connections.
std::vector<std::string> activeConnectionNames();

/// With `all`, hangs up every active dial-up connection; otherwise the
/// active connection of the named entry. Nothing happens when the system
/// reports no connection.
void hangUp(bool all, std::string_view entryName = {});

/// Dials an entry: unattended when `autoStart`, else forced online (the
/// system may ask). True when a connection handle came back.
bool RASConnect(std::int32_t hwnd, std::string_view entryName, bool autoStart);

/// The text of a dial-up error code: the dial-up service's text from 601
/// on, the system's message text below.
std::string dialupErrorText(std::uint32_t code);

}  // namespace kx::dialer
