// `kolvanex clean` and its preview, run as a script would run them.
#include "platform/runtime/text.hpp"
#include "run_fixture.hpp"
#include "support/host_run.hpp"

namespace kx::test {
namespace {

TEST_F(CleaningRunTest, CleanCommandPreviewsExactlyWhatItThenDeletes) {
    set(settings::keys::TempFiles, "1");
    set(settings::keys::History, "1");
    exceptions("*.log\n");
    const auto a = put(tempDir(), "a.tmp", "12345");
    const auto b = put(tempDir(), "Sub\\B.dat", "123");
    const auto log = put(tempDir(), "keep.log");
    const auto opera = put(settings::GetOperaDirectory(), "opera.dir");
    set(settings::keys::Recent, "1");

    auto run = runKolvanex(tm.prefix(), {"clean", "--preview"}, tm.root());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string operaEntry = AddBackslash(settings::GetOperaDirectory()) + "opera.dir";
    for (const auto& line :
         {"delete  " + platform::vbLCase(a), "delete  " + platform::vbLCase(b),
          "delete  " + operaEntry, "delete  " + std::string(cleaning::kHistoryMarker),
          std::string("then    recent-file lists and registry traces"),
          std::string("4 entries, 0 kept")})
        EXPECT_NE(run.out.find(line + "\n"), std::string::npos) << line << "\n" << run.out;
    EXPECT_EQ(run.out.find("keep.log"), std::string::npos);
    for (const auto& stays : {a, b, log, opera}) EXPECT_TRUE(there(stays)) << stays;
    EXPECT_EQ(attributes(log), 0u);
    EXPECT_EQ(settings::read(settings::keys::StatFiles, std::string_view("none")), "none");

    run = runKolvanex(tm.prefix(), {"clean"}, tm.root());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_FALSE(there(a) || there(b) || there(opera));
    EXPECT_TRUE(there(log));
    EXPECT_EQ(attributes(log), 0u);
    // The History step took its marker off the list when it ran; the count
    // is the summary's either way.
    EXPECT_TRUE(run.out.starts_with("Es wurden ")) << run.out;
    EXPECT_NE(run.out.find("0,0000 MB"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("Lösche temporäre Dateien"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace kx::test
