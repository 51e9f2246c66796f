// Targets on readers of files in a machine: Mozilla's prefs.js as the proxy
// settings rewrite it, and the cipher's decryption.
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "anonymity/browser_proxy.hpp"
#include "crypt/cipher_context.hpp"
#include "crypt/key_cache.hpp"
#include "crypt/rijndael.hpp"
#include "fuzz/fuzz_machine.hpp"
#include "fuzz/targets.hpp"
#include "platform/runtime/text.hpp"

namespace kx::fuzz {
namespace {

constexpr std::string_view kPrefs = "C:\\fuzz\\prefs.js";

// Lines ended by CR LF only: the form in which the rewrite writes a file.
bool inWrittenForm(std::string_view text) {
    if (!text.empty() && !text.ends_with("\r\n"))
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'))
            return false;
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            return false;
    }
    return true;
}

// At most one line names the address and one other line the type.
bool onePrefEach(std::string_view text) {
    int address = 0;
    int type = 0;
    for (const auto line : platform::splitAt(text, "\n")) {
        const std::string lower = platform::vbLCase(line);
        if (lower.find("network.proxy.autoconfig_url") != std::string::npos)
            ++address;
        else if (lower.find("network.proxy.type") != std::string::npos)
            ++type;
    }
    return address <= 1 && type <= 1;
}

}  // namespace

// First byte: the proxy (odd: the ad filter). Pointing the browser at the
// proxy twice writes the same file; restoring gives back a file in the
// rewrite's own form byte for byte.
int prefsJs(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    (void)fuzzMachine();
    const std::string proxy = (data[0] & 1) ? std::string(anonymity::kAdFilter) : "127.0.0.1:8080";
    const std::string_view before(reinterpret_cast<const char*>(data + 1), size - 1);
    anonymity::forgetSavedBrowserSettings();
    writeMachineFile(kPrefs, before);
    require(anonymity::SetMozillaProxy(proxy, kPrefs), "prefs.js is rewritten");
    const std::string once = readMachineFile(kPrefs);
    require(anonymity::SetMozillaProxy(proxy, kPrefs), "prefs.js is rewritten again");
    require(readMachineFile(kPrefs) == once, "a second change writes the same file");
    require(anonymity::SetMozillaProxy("", kPrefs), "prefs.js is restored");
    if (inWrittenForm(before) && onePrefEach(before))
        require(readMachineFile(kPrefs) == before, "a restore gives back the user's file");
    anonymity::forgetSavedBrowserSettings();
    return 0;
}

// The input as a sealed file: decryption either succeeds with the output in
// place or fails leaving nothing behind. The password is "fuzz", and seeds
// sealed with it let the fuzzer reach the records.
int cipherDecrypt(const std::uint8_t* data, std::size_t size) {
    auto& machine = fuzzMachine();
    static crypt::KeyCache keys;
    writeMachineFile("C:\\fuzz\\in.kx", {reinterpret_cast<const char*>(data), size});
    crypt::RijnDael cipher(crypt::CipherContext{machine, keys});
    cipher.InputFile = "C:\\fuzz\\in.kx";
    cipher.OutputFile = "C:\\fuzz\\out.txt";
    cipher.Password = "fuzz";
    cipher.FlushOutput = false;
    const bool ok = cipher.DecryptFile();
    const auto folder = *machine.resolve("C:\\fuzz");
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::erase(names, "in.kx");
    std::erase(names, "prefs.js");
    if (ok) {
        require(names == std::vector<std::string>{"out.txt"}, "a decryption leaves its output");
        std::filesystem::remove(folder / "out.txt");
    } else {
        require(names.empty(), "a failed decryption leaves nothing behind");
        require(!cipher.LastError.empty(), "a failed decryption says why");
    }
    return 0;
}

}  // namespace kx::fuzz
