// What the platform tells a user when it refuses or fails (the file layer,
// the cipher, the companions' desktop, the runtime): German for a German
// user, and for an English-speaking one the words it always had.
#include <gtest/gtest.h>

#include <cstring>
#include <expected>
#include <filesystem>
#include <functional>
#include <future>
#include <string>
#include <vector>

#include "platform/crypto/crypto.hpp"
#include "platform/files/cipher_files.hpp"
#include "platform/files/files.hpp"
#include "platform/files/ini.hpp"
#include "platform/processes/desktop_program.hpp"
#include "platform/runtime/automation_objects.hpp"
#include "platform/runtime/system_reason.hpp"
#include "support/language.hpp"
#include "support/temp_machine.hpp"

namespace kx::platform {
namespace {

namespace fs = std::filesystem;

template <typename T>
std::string failure(const std::expected<T, Error>& result) {
    return result ? "(no failure)" : result.error().message;
}

std::string raised(const std::function<void()>& work) {
    try {
        work();
    } catch (const RuntimeError& e) {
        return e.description;
    }
    return "(no error)";
}

class FailureTexts : public ::testing::Test {
  protected:
    void SetUp() override {
        const fs::path c = tm.prefix() / "drive_c";
        fs::create_directory(c / "Ordner");
        tm.writeHostFile(c / "nur.txt", "x");
        fs::permissions(c / "nur.txt", fs::perms::owner_read);
        tm.writeHostFile(c / "eins.txt", "x");
        fs::create_hard_link(c / "eins.txt", c / "zwei.txt");
    }

    struct Case {
        const char* what;
        std::function<std::string()> message;
        std::string german, english;
    };

    // Each failure with what a German and an English-speaking user read.
    std::vector<Case> cases() {
        const std::string exists = std::strerror(EEXIST);
        const std::string folderPath = (tm.prefix() / "drive_c" / "Ordner").string();
        return {
            {"a missing file", [&] { return failure(files::readAll(m, "C:\\fehlt.txt")); },
             R"(Datei nicht gefunden: "C:\fehlt.txt")", R"(file not found: "C:\fehlt.txt")"},
            {"a missing folder", [&] { return failure(files::removeFolder(m, "C:\\Fehlt")); },
             R"(Ordner nicht gefunden: "C:\Fehlt")", R"(folder not found: "C:\Fehlt")"},
            {"a folder deleted as a file", [&] { return failure(files::remove(m, "C:\\Ordner")); },
             R"("C:\Ordner" ist ein Ordner)", R"("C:\Ordner" is a folder)"},
            {"a read-only file written",
             [&] { return failure(files::writeAll(m, "C:\\nur.txt", "y")); },
             R"("C:\nur.txt" ist schreibgeschützt)", R"("C:\nur.txt" is read-only)"},
            {"the root of a drive", [&] { return failure(files::remove(m, "C:\\")); },
             R"(das Stammverzeichnis eines Laufwerks kann nicht geändert werden: "C:\")",
             R"(the root of a drive cannot be changed: "C:\")"},
            {"the system's refusal", [&] { return failure(files::createFolder(m, "C:\\Ordner")); },
             R"(kann "C:\Ordner" nicht anlegen: Die Datei existiert bereits)",
             R"(cannot create "C:\Ordner": )" + exists},
            {"a file with two names to overwrite",
             [&] { return failure(cipherfiles::openToOverwrite(m, "C:\\eins.txt")); },
             R"(abgelehnt: "C:\eins.txt" hat weitere Namen (harte Verknüpfungen))",
             R"(refused: "C:\eins.txt" has other names (hard links))"},
            {"a settings file that is a folder", [=] { return failure(IniFile::load(folderPath)); },
             "keine gewöhnliche Datei: " + folderPath, "not a regular file: " + folderPath},
            {"a key of the wrong length",
             [] { return failure(crypto::AesGcm::create(std::vector<std::uint8_t>(5))); },
             "ein AES-Schlüssel hat 16 oder 32 Bytes", "an AES key has 16 or 32 bytes"},
            {"a companion's option without its value",
             [] {
                 char program[] = "KXPopup", option[] = "--title";
                 char* argv[] = {program, option};
                 return parseCompanionArguments(2, argv).error;
             },
             "--title verlangt einen Wert", "--title needs a value"},
            {"Null as a number", [] { return raised([] { toDouble(Null{}); }); },
             "Unzulässige Verwendung von Null", "Invalid use of Null"},
            {"a word as a number", [] { return raised([] { toLong(std::string("abc")); }); },
             "Typen unverträglich", "Type mismatch"},
            {"a number too large", [] { return raised([] { toByte(std::int32_t{300}); }); },
             "Überlauf", "Overflow"},
            {"an object nobody makes", [] { return raised([] { CreateObject("Kein.Objekt"); }); },
             "Objekterstellung durch ActiveX-Komponente nicht möglich",
             "ActiveX component can't create object"},
        };
    }

    test::TempMachine tm;
    Machine& m = tm.machine();
};

TEST_F(FailureTexts, FailuresAreToldInGerman) {
    if (userLanguage() != Language::German)
        GTEST_SKIP() << "reads the German texts";
    for (const auto& c : cases()) EXPECT_EQ(c.message(), c.german) << c.what;
}

TEST_F(FailureTexts, FailuresAreToldInEnglish) {
    KX_ONLY_IN_ENGLISH();
    for (const auto& c : cases()) EXPECT_EQ(c.message(), c.english) << c.what;
    // Every reason of the system reads as the C library words it.
    for (int err = 1; err < 134; ++err) {
        const std::string library = std::strerror(err);  // its buffer is the library's to reuse
        EXPECT_EQ(systemReason(err), library) << err;
    }
}

TEST(SystemReason, CommonReasonsAreGermanAndTheRestStayTheLibrarys) {
    if (userLanguage() != Language::German)
        GTEST_SKIP() << "reads the German texts";
    EXPECT_EQ(systemReason(EACCES), "Keine Berechtigung");
    EXPECT_EQ(systemReason(std::make_error_code(std::errc::no_such_file_or_directory)),
              "Datei oder Verzeichnis nicht gefunden");
    EXPECT_EQ(systemReason(EOWNERDEAD), std::strerror(EOWNERDEAD));
    EXPECT_EQ(systemReason(std::make_error_code(std::future_errc::no_state)),
              std::make_error_code(std::future_errc::no_state).message());
}

}  // namespace
}  // namespace kx::platform
