#pragma once
// Services a thread binds for a while (dialogs, the shell, the view, the
// cursor, the clipboard, the socket layer): one slot per service and thread,
// and a scope that binds an implementation and puts the previous one back.
#include <utility>

namespace kx::platform {

/// The calling thread's bound implementation of `Service`, null when none.
template <typename Service>
Service*& boundService() {
    thread_local Service* current = nullptr;
    return current;
}

template <typename Service>
class BindingScope {
  public:
    explicit BindingScope(Service& service)
        : previous_(std::exchange(boundService<Service>(), &service)) {}
    ~BindingScope() { boundService<Service>() = previous_; }
    BindingScope(const BindingScope&) = delete;
    BindingScope& operator=(const BindingScope&) = delete;

  private:
    Service* previous_;
};

}  // namespace kx::platform
