#pragma once
// The access token of the running process, in the shapes of the Win32
// security calls (OpenProcessToken, GetTokenInformation, AllocateAndInitializeSid,
// EqualSid, IsValidSid, FreeSid). The token's groups are the security
// identifiers machine.ini lists for the user ("S-1-1-0", "S-1-5-32-544", ...),
// in that order, so a test machine decides who is an administrator.
//
// The names live in their own namespace: HANDLE, CloseHandle and
// GetCurrentProcess are common Win32 names that other parts of platform/ may
// want with other meanings.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/registry/registry.hpp"

namespace kx::platform::security {

using BOOL = std::int32_t;
using BYTE = std::uint8_t;
using HANDLE = std::uintptr_t;
using DWORD = platform::DWORD;

// Last-error codes the calls leave behind, besides the registry's
// ERROR_INVALID_HANDLE (6), ERROR_ACCESS_DENIED (5) and ERROR_INVALID_PARAMETER (87).
inline constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
inline constexpr DWORD ERROR_INVALID_SID = 1337;
inline constexpr DWORD ERROR_NOACCESS = 998;  // a misaligned buffer

/// The access right a token must be opened with to be asked about its groups.
inline constexpr DWORD TOKEN_QUERY = 0x0008;

enum TOKEN_INFORMATION_CLASS : std::uint32_t {
    TokenUser = 1,
    TokenGroups = 2,
};

/// Attribute bits of a token group.
inline constexpr DWORD SE_GROUP_MANDATORY = 0x1;
inline constexpr DWORD SE_GROUP_ENABLED_BY_DEFAULT = 0x2;
inline constexpr DWORD SE_GROUP_ENABLED = 0x4;

struct SID_IDENTIFIER_AUTHORITY {
    BYTE Value[6];
};
inline constexpr SID_IDENTIFIER_AUTHORITY SECURITY_NT_AUTHORITY{{0, 0, 0, 0, 0, 5}};

inline constexpr BYTE SID_REVISION = 1;
inline constexpr BYTE SID_MAX_SUB_AUTHORITIES = 15;

// Well-known relative identifiers of the built-in administrators group.
inline constexpr DWORD SECURITY_BUILTIN_DOMAIN_RID = 0x20;
inline constexpr DWORD DOMAIN_ALIAS_RID_ADMINS = 0x220;

/// A security identifier. Room for the most sub-authorities a SID may have,
/// so that no reader ever indexes past the end of the record.
struct SID {
    BYTE Revision = 0;  // 0 marks an identifier that could not be read
    BYTE SubAuthorityCount = 0;
    SID_IDENTIFIER_AUTHORITY IdentifierAuthority{};
    DWORD SubAuthority[SID_MAX_SUB_AUTHORITIES]{};
};
using PSID = SID*;

struct SID_AND_ATTRIBUTES {
    PSID Sid;
    DWORD Attributes;
};

/// The answer to TokenGroups: the count, then that many entries; the
/// identifiers they point at lie in the same buffer behind the entries.
struct TOKEN_GROUPS {
    DWORD GroupCount;
    SID_AND_ATTRIBUTES Groups[];  // GroupCount entries
};

/// The calling thread's last error of the calls below.
DWORD GetLastError();

/// The pseudo handle of the running process.
HANDLE GetCurrentProcess();

/// Opens the running process's token on the thread's machine. Only the
/// pseudo handle of GetCurrentProcess is accepted (others: ERROR_INVALID_HANDLE);
/// FALSE without a bound machine or with a null out-pointer. The groups are
/// taken when the token opens; a later change to the machine does not show.
BOOL OpenProcessToken(HANDLE process, DWORD desiredAccess, HANDLE* token);

/// TokenGroups only (other classes: ERROR_INVALID_PARAMETER). With a buffer
/// too small (or none) answers FALSE, ERROR_INSUFFICIENT_BUFFER and the size
/// needed in *returnLength. The buffer must be aligned for TOKEN_GROUPS
/// (memory from new or malloc is); a misaligned one answers ERROR_NOACCESS.
/// A token opened without TOKEN_QUERY answers ERROR_ACCESS_DENIED. A group
/// whose text in machine.ini is no identifier keeps its place in the list
/// with an identifier IsValidSid refuses, so the order of the others holds.
BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS infoClass, void* buffer,
                         DWORD bufferLength, DWORD* returnLength);

/// Closes a token handle; FALSE (ERROR_INVALID_HANDLE) for anything else,
/// including a handle closed before.
BOOL CloseHandle(HANDLE handle);

/// Allocates an identifier with the authority and the first `subAuthorityCount`
/// of the eight sub-authorities; counts above 8 answer FALSE
/// (ERROR_INVALID_PARAMETER). The identifier must be released with FreeSid.
BOOL AllocateAndInitializeSid(const SID_IDENTIFIER_AUTHORITY* authority, BYTE subAuthorityCount,
                              DWORD sub0, DWORD sub1, DWORD sub2, DWORD sub3, DWORD sub4,
                              DWORD sub5, DWORD sub6, DWORD sub7, PSID* sid);

/// Releases an identifier of AllocateAndInitializeSid; null is fine. Answers null.
void* FreeSid(PSID sid);

/// True for a non-null identifier of revision 1 with at most 15 sub-authorities.
BOOL IsValidSid(const SID* sid);

/// True when both identifiers are valid and the same; FALSE with
/// ERROR_INVALID_SID when either is not valid.
BOOL EqualSid(const SID* a, const SID* b);

/// Owns an identifier of AllocateAndInitializeSid.
struct SidFreer {
    void operator()(SID* sid) const { FreeSid(sid); }
};
using UniqueSid = std::unique_ptr<SID, SidFreer>;

/// Closes a token handle at the end of a scope.
class TokenHandle {
  public:
    explicit TokenHandle(HANDLE handle = 0) : handle_(handle) {}
    ~TokenHandle() { reset(); }
    TokenHandle(const TokenHandle&) = delete;
    TokenHandle& operator=(const TokenHandle&) = delete;
    HANDLE get() const { return handle_; }
    HANDLE* out() {
        reset();
        return &handle_;
    }
    void reset() {
        if (handle_ != 0)
            CloseHandle(handle_);
        handle_ = 0;
    }

  private:
    HANDLE handle_;
};

/// "S-1-5-32-544" read into an identifier (the authority in decimal, or in
/// hexadecimal with "0x" as Windows writes large ones); nullopt for anything
/// else, including more than 15 sub-authorities and values out of range.
std::optional<SID> parseSid(std::string_view text);

/// The text form of a valid identifier; "" for an invalid one.
std::string sidToString(const SID& sid);

}  // namespace kx::platform::security
