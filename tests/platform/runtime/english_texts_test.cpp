// What an English-speaking user reads from the machine's own services: the
// console's message boxes and dialogs, the system's and dial-up error texts,
// the shell's and the registry tools' message boxes.
#include <gtest/gtest.h>

#include <functional>
#include <iostream>
#include <sstream>

#include "platform/machine/system_messages.hpp"
#include "platform/network/dialup.hpp"
#include "platform/processes/shell.hpp"
#include "platform/processes/system_programs.hpp"
#include "platform/ui/console_view.hpp"
#include "platform/ui/dialogs.hpp"
#include "platform/ui/view.hpp"
#include "support/language.hpp"
#include "support/temp_machine.hpp"

namespace kx::platform {
namespace {

// What standard error receives while `body` runs.
std::string standardError(const std::function<void()>& body) {
    std::ostringstream caught;
    auto* saved = std::cerr.rdbuf(caught.rdbuf());
    body();
    std::cerr.rdbuf(saved);
    return caught.str();
}

// A modal question answered on a console: a wrong number, a slider value,
// then Enter for the default button.
std::string consoleDialog() {
    std::ostringstream out;
    std::istringstream in("7\n1\n4\n\n");
    ui::ConsoleView console(out, false, &in);
    ui::ViewScope scope(console);
    ui::Form form("Frage");
    auto slider = form.add<ui::Slider>("sldLevel");
    auto ok = form.add<ui::CommandButton>("cmdOK");
    ok->caption = "&OK";
    ok->isDefault = true;
    ok->Click = [&] { form.hide(); };
    form.show(true);
    return out.str();
}

// The texts of the message boxes `body` shows.
std::string messageBoxes(const std::function<void()>& body) {
    ui::ScriptedDialogs dialogs;
    ui::DialogsScope scope{dialogs};
    body();
    std::string texts;
    for (const auto& shown : dialogs.shown) texts += "[" + shown.title + "] " + shown.text + "\n";
    return texts;
}

std::string systemText(DWORD code) {
    char text[256] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code, 0, text, sizeof text, nullptr);
    return text;
}

std::string dialupText(std::uint32_t code) {
    char text[256] = {};
    RasGetErrorStringA(code, text, sizeof text);
    return text;
}

TEST(PlatformTexts, WhatTheUserReadsInEnglish) {
    KX_ONLY_IN_ENGLISH();
    test::TempMachine tm;
    const std::function<std::uint32_t(const SystemProgramCall&)> regsvr32 =
        findSystemProgram("regsvr32");
    struct Case {
        const char* what;
        std::function<std::string()> shown;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"a console question answered beforehand",
         [] {
             return standardError([] {
                 ui::ConsoleDialogs(ui::ConsoleAnswer::No)
                     .messageBox("Delete?", "Kolvanex", ui::MB_YESNO);
             });
         },
         {"[Kolvanex] Delete?\n-> no\n"}},
        {"a dialog on the console",
         consoleDialog,
         {"Choice (number, Enter = OK, x = close): ", "Please choose a number from 1 to 2.",
          "sldLevel (0 to 10): ", "[1]  sldLevel: 4 (0 to 10)"}},
        {"a system error", [] { return systemText(5); }, {"Access is denied\r\n"}},
        {"a dial-up error",
         [] { return dialupText(623); },
         {"The phone book entry for this connection was not found."}},
        {"emptying the recycle bin",
         [] { return messageBoxes([] { SHEmptyRecycleBinA(0, "", 0); }); },
         {"[Confirm deleting several items] Are you sure you want to delete all items in the "
          "Recycle Bin?\n"}},
        {"a library that does not load",
         [&] { return messageBoxes([&] {
                   regsvr32({{"C:\\fehlt.dll"}, "", 1});
               }); },
         {"[RegSvr32] LoadLibrary(\"C:\\fehlt.dll\") failed.\n"}},
    };
    for (const auto& c : cases) {
        const std::string shown = c.shown();
        for (const auto& text : c.expected)
            EXPECT_NE(shown.find(text), std::string::npos) << c.what << ": " << text << "\n"
                                                           << shown;
    }
}

}  // namespace
}  // namespace kx::platform
