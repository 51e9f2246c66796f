// What an English-speaking user reads of the controls: the runtime's error
// descriptions, and the line the message loop reports for a failed callback.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/runtime/variant.hpp"
#include "platform/ui/controls.hpp"
#include "platform/ui/message_loop.hpp"
#include "platform/ui/view.hpp"
#include "support/language.hpp"

namespace kx::platform::ui {
namespace {

std::string descriptionOf(const std::function<void()>& work) {
    try {
        work();
    } catch (const RuntimeError& e) {
        return e.description;
    }
    return "(no error)";
}

TEST(EnglishControls, RuntimeErrorsAndLoopReportsInEnglish) {
    KX_ONLY_IN_ENGLISH();
    ScriptedView view;
    ViewScope scope{view};
    ComboBox combo("cbo");
    combo.list = {"one"};
    ImageList images("img");
    images.add("key", "a.bmp");
    ListView list("lv");
    Form form("frm");
    form.show(false);
    const struct {
        const char* what;
        std::function<void()> work;
        const char* english;
    } cases[] = {
        {"choice past the list", [&] { combo.choose(1); }, "Invalid property value"},
        {"key twice", [&] { images.add("key", "b.bmp"); }, "Key is not unique in collection"},
        {"item of an empty list", [&] { list.item(0); }, "Index out of bounds"},
        {"modal while shown", [&] { form.show(true); },
         "Form already displayed; can't show modally"},
    };
    for (const auto& c : cases) EXPECT_EQ(descriptionOf(c.work), c.english) << c.what;

    auto& loop = MessageLoop::current();
    std::vector<std::string> reports;
    loop.setErrorReporter([&](std::string_view message) { reports.emplace_back(message); });
    const auto bad = loop.addSource([] { throw RuntimeError{5, "Invalid procedure call"}; });
    view.post([] { throw std::runtime_error("view broke"); });
    yield();
    loop.removeSource(bad);
    loop.setErrorReporter(nullptr);
    EXPECT_EQ(reports,
              (std::vector<std::string>{"an event source failed: Invalid procedure call (5)",
                                        "a view event failed: view broke"}));
}

}  // namespace
}  // namespace kx::platform::ui
