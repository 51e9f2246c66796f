// `kolvanex cipher` as a script runs it: a real process, a key file, exit
// statuses 0 / 1 / 2, and nothing written when it fails.
#include <gtest/gtest.h>

#include "cipher_fixture.hpp"
#include "support/host_run.hpp"

namespace {

namespace fs = std::filesystem;
using kx::test::CipherFixture;

class CipherCliTest : public CipherFixture {
  protected:
    // `kolvanex --quiet cipher ARGS...`
    kx::test::HostRun cipher(std::vector<std::string> args, const std::string& stdinText = "") {
        args.insert(args.begin(), {"--quiet", "cipher"});
        return kx::test::runKolvanex(tm.prefix(), args, tm.root(), stdinText);
    }
    std::string keyFile(const std::string& name, const std::string& content) {
        tm.writeHostFile(tm.root() / name, content);
        return (tm.root() / name).string();
    }
};

TEST_F(CipherCliTest, EncryptsAndDecryptsWithAKeyFile) {
    const std::string plain = pattern(3 << 20) + "end";  // three default chunks and a bit
    put("brief.doc", plain);
    // The line end is no part of the key, whether LF or CR LF.
    const auto key = keyFile("key", "geheim\n");
    const auto keyCrLf = keyFile("key-crlf", "geheim\r\nsecond line is ignored\n");

    auto r = cipher({"encrypt", win("brief.doc"), win("brief.kx"), "--key-file", key});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    r = cipher({"decrypt", win("brief.kx"), win("back.doc"), "--key-file", keyCrLf, "--sync"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(get("back.doc"), plain);

    // 128-bit keys, the password from standard input when it is no terminal.
    r = cipher({"encrypt", win("brief.doc"), win("k128.kx"), "--key-bits", "128"}, "geheim\n");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    r = cipher(
        {"decrypt", win("k128.kx"), win("k128.doc"), "--key-bits", "128", "--key-file", key});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(get("k128.doc"), plain);
}

TEST_F(CipherCliTest, FailuresExitOneAndBadInputTwoWithNothingWritten) {
    put("brief.doc", "Lieber Hans");
    const auto key = keyFile("key", "geheim\n");
    ASSERT_EQ(cipher({"encrypt", win("brief.doc"), win("brief.kx"), "--key-file", key}).exitCode,
              0);
    const auto before = entries();

    // Every failure of the cipher (its own tests go through them) ends the same way.
    auto r = cipher({"decrypt", win("brief.kx"), win("out"), "--key-file", keyFile("f", "falsch")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Passwort passt nicht"), std::string::npos) << r.err;
    EXPECT_EQ(cipher({"encrypt", win("missing"), win("out"), "--key-file", key}).exitCode, 1);

    const std::vector<std::vector<std::string>> badInput = {
        {"decrypt", win("brief.kx"), win("out"), "--key-bits", "192", "--key-file", key},
        {"rot13", win("brief.kx"), win("out"), "--key-file", key},
        {"encrypt", win("brief.doc"), win("out"), "-o", win("out2"), "--key-file", key},
        {"encrypt", win("brief.doc"), "--key-file", key},
        {"encrypt", "-", win("out")},  // the password would come from the input
        {"encrypt", win("brief.doc"), win("out"), "--key-file", keyFile("empty", "\n")},
        {"encrypt", win("brief.doc"), win("out"), "--key-file", (tm.root() / "none").string()},
    };
    for (std::size_t i = 0; i < badInput.size(); ++i)
        EXPECT_EQ(cipher(badInput[i]).exitCode, 2) << "case " << i;
    EXPECT_EQ(entries(), before);
    EXPECT_FALSE(fs::exists(tm.root() / "out"));
}

TEST_F(CipherCliTest, ReplacesAnOutputOnlyWithForceAndNeverItsOwnInput) {
    put("brief.doc", "Lieber Hans");
    put("alt.kx", "old");
    const auto key = keyFile("key", "geheim\n");
    auto r = cipher({"encrypt", win("brief.doc"), "-o", win("alt.kx"), "--key-file", key});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("--force"), std::string::npos) << r.err;
    EXPECT_EQ(get("alt.kx"), "old");
    r = cipher({"encrypt", win("brief.doc"), "-o", win("alt.kx"), "--force", "--key-file", key});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(get("alt.kx"), "old");

    // The input under another name (case, or its Linux path) is still the input.
    for (const auto& self : {win("BRIEF.DOC"), host("brief.doc").string()}) {
        r = cipher({"encrypt", win("brief.doc"), self, "--force", "--key-file", key});
        EXPECT_EQ(r.exitCode, 2) << self;
        EXPECT_NE(r.err.find("ist die Eingabe selbst"), std::string::npos) << r.err;
    }
    EXPECT_EQ(get("brief.doc"), "Lieber Hans");
}

TEST_F(CipherCliTest, ReadsStandardInputAndWritesStandardOutput) {
    const std::string plain = pattern(70000) + "end";
    const auto key = keyFile("key", "geheim\n");
    auto r = cipher({"encrypt", "-", "-", "--key-file", key}, plain);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ASSERT_GT(r.out.size(), plain.size());
    put("piped.kx", r.out);
    r = cipher({"decrypt", win("piped.kx"), "-", "--key-file", key});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, plain);
    // A wrong password writes nothing at all to the output.
    r = cipher({"decrypt", win("piped.kx"), "-", "--key-file", keyFile("f", "falsch\n")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
}

}  // namespace
