#pragma once
// kolvanex-gui: the suite's main window on the engine, and the gallery that
// renders every dialog into pictures.
#include <QGridLayout>
#include <QMainWindow>
#include <QPlainTextEdit>

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kx::gui {

/// The main window: one button per feature, each calling CKOLVANEX, and a
/// log of what the operations answered. While an operation runs the
/// buttons are disabled (the engine is not re-entered), the progress window
/// shows the live log and its "Schließen" cancels.
class MainWindow final : public QMainWindow {
  public:
    MainWindow();
    /// A line in the window's log.
    void log(const QString& line);
    /// A cleaning run: discovery, then (unless cancelled) the destroy
    /// phase; the summary goes to the log. Answers false when cancelled.
    bool clean();

  private:
    /// A feature's button, named by its German caption and showing it in
    /// the user's language.
    void addFeature(QGridLayout& grid, int row, int column, std::string_view german,
                    std::function<void()> work);
    void run(const QString& caption, const std::function<void()>& work);

    QPlainTextEdit* log_;
    QWidget* features_;
};

/// Renders every dialog (and the main window) into `folder` as PNG files.
/// A dialog that cannot be shown, has controls no view binds, or clips a
/// text fails the run; every failure is named on standard error. Answers
/// the exit status.
int renderGallery(const std::filesystem::path& folder);

}  // namespace kx::gui
