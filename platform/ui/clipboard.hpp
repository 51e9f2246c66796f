#pragma once
// The clipboard's text. The Qt host binds the system clipboard; without one
// the thread keeps an in-process clipboard, so that copying works (and can be
// checked) in the console host and in tests.
#include <string>
#include <string_view>
#include "platform/runtime/thread_binding.hpp"

namespace kx::platform::ui {

class Clipboard {
  public:
    virtual ~Clipboard() = default;
    /// Empties the clipboard (Clipboard.Clear).
    virtual void clear() = 0;
    /// Puts text on it, replacing any text there.
    virtual void setText(std::string_view text) = 0;
    /// The text on it; "" when it holds none.
    virtual std::string getText() const = 0;
    virtual bool hasText() const = 0;
};

class MemoryClipboard final : public Clipboard {
  public:
    void clear() override {
        text_.clear();
        hasText_ = false;
    }
    void setText(std::string_view text) override {
        text_ = text;
        hasText_ = true;
    }
    std::string getText() const override { return text_; }
    bool hasText() const override { return hasText_; }

  private:
    std::string text_;
    bool hasText_ = false;
};

/// The clipboard bound to the calling thread; the thread's MemoryClipboard
/// when none is bound.
Clipboard& clipboard();

using ClipboardScope = BindingScope<Clipboard>;

}  // namespace kx::platform::ui
