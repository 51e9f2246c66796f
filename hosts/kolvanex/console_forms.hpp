#pragma once
// The console's answers to the engine's modal dialogs that a command needs
// answered: the key prompts (from a key file, from the terminal without echo
// - twice for a new key - or from the first line of standard input), and
// whatever form a command fills in itself. Every other call goes to the view
// that was bound before.
#include <functional>
#include <optional>
#include <set>
#include <string>

#include "platform/ui/view.hpp"

namespace kx::host {

/// The first line of a (host) key file, without its line end; throws
/// UsageError when it cannot be read.
std::string keyFromFile(const std::string& file);

/// What a Ctrl+C at a prompt leaves: the command ends with kExitCancelled.
struct PromptInterrupted {};

/// A key typed by the user (twice when `confirm`); throws PromptInterrupted
/// on Ctrl+C, UsageError when the two differ. Not a terminal: the first
/// line of standard input.
std::string keyFromUser(bool confirm);

class ConsoleForms final : public platform::ui::View {
  public:
    /// Binds itself to the thread for its lifetime, over the view bound now.
    explicit ConsoleForms(std::optional<std::string> keyFile);
    ~ConsoleForms() override;
    ConsoleForms(const ConsoleForms&) = delete;
    ConsoleForms& operator=(const ConsoleForms&) = delete;

    /// A modal form the command answers itself (true: answered).
    std::function<bool(platform::ui::Form& form)> onModal;
    /// Set when Ctrl+C ended a key prompt.
    bool interrupted = false;

    void show(platform::ui::Form& form, bool modal) override;
    void hide(platform::ui::Form& form) override { inner_.hide(form); }
    void close(platform::ui::Form& form) override { inner_.close(form); }
    /// The controls of a form the command answers are not drawn.
    void refresh(platform::ui::Control& control) override;
    void popupMenu(platform::ui::Form& form, platform::ui::Menu& menu, std::optional<float> x,
                   std::optional<float> y) override {
        inner_.popupMenu(form, menu, x, y);
    }
    void pumpEvents() override { inner_.pumpEvents(); }

  private:
    bool answerKeyPrompt(platform::ui::Form& form);

    std::optional<std::string> keyFile_;
    std::set<const platform::ui::Form*> answering_;
    platform::ui::View& inner_;
    platform::ui::ViewScope scope_;
};

}  // namespace kx::host
