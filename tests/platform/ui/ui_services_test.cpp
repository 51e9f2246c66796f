// The per-thread services around the forms: the console view's output, the
// cursor, the clipboard and the interrupt flag that Ctrl+C raises.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sstream>
#include <stdexcept>
#include <tuple>

#include "platform/ui/clipboard.hpp"
#include "platform/ui/console_view.hpp"
#include "platform/ui/cursor.hpp"
#include "platform/ui/dialogs.hpp"
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
    // The last line rewritten in place: printed anew once, not again unchanged.
    f.log->item(2)->text = "drei 50%";
    f.log->refresh();
    f.log->refresh();
    EXPECT_EQ(out.str(), "hidden 1\nzwei\ndrei\ndrei 50%\n");
    out.str("hidden 1\nzwei\ndrei\n");
    out.seekp(0, std::ios::end);

    f.log->clear();
    f.log->add("nach dem Leeren");
    EXPECT_EQ(out.str(), "hidden 1\nzwei\ndrei\nnach dem Leeren\n");

    // A new form with the same controls starts with nothing printed.
    f.form.unload();
    f.log->clear();
    f.form.show();
    f.log->add("neu");
    EXPECT_EQ(out.str(), "hidden 1\nzwei\ndrei\nnach dem Leeren\nneu\n");

    // Nobody to answer a modal form: it is printed and closed at once.
    Form question("Frage");
    question.show(true);
    EXPECT_FALSE(question.isVisible());
    EXPECT_EQ(out.str(), "hidden 1\nzwei\ndrei\nnach dem Leeren\nneu\n[Frage]\n");
}

// A question dialog: a sentence, a box, a text field and two buttons.
struct QuestionForm {
    Form form{"Frage"};
    std::shared_ptr<Label> text = form.add<Label>("lbl");
    std::shared_ptr<CheckBox> box = form.add<CheckBox>("chk");
    std::shared_ptr<TextBox> field = form.add<TextBox>("txt");
    std::shared_ptr<CommandButton> ok = form.add<CommandButton>("cmdOK");
    std::shared_ptr<CommandButton> remedy = form.add<CommandButton>("cmdRemove");
    std::shared_ptr<CommandButton> no = form.add<CommandButton>("cmdNo");
    std::string pressed;
    QuestionForm() {
        text->caption = "Alles l&öschen?";
        box->caption = "&Nicht mehr fragen";
        ok->caption = "&Ja";
        ok->isDefault = true;
        remedy->caption = "&Entfernen";
        no->caption = "&Nein";
        no->cancel = true;
        for (auto* b : {ok.get(), remedy.get(), no.get()})
            b->Click = [this, b] {
                pressed = b->name();
                form.hide();
            };
    }
};

TEST(ConsoleViewTest, ATerminalAnswersAModalFormByNumbers) {
    std::ostringstream out;
    // Toggle the box, type into the field (after a wrong number), then Enter
    // presses the default button.
    std::istringstream in("1\n9\n2\nHallo Welt\n\n");
    ConsoleView console(out, false, &in);
    ViewScope scope(console);
    QuestionForm q;
    q.form.show(true);
    EXPECT_EQ(q.pressed, "cmdOK");
    EXPECT_EQ(q.box->value, 1);
    EXPECT_EQ(q.field->text, "Hallo Welt");
    const std::string shown = out.str();
    for (const char* line : {"[Frage]\n", "Alles löschen?\n", "[1]  [ ] Nicht mehr fragen\n",
                             "[1]  [x] Nicht mehr fragen\n", "[2]  txt: Hallo Welt\n",
                             "[4]  <Entfernen>\n", "Bitte eine Nummer von 1 bis 5"})
        EXPECT_NE(shown.find(line), std::string::npos) << line << "\n" << shown;

    // The input ends: the form is left as the user left it.
    std::istringstream gone("");
    ConsoleView quiet(out, false, &gone);
    ViewScope quietScope(quiet);
    QuestionForm left;
    left.form.show(true);
    EXPECT_EQ(left.pressed, "");
    EXPECT_FALSE(left.form.isVisible());
}

TEST(ConsoleViewTest, AScriptsAnswerPressesTheYesOrTheCancelButton) {
    struct Case {
        ConsoleAnswer answer;
        std::string yesButton;
        std::string pressed;
    };
    for (const auto& c :
         {Case{ConsoleAnswer::Yes, "", "cmdOK"}, Case{ConsoleAnswer::Yes, "cmdRemove", "cmdRemove"},
          Case{ConsoleAnswer::No, "cmdRemove", "cmdNo"}, Case{ConsoleAnswer::Ask, "", ""}}) {
        std::ostringstream out;
        std::istringstream in("1\n");  // a script's answer wins over any input
        ConsoleView console(out, false, c.answer == ConsoleAnswer::Ask ? nullptr : &in, c.answer);
        ViewScope scope(console);
        QuestionForm q;
        q.form.yesButton = c.yesButton;
        q.form.show(true);
        EXPECT_EQ(q.pressed, c.pressed) << c.yesButton;
        EXPECT_EQ(q.box->value, 0);
        EXPECT_NE(out.str().find("Alles löschen?"), std::string::npos);
    }
    for (const auto& [answer, flags, expected] : {std::tuple{ConsoleAnswer::Yes, MB_YESNO, IDYES},
                                                  {ConsoleAnswer::No, MB_YESNO, IDNO},
                                                  {ConsoleAnswer::Yes, MB_OKCANCEL, IDOK},
                                                  {ConsoleAnswer::No, MB_OKCANCEL, IDCANCEL},
                                                  {ConsoleAnswer::No, MB_OK, IDOK}}) {
        ConsoleDialogs dialogs(answer);
        EXPECT_EQ(dialogs.messageBox("Weiter?", "Test", flags), expected) << flags;
    }
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
        // A rewritten line is redrawn over itself, above the bar.
        out.str("");
        f.log->item(0)->text = "Datei 1 fertig";
        f.log->refresh();
        EXPECT_EQ(out.str(), "\r\x1b[1A\x1b[2KDatei 1 fertig\n\x1b[2K[          ] 7%");
        // Before the host's own line the bar is wiped; its next change draws it again.
        out.str("");
        console.clearBar();
        f.bar->setValue(8);
        EXPECT_EQ(out.str(), "\r" + std::string(15, ' ') + "\r\r[          ] 8%");

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
