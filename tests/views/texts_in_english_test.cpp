// The Qt side in the user's language: our message box buttons and the main
// window in English, and Qt's own standard texts in German beside our German
// texts.
#include <gtest/gtest.h>
#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "core/shared_state.hpp"
#include "hosts/gui/gui.hpp"
#include "support/language.hpp"
#include "support/temp_machine.hpp"
#include "views/qt/qt_services.hpp"

namespace kx::test {
namespace {

namespace ui = platform::ui;

// The one application of the test program, made by whichever test needs it
// first.
QApplication& application() {
    if (auto* running = qobject_cast<QApplication*>(QCoreApplication::instance()))
        return *running;
    static int argc = 1;
    static char name[] = "test_views";
    static char* argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static auto* instance = new QApplication(argc, argv);  // never destroyed, as Qt needs
    return *instance;
}

class QtTexts : public ::testing::Test {
  protected:
    void SetUp() override { resetShared(); }
    void TearDown() override { resetShared(); }

    QApplication& app = application();
    TempMachine tm;
    views::QtEnvironment qt;
};

TEST_F(QtTexts, MessageBoxAndMainWindowSpeakEnglishInEnglish) {
    KX_ONLY_IN_ENGLISH();
    QStringList buttons;
    QTimer user;
    user.setSingleShot(true);
    QObject::connect(&user, &QTimer::timeout, [&] {
        auto* box = QApplication::activeModalWidget();
        ASSERT_NE(box, nullptr);
        QPushButton* cancel = nullptr;
        for (auto* button : box->findChildren<QPushButton*>()) {
            buttons << button->text();
            if (button->text() == "Cancel")
                cancel = button;
        }
        ASSERT_NE(cancel, nullptr);
        cancel->click();
    });
    user.start(100);
    EXPECT_EQ(ui::dialogs().messageBox("?", "Kolvanex", ui::MB_YESNOCANCEL), ui::IDCANCEL);
    buttons.sort();
    EXPECT_EQ(buttons, QStringList({"&No", "&Yes", "Cancel"}));

    gui::MainWindow main;
    EXPECT_EQ(main.windowTitle(), "Kolvanex - Privacy for your Internet PC");
    // The buttons keep their German names, which tests and tools find them by.
    auto* clean = main.findChild<QPushButton*>("Spuren beseitigen");
    ASSERT_NE(clean, nullptr);
    EXPECT_EQ(clean->text(), "Remove tracks");
}

TEST_F(QtTexts, QtsOwnTextsFollowOurGermanTexts) {
    if (platform::userLanguage() != platform::Language::German)
        GTEST_SKIP() << "reads the German texts";
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Open"), "Öffnen");
}

}  // namespace
}  // namespace kx::test
