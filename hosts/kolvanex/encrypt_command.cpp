// `kolvanex encrypt|decrypt FILE... | --folder DIR [--key-file F]`: files or
// every file below a folder encrypted or decrypted in place, through the
// component's file encryption (the same runs KXCryptFiles and KXCriptFolders
// make after their choice). The key is asked for without echo on a terminal
// (twice for encrypting), read from --key-file, or from the first line of
// standard input. Ctrl+C at the prompt ends the command at once with the
// terminal as it was; during the run it stops before the next file, and the
// file being worked on keeps its old content.
//
// FILE and DIR are Linux paths or Windows paths of the machine.
#include <signal.h>

#include <CLI/CLI.hpp>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>

#include "core/shared_state.hpp"
#include "encryption/file_encryption.hpp"
#include "facade/kolvanex_favourites.hpp"
#include "hosts/kolvanex/console_forms.hpp"
#include "hosts/kolvanex/host.hpp"
#include "hosts/kolvanex/user_path.hpp"
#include "platform/runtime/translation.hpp"
#include "platform/ui/message_loop.hpp"

namespace kx::host {

using platform::tr;
using platform::trf;

namespace {

struct CryptOptions {
    std::vector<std::string> files;
    std::optional<std::string> folder;
    std::optional<std::string> keyFile;
};

// A fault-injection point for crash trials: with KOLVANEX_KILL_AT_YIELD=N in
// the environment the program kills itself (SIGKILL, as a power cut or an
// out-of-memory kill would end it) at the N-th yield of the run. The cipher
// yields once per chunk, so N places the kill by the work done.
class KillAtYield {
  public:
    KillAtYield() {
        const char* text = std::getenv("KOLVANEX_KILL_AT_YIELD");
        if (text == nullptr)
            return;
        const long at = std::strtol(text, nullptr, 10);
        id_ = platform::ui::MessageLoop::current().addSource([this, at] {
            if (++yields_ >= at)
                ::raise(SIGKILL);
        });
    }
    ~KillAtYield() {
        if (id_)
            platform::ui::MessageLoop::current().removeSource(*id_);
    }
    KillAtYield(const KillAtYield&) = delete;
    KillAtYield& operator=(const KillAtYield&) = delete;

  private:
    long yields_ = 0;
    std::optional<platform::ui::MessageLoop::SourceId> id_;
};

int runCrypt(const GlobalOptions& options, const CryptOptions& o, enumCryptIt eWhat) {
    if (o.folder.has_value() == !o.files.empty())
        throw UsageError(std::string(tr("nennen Sie Dateien oder einen Ordner mit --folder")));
    Session session(options, true);
    const auto& machine = session.machine();
    std::vector<std::string> files;
    for (const auto& file : userPaths(o.files)) files.push_back(file.windows(machine));
    const auto folder =
        o.folder ? std::optional(UserPath(*o.folder).windows(machine)) : std::nullopt;
    const auto keyFile =
        o.keyFile ? std::optional(UserPath(*o.keyFile).host(machine).string()) : std::nullopt;
    ConsoleForms forms(keyFile);
    KillAtYield killHook;
    shared().gbBreak = false;
    const auto outcome = folder ? encryption::cryptChosenFolder(*folder, eWhat, encryptionWiper())
                                : encryption::cryptFiles(files, eWhat, encryptionWiper());
    if (forms.interrupted || shared().gbBreak)
        return kExitCancelled;
    if (!outcome.started) {
        std::cerr << "kolvanex: " << tr("nichts wurde geändert") << "\n";
        return kExitFailed;
    }
    if (outcome.failed > 0) {
        std::cerr << "kolvanex: "
                  << trf("{1} Datei(en) unverändert geblieben", {std::to_string(outcome.failed)})
                  << "\n";
        return kExitFailed;
    }
    return 0;
}

void addDirection(CLI::App& app, const GlobalOptions& options, int& exitCode, const char* name,
                  std::string_view description, enumCryptIt eWhat) {
    auto o = std::make_shared<CryptOptions>();
    auto* command = app.add_subcommand(name, std::string(description));
    command->add_option("FILE", o->files, std::string(tr("Dateien (Linux- oder Windows-Pfade)")));
    command->add_option("--folder", o->folder, std::string(tr("jede Datei unter diesem Ordner")));
    command->add_option("--key-file", o->keyFile,
                        std::string(tr("den Schlüssel aus der ersten Zeile dieser (Host-)Datei "
                                       "lesen")));
    command->footer(
        trf("Exit-Status 0, wenn jede Datei bearbeitet wurde, 1, wenn eine scheiterte oder\n"
            "nichts begonnen wurde (ein falscher Schlüssel ändert nichts), 2 bei fehlerhafter\n"
            "Eingabe, 130 nach Strg+C.\n\n"
            "Beispiel:\n  kolvanex {1} --folder 'C:\\Daten\\Privat'",
            {name}));
    command->callback([o, eWhat, &options, &exitCode] { exitCode = runCrypt(options, *o, eWhat); });
}

}  // namespace

void addCryptCommands(CLI::App& app, const GlobalOptions& options, int& exitCode) {
    addDirection(app, options, exitCode, "encrypt",
                 tr("Dateien oder jede Datei unter einem Ordner an Ort und Stelle verschlüsseln "
                    "(AES-256)"),
                 enumCryptIt::Encrypt);
    addDirection(app, options, exitCode, "decrypt",
                 tr("Dateien oder jede Datei unter einem Ordner an Ort und Stelle entschlüsseln "
                    "(AES-256)"),
                 enumCryptIt::Decrypt);
}

}  // namespace kx::host
