#pragma once
// The system services the engine asks the GUI thread for, through Qt:
// message boxes, the open and save dialogs and the folder browser, the
// clipboard and the mouse pointer. QtEnvironment binds them, with the view,
// to the calling thread for its lifetime.
#include <optional>

#include "platform/ui/clipboard.hpp"
#include "platform/ui/cursor.hpp"
#include "platform/ui/dialogs.hpp"
#include "views/qt/qt_view.hpp"

namespace kx::views {

class QtDialogs final : public ui::Dialogs {
  public:
    explicit QtDialogs(QtView& view) : view_(view) {}
    std::int32_t messageBox(const std::string& text, const std::string& title,
                            std::uint32_t flags) override;
    bool getOpenFileName(ui::OpenFileName& ofn) override;
    bool getSaveFileName(ui::OpenFileName& ofn) override;
    std::optional<std::string> browseForFolder(ui::HWND owner, const std::string& title,
                                               std::int32_t root, std::uint32_t flags) override;

  private:
    bool chooseFile(ui::OpenFileName& ofn, bool save);
    QtView& view_;
};

class QtClipboard final : public ui::Clipboard {
  public:
    void clear() override;
    void setText(std::string_view text) override;
    std::string getText() const override;
    bool hasText() const override;
};

/// The hourglass as Qt's override cursor.
class QtCursor final : public ui::Cursor {
  public:
    ~QtCursor() override;
    void set(ui::MousePointer pointer) override;
    ui::MousePointer current() const override { return current_; }

  private:
    ui::MousePointer current_ = ui::MousePointer::Default;
};

/// The Qt filter of a dialog record's filter ("Texte\0*.txt;*.log\0" ->
/// "Texte (*.txt *.log)"), one line per pair.
QString fileFilter(const std::string& filter);
/// A Windows path of the bound machine as a host path, and back; nothing
/// when the path lies outside every drive of the machine.
std::optional<QString> hostPath(const std::string& windowsPath);
std::optional<std::string> windowsPath(const QString& hostPath);

/// The Qt view and services, bound to the calling thread while it lives.
class QtEnvironment {
  public:
    QtEnvironment();
    QtView& view() { return view_; }
    QtDialogs& dialogs() { return dialogs_; }

  private:
    QtView view_;
    QtDialogs dialogs_{view_};
    QtClipboard clipboard_;
    QtCursor cursor_;
    ui::ViewScope viewScope_{view_};
    ui::WindowObserverScope observerScope_{view_};
    ui::DialogsScope dialogsScope_{dialogs_};
    ui::ClipboardScope clipboardScope_{clipboard_};
    ui::CursorScope cursorScope_{cursor_};
};

}  // namespace kx::views
