// What an English-speaking user reads when a .reg file is refused, cannot be
// applied or cannot be written.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/registry/regfile.hpp"
#include "support/language.hpp"
#include "support/registry_values.hpp"

namespace kx::platform {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

TEST(EnglishRegFiles, RefusalsReadInEnglish) {
    KX_ONLY_IN_ENGLISH();
    char pattern[] = "/tmp/kx-regfile-en-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const fs::path dir = pattern;
    {
        auto admin = Registry::open(dir / "admin.db");
        ASSERT_EQ(test::putValue(*admin, HKEY_CURRENT_USER, "Software", "Имя", "x\0"s, REG_SZ),
                  ERROR_SUCCESS);
        auto user = Registry::open(dir / "user.db", RegistryPolicy{.administrator = false});
        const std::string key = "REGEDIT4\n[HKEY_CURRENT_USER\\X]\n";
        const auto exported = exportRegText(*admin, HKEY_CURRENT_USER, "", RegFileFormat::Regedit4);
        const struct {
            std::string error, english;
        } cases[] = {
            {importRegText(*admin, "junk").error,
             "line 1: not a registry file: the first line must be \"REGEDIT4\" or \"Windows "
             "Registry Editor Version 5.00\""},
            {importRegText(*admin, key + "\"v\"=\"C:\\Windows\"\n").error,
             "line 3: unknown escape \\W in a string (a backslash is written \\\\)"},
            {importRegText(*admin, key + "\"v\"=hex:01,zz\n").error, "line 3: bad hex byte \"zz\""},
            {importRegText(*user, "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\X]\n\"a\"=\"b\"\n")
                 .error,
             "line 2: access denied creating HKEY_LOCAL_MACHINE\\Software\\X"},
            {exported ? "(exported)" : exported.error().error,
             "value \"Имя\" of HKEY_CURRENT_USER\\Software cannot be written in REGEDIT4 "
             "(Windows-1252)"},
            {importRegFile(*admin, dir / "missing.reg").error,
             "cannot open " + (dir / "missing.reg").string()},
        };
        for (const auto& c : cases) EXPECT_EQ(c.error, c.english);
    }
    fs::remove_all(dir);
}

}  // namespace
}  // namespace kx::platform
