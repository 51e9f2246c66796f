// The user's language from the environment, the catalogue lookup and the
// filling of places, which a translation may order differently.
#include "platform/runtime/translation.hpp"

#include <gtest/gtest.h>

#include "support/language.hpp"

#include <map>
#include <string>

namespace kx::platform {
namespace {

TEST(TranslationTest, TheFirstSetVariableChoosesGermanOnlyForGermanLocales) {
    using Env = std::map<std::string_view, std::string_view>;
    const struct {
        Env env;
        Language expected;
    } cases[] = {
        {{}, Language::English},
        {{{"LANG", "de_DE.UTF-8"}}, Language::German},
        {{{"LANG", "de"}}, Language::German},
        {{{"LANG", "de_AT@euro"}}, Language::German},
        {{{"LANG", "deu"}}, Language::English},  // not a German locale name
        {{{"LANG", "C.UTF-8"}}, Language::English},
        {{{"LANG", "de_DE.UTF-8"}, {"LC_MESSAGES", "en_GB.UTF-8"}}, Language::English},
        {{{"LANG", "en_US.UTF-8"}, {"LC_ALL", "de_CH.UTF-8"}}, Language::German},
        {{{"LC_ALL", "de_DE.UTF-8"}, {"LANGUAGE", "en:de"}}, Language::English},
        {{{"LANG", "en_US.UTF-8"}, {"LANGUAGE", "de:en"}}, Language::German},
        {{{"LANG", "de_DE.UTF-8"}, {"LANGUAGE", ""}, {"LC_ALL", ""}}, Language::German},
    };
    for (const auto& c : cases) {
        const auto lookup = [&](std::string_view name) {
            const auto found = c.env.find(name);
            return found == c.env.end() ? std::string_view() : found->second;
        };
        std::string trace;
        for (const auto& [name, value] : c.env)
            trace += std::string(name) + "=" + std::string(value) + " ";
        SCOPED_TRACE(trace);
        EXPECT_EQ(languageOf(lookup), c.expected);
    }
}

TEST(TranslationTest, EnglishComesFromTheCatalogueAndUnknownTextsStayGerman) {
    EXPECT_EQ(translate("Telefonnummer", Language::English), "Phone number");
    EXPECT_EQ(translate("Telefonnummer", Language::German), "Telefonnummer");
    EXPECT_EQ(translate("Kein Eintrag dafür", Language::English), "Kein Eintrag dafür");
    EXPECT_EQ(translate("", Language::English), "");
}

TEST(TranslationTest, PlacesAreFilledInTheTranslationsOrder) {
    const struct {
        std::string_view text;
        std::initializer_list<std::string_view> args;
        std::string_view expected;
    } cases[] = {
        {"{1} von {2}", {"3", "7"}, "3 von 7"},
        {"{2} vor {1}", {"a", "b"}, "b vor a"},
        {"{1}{1}", {"x"}, "xx"},
        {"{{1} bleibt", {"x"}, "{1} bleibt"},
        {"{3} fehlt", {"x"}, "{3} fehlt"},
        {"{} {a} {1", {"x"}, "{} {a} {1"},
        {"{99999999999999999999}", {"x"}, "{99999999999999999999}"},
        {"{1}", {"{2}", "y"}, "{2}"},  // an argument is not looked at again
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.text));
        EXPECT_EQ(format(c.text, c.args, Language::German), c.expected);
    }
    EXPECT_EQ(format("Die verdächtigen DFÜ Verbindungen wurden entfernt. {1} wiederholt die "
                     "Prüfung auf verdächtige Verbindungen bei jedem Reinigungsvorgang",
                     {"Tarnkappe"}, Language::English),
              "The suspicious dial-up connections have been removed. Tarnkappe repeats the check "
              "for suspicious connections with every cleaning run");
}

// The build runs a test named ...InEnglish in English.
TEST(TranslationTest, TheEnvironmentsLanguageIsTheUsersInEnglish) {
    KX_ONLY_IN_ENGLISH();
    EXPECT_EQ(tr("Telefonnummer"), "Phone number");
    EXPECT_EQ(trf("Die verdächtigen DFÜ Verbindungen wurden entfernt. {1} wiederholt die "
                  "Prüfung auf verdächtige Verbindungen bei jedem Reinigungsvorgang",
                  {"Kolvanex"}),
              "The suspicious dial-up connections have been removed. Kolvanex repeats the check "
              "for suspicious connections with every cleaning run");
}

}  // namespace
}  // namespace kx::platform
