#pragma once
// HOME pointed at a throw-away folder for the host processes a test starts,
// and put back afterwards.
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

namespace kx::test {

class HomeScope {
  public:
    explicit HomeScope(const std::filesystem::path& home) {
        if (const char* old = std::getenv("HOME"))
            old_ = old;
        ::setenv("HOME", home.c_str(), 1);
    }
    ~HomeScope() {
        if (old_)
            ::setenv("HOME", old_->c_str(), 1);
        else
            ::unsetenv("HOME");
    }
    HomeScope(const HomeScope&) = delete;
    HomeScope& operator=(const HomeScope&) = delete;

  private:
    std::optional<std::string> old_;
};

}  // namespace kx::test
