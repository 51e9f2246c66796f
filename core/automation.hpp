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
