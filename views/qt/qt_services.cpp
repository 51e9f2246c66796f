#include "views/qt/qt_services.hpp"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTranslator>

#include <filesystem>
#include <system_error>

#include "platform/machine/machine.hpp"
#include "platform/runtime/translation.hpp"

namespace kx::views {
namespace {

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

// One of our texts in the user's language.
QString tr(std::string_view german) {
    const auto text = platform::tr(german);
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Qt's own texts (the file dialog's buttons and labels, the context menu of
// an edit box) in German when our texts are German, so a dialog never
// mixes the two languages. Installed once per process; without Qt's German
// catalogue the dialogs keep Qt's English.
void installQtTranslations() {
    static bool installed = false;
    if (installed || QCoreApplication::instance() == nullptr)
        return;
    installed = true;
    if (platform::userLanguage() != platform::Language::German)
        return;
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (translator->load(QLocale(QLocale::German), "qtbase", "_",
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
    else
        delete translator;
}

QMessageBox::Icon iconOf(std::uint32_t flags) {
    switch (flags & 0x70) {
        case ui::MB_ICONCRITICAL:
            return QMessageBox::Critical;
        case ui::MB_ICONQUESTION:
            return QMessageBox::Question;
        case ui::MB_ICONEXCLAMATION:
            return QMessageBox::Warning;
        case ui::MB_ICONINFORMATION:
            return QMessageBox::Information;
        default:
            return QMessageBox::NoIcon;
    }
}

// The owner window of a dialog: the active window of the application.
QWidget* owner() {
    return QApplication::activeWindow();
}

}  // namespace

std::int32_t QtDialogs::messageBox(const std::string& text, const std::string& title,
                                   std::uint32_t flags) {
    QMessageBox box(iconOf(flags), qs(title), qs(text), QMessageBox::NoButton, owner());
    struct Choice {
        QString caption;
        QMessageBox::ButtonRole role;
        std::int32_t answer;
    };
    std::vector<Choice> choices;
    const QString ok = qs("OK");
    const QString cancel = tr("Abbrechen");
    const QString yes = tr("&Ja");
    const QString no = tr("&Nein");
    switch (flags & 0xF) {
        case ui::MB_OKCANCEL:
            choices = {{ok, QMessageBox::AcceptRole, ui::IDOK},
                       {cancel, QMessageBox::RejectRole, ui::IDCANCEL}};
            break;
        case ui::MB_YESNO:
            choices = {{yes, QMessageBox::YesRole, ui::IDYES}, {no, QMessageBox::NoRole, ui::IDNO}};
            break;
        case ui::MB_YESNOCANCEL:
            choices = {{yes, QMessageBox::YesRole, ui::IDYES},
                       {no, QMessageBox::NoRole, ui::IDNO},
                       {cancel, QMessageBox::RejectRole, ui::IDCANCEL}};
            break;
        default:
            choices = {{ok, QMessageBox::AcceptRole, ui::IDOK}};
            break;
    }
    const std::int32_t preset = ui::defaultButton(flags);
    std::vector<std::pair<QAbstractButton*, std::int32_t>> buttons;
    for (const auto& choice : choices) {
        auto* button = box.addButton(choice.caption, choice.role);
        buttons.emplace_back(button, choice.answer);
        if (choice.answer == preset)
            box.setDefaultButton(button);
    }
    if ((flags & ui::MB_SYSTEMMODAL) != 0)
        box.setWindowFlag(Qt::WindowStaysOnTopHint);
    {
        const QtView::ModalScope scope(view_);
        box.exec();
    }
    for (const auto& [button, answer] : buttons) {
        if (box.clickedButton() == button)
            return answer;
    }
    // Closed by its title bar: the answer of the cancel button, else the
    // only button's.
    return choices.size() == 1             ? choices.front().answer
           : (flags & 0xF) == ui::MB_YESNO ? ui::IDNO
                                           : ui::IDCANCEL;
}

bool QtDialogs::chooseFile(ui::OpenFileName& ofn, bool save) {
    QFileDialog dialog(owner(), qs(ofn.title));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilter(fileFilter(ofn.filter));
    dialog.setOption(QFileDialog::DontConfirmOverwrite, (ofn.flags & ui::OFN_OVERWRITEPROMPT) == 0);
    if (const auto dir = hostPath(ofn.initialDir))
        dialog.setDirectory(*dir);
    const std::string proposed = ofn.file.substr(0, ofn.file.find('\0'));
    if (!proposed.empty())
        dialog.selectFile(qs(proposed));
    int result = 0;
    {
        const QtView::ModalScope scope(view_);
        result = dialog.exec();
    }
    if (result != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    const auto chosen = windowsPath(dialog.selectedFiles().front());
    if (!chosen || chosen->size() + 1 > ofn.maxFile)
        return false;
    ofn.file = *chosen + '\0';
    return true;
}

bool QtDialogs::getOpenFileName(ui::OpenFileName& ofn) {
    return chooseFile(ofn, false);
}

bool QtDialogs::getSaveFileName(ui::OpenFileName& ofn) {
    return chooseFile(ofn, true);
}

std::optional<std::string> QtDialogs::browseForFolder(ui::HWND, const std::string& title,
                                                      std::int32_t, std::uint32_t) {
    QFileDialog dialog(owner(), qs(title));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    if (const auto start = hostPath("C:\\"))
        dialog.setDirectory(*start);
    int result = 0;
    {
        const QtView::ModalScope scope(view_);
        result = dialog.exec();
    }
    if (result != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return windowsPath(dialog.selectedFiles().front());
}

void QtClipboard::clear() {
    QGuiApplication::clipboard()->clear();
}

void QtClipboard::setText(std::string_view text) {
    QGuiApplication::clipboard()->setText(
        QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

std::string QtClipboard::getText() const {
    return QGuiApplication::clipboard()->text().toStdString();
}

bool QtClipboard::hasText() const {
    const auto* data = QGuiApplication::clipboard()->mimeData();
    return data != nullptr && data->hasText();
}

QtCursor::~QtCursor() {
    if (current_ == ui::MousePointer::Hourglass)
        QApplication::restoreOverrideCursor();
}

void QtCursor::set(ui::MousePointer pointer) {
    const bool wasBusy = current_ == ui::MousePointer::Hourglass;
    const bool busy = pointer == ui::MousePointer::Hourglass;
    if (busy && !wasBusy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else if (!busy && wasBusy)
        QApplication::restoreOverrideCursor();
    current_ = pointer;
}

QString fileFilter(const std::string& filter) {
    QStringList parts = qs(filter).split(QChar('\0'), Qt::SkipEmptyParts);
    QStringList lines;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(';', ' ');
        lines << parts[i] + " (" + patterns + ")";
    }
    return lines.join(";;");
}

std::optional<QString> hostPath(const std::string& windowsPath) {
    if (windowsPath.empty() || !platform::hasCurrentMachine())
        return std::nullopt;
    const auto resolved = platform::currentMachine().resolve(windowsPath);
    if (!resolved)
        return std::nullopt;
    return QString::fromStdString(resolved->string());
}

std::optional<std::string> windowsPath(const QString& hostPath) {
    if (!platform::hasCurrentMachine())
        return std::nullopt;
    namespace fs = std::filesystem;
    const auto& machine = platform::currentMachine();
    std::error_code error;
    const fs::path file = fs::weakly_canonical(fs::path(hostPath.toStdString()), error);
    if (error)
        return std::nullopt;
    for (const auto& drive : machine.config().drives) {
        const std::string letter(1, static_cast<char>(drive.letter));
        const auto root = machine.resolve(letter + ":\\");
        if (!root)
            continue;
        const fs::path base = fs::weakly_canonical(*root, error);
        if (error)
            continue;
        const fs::path relative = file.lexically_relative(base);
        if (relative.empty() || *relative.begin() == "..")
            continue;
        std::string path = letter + ":";
        for (const auto& part : relative) {
            if (part != ".")
                path += "\\" + part.string();
        }
        return path == letter + ":" ? path + "\\" : path;
    }
    return std::nullopt;
}

QtEnvironment::QtEnvironment() {
    installQtTranslations();
}

}  // namespace kx::views
