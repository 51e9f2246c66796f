// The cipher component under load, for bench/run_cipher_bench.sh:
//
//   cipher_bench populate PREFIX COUNT
//       makes COUNT small files (1..16 KiB) under C:\scramble of the machine
//   cipher_bench scramble PREFIX COUNT [password|random]
//       EncryptInPlace on each of them with 128-bit keys, one frmAES run per
//       file as the deletion runs it; prints
//       "files SECONDS DERIVATIONS DERIVATION_SECONDS"
//   cipher_bench file encrypt|decrypt PREFIX IN OUT KEYFILE
//       one EncryptFile/DecryptFile run; prints "SECONDS PEAK_RSS_KB" (the
//       peak from /proc/self/status, for machines without /usr/bin/time)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>

#include "crypt/aes_holder.hpp"
#include "crypt/key_cache.hpp"
#include "platform/files/files.hpp"
#include "platform/machine/machine.hpp"

namespace {

using Clock = std::chrono::steady_clock;

std::string fileName(int i) {
    return "C:\\scramble\\f" + std::to_string(i) + ".dat";
}

long peakRssKb() {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmHWM:") {
            long kb = 0;
            status >> kb;
            return kb;
        }
        status.ignore(1 << 12, '\n');
    }
    return -1;
}

int usage() {
    std::cerr << "usage: cipher_bench populate PREFIX COUNT\n"
                 "       cipher_bench scramble PREFIX COUNT [password|random]\n"
                 "       cipher_bench file encrypt|decrypt PREFIX IN OUT KEYFILE\n";
    return 2;
}

int populate(kx::platform::Machine& machine, int count) {
    if (!kx::platform::files::createFolders(machine, "C:\\scramble"))
        return 1;
    std::uint32_t x = 2463534242u;
    std::string content;
    for (int i = 0; i < count; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        content.assign(1024 + x % (15 * 1024), static_cast<char>('a' + i % 26));
        if (!kx::platform::files::writeAll(machine, fileName(i), content)) {
            std::cerr << "cannot write " << fileName(i) << "\n";
            return 1;
        }
    }
    return 0;
}

int scramble(int count, bool randomKey) {
    const auto before = kx::crypt::threadKeyCache().stats();
    const auto start = Clock::now();
    for (int i = 0; i < count; ++i) {
        kx::AesRun run;
        auto& cipher = run.cipher();
        cipher.KeyBits = 128;
        cipher.Password = "fixed scramble password";
        cipher.RandomKey = randomKey;
        cipher.InputFile = fileName(i);
        if (!cipher.EncryptInPlace()) {
            std::cerr << fileName(i) << ": " << cipher.LastError << "\n";
            return 1;
        }
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const auto after = kx::crypt::threadKeyCache().stats();
    std::printf("%d %.6f %llu %.6f\n", count, seconds,
                static_cast<unsigned long long>(after.count - before.count),
                std::chrono::duration<double>(after.time - before.time).count());
    return 0;
}

int oneFile(const std::string& direction, const std::string& in, const std::string& out,
            const std::string& keyFile) {
    std::ifstream keyIn(keyFile);
    std::string key;
    std::getline(keyIn, key);
    const auto start = Clock::now();
    kx::AesRun run;
    auto& cipher = run.cipher();
    cipher.InputFile = in;
    cipher.OutputFile = out;
    cipher.Password = key;
    const bool ok = direction == "encrypt" ? cipher.EncryptFile() : cipher.DecryptFile();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (!ok) {
        std::cerr << direction << ": " << cipher.LastError << "\n";
        return 1;
    }
    std::printf("%.6f %ld\n", seconds, peakRssKb());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4)
        return usage();
    const std::string mode = argv[1];
    const int prefixArg = mode == "file" ? 3 : 2;
    if (argc <= prefixArg)
        return usage();
    auto machine = kx::platform::Machine::openOrCreate(argv[prefixArg]);
    if (!machine) {
        std::cerr << machine.error().message << "\n";
        return 1;
    }
    kx::platform::MachineScope scope(**machine);
    if (mode == "populate")
        return populate(**machine, std::atoi(argv[3]));
    if (mode == "scramble")
        return scramble(std::atoi(argv[3]), argc > 4 && std::string(argv[4]) == "random");
    if (mode == "file" && argc == 7)
        return oneFile(argv[2], argv[4], argv[5], argv[6]);
    return usage();
}
