#pragma once
// The web remailers a mail is sent through, in the order they are tried:
// where each form lives and what its fields are called. Their hosts are
// outside parties and come from the machine's endpoints "remailer1" to
// "remailer6"; no remailer is named here, so a machine that names none sends
// nothing anywhere.
#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "mail/web_fill.hpp"

namespace kx::mail {

/// What a form field is filled with.
enum class MailField { Recipient, Subject, Message, Title };

struct RemailerField {
    std::string_view name;
    MailField value;
};

struct RemailerService {
    std::string_view endpoint;  // the machine's endpoint naming the host
    std::string_view scheme;    // "http" or "https"
    std::string_view path;
    std::vector<RemailerField> fields;
    // Status lines before and after the send, shown translated (tr).
    std::string_view statusBefore;
    std::string_view statusSuccess;
    bool popupKillerFirst = false;  // the popup blocker starts before this one
    bool resultWaits = false;       // its result page takes a while to come
};

/// The six services, slot 0 to 5.
const std::array<RemailerService, 6>& remailerServices();

/// The address of a service's form: the endpoint's host (a value with its
/// own "scheme://" keeps that scheme, as loopback stand-ins do) followed by
/// the service's path. Without an endpoint the host is "<endpoint>.invalid",
/// which reaches nobody.
std::string serviceUrl(const RemailerService& service);

/// The service's entries, in its table order.
struct MailText {
    std::string recipient;
    std::string subject;
    std::string message;
    std::string title;  // the application's title
};
std::vector<CFormEntry> serviceEntries(const RemailerService& service, const MailText& mail);

}  // namespace kx::mail
