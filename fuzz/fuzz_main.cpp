// The libFuzzer program of one target; KX_FUZZ_ENTRY names its function.
#include <cstddef>
#include <cstdint>

#include "fuzz/targets.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return kx::fuzz::KX_FUZZ_ENTRY(data, size);
}
