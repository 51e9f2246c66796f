#pragma once
// Dial-up networking over the machine: the remote-access calls the engine
// makes (RasEnumEntriesA, RasGetEntryPropertiesA, RasEnumConnectionsA,
// RasDeleteEntryA, RasGetErrorStringA) and the dial-up part of the internet
// library (InternetGetConnectedState, InternetDial, InternetHangUp), with the
// record layouts, size checks and error codes of their Win32 originals.
//
// The phone book is the file Windows keeps for all users,
// <All Users>\Anwendungsdaten\Microsoft\Network\Connections\Pbk\rasphone.pbk:
// one "[entry name]" section per entry. Of its keys these are read:
// PhoneNumber (the local number), AreaCode, CountryCode, CountryID, Device
// (the device's name) and DeviceType (default "modem").
//
// There is no modem. A dial of an entry of the phone book succeeds at once
// and stays an active connection until it is hung up; the active connections
// belong to the machine, not to a process, and live in <prefix>/rasconn.ini,
// which every process of the machine reads and writes under a lock
// (<prefix>/rasconn.lock).
//
// The calls work on the thread's current machine; without one bound they
// throw std::logic_error, as every call of the machine does.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/machine/machine.hpp"
#include "platform/registry/registry.hpp"

namespace kx::platform {

// Error codes of the remote-access service.
inline constexpr DWORD ERROR_BUFFER_TOO_SMALL = 603;
inline constexpr DWORD ERROR_CANNOT_OPEN_PHONEBOOK = 621;
inline constexpr DWORD ERROR_CANNOT_LOAD_PHONEBOOK = 622;
inline constexpr DWORD ERROR_CANNOT_FIND_PHONEBOOK_ENTRY = 623;
inline constexpr DWORD ERROR_CANNOT_WRITE_PHONEBOOK = 624;
inline constexpr DWORD ERROR_INVALID_SIZE = 632;
inline constexpr DWORD ERROR_NO_CONNECTION = 668;

/// The record sizes of an entry name (RASENTRYNAMEA): the Windows 2000/XP
/// form with flags and phone book, the form with a 256-character name, and
/// the first form with a 20-character name.
namespace rasentryname {
inline constexpr DWORD kSizeWithPhoneBook = 532;
inline constexpr DWORD kSize = 264;
inline constexpr DWORD kSizeShortName = 28;
inline constexpr std::size_t kName = 4;  // 257 bytes (21 in the short form)
inline constexpr std::size_t kNameBytes = 257;
inline constexpr std::size_t kShortNameBytes = 21;
inline constexpr std::size_t kFlags = 264;      // 32 bits
inline constexpr std::size_t kPhoneBook = 268;  // 260 bytes
inline constexpr std::size_t kPhoneBookBytes = 260;
/// The flag of an entry of the all-users phone book (REN_AllUsers).
inline constexpr DWORD kAllUsers = 1;
}  // namespace rasentryname

/// The entry record (RASENTRYA): the fields up to the device name lie at the
/// same places in every form. The device name holds 32 characters in the
/// 1,672-byte form and 128 in the larger ones.
namespace rasentry {
inline constexpr DWORD kSizeFirst = 1672;  // Windows 95/NT 4
inline constexpr DWORD kSizeXP = 2884;     // Windows XP
inline constexpr std::size_t kOptions = 4;
inline constexpr std::size_t kCountryId = 8;
inline constexpr std::size_t kCountryCode = 12;
inline constexpr std::size_t kAreaCode = 16;  // 11 bytes
inline constexpr std::size_t kAreaCodeBytes = 11;
inline constexpr std::size_t kLocalPhoneNumber = 27;  // 129 bytes
inline constexpr std::size_t kLocalPhoneNumberBytes = 129;
inline constexpr std::size_t kAlternateOffset = 156;  // 0: no alternate numbers
inline constexpr std::size_t kIpAddress = 160;
inline constexpr std::size_t kDns = 164;
inline constexpr std::size_t kDnsAlt = 168;
inline constexpr std::size_t kWins = 172;
inline constexpr std::size_t kWinsAlt = 176;
inline constexpr std::size_t kFrameSize = 180;
inline constexpr std::size_t kNetProtocols = 184;
inline constexpr std::size_t kFramingProtocol = 188;
inline constexpr std::size_t kScript = 192;  // 260 bytes each
inline constexpr std::size_t kAutodialDll = 452;
inline constexpr std::size_t kAutodialFunc = 712;
inline constexpr std::size_t kPathBytes = 260;
inline constexpr std::size_t kDeviceType = 972;  // 17 bytes
inline constexpr std::size_t kDeviceTypeBytes = 17;
inline constexpr std::size_t kDeviceName = 989;  // 33 or 129 bytes
inline constexpr std::size_t deviceNameBytes(DWORD recordSize) {
    return recordSize > kSizeFirst ? 129 : 33;
}
}  // namespace rasentry

/// The connection record (RASCONNA) in its 412-byte form.
namespace rasconn {
inline constexpr DWORD kSize = 412;
inline constexpr std::size_t kHandle = 4;
inline constexpr std::size_t kEntryName = 8;     // 257 bytes
inline constexpr std::size_t kDeviceType = 265;  // 17 bytes
inline constexpr std::size_t kDeviceName = 282;  // 129 bytes
}  // namespace rasconn

/// The Windows path of the default (all users') phone book; "" when the
/// machine names no common application-data folder.
std::string defaultPhoneBook(Machine& machine);

/// Lists the entries of a phone book (null or "" for the default) into
/// `buffer`, records of the size written in the first record's first 32
/// bits. The machine's system takes the 532- and 264-byte forms when it is
/// of the NT family from version 5 on, else the 264- and 28-byte forms; any
/// other size answers ERROR_INVALID_SIZE. When `*cb` is too small for all
/// entries the answer is ERROR_BUFFER_TOO_SMALL with the bytes needed in
/// `*cb` and the entry count in `*entries`. A missing default phone book
/// has no entries; a named one that is missing answers
/// ERROR_CANNOT_OPEN_PHONEBOOK. Names longer than a record holds are cut.
DWORD RasEnumEntriesA(const char* reserved, const char* phoneBook, std::byte* buffer, DWORD* cb,
                      DWORD* entries);

/// The properties of an entry. With `entryBuffer` null (or `*entrySize` too
/// small) the answer is ERROR_BUFFER_TOO_SMALL with the size needed in
/// `*entrySize`; with no entry name that size is the system's own record
/// size (2,884 bytes from Windows XP on, 1,672 before). The record's first
/// 32 bits must hold a form no larger than the system's own, else
/// ERROR_INVALID_SIZE. An unknown entry answers
/// ERROR_CANNOT_FIND_PHONEBOOK_ENTRY. No device information is given:
/// `*deviceInfoSize` becomes 0.
DWORD RasGetEntryPropertiesA(const char* phoneBook, const char* entryName, std::byte* entryBuffer,
                             DWORD* entrySize, std::byte* deviceInfo, DWORD* deviceInfoSize);

/// The active connections in 412-byte records (other sizes answer
/// ERROR_INVALID_SIZE), with ERROR_BUFFER_TOO_SMALL and the bytes needed
/// when they do not fit.
DWORD RasEnumConnectionsA(std::byte* buffer, DWORD* cb, DWORD* connections);

/// Deletes an entry from a phone book (null or "" for the default). An
/// unknown entry answers ERROR_CANNOT_FIND_PHONEBOOK_ENTRY; a user who is
/// not an administrator may not change the all-users phone book
/// (ERROR_ACCESS_DENIED), nor may anyone a read-only one; any other failed
/// write answers ERROR_CANNOT_WRITE_PHONEBOOK and leaves the book as it was.
DWORD RasDeleteEntryA(const char* phoneBook, const char* entryName);

/// The text of a remote-access error code (600 to 799) in the user's language
/// into `buffer`, NUL-ended. ERROR_INVALID_PARAMETER for a code it has no text
/// for or a null buffer; ERROR_BUFFER_TOO_SMALL when the text does not fit.
DWORD RasGetErrorStringA(std::uint32_t code, char* buffer, DWORD size);

// InternetGetConnectedState flags.
inline constexpr DWORD INTERNET_CONNECTION_MODEM = 0x01;
inline constexpr DWORD INTERNET_CONNECTION_LAN = 0x02;
inline constexpr DWORD INTERNET_RAS_INSTALLED = 0x10;
// InternetDial flags.
inline constexpr DWORD INTERNET_AUTODIAL_FORCE_ONLINE = 0x1;
inline constexpr DWORD INTERNET_AUTODIAL_FORCE_UNATTENDED = 0x2;
inline constexpr DWORD INTERNET_DIAL_UNATTENDED = 0x8000;

/// The machine is always on its network: true, with MODEM set while a
/// dial-up connection is active and LAN otherwise, and RAS_INSTALLED.
bool InternetGetConnectedState(DWORD* flags, DWORD reserved);

/// Dials an entry of the default phone book; `*connection` receives the
/// connection's handle (0 on failure). An entry that is connected already
/// answers its present handle. ERROR_CANNOT_FIND_PHONEBOOK_ENTRY for a name
/// that is not in the phone book (the empty name included: no one is there
/// to pick an entry), ERROR_INVALID_PARAMETER for unknown flags.
DWORD InternetDial(std::int32_t parent, const char* connectoid, DWORD flags,
                   std::uintptr_t* connection, DWORD reserved);

/// Hangs up a connection that InternetDial (or RasEnumConnectionsA) named;
/// ERROR_NO_CONNECTION when no such connection is active.
DWORD InternetHangUp(std::uintptr_t connection, DWORD reserved);

}  // namespace kx::platform
