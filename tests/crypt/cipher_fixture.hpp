#pragma once
// A throw-away machine with a folder C:\Daten for the cipher's files, and
// small helpers to put, read and list files there.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <set>
#include <string>

#include <sys/stat.h>

#include "crypt/rijndael.hpp"
#include "platform/ui/message_loop.hpp"
#include "support/temp_machine.hpp"

namespace kx::test {

// Runs `hook` on every yield of the thread's message loop while alive.
class YieldHook {
  public:
    explicit YieldHook(std::function<void()> hook)
        : id_(platform::ui::MessageLoop::current().addSource(std::move(hook))) {}
    ~YieldHook() { platform::ui::MessageLoop::current().removeSource(id_); }

  private:
    platform::ui::MessageLoop::SourceId id_;
};

class CipherFixture : public ::testing::Test {
  public:
    static constexpr std::uint32_t kChunk = 4096;  // small chunks: boundaries in small files

  protected:
    TempMachine tm;
    const std::filesystem::path data = tm.prefix() / "drive_c" / "Daten";

    CipherFixture() { std::filesystem::create_directories(data); }

    static std::string win(const std::string& name) { return "C:\\Daten\\" + name; }
    std::filesystem::path host(const std::string& name) const { return data / name; }

    void put(const std::string& name, const std::string& bytes) const {
        tm.writeHostFile(host(name), bytes);
    }
    std::string get(const std::string& name) const { return TempMachine::readHostFile(host(name)); }
    bool exists(const std::string& name) const {
        std::error_code ec;
        return std::filesystem::exists(std::filesystem::symlink_status(host(name), ec));
    }

    /// Every entry of C:\Daten, hidden ones included: a failed run must not
    /// leave a temporary file behind.
    std::set<std::string> entries() const {
        std::set<std::string> out;
        for (const auto& e : std::filesystem::directory_iterator(data))
            out.insert(e.path().filename().string());
        return out;
    }

    static ino_t inode(const std::filesystem::path& p) {
        struct stat st {};
        EXPECT_EQ(::lstat(p.c_str(), &st), 0) << p;
        return st.st_ino;
    }

    /// Bytes that differ from position to position (and from seed to seed),
    /// so a chunk written at the wrong place cannot go unnoticed.
    static std::string pattern(std::size_t n, std::uint32_t seed = 1) {
        std::string out(n, '\0');
        std::uint32_t x = seed * 2654435761u + 12345u;
        for (auto& c : out) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            c = static_cast<char>(x);
        }
        return out;
    }

    /// A cipher's context on this machine with the thread's key cache, as
    /// the component's holder builds it, but with cheaper scrypt costs: the
    /// format does not depend on them, and these tests derive many keys (a
    /// changed cost byte is a new derivation). Files are read with the costs
    /// their header records either way.
    crypt::CipherContext context() {
        return {tm.machine(), crypt::threadKeyCache(), platform::crypto::ScryptCost{12, 8, 1}};
    }

    /// A cipher set up for a file run.
    static void setUp(crypt::RijnDael& c, const std::string& in, const std::string& out,
                      const std::string& password = "Kennwort 1", int keyBits = 256) {
        c.InputFile = in;
        c.OutputFile = out;
        c.Password = password;
        c.KeyBits = keyBits;
        c.ChunkBytes = kChunk;
        c.StopIt = false;
    }
};

}  // namespace kx::test
