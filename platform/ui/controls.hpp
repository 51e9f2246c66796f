#pragma once
// Toolkit-neutral controls and the form they sit on. A form model in the
// engine owns these objects; views (Qt, console, scripted) render them.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/variant.hpp"

namespace kx::platform::ui {

using HWND = std::int32_t;

/// System colour "button face", as the runtime encodes system colours.
inline constexpr std::uint32_t kColorButtonFace = 0x8000000Fu;

class Control : public Object {
  public:
    explicit Control(std::string name) : name_(std::move(name)) {}
    const std::string& name() const { return name_; }

    bool enabled = true;
    bool visible = true;
    std::string toolTipText;
    std::string tag;
    /// The control's background colour, or none for controls that have no
    /// background colour property.
    std::optional<std::uint32_t> backColor;

  private:
    std::string name_;
};

/// Controls with an editable text and a selection.
class TextBox final : public Control {
  public:
    using Control::Control;
    std::string_view typeName() const override { return "TextBox"; }
    std::string text;
    std::int32_t selStart = 0;
    std::int32_t selLength = 0;
};

class Label final : public Control {
  public:
    explicit Label(std::string name) : Control(std::move(name)) { backColor = kColorButtonFace; }
    std::string_view typeName() const override { return "Label"; }
    std::string caption;
};

class CheckBox final : public Control {
  public:
    explicit CheckBox(std::string name) : Control(std::move(name)) { backColor = kColorButtonFace; }
    std::string_view typeName() const override { return "CheckBox"; }
    std::string caption;
    std::int16_t value = 0;  // 0 unchecked, 1 checked, 2 grayed
};

/// A tab strip; tabs are numbered from 1.
class TabStrip final : public Control {
  public:
    using Control::Control;
    std::string_view typeName() const override { return "TabStrip"; }
    std::vector<std::string> tabs;   // captions
    std::int32_t selectedIndex = 1;  // 1-based
};

/// A form: caption, position and size in twips, and its controls.
class Form : public Object {
  public:
    explicit Form(std::string caption) : caption(std::move(caption)) {}
    std::string_view typeName() const override { return "Form"; }

    std::string caption;
    std::int32_t left = 0, top = 0, width = 0, height = 0;  // twips
    HWND hWnd = 0;                                          // 0 until the form is loaded
    std::vector<std::shared_ptr<Control>> controls;

    template <typename T>
    std::shared_ptr<T> add(std::string name) {
        auto control = std::make_shared<T>(std::move(name));
        controls.push_back(control);
        return control;
    }
};

/// The control that has the input focus, if any (set by the view that shows it).
Control* focusedControl();
void setFocusedControl(Control* control);

}  // namespace kx::platform::ui
