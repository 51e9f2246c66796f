#pragma once
// Toolkit-neutral controls and the form they sit on. A form model in the
// engine owns these objects and holds its behaviour in their event handlers;
// views (Qt, console, scripted) render them and feed the user's actions back
// through the "what the user does" members (click(), keyDown(), ...).
//
// State a view must show changes through the setters (setText, setValue,
// add, ...), which tell the thread's view; plain fields (caption, tag, ...)
// are read by the view when it draws, or after an explicit refresh().
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/runtime/variant.hpp"
#include "platform/ui/message_loop.hpp"

namespace kx::platform::ui {

using HWND = std::int32_t;

/// System colour "button face", as the runtime encodes system colours.
inline constexpr std::uint32_t kColorButtonFace = 0x8000000Fu;

// Mouse buttons and shift states as the mouse and key events carry them.
inline constexpr std::int16_t vbLeftButton = 1;
inline constexpr std::int16_t vbRightButton = 2;
inline constexpr std::int16_t vbMiddleButton = 4;
inline constexpr std::int16_t vbShiftMask = 1;
inline constexpr std::int16_t vbCtrlMask = 2;
inline constexpr std::int16_t vbAltMask = 4;

// Key codes the forms look at.
inline constexpr std::int16_t vbKeyBack = 8;
inline constexpr std::int16_t vbKeyTab = 9;
inline constexpr std::int16_t vbKeyReturn = 13;
inline constexpr std::int16_t vbKeyEscape = 27;
inline constexpr std::int16_t vbKeyApps = 93;  // the context-menu key
inline constexpr std::int16_t vbKeyInsert = 45;
inline constexpr std::int16_t vbKeyDelete = 46;
inline constexpr std::int16_t vbKeyF1 = 112;
inline constexpr std::int16_t vbKeyF12 = 123;

/// The runtime's error for a property value out of range; controls raise it
/// as platform::RuntimeError, so the engine's boundary reports it as the
/// operation's status.
inline constexpr std::int32_t kInvalidPropertyValue = 380;
/// The common controls' error for an item index that does not exist.
inline constexpr std::int32_t kIndexOutOfBounds = 35600;

class Form;

using KeyEvent = std::function<void(std::int16_t& keyCode, std::int16_t shift)>;
using MouseEvent = std::function<void(std::int16_t button, std::int16_t shift, float x, float y)>;

class Control : public Object {
  public:
    explicit Control(std::string name);
    ~Control() override;
    // A control belongs to at most one form; a copy would claim the same one.
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    const std::string& name() const { return name_; }

    bool enabled = true;
    bool visible = true;
    /// The plain tool tip; a balloon with a title (tool_tips.hpp) shows
    /// instead while the control has one.
    std::string toolTipText;
    std::string tag;
    /// The control's background colour, or none for controls that have no
    /// background colour property.
    std::optional<std::uint32_t> backColor;
    /// Name of the frame that contains the control ("" = the form itself).
    /// Option buttons form one group per container.
    std::string container;
    /// Position and size in twips, relative to the container's inside.
    std::int32_t left = 0, top = 0, width = 0, height = 0;

    /// Sets position and size in one step (as the runtime's Move does).
    void move(std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h) {
        left = x;
        top = y;
        width = w;
        height = h;
    }

    /// The form the control was added to; null for a free-standing control
    /// and after its form is gone.
    Form* form() const { return form_; }
    /// A number no other control of the process has; views key their own
    /// bookkeeping by it because addresses are reused.
    std::uint64_t serial() const { return serial_; }

    /// Tells the thread's view that the control's state changed, when its
    /// form is loaded. Setters call it; code that writes fields directly calls
    /// it when the change must show at once.
    void refresh();

    // Events. Handlers may be left empty.
    std::function<void()> Click;
    std::function<void()> DblClick;
    KeyEvent KeyDown;
    KeyEvent KeyUp;
    std::function<void(std::int16_t& keyAscii)> KeyPress;
    MouseEvent MouseDown;
    MouseEvent MouseMove;
    MouseEvent MouseUp;
    std::function<void()> GotFocus;
    std::function<void()> LostFocus;

    // What the user does. A disabled or hidden control (or one on a disabled
    // form) receives nothing.

    /// True when the control takes the user's input.
    bool acceptsInput() const;
    /// A click; kinds with a value (check box, option button) change it first.
    virtual void click();
    /// A key pressed while the control has the focus. When its form has
    /// keyPreview, the form's KeyDown sees the key first and may swallow it
    /// (set it to 0); the control then does not see it. Answers the key code
    /// left after the handlers (0 = swallowed).
    std::int16_t keyDown(std::int16_t keyCode, std::int16_t shift);
    /// The key is released again (after the widget took what it typed).
    void keyUp(std::int16_t keyCode, std::int16_t shift);
    void mouseDown(std::int16_t button, std::int16_t shift, float x, float y);
    void mouseMove(std::int16_t button, std::int16_t shift, float x, float y);
    void mouseUp(std::int16_t button, std::int16_t shift, float x, float y);

  protected:
    /// Runs a handler with a copy of it, so a handler that replaces or
    /// destroys its own function does not pull the code from under itself.
    static void fire(const std::function<void()>& handler) {
        if (handler) {
            auto copy = handler;
            copy();
        }
    }

  private:
    friend class Form;
    std::string name_;
    Form* form_ = nullptr;
    std::uint64_t serial_;
};

/// What text boxes and combo boxes share: an editable text with a selection.
class EditField : public Control {
  public:
    using Control::Control;
    std::string text;
    std::int32_t selStart = 0;
    std::int32_t selLength = 0;

    /// Sets the text; Change fires when it differs, whether the user typed it
    /// or code set it (as the runtime does).
    void setText(std::string value);
    std::function<void()> Change;
};

class TextBox final : public EditField {
  public:
    using EditField::EditField;
    std::string_view typeName() const override { return "TextBox"; }
    bool locked = false;
    bool multiLine = false;
    std::int32_t maxLength = 0;  // 0 = no limit
    std::string passwordChar;
};

/// An editable combo box: an edit field over a drop-down list of entries.
class ComboBox final : public EditField {
  public:
    using EditField::EditField;
    std::string_view typeName() const override { return "ComboBox"; }
    /// The drop-down list's entries, in order.
    std::vector<std::string> list;

    /// The user chooses entry `index` (0-based) of the drop-down list: it
    /// becomes the text, then Click fires. Error 380 for an entry that does
    /// not exist.
    void choose(std::size_t index);
};

class Label final : public Control {
  public:
    explicit Label(std::string name) : Control(std::move(name)) { backColor = kColorButtonFace; }
    std::string_view typeName() const override { return "Label"; }
    std::string caption;
    void setCaption(std::string value);
};

/// A frame that holds other controls (they name it as their container);
/// without a border it is a plain panel, as the pages of a tab strip are.
class Frame final : public Control {
  public:
    explicit Frame(std::string name) : Control(std::move(name)) { backColor = kColorButtonFace; }
    std::string_view typeName() const override { return "Frame"; }
    std::string caption;
    bool border = true;
};

class CommandButton final : public Control {
  public:
    explicit CommandButton(std::string name) : Control(std::move(name)) {
        backColor = kColorButtonFace;
    }
    std::string_view typeName() const override { return "CommandButton"; }
    std::string caption;
    bool isDefault = false;  // Return presses it
    bool cancel = false;     // Escape presses it
    /// A button of the window's toolbar, which runs along its top.
    bool toolbar = false;
};

class CheckBox final : public Control {
  public:
    explicit CheckBox(std::string name) : Control(std::move(name)) { backColor = kColorButtonFace; }
    std::string_view typeName() const override { return "CheckBox"; }
    std::string caption;
    std::int16_t value = 0;  // 0 unchecked, 1 checked, 2 grayed

    /// Checked becomes unchecked, anything else checked; then Click.
    void click() override;
    /// Sets the value (0, 1 or 2, else error 380); Click fires when it
    /// changes, as the runtime fires it for code too.
    void setValue(std::int16_t v);
};

/// One of a group of choices: the option buttons of a form with the same
/// container. Selecting one clears the others of its group.
class OptionButton final : public Control {
  public:
    explicit OptionButton(std::string name) : Control(std::move(name)) {
        backColor = kColorButtonFace;
    }
    std::string_view typeName() const override { return "OptionButton"; }
    std::string caption;
    bool value = false;

    /// Selects this option (clearing the rest of the group); Click fires when
    /// it was not selected before.
    void click() override;
    /// true behaves as a click; false only clears this option.
    void setValue(bool v);
};

/// A tab strip; tabs are numbered from 1.
class TabStrip final : public Control {
  public:
    using Control::Control;
    std::string_view typeName() const override { return "TabStrip"; }
    std::vector<std::string> tabs;   // captions
    std::int32_t selectedIndex = 1;  // 1-based

    /// Selects tab `index` (1..tabs; else error 380); Click fires when the
    /// selection changes.
    void select(std::int32_t index);
};

/// A value between a minimum and a maximum that the user slides.
class Slider final : public Control {
  public:
    using Control::Control;
    std::string_view typeName() const override { return "Slider"; }

    std::int32_t min() const { return min_; }
    std::int32_t max() const { return max_; }
    std::int32_t value() const { return value_; }
    std::int32_t smallChange = 1;
    std::int32_t largeChange = 5;

    /// A range with min > max is refused (error 380); the value is pulled
    /// into the new range (firing Change when that moves it).
    void setMin(std::int32_t v);
    void setMax(std::int32_t v);
    /// A value outside the range is refused (error 380); Change fires when
    /// it moves.
    void setValue(std::int32_t v);
    /// The user drags the thumb: the value is held to the range, Scroll
    /// fires while dragging and Change for the new value.
    void slide(std::int32_t v);

    std::function<void()> Change;
    std::function<void()> Scroll;

  private:
    void moveTo(std::int32_t v);
    std::int32_t min_ = 0;
    std::int32_t max_ = 10;
    std::int32_t value_ = 0;
};

/// A progress bar. The range must not be empty (min < max), because the bar
/// divides by it; the value always lies in the range.
class ProgressBar final : public Control {
  public:
    using Control::Control;
    std::string_view typeName() const override { return "ProgressBar"; }

    std::int32_t min() const { return min_; }
    std::int32_t max() const { return max_; }
    std::int32_t value() const { return value_; }

    /// Error 380 when the new minimum is not below the maximum; the value is
    /// pulled up to a new minimum above it.
    void setMin(std::int32_t v);
    /// Error 380 when the new maximum is not above the minimum; the value is
    /// pulled down to a new maximum below it.
    void setMax(std::int32_t v);
    /// Error 380 outside min..max.
    void setValue(std::int32_t v);
    /// The share of the range the bar has reached, 0..100 (rounded down),
    /// the stretch after the value included.
    std::int32_t percent() const;

    /// A long stretch from the value to the next one: how much of it is
    /// done, in thousandths (held to 0..1000). Views draw it and percent()
    /// counts it; value() stays what was set. Setting the value or the range
    /// starts it at 0 again.
    std::int32_t stretchDone() const { return stretchDone_; }
    void setStretchDone(std::int32_t thousandths);

  private:
    std::int32_t min_ = 0;
    std::int32_t max_ = 100;
    std::int32_t value_ = 0;
    std::int32_t stretchDone_ = 0;
};

/// A timer: while enabled with an interval above 0 it fires TimerEvent from
/// the thread's message loop every `interval` milliseconds of loop time.
/// Enabling it, disabling it or setting its interval starts the count anew.
/// Its event never re-enters itself: a handler that yields does not see the
/// same timer fire inside.
class Timer final : public Control {
  public:
    explicit Timer(std::string name);
    ~Timer() override;
    std::string_view typeName() const override { return "Timer"; }

    std::int32_t interval() const { return interval_; }
    bool isEnabled() const { return Control::enabled; }
    /// Milliseconds; negative values are refused (error 380). 0 keeps the
    /// timer enabled but silent.
    void setInterval(std::int32_t ms);
    /// true (re)starts the count, false stops it.
    void setEnabled(bool on);
    void start() { setEnabled(true); }
    void stop() { setEnabled(false); }
    /// True while the timer is registered with the message loop, i.e. it will
    /// fire when its interval has passed.
    bool running() const { return id_.has_value(); }

    std::function<void()> TimerEvent;

  private:
    // Write `enabled` through setEnabled so that the loop follows it.
    using Control::enabled;
    void rearm();
    void disarm();

    struct Shared;
    std::shared_ptr<Shared> shared_;
    std::int32_t interval_ = 0;
    std::optional<TimerId> id_;
    std::weak_ptr<void> loopAlive_;
    MessageLoop* loop_ = nullptr;
};

/// A menu or menu item; items hold their sub-items. A hidden top-level menu
/// serves as a context menu (Form::popupMenu).
class Menu final : public Control {
  public:
    using Control::Control;
    std::string_view typeName() const override { return "Menu"; }
    std::string caption;
    bool checked = false;
    std::vector<std::shared_ptr<Menu>> items;

    void add(std::shared_ptr<Menu> item) { items.push_back(std::move(item)); }
    /// The sub-item of that name, or null.
    std::shared_ptr<Menu> item(std::string_view itemName) const;
};

/// Pictures for list views and toolbars, by key.
struct ListImage {
    std::string key;
    std::string picture;  // the picture's file or resource name
    std::string tag;
};

class ImageList final : public Control {
  public:
    using Control::Control;
    std::string_view typeName() const override { return "ImageList"; }
    std::int32_t imageWidth = 16;
    std::int32_t imageHeight = 16;
    std::vector<ListImage> images;

    /// Adds a picture; a key already in the list is refused (error 35602,
    /// "Key is not unique in collection"). Answers its 1-based index.
    std::int32_t add(std::string key, std::string picture);
    /// The picture of that key, or null.
    const ListImage* find(std::string_view key) const;
};

/// A line of a list view: its text (column 1), the texts of the further
/// columns, a tag and a key.
class ListItem final : public Object {
  public:
    explicit ListItem(std::string itemText) : text(std::move(itemText)) {}
    std::string_view typeName() const override { return "ListItem"; }

    std::string text;
    bool selected = false;

    /// The text of column `column` (1 = the item's own text); "" for a
    /// column it has no text for.
    std::string columnText(std::size_t column) const;
    /// How many columns the item has text for (its own text and sub-items).
    std::size_t columnCount() const { return 1 + (extras_ ? extras_->subItems.size() : 0); }
    /// Sets sub-item `n` (1 = column 2), as SubItems(n) does.
    void setSubItem(std::size_t n, std::string value);
    /// The tag; "" when none was set.
    const std::string& tag() const;
    void setTag(std::string value);
    /// The key; "" when none was set.
    const std::string& key() const;
    void setKey(std::string value);

  private:
    // What most lines never carry, kept apart: a found list of a million
    // files costs little more than their texts.
    struct Extras {
        std::vector<std::string> subItems;  // columns 2, 3, ...
        std::string tag;
        std::string key;
    };
    Extras& extras();

    std::unique_ptr<Extras> extras_;
};

struct ColumnHeader {
    std::string text;
    std::int32_t width = 1440;  // twips
};

enum class SortOrder { Ascending = 0, Descending = 1 };

/// A list view in report mode. Item positions are 0-based here (the
/// automation surface's 1-based ListItems(i) is i - 1).
class ListView final : public Control {
  public:
    using Control::Control;
    std::string_view typeName() const override { return "ListView"; }

    std::vector<ColumnHeader> columns;
    void addColumn(std::string text, std::int32_t columnWidth = 1440);

    const std::vector<std::shared_ptr<ListItem>>& items() const { return items_; }
    std::size_t count() const { return items_.size(); }
    /// The item at `index`; error 35600 when there is none.
    const std::shared_ptr<ListItem>& item(std::size_t index) const;

    /// Appends a line, or puts it at its place in the order while `sorted`.
    std::shared_ptr<ListItem> add(std::string text);
    /// Inserts at `index` (0..count; else error 35600). A sorted list keeps
    /// its order, so the position only holds while `sorted` is off.
    std::shared_ptr<ListItem> insert(std::size_t index, std::string text);
    void remove(std::size_t index);
    void clear();

    /// More than one item may be selected at a time.
    bool multiSelect = false;
    /// The first selected item's position, if any.
    std::optional<std::size_t> selectedIndex() const;
    std::shared_ptr<ListItem> selectedItem() const;
    /// Selects the item; without multiSelect every other item loses its
    /// selection. Error 35600 for a position that does not exist.
    void select(std::size_t index);

    /// Rows the control shows at a time; views set it from the real height.
    std::size_t visibleRows = 10;
    /// The first row on screen.
    std::size_t topIndex() const { return topIndex_; }
    /// Scrolls as little as needed so that the item is on screen.
    void ensureVisible(std::size_t index);

    /// While `sorted`, the items stay ordered by column `sortKey` (0 = the
    /// item's text, n = sub-item n), case-insensitively; items with equal
    /// keys keep the order they came in.
    bool sorted() const { return sorted_; }
    std::size_t sortKey() const { return sortKey_; }
    SortOrder sortOrder() const { return sortOrder_; }
    void setSorted(bool on);
    void setSortKey(std::size_t key);
    void setSortOrder(SortOrder order);

    std::function<void(ListItem& item)> ItemClick;
    /// The 1-based column whose header was clicked.
    std::function<void(std::size_t column)> ColumnClick;

    /// The user clicks a line: it becomes the selection, then ItemClick and
    /// Click fire.
    void clickItem(std::size_t index);
    /// The user clicks column header `column` (1-based).
    void clickColumn(std::size_t column);

    /// Edits the selected item's text in place: the view opens its editor on
    /// that line (nothing happens when no item is selected).
    void startLabelEdit();
    /// The line being edited in place, if any.
    std::optional<std::size_t> labelEditIndex() const;
    bool labelEditing() const { return labelEditIndex().has_value(); }
    /// Fires when the user commits an edited text; a handler may change the
    /// text or cancel, and the item takes the text unless it cancelled.
    std::function<void(bool& cancel, std::string& newText)> AfterLabelEdit;
    /// The user ends the edit: with the text typed (Enter), or with none
    /// (Escape), which leaves the item as it was and fires nothing.
    void endLabelEdit(std::optional<std::string> typed);

  private:
    void sortNow();
    bool before(const ListItem& a, const ListItem& b) const;
    void checkIndex(std::size_t index, std::size_t limit) const;

    std::vector<std::shared_ptr<ListItem>> items_;
    std::shared_ptr<ListItem> editing_;
    std::size_t topIndex_ = 0;
    bool sorted_ = false;
    std::size_t sortKey_ = 0;
    SortOrder sortOrder_ = SortOrder::Ascending;
};

/// How an unload came about, as QueryUnload reports it.
enum class UnloadMode : std::int16_t {
    FormControlMenu = 0,  // the user closed the window
    FormCode = 1,         // code unloaded the form
    AppWindows = 2,
    AppTaskManager = 3,
};

/// A form: caption, position and size in twips, and its controls; loaded
/// (it has a window handle) or not, shown or hidden.
///
/// Lifecycle: load() creates the window (hWnd), runs onLoad() and then the
/// Load event; show() loads when needed and asks the thread's view to show
/// it; unload() asks QueryUnload and Unload (either may cancel), stops the
/// form's timers, has the view close it and destroys the window. A loaded
/// form may be loaded again after an unload.
class Form : public Object {
  public:
    explicit Form(std::string designCaption) : caption(std::move(designCaption)) {}
    ~Form() override;
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;
    std::string_view typeName() const override { return "Form"; }

    std::string caption;
    /// The form's name in the code ("frmProgress"), for views and records.
    std::string name;
    std::int32_t left = 0, top = 0, width = 0, height = 0;  // twips
    HWND hWnd = 0;                                          // 0 until the form is loaded
    std::vector<std::shared_ptr<Control>> controls;
    /// The form sees key presses before the control that has the focus.
    bool keyPreview = false;
    bool enabled = true;
    /// The button a script's "yes" presses, where that is not the default
    /// button (a warning whose yes is the remedy, not the OK that closes it).
    std::string yesButton;

    template <typename T>
    std::shared_ptr<T> add(std::string controlName) {
        auto control = std::make_shared<T>(std::move(controlName));
        control->form_ = this;
        controls.push_back(control);
        return control;
    }

    /// The control of that name and kind, or null.
    template <typename T>
    std::shared_ptr<T> find(std::string_view controlName) const {
        for (const auto& control : controls) {
            if (control->name() == controlName) {
                if (auto typed = std::dynamic_pointer_cast<T>(control))
                    return typed;
            }
        }
        return nullptr;
    }

    bool isLoaded() const { return state_ != State::Unloaded; }
    /// On screen (shown and not hidden since).
    bool isVisible() const { return shown_; }
    bool isModal() const { return modal_; }

    /// Loads the form hidden; nothing happens when it is loaded already. When
    /// Load fails the form is left unloaded and the error propagates.
    void load();
    /// Shows the form, loading it first. A modal show returns when the view
    /// is done with it (the user closed or hid it); the form is hidden then.
    /// Showing a form modally that is already on screen is error 400.
    void show(bool modal = false);
    void hide();
    /// Unloads the form; false when QueryUnload or Unload cancelled.
    /// Unloading a form that is not loaded, or one that is unloading already
    /// (an event handler of the unload itself), answers true and does nothing.
    bool unload(UnloadMode mode = UnloadMode::FormCode);
    /// Changes the caption and the window's title.
    void setCaption(std::string text);
    /// Opens a menu as context menu at the mouse position (or at x, y in
    /// twips); returns when the user chose an item (whose Click has run) or
    /// dismissed the menu.
    void popupMenu(Menu& menu, std::optional<float> x = std::nullopt,
                   std::optional<float> y = std::nullopt);

    // Events.
    std::function<void()> Load;
    std::function<void(bool& cancel, UnloadMode mode)> QueryUnload;
    std::function<void(bool& cancel)> Unload;
    KeyEvent KeyDown;
    MouseEvent MouseMove;
    MouseEvent MouseUp;
    std::function<void()> Click;

    // What the user does.

    /// A key pressed on the form itself (no control has the focus); answers
    /// the key code left after the handler (0 = swallowed).
    std::int16_t keyDown(std::int16_t keyCode, std::int16_t shift);
    void mouseMove(std::int16_t button, std::int16_t shift, float x, float y);
    /// The window's close box: an unload the form may refuse.
    virtual bool userClose() { return unload(UnloadMode::FormControlMenu); }

  protected:
    /// Runs when the window exists and before the Load event: where the
    /// engine's forms apply their caption and topmost rules.
    virtual void onLoad() {}

  private:
    enum class State { Unloaded, Loaded, Unloading };
    void releaseWindow();

    State state_ = State::Unloaded;
    bool shown_ = false;
    bool modal_ = false;
};

/// The control that has the input focus, if any (set by the view that shows it).
Control* focusedControl();
void setFocusedControl(Control* control);

}  // namespace kx::platform::ui
