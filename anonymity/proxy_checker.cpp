// The anonymity test of one proxy; see proxy_checker.hpp.
#include "anonymity/proxy_checker.hpp"

#include <array>

#include "anonymity/internet_file.hpp"
#include "core/shared_state.hpp"
#include "core/text_rules.hpp"
#include "platform/files/files.hpp"
#include "platform/network/inet.hpp"
#include "platform/runtime/text.hpp"
#include "platform/runtime/translation.hpp"
#include "platform/ui/cursor.hpp"
#include "platform/ui/dialogs.hpp"
#include "services/processes.hpp"
#include "settings/keys.hpp"
#include "settings/settings_store.hpp"

namespace kx::anonymity {
namespace {

namespace ui = platform::ui;

std::string_view trimWhite(std::string_view text) {
    constexpr std::string_view white{" \t\r\n\0", 5};
    const auto first = text.find_first_not_of(white);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(white) - first + 1);
}

bool isDottedQuad(std::string_view text) {
    int parts = 0;
    std::size_t start = 0;
    for (;;) {
        const auto dot = text.find('.', start);
        const auto part = text.substr(start, dot == std::string_view::npos ? dot : dot - start);
        if (part.empty() || part.size() > 3 ||
            part.find_first_not_of("0123456789") != std::string_view::npos ||
            std::stoi(std::string(part)) > 255)
            return false;
        ++parts;
        if (dot == std::string_view::npos)
            break;
        start = dot + 1;
    }
    return parts == 4;
}

bool isIpv6(std::string_view text) {
    return text.find(':') != text.rfind(':') &&
           text.find_first_not_of("0123456789abcdefABCDEF:.") == std::string_view::npos;
}

// The address must reach the checker as one word of its command line, and
// never as one of its options.
bool isOneWord(std::string_view proxy) {
    return !proxy.empty() && proxy.front() != '-' &&
           proxy.find_first_of(" \t\r\n\"") == std::string_view::npos;
}

bool clearExchange() {
    const bool result = settings::writeChecker(settings::keys::CheckerResult, "");
    const bool page = settings::writeChecker(settings::keys::CheckerPage, "");
    return result && page;
}

void showPicture(ui::Form& form, bool ok) {
    for (const auto& [name, visible] : {std::pair{"imgOK", ok}, std::pair{"imgStop", !ok}}) {
        if (auto picture = form.find<ui::Control>(name)) {
            picture->visible = visible;
            picture->refresh();
        }
    }
}

void showNoAnswer(ui::Form& form) {
    showPicture(form, false);
    if (auto info = form.find<ui::Label>("lblInfo"))
        info->setCaption(std::string(platform::tr(kAnoCheckNoServer)));
    if (auto list = form.find<ui::ListView>("lvIP")) {
        list->enabled = false;
        list->refresh();
    }
}

void showVerdict(ui::Form& form, std::string_view proxy, const std::string& ownAddress,
                 bool anonymous) {
    if (auto list = form.find<ui::ListView>("lvIP"))
        list->add(ownAddress);
    showPicture(form, anonymous);
    if (auto info = form.find<ui::Label>("lblInfo")) {
        info->setCaption(fillAnoCheckTemplate(
            info->caption, proxy, anonymous ? std::string_view() : platform::tr(kAnoCheckNot),
            platform::tr(anonymous ? kAnoCheckHidden : kAnoCheckVisible)));
    }
}

}  // namespace

std::string fillAnoCheckTemplate(std::string_view tpl, std::string_view proxy,
                                 std::string_view negation, std::string_view sentence) {
    const std::array<std::string_view, 3> values{proxy, negation, sentence};
    std::string out;
    for (std::size_t i = 0; i < tpl.size(); ++i) {
        if (tpl[i] == '$' && i + 1 < tpl.size() && tpl[i + 1] >= '0' && tpl[i + 1] <= '2') {
            out += values[static_cast<std::size_t>(tpl[i + 1] - '0')];
            ++i;
        } else {
            out += tpl[i];
        }
    }
    return out;
}

std::string GetIPAdress() {
    ui::HourglassCursor hourglass;
    auto session =
        platform::InternetOpenA(kInternetAgent, platform::INTERNET_OPEN_TYPE_DIRECT, {}, {}, 0);
    const auto url = makerUrl(std::string(kOwnAddressEchoPath));
    if (!session || url.empty())
        return {};
    std::array<char, kOwnAddressBytes> buffer{};
    std::uint32_t read = 0;
    if (auto opened =
            platform::InternetOpenUrlA(*session, url, {}, platform::INTERNET_FLAG_RELOAD, 0)) {
        platform::InternetReadFile(*opened, buffer.data(), kOwnAddressBytes, read);
    }
    const std::string text(buffer.data(), read);
    const auto lowered = platform::vbLCase(text);
    for (const char* errorPage : {"forbidden", "squid/", "http 404"}) {
        if (lowered.find(errorPage) != std::string::npos)
            return {};
    }
    const auto address = trimWhite(text);
    if (!isDottedQuad(address) && !isIpv6(address))
        return {};
    return std::string(address);
}

std::string checkerPath() {
    return AddBackslash(shared().KXAppPath) + std::string(kCheckerProgram);
}

std::string KXChecker(const std::string& sProxyAndPort, bool& bIsAnonym, ui::Form* frmIn,
                      std::int32_t lSeconds) {
    bIsAnonym = false;
    if (!clearExchange())
        return {};
    const auto path = checkerPath();
    const auto found = platform::files::info(path);
    if (!found || found->kind == platform::EntryKind::Folder) {
        ui::dialogs().messageBox(
            platform::trf("Das Programm {1}  wurde nicht gefunden! Bitte installieren Sie {2} "
                          "erneut",
                          {path, settings::applicationName()}),
            shared().applicationTitle, ui::MB_SYSTEMMODAL | ui::MB_ICONINFORMATION);
        return std::string(kCheckerMissing);
    }
    if (isOneWord(sProxyAndPort)) {
        // A folder with a blank in its name stays one word of the command line.
        const auto program = path.find(' ') == std::string::npos ? path : "\"" + path + "\"";
        ShellAndWait(program + " " + sProxyAndPort, VbAppWinStyle::vbMinimizedNoFocus, lSeconds);
    }
    const auto result = settings::readChecker(settings::keys::CheckerResult);
    const auto page = settings::readChecker(settings::keys::CheckerPage);
    clearExchange();

    if (result != kCheckerOK) {
        if (frmIn)
            showNoAnswer(*frmIn);
        return result;
    }
    const auto ownAddress = GetIPAdress();
    if (ownAddress.empty())
        return {};
    // Any mention of the address counts, also inside a longer number: a
    // proxy is only taken for anonymous when nothing on the page could be it.
    const bool anonymous = page.find(ownAddress) == std::string::npos;
    if (frmIn)
        showVerdict(*frmIn, sProxyAndPort, ownAddress, anonymous);
    bIsAnonym = anonymous;
    return std::string(kCheckerOK);
}

}  // namespace kx::anonymity
