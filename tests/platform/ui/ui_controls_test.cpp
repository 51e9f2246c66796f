// The controls as a form model uses them: values and their events, option
// groups, the list view's items, selection, scrolling and order, ranges that
// refuse bad values, and the form's load/show/unload lifecycle through a
// scripted view.
#include "platform/ui/controls.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/processes/desktop.hpp"
#include "platform/ui/view.hpp"
#include "platform/ui/windows.hpp"

namespace kx::platform::ui {
namespace {

std::int32_t errorOf(const std::function<void()>& work) {
    try {
        work();
    } catch (const RuntimeError& e) {
        return e.number;
    }
    return 0;
}

// The title the window manager reports for a window.
std::string titleOf(HWND hwnd) {
    char buffer[256] = {};
    kx::platform::GetWindowTextA(hwnd, buffer, sizeof buffer);
    return buffer;
}

std::vector<std::string> texts(const ListView& list) {
    std::vector<std::string> out;
    for (const auto& item : list.items()) out.push_back(item->text);
    return out;
}

class ControlsTest : public ::testing::Test {
  protected:
    ScriptedView view;
    ViewScope scope{view};
};

TEST_F(ControlsTest, OptionButtonsKeepExactlyOneChoicePerContainer) {
    Form form("f");
    auto a = form.add<OptionButton>("optA");
    auto b = form.add<OptionButton>("optB");
    auto c = form.add<OptionButton>("optC");
    auto x = form.add<OptionButton>("optX");
    auto y = form.add<OptionButton>("optY");
    x->container = "fraOther";
    y->container = "fraOther";
    std::vector<std::string> clicks;
    for (const auto& o : {a, b, c, x, y})
        o->Click = [&clicks, name = o->name()] { clicks.push_back(name); };

    a->click();
    x->click();
    b->click();
    EXPECT_FALSE(a->value);
    EXPECT_TRUE(b->value);
    EXPECT_FALSE(c->value);
    EXPECT_TRUE(x->value);  // another frame's group is untouched
    EXPECT_FALSE(y->value);

    // Clicking the chosen one again changes nothing and fires nothing.
    b->click();
    EXPECT_EQ(clicks, (std::vector<std::string>{"optA", "optX", "optB"}));

    // Code selecting by value behaves as a click; false clears only itself.
    c->setValue(true);
    EXPECT_FALSE(b->value);
    EXPECT_TRUE(c->value);
    c->setValue(false);
    EXPECT_FALSE(a->value || b->value || c->value);
    EXPECT_EQ(clicks.back(), "optC");

    // A disabled option does not take the click.
    a->enabled = false;
    a->click();
    EXPECT_FALSE(a->value);
}

TEST_F(ControlsTest, ValueControlsFireOnlyOnChangeAndRefuseBadValuesAndRanges) {
    CheckBox box("chk");
    int clicks = 0;
    box.Click = [&] { ++clicks; };
    box.click();
    EXPECT_EQ(box.value, 1);
    box.click();
    EXPECT_EQ(box.value, 0);
    box.setValue(2);
    box.click();  // grayed is not checked: a click checks it
    EXPECT_EQ(box.value, 1);
    box.setValue(1);  // no change, no Click
    EXPECT_EQ(clicks, 4);
    EXPECT_EQ(errorOf([&] { box.setValue(3); }), kInvalidPropertyValue);
    EXPECT_EQ(box.value, 1);

    TextBox text("txt");
    int changes = 0;
    text.Change = [&] { ++changes; };
    text.setText("a");
    text.setText("a");
    text.setText("b");
    EXPECT_EQ(changes, 2);

    ComboBox combo("cbo");
    combo.list = {"eins", "zwei"};
    int chosen = 0;
    combo.Click = [&] { ++chosen; };
    combo.choose(1);
    EXPECT_EQ(combo.text, "zwei");
    EXPECT_EQ(errorOf([&] { combo.choose(2); }), kInvalidPropertyValue);
    combo.enabled = false;
    combo.choose(0);  // a disabled box takes no choice
    EXPECT_EQ(combo.text, "zwei");
    EXPECT_EQ(chosen, 1);

    TabStrip strip("ts");
    strip.tabs = {"eins", "zwei"};
    int tabClicks = 0;
    strip.Click = [&] { ++tabClicks; };
    strip.select(2);
    strip.select(2);
    EXPECT_EQ(tabClicks, 1);
    EXPECT_EQ(errorOf([&] { strip.select(3); }), kInvalidPropertyValue);
    EXPECT_EQ(errorOf([&] { strip.select(0); }), kInvalidPropertyValue);
    EXPECT_EQ(strip.selectedIndex, 2);

    Slider slider("sld");
    int slides = 0, scrolls = 0;
    slider.Change = [&] { ++slides; };
    slider.Scroll = [&] { ++scrolls; };
    slider.setMax(20);
    slider.setValue(15);
    EXPECT_EQ(errorOf([&] { slider.setValue(21); }), kInvalidPropertyValue);
    slider.slide(99);  // a drag is held to the range
    EXPECT_EQ(slider.value(), 20);
    slider.setMax(12);  // the value follows a shrinking range
    EXPECT_EQ(slider.value(), 12);
    EXPECT_EQ(slides, 3);
    EXPECT_EQ(scrolls, 1);
    EXPECT_EQ(errorOf([&] { slider.setMin(13); }), kInvalidPropertyValue);

    ProgressBar bar("pb");
    bar.setValue(50);
    EXPECT_EQ(bar.percent(), 50);
    EXPECT_EQ(errorOf([&] { bar.setValue(101); }), kInvalidPropertyValue);
    EXPECT_EQ(errorOf([&] { bar.setValue(-1); }), kInvalidPropertyValue);
    // An empty or inverted range would divide by zero when drawn.
    EXPECT_EQ(errorOf([&] { bar.setMax(0); }), kInvalidPropertyValue);
    EXPECT_EQ(errorOf([&] { bar.setMin(100); }), kInvalidPropertyValue);
    EXPECT_EQ(bar.min(), 0);
    EXPECT_EQ(bar.max(), 100);
    EXPECT_EQ(bar.value(), 50);

    bar.setMin(60);  // the value is pulled into the new range
    EXPECT_EQ(bar.value(), 60);
    EXPECT_EQ(bar.percent(), 0);
    bar.setMax(32767);
    bar.setValue(32767);
    EXPECT_EQ(bar.percent(), 100);
    bar.setMin(-32768);
    bar.setValue(0);
    EXPECT_EQ(bar.percent(), 50);  // no overflow over the whole Integer range

    // A long stretch after the value moves the bar, not the value; a new
    // value starts it afresh, and at the end there is nothing after.
    bar.setMin(1);
    bar.setMax(17);
    bar.setValue(9);
    bar.setStretchDone(500);
    EXPECT_EQ(bar.value(), 9);
    EXPECT_EQ(bar.percent(), 53);  // (8 + 0.5) / 16
    bar.setStretchDone(5000);
    EXPECT_EQ(bar.stretchDone(), 1000);
    bar.setValue(10);
    EXPECT_EQ(bar.stretchDone(), 0);
    bar.setValue(17);
    bar.setStretchDone(700);
    EXPECT_EQ(bar.percent(), 100);
}

TEST_F(ControlsTest, ListViewItemsSelectionAndScrolling) {
    ListView list("lv");
    for (int i = 0; i < 25; ++i) list.add("line " + std::to_string(i));
    list.insert(0, "first");
    EXPECT_EQ(list.item(0)->text, "first");
    EXPECT_EQ(list.item(25)->text, "line 24");
    EXPECT_EQ(errorOf([&] { list.item(26); }), kIndexOutOfBounds);
    EXPECT_EQ(errorOf([&] { list.insert(28, "x"); }), kIndexOutOfBounds);
    EXPECT_EQ(errorOf([&] { list.remove(26); }), kIndexOutOfBounds);

    // One selection at a time unless multiSelect.
    EXPECT_FALSE(list.selectedIndex());
    list.select(3);
    list.select(7);
    EXPECT_EQ(list.selectedIndex(), 7u);
    EXPECT_FALSE(list.item(3)->selected);
    list.multiSelect = true;
    list.select(2);
    EXPECT_TRUE(list.item(7)->selected);
    EXPECT_EQ(list.selectedIndex(), 2u);

    // Scrolls as little as needed: 10 rows on screen.
    list.ensureVisible(25);
    EXPECT_EQ(list.topIndex(), 16u);
    list.ensureVisible(20);  // already on screen
    EXPECT_EQ(list.topIndex(), 16u);
    list.ensureVisible(4);
    EXPECT_EQ(list.topIndex(), 4u);

    // A click selects and reports the item it hit.
    list.multiSelect = false;
    std::string clicked;
    int clicks = 0;
    list.ItemClick = [&](ListItem& item) { clicked = item.text; };
    list.Click = [&] { ++clicks; };
    list.clickItem(5);
    EXPECT_EQ(clicked, "line 4");
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(list.selectedItem()->text, "line 4");

    list.remove(0);
    EXPECT_EQ(list.count(), 25u);
    EXPECT_EQ(list.item(0)->text, "line 0");
    list.clear();
    EXPECT_EQ(list.count(), 0u);
    EXPECT_EQ(list.topIndex(), 0u);
    EXPECT_FALSE(list.selectedItem());
}

TEST_F(ControlsTest, ListViewSortsByAnyColumnBothWaysAndKeepsOrderWhileSorted) {
    ListView list("lv");
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"beta", "2"}, {"Alpha", "3"}, {"gamma", "1"}, {"alpha", "9"}, {"Äpfel", "5"}};
    for (const auto& [text, sub] : rows) list.add(text)->setSubItem(1, sub);
    EXPECT_EQ(list.item(0)->columnText(2), "2");
    EXPECT_EQ(list.item(0)->columnText(3), "");

    list.setSorted(true);
    // Case does not count; equal keys keep their arrival order.
    EXPECT_EQ(texts(list), (std::vector<std::string>{"Alpha", "alpha", "beta", "gamma", "Äpfel"}));
    list.setSortOrder(SortOrder::Descending);
    EXPECT_EQ(texts(list), (std::vector<std::string>{"Äpfel", "gamma", "beta", "Alpha", "alpha"}));
    list.setSortKey(1);
    list.setSortOrder(SortOrder::Ascending);
    EXPECT_EQ(texts(list), (std::vector<std::string>{"gamma", "beta", "Alpha", "Äpfel", "alpha"}));

    // New lines land at their place while sorted, and at the end after.
    list.add("delta")->setSubItem(1, "0");  // its key is "" when added: first
    EXPECT_EQ(list.item(0)->text, "delta");
    list.setSortKey(0);
    list.add("Beta");
    EXPECT_EQ(texts(list), (std::vector<std::string>{"Alpha", "alpha", "beta", "Beta", "delta",
                                                     "gamma", "Äpfel"}));
    list.setSorted(false);
    list.add("aaa");
    EXPECT_EQ(list.item(list.count() - 1)->text, "aaa");

    int column = 0;
    list.ColumnClick = [&](std::size_t c) { column = static_cast<int>(c); };
    list.clickColumn(2);
    EXPECT_EQ(column, 2);
}

TEST_F(ControlsTest, KeyPreviewLetsTheFormSwallowKeys) {
    Form form("f");
    auto list = form.add<ListView>("lv");
    std::vector<std::string> seen;
    form.KeyDown = [&](std::int16_t& code, std::int16_t) {
        seen.push_back("form " + std::to_string(code));
        if (code == vbKeyF1)
            code = 0;
    };
    list->KeyDown = [&](std::int16_t& code, std::int16_t) {
        seen.push_back("list " + std::to_string(code));
    };
    // Without keyPreview the form does not see the control's keys.
    EXPECT_EQ(list->keyDown(vbKeyF1, 0), vbKeyF1);
    form.keyPreview = true;
    EXPECT_EQ(list->keyDown(vbKeyF1, 0), 0);
    EXPECT_EQ(list->keyDown(65, vbShiftMask), 65);
    EXPECT_EQ(form.keyDown(vbKeyF1, 0), 0);
    EXPECT_EQ(seen,
              (std::vector<std::string>{"list 112", "form 112", "form 65", "list 65", "form 112"}));
    // A disabled form takes no input at all.
    form.enabled = false;
    list->keyDown(66, 0);
    int moves = 0;
    list->MouseMove = [&](std::int16_t, std::int16_t, float, float) { ++moves; };
    list->mouseMove(0, 0, 1, 1);
    EXPECT_EQ(seen.size(), 5u);
    EXPECT_EQ(moves, 0);
}

class LifecycleForm : public Form {
  public:
    LifecycleForm() : Form("Dialog") { name = "frmTest"; }
    std::vector<std::string> steps;
    HWND windowAtOnLoad = 0;

  protected:
    void onLoad() override {
        windowAtOnLoad = hWnd;
        steps.push_back("onLoad");
    }
};

TEST_F(ControlsTest, FormLoadsShowsHidesAndUnloadsThroughTheView) {
    LifecycleForm form;
    auto timer = form.add<Timer>("tmr");
    timer->setInterval(100);
    form.Load = [&] { form.steps.push_back("Load"); };
    bool refuse = true;
    form.QueryUnload = [&](bool& cancel, UnloadMode mode) {
        form.steps.push_back("QueryUnload " + std::to_string(static_cast<int>(mode)));
        cancel = refuse;
    };
    form.Unload = [&](bool&) {
        form.steps.push_back("Unload");
        form.unload();  // an unload from its own handler is ignored
    };

    EXPECT_EQ(form.hWnd, 0);
    form.show();
    ASSERT_TRUE(form.isLoaded());
    EXPECT_TRUE(form.isVisible());
    EXPECT_NE(form.hWnd, 0);
    EXPECT_EQ(form.windowAtOnLoad, form.hWnd);  // the hook sees the window
    EXPECT_EQ(titleOf(form.hWnd), "Dialog");
    form.setCaption("Neu");
    EXPECT_EQ(titleOf(form.hWnd), "Neu");
    form.show();  // already loaded: no second Load
    form.hide();
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(view.count("show", "frmTest"), 2u);
    EXPECT_EQ(view.count("hide", "frmTest"), 1u);

    // The user's close box may be refused.
    EXPECT_FALSE(form.userClose());
    EXPECT_TRUE(form.isLoaded());
    EXPECT_TRUE(timer->running());
    refuse = false;
    const HWND hwnd = form.hWnd;
    EXPECT_TRUE(form.unload());
    EXPECT_FALSE(form.isLoaded());
    EXPECT_EQ(form.hWnd, 0);
    EXPECT_FALSE(isWindow(hwnd));
    EXPECT_FALSE(timer->running());  // an unloaded form's timers are still
    EXPECT_EQ(view.count("close", "frmTest"), 1u);
    EXPECT_TRUE(form.unload());  // nothing to do
    EXPECT_EQ(form.steps, (std::vector<std::string>{"onLoad", "Load", "QueryUnload 0",
                                                    "QueryUnload 1", "Unload"}));

    // Loaded again, it gets a new window.
    form.load();
    EXPECT_NE(form.hWnd, 0);
    EXPECT_FALSE(form.isVisible());
}

TEST_F(ControlsTest, ModalShowRunsTheScriptAndReturnsHidden) {
    Form form("Frage");
    auto ok = form.add<CommandButton>("cmdOK");
    bool answered = false;
    ok->Click = [&] {
        answered = true;
        form.hide();
    };
    view.onModal = [&](Form& shown) {
        EXPECT_TRUE(shown.isModal());
        shown.find<CommandButton>("cmdOK")->click();
    };
    form.show(true);
    EXPECT_TRUE(answered);
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(form.isLoaded());

    // A script that leaves the form up still ends the modal show.
    view.onModal = [](Form&) {};
    form.show(true);
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(form.isModal());

    // A form on screen cannot become modal.
    form.show(false);
    EXPECT_EQ(errorOf([&] { form.show(true); }), 400);
    EXPECT_EQ(view.count("modal"), 2u);
}

TEST_F(ControlsTest, AFailedLoadLeavesTheFormUnloaded) {
    Form form("f");
    form.Load = [] { throw RuntimeError{7, "Out of memory"}; };
    EXPECT_EQ(errorOf([&] { form.show(); }), 7);
    EXPECT_FALSE(form.isLoaded());
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.hWnd, 0);
    EXPECT_EQ(view.count("show"), 0u);
}

TEST_F(ControlsTest, ControlsOutlivingTheirFormAreDetached) {
    std::shared_ptr<ProgressBar> bar;
    {
        Form form("f");
        bar = form.add<ProgressBar>("pb");
        form.show();
        bar->setValue(10);
        EXPECT_EQ(view.refreshes("pb"), 1u);
        setFocusedControl(bar.get());
    }
    EXPECT_EQ(bar->form(), nullptr);
    bar->setValue(20);  // no view, no dangling form
    EXPECT_EQ(view.refreshes("pb"), 1u);
    bar.reset();
    EXPECT_EQ(focusedControl(), nullptr);  // the focus does not dangle
}

TEST_F(ControlsTest, ContextMenusAndMenuItems) {
    Form form("f");
    auto popup = form.add<Menu>("mnuPopup");
    popup->visible = false;
    auto copy = form.add<Menu>("mnuCopy");
    popup->add(copy);
    auto hidden = form.add<Menu>("mnuHidden");
    hidden->visible = false;
    popup->add(hidden);
    int copies = 0, hiddenClicks = 0;
    copy->Click = [&] { ++copies; };
    hidden->Click = [&] { ++hiddenClicks; };
    view.onPopup = [](Form&, Menu& menu) {
        for (const auto& item : menu.items) item->click();
    };
    form.load();
    form.popupMenu(*popup);
    EXPECT_EQ(copies, 1);
    EXPECT_EQ(hiddenClicks, 0);
    EXPECT_EQ(popup->item("mnuCopy"), copy);
    EXPECT_EQ(popup->item("mnuNone"), nullptr);
    EXPECT_EQ(view.count("popup"), 1u);

    ImageList images("il");
    EXPECT_EQ(images.add("ok", "ok.bmp"), 1);
    EXPECT_EQ(images.add("no", "no.bmp"), 2);
    EXPECT_EQ(errorOf([&] { images.add("ok", "other.bmp"); }), 35602);
    ASSERT_NE(images.find("no"), nullptr);
    EXPECT_EQ(images.find("no")->picture, "no.bmp");
}

}  // namespace
}  // namespace kx::platform::ui
