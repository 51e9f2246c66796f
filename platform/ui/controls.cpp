#include "platform/ui/controls.hpp"

#include <algorithm>
#include <atomic>

#include "platform/runtime/text.hpp"
#include "platform/ui/view.hpp"
#include "platform/ui/windows.hpp"

namespace kx::platform::ui {
namespace {

[[noreturn]] void invalidValue() {
    throw RuntimeError{kInvalidPropertyValue, "Invalid property value"};
}

std::uint64_t nextSerial() {
    static std::atomic<std::uint64_t> counter{0};
    return ++counter;
}

// Runs a handler that takes arguments with a copy of it (see Control::fire).
template <typename F, typename... Args>
void fireWith(const F& handler, Args&&... args) {
    if (handler) {
        auto copy = handler;
        copy(std::forward<Args>(args)...);
    }
}

}  // namespace

// ---------------------------------------------------------------- Control

Control::Control(std::string name) : name_(std::move(name)), serial_(nextSerial()) {}

Control::~Control() {
    // A focus that outlives its control would be a dangling pointer for the
    // next Selex.
    if (focusedControl() == this)
        setFocusedControl(nullptr);
}

void Control::refresh() {
    if (form_ != nullptr && form_->isLoaded())
        view().refresh(*this);
}

bool Control::acceptsInput() const {
    return enabled && visible && (form_ == nullptr || form_->enabled);
}

void Control::click() {
    if (acceptsInput())
        fire(Click);
}

std::int16_t Control::keyDown(std::int16_t keyCode, std::int16_t shift) {
    if (!acceptsInput())
        return keyCode;
    if (form_ != nullptr && form_->keyPreview)
        fireWith(form_->KeyDown, keyCode, shift);
    if (keyCode != 0)
        fireWith(KeyDown, keyCode, shift);
    return keyCode;
}

void Control::mouseDown(std::int16_t button, std::int16_t shift, float x, float y) {
    if (acceptsInput())
        fireWith(MouseDown, button, shift, x, y);
}

void Control::mouseMove(std::int16_t button, std::int16_t shift, float x, float y) {
    if (acceptsInput())
        fireWith(MouseMove, button, shift, x, y);
}

void Control::mouseUp(std::int16_t button, std::int16_t shift, float x, float y) {
    if (acceptsInput())
        fireWith(MouseUp, button, shift, x, y);
}

// ---------------------------------------------------------------- simple kinds

void TextBox::setText(std::string value) {
    if (value == text)
        return;
    text = std::move(value);
    refresh();
    fire(Change);
}

void Label::setCaption(std::string value) {
    caption = std::move(value);
    refresh();
}

void CheckBox::click() {
    if (!acceptsInput())
        return;
    value = value == 1 ? 0 : 1;
    refresh();
    fire(Click);
}

void CheckBox::setValue(std::int16_t v) {
    if (v < 0 || v > 2)
        invalidValue();
    if (v == value)
        return;
    value = v;
    refresh();
    fire(Click);
}

void OptionButton::click() {
    if (acceptsInput())
        setValue(true);
}

void OptionButton::setValue(bool v) {
    if (!v) {
        if (value) {
            value = false;
            refresh();
        }
        return;
    }
    if (value)
        return;
    if (form() != nullptr) {
        for (const auto& control : form()->controls) {
            auto* other = dynamic_cast<OptionButton*>(control.get());
            if (other != nullptr && other != this && other->container == container &&
                other->value) {
                other->value = false;
                other->refresh();
            }
        }
    }
    value = true;
    refresh();
    fire(Click);
}

void TabStrip::select(std::int32_t index) {
    if (index < 1 || index > static_cast<std::int32_t>(tabs.size()))
        invalidValue();
    if (index == selectedIndex)
        return;
    selectedIndex = index;
    refresh();
    fire(Click);
}

// ---------------------------------------------------------------- Slider

void Slider::setMin(std::int32_t v) {
    if (v > max_)
        invalidValue();
    min_ = v;
    refresh();
    if (value_ < min_)
        moveTo(min_);
}

void Slider::setMax(std::int32_t v) {
    if (v < min_)
        invalidValue();
    max_ = v;
    refresh();
    if (value_ > max_)
        moveTo(max_);
}

void Slider::setValue(std::int32_t v) {
    if (v < min_ || v > max_)
        invalidValue();
    moveTo(v);
}

void Slider::slide(std::int32_t v) {
    if (!acceptsInput())
        return;
    v = std::clamp(v, min_, max_);
    fire(Scroll);
    moveTo(v);
}

void Slider::moveTo(std::int32_t v) {
    if (v == value_)
        return;
    value_ = v;
    refresh();
    fire(Change);
}

// ---------------------------------------------------------------- ProgressBar

void ProgressBar::setMin(std::int32_t v) {
    if (v >= max_)
        invalidValue();
    min_ = v;
    value_ = std::max(value_, min_);
    refresh();
}

void ProgressBar::setMax(std::int32_t v) {
    if (v <= min_)
        invalidValue();
    max_ = v;
    value_ = std::min(value_, max_);
    refresh();
}

void ProgressBar::setValue(std::int32_t v) {
    if (v < min_ || v > max_)
        invalidValue();
    value_ = v;
    refresh();
}

std::int32_t ProgressBar::percent() const {
    const auto span = static_cast<std::int64_t>(max_) - min_;
    return static_cast<std::int32_t>((static_cast<std::int64_t>(value_) - min_) * 100 / span);
}

// ---------------------------------------------------------------- Timer

// What the loop's callback reaches the timer through. The timer may be
// destroyed by its own event (a handler that unloads and drops the form);
// the callback's bookkeeping then lands here, not in freed memory.
struct Timer::Shared {
    Timer* owner = nullptr;
    bool firing = false;
};

Timer::Timer(std::string name) : Control(std::move(name)), shared_(std::make_shared<Shared>()) {
    shared_->owner = this;
}

Timer::~Timer() {
    shared_->owner = nullptr;
    disarm();
}

void Timer::setInterval(std::int32_t ms) {
    if (ms < 0)
        invalidValue();
    interval_ = ms;
    rearm();
}

void Timer::setEnabled(bool on) {
    Control::enabled = on;
    rearm();
}

void Timer::disarm() {
    if (id_ && !loopAlive_.expired())
        loop_->removeTimer(*id_);
    id_.reset();
}

void Timer::rearm() {
    disarm();
    if (!Control::enabled || interval_ <= 0)
        return;
    auto& loop = MessageLoop::current();
    loop_ = &loop;
    loopAlive_ = loop.lifetime();
    id_ = loop.addTimer(Millis(interval_), [shared = shared_] {
        // A flag written through a Control& does not re-arm, but it does
        // silence the timer.
        if (shared->owner == nullptr || shared->firing || !shared->owner->Control::enabled)
            return;
        auto handler = shared->owner->TimerEvent;
        if (!handler)
            return;
        shared->firing = true;
        struct Done {
            Shared& s;
            ~Done() { s.firing = false; }
        } done{*shared};
        handler();
    });
}

// ---------------------------------------------------------------- Menu, ImageList

std::shared_ptr<Menu> Menu::item(std::string_view itemName) const {
    for (const auto& sub : items) {
        if (sub->name() == itemName)
            return sub;
    }
    return nullptr;
}

std::int32_t ImageList::add(std::string key, std::string picture) {
    if (!key.empty() && find(key) != nullptr)
        throw RuntimeError{35602, "Key is not unique in collection"};
    images.push_back({std::move(key), std::move(picture), {}});
    refresh();
    return static_cast<std::int32_t>(images.size());
}

const ListImage* ImageList::find(std::string_view key) const {
    for (const auto& image : images) {
        if (image.key == key)
            return &image;
    }
    return nullptr;
}

// ---------------------------------------------------------------- ListView

std::string ListItem::columnText(std::size_t column) const {
    if (column <= 1)
        return text;
    return column - 2 < subItems.size() ? subItems[column - 2] : std::string();
}

void ListItem::setSubItem(std::size_t n, std::string value) {
    if (n == 0)
        invalidValue();
    if (subItems.size() < n)
        subItems.resize(n);
    subItems[n - 1] = std::move(value);
}

void ListView::addColumn(std::string text, std::int32_t width) {
    columns.push_back({std::move(text), width});
    refresh();
}

void ListView::checkIndex(std::size_t index, std::size_t limit) const {
    if (index >= limit)
        throw RuntimeError{kIndexOutOfBounds, "Index out of bounds"};
}

const std::shared_ptr<ListItem>& ListView::item(std::size_t index) const {
    checkIndex(index, items_.size());
    return items_[index];
}

bool ListView::before(const ListItem& a, const ListItem& b) const {
    const auto ka = lower(a.columnText(sortKey_ + 1));
    const auto kb = lower(b.columnText(sortKey_ + 1));
    return sortOrder_ == SortOrder::Ascending ? ka < kb : kb < ka;
}

std::shared_ptr<ListItem> ListView::add(std::string text) {
    auto item = std::make_shared<ListItem>(std::move(text));
    if (sorted_) {
        // After its equals, so that equal keys keep their arrival order.
        const auto at =
            std::upper_bound(items_.begin(), items_.end(), item,
                             [this](const auto& a, const auto& b) { return before(*a, *b); });
        items_.insert(at, item);
    } else {
        items_.push_back(item);
    }
    refresh();
    return item;
}

std::shared_ptr<ListItem> ListView::insert(std::size_t index, std::string text) {
    checkIndex(index, items_.size() + 1);
    if (sorted_)
        return add(std::move(text));
    auto item = std::make_shared<ListItem>(std::move(text));
    items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(index), item);
    refresh();
    return item;
}

void ListView::remove(std::size_t index) {
    checkIndex(index, items_.size());
    items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(index));
    topIndex_ = std::min(topIndex_, items_.empty() ? 0 : items_.size() - 1);
    refresh();
}

void ListView::clear() {
    items_.clear();
    topIndex_ = 0;
    refresh();
}

std::optional<std::size_t> ListView::selectedIndex() const {
    for (std::size_t i = 0; i < items_.size(); ++i) {
        if (items_[i]->selected)
            return i;
    }
    return std::nullopt;
}

std::shared_ptr<ListItem> ListView::selectedItem() const {
    const auto index = selectedIndex();
    return index ? items_[*index] : nullptr;
}

void ListView::select(std::size_t index) {
    checkIndex(index, items_.size());
    if (!multiSelect) {
        for (const auto& other : items_) other->selected = false;
    }
    items_[index]->selected = true;
    refresh();
}

void ListView::ensureVisible(std::size_t index) {
    checkIndex(index, items_.size());
    const std::size_t rows = std::max<std::size_t>(visibleRows, 1);
    if (index < topIndex_) {
        topIndex_ = index;
    } else if (index >= topIndex_ + rows) {
        topIndex_ = index - rows + 1;
    }
    refresh();
}

void ListView::sortNow() {
    std::stable_sort(items_.begin(), items_.end(),
                     [this](const auto& a, const auto& b) { return before(*a, *b); });
}

void ListView::setSorted(bool on) {
    sorted_ = on;
    if (on)
        sortNow();
    refresh();
}

void ListView::setSortKey(std::size_t key) {
    sortKey_ = key;
    if (sorted_)
        sortNow();
    refresh();
}

void ListView::setSortOrder(SortOrder order) {
    sortOrder_ = order;
    if (sorted_)
        sortNow();
    refresh();
}

void ListView::clickItem(std::size_t index) {
    if (!acceptsInput())
        return;
    select(index);
    const auto item = items_[index];  // the handler may remove it
    fireWith(ItemClick, *item);
    fire(Click);
}

void ListView::clickColumn(std::size_t column) {
    if (acceptsInput())
        fireWith(ColumnClick, column);
}

// ---------------------------------------------------------------- Form

Form::~Form() {
    for (const auto& control : controls) {
        control->form_ = nullptr;
        if (auto* timer = dynamic_cast<Timer*>(control.get()))
            timer->stop();
    }
    // No view is told here: a form dies last of all at thread exit, when the
    // view may be gone already.
    if (state_ != State::Unloaded)
        releaseWindow();
}

void Form::releaseWindow() {
    if (hWnd != 0)
        destroyWindow(hWnd);
    hWnd = 0;
}

void Form::load() {
    if (state_ != State::Unloaded)
        return;
    hWnd = createWindow(caption);
    state_ = State::Loaded;
    try {
        onLoad();
        fireWith(Load);
    } catch (...) {
        // A form whose Load failed is not loaded; the caller gets the error.
        state_ = State::Unloaded;
        releaseWindow();
        throw;
    }
}

void Form::show(bool modal) {
    load();
    if (modal && shown_)
        throw RuntimeError{400, "Form already displayed; can't show modally"};
    shown_ = true;
    modal_ = modal;
    try {
        view().show(*this, modal);
    } catch (...) {
        shown_ = false;
        modal_ = false;
        throw;
    }
    if (modal) {
        modal_ = false;
        if (shown_ && isLoaded())
            hide();
    }
}

void Form::hide() {
    if (!shown_)
        return;
    shown_ = false;
    modal_ = false;
    view().hide(*this);
}

bool Form::unload(UnloadMode mode) {
    if (state_ != State::Loaded)
        return true;
    state_ = State::Unloading;
    bool cancel = false;
    try {
        fireWith(QueryUnload, cancel, mode);
        if (!cancel)
            fireWith(Unload, cancel);
    } catch (...) {
        state_ = State::Loaded;
        throw;
    }
    if (cancel) {
        state_ = State::Loaded;
        return false;
    }
    for (const auto& control : controls) {
        if (auto* timer = dynamic_cast<Timer*>(control.get()))
            timer->stop();
        if (focusedControl() == control.get())
            setFocusedControl(nullptr);
    }
    shown_ = false;
    modal_ = false;
    state_ = State::Unloaded;
    releaseWindow();
    view().close(*this);
    return true;
}

void Form::setCaption(std::string text) {
    caption = std::move(text);
    if (hWnd != 0)
        setWindowTitle(hWnd, caption);
}

void Form::popupMenu(Menu& menu, std::optional<float> x, std::optional<float> y) {
    view().popupMenu(*this, menu, x, y);
}

std::int16_t Form::keyDown(std::int16_t keyCode, std::int16_t shift) {
    if (enabled)
        fireWith(KeyDown, keyCode, shift);
    return keyCode;
}

void Form::mouseMove(std::int16_t button, std::int16_t shift, float x, float y) {
    if (enabled)
        fireWith(MouseMove, button, shift, x, y);
}

}  // namespace kx::platform::ui
