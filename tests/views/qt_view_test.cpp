// The Qt view on real widgets without a screen: what the user does on a
// widget reaches the form model and what the model changes shows on the
// widget; modal forms keep the engine's timers running; a running cleaning
// run stops when the user closes its progress window.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <filesystem>

#include "anonymity/frm_close_ie.hpp"
#include "anonymity/shipped_files.hpp"
#include "cleaning/run_state.hpp"
#include "core/shared_state.hpp"
#include "dialer/frm_dialer_list.hpp"
#include "facade/kolvanex.hpp"
#include "favourites/frm_favoriten.hpp"
#include "hosts/gui/gui.hpp"
#include "platform/ui/windows.hpp"
#include "services/progress.hpp"
#include "settings/keys.hpp"
#include "settings/locations.hpp"
#include "support/temp_machine.hpp"
#include "views/qt/form_window.hpp"
#include "views/qt/qt_services.hpp"

// Fontconfig keeps its caches until the process ends; the leak checker of
// the sanitizer build is told so (the hook is unused elsewhere).
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

namespace kx::test {
namespace {

namespace ui = platform::ui;

QApplication& app() {
    static int argc = 1;
    static char name[] = "test_views";
    static char* argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Never destroyed: at exit the thread's storage that Qt's objects need
    // on their way out is gone already.
    static auto* instance = new QApplication(argc, argv);
    return *instance;
}

// Work for the event loop that is dropped with the scope, so nothing runs on
// a test's objects after the test.
class Later {
  public:
    Later(int ms, std::function<void()> work) {
        timer_.setSingleShot(true);
        QObject::connect(&timer_, &QTimer::timeout, std::move(work));
        timer_.start(ms);
    }
    void again() { timer_.start(0); }

  private:
    QTimer timer_;
};

// Where a check box or option button takes a click: on its box.
QPoint box(const QWidget& button) {
    return {6, button.height() / 2};
}

class QtViewTest : public ::testing::Test {
  protected:
    void SetUp() override { resetShared(); }
    void TearDown() override {
        unloadProgressWindow();
        resetShared();
    }

    template <typename W>
    W* widget(const ui::Form& form, std::string_view control) {
        auto* window = qt.view().window(form);
        return window == nullptr ? nullptr : qobject_cast<W*>(window->widgetOf(control));
    }

    QApplication& application = app();
    TempMachine tm;
    views::QtEnvironment qt;
};

// A container of a kind the view has no binder for.
struct Frame final : ui::Control {
    using Control::Control;
    std::string_view typeName() const override { return "Frame"; }
};

// A form with one control of each kind that takes input.
struct Sample : ui::Form {
    Sample() : ui::Form("Beispiel") {
        name = "frmSample";
        fra = add<Frame>("fraChoice");
        txt = add<ui::TextBox>("txtName");
        txt->Change = [this] { ++changes; };
        chk = add<ui::CheckBox>("chkKeep");
        chk->caption = "&Behalten";
        chkStuck = add<ui::CheckBox>("chkStuck");
        chkStuck->caption = "Bleibt aus";
        chkStuck->Click = [this] { chkStuck->value = 0; };  // the model refuses
        optA = add<ui::OptionButton>("optA");
        optA->caption = "A";
        optA->value = true;
        optA->container = "fraChoice";
        optB = add<ui::OptionButton>("optB");
        optB->caption = "B";
        optB->container = "fraChoice";
        sl = add<ui::Slider>("slLevel");
        sl->Change = [this] { ++slides; };
        ts = add<ui::TabStrip>("tsPages");
        ts->tabs = {"Allgemein", "Proxy"};
        lv = add<ui::ListView>("lvRows");
        lv->addColumn("Name");
        lv->add("eins");
        lv->add("zwei");
        lv->ItemClick = [this](ui::ListItem& item) { clicked = item.text; };
        lbl = add<ui::Label>("lblText");
        lbl->caption = "alt";
        bar = add<ui::ProgressBar>("pbBar");
        cmd = add<ui::CommandButton>("cmdGo");
        cmd->caption = "&Los";
        cmd->Click = [this] { ++clicks; };
        cmdOff = add<ui::CommandButton>("cmdOff");
        cmdOff->caption = "Aus";
        cmdOff->enabled = false;
    }
    std::shared_ptr<Frame> fra;
    std::shared_ptr<ui::TextBox> txt;
    std::shared_ptr<ui::CheckBox> chk, chkStuck;
    std::shared_ptr<ui::OptionButton> optA, optB;
    std::shared_ptr<ui::Slider> sl;
    std::shared_ptr<ui::TabStrip> ts;
    std::shared_ptr<ui::ListView> lv;
    std::shared_ptr<ui::Label> lbl;
    std::shared_ptr<ui::ProgressBar> bar;
    std::shared_ptr<ui::CommandButton> cmd, cmdOff;
    int changes = 0, slides = 0, clicks = 0;
    std::string clicked;
};

TEST_F(QtViewTest, TheUsersActionsReachTheModelAndTheModelDecides) {
    Sample form;
    form.show(false);
    auto* window = qt.view().window(form);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->unboundControls().isEmpty());
    EXPECT_EQ(window->windowTitle(), "Beispiel");

    auto* name = widget<QLineEdit>(form, "txtName");
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    name->setFocus();
    EXPECT_EQ(ui::focusedControl(), form.txt.get());
    QTest::keyClicks(name, "Anna");
    EXPECT_EQ(form.txt->text, "Anna");
    EXPECT_EQ(form.changes, 4);

    auto* keep = widget<QCheckBox>(form, "chkKeep");
    EXPECT_EQ(keep->text(), "&Behalten");
    QTest::mouseClick(keep, Qt::LeftButton, {}, box(*keep));
    EXPECT_EQ(form.chk->value, 1);
    auto* stuck = widget<QCheckBox>(form, "chkStuck");
    QTest::mouseClick(stuck, Qt::LeftButton, {}, box(*stuck));
    EXPECT_EQ(form.chkStuck->value, 0);
    EXPECT_FALSE(stuck->isChecked());  // the widget shows what the model kept

    auto* optB = widget<QRadioButton>(form, "optB");
    QTest::mouseClick(optB, Qt::LeftButton, {}, box(*optB));
    EXPECT_TRUE(form.optB->value);
    EXPECT_FALSE(form.optA->value);
    EXPECT_FALSE(widget<QRadioButton>(form, "optA")->isChecked());
    // Hiding the container hides its controls with it.
    form.fra->visible = false;
    form.fra->refresh();
    EXPECT_FALSE(optB->isVisible());

    widget<QSlider>(form, "slLevel")->setValue(7);  // as a drag ends
    EXPECT_EQ(form.sl->value(), 7);
    EXPECT_EQ(form.slides, 1);

    widget<QTabBar>(form, "tsPages")->setCurrentIndex(1);
    EXPECT_EQ(form.ts->selectedIndex, 2);

    auto* tree = widget<QTreeWidget>(form, "lvRows");
    ASSERT_EQ(tree->topLevelItemCount(), 2);
    const QRect row = tree->visualItemRect(tree->topLevelItem(1));
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, row.center());
    EXPECT_EQ(form.lv->selectedIndex(), std::optional<std::size_t>(1));
    EXPECT_EQ(form.clicked, "zwei");

    QTest::mouseClick(widget<QPushButton>(form, "cmdGo"), Qt::LeftButton);
    EXPECT_EQ(form.clicks, 1);
    EXPECT_FALSE(widget<QPushButton>(form, "cmdOff")->isEnabled());

    // What the model changes shows at once.
    form.lbl->setCaption("neu");
    form.bar->setValue(30);
    form.txt->setText("Bert");
    form.lv->add("drei");
    EXPECT_EQ(widget<QLabel>(form, "lblText")->text(), "neu");
    EXPECT_EQ(widget<QProgressBar>(form, "pbBar")->value(), 30);
    EXPECT_EQ(widget<QLineEdit>(form, "txtName")->text(), "Bert");
    EXPECT_EQ(tree->topLevelItemCount(), 3);
    form.lv->clear();
    form.lv->add("allein");
    form.lv->refresh();
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    EXPECT_EQ(tree->topLevelItem(0)->text(0), "allein");

    // A widget squeezed below its text's size is reported.
    EXPECT_TRUE(window->clippedTexts().isEmpty());
    widget<QPushButton>(form, "cmdGo")->resize(4, 4);
    EXPECT_EQ(window->clippedTexts(), QStringList{"cmdGo: &Los"});

    form.unload();
    EXPECT_EQ(qt.view().window(form), nullptr);
}

TEST_F(QtViewTest, TheProgressWindowClosesOnItsTimerWhileQtWaits) {
    Status("eine Zeile");
    const auto window = existingProgressWindow();
    ASSERT_TRUE(window && window->isVisible());
    auto* log = widget<QTreeWidget>(*window, "lvLog");
    ASSERT_NE(log, nullptr);
    EXPECT_EQ(log->topLevelItem(0)->text(0), "eine Zeile");
    EXPECT_EQ(log->topLevelItem(0)->toolTip(0), "eine Zeile");  // in full, if cut short
    window->closeAfter(50);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window->isLoaded(); }, 5000));
    EXPECT_EQ(qt.view().window(*window), nullptr);
}

TEST_F(QtViewTest, TheLogsContextMenuCopiesItToTheClipboard) {
    Status("erste Zeile");
    Status("zweite Zeile");
    const auto window = existingProgressWindow();
    ASSERT_TRUE(window);
    auto* log = widget<QTreeWidget>(*window, "lvLog");
    ASSERT_NE(log, nullptr);
    const Later user(50, [] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        ASSERT_EQ(menu->actions().size(), 1);
        EXPECT_EQ(menu->actions()[0]->text(), "Protokoll ins Clipboard");
        menu->actions()[0]->trigger();
        menu->close();
    });
    QTest::mouseClick(log->viewport(), Qt::RightButton, {}, QPoint(20, 5));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "erste Zeile\r\nzweite Zeile\r\n");
}

TEST_F(QtViewTest, FileDialogsSpeakTheMachinesPathsAndFilters) {
    EXPECT_EQ(views::fileFilter(std::string("Texte\0*.txt;*.log\0Alle\0*.*\0", 27)),
              "Texte (*.txt *.log);;Alle (*.*)");
    const auto folder = views::hostPath("C:\\Programme");
    ASSERT_TRUE(folder);
    EXPECT_EQ(views::windowsPath(*folder), std::optional<std::string>("C:\\Programme"));
    EXPECT_EQ(views::windowsPath(*folder + "/Neu.txt"),
              std::optional<std::string>("C:\\Programme\\Neu.txt"));
    // Outside the prefix, a file is on Z:, the host's root.
    EXPECT_EQ(views::windowsPath("/etc/passwd"), std::optional<std::string>("Z:\\etc\\passwd"));
}

TEST_F(QtViewTest, TheEnginesTimersFireWhileAFormIsModal) {
    ui::Form form("Warten");
    auto timer = form.add<ui::Timer>("tmrDone");
    int fired = 0;
    timer->TimerEvent = [&] {
        ++fired;
        form.unload();
    };
    timer->setInterval(30);
    timer->start();
    // Should the timer never fire, the test ends the dialog itself.
    const Later rescue(5000, [&] { form.hide(); });
    form.show(true);
    EXPECT_EQ(fired, 1);
    EXPECT_FALSE(form.isLoaded());
}

TEST_F(QtViewTest, AMessageBoxOpenedByATimerLetsTheOtherTimersRun) {
    ui::Form form("Zeitgeber");
    auto ask = form.add<ui::Timer>("tmrAsk");
    auto count = form.add<ui::Timer>("tmrCount");
    int counted = 0, countedWhenAnswered = -1;
    std::int32_t answer = 0;
    ask->TimerEvent = [&] {
        ask->stop();
        answer = ui::dialogs().messageBox("Weiter?", "Zeitgeber", ui::MB_YESNO);
        countedWhenAnswered = counted;
    };
    count->TimerEvent = [&] { ++counted; };
    ask->setInterval(20);
    count->setInterval(20);
    form.load();
    ask->start();
    count->start();
    const Later user(300, [] {
        auto* box = QApplication::activeModalWidget();
        ASSERT_NE(box, nullptr);
        for (auto* button : box->findChildren<QPushButton*>()) {
            if (button->text() == "&Nein")
                button->click();
        }
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return answer != 0; }, 5000));
    EXPECT_EQ(answer, ui::IDNO);
    EXPECT_GT(countedWhenAnswered, 0);
    form.unload();
}

TEST_F(QtViewTest, WindowsFollowTheCaptionAndTopmostRules) {
    shared().KXAppTitle = "Meine Suite";
    shared().applicationTitle = "Meine Suite";
    shared().gbFormsOnTop = true;
    dialer::frmDialerList dialerList;  // follows gbFormsOnTop
    frmProgress progress;              // never topmost
    for (ui::Form* form : std::initializer_list<ui::Form*>{&dialerList, &progress}) {
        form->show(false);
        auto* window = qt.view().window(*form);
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(window->windowTitle().toStdString(), form->caption);
        EXPECT_EQ(bool(window->windowFlags() & Qt::WindowStaysOnTopHint), form == &dialerList);
    }
    EXPECT_EQ(dialerList.caption, "Meine Suite - Warnhinweis");
    // Later changes show at once, with no event delivered in between.
    auto* window = qt.view().window(progress);
    progress.setCaption("Neuer Titel");
    EXPECT_EQ(window->windowTitle(), "Neuer Titel");
    ASSERT_TRUE(ui::SetWindowPos(progress.hWnd, ui::HWND_TOPMOST, 0, 0, 0, 0,
                                 ui::SWP_NOMOVE | ui::SWP_NOSIZE));
    EXPECT_TRUE(window->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(window->isVisible());
    dialerList.unload();
    progress.unload();
}

TEST_F(QtViewTest, TheFavouritesSearchBoxCompletesWhatIsTypedAndChoosesFromItsList) {
    favourites::frmFavoriten form(nullptr, favourites::SessionCalls{});
    form.load();
    for (const char* name : {"Post", "Bank", "bahn"}) form.addRow({name, "", "", "", ""});
    form.FillTheCombo();
    form.show(false);
    auto* combo = widget<QComboBox>(form, "cbFind");
    ASSERT_NE(combo, nullptr);
    EXPECT_LT(widget<QPushButton>(form, "tbToolsA")->y(), combo->y());  // the toolbar is on top
    EXPECT_EQ(combo->count(), 3);
    QTest::keyClicks(combo->lineEdit(), "ba");
    EXPECT_EQ(combo->lineEdit()->text(), "Bank");
    EXPECT_EQ(combo->lineEdit()->selectedText(), "nk");  // the completed tail
    EXPECT_EQ(form.lvFavoriten->selectedIndex(), 1u);
    emit combo->activated(2);  // the user picks "bahn" from the list
    EXPECT_EQ(form.cbFind->text, "bahn");
    EXPECT_EQ(form.lvFavoriten->selectedIndex(), 2u);
    form.unload();
}

TEST_F(QtViewTest, F2EditsAFavouritesNameInPlaceAndEnterCommitsIt) {
    std::vector<std::string> opened;
    favourites::frmFavoriten form(
        nullptr, {{}, {}, {}, [&opened](const std::string& url) { opened.push_back(url); }});
    form.load();
    for (const char* name : {"Bank", "Post"}) form.addRow({name, "", "", "", name});
    form.selectOnly(1);
    form.show(false);
    auto* tree = widget<QTreeWidget>(form, "lvFavoriten");
    ASSERT_NE(tree, nullptr);
    QTest::keyClick(tree, Qt::Key_F2);
    auto* editor = tree->viewport()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(), "Post");
    editor->selectAll();
    QTest::keyClicks(editor, "Postbank");
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents();  // the editor commits after its own key handling
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);  // and goes
    EXPECT_EQ(tree->topLevelItem(1)->text(0), "Postbank");
    EXPECT_EQ(form.lvFavoriten->item(1)->text, "Postbank");
    EXPECT_EQ(form.cbFind->text, "Postbank");
    EXPECT_TRUE(form.changed);
    EXPECT_TRUE(opened.empty());  // the Enter was the edit's, not the list's
    // Escape ends an edit with nothing changed, and the window stays.
    QTest::keyClick(tree, Qt::Key_F2);
    editor = tree->viewport()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    QTest::keyClicks(editor, "x");
    QTest::keyClick(editor, Qt::Key_Escape);
    QCoreApplication::processEvents();
    EXPECT_FALSE(form.lvFavoriten->labelEditing());
    EXPECT_EQ(tree->topLevelItem(1)->text(0), "Postbank");
    EXPECT_TRUE(form.isLoaded());
    form.changed = false;  // nothing to store
    form.unload();
}

TEST_F(QtViewTest, TheCloseBrowserQuestionAnswersAsClickedAndKeepsItsBox) {
    struct Case {
        const char* how;
        bool yes;  // else Escape, the cancel button "Nein"
        std::string tag;
    };
    for (const auto& c : {Case{"Ja", true, "OK"}, Case{"Escape", false, ""}}) {
        SCOPED_TRACE(c.how);
        anonymity::frmCloseIE form;
        form.tag = "vorher";
        const Later user(0, [&] {
            auto* dontAsk = widget<QCheckBox>(form, "chkDontAsk");
            QTest::mouseClick(dontAsk, Qt::LeftButton, {}, box(*dontAsk));
            if (c.yes)
                QTest::mouseClick(widget<QPushButton>(form, "cmdOK"), Qt::LeftButton);
            else
                QTest::keyClick(qt.view().window(form), Qt::Key_Escape);
        });
        const Later rescue(5000, [&] { form.hide(); });
        form.show(true);
        EXPECT_EQ(form.tag, c.tag);
        EXPECT_EQ(form.chkDontAsk->value, 1);
        form.unload();
        EXPECT_EQ(settings::read(settings::keys::CloseSessions), "1");
        ASSERT_TRUE(settings::write(settings::keys::CloseSessions, "0"));
    }
}

TEST_F(QtViewTest, TheMainWindowCleansAndItsProgressWindowCancels) {
    shared().KXAppPath = "C:\\Programme\\Kolvanex";
    for (const auto* key :
         {&settings::keys::INetTempFiles, &settings::keys::Cookies, &settings::keys::Recent,
          &settings::keys::History, &settings::keys::AutoFillOff, &settings::keys::DialerCheckTime,
          &settings::keys::KaazaaSearch})
        ASSERT_TRUE(settings::write(*key, "0"));
    ASSERT_TRUE(settings::write(settings::keys::TempFiles, "1"));
    const std::string temp = settings::GetTempDir(true);
    constexpr int kFiles = 40;

    for (const bool cancel : {true, false}) {
        SCOPED_TRACE(cancel ? "cancelled" : "to the end");
        shared().gbBreak = false;
        for (int i = 0; i < kFiles; ++i)
            tm.writeHostFile(tm.host(temp + "spur" + std::to_string(i) + ".tmp"), "track");
        cleaning::resetRunState();
        cleaning::foundList().clear();

        // The user clicks "Schließen" as soon as the window is on screen.
        std::shared_ptr<frmProgress> clicked;
        std::unique_ptr<Later> user;
        user = std::make_unique<Later>(0, [&] {
            const auto window = existingProgressWindow();
            auto* button = window ? widget<QPushButton>(*window, "cmdCan") : nullptr;
            if (button == nullptr || !button->isVisible()) {
                user->again();
                return;
            }
            EXPECT_EQ(button->text(), "Schließen");
            QTest::mouseClick(button, Qt::LeftButton);
            clicked = window;
        });
        if (!cancel)
            user.reset();

        gui::MainWindow main;
        main.show();
        auto* start = main.findChild<QPushButton*>("Spuren beseitigen");
        ASSERT_NE(start, nullptr);
        QTest::mouseClick(start, Qt::LeftButton);
        const auto log = main.findChild<QPlainTextEdit*>("txtProtokoll")->toPlainText();

        int left = 0;
        for (int i = 0; i < kFiles; ++i)
            left += std::filesystem::exists(tm.host(temp + "spur" + std::to_string(i) + ".tmp"));
        if (cancel) {
            ASSERT_TRUE(clicked);
            EXPECT_FALSE(clicked->isLoaded());
            EXPECT_TRUE(shared().gbBreak);
            EXPECT_EQ(left, kFiles);  // nothing destroyed after the cancel
            EXPECT_EQ(log, "Reinigung: Bereinigung abgebrochen");
        } else {
            EXPECT_EQ(left, 0);
            EXPECT_TRUE(log.startsWith("Reinigung: Es wurden 40 Dateien bereinigt"))
                << log.toStdString();
        }
        cleaning::foundList().clear();
        cleaning::resetRunState();
    }
}

TEST_F(QtViewTest, TheSettingsDialogStoresWhatTheUserChangedOnOK) {
    const std::string app = "C:\\Programme\\Kolvanex";
    std::filesystem::create_directories(tm.host(app));
    ASSERT_TRUE(anonymity::installShippedFiles(tm.machine(), app));
    shared().KXAppPath = app;
    const bool cookies = settings::read(settings::keys::Cookies) == "1";
    // No popup blocker: OK would start its program, which this machine lacks.
    ASSERT_TRUE(settings::write(settings::keys::IEPopKillerOff, "True"));
    ASSERT_TRUE(settings::write(settings::keys::IEPopKillerStep1, "False"));

    // The user unticks (or ticks) the cookies on the first page, types the
    // allowed numbers on the dialer page and presses OK.
    std::unique_ptr<Later> user;
    user = std::make_unique<Later>(0, [&] {
        views::FormWindow* window = nullptr;
        for (auto* top : QApplication::topLevelWidgets()) {
            if (top->objectName() == "frmOptionen" && top->isVisible())
                window = dynamic_cast<views::FormWindow*>(top);
        }
        if (window == nullptr) {
            user->again();
            return;
        }
        auto* cookieBox = qobject_cast<QCheckBox*>(window->widgetOf("chkCookies"));
        ASSERT_NE(cookieBox, nullptr);
        QTest::mouseClick(cookieBox, Qt::LeftButton, {}, box(*cookieBox));
        auto* tabs = qobject_cast<QTabBar*>(window->widgetOf("tsTab"));
        ASSERT_NE(tabs, nullptr);
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(4).center());
        auto* numbers = qobject_cast<QLineEdit*>(window->widgetOf("txtNoDialerNumbers"));
        ASSERT_NE(numbers, nullptr);
        EXPECT_TRUE(numbers->isVisible());
        EXPECT_FALSE(cookieBox->isVisible());  // the first page is hidden now
        QTest::keyClicks(numbers, "0800123;0180");
        QTest::mouseClick(qobject_cast<QPushButton*>(window->widgetOf("cmdOK")), Qt::LeftButton);
    });
    // A dialog that stays open is closed, so the test ends either way.
    std::unique_ptr<Later> rescue;
    rescue = std::make_unique<Later>(10000, [&rescue] {
        for (auto* top : QApplication::topLevelWidgets()) {
            auto* window = dynamic_cast<views::FormWindow*>(top);
            if (window != nullptr && window->formAlive())
                window->form().hide();
            else if (auto* dialog = qobject_cast<QDialog*>(top); dialog && dialog->isVisible())
                dialog->reject();
        }
        rescue->again();
    });

    gui::MainWindow main;
    main.show();
    auto* settingsButton = main.findChild<QPushButton*>("Einstellungen...");
    ASSERT_NE(settingsButton, nullptr);
    QTest::mouseClick(settingsButton, Qt::LeftButton);

    EXPECT_EQ(settings::read(settings::keys::Cookies), cookies ? "0" : "1");
    EXPECT_EQ(settings::read(settings::keys::NoDialerNumbers), "0800123;0180");
    rescue.reset();
}

}  // namespace
}  // namespace kx::test
