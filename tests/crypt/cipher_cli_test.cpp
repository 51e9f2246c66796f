// `kolvanex cipher` as a script runs it: a real process, a key file, exit
// statuses 0 / 1 / 2, and nothing written when it fails.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>

#include "cipher_fixture.hpp"
#include "support/host_run.hpp"

namespace {

namespace fs = std::filesystem;
using kx::test::CipherFixture;
using kx::test::TempMachine;

class CipherCliTest : public CipherFixture {
  protected:
    kx::test::HostRun kolvanex(const std::vector<std::string>& args,
                               const std::string& stdinText = "") {
        auto quietArgs = args;
        quietArgs.insert(quietArgs.begin(), "--quiet");
        return kx::test::runKolvanex(tm.prefix(), quietArgs, tm.root(), stdinText);
    }

    std::string keyFile(const std::string& name, const std::string& content) {
        const auto p = tm.root() / name;
        tm.writeHostFile(p, content);
        return p.string();
    }
};

TEST_F(CipherCliTest, EncryptsAndDecryptsWithAKeyFile) {
    const std::string plain = pattern(3 << 20);  // three default chunks and a bit
    put("brief.doc", plain + "end");
    // The line end is no part of the key, whether LF or CR LF.
    const auto key = keyFile("key", "geheim\n");
    const auto keyCrLf = keyFile("key-crlf", "geheim\r\nsecond line is ignored\n");

    auto r = kolvanex({"cipher", "encrypt", win("brief.doc"), win("brief.kx"), "--key-file", key});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    r = kolvanex({"cipher", "decrypt", win("brief.kx"), win("back.doc"), "--key-file", keyCrLf,
                  "--sync"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(get("back.doc"), plain + "end");

    // 128-bit keys, the password from standard input when it is no terminal.
    r = kolvanex({"cipher", "encrypt", win("brief.doc"), win("k128.kx"), "--key-bits", "128"},
                 "geheim\n");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    r = kolvanex({"cipher", "decrypt", win("k128.kx"), win("k128.doc"), "--key-bits", "128",
                  "--key-file", key});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(get("k128.doc"), plain + "end");
}

TEST_F(CipherCliTest, FailuresExitOneAndBadInputTwoWithNothingWritten) {
    put("brief.doc", "Lieber Hans");
    const auto key = keyFile("key", "geheim\n");
    ASSERT_EQ(kolvanex({"cipher", "encrypt", win("brief.doc"), win("brief.kx"), "--key-file", key})
                  .exitCode,
              0);
    const auto before = entries();

    auto r = kolvanex({"cipher", "decrypt", win("brief.kx"), win("out"), "--key-file",
                       keyFile("wrong", "falsch\n")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("password"), std::string::npos) << r.err;
    r = kolvanex({"cipher", "decrypt", win("brief.doc"), win("out"), "--key-file", key});
    EXPECT_EQ(r.exitCode, 1) << r.err;  // not a file we wrote
    r = kolvanex(
        {"cipher", "decrypt", win("brief.kx"), win("out"), "--key-bits", "128", "--key-file", key});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    r = kolvanex({"cipher", "encrypt", win("missing"), win("out"), "--key-file", key});
    EXPECT_EQ(r.exitCode, 1) << r.err;

    EXPECT_EQ(kolvanex({"cipher", "decrypt", win("brief.kx"), win("out"), "--key-bits", "192",
                        "--key-file", key})
                  .exitCode,
              2);
    EXPECT_EQ(
        kolvanex({"cipher", "rot13", win("brief.kx"), win("out"), "--key-file", key}).exitCode, 2);
    EXPECT_EQ(kolvanex({"cipher", "encrypt", win("brief.doc"), (tm.root() / "out").string(),
                        "--key-file", key})
                  .exitCode,
              2);
    EXPECT_EQ(kolvanex({"cipher", "encrypt", win("brief.doc"), win("out"), "--key-file",
                        keyFile("empty", "\n")})
                  .exitCode,
              2);
    EXPECT_EQ(kolvanex({"cipher", "encrypt", win("brief.doc"), win("out"), "--key-file",
                        (tm.root() / "no-such-key").string()})
                  .exitCode,
              2);
    EXPECT_EQ(entries(), before);
    EXPECT_FALSE(fs::exists(tm.root() / "out"));
}

}  // namespace
