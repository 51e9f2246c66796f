#pragma once
// Every key and value of a registry as text (names as spelled, data as bytes),
// to compare a registry before and after something that must change nothing,
// or two registries that must hold the same.
#include <string>

#include "platform/registry/registry.hpp"

namespace kx::test {

std::string dumpRegistry(platform::Registry& registry);

}  // namespace kx::test
