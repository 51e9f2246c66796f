#pragma once
// The fuzzing targets: each takes arbitrary bytes, feeds them to one reader
// of outside input and checks what must hold whatever the input (the same
// answer however the input is cut, a second pass changing nothing, what was
// written reading back). A broken rule ends the process with a message, as a
// crash would, so the fuzzer keeps the input. The same functions serve the
// libFuzzer programs and the test that replays the stored corpora.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace kx::fuzz {

using Entry = int (*)(const std::uint8_t* data, std::size_t size);

struct Target {
    std::string_view name;  // also the folder of its corpus: fuzz/corpus/<name>
    Entry entry;
};

/// Every target, by name.
std::span<const Target> targets();

int wildcardLike(const std::uint8_t* data, std::size_t size);
int regImport(const std::uint8_t* data, std::size_t size);
int proxyList(const std::uint8_t* data, std::size_t size);
int httpAnswer(const std::uint8_t* data, std::size_t size);
int prefsJs(const std::uint8_t* data, std::size_t size);
int operaIni(const std::uint8_t* data, std::size_t size);
int cookieFilter(const std::uint8_t* data, std::size_t size);
int cipherDecrypt(const std::uint8_t* data, std::size_t size);

/// Ends the process with `what` when `rule` does not hold.
void require(bool rule, const char* what);

}  // namespace kx::fuzz
