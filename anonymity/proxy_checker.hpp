#pragma once
// The anonymity test of one proxy. The companion program KXChecker.Exe
// fetches the maker's address echo page through the proxy and leaves its
// answer in the settings store (application "kolvanex", section
// "kxchecker": "result" and "page"); the proxy hides the user when that page
// does not name the user's own public address, which the second echo script
// tells when asked directly.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/runtime/translation.hpp"
#include "platform/ui/controls.hpp"

namespace kx::anonymity {

/// The maker's echo scripts: the page the checker fetches through the proxy,
/// and the bare address of whoever asks directly.
inline constexpr std::string_view kCheckerEchoPath = "/cgi-bin/ip.cgi";
inline constexpr std::string_view kOwnAddressEchoPath = "/cgi-bin/ipget.cgi";
/// How many bytes of the direct echo are read.
inline constexpr std::uint32_t kOwnAddressBytes = 16;

/// The checker program's file name and the answer for a missing one.
inline constexpr std::string_view kCheckerProgram = "KXChecker.Exe";
inline constexpr std::string_view kCheckerMissing = "BREAK";
inline constexpr std::string_view kCheckerOK = "OK";

/// The failure texts the checker writes (the component's strings 104, 105).
inline constexpr std::string_view kCheckerAccessDenied = "Access denied";
inline constexpr std::string_view kCheckerNoAnswer = "No answer";

/// lblInfo of the result window: its template, what fills "$1" for a proxy
/// that passes the address on, the two "$2" sentences, and the text shown
/// when the test could not be made. They are shown translated (tr); the
/// template and its pieces are translated together, so the sentence reads
/// right in either language.
inline constexpr std::string_view kAnoCheckTemplate =
    platform::trMark("Der Server $0 anonymisiert $1. $2");
inline constexpr std::string_view kAnoCheckNot = platform::trMark("nicht");
inline constexpr std::string_view kAnoCheckVisible =
    platform::trMark("Die folgende lokale IP-Adresse ist beim Surfen im Internet sichtbar:");
inline constexpr std::string_view kAnoCheckHidden = platform::trMark(
    "Die folgende lokale IP-Adresse ist während einer anonymen Internet-Sitzung nicht im Browser "
    "im Internet sichtbar:");
inline constexpr std::string_view kAnoCheckNoServer = platform::trMark(
    "Der Server antwortet nicht. Ein Anonymitätstest ist daher zur Zeit nicht möglich. Bitte "
    "stellen Sie ggf. eine Internet-Verbindung her.");

/// GetIPAdress: the user's public address as the maker's direct echo script
/// tells it, "" when it cannot be learnt. A direct fetch (never through the
/// download proxy), reading at most 16 bytes, trimmed of white space. An
/// answer that shows an error page ("forbidden", "squid/", "http 404" in
/// any letter case), or that is not a bare IPv4 or IPv6 address, gives "":
/// taking such a text for the address would make every proxy look
/// anonymous. The hourglass shows meanwhile.
std::string GetIPAdress();

/// The checker program's Windows path: KXAppPath + "\KXChecker.Exe".
std::string checkerPath();

/// KXChecker: tests one proxy "host:port" with the checker program, waiting
/// at most lSeconds for it. Answers "OK" when the proxy passed the echo page
/// on (bIsAnonym then tells whether the page hid the user's own address),
/// "BREAK" after telling the user that the program is missing, the
/// checker's failure text otherwise ("" when it wrote none in time), and ""
/// when the user's own address cannot be learnt. bIsAnonym is true only for
/// an answer "OK". The exchange keys are emptied before and after; when
/// they cannot be emptied the checker is not run (an old answer could be
/// read as the new one) and the answer is "". An address that would not
/// reach the checker as one word (blanks, quotes, a leading "-") is not
/// handed to it and fails the same way.
///
/// frmIn, when given, is the result window: its controls imgStop, imgOK
/// (pictures), lblInfo (a label holding kAnoCheckTemplate) and lvIP (a list
/// view) show the outcome; controls it lacks are left out.
std::string KXChecker(const std::string& sProxyAndPort, bool& bIsAnonym, platform::ui::Form* frmIn,
                      std::int32_t lSeconds);

/// Fills "$0", "$1" and "$2" of a template in one pass: a value that itself
/// holds a placeholder is not filled again.
std::string fillAnoCheckTemplate(std::string_view tpl, std::string_view proxy,
                                 std::string_view negation, std::string_view sentence);

}  // namespace kx::anonymity
