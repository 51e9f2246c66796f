#pragma once
// The system dialogs the engine asks for: message boxes, the common open and
// save dialogs, the folder browser. Each host binds the implementation that
// fits it (console, Qt, scripted for tests) to its thread.
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>
#include "platform/runtime/thread_binding.hpp"

#include "platform/ui/controls.hpp"

namespace kx::platform::ui {

// Message box flags and answers.
inline constexpr std::uint32_t MB_OK = 0x0;
inline constexpr std::uint32_t MB_OKCANCEL = 0x1;
inline constexpr std::uint32_t MB_YESNOCANCEL = 0x3;
inline constexpr std::uint32_t MB_YESNO = 0x4;
inline constexpr std::uint32_t MB_ICONCRITICAL = 0x10;
inline constexpr std::uint32_t MB_ICONQUESTION = 0x20;
inline constexpr std::uint32_t MB_ICONEXCLAMATION = 0x30;
inline constexpr std::uint32_t MB_ICONINFORMATION = 0x40;
inline constexpr std::uint32_t MB_DEFBUTTON2 = 0x100;
inline constexpr std::uint32_t MB_SYSTEMMODAL = 0x1000;
inline constexpr std::int32_t IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7;

/// The record GetOpenFileNameA/GetSaveFileNameA take; the filter holds
/// description/pattern pairs separated by NUL characters and ends in NUL.
struct OpenFileName {
    std::uint32_t structSize = 76;
    HWND owner = 0;
    std::string filter;
    std::string file;  // buffer: the chosen name followed by NUL on return
    std::uint32_t maxFile = 255;
    std::string fileTitle;
    std::uint32_t maxFileTitle = 255;
    std::string initialDir;
    std::string title;
    std::uint32_t flags = 0;
};

inline constexpr std::uint32_t OFN_HIDEREADONLY = 0x4;
inline constexpr std::uint32_t OFN_OVERWRITEPROMPT = 0x2;
inline constexpr std::uint32_t OFN_FILEMUSTEXIST = 0x1000;
inline constexpr std::uint32_t OFN_CREATEPROMPT = 0x2000;
inline constexpr std::uint32_t OFN_ALLOWMULTISELECT = 0x200;
inline constexpr std::uint32_t OFN_EXPLORER = 0x80000;
inline constexpr std::uint32_t BIF_RETURNONLYFSDIRS = 0x1;

class Dialogs {
  public:
    virtual ~Dialogs() = default;
    /// Answers IDOK, IDCANCEL, IDYES or IDNO.
    virtual std::int32_t messageBox(const std::string& text, const std::string& title,
                                    std::uint32_t flags) = 0;
    /// True when the user chose; the name is then in `ofn.file` (NUL-terminated).
    virtual bool getOpenFileName(OpenFileName& ofn) = 0;
    virtual bool getSaveFileName(OpenFileName& ofn) = 0;
    /// The chosen folder's path, or nothing when cancelled.
    virtual std::optional<std::string> browseForFolder(HWND owner, const std::string& title,
                                                       std::int32_t root, std::uint32_t flags) = 0;
};

/// The implementation bound to the calling thread; a console implementation
/// when none is bound.
Dialogs& dialogs();

using DialogsScope = BindingScope<Dialogs>;

/// How a console answers the questions of dialogs: it asks on the terminal
/// (the default button answers when there is none), or a script said yes or
/// no to every question beforehand.
enum class ConsoleAnswer { Ask, Yes, No };

/// Text dialogs: messages go to standard error; questions are read from the
/// terminal when standard input is one, else the default button answers,
/// unless the answer was given beforehand (yes: Yes or OK; no: No or Cancel).
class ConsoleDialogs final : public Dialogs {
  public:
    explicit ConsoleDialogs(ConsoleAnswer answer = ConsoleAnswer::Ask) : answer_(answer) {}
    void setAnswer(ConsoleAnswer answer) { answer_ = answer; }

    std::int32_t messageBox(const std::string& text, const std::string& title,
                            std::uint32_t flags) override;
    bool getOpenFileName(OpenFileName& ofn) override;
    bool getSaveFileName(OpenFileName& ofn) override;
    std::optional<std::string> browseForFolder(HWND owner, const std::string& title,
                                               std::int32_t root, std::uint32_t flags) override;

  private:
    ConsoleAnswer answer_;
};

/// Dialogs answered from a script, recording what was asked; for tests and
/// for hosts that drive the engine without a person.
class ScriptedDialogs final : public Dialogs {
  public:
    struct Shown {
        std::string kind;  // "message", "open", "save", "folder"
        std::string text;
        std::string title;
        std::uint32_t flags = 0;
        OpenFileName record;  // for "open" and "save", as the engine passed it
    };

    std::vector<Shown> shown;
    std::deque<std::int32_t> messageAnswers;             // default: IDOK / the default button
    std::deque<std::optional<std::string>> fileAnswers;  // nothing = cancel
    std::deque<std::optional<std::string>> folderAnswers;

    std::int32_t messageBox(const std::string& text, const std::string& title,
                            std::uint32_t flags) override;
    bool getOpenFileName(OpenFileName& ofn) override;
    bool getSaveFileName(OpenFileName& ofn) override;
    std::optional<std::string> browseForFolder(HWND owner, const std::string& title,
                                               std::int32_t root, std::uint32_t flags) override;

  private:
    bool answerFile(const char* kind, OpenFileName& ofn);
};

/// The button a message box of these flags answers when nobody chooses.
std::int32_t defaultButton(std::uint32_t flags);

}  // namespace kx::platform::ui
