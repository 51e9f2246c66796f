#include "support/registry_dump.hpp"

namespace kx::test {
namespace {

using namespace kx::platform;

void dumpKey(Registry& reg, HKEY key, const std::string& path, std::string& out) {
    out += "[" + path + "]\n";
    for (DWORD i = 0;; ++i) {
        char name[512];
        std::uint8_t data[4096];
        DWORD cch = sizeof name, size = sizeof data, type = 0;
        if (reg.RegEnumValueA(key, i, name, &cch, nullptr, &type, data, &size) != 0)
            break;
        out += std::string(name, cch) + "=" + std::to_string(type) + ":" +
               std::string(reinterpret_cast<char*>(data), size) + "\n";
    }
    for (DWORD i = 0;; ++i) {
        char name[512];
        DWORD cch = sizeof name;
        if (reg.RegEnumKeyExA(key, i, name, &cch, nullptr, nullptr, nullptr, nullptr) != 0)
            break;
        HKEY h = 0;
        if (reg.RegOpenKeyExA(key, std::string(name, cch), 0, KEY_READ, &h) == 0) {
            dumpKey(reg, h, path + "\\" + std::string(name, cch), out);
            reg.RegCloseKey(h);
        }
    }
}

}  // namespace

std::string dumpRegistry(Registry& registry) {
    std::string out;
    for (HKEY root : {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS}) {
        dumpKey(registry, root, std::string(rootName(root)), out);
    }
    return out;
}

}  // namespace kx::test
