#include "platform/registry/registry_rules.hpp"

#include <cstring>
#include <string>

#include "platform/runtime/text.hpp"

namespace kx::platform {
using namespace detail;
namespace detail {
namespace {

constexpr DWORD kGenericRead = 0x80000000u;
constexpr DWORD kGenericWrite = 0x40000000u;
constexpr DWORD kGenericExecute = 0x20000000u;
constexpr DWORD kGenericAll = 0x10000000u;

}  // namespace
DWORD mapGenericAccess(DWORD sam) {
    DWORD out = sam & ~(kGenericRead | kGenericWrite | kGenericExecute | kGenericAll);
    if (sam & (kGenericRead | kGenericExecute))
        out |= KEY_READ;
    if (sam & kGenericWrite)
        out |= KEY_WRITE;
    if (sam & kGenericAll)
        out |= KEY_ALL_ACCESS;
    return out;
}

std::vector<std::string_view> splitPath(std::string_view path) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        auto end = path.find('\\', start);
        if (end == std::string_view::npos)
            end = path.size();
        if (end > start)
            parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

std::size_t countChars(std::string_view text) {
    std::size_t n = 0, pos = 0;
    while (pos < text.size()) {
        nextCodePoint(text, pos);
        ++n;
    }
    return n;
}

// Copies a name into a caller's char buffer with Win32's capacity rules.
LONG putName(std::string_view name, char* buffer, DWORD* cch) {
    if (static_cast<std::uint64_t>(name.size()) + 1 > *cch)
        return ERROR_MORE_DATA;
    if (!name.empty())
        std::memcpy(buffer, name.data(), name.size());
    buffer[name.size()] = '\0';
    *cch = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

// Fills type/data/size the way RegQueryValueExA does.
LONG putData(DWORD storedType, std::string_view bytes, DWORD* type, std::uint8_t* data,
             DWORD* cbData) {
    if (type)
        *type = storedType;
    const auto size = static_cast<DWORD>(bytes.size());
    if (!data) {
        if (cbData)
            *cbData = size;
        return ERROR_SUCCESS;
    }
    if (*cbData < size) {
        *cbData = size;
        return ERROR_MORE_DATA;
    }
    if (size)
        std::memcpy(data, bytes.data(), size);
    *cbData = size;
    return ERROR_SUCCESS;
}
}  // namespace detail

HKEY rootFromName(std::string_view name) {
    const std::string lc = vbLCase(name);
    static constexpr std::array<std::string_view, 4> kShort = {"hkcr", "hkcu", "hklm", "hku"};
    for (std::size_t i = 0; i < kRoots.size(); ++i) {
        if (lc == kShort[i] || lc == vbLCase(kRootNames[i]))
            return kRoots[i];
    }
    return 0;
}

std::string_view rootName(HKEY root) {
    if (!isRoot(root))
        return {};
    return kRootNames[root - HKEY_CLASSES_ROOT];
}

}  // namespace kx::platform
