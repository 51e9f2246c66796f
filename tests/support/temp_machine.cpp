#include "temp_machine.hpp"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>
#include <vector>

#include <unistd.h>

namespace kx::test {
namespace fs = std::filesystem;

namespace {

fs::path makeTempRoot() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        (base != nullptr && *base != '\0' ? std::string(base) : std::string("/tmp")) +
        "/kx-test-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (::mkdtemp(buf.data()) == nullptr) {
        throw std::runtime_error("cannot make a temporary folder from " + pattern);
    }
    return fs::path(buf.data());
}

// Tests make folders unreadable or files read-only; give the owner back
// the rights removal needs. Links are not followed (their targets may lie
// outside the temporary folder).
void makeRemovable(const fs::path& root) {
    std::error_code ec;
    fs::permissions(root, fs::perms::owner_all, fs::perm_options::add, ec);
    for (auto it = fs::recursive_directory_iterator(
             root, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_symlink(ec))
            continue;
        if (it->is_directory(ec)) {
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
        }
    }
}

}  // namespace

TempMachine::TempMachine(const platform::MachineConfig& config)
    : root_(makeTempRoot()), prefix_(root_ / "machine") {
    auto created = platform::Machine::create(prefix_, config);
    if (!created) {
        std::error_code ec;
        fs::remove_all(root_, ec);
        throw std::runtime_error("cannot create a test machine: " + created.error().message);
    }
    machine_ = std::move(*created);
    scope_.emplace(*machine_);
}

TempMachine::~TempMachine() {
    scope_.reset();
    machine_.reset();
    makeRemovable(root_);
    std::error_code ec;
    fs::remove_all(root_, ec);
}

fs::path TempMachine::host(std::string_view windowsPath) const {
    auto p = machine_->resolve(windowsPath);
    if (!p)
        throw std::runtime_error("does not resolve: " + std::string(windowsPath));
    return *p;
}

void TempMachine::writeHostFile(const fs::path& file, std::string_view content) const {
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out)
        throw std::runtime_error("cannot write " + file.string());
}

std::string TempMachine::readHostFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void TempMachine::reopen() {
    scope_.reset();
    machine_.reset();
    auto opened = platform::Machine::open(prefix_);
    if (!opened)
        throw std::runtime_error("cannot reopen the test machine: " + opened.error().message);
    machine_ = std::move(*opened);
    scope_.emplace(*machine_);
}

}  // namespace kx::test
