#pragma once
// The boundary of every public operation: the work's errors become the
// operation's failing status, so nothing reaches the host as an exception.
#include <exception>
#include <string>
#include <string_view>
#include <type_traits>

#include "core/automation.hpp"

namespace kx {

/// The runtime's "Internal error", for failures that have no number of their own.
inline constexpr std::int32_t kInternalError = 51;

template <typename F>
auto guarded(std::string_view operation, F&& work) -> Ret<std::invoke_result_t<F>> {
    try {
        if constexpr (std::is_void_v<std::invoke_result_t<F>>) {
            work();
            return {};
        } else {
            return work();
        }
    } catch (const platform::RuntimeError& e) {
        return std::unexpected(AutomationError{e.number, e.description});
    } catch (const std::exception& e) {
        return std::unexpected(
            AutomationError{kInternalError, std::string(operation) + ": " + e.what()});
    }
}

}  // namespace kx
