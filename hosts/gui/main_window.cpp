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

namespace kx::gui {
namespace {

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

// The operation's failure as a log line, or its answer.
template <typename T>
QString answer(const QString& caption, const Ret<T>& result) {
    if (!result)
        return caption + ": " + qs(result.error().description);
    if constexpr (std::is_same_v<T, bool>)
        return caption + ": " + (*result ? "ja" : "nein");
    else if constexpr (std::is_same_v<T, std::string>)
        return caption + ": " + (result->empty() ? QString("(keine Antwort)") : qs(*result));
    else
        return caption + ": erledigt";
}

}  // namespace

MainWindow::MainWindow() {
    setObjectName("frmHaupt");
    setWindowTitle(qs(shared().applicationTitle) + " - Privatsphäre für Ihren Internet-PC");
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    features_ = new QWidget(central);
    auto* grid = new QGridLayout(features_);
    layout->addWidget(features_);
    log_ = new QPlainTextEdit(central);
    log_->setObjectName("txtProtokoll");
    log_->setReadOnly(true);
    log_->setMinimumHeight(120);
    layout->addWidget(new QLabel("Protokoll:", central));
    layout->addWidget(log_, 1);
    setCentralWidget(central);

    // Each entry calls an operation of the public class; one that is not
    // built yet answers so in the log.
    int row = 0;
    addFeature(*grid, row, 0, "Spuren beseitigen", [this] { clean(); });
    addFeature(*grid, row, 1, "Einstellungen...",
               [this] { log(answer("Einstellungen", CKOLVANEX().ShowOptionen())); });
    addFeature(*grid, ++row, 0, "Anonyme Sitzung starten", [this] {
        log(answer("Anonyme Sitzung", CKOLVANEX().SetAnonymSessionOn(Long(winId()))));
    });
    addFeature(*grid, row, 1, "Anonyme Sitzung beenden", [this] {
        log(answer("Anonyme Sitzung beenden",
                   CKOLVANEX().SetAnonymSessionOff(Long(winId()), true)));
    });
    addFeature(*grid, ++row, 0, "Sichere Sitzung starten", [this] {
        log(answer("Sichere Sitzung", CKOLVANEX().SetSafeSessionOn(Variant(Long(winId())))));
    });
    addFeature(*grid, row, 1, "Sichere Sitzung beenden", [this] {
        log(answer("Sichere Sitzung beenden", CKOLVANEX().SetSafeSessionOff(Long(winId()), true)));
    });
    addFeature(*grid, ++row, 0, "Proxy-Einstellungen...",
               [this] { log(answer("Proxy-Einstellungen", CKOLVANEX().ShowProxyOptionen())); });
    addFeature(*grid, row, 1, "Schnellsten Proxy suchen",
               [this] { log(answer("Schnellster Proxy", CKOLVANEX().GetFastestProxy())); });
    addFeature(*grid, ++row, 0, "Meine IP-Adresse",
               [this] { log(answer("IP-Adresse", CKOLVANEX().GetIPAdress())); });
    addFeature(*grid, row, 1, "Auf Dialer prüfen",
               [this] { log(answer("Dialer-Prüfung", CKOLVANEX().KXCheckForDialer())); });
    addFeature(*grid, ++row, 0, "Dateien verschlüsseln...", [this] {
        log(answer("Dateien verschlüsseln", CKOLVANEX().KXCryptFiles(enumCryptIt::Encrypt)));
    });
    addFeature(*grid, row, 1, "Dateien entschlüsseln...", [this] {
        log(answer("Dateien entschlüsseln", CKOLVANEX().KXCryptFiles(enumCryptIt::Decrypt)));
    });
    addFeature(*grid, ++row, 0, "Ordner verschlüsseln...", [this] {
        log(answer("Ordner verschlüsseln", CKOLVANEX().KXCriptFolders(enumCryptIt::Encrypt)));
    });
    addFeature(*grid, row, 1, "Ordner entschlüsseln...", [this] {
        log(answer("Ordner entschlüsseln", CKOLVANEX().KXCriptFolders(enumCryptIt::Decrypt)));
    });
    addFeature(*grid, ++row, 0, "Sichere Favoriten...",
               [this] { log(answer("Sichere Favoriten", CKOLVANEX().ShowFavoriten())); });
    addFeature(*grid, row, 1, "Anonyme E-Mail...",
               [this] { log(answer("Anonyme E-Mail", CKOLVANEX().ShowAnoMail())); });
    addFeature(*grid, ++row, 0, "Popup-Blocker...",
               [this] { log(answer("Popup-Blocker", CKOLVANEX().ShowOptionenPopupBlocker())); });
    addFeature(*grid, row, 1, "Information",
               [this] { log(answer("Information", CKOLVANEX().ShowInfo())); });
}

void MainWindow::addFeature(QGridLayout& grid, int row, int column, const QString& caption,
                            std::function<void()> work) {
    auto* button = new QPushButton(caption, features_);
    button->setObjectName(caption);
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
        log("Reinigung: " + qs(std::string(cleaning::kCancelledLine)));
        return false;
    }
    const auto summary = cleaning::runDestroyPhase(run.context());
    if (!summary || summary->cancelled) {
        log("Reinigung: " + qs(std::string(cleaning::kCancelledLine)));
        if (summary)
            log("Reinigung: " + qs(cleaning::summaryLine(summary->count, summary->bytes)));
        return false;
    }
    log("Reinigung: " + qs(cleaning::summaryLine(summary->count, summary->bytes)));
    return true;
}

}  // namespace kx::gui
