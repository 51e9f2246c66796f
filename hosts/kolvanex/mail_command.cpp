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

namespace kx::host {
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
        throw UsageError("cannot read the message file " + given);
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
    std::cout << "sent through " << form->successCount() << " of "
              << mail::remailerServices().size() << " services\n";
    if (thread.context().host.gbBreak)
        return kExitCancelled;
    return form->successCount() > 0 ? 0 : kExitFailed;
}

}  // namespace

void addMailCommand(CLI::App& app, const GlobalOptions& options, int& exitCode) {
    auto* command = app.add_subcommand("mail", "send an anonymous mail through the web remailers");
    command->footer(
        "Example:\n  kolvanex mail --to anna@example.org --subject Hallo --message-file brief.txt");
    auto mailOptions = std::make_shared<MailOptions>();
    command->add_option("--to", mailOptions->to, "the recipient's address")->required();
    command->add_option("--subject", mailOptions->subject, "the subject (at most 40 characters)");
    command->add_option("--message-file", mailOptions->messageFile, "a file with the message")
        ->required();
    command->add_flag("--multi", mailOptions->multi,
                      "send through every service, not only the first that takes it");
    command->add_flag("--anonym", mailOptions->anonym, "start an anonymous session first");
    command->add_flag("--clean", mailOptions->clean,
                      "destroy the local internet tracks afterwards (asks first)");
    command->callback(
        [&options, &exitCode, mailOptions] { exitCode = runMail(options, *mailOptions); });
}

}  // namespace kx::host
