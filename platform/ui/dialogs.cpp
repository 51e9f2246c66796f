#include "platform/ui/dialogs.hpp"

#include <unistd.h>

#include <cctype>
#include <iostream>

#include "platform/runtime/translation.hpp"

namespace kx::platform::ui {
namespace {

bool interactive() {
    return ::isatty(STDIN_FILENO) == 1;
}

std::optional<std::string> readLine(const std::string& prompt) {
    if (!interactive())
        return std::nullopt;
    std::cerr << prompt << std::flush;
    std::string line;
    if (!std::getline(std::cin, line))
        return std::nullopt;
    return line;
}

// Puts a chosen name into the record's buffer as the platform does, refusing
// names that do not fit.
bool storeChoice(OpenFileName& ofn, const std::string& name) {
    if (name.size() + 1 > ofn.maxFile)
        return false;
    ofn.file = name + '\0';
    return true;
}

}  // namespace

std::int32_t defaultButton(std::uint32_t flags) {
    const auto buttons = flags & 0xF;
    const bool second = (flags & MB_DEFBUTTON2) != 0;
    switch (buttons) {
        case MB_OKCANCEL:
            return second ? IDCANCEL : IDOK;
        case MB_YESNO:
            return second ? IDNO : IDYES;
        case MB_YESNOCANCEL:
            return second ? IDNO : IDYES;
        default:
            return IDOK;
    }
}

Dialogs& dialogs() {
    if (boundService<Dialogs>() != nullptr)
        return *boundService<Dialogs>();
    thread_local ConsoleDialogs console;
    return console;
}

std::int32_t ConsoleDialogs::messageBox(const std::string& text, const std::string& title,
                                        std::uint32_t flags) {
    std::cerr << "[" << title << "] " << text << "\n";
    const auto buttons = flags & 0xF;
    if (buttons != MB_YESNO && buttons != MB_YESNOCANCEL && buttons != MB_OKCANCEL)
        return IDOK;
    if (answer_ != ConsoleAnswer::Ask) {
        const bool yes = answer_ == ConsoleAnswer::Yes;
        std::cerr << "-> " << (yes ? tr("ja") : tr("nein")) << "\n";
        if (buttons == MB_OKCANCEL)
            return yes ? IDOK : IDCANCEL;
        return yes ? IDYES : IDNO;
    }
    // The keys of both languages answer, whichever the prompt names.
    const std::string prompt(buttons == MB_OKCANCEL ? tr("(o)k/(a)bbrechen? ")
                                                    : tr("(j)a/(n)ein? "));
    while (true) {
        const auto line = readLine(prompt);
        if (!line)
            return defaultButton(flags);
        const char c = line->empty() ? '\0' : static_cast<char>(std::tolower(line->front()));
        if (buttons == MB_OKCANCEL) {
            if (c == 'o')
                return IDOK;
            if (c == 'c' || c == 'a')
                return IDCANCEL;
        } else {
            if (c == 'j' || c == 'y')
                return IDYES;
            if (c == 'n')
                return IDNO;
            if (buttons == MB_YESNOCANCEL && (c == 'c' || c == 'a'))
                return IDCANCEL;
        }
        if (c == '\0')
            return defaultButton(flags);
    }
}

bool ConsoleDialogs::getOpenFileName(OpenFileName& ofn) {
    const auto line = readLine(ofn.title.empty() ? std::string(tr("Datei: ")) : ofn.title + ": ");
    return line && !line->empty() && storeChoice(ofn, *line);
}

bool ConsoleDialogs::getSaveFileName(OpenFileName& ofn) {
    return getOpenFileName(ofn);
}

std::optional<std::string> ConsoleDialogs::browseForFolder(HWND, const std::string& title,
                                                           std::int32_t, std::uint32_t) {
    auto line = readLine(title.empty() ? std::string(tr("Ordner: ")) : title + ": ");
    if (!line || line->empty())
        return std::nullopt;
    return line;
}

std::int32_t ScriptedDialogs::messageBox(const std::string& text, const std::string& title,
                                         std::uint32_t flags) {
    shown.push_back({"message", text, title, flags, {}});
    if (messageAnswers.empty())
        return defaultButton(flags);
    const auto answer = messageAnswers.front();
    messageAnswers.pop_front();
    return answer;
}

bool ScriptedDialogs::answerFile(const char* kind, OpenFileName& ofn) {
    shown.push_back({kind, "", ofn.title, ofn.flags, ofn});
    if (fileAnswers.empty())
        return false;
    const auto answer = fileAnswers.front();
    fileAnswers.pop_front();
    return answer && storeChoice(ofn, *answer);
}

bool ScriptedDialogs::getOpenFileName(OpenFileName& ofn) {
    return answerFile("open", ofn);
}
bool ScriptedDialogs::getSaveFileName(OpenFileName& ofn) {
    return answerFile("save", ofn);
}

std::optional<std::string> ScriptedDialogs::browseForFolder(HWND, const std::string& title,
                                                            std::int32_t, std::uint32_t flags) {
    shown.push_back({"folder", "", title, flags, {}});
    if (folderAnswers.empty())
        return std::nullopt;
    const auto answer = folderAnswers.front();
    folderAnswers.pop_front();
    return answer;
}

}  // namespace kx::platform::ui
