// The remailer table; see remailers.hpp.
#include "mail/remailers.hpp"

#include "platform/machine/machine.hpp"
#include "platform/runtime/translation.hpp"

namespace kx::mail {

const std::array<RemailerService, 6>& remailerServices() {
    using F = MailField;
    static const std::array<RemailerService, 6> services{{
        {"remailer1",
         "http",
         "/email.htm",
         {{"email[to]", F::Recipient}, {"email[subject]", F::Subject}, {"email[text]", F::Message}},
         platform::trMark("Initialisiere anonymisierenden Remailer..."),
         platform::trMark("E-Mail abgeschickt über anonymisierenden Remailer")},
        {"remailer2",
         "http",
         "/anonemail_de.html",
         {{"to", F::Recipient}, {"subject", F::Subject}, {"text", F::Message}},
         platform::trMark("Initialisiere anonyme E-Mail per HTTP..."),
         platform::trMark("E-Mail abgeschickt per HTTP")},
        {"remailer3",
         "https",
         "/cgi-bin/mail.cgi",
         {{"to", F::Recipient}, {"subject", F::Subject}, {"body", F::Message}},
         platform::trMark("Initialisiere anonyme E-Mail per HTTPS..."),
         platform::trMark("E-Mail abgeschickt per HTTPS")},
        {"remailer4",
         "http",
         "/anon_remailer.htm",
         {{"to", F::Recipient}, {"subject", F::Subject}, {"message", F::Message}},
         platform::trMark("Initialisiere anonyme E-Mail per Remailer..."),
         platform::trMark("E-Mail abgeschickt per Remailer"),
         true},
        {"remailer5",
         "http",
         "/speech/anonymous/remailer.html",
         {{"to", F::Recipient}, {"subject", F::Subject}, {"message", F::Message}},
         platform::trMark("Initialisiere Remailer..."),
         platform::trMark("E-Mail abgeschickt per Remailer"),
         false,
         true},
        {"remailer6",
         "http",
         "/service/anonym-mailen/",
         {{"sendMail", F::Title},
          {"getMail", F::Recipient},
          {"subject", F::Subject},
          {"message", F::Message}},
         platform::trMark("Initialisiere Remailer..."),
         platform::trMark("E-Mail abgeschickt per Remailer"),
         false,
         true},
    }};
    return services;
}

std::string serviceUrl(const RemailerService& service) {
    std::string host = platform::hasCurrentMachine()
                           ? platform::currentMachine().endpoint(service.endpoint)
                           : std::string();
    if (host.empty())
        host = std::string(service.endpoint) + ".invalid";
    while (!host.empty() && host.back() == '/') host.pop_back();
    if (host.find("://") == std::string::npos)
        host = std::string(service.scheme) + "://" + host;
    return host + std::string(service.path);
}

std::vector<CFormEntry> serviceEntries(const RemailerService& service, const MailText& mail) {
    std::vector<CFormEntry> entries;
    for (const auto& field : service.fields) {
        const std::string& value = field.value == MailField::Recipient ? mail.recipient
                                   : field.value == MailField::Subject ? mail.subject
                                   : field.value == MailField::Message ? mail.message
                                                                       : mail.title;
        entries.emplace_back(std::string(field.name), value);
    }
    return entries;
}

}  // namespace kx::mail
