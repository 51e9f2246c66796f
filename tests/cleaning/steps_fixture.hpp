#pragma once
// The destroy steps one at a time, on the cleaning run's throw-away machine
// with a manual loop clock (the steps' waits cost nothing), with the
// registry and machine.ini helpers the step tests share.
#include <filesystem>
#include <string>

#include "platform/files/ini.hpp"
#include "platform/registry/registry_key.hpp"
#include "run_fixture.hpp"

namespace kx::test {

class StepsTest : public CleaningRunTest {
  protected:
    void SetUp() override {
        CleaningRunTest::SetUp();
        platform::ui::MessageLoop::current().setClock(&clock);
    }
    void TearDown() override {
        platform::ui::MessageLoop::current().setClock(nullptr);
        CleaningRunTest::TearDown();
    }

    void setString(platform::HKEY root, const std::string& key, const std::string& name,
                   const std::string& text) {
        auto& reg = tm->registry();
        platform::HKEY h = 0;
        ASSERT_EQ(reg.RegCreateKeyExA(root, key, 0, "", 0, platform::KEY_ALL_ACCESS, nullptr, &h,
                                      nullptr),
                  0);
        platform::RegKey guard(reg, h);
        reg.RegSetValueExA(h, name, 0, platform::REG_SZ,
                           reinterpret_cast<const std::uint8_t*>(text.data()),
                           static_cast<platform::DWORD>(text.size()));
    }
    void makeKey(platform::HKEY root, const std::string& key) { setString(root, key, "x", "1"); }
    bool keyExists(platform::HKEY root, const std::string& key) {
        return value(root, key, "") != "<no key>";
    }
    /// The value as text (a number for REG_DWORD); "<none>" when absent.
    std::string value(platform::HKEY root, const std::string& key, const std::string& name) {
        auto& reg = tm->registry();
        platform::HKEY h = 0;
        if (reg.RegOpenKeyExA(root, key, 0, platform::KEY_QUERY_VALUE, &h) != 0)
            return "<no key>";
        platform::RegKey guard(reg, h);
        platform::DWORD type = 0, size = 64;
        std::uint8_t data[64] = {};
        if (reg.RegQueryValueExA(h, name, nullptr, &type, data, &size) != 0)
            return "<none>";
        if (type == platform::REG_DWORD)
            return std::to_string(*reinterpret_cast<const std::uint32_t*>(data));
        return std::string(reinterpret_cast<const char*>(data), size);
    }

    /// Changes machine.ini and opens the machine again, as a new process would.
    void setMachineIni(const std::string& section, const std::string& key,
                       const std::string& text) {
        const auto file = tm.prefix() / "machine.ini";
        auto ini = platform::IniFile::load(file);
        ASSERT_TRUE(ini.has_value());
        ini->set(section, key, text);
        ASSERT_TRUE(ini->save(file).has_value());
        tm.reopen();
    }

    platform::ui::ManualClock clock;
};

}  // namespace kx::test
