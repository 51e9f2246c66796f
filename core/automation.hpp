#pragma once
// How operations of the public class answer: a value, or a failing status
// with the error number and description the automation caller receives.
#include <cstdint>
#include <expected>
#include <string>
#include <string_view>

#include "platform/runtime/variant.hpp"

namespace kx {

using platform::Collection;
using platform::CollectionRef;
using platform::Object;
using platform::ObjectRef;
using platform::Variant;

struct AutomationError {
    std::int32_t number = 0;
    std::string description;
    bool operator==(const AutomationError&) const = default;
};

template <typename T>
using Ret = std::expected<T, AutomationError>;

/// E_NOTIMPL, the status of operations whose feature is not built yet.
inline constexpr std::int32_t kNotBuiltYet = static_cast<std::int32_t>(0x80004001u);

/// The failing status of an operation that exists on the surface but whose
/// feature is not built yet; it never pretends to work.
inline std::unexpected<AutomationError> notBuiltYet(std::string_view operation) {
    return std::unexpected(AutomationError{
        kNotBuiltYet, std::string(operation) + " is not built yet in this version"});
}

// Automation types of the interface.
using Long = std::int32_t;
using Integer = std::int16_t;
using Byte = std::uint8_t;

enum class enumCryptIt : std::int32_t { Decrypt = 0, Encrypt = 1 };

/// Show-window code of a started program.
enum class VbAppWinStyle : std::int16_t {
    vbHide = 0,
    vbNormalFocus = 1,
    vbMinimizedFocus = 2,
    vbMaximizedFocus = 3,
    vbNormalNoFocus = 4,
    vbMinimizedNoFocus = 6,
};

}  // namespace kx
