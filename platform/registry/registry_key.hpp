#pragma once
// A registry key handle that is closed on every path.
#include <utility>

#include "platform/registry/registry.hpp"

namespace kx::platform {

class RegKey {
  public:
    RegKey(Registry& registry, HKEY key) : registry_(&registry), key_(key) {}
    ~RegKey() { close(); }
    RegKey(RegKey&& other) noexcept
        : registry_(other.registry_), key_(std::exchange(other.key_, 0)) {}
    RegKey& operator=(RegKey&&) = delete;
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;

    HKEY get() const { return key_; }
    explicit operator bool() const { return key_ != 0; }

    /// Closes now and answers RegCloseKey's status (0 when nothing was open).
    LONG close() {
        return key_ != 0 ? registry_->RegCloseKey(std::exchange(key_, 0)) : ERROR_SUCCESS;
    }

  private:
    Registry* registry_;
    HKEY key_;
};

}  // namespace kx::platform
