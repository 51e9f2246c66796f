// The dialer check; see dialer_check.hpp.
#include "dialer/dialer_check.hpp"

#include <array>
#include <memory>

#include "dialer/dialup_entries.hpp"
#include "dialer/frm_dialer_list.hpp"
#include "platform/ui/cursor.hpp"
#include "settings/keys.hpp"
#include "settings/system_info.hpp"

namespace kx::dialer {
namespace {

// Prefixes of premium-rate and expensive call-by-call numbers.
constexpr std::array<std::string_view, 5> kDialerPrefixes = {"09009", "0190", "0900", "01033",
                                                             "1188"};

}  // namespace

std::string digitsOnly(std::string_view number) {
    std::string digits;
    for (const char c : number)
        if (c >= '0' && c <= '9')
            digits += c;
    return digits;
}

bool hasDialerPrefix(std::string_view digits) {
    for (const auto prefix : kDialerPrefixes)
        if (digits.starts_with(prefix))
            return true;
    return false;
}

std::vector<std::string> allowedNumbers() {
    std::vector<std::string> numbers;
    const std::string text = settings::read(settings::keys::NoDialerNumbers);
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find(';', start);
        numbers.push_back(text.substr(start, end - start));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return numbers;
}

bool isSuspiciousNumber(std::string_view localNumber, const std::vector<std::string>& allowed) {
    const std::string digits = digitsOnly(localNumber);
    if (!hasDialerPrefix(digits))
        return false;
    for (const auto& number : allowed)
        if (number == digits)
            return false;
    return true;
}

std::size_t checkForDialer(platform::ui::ListView& entryList) {
    if (settings::Betriebssystem() == "Windows NT")
        return 0;
    const auto allowed = allowedNumbers();
    entryList.clear();
    fillEntryList(entryList);
    addActiveConnections(entryList);

    auto warning = std::make_shared<frmDialerList>();
    std::size_t found = 0;
    for (const auto& item : entryList.items()) {
        const auto properties = entryProperties(item->text);
        if (!properties || !isSuspiciousNumber(properties->localPhoneNumber, allowed))
            continue;
        // A dialer may be on the line right now: cut it off at once.
        hangUp(true);
        warning->addFinding(item->text, digitsOnly(properties->localPhoneNumber));
        ++found;
    }
    if (found > 0) {
        platform::ui::cursor().set(platform::ui::MousePointer::Default);
        warning->show(true);
        warning->unload();
    }
    return found;
}

void KXCheckForDialer() {
    // The entries and connections tested are gathered in a list of the
    // check's own.
    platform::ui::ListView entryList("lstDFUE");
    checkForDialer(entryList);
}

}  // namespace kx::dialer
