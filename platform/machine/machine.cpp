#include "platform/machine/machine.hpp"

#include <cctype>
#include <stdexcept>

#include "platform/machine/machine_internals.hpp"

namespace kx::platform {
namespace fs = std::filesystem;
using detail::kProfilesRoot;

namespace {

thread_local Machine* tCurrentMachine = nullptr;

}  // namespace
Machine::Machine(fs::path prefix, MachineConfig config, std::unique_ptr<Registry> registry)
    : prefix_(std::move(prefix)), config_(std::move(config)), registry_(std::move(registry)) {}

Machine::~Machine() {
    // A scope must not outlive its machine, but a host that forgets to unbind
    // should not leave a dangling pointer behind for later calls either.
    if (tCurrentMachine == this)
        tCurrentMachine = nullptr;
}

const Drive* Machine::drive(char letter) const {
    const char up = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    for (const auto& d : config_.drives) {
        if (d.letter == up)
            return &d;
    }
    return nullptr;
}

std::string Machine::userProfile() const {
    return std::string(kProfilesRoot) + "\\" + config_.userName;
}

std::string Machine::endpoint(std::string_view name) const {
    for (const auto& [key, url] : config_.endpoints) {
        if (winEqualNoCase(key, name))
            return url;
    }
    return {};
}

// ---- the thread's machine ---------------------------------------------------

Machine& currentMachine() {
    if (tCurrentMachine == nullptr) {
        throw std::logic_error("no machine is bound to this thread (use a MachineScope)");
    }
    return *tCurrentMachine;
}

bool hasCurrentMachine() {
    return tCurrentMachine != nullptr;
}

MachineScope::MachineScope(Machine& machine) : previous_(tCurrentMachine) {
    tCurrentMachine = &machine;
}

MachineScope::~MachineScope() {
    tCurrentMachine = previous_;
}

}  // namespace kx::platform
