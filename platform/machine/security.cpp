#include "platform/machine/security.hpp"

#include <cstddef>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <vector>

#include "platform/machine/machine.hpp"

namespace kx::platform::security {
namespace {

thread_local DWORD tLastError = 0;

BOOL fail(DWORD code) {
    tLastError = code;
    return 0;
}

constexpr HANDLE kCurrentProcess = static_cast<HANDLE>(-1);

struct Token {
    DWORD access = 0;
    std::vector<std::string> groups;  // as machine.ini spells them
};

// Handles are process-wide, as Windows handles are: a token opened on one
// thread may be closed on another.
struct TokenTable {
    std::mutex mutex;
    std::map<HANDLE, Token> tokens;
    HANDLE next = 0x1004;
};

TokenTable& table() {
    static TokenTable t;
    return t;
}

// The layout GetTokenInformation writes: the header, the entries, then the
// identifiers the entries point at.
constexpr std::size_t kEntriesOffset = offsetof(TOKEN_GROUPS, Groups);

std::size_t groupsSize(std::size_t count) {
    return kEntriesOffset + count * sizeof(SID_AND_ATTRIBUTES) + count * sizeof(SID);
}

bool parseNumber(std::string_view digits, int base, std::uint64_t limit, std::uint64_t& out) {
    if (digits.empty())
        return false;
    std::uint64_t value = 0;
    for (const char c : digits) {
        unsigned d = 0;
        if (c >= '0' && c <= '9') {
            d = static_cast<unsigned>(c - '0');
        } else if (base == 16 && c >= 'a' && c <= 'f') {
            d = static_cast<unsigned>(c - 'a' + 10);
        } else if (base == 16 && c >= 'A' && c <= 'F') {
            d = static_cast<unsigned>(c - 'A' + 10);
        } else {
            return false;
        }
        // Checked before multiplying, so a long run of digits cannot wrap.
        if (value > (limit - d) / static_cast<unsigned>(base))
            return false;
        value = value * static_cast<unsigned>(base) + d;
    }
    out = value;
    return true;
}

}  // namespace

DWORD GetLastError() {
    return tLastError;
}

HANDLE GetCurrentProcess() {
    return kCurrentProcess;
}

BOOL OpenProcessToken(HANDLE process, DWORD desiredAccess, HANDLE* token) {
    if (token == nullptr)
        return fail(static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    *token = 0;
    if (process != kCurrentProcess || !hasCurrentMachine()) {
        return fail(static_cast<DWORD>(ERROR_INVALID_HANDLE));
    }
    Token t{desiredAccess, currentMachine().config().tokenGroups};
    auto& tt = table();
    std::lock_guard lock(tt.mutex);
    const HANDLE h = tt.next;
    tt.next += 4;
    tt.tokens.emplace(h, std::move(t));
    *token = h;
    tLastError = 0;
    return 1;
}

BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS infoClass, void* buffer,
                         DWORD bufferLength, DWORD* returnLength) {
    if (returnLength == nullptr)
        return fail(static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    *returnLength = 0;
    std::vector<std::string> groups;
    {
        auto& tt = table();
        std::lock_guard lock(tt.mutex);
        const auto it = tt.tokens.find(token);
        if (it == tt.tokens.end())
            return fail(static_cast<DWORD>(ERROR_INVALID_HANDLE));
        if ((it->second.access & TOKEN_QUERY) == 0) {
            return fail(static_cast<DWORD>(ERROR_ACCESS_DENIED));
        }
        groups = it->second.groups;
    }
    if (infoClass != TokenGroups)
        return fail(static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    const std::size_t needed = groupsSize(groups.size());
    if (needed > 0xFFFFFFFFu)
        return fail(static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    *returnLength = static_cast<DWORD>(needed);
    if (buffer == nullptr || bufferLength < needed)
        return fail(ERROR_INSUFFICIENT_BUFFER);
    if (reinterpret_cast<std::uintptr_t>(buffer) % alignof(TOKEN_GROUPS) != 0) {
        return fail(ERROR_NOACCESS);
    }

    auto* bytes = static_cast<std::byte*>(buffer);
    // cppcheck-suppress legacyUninitvar ; placement new constructs the header here
    auto* header = ::new (bytes) TOKEN_GROUPS;
    header->GroupCount = static_cast<DWORD>(groups.size());
    std::byte* sidArea = bytes + kEntriesOffset + groups.size() * sizeof(SID_AND_ATTRIBUTES);
    for (std::size_t i = 0; i < groups.size(); ++i) {
        // An identifier machine.ini garbled stays in its place as an invalid
        // one: dropping it would move every later group up a position.
        // cppcheck-suppress legacyUninitvar ; placement new constructs the identifier here
        auto* sid = ::new (sidArea + i * sizeof(SID)) SID(parseSid(groups[i]).value_or(SID{}));
        ::new (bytes + kEntriesOffset + i * sizeof(SID_AND_ATTRIBUTES)) SID_AND_ATTRIBUTES{
            sid, SE_GROUP_MANDATORY | SE_GROUP_ENABLED_BY_DEFAULT | SE_GROUP_ENABLED};
    }
    tLastError = 0;
    return 1;
}

BOOL CloseHandle(HANDLE handle) {
    auto& tt = table();
    std::lock_guard lock(tt.mutex);
    if (tt.tokens.erase(handle) == 0)
        return fail(static_cast<DWORD>(ERROR_INVALID_HANDLE));
    tLastError = 0;
    return 1;
}

BOOL AllocateAndInitializeSid(const SID_IDENTIFIER_AUTHORITY* authority, BYTE subAuthorityCount,
                              DWORD sub0, DWORD sub1, DWORD sub2, DWORD sub3, DWORD sub4,
                              DWORD sub5, DWORD sub6, DWORD sub7, PSID* sid) {
    if (sid == nullptr)
        return fail(static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    *sid = nullptr;
    if (authority == nullptr || subAuthorityCount > 8) {
        return fail(static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
    auto made = std::make_unique<SID>();
    made->Revision = SID_REVISION;
    made->SubAuthorityCount = subAuthorityCount;
    made->IdentifierAuthority = *authority;
    const DWORD subs[8] = {sub0, sub1, sub2, sub3, sub4, sub5, sub6, sub7};
    for (BYTE i = 0; i < subAuthorityCount; ++i) made->SubAuthority[i] = subs[i];
    *sid = made.release();  // FreeSid takes it back
    tLastError = 0;
    return 1;
}

void* FreeSid(PSID sid) {
    std::unique_ptr<SID> owned(sid);
    return nullptr;
}

BOOL IsValidSid(const SID* sid) {
    return sid != nullptr && sid->Revision == SID_REVISION &&
                   sid->SubAuthorityCount <= SID_MAX_SUB_AUTHORITIES
               ? 1
               : 0;
}

BOOL EqualSid(const SID* a, const SID* b) {
    if (!IsValidSid(a) || !IsValidSid(b))
        return fail(ERROR_INVALID_SID);
    tLastError = 0;
    if (a->SubAuthorityCount != b->SubAuthorityCount)
        return 0;
    if (std::memcmp(a->IdentifierAuthority.Value, b->IdentifierAuthority.Value, 6) != 0)
        return 0;
    for (BYTE i = 0; i < a->SubAuthorityCount; ++i) {
        if (a->SubAuthority[i] != b->SubAuthority[i])
            return 0;
    }
    return 1;
}

std::optional<SID> parseSid(std::string_view text) {
    std::vector<std::string_view> parts;
    std::size_t pos = 0;
    while (true) {
        const auto dash = text.find('-', pos);
        parts.push_back(text.substr(pos, dash == std::string_view::npos ? dash : dash - pos));
        if (dash == std::string_view::npos)
            break;
        pos = dash + 1;
    }
    // "S", revision, authority, then the sub-authorities.
    if (parts.size() < 3 || (parts[0] != "S" && parts[0] != "s"))
        return std::nullopt;
    if (parts.size() - 3 > SID_MAX_SUB_AUTHORITIES)
        return std::nullopt;
    std::uint64_t revision = 0;
    if (!parseNumber(parts[1], 10, 255, revision) || revision != SID_REVISION)
        return std::nullopt;

    std::uint64_t authority = 0;
    const std::uint64_t maxAuthority = (std::uint64_t{1} << 48) - 1;
    const std::string_view a = parts[2];
    const bool hex = a.size() > 2 && a[0] == '0' && (a[1] == 'x' || a[1] == 'X');
    if (!parseNumber(hex ? a.substr(2) : a, hex ? 16 : 10, maxAuthority, authority)) {
        return std::nullopt;
    }
    SID sid;
    sid.Revision = SID_REVISION;
    sid.SubAuthorityCount = static_cast<BYTE>(parts.size() - 3);
    for (int i = 0; i < 6; ++i) {
        sid.IdentifierAuthority.Value[i] = static_cast<BYTE>(authority >> (8 * (5 - i)));
    }
    for (std::size_t i = 3; i < parts.size(); ++i) {
        std::uint64_t sub = 0;
        if (!parseNumber(parts[i], 10, 0xFFFFFFFFu, sub))
            return std::nullopt;
        sid.SubAuthority[i - 3] = static_cast<DWORD>(sub);
    }
    return sid;
}

std::string sidToString(const SID& sid) {
    if (!IsValidSid(&sid))
        return {};
    std::uint64_t authority = 0;
    for (const BYTE b : sid.IdentifierAuthority.Value) authority = (authority << 8) | b;
    std::string out = "S-1-";
    if (authority <= 0xFFFFFFFFu) {
        out += std::to_string(authority);
    } else {
        // Windows writes authorities that need more than 32 bits in hexadecimal.
        static constexpr char kDigits[] = "0123456789ABCDEF";
        out += "0x";
        for (int shift = 44; shift >= 0; shift -= 4) out += kDigits[(authority >> shift) & 0xF];
    }
    for (BYTE i = 0; i < sid.SubAuthorityCount; ++i) {
        out += '-';
        out += std::to_string(sid.SubAuthority[i]);
    }
    return out;
}

}  // namespace kx::platform::security
