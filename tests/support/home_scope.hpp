#pragma once
// An environment variable set for the host processes a test starts (HOME at
// a throw-away folder, LANGUAGE), and put back afterwards.
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

namespace kx::test {

class EnvScope {
  public:
    EnvScope(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name))
            old_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~EnvScope() {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }
    EnvScope(const EnvScope&) = delete;
    EnvScope& operator=(const EnvScope&) = delete;

  private:
    const char* name_;
    std::optional<std::string> old_;
};

class HomeScope : public EnvScope {
  public:
    explicit HomeScope(const std::filesystem::path& home) : EnvScope("HOME", home.string()) {}
};

}  // namespace kx::test
