// The per-thread services around the forms: the console view's output, the
// cursor, the clipboard and the interrupt flag that Ctrl+C raises.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sstream>
#include <stdexcept>

#include "platform/ui/clipboard.hpp"
#include "platform/ui/console_view.hpp"
#include "platform/ui/cursor.hpp"
#include "platform/ui/interrupt.hpp"
#include "platform/ui/view.hpp"

namespace kx::platform::ui {
namespace {

struct LogForm {
    Form form{"Fortschritt"};
    std::shared_ptr<ListView> log = form.add<ListView>("lvLog");
    std::shared_ptr<ProgressBar> bar = form.add<ProgressBar>("pbBar");
};

TEST(ConsoleViewTest, PrintsLinesOfShownFormsAsTheyArrive) {
    std::ostringstream out;
    ConsoleView console(out, false);
    ViewScope scope(console);
    LogForm f;
    f.form.load();
    f.log->add("hidden 1");  // not on screen yet
    EXPECT_EQ(out.str(), "");
    f.form.show();
    EXPECT_EQ(out.str(), "hidden 1\n");
    f.log->add("zwei");
    f.log->add("drei");
    f.log->select(2);     // a refresh without a new line prints nothing
    f.bar->setValue(50);  // no terminal: no bar
    EXPECT_EQ(out.str(), "hidden 1\nzwei\ndrei\n");

    f.log->clear();
    f.log->add("nach dem Leeren");
    EXPECT_EQ(out.str(), "hidden 1\nzwei\ndrei\nnach dem Leeren\n");

    // A new form with the same controls starts with nothing printed.
    f.form.unload();
    f.log->clear();
    f.form.show();
    f.log->add("neu");
    EXPECT_EQ(out.str(), "hidden 1\nzwei\ndrei\nnach dem Leeren\nneu\n");

    // Modal forms cannot be answered: their caption says they were asked for.
    Form question("Frage");
    question.show(true);
    EXPECT_FALSE(question.isVisible());
    EXPECT_EQ(out.str(), "hidden 1\nzwei\ndrei\nnach dem Leeren\nneu\n[Frage]\n");
}

TEST(ConsoleViewTest, DrawsTheBarInPlaceOnATerminal) {
    std::ostringstream out;
    {
        ConsoleView console(out, true);
        ViewScope scope(console);
        LogForm f;
        f.form.show();
        f.bar->setValue(50);
        EXPECT_EQ(out.str(), "\r[#####     ] 50%");
        f.bar->setValue(100);
        f.bar->setValue(7);  // shorter text: blanks over the old tail
        EXPECT_EQ(out.str(), "\r[#####     ] 50%\r[##########] 100%\r[          ] 7%  ");

        // A line goes above the bar, which is drawn again below it.
        out.str("");
        f.log->add("Datei 1");
        EXPECT_EQ(out.str(), "\r" + std::string(15, ' ') + "\rDatei 1\n[          ] 7%");

        // A hidden bar does not show.
        out.str("");
        f.bar->visible = false;
        f.bar->setValue(90);
        EXPECT_EQ(out.str(), "");
        f.bar->visible = true;
        f.bar->setValue(90);
        // Closing the form wipes its bar.
        out.str("");
        f.form.unload();
        EXPECT_EQ(out.str(), "\r" + std::string(16, ' ') + "\r");

        f.form.show();
        f.bar->setValue(30);
        out.str("");
    }
    // The view ends a bar line that was left open.
    EXPECT_EQ(out.str(), "\n");
    EXPECT_EQ(ConsoleView::barText(ProgressBar("pb")), "[          ] 0%");
}

TEST(CursorAndClipboardTest, PerThreadServicesBindAndRestore) {
    RecordingCursor recording;
    {
        CursorScope scope(recording);
        try {
            HourglassCursor busy;
            EXPECT_EQ(cursor().current(), MousePointer::Hourglass);
            throw std::runtime_error("failed while busy");
        } catch (const std::runtime_error&) {
        }
        EXPECT_EQ(cursor().current(), MousePointer::Default);
    }
    EXPECT_EQ(recording.history,
              (std::vector<MousePointer>{MousePointer::Hourglass, MousePointer::Default}));
    EXPECT_NE(&cursor(), &recording);

    MemoryClipboard memory;
    {
        ClipboardScope scope(memory);
        clipboard().setText("eins");
        clipboard().setText("zwei");
        EXPECT_EQ(memory.getText(), "zwei");
        clipboard().clear();
        EXPECT_FALSE(memory.hasText());
        EXPECT_EQ(memory.getText(), "");
        clipboard().setText(std::string("a\0b", 3));  // text is not cut at NUL
        EXPECT_EQ(memory.getText().size(), 3u);
    }
    EXPECT_NE(&clipboard(), &memory);
}

TEST(InterruptTest, TheSignalOnlyRaisesTheFlag) {
    EXPECT_FALSE(takeInterrupt());
    requestInterrupt();
    EXPECT_TRUE(takeInterrupt());
    EXPECT_FALSE(takeInterrupt());  // taken once

    ASSERT_TRUE(installInterruptHandler());
    ASSERT_TRUE(installInterruptHandler());
    ASSERT_EQ(::raise(SIGINT), 0);  // the process lives on
    EXPECT_TRUE(takeInterrupt());
    EXPECT_FALSE(takeInterrupt());
    removeInterruptHandler();
}

TEST(InterruptTest, ASecondSignalBeforeTheFirstIsTakenEndsTheProgram) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        installInterruptHandler();
        ::raise(SIGINT);
        if (!takeInterrupt())
            ::_exit(3);
        ::raise(SIGINT);  // raises the flag again
        ::raise(SIGINT);  // the flag is still up: this one ends the program
        ::_exit(4);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "exit status " << WEXITSTATUS(status);
    EXPECT_EQ(WTERMSIG(status), SIGINT);
}

}  // namespace
}  // namespace kx::platform::ui
