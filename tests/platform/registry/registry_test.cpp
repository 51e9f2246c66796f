#include "platform/registry/registry.hpp"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>
#include "support/registry_dump.hpp"

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

namespace kx::platform {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

const std::uint8_t* bytes(const std::string& s) {
    return reinterpret_cast<const std::uint8_t*>(s.data());
}

LONG setValue(Registry& reg, HKEY key, std::string_view name, const std::string& data,
              DWORD type = REG_SZ) {
    return reg.RegSetValueExA(key, name, 0, type, bytes(data), static_cast<DWORD>(data.size()));
}

// The value's bytes, or "<status>" when it cannot be read.
std::string valueOf(Registry& reg, HKEY key, std::string_view name) {
    DWORD size = 0;
    if (LONG st = reg.RegQueryValueExA(key, name, nullptr, nullptr, nullptr, &size))
        return "<" + std::to_string(st) + ">";
    std::string data(size, '\0');
    if (LONG st = reg.RegQueryValueExA(key, name, nullptr, nullptr,
                                       reinterpret_cast<std::uint8_t*>(data.data()), &size))
        return "<" + std::to_string(st) + ">";
    return data;
}

std::string subKeyAt(Registry& reg, HKEY key, DWORD index, LONG* status = nullptr) {
    char name[512];
    DWORD cch = sizeof name;
    const LONG st = reg.RegEnumKeyExA(key, index, name, &cch, nullptr, nullptr, nullptr, nullptr);
    if (status)
        *status = st;
    return st ? std::string() : std::string(name, cch);
}

constexpr auto dump = &test::dumpRegistry;

class RegistryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/kx-registry-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
        db_ = dir_ / "registry.db";
        reg_ = Registry::open(db_);
    }
    void TearDown() override {
        reg_.reset();
        fs::remove_all(dir_);
    }
    HKEY create(HKEY root, std::string_view path, DWORD* disposition = nullptr) {
        HKEY h = 0;
        EXPECT_EQ(
            reg_->RegCreateKeyExA(root, path, 0, {}, 0, KEY_ALL_ACCESS, nullptr, &h, disposition),
            ERROR_SUCCESS)
            << path;
        return h;
    }
    HKEY openKey(HKEY root, std::string_view path, DWORD sam, LONG expected = ERROR_SUCCESS) {
        HKEY h = 0xdead;
        EXPECT_EQ(reg_->RegOpenKeyExA(root, path, 0, sam, &h), expected) << path;
        if (expected != ERROR_SUCCESS) {
            EXPECT_EQ(h, 0u);
        }
        return h;
    }

    fs::path dir_, db_;
    std::unique_ptr<Registry> reg_;
};

TEST_F(RegistryTest, TreeOperationsAnswerWin32Statuses) {
    DWORD disposition = 0;
    HKEY sub = create(HKEY_CURRENT_USER, "Software\\Kolvanex\\Sub", &disposition);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    reg_->RegCloseKey(create(HKEY_CURRENT_USER, "Software\\Kolvanex\\Sub", &disposition));
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);

    ASSERT_EQ(setValue(*reg_, sub, "Name", "hello\0"s), ERROR_SUCCESS);
    DWORD type = 0, size = 0;
    EXPECT_EQ(reg_->RegQueryValueExA(sub, "Name", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, 6u);
    std::uint8_t small[3] = {'x', 'x', 'x'};
    size = sizeof small;
    EXPECT_EQ(reg_->RegQueryValueExA(sub, "Name", nullptr, &type, small, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(valueOf(*reg_, sub, "Name"), "hello\0"s);
    EXPECT_EQ(valueOf(*reg_, sub, "Missing"), "<2>");
    EXPECT_EQ(valueOf(*reg_, sub, ""), "<2>");  // no default value yet
    ASSERT_EQ(setValue(*reg_, sub, "", "default\0"s), ERROR_SUCCESS);
    EXPECT_EQ(valueOf(*reg_, sub, ""), "default\0"s);

    EXPECT_EQ(reg_->RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Kolvanex"), ERROR_ACCESS_DENIED);
    reg_->RegCloseKey(openKey(HKEY_CURRENT_USER, "Software\\Kolvanex", KEY_READ));
    EXPECT_EQ(reg_->RegDeleteValueA(sub, "Name"), ERROR_SUCCESS);
    EXPECT_EQ(reg_->RegDeleteValueA(sub, "Name"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(reg_->RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Kolvanex\\Sub"), ERROR_SUCCESS);
    EXPECT_EQ(reg_->RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Kolvanex\\Sub"),
              ERROR_FILE_NOT_FOUND);
    openKey(HKEY_CURRENT_USER, "Software\\Kolvanex\\Sub", KEY_READ, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(reg_->RegDeleteKeyA(HKEY_CURRENT_USER, ""), ERROR_ACCESS_DENIED);  // a root stays

    // Trees end at 512 levels; a deeper request creates nothing at all.
    std::string deep = "Deep";
    for (int i = 1; i < 512; ++i) deep += "\\d";
    reg_->RegCloseKey(create(HKEY_CURRENT_USER, deep));
    HKEY h = 0;
    EXPECT_EQ(reg_->RegCreateKeyExA(HKEY_CURRENT_USER, "Deeper" + deep.substr(4) + "\\x", 0, {}, 0,
                                    KEY_READ, nullptr, &h, nullptr),
              ERROR_INVALID_PARAMETER);
    openKey(HKEY_CURRENT_USER, "Deeper", KEY_READ, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(deleteKeyTree(*reg_, HKEY_CURRENT_USER, "Deep"), ERROR_SUCCESS);
}

TEST_F(RegistryTest, EnumerationFollowsNameOrderIgnoringCase) {
    HKEY k = create(HKEY_CURRENT_USER, "Order");
    for (const char* name : {"gamma", "Beta", "alpha", "Delta"}) {
        reg_->RegCloseKey(create(k, name));
        ASSERT_EQ(setValue(*reg_, k, name, name), ERROR_SUCCESS);
    }
    LONG st = 0;
    EXPECT_EQ(subKeyAt(*reg_, k, 0), "alpha");
    EXPECT_EQ(subKeyAt(*reg_, k, 1), "Beta");
    EXPECT_EQ(subKeyAt(*reg_, k, 3), "gamma");
    subKeyAt(*reg_, k, 4, &st);
    EXPECT_EQ(st, ERROR_NO_MORE_ITEMS);

    char name[5];  // "alpha" and its NUL need 6
    DWORD cch = sizeof name;
    EXPECT_EQ(reg_->RegEnumKeyExA(k, 0, name, &cch, nullptr, nullptr, nullptr, nullptr),
              ERROR_MORE_DATA);
    std::uint8_t data[16];
    DWORD size = 2, type = 0;
    cch = sizeof name;
    EXPECT_EQ(reg_->RegEnumValueA(k, 1, name, &cch, nullptr, &type, data, &size), ERROR_MORE_DATA);
    EXPECT_EQ(std::string(name, cch), "Beta");
    EXPECT_EQ(size, 4u);
    cch = sizeof name;
    EXPECT_EQ(reg_->RegEnumValueA(k, 4, name, &cch, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
}

TEST_F(RegistryTest, NamesIgnoreCaseKeepTheirFirstSpellingAndSkipEmptySegments) {
    HKEY k = create(HKEY_CURRENT_USER, "Software\\Übersicht");
    ASSERT_EQ(setValue(*reg_, k, "Farbe", "rot"), ERROR_SUCCESS);
    ASSERT_EQ(setValue(*reg_, k, "FARBE", "blau"), ERROR_SUCCESS);
    DWORD disposition = 0;
    HKEY same = create(HKEY_CURRENT_USER, "SOFTWARE\\übersicht", &disposition);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    EXPECT_EQ(valueOf(*reg_, same, "fArBe"), "blau");
    HKEY upper = openKey(HKEY_CURRENT_USER, "software\\ÜBERSICHT", KEY_READ);
    char name[32];
    DWORD cch = sizeof name;
    ASSERT_EQ(reg_->RegEnumValueA(upper, 0, name, &cch, nullptr, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(std::string(name, cch), "Farbe");
    HKEY software = openKey(HKEY_CURRENT_USER, "software", KEY_READ);
    EXPECT_EQ(subKeyAt(*reg_, software, 0), "Übersicht");

    // Empty path segments are skipped; an empty subkey opens the key again.
    HKEY kv = create(HKEY_CURRENT_USER, "\\SOFTWARE\\\\Kolvanex\\");
    HKEY kolvanex = openKey(HKEY_CURRENT_USER, "SOFTWARE\\Kolvanex", KEY_READ);
    LONG st = 0;
    EXPECT_EQ(subKeyAt(*reg_, software, 0), "Kolvanex");
    EXPECT_EQ(subKeyAt(*reg_, software, 1), "Übersicht");
    subKeyAt(*reg_, software, 2, &st);
    EXPECT_EQ(st, ERROR_NO_MORE_ITEMS);  // no empty-named keys were made

    // Names that are not UTF-8 text are refused, and nothing of their path is made.
    for (const std::string bad : {"Neu\\bad\xFF", "Neu\\\xED\xA0\x80", "Neu\\\xC3"}) {
        HKEY h = 0;
        EXPECT_EQ(reg_->RegCreateKeyExA(HKEY_CURRENT_USER, bad, 0, {}, 0, KEY_ALL_ACCESS, nullptr,
                                        &h, nullptr),
                  ERROR_INVALID_PARAMETER);
        EXPECT_EQ(setValue(*reg_, k, bad.substr(4), "x"), ERROR_INVALID_PARAMETER);
    }
    openKey(HKEY_CURRENT_USER, "Neu", KEY_READ, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(valueOf(*reg_, k, "bad\xFF"), "<2>");

    HKEY again = openKey(kv, "", KEY_ALL_ACCESS);
    EXPECT_NE(again, kv);
    EXPECT_EQ(reg_->RegCloseKey(kv), ERROR_SUCCESS);
    ASSERT_EQ(setValue(*reg_, again, "v", "1"), ERROR_SUCCESS);
    EXPECT_EQ(valueOf(*reg_, kolvanex, "v"), "1");
}

TEST_F(RegistryTest, HandlesAndRoots) {
    EXPECT_EQ(reg_->RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS);
    EXPECT_EQ(setValue(*reg_, HKEY_CURRENT_USER, "still", "open"), ERROR_SUCCESS);
    HKEY k = create(HKEY_CURRENT_USER, "Temp");
    EXPECT_EQ(reg_->RegCloseKey(k), ERROR_SUCCESS);
    EXPECT_EQ(reg_->RegCloseKey(k), ERROR_INVALID_HANDLE);
    EXPECT_EQ(valueOf(*reg_, k, "x"), "<6>");
    EXPECT_EQ(valueOf(*reg_, 0x80000005u, "x"), "<6>");  // HKEY_CURRENT_CONFIG is not kept
    EXPECT_EQ(reg_->RegOpenKeyExA(HKEY_CURRENT_USER, "Temp", 0, KEY_READ, nullptr),
              ERROR_INVALID_PARAMETER);
    std::uint8_t buf[4];
    EXPECT_EQ(reg_->RegQueryValueExA(HKEY_CURRENT_USER, "still", nullptr, nullptr, buf, nullptr),
              ERROR_INVALID_PARAMETER);

    EXPECT_EQ(rootFromName("hkey_current_user"), HKEY_CURRENT_USER);
    EXPECT_EQ(rootFromName("Hku"), HKEY_USERS);
    EXPECT_EQ(rootFromName("HKEY_CURRENT_CONFIG"), 0u);
}

TEST_F(RegistryTest, NonAdministratorCannotWriteMachineKeys) {
    HKEY vendor = create(HKEY_LOCAL_MACHINE, "Software\\Vendor");
    ASSERT_EQ(setValue(*reg_, vendor, "Version", "1.0"), ERROR_SUCCESS);
    auto user = Registry::open(db_, RegistryPolicy{.administrator = false});
    const std::string before = dump(*reg_);

    HKEY h = 0;
    ASSERT_EQ(user->RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Vendor", 0, KEY_READ, &h), 0);
    EXPECT_EQ(valueOf(*user, h, "Version"), "1.0");
    EXPECT_EQ(setValue(*user, h, "Version", "2.0"), ERROR_ACCESS_DENIED);
    for (DWORD sam : {KEY_WRITE, KEY_SET_VALUE, KEY_CREATE_SUB_KEY, DELETE_ACCESS, KEY_ALL_ACCESS,
                      DWORD{0x40000000} /* GENERIC_WRITE */}) {
        h = 0xdead;
        EXPECT_EQ(user->RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Vendor", 0, sam, &h),
                  ERROR_ACCESS_DENIED)
            << sam;
        EXPECT_EQ(h, 0u);
    }
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_USERS, HKEY_CLASSES_ROOT}) {
        EXPECT_EQ(
            user->RegCreateKeyExA(root, "Software\\New", 0, {}, 0, KEY_READ, nullptr, &h, nullptr),
            ERROR_ACCESS_DENIED);
        EXPECT_EQ(setValue(*user, root, "x", "y"), ERROR_ACCESS_DENIED);
    }
    EXPECT_EQ(user->RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Vendor"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(dump(*reg_), before);

    ASSERT_EQ(user->RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Mine", 0, {}, 0, KEY_WRITE,
                                    nullptr, &h, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(setValue(*user, h, "x", "y"), ERROR_SUCCESS);
}

TEST_F(RegistryTest, ReadOnlyKeysAndReadHandlesRefuseWrites) {
    HKEY app = create(HKEY_CURRENT_USER, "App");  // opened for writing before the marking
    reg_->RegCloseKey(create(HKEY_CURRENT_USER, "App\\Child"));
    ASSERT_EQ(setValue(*reg_, app, "v", "old"), ERROR_SUCCESS);
    EXPECT_EQ(reg_->setKeyReadOnly(HKEY_CURRENT_USER, "Nope", true), ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(reg_->setKeyReadOnly(HKEY_CURRENT_USER, "APP", true), ERROR_SUCCESS);
    const std::string before = dump(*reg_);

    openKey(HKEY_CURRENT_USER, "App", KEY_SET_VALUE, ERROR_ACCESS_DENIED);
    HKEY read = openKey(HKEY_CURRENT_USER, "App", KEY_READ);
    EXPECT_EQ(valueOf(*reg_, read, "v"), "old");
    EXPECT_EQ(setValue(*reg_, app, "v", "new"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(reg_->RegDeleteValueA(app, "v"), ERROR_ACCESS_DENIED);
    HKEY h = 0;
    EXPECT_EQ(reg_->RegCreateKeyExA(HKEY_CURRENT_USER, "App\\New\\Deeper", 0, {}, 0, KEY_READ,
                                    nullptr, &h, nullptr),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(reg_->RegDeleteKeyA(HKEY_CURRENT_USER, "App\\Child"), ERROR_SUCCESS);
    EXPECT_EQ(reg_->RegDeleteKeyA(HKEY_CURRENT_USER, "App"), ERROR_ACCESS_DENIED);
    const std::string childLine = "[HKEY_CURRENT_USER\\App\\Child]\n";
    std::string expected = before;
    expected.erase(expected.find(childLine), childLine.size());
    EXPECT_EQ(dump(*reg_), expected);

    ASSERT_EQ(reg_->setKeyReadOnly(HKEY_CURRENT_USER, "App", false), ERROR_SUCCESS);
    EXPECT_EQ(setValue(*reg_, app, "v", "new"), ERROR_SUCCESS);

    // A handle without KEY_SET_VALUE / KEY_CREATE_SUB_KEY cannot write, even on a
    // writable key; opening an existing subkey through it still works.
    reg_->RegCloseKey(create(HKEY_CURRENT_USER, "App\\Existing"));
    EXPECT_EQ(setValue(*reg_, read, "v", "x"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(reg_->RegDeleteValueA(read, "v"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(reg_->RegCreateKeyExA(read, "Fresh", 0, {}, 0, KEY_READ, nullptr, &h, nullptr),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(reg_->RegCreateKeyExA(read, "Existing", 0, {}, 0, KEY_READ, nullptr, &h, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(valueOf(*reg_, app, "v"), "new");
}

TEST_F(RegistryTest, DeletedKeysAnswerKeyDeletedAndTreesGoAllOrNothing) {
    HKEY doomed = create(HKEY_CURRENT_USER, "Doomed");
    ASSERT_EQ(reg_->RegDeleteKeyA(HKEY_CURRENT_USER, "doomed"), ERROR_SUCCESS);
    EXPECT_EQ(valueOf(*reg_, doomed, "x"), "<1018>");
    EXPECT_EQ(setValue(*reg_, doomed, "x", "y"), ERROR_KEY_DELETED);
    EXPECT_EQ(subKeyAt(*reg_, doomed, 0).size(), 0u);
    HKEY h = 0;
    EXPECT_EQ(reg_->RegOpenKeyExA(doomed, "", 0, KEY_READ, &h), ERROR_KEY_DELETED);
    // A new key at the same path is a different key: the old handle stays dead.
    HKEY reborn = create(HKEY_CURRENT_USER, "Doomed");
    ASSERT_EQ(setValue(*reg_, reborn, "x", "new"), ERROR_SUCCESS);
    EXPECT_EQ(valueOf(*reg_, doomed, "x"), "<1018>");
    EXPECT_EQ(reg_->RegCloseKey(doomed), ERROR_SUCCESS);
    ASSERT_EQ(reg_->RegDeleteKeyA(reborn, ""), ERROR_SUCCESS);
    EXPECT_EQ(valueOf(*reg_, reborn, "x"), "<1018>");

    // Deleting a tree is all or nothing.
    reg_->RegCloseKey(create(HKEY_CURRENT_USER, "Tree\\A\\Locked"));
    HKEY b = create(HKEY_CURRENT_USER, "Tree\\B");
    ASSERT_EQ(setValue(*reg_, b, "v", "1"), ERROR_SUCCESS);
    ASSERT_EQ(reg_->setKeyReadOnly(HKEY_CURRENT_USER, "Tree\\A\\Locked", true), 0);
    const std::string before = dump(*reg_);
    EXPECT_EQ(deleteKeyTree(*reg_, HKEY_CURRENT_USER, "Tree"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(dump(*reg_), before);
    ASSERT_EQ(reg_->setKeyReadOnly(HKEY_CURRENT_USER, "Tree\\A\\Locked", false), 0);
    EXPECT_EQ(deleteKeyTree(*reg_, HKEY_CURRENT_USER, "Tree"), ERROR_SUCCESS);
    openKey(HKEY_CURRENT_USER, "Tree", KEY_READ, ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, TransactionsApplyAllOrNothing) {
    HKEY k = create(HKEY_CURRENT_USER, "Tx");
    EXPECT_EQ(reg_->transaction([&] {
        setValue(*reg_, k, "a", "1");
        setValue(*reg_, k, "b", "2");
        return ERROR_ACCESS_DENIED;
    }),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(valueOf(*reg_, k, "a"), "<2>");

    HKEY readOnly = openKey(k, "", KEY_READ);
    EXPECT_EQ(reg_->transaction([&] {
        EXPECT_EQ(setValue(*reg_, k, "a", "1"), ERROR_SUCCESS);
        // A refused call and a failed inner transaction undo only themselves.
        EXPECT_EQ(setValue(*reg_, readOnly, "c", "3"), ERROR_ACCESS_DENIED);
        EXPECT_EQ(reg_->transaction([&] {
            setValue(*reg_, k, "b", "2");
            return ERROR_INVALID_PARAMETER;
        }),
                  ERROR_INVALID_PARAMETER);
        return ERROR_SUCCESS;
    }),
              ERROR_SUCCESS);
    EXPECT_EQ(valueOf(*reg_, k, "a"), "1");
    EXPECT_EQ(valueOf(*reg_, k, "b"), "<2>");

    EXPECT_THROW(reg_->transaction([&]() -> LONG {
        setValue(*reg_, k, "d", "4");
        throw std::runtime_error("boom");
    }),
                 std::runtime_error);
    EXPECT_EQ(valueOf(*reg_, k, "d"), "<2>");
    EXPECT_EQ(setValue(*reg_, k, "e", "5"), ERROR_SUCCESS);  // no transaction left dangling
    auto other = Registry::open(db_);
    HKEY h = 0;
    ASSERT_EQ(other->RegOpenKeyExA(HKEY_CURRENT_USER, "Tx", 0, KEY_READ, &h), 0);
    EXPECT_EQ(valueOf(*other, h, "e"), "5");
}

TEST_F(RegistryTest, DatabaseIsSharedPersistentAndChecked) {
    HKEY k = create(HKEY_CURRENT_USER, "Shared");
    auto other = Registry::open(db_);
    HKEY h = 0;
    ASSERT_EQ(other->RegOpenKeyExA(HKEY_CURRENT_USER, "shared", 0, KEY_ALL_ACCESS, &h), 0);
    ASSERT_EQ(setValue(*other, h, "from", "other"), ERROR_SUCCESS);
    EXPECT_EQ(valueOf(*reg_, k, "from"), "other");

    // While one connection holds a write transaction the other still reads,
    // and a write that cannot get in reports failure and changes nothing.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(reg_->transaction([&] {
        EXPECT_EQ(valueOf(*other, h, "from"), "other");
        EXPECT_EQ(setValue(*other, h, "blocked", "x"), ERROR_BUSY);
        return ERROR_SUCCESS;
    }),
              ERROR_SUCCESS);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
    EXPECT_EQ(valueOf(*reg_, k, "blocked"), "<2>");

    reg_.reset();
    other.reset();
    reg_ = Registry::open(db_);
    ASSERT_EQ(reg_->RegOpenKeyExA(HKEY_CURRENT_USER, "Shared", 0, KEY_READ, &h), 0);
    EXPECT_EQ(valueOf(*reg_, h, "from"), "other");

    std::ofstream(dir_ / "junk.db") << "this is no database, just some text that is long enough";
    EXPECT_THROW(Registry::open(dir_ / "junk.db"), std::runtime_error);
    EXPECT_THROW(Registry::open(dir_ / "missing" / "r.db"), std::runtime_error);
}

// Two processes write at once, each counting in read-modify-write transactions:
// every write lands and no busy database leaks out as an error.
TEST_F(RegistryTest, ConcurrentProcessesLoseNoWrites) {
    reg_.reset();  // nothing of SQLite may cross the fork
    constexpr int kRounds = 150;
    const auto work = [&](const std::string& who) {
        auto reg = Registry::open(db_);
        HKEY k = 0;
        if (reg->RegCreateKeyExA(HKEY_CURRENT_USER, "Race", 0, {}, 0, KEY_ALL_ACCESS, nullptr, &k,
                                 nullptr))
            return false;
        for (int i = 0; i < kRounds; ++i) {
            if (setValue(*reg, k, who + std::to_string(i), who))
                return false;
            const LONG st = reg->transaction([&] {
                DWORD n = 0, size = sizeof n;
                LONG r = reg->RegQueryValueExA(k, "count", nullptr, nullptr,
                                               reinterpret_cast<std::uint8_t*>(&n), &size);
                if (r && r != ERROR_FILE_NOT_FOUND)
                    return r;
                ++n;
                return reg->RegSetValueExA(k, "count", 0, REG_DWORD,
                                           reinterpret_cast<std::uint8_t*>(&n), sizeof n);
            });
            if (st)
                return false;
        }
        return true;
    };
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        ::_exit(work("child") ? 0 : 1);
    const bool parentOk = work("parent");
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(parentOk);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    reg_ = Registry::open(db_);
    HKEY k = openKey(HKEY_CURRENT_USER, "Race", KEY_READ);
    const std::string count = valueOf(*reg_, k, "count");
    ASSERT_EQ(count.size(), 4u);
    DWORD n = 0;
    std::memcpy(&n, count.data(), 4);
    EXPECT_EQ(n, 2u * kRounds);
    for (int i = 0; i < kRounds; ++i) {
        EXPECT_EQ(valueOf(*reg_, k, "child" + std::to_string(i)), "child");
        EXPECT_EQ(valueOf(*reg_, k, "parent" + std::to_string(i)), "parent");
    }
}

}  // namespace
}  // namespace kx::platform
