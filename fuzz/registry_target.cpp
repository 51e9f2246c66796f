// The .reg import: whatever a file holds, an import either fails whole or
// gives a registry whose export imports into an empty one as the same tree.
#include <array>
#include <memory>
#include <string>
#include <string_view>

#include "fuzz/targets.hpp"
#include "platform/registry/regfile.hpp"
#include "platform/registry/registry.hpp"

namespace kx::fuzz {
namespace {

constexpr std::array<platform::HKEY, 4> kRoots{platform::HKEY_CLASSES_ROOT,
                                               platform::HKEY_CURRENT_USER,
                                               platform::HKEY_LOCAL_MACHINE, platform::HKEY_USERS};

// Every root exported as one version 5.00 text.
std::string exportAll(platform::Registry& registry) {
    std::string all;
    for (const auto root : kRoots) {
        auto text = platform::exportRegText(registry, root, "", platform::RegFileFormat::Version5);
        require(text.has_value(), "every root exports as version 5.00");
        all += *text;
    }
    return all;
}

}  // namespace

int regImport(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    auto registry = platform::Registry::open(":memory:");
    const auto imported = platform::importRegText(*registry, bytes);
    const std::string first = exportAll(*registry);
    if (imported.status != platform::ERROR_SUCCESS) {
        auto empty = platform::Registry::open(":memory:");
        require(first == exportAll(*empty), "a failed import changes nothing");
        return 0;
    }
    auto again = platform::Registry::open(":memory:");
    for (const auto root : kRoots) {
        const auto text =
            platform::exportRegText(*registry, root, "", platform::RegFileFormat::Version5);
        require(platform::importRegText(*again, *text).status == platform::ERROR_SUCCESS,
                "an export imports");
    }
    require(exportAll(*again) == first, "an export imports as the same tree");
    return 0;
}

}  // namespace kx::fuzz
