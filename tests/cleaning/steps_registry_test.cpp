// The registry and system steps: numbered series that stop at a gap, the
// lists removed, Word's lists through a fake Word and the exception that
// spares them, the messenger service by system, auto-complete both ways.
#include <map>

#include "cleaning/destroy_steps.hpp"
#include "platform/runtime/automation_objects.hpp"
#include "steps_fixture.hpp"

namespace kx::test {
namespace {

using platform::HKEY_CLASSES_ROOT;
using platform::HKEY_CURRENT_USER;
using platform::HKEY_LOCAL_MACHINE;
using platform::Variant;

// An automation object holding properties, logging every call by name.
class FakeObject final : public platform::Dispatch {
  public:
    FakeObject(std::vector<std::string>& log) : log_(log) {}
    std::string_view typeName() const override { return "Fake"; }
    Variant get(std::string_view p) override {
        log_.push_back("get " + std::string(p));
        return properties.at(std::string(p));
    }
    void put(std::string_view p, const Variant& v) override {
        log_.push_back("put " + std::string(p) + "=" + platform::toText(v));
        properties[std::string(p)] = v;
    }
    Variant call(std::string_view m, const std::vector<platform::NamedArgument>& args) override {
        std::string line = "call " + std::string(m);
        for (const auto& a : args) line += " " + a.name + "=" + platform::toText(a.value);
        log_.push_back(line);
        return {};
    }
    std::map<std::string, Variant> properties;

  private:
    std::vector<std::string>& log_;
};

class RegistryStepsTest : public StepsTest {
  protected:
    std::vector<std::string> wordCalls;
    platform::ObjectFactoryScope word{"Word.Application", [this] {
                                          auto recent = std::make_shared<FakeObject>(wordCalls);
                                          recent->properties["Maximum"] = Variant(std::int32_t{9});
                                          auto app = std::make_shared<FakeObject>(wordCalls);
                                          app->properties["RecentFiles"] =
                                              Variant(platform::ObjectRef(recent));
                                          return app;
                                      }};
};

TEST_F(RegistryStepsTest, HistoryClearsSeriesUpToTheirFirstGapAndTheLists) {
    const std::string typed = "Software\\Microsoft\\Internet Explorer\\TypedURLs";
    for (const char* n : {"url1", "url2", "url3", "url4", "url5", "url7"})
        setString(HKEY_CURRENT_USER, typed, n, "http://x/");
    const std::string clips =
        "Software\\RealNetworks\\RealPlayer\\9.0\\Preferences\\MostRecentClips";
    for (const char* n : {"1", "2", "3", "5"}) makeKey(HKEY_LOCAL_MACHINE, clips + n);
    const std::string runMru = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RunMRU";
    makeKey(HKEY_CURRENT_USER, runMru);
    makeKey(HKEY_CURRENT_USER, "Software\\Kazaa\\Search");
    for (const auto text :
         {std::string_view("c:\\a.tmp"), cleaning::kHistoryMarker, cleaning::kHistoryMarker})
        cleaning::foundList().add(std::string(text));

    cleaning::cleanRegistryHistory(context());
    cleaning::clearKazaaLists(context());

    for (const char* n : {"url1", "url2", "url3", "url4", "url5"})
        EXPECT_EQ(value(HKEY_CURRENT_USER, typed, n), "<none>") << n;
    EXPECT_EQ(value(HKEY_CURRENT_USER, typed, "url7"), "http://x/");
    for (const char* n : {"1", "2", "3"}) EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, clips + n));
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, clips + "5"));
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, runMru));
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, "Software\\Kazaa\\Search"));
    EXPECT_EQ(found(),
              (std::vector<std::string>{"c:\\a.tmp", std::string(cleaning::kHistoryMarker)}));
}

TEST_F(RegistryStepsTest, WordListsGoThroughWordUnlessAnExceptionNamesWord) {
    const std::string wordOpen =
        "Software\\Microsoft\\Office\\9.0\\Common\\Open Find\\Microsoft "
        "Word\\Settings\\Öffnen\\File Name MRU";
    makeKey(HKEY_CURRENT_USER, wordOpen);
    cleaning::setExceptionPatterns(cleaning::runState(), {"*WORD*"});
    cleaning::cleanRegistryHistory(context());
    EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, wordOpen));
    EXPECT_TRUE(wordCalls.empty());

    cleaning::setExceptionPatterns(cleaning::runState(), {});
    cleaning::cleanRegistryHistory(context());
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, wordOpen));
    EXPECT_EQ(wordCalls, (std::vector<std::string>{"get RecentFiles", "get Maximum",
                                                   "put Maximum=0", "put DisplayRecentFiles=True",
                                                   "put Maximum=9", "call quit savechanges=True"}));
}

TEST_F(RegistryStepsTest, MessengerIsStoppedOrStartedOnTheNtFamilyOnly) {
    const std::string service = "SYSTEM\\CurrentControlSet\\Services\\Messenger";
    makeKey(HKEY_LOCAL_MACHINE, service);
    cleaning::setMessengerService(context());  // "MessengerOff" is on by default
    EXPECT_EQ(value(HKEY_LOCAL_MACHINE, service, "CurrentState"), "1");
    set(settings::keys::MessengerOff, "0");
    cleaning::setMessengerService(context());
    EXPECT_EQ(value(HKEY_LOCAL_MACHINE, service, "CurrentState"), "4");
    EXPECT_EQ(statusLines().back(), "Aktiviere Windows-Nachrichtendienst");

    setMachineIni("version", "platform", "1");  // Windows 98
    setMachineIni("version", "major", "4");
    setMachineIni("version", "minor", "10");
    set(settings::keys::MessengerOff, "1");
    cleaning::setMessengerService(context());
    EXPECT_EQ(value(HKEY_LOCAL_MACHINE, service, "CurrentState"), "4");
}

TEST_F(RegistryStepsTest, AutoCompleteValuesFollowTheSettingBothWays) {
    const std::string main = "Software\\Microsoft\\Internet Explorer\\Main";
    const auto state = [&] {
        return value(HKEY_CURRENT_USER, main, "FormSuggest Passwords") + " " +
               value(HKEY_CURRENT_USER, main, "Use FormSuggest") + " " +
               value(HKEY_CURRENT_USER,
                     "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings",
                     "DisablePasswordCaching") +
               " " +
               value(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Lsa",
                     "DisableDomainCreds");
    };
    set(settings::keys::AutoFillOff, "1");
    cleaning::setAutoComplete(context());
    EXPECT_EQ(state(), "no no 1 1");
    const auto lines = statusLines().size();
    set(settings::keys::AutoFillOff, "0");
    cleaning::setAutoComplete(context());
    EXPECT_EQ(state(), "yes yes 0 0");
    EXPECT_EQ(statusLines().size(), lines);  // silently
}

}  // namespace
}  // namespace kx::test
