#include "facade/dispatch.hpp"

#include <gtest/gtest.h>

#include <set>
#include <tuple>

#include "core/shared_state.hpp"
#include "platform/runtime/text.hpp"
#include "platform/ui/controls.hpp"

namespace kx {
namespace {

TEST(DispatchTest, EveryMemberIsListedOnceWithItsParameters) {
    std::set<std::string> names;
    for (const auto& m : members()) {
        EXPECT_TRUE(names.insert(platform::vbLCase(m.name)).second) << m.name;
        EXPECT_TRUE(static_cast<bool>(m.invoke)) << m.name;
    }
    // The odd spellings of the interface are kept.
    for (const char* name : {"ProgessShow", "UnloadProgess", "KXCriptFolders", "GetIPAdress",
                             "GetIPAddress", "Betriebssystem", "GetSpecialfolder"}) {
        EXPECT_NE(findMember(name), nullptr) << name;
    }
    EXPECT_EQ(members().size(), 122u);

    const auto* dlg = findMember("showopendlg");
    ASSERT_NE(dlg, nullptr);
    ASSERT_EQ(dlg->params.size(), 4u);
    EXPECT_EQ(dlg->params[1].name, "strFilter");
    EXPECT_TRUE(dlg->params[1].byRef);
    EXPECT_EQ(dlg->params[1].type, ParamType::String);

    const auto* ras = findMember("RASConnect");
    ASSERT_NE(ras, nullptr);
    EXPECT_EQ(ras->requiredCount(), 1u);
    EXPECT_EQ(ras->params[1].name, "DFÜName");
    EXPECT_TRUE(ras->params[2].optional);

    const auto* hostByName = findMember("HostByName");
    ASSERT_NE(hostByName, nullptr);
    EXPECT_TRUE(hostByName->params[1].byRef && hostByName->params[1].optional);
    EXPECT_EQ(hostByName->params[1].type, ParamType::Integer);
}

TEST(DispatchTest, CallsConvertArgumentsAndWriteBackInOutOnes) {
    resetShared();
    CKOLVANEX object;
    std::vector<Variant> args{Variant(std::int32_t{256})};
    auto result = invoke(object, "hibyte", args);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->get<std::uint8_t>(), 1);

    // Text coerces to the declared type as the runtime does; junk is a type mismatch.
    args = {Variant("-1")};
    EXPECT_EQ(invoke(object, "lobyte", args)->get<std::uint8_t>(), 255);
    args = {Variant("abc")};
    EXPECT_EQ(invoke(object, "lobyte", args).error().number, 13);
    args = {Variant(std::int32_t{70000})};
    EXPECT_EQ(invoke(object, "lobyte", args).error().number, 6);  // overflow of an Integer

    auto strip = std::make_shared<platform::ui::TabStrip>("ts");
    strip->tabs = {"a", "b"};
    strip->selectedIndex = 2;
    args = {Variant(ObjectRef(strip)), Variant(std::int16_t{9}), Variant(std::int16_t{2})};
    ASSERT_TRUE(invoke(object, "ChangeTabControl", args));
    EXPECT_EQ(strip->selectedIndex, 1);
    // A wrong kind of object is refused, not misused.
    args = {Variant(ObjectRef(std::make_shared<platform::ui::Form>("f"))), Variant(std::int16_t{9}),
            Variant(std::int16_t{2})};
    EXPECT_EQ(invoke(object, "ChangeTabControl", args).error().number, 13);

    args = {Variant(std::int32_t{0}), Variant("A|*.a"), Variant("t"), Variant("")};
    ASSERT_TRUE(invoke(object, "ShowSaveDlg", args));
    EXPECT_EQ(args[1].get<std::string>(), std::string("A\0*.a\0", 6));
}

TEST(DispatchTest, PropertiesReadAndWriteAndBadCallsAnswerAutomationErrors) {
    resetShared();
    CKOLVANEX object;
    std::vector<Variant> args{Variant("Tarnkappe")};
    ASSERT_TRUE(invoke(object, "KXAppTitle", args));
    std::vector<Variant> none;
    EXPECT_EQ(invoke(object, "kxapptitle", none)->get<std::string>(), "Tarnkappe");
    args = {Variant("True")};
    ASSERT_TRUE(invoke(object, "gbBreak", args));
    EXPECT_TRUE(shared().gbBreak);
    resetShared();

    // The errors speak the user's language, as the runtime's own do.
    std::vector<Variant> junk{Variant("abc")};
    std::vector<Variant> tooMany{Variant("a"), Variant("b")};
    for (const auto& [name, arguments, number, text] :
         std::vector<std::tuple<std::string, std::vector<Variant>*, int, std::string>>{
             {"NoSuchThing", &none, 438,
              "Objekt unterstützt diese Eigenschaft oder Methode nicht: NoSuchThing"},
             {"AddBackslash", &none, 450,
              "Falsche Anzahl an Argumenten oder ungültige Zuweisung an eine Eigenschaft: "
              "AddBackslash"},
             {"AddBackslash", &tooMany, 450,
              "Falsche Anzahl an Argumenten oder ungültige Zuweisung an eine Eigenschaft: "
              "AddBackslash"},
             {"lobyte", &junk, 13, "Typen unverträglich"},
         }) {
        const auto error = invoke(object, name, *arguments).error();
        EXPECT_EQ(error.number, number) << name;
        EXPECT_EQ(error.description, text) << name;
    }
}

}  // namespace
}  // namespace kx
