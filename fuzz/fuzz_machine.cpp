#include "fuzz/fuzz_machine.hpp"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <system_error>
#include <vector>

#include <unistd.h>

namespace kx::fuzz {
namespace fs = std::filesystem;

namespace {

struct Holder {
    fs::path root;
    std::unique_ptr<platform::Machine> machine;
    std::optional<platform::MachineScope> scope;

    Holder() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = (base != nullptr && *base != '\0' ? base : "/tmp");
        pattern += "/kx-fuzz-XXXXXX";
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        if (::mkdtemp(buf.data()) == nullptr) {
            std::perror("kx-fuzz: mkdtemp");
            std::abort();
        }
        root = buf.data();
        auto created = platform::Machine::create(root / "machine");
        if (!created) {
            std::fprintf(stderr, "kx-fuzz: no machine: %s\n", created.error().message.c_str());
            std::abort();
        }
        machine = std::move(*created);
        scope.emplace(*machine);
        fs::create_directories(root / "machine" / "drive_c" / "fuzz");
    }
    ~Holder() {
        scope.reset();
        machine.reset();
        std::error_code ec;
        fs::remove_all(root, ec);
    }
};

Holder& holder() {
    static Holder h;
    return h;
}

fs::path hostPath(std::string_view windowsPath) {
    auto path = holder().machine->resolve(windowsPath);
    if (!path) {
        std::fprintf(stderr, "kx-fuzz: %.*s does not resolve\n",
                     static_cast<int>(windowsPath.size()), windowsPath.data());
        std::abort();
    }
    return *path;
}

}  // namespace

platform::Machine& fuzzMachine() {
    return *holder().machine;
}

void writeMachineFile(std::string_view windowsPath, std::string_view bytes) {
    std::ofstream out(hostPath(windowsPath), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string readMachineFile(std::string_view windowsPath) {
    std::ifstream in(hostPath(windowsPath), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace kx::fuzz
