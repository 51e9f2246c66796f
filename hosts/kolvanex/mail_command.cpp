// `kolvanex mail --to ADDR --subject S --message-file F [--multi] [--anonym]
// [--clean]`: an anonymous mail through the web remailers, as the mail
// dialog's Senden sends it, with the progress log on the terminal. Exit
// status 0 when at least one service took the mail, 1 when none did or the
// dialog refused the input, 130 after Ctrl+C.
#include <CLI/CLI.hpp>

#include <fstream>
#include <iostream>
#include <sstream>

#include "facade/run_contexts.hpp"
#include "hosts/kolvanex/host.hpp"
#include "hosts/kolvanex/user_path.hpp"
#include "mail/frm_mail.hpp"
#include "platform/runtime/translation.hpp"

namespace kx::host {

using platform::tr;
using platform::trf;

namespace {

struct MailOptions {
    std::string to;
    std::string subject;
    std::string messageFile;
    bool multi = false;
    bool anonym = false;
    bool clean = false;
};

std::string readMessage(const std::string& file, const std::string& given) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw UsageError(trf("kann die Nachrichtendatei {1} nicht lesen", {given}));
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

int runMail(const GlobalOptions& options, const MailOptions& mailOptions) {
    Session session(options, true);
    const UserPath messageFile(mailOptions.messageFile);
    const std::string message =
        readMessage(messageFile.host(session.machine()).string(), messageFile.given());
    const ThreadMail thread;
    const auto form = std::make_shared<mail::frmMail>(thread.context());
    form->load();
    form->txtTo->setText(mailOptions.to);
    form->txtBetreff->setText(mailOptions.subject);
    form->txtMessage->setText(message);
    form->chkMulti->setValue(mailOptions.multi ? 1 : 0);
    form->chkAnonym->setValue(mailOptions.anonym ? 1 : 0);
    form->chkMailClean->setValue(mailOptions.clean ? 1 : 0);
    form->cmdOK->click();
    const bool refused = form->isLoaded();  // a send always closes the dialog
    form->unload();
    if (refused)
        return kExitFailed;
    std::cout << trf("über {1} von {2} Diensten verschickt",
                     {std::to_string(form->successCount()),
                      std::to_string(mail::remailerServices().size())})
              << "\n";
    if (thread.context().host.gbBreak)
        return kExitCancelled;
    return form->successCount() > 0 ? 0 : kExitFailed;
}

}  // namespace

void addMailCommand(CLI::App& app, const GlobalOptions& options, int& exitCode) {
    auto* command = app.add_subcommand(
        "mail", std::string(tr("eine anonyme E-Mail über die Web-Remailer senden")));
    command->footer(
        std::string(tr("Beispiel:\n  kolvanex mail --to anna@example.org --subject Hallo "
                       "--message-file brief.txt")));
    auto mailOptions = std::make_shared<MailOptions>();
    command->add_option("--to", mailOptions->to, std::string(tr("die Adresse des Empfängers")))
        ->required();
    command->add_option("--subject", mailOptions->subject,
                        std::string(tr("der Betreff (höchstens 40 Zeichen)")));
    command
        ->add_option("--message-file", mailOptions->messageFile,
                     std::string(tr("eine Datei mit der Nachricht")))
        ->required();
    command->add_flag("--multi", mailOptions->multi,
                      std::string(tr("über jeden Dienst senden, nicht nur über den ersten, der "
                                     "sie annimmt")));
    command->add_flag("--anonym", mailOptions->anonym,
                      std::string(tr("vorher eine anonyme Sitzung starten")));
    command->add_flag("--clean", mailOptions->clean,
                      std::string(tr("danach die lokalen Internetspuren vernichten (fragt "
                                     "vorher)")));
    command->callback(
        [&options, &exitCode, mailOptions] { exitCode = runMail(options, *mailOptions); });
}

}  // namespace kx::host
