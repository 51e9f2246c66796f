// The main window of kolvanex-gui: the features of the suite, each reached
// through the public class as the suite's main program reaches them.
#include <QGroupBox>
#include <QInputDialog>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

#include "cleaning/destroy_phase.hpp"
#include "cleaning/discovery.hpp"
#include "core/shared_state.hpp"
#include "facade/kolvanex.hpp"
#include "facade/run_contexts.hpp"
#include "hosts/gui/gui.hpp"
#include "platform/runtime/translation.hpp"

namespace kx::gui {
namespace {

using platform::trMark;

QString qs(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// One of our texts in the user's language (written gui::tr in the window,
// whose own tr is Qt's).
QString tr(std::string_view german) {
    return qs(platform::tr(german));
}

// The operation's failure as a log line, or its answer.
template <typename T>
QString answer(const QString& caption, const Ret<T>& result) {
    if (!result)
        return caption + ": " + qs(result.error().description);
    if constexpr (std::is_same_v<T, bool>)
        return caption + ": " + (*result ? tr("ja") : tr("nein"));
    else if constexpr (std::is_same_v<T, std::string>)
        return caption + ": " + (result->empty() ? tr("(keine Antwort)") : qs(*result));
    else
        return caption + ": " + tr("erledigt");
}

}  // namespace

MainWindow::MainWindow() {
    setObjectName("frmHaupt");
    setWindowTitle(
        qs(platform::trf("{1} - Privatsphäre für Ihren Internet-PC", {shared().applicationTitle})));
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    features_ = new QWidget(central);
    auto* grid = new QGridLayout(features_);
    layout->addWidget(features_);
    log_ = new QPlainTextEdit(central);
    log_->setObjectName("txtProtokoll");
    log_->setReadOnly(true);
    log_->setMinimumHeight(120);
    layout->addWidget(new QLabel(gui::tr("Protokoll:"), central));
    layout->addWidget(log_, 1);
    setCentralWidget(central);

    // Each entry calls an operation of the public class; one that is not
    // built yet answers so in the log.
    int row = 0;
    addFeature(*grid, row, 0, trMark("Spuren beseitigen"), [this] { clean(); });
    addFeature(*grid, row, 1, trMark("Einstellungen..."),
               [this] { log(answer(gui::tr("Einstellungen"), CKOLVANEX().ShowOptionen())); });
    addFeature(*grid, ++row, 0, trMark("Anonyme Sitzung starten"), [this] {
        log(answer(gui::tr("Anonyme Sitzung"), CKOLVANEX().SetAnonymSessionOn(Long(winId()))));
    });
    addFeature(*grid, row, 1, trMark("Anonyme Sitzung beenden"), [this] {
        log(answer(gui::tr("Anonyme Sitzung beenden"),
                   CKOLVANEX().SetAnonymSessionOff(Long(winId()), true)));
    });
    addFeature(*grid, ++row, 0, trMark("Sichere Sitzung starten"), [this] {
        log(answer(gui::tr("Sichere Sitzung"),
                   CKOLVANEX().SetSafeSessionOn(Variant(Long(winId())))));
    });
    addFeature(*grid, row, 1, trMark("Sichere Sitzung beenden"), [this] {
        log(answer(gui::tr("Sichere Sitzung beenden"),
                   CKOLVANEX().SetSafeSessionOff(Long(winId()), true)));
    });
    addFeature(*grid, ++row, 0, trMark("Proxy-Einstellungen..."), [this] {
        log(answer(gui::tr("Proxy-Einstellungen"), CKOLVANEX().ShowProxyOptionen()));
    });
    addFeature(*grid, row, 1, trMark("Schnellsten Proxy suchen"), [this] {
        log(answer(gui::tr("Schnellster Proxy"), CKOLVANEX().GetFastestProxy()));
    });
    addFeature(*grid, ++row, 0, trMark("Meine IP-Adresse"),
               [this] { log(answer(gui::tr("IP-Adresse"), CKOLVANEX().GetIPAdress())); });
    addFeature(*grid, row, 1, trMark("Auf Dialer prüfen"),
               [this] { log(answer(gui::tr("Dialer-Prüfung"), CKOLVANEX().KXCheckForDialer())); });
    addFeature(*grid, ++row, 0, trMark("Dateien verschlüsseln..."), [this] {
        log(answer(gui::tr("Dateien verschlüsseln"),
                   CKOLVANEX().KXCryptFiles(enumCryptIt::Encrypt)));
    });
    addFeature(*grid, row, 1, trMark("Dateien entschlüsseln..."), [this] {
        log(answer(gui::tr("Dateien entschlüsseln"),
                   CKOLVANEX().KXCryptFiles(enumCryptIt::Decrypt)));
    });
    addFeature(*grid, ++row, 0, trMark("Ordner verschlüsseln..."), [this] {
        log(answer(gui::tr("Ordner verschlüsseln"),
                   CKOLVANEX().KXCriptFolders(enumCryptIt::Encrypt)));
    });
    addFeature(*grid, row, 1, trMark("Ordner entschlüsseln..."), [this] {
        log(answer(gui::tr("Ordner entschlüsseln"),
                   CKOLVANEX().KXCriptFolders(enumCryptIt::Decrypt)));
    });
    addFeature(*grid, ++row, 0, trMark("Sichere Favoriten..."),
               [this] { log(answer(gui::tr("Sichere Favoriten"), CKOLVANEX().ShowFavoriten())); });
    addFeature(*grid, row, 1, trMark("Anonyme E-Mail..."),
               [this] { log(answer(gui::tr("Anonyme E-Mail"), CKOLVANEX().ShowAnoMail())); });
    addFeature(*grid, ++row, 0, trMark("Popup-Blocker..."), [this] {
        log(answer(gui::tr("Popup-Blocker"), CKOLVANEX().ShowOptionenPopupBlocker()));
    });
    addFeature(*grid, row, 1, trMark("Information"),
               [this] { log(answer(gui::tr("Information"), CKOLVANEX().ShowInfo())); });
}

void MainWindow::addFeature(QGridLayout& grid, int row, int column, std::string_view german,
                            std::function<void()> work) {
    const QString caption = gui::tr(german);
    auto* button = new QPushButton(caption, features_);
    button->setObjectName(qs(german));  // found by its German name whatever the language
    QObject::connect(button, &QPushButton::clicked, this,
                     [this, caption, work = std::move(work)] { run(caption, work); });
    grid.addWidget(button, row, column);
}

void MainWindow::run(const QString& caption, const std::function<void()>& work) {
    // The engine yields while it works, so a second click would land inside
    // the running operation: the features wait until it is done.
    features_->setEnabled(false);
    statusBar()->showMessage(caption + " ...");
    work();
    statusBar()->clearMessage();
    features_->setEnabled(true);
}

void MainWindow::log(const QString& line) {
    log_->appendPlainText(line);
}

bool MainWindow::clean() {
    const ThreadCleaningRun run;
    cleaning::runDiscovery(run.context());
    if (run.context().cancelled()) {
        log(gui::tr("Reinigung: ") + gui::tr(cleaning::kCancelledLine));
        return false;
    }
    const auto summary = cleaning::runDestroyPhase(run.context());
    if (!summary || summary->cancelled) {
        log(gui::tr("Reinigung: ") + gui::tr(cleaning::kCancelledLine));
        if (summary)
            log(gui::tr("Reinigung: ") + qs(cleaning::summaryLine(summary->count, summary->bytes)));
        return false;
    }
    log(gui::tr("Reinigung: ") + qs(cleaning::summaryLine(summary->count, summary->bytes)));
    return true;
}

}  // namespace kx::gui
