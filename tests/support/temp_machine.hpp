#pragma once
// A throw-away machine prefix for a test: made in a fresh temporary folder,
// bound to the calling thread for the fixture's lifetime, and removed with
// everything in it afterwards.
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/machine/machine.hpp"

namespace kx::test {

class TempMachine {
  public:
    /// Creates the prefix (throws std::runtime_error when that fails, which
    /// fails the test that asked for it) and binds it with a MachineScope.
    explicit TempMachine(
        const platform::MachineConfig& config = platform::MachineConfig::defaults());
    ~TempMachine();
    TempMachine(const TempMachine&) = delete;
    TempMachine& operator=(const TempMachine&) = delete;

    platform::Machine& machine() { return *machine_; }
    platform::Machine* operator->() { return machine_.get(); }

    /// The temporary folder holding the prefix (and room for things that
    /// must lie outside it, such as the targets of planted links).
    const std::filesystem::path& root() const { return root_; }
    /// <root>/machine
    const std::filesystem::path& prefix() const { return prefix_; }

    /// The host path of a Windows path; throws when it does not resolve.
    std::filesystem::path host(std::string_view windowsPath) const;

    /// Writes a host file (creating its folders), for setting up scenes.
    void writeHostFile(const std::filesystem::path& file, std::string_view content) const;
    /// Reads a host file whole; "" when it cannot be read.
    static std::string readHostFile(const std::filesystem::path& file);

    /// Closes the machine and opens the prefix again (a new process would).
    void reopen();

  private:
    std::filesystem::path root_;
    std::filesystem::path prefix_;
    std::unique_ptr<platform::Machine> machine_;
    std::optional<platform::MachineScope> scope_;
};

}  // namespace kx::test
