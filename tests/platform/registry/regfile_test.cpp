#include "platform/registry/regfile.hpp"

#include <gtest/gtest.h>

#include <unistd.h>
#include "support/registry_dump.hpp"
#include "support/registry_values.hpp"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "platform/runtime/text.hpp"

namespace kx::platform {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

constexpr auto dump = &test::dumpRegistry;

// UTF-8 to UTF-16LE with BOM, for the code points these tests use (all below U+10000).
std::string utf16(std::string_view text) {
    std::string out = "\xFF\xFE";
    std::size_t pos = 0;
    while (pos < text.size()) {
        const char32_t cp = nextCodePoint(text, pos);
        out.push_back(static_cast<char>(cp & 0xFF));
        out.push_back(static_cast<char>(cp >> 8));
    }
    return out;
}

class RegFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/kx-regfile-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
        reg_ = Registry::open(dir_ / "source.db");
    }
    void TearDown() override {
        reg_.reset();
        fs::remove_all(dir_);
    }
    std::unique_ptr<Registry> fresh(const std::string& name, RegistryPolicy policy = {}) {
        return Registry::open(dir_ / (name + ".db"), policy);
    }
    void set(Registry& reg, std::string_view path, std::string_view name, const std::string& data,
             DWORD type = REG_SZ) {
        ASSERT_EQ(test::putValue(reg, HKEY_CURRENT_USER, path, name, data, type), ERROR_SUCCESS);
    }
    // Values of every type and every awkward shape that both formats can carry.
    void populate(Registry& reg) {
        const std::string k = "Software\\Kolvanex";
        set(reg, k, "", "Vorgabe\0"s);
        set(reg, k, "Quote \"and\" \\slash", "say \"hi\" C:\\dir\\\0"s);
        set(reg, k, "Empty", ""s);
        set(reg, k, "OnlyNul", "\0"s);
        set(reg, k, "NoTerminator", "abc"s);
        set(reg, k, "InnerNul", "a\0b\0"s);
        set(reg, k, "Lines", "one\r\ntwo\0"s);
        set(reg, k, "Count", "\xcd\xab\x00\x00"s, REG_DWORD);
        set(reg, k, "ShortDword", "\x01\x02"s, REG_DWORD);
        set(reg, k, "Path", "%SystemRoot%\\Größe\0"s, REG_EXPAND_SZ);
        set(reg, k, "List", "eins\0\0zwei\0Übersicht €\0\0"s, REG_MULTI_SZ);
        std::string blob;
        for (int i = 0; i < 300; ++i) blob.push_back(static_cast<char>(i * 7));
        set(reg, k, "Blob", blob, REG_BINARY);
        set(reg, k, "EmptyBlob", ""s, REG_BINARY);
        set(reg, k, "None", "\x00\x01"s, REG_NONE);
        set(reg, k, "Qword", "\x01\x00\x00\x00\x00\x00\x00\x80"s, 11);
        set(reg, k, "semi;colon=and [brackets]", "x\0"s);
        set(reg, k + "\\Übersicht\\Tiefer Schlüssel", "Größe", "groß €\0"s);
        set(reg, k + "\\odd]name\\ spaced ", "v", "1\0"s);
        set(reg, k + "\\zeta", "z", "\0"s);
        ASSERT_EQ(test::createKey(reg, HKEY_CURRENT_USER, k + "\\Alpha\\Empty Key"), ERROR_SUCCESS);
    }

    fs::path dir_;
    std::unique_ptr<Registry> reg_;
};

// Export, import into an empty registry, compare everything; exporting again
// gives the same file.
void expectRoundTrip(Registry& source, Registry& target, RegFileFormat format) {
    auto text = exportRegText(source, HKEY_CURRENT_USER, "SOFTWARE\\kolvanex\\", format);
    ASSERT_TRUE(text.has_value()) << text.error().error;
    const auto imported = importRegText(target, *text);
    ASSERT_EQ(imported.status, ERROR_SUCCESS) << imported.error;
    EXPECT_EQ(dump(target), dump(source));
    auto again = exportRegText(target, HKEY_CURRENT_USER, "Software\\Kolvanex", format);
    ASSERT_TRUE(again.has_value());
    EXPECT_EQ(*again, *text);
}

TEST_F(RegFileTest, BothFormatsRoundTripEveryByte) {
    populate(*reg_);
    auto target4 = fresh("target4");
    expectRoundTrip(*reg_, *target4, RegFileFormat::Regedit4);
    auto text =
        exportRegText(*reg_, HKEY_CURRENT_USER, "Software\\Kolvanex", RegFileFormat::Regedit4);
    ASSERT_TRUE(text.has_value());
    EXPECT_TRUE(text->starts_with("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Kolvanex]\r\n"));
    EXPECT_NE(text->find("[HKEY_CURRENT_USER\\Software\\Kolvanex\\\xDC"
                         "bersicht]"),
              std::string::npos);  // Windows-1252 'Ü'
    EXPECT_NE(text->find("\"Path\"=hex(2):25,53,79"), std::string::npos);

    // Text only UTF-16 carries: non-Latin scripts, characters beyond U+FFFF, bytes
    // that are not UTF-8 at all.
    set(*reg_, "Software\\Kolvanex\\Привет", "Имя", "日本語 \xF0\x9F\x98\x80\0"s);
    set(*reg_, "Software\\Kolvanex", "Bytes", "\xFF\xFE\x80 \xC3\0"s);
    set(*reg_, "Software\\Kolvanex", "BadMulti", "\xE4\0\xED\xA0\x80\0\0"s, REG_MULTI_SZ);
    auto target5 = fresh("target5");
    expectRoundTrip(*reg_, *target5, RegFileFormat::Version5);
    text = exportRegText(*reg_, HKEY_CURRENT_USER, "Software\\Kolvanex", RegFileFormat::Version5);
    ASSERT_TRUE(text.has_value());
    EXPECT_TRUE(
        text->starts_with(utf16("Windows Registry Editor Version 5.00\r\n\r\n"
                                "[HKEY_CURRENT_USER\\Software\\Kolvanex]\r\n")));
    EXPECT_NE(text->find(utf16("\"Count\"=dword:0000abcd\r\n").substr(2)), std::string::npos);
    // String data in hex form is UTF-16 in these files: "eins" as 65,00,69,00,...
    EXPECT_NE(text->find(utf16("\"List\"=hex(7):65,00,69,00,6e,00,73,00,00,00").substr(2)),
              std::string::npos);
}

TEST_F(RegFileTest, ImportsHandWrittenRegedit4) {
    set(*reg_, "Software\\Old\\Deep", "v", "1\0"s);
    set(*reg_, "Software\\Test", "Gone", "1\0"s);
    const std::string file =
        "REGEDIT4\r\n\r\n; a comment\r\n"
        "[HKEY_CURRENT_USER\\Software\\\\Test\\]\r\n"
        "@=\"Vorgabe\"\r\n"
        "\"Pfad\" = \"C:\\\\Programme\\\\Kolvanex\"  ; trailing comment\r\n"
        "\"Zahl\"=dword:2a\r\n"
        "\"Bytes\"=hex:01,02,\\\r\n"
        "    03,ff\r\n"
        "\"Erweitert\"=hex(2):25,54,45,4d,50,25,5c,e4,00\r\n"
        "\"Liste\"=hex(7):61,00,62,00,00\r\n"
        "\"Nichts\"=hex(0):\r\n"
        "\"Gone\"=-\r\n"
        "[hkcu\\Software\\Test\\Sub]\r\n"
        "\"\xC4rger\"=\"\xFC\x80\"\r\n"
        "[-HKEY_CURRENT_USER\\Software\\Old]\r\n";
    const auto result = importRegText(*reg_, file);
    ASSERT_EQ(result.status, ERROR_SUCCESS) << result.error;
    EXPECT_EQ(dump(*reg_),
              "[HKEY_CLASSES_ROOT]\n[HKEY_CURRENT_USER]\n[HKEY_CURRENT_USER\\Software]\n"
              "[HKEY_CURRENT_USER\\Software\\Test]\n"
              "=1:Vorgabe\0\n"
              "Bytes=3:\x01\x02\x03\xff\n"
              "Erweitert=2:%TEMP%\\ä\0\n"
              "Liste=7:a\0b\0\0\n"
              "Nichts=0:\n"
              "Pfad=1:C:\\Programme\\Kolvanex\0\n"
              "Zahl=4:\x2a\0\0\0\n"
              "[HKEY_CURRENT_USER\\Software\\Test\\Sub]\n"
              "Ärger=1:ü€\0\n"
              "[HKEY_LOCAL_MACHINE]\n[HKEY_USERS]\n"s);
}

TEST_F(RegFileTest, ImportsVersion5AsUtf16OrUtf8) {
    const std::string text =
        "Windows Registry Editor Version 5.00\n\n"
        "[HKEY_CURRENT_USER\\Software\\Unicode]\n"
        "\"Имя\"=\"Привет €\"\n"
        "\"Exp\"=hex(2):25,00,41,00,25,00,e4,00,00,00\n";
    for (const std::string& bytes : {utf16(text), text}) {
        auto target = fresh(bytes == text ? "utf8" : "utf16");
        const auto result = importRegText(*target, bytes);
        ASSERT_EQ(result.status, ERROR_SUCCESS) << result.error;
        EXPECT_EQ(dump(*target),
                  "[HKEY_CLASSES_ROOT]\n[HKEY_CURRENT_USER]\n[HKEY_CURRENT_USER\\Software]\n"
                  "[HKEY_CURRENT_USER\\Software\\Unicode]\n"
                  "Exp=2:%A%ä\0\nИмя=1:Привет €\0\n"
                  "[HKEY_LOCAL_MACHINE]\n[HKEY_USERS]\n"s);
    }
}

TEST_F(RegFileTest, MalformedFilesNameTheLineAndChangeNothing) {
    populate(*reg_);
    const std::string before = dump(*reg_);
    // Each file starts with good changes, so a partial import would show.
    const std::string good =
        "REGEDIT4\n[-HKEY_CURRENT_USER\\Software\\Kolvanex\\zeta]\n"
        "[HKEY_CURRENT_USER\\Software\\Kolvanex]\n\"Count\"=dword:1\n"
        "[HKEY_CURRENT_USER\\New]\n\"a\"=\"b\"\n";  // lines 1..6
    const std::vector<std::pair<std::string, int>> cases = {
        {"REGEDIT5\n[HKEY_CURRENT_USER\\X]\n", 1},
        {"\n" + good, 1},
        {good + "[HKEY_NOWHERE\\X]\n", 7},
        {good + "[HKEY_CURRENT_USER\\X\n", 7},
        {good + "\"v\"=hex:01,zz\n", 7},
        {good + "\"v\"=hex:01,02,\\\n  03,,04\n", 8},
        {good + "\"v\"=hex:01,\\\n", 7},
        {good + "\"v\"=hex(x):01\n", 7},
        {good + "\"v\"=\"open\n", 7},
        {good + "\"v\"=\"C:\\Windows\"\n", 7},
        {good + "\"v\"=dword:123456789\n", 7},
        {good + "\"v\"=dword:\n", 7},
        {good + "\"v\" \"w\"\n", 7},
        {good + "\"v\"=\"x\" junk\n", 7},
        {good + "\"v\"=text\n", 7},
        {good + "nonsense\n", 7},
        {good + "[-HKEY_CURRENT_USER\\Software]\n\"v\"=\"x\"\n", 8},
        {good + "[-HKEY_CURRENT_USER]\n", 7},
        {"REGEDIT4\n\"v\"=\"x\"\n", 2},
        // A lone CR stays inside its line; no name may hold it.
        {good + "[HKEY_CURRENT_USER\\a\rb]\n", 7},
        {good + "\"a\rb\"=\"x\"\n", 7},
        // Names that are not text: bytes of no UTF-8 sequence, a lone surrogate
        // in UTF-8 form or arriving from UTF-16, an overlong form.
        {"Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\bad\xFF]\n", 2},
        {"Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\x]\n\"\xED\xA0\x80\"=\"v\"\n",
         3},
        {utf16("Windows Registry Editor Version 5.00\r\n[HKEY_CURRENT_USER\\a") + "\x00\xD8"s +
             utf16("]\r\n").substr(2),
         2},
        {"Windows Registry Editor Version 5.00\n[-HKEY_CURRENT_USER\\\xC0\xAF]\n", 2},
    };
    for (const auto& [file, line] : cases) {
        const auto result = importRegText(*reg_, file);
        EXPECT_NE(result.status, ERROR_SUCCESS) << file;
        EXPECT_TRUE(result.error.starts_with("Zeile " + std::to_string(line) + ":"))
            << file << "\n-> " << result.error;
        EXPECT_EQ(dump(*reg_), before) << file;
    }
}

TEST_F(RegFileTest, RefusedWriteRollsBackTheWholeImport) {
    populate(*reg_);
    reg_.reset();
    auto user = Registry::open(dir_ / "source.db", RegistryPolicy{.administrator = false});
    const std::string before = dump(*user);
    auto result = importRegText(*user,
                                "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Kolvanex]\n\"Count\"=-\n"
                                "[-HKEY_CURRENT_USER\\Software\\Kolvanex\\zeta]\n"
                                "[HKEY_LOCAL_MACHINE\\Software\\Kolvanex]\n\"a\"=\"b\"\n");
    EXPECT_EQ(result.status, ERROR_ACCESS_DENIED);
    EXPECT_TRUE(result.error.starts_with("Zeile 5:")) << result.error;
    EXPECT_EQ(dump(*user), before);

    // A read-only key deep inside a tree that the file deletes.
    ASSERT_EQ(user->setKeyReadOnly(HKEY_CURRENT_USER,
                                   "Software\\Kolvanex\\Übersicht\\Tiefer "
                                   "Schlüssel",
                                   true),
              ERROR_SUCCESS);
    const std::string marked = dump(*user);
    result = importRegText(*user,
                           "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Kolvanex]\n\"Count\"=-\n"
                           "[-HKEY_CURRENT_USER\\Software\\Kolvanex]\n");
    EXPECT_EQ(result.status, ERROR_ACCESS_DENIED);
    EXPECT_TRUE(result.error.starts_with("Zeile 4:")) << result.error;
    EXPECT_EQ(dump(*user), marked);
}

TEST_F(RegFileTest, FilesAndWhatRegedit4CannotHold) {
    populate(*reg_);
    const fs::path file = dir_ / "export.reg";
    ASSERT_EQ(
        exportRegFile(*reg_, HKEY_CURRENT_USER, "Software", file, RegFileFormat::Regedit4).status,
        ERROR_SUCCESS);
    const auto contents = [&] {
        std::ifstream in(file, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), {});
    };
    const std::string written = contents();
    EXPECT_EQ(written,
              exportRegText(*reg_, HKEY_CURRENT_USER, "software", RegFileFormat::Regedit4));
    auto target = fresh("target");
    const auto imported = importRegFile(*target, file);
    ASSERT_EQ(imported.status, ERROR_SUCCESS) << imported.error;
    EXPECT_EQ(dump(*target), dump(*reg_));

    // Cyrillic has no Windows-1252 form: the export fails and the old file stays.
    set(*reg_, "Software\\Kolvanex", "Имя", "x\0"s);
    const auto refused =
        exportRegFile(*reg_, HKEY_CURRENT_USER, "Software", file, RegFileFormat::Regedit4);
    EXPECT_EQ(refused.status, ERROR_INVALID_PARAMETER);
    EXPECT_NE(refused.error.find("Имя"), std::string::npos) << refused.error;
    EXPECT_EQ(contents(), written);
    for (const auto& entry : fs::directory_iterator(dir_))
        EXPECT_EQ(entry.path().filename().string().find("tmp"), std::string::npos) << entry.path();

    EXPECT_EQ(
        exportRegFile(*reg_, HKEY_CURRENT_USER, "Software\\Missing", file, RegFileFormat::Version5)
            .status,
        ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(importRegFile(*target, dir_ / "none.reg").status, ERROR_FILE_NOT_FOUND);
}

}  // namespace
}  // namespace kx::platform
