// The private-profile calls with the answers their Win32 originals give:
// buffers, lists, defaults, quotes, duplicate sections and removal.
#include "platform/files/profile_strings.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/files/files.hpp"
#include "support/temp_machine.hpp"

namespace kx::platform {
namespace {

namespace fs = std::filesystem;
using kx::test::TempMachine;

const std::string kIni = "C:\\Programme\\Test\\app.ini";

class ProfileStrings : public ::testing::Test {
  protected:
    void write(std::string_view text) { tm.writeHostFile(tm.host(kIni), text); }
    std::string content() const { return TempMachine::readHostFile(tm.host(kIni)); }
    std::string get(const char* section, const char* key, const char* fallback = "",
                    std::uint32_t size = 260, std::uint32_t* count = nullptr) {
        std::string buffer(size, 'x');
        const auto n =
            GetPrivateProfileStringA(section, key, fallback, buffer.data(), size, kIni.c_str());
        if (count != nullptr)
            *count = n;
        return buffer.substr(0, n);
    }
    TempMachine tm;
};

TEST_F(ProfileStrings, ValuesAreFoundWithoutRegardToCaseTrimmedAndUnquoted) {
    write(
        "; comment\r\n[Proxy]\r\nHTTP Server = host:80  \r\nQuoted=\"  a b \"\r\nSingle='x'\r\n"
        "Half=\"open\r\nNoValue=\r\n");
    EXPECT_EQ(get("proxy", "http server"), "host:80");
    EXPECT_EQ(get("PROXY", "Quoted"), "  a b ");
    EXPECT_EQ(get("Proxy", "Single"), "x");
    EXPECT_EQ(get("Proxy", "Half"), "\"open");
    EXPECT_EQ(get("Proxy", "NoValue", "fallback"), "");  // present but empty: no default
    EXPECT_EQ(get("Proxy", "Missing", "fallback  "), "fallback");
    EXPECT_EQ(get("Other", "HTTP Server", nullptr), "");
}

TEST_F(ProfileStrings, CutValuesAndListsAnswerWhatWindowsAnswers) {
    write("[A]\nk1=0123456789\nk2=v\n[B]\nk3=w\n");
    std::uint32_t n = 0;
    EXPECT_EQ(get("A", "k1", "", 5, &n), "0123");
    EXPECT_EQ(n, 4u);

    std::string buffer(64, 'x');
    n = GetPrivateProfileStringA(nullptr, nullptr, "", buffer.data(), 64, kIni.c_str());
    EXPECT_EQ(n, 4u);  // the final NUL is not counted
    EXPECT_EQ(std::string(buffer.data(), n + 1), std::string("A\0B\0", 5));
    EXPECT_EQ(buffer[n], '\0');  // a second NUL ends the list

    n = GetPrivateProfileStringA("a", nullptr, "", buffer.data(), 64, kIni.c_str());
    EXPECT_EQ(std::string(buffer.data(), n), std::string("k1\0k2\0", 6));

    n = GetPrivateProfileStringA("A", nullptr, "", buffer.data(), 5, kIni.c_str());
    EXPECT_EQ(n, 3u);  // nSize - 2 for a list that does not fit
    EXPECT_EQ(std::string(buffer.data(), 5), std::string("k1\0\0\0", 5));  // cut, two NULs

    EXPECT_EQ(GetPrivateProfileStringA("A", "k1", "", buffer.data(), 0, kIni.c_str()), 0u);
}

TEST_F(ProfileStrings, MissingFileReadsAsDefaultAndIsCreatedByTheFirstWrite) {
    fs::create_directories(tm.host("C:\\Programme\\Test"));
    EXPECT_EQ(get("S", "k", "d"), "d");
    ASSERT_NE(WritePrivateProfileStringA("S", "k", "v", kIni.c_str()), 0);
    EXPECT_EQ(get("S", "k"), "v");
    EXPECT_NE(content().find("[S]"), std::string::npos);
    // A missing folder is not made.
    EXPECT_EQ(WritePrivateProfileStringA("S", "k", "v", "C:\\Nowhere\\x.ini"), 0);
}

TEST_F(ProfileStrings, DuplicateSectionsReadAndWriteTheFirstOnly) {
    write("[Proxy]\r\nUse=0\r\n[Other]\r\nx=1\r\n[proxy]\r\nUse=9\r\nURL=second\r\n");
    EXPECT_EQ(get("Proxy", "Use"), "0");
    EXPECT_EQ(get("Proxy", "URL", "none"), "none");  // the second section is never read
    ASSERT_NE(WritePrivateProfileStringA("Proxy", "URL", "first", kIni.c_str()), 0);
    ASSERT_NE(WritePrivateProfileStringA("Proxy", "Use", "1", kIni.c_str()), 0);
    EXPECT_EQ(
        content(),
        "[Proxy]\r\nUse=1\r\nURL=first\r\n[Other]\r\nx=1\r\n[proxy]\r\nUse=9\r\nURL=second\r\n");
}

TEST_F(ProfileStrings, NullValueRemovesKeyNullKeyRemovesSectionNullSectionWritesNothing) {
    write("[A]\nk=1\nj=2\n[B]\nm=3\n");
    ASSERT_NE(WritePrivateProfileStringA("A", "k", nullptr, kIni.c_str()), 0);
    ASSERT_NE(WritePrivateProfileStringA("B", nullptr, nullptr, kIni.c_str()), 0);
    EXPECT_EQ(content(), "[A]\nj=2\n");
    EXPECT_EQ(WritePrivateProfileStringA(nullptr, nullptr, nullptr, kIni.c_str()), 0);
    EXPECT_EQ(content(), "[A]\nj=2\n");
}

TEST_F(ProfileStrings, BareFileNameLivesInTheWindowsFolderAndReadOnlyFilesStay) {
    ASSERT_NE(WritePrivateProfileStringA("S", "k", "v", "kx-test.ini"), 0);
    EXPECT_TRUE(fs::exists(tm.host("C:\\WINDOWS\\kx-test.ini")));
    std::string buffer(16, '\0');
    EXPECT_EQ(GetPrivateProfileStringA("S", "k", "", buffer.data(), 16, "KX-TEST.INI"), 1u);

    // A read-only file is left alone.
    write("[A]\nk=1\n");
    ASSERT_TRUE(files::setAttributes(kIni, fileattr::ReadOnly));
    EXPECT_EQ(WritePrivateProfileStringA("A", "k", "2", kIni.c_str()), 0);
    EXPECT_EQ(content(), "[A]\nk=1\n");
}

}  // namespace
}  // namespace kx::platform
