#include "platform/ui/controls.hpp"

#include <algorithm>
#include <atomic>

#include "platform/ui/control_events.hpp"
#include "platform/ui/view.hpp"

namespace kx::platform::ui {
using namespace detail;

namespace {
std::uint64_t nextSerial() {
    static std::atomic<std::uint64_t> counter{0};
    return ++counter;
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

void Control::keyUp(std::int16_t keyCode, std::int16_t shift) {
    if (acceptsInput())
        fireWith(KeyUp, keyCode, shift);
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

void EditField::setText(std::string value) {
    if (value == text)
        return;
    text = std::move(value);
    refresh();
    fire(Change);
}

void ComboBox::choose(std::size_t index) {
    if (index >= list.size())
        invalidValue();
    if (!acceptsInput())
        return;
    text = list[index];
    selStart = 0;
    selLength = static_cast<std::int32_t>(text.size());
    refresh();
    fire(Click);
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
    stretchDone_ = 0;
    refresh();
}

void ProgressBar::setMax(std::int32_t v) {
    if (v <= min_)
        invalidValue();
    max_ = v;
    value_ = std::min(value_, max_);
    stretchDone_ = 0;
    refresh();
}

void ProgressBar::setValue(std::int32_t v) {
    if (v < min_ || v > max_)
        invalidValue();
    value_ = v;
    stretchDone_ = 0;
    refresh();
}

void ProgressBar::setStretchDone(std::int32_t thousandths) {
    const std::int32_t done = value_ < max_ ? std::clamp(thousandths, 0, 1000) : 0;
    if (done == stretchDone_)
        return;
    stretchDone_ = done;
    refresh();
}

std::int32_t ProgressBar::percent() const {
    const auto span = (static_cast<std::int64_t>(max_) - min_) * 1000;
    const auto reached = (static_cast<std::int64_t>(value_) - min_) * 1000 + stretchDone_;
    return static_cast<std::int32_t>(reached * 100 / span);
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
        throw RuntimeError{35602,
                           std::string(tr("Schlüssel ist in der Auflistung nicht eindeutig"))};
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

}  // namespace kx::platform::ui
