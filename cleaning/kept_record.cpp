#include "cleaning/kept_record.hpp"

#include <charconv>
#include <exception>
#include <string>

#include "deletion/entry_rules.hpp"
#include "platform/processes/process.hpp"
#include "settings/keys.hpp"
#include "settings/settings_store.hpp"

namespace kx::cleaning {
namespace {

namespace pf = kx::platform;

// "<process id>.<its start time>.": with the start time the id names one
// process even after the system gave the id to another.
std::string ownerOf(pf::DWORD pid, std::uint64_t started) {
    return std::to_string(pid) + "." + std::to_string(started) + ".";
}

std::string ownPrefix() {
    const auto pid = pf::GetCurrentProcessId();
    return ownerOf(pid, pf::processStartTime(pid).value_or(0));
}

template <typename T>
bool parseNumber(std::string_view text, T& out) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size();
}

// True while the process named by a record's key runs (ours included); a
// key that names no process is nobody's.
bool ownerRuns(std::string_view key) {
    const auto first = key.find('.');
    const auto second = key.find('.', first == std::string_view::npos ? first : first + 1);
    pf::DWORD pid = 0;
    std::uint64_t started = 0;
    if (second == std::string_view::npos || !parseNumber(key.substr(0, first), pid) ||
        !parseNumber(key.substr(first + 1, second - first - 1), started))
        return false;
    return pf::processRunning(pid, started);
}

// Gives one recorded file its attributes back when it still carries the
// hiding and belongs to this one name. The hiding is stored in two steps
// (the attribute record, then the read-only mode), so a run killed between
// them leaves part of it: a file that carries its old attributes plus any
// of the hiding's bits, and nothing else, is given back as well.
bool giveBack(pf::Machine& machine, std::string_view value) {
    const auto bar = value.find('|');
    std::uint32_t attributes = 0;
    if (bar == std::string_view::npos || !parseNumber(value.substr(0, bar), attributes))
        return false;
    const std::string_view path = value.substr(bar + 1);
    if (!deletion::ownedByThisName(machine, path))
        return false;
    const auto now = pf::files::attributes(machine, path);
    if (!now)
        return false;
    const std::uint32_t before = attributes & pf::fileattr::Settable;
    const std::uint32_t current = *now & pf::fileattr::Settable;
    if (current == before || (current & ~(before | kKeptAttributes)) != 0)
        return false;
    return pf::files::setAttributes(machine, path, before).has_value();
}

}  // namespace

bool recordKeptFile(std::size_t number, std::string_view path, std::uint32_t attributes) {
    try {
        return settings::SaveSetting(settings::kCheckerApplication, kKeptRecordSection,
                                     ownPrefix() + std::to_string(number),
                                     std::to_string(attributes) + "|" + std::string(path));
    } catch (const std::exception&) {
        return false;  // no machine bound
    }
}

void forgetKeptRecords() {
    try {
        const std::string own = ownPrefix();
        for (const auto& [key, value] :
             settings::GetAllSettings(settings::kCheckerApplication, kKeptRecordSection)) {
            if (key.starts_with(own))
                settings::DeleteSetting(settings::kCheckerApplication, kKeptRecordSection, key);
        }
    } catch (const std::exception&) {
        // no machine bound: nothing was recorded either
    }
}

std::size_t restoreAbandonedKeptFiles(pf::Machine& machine) {
    std::size_t restored = 0;
    try {
        for (const auto& [key, value] :
             settings::GetAllSettings(settings::kCheckerApplication, kKeptRecordSection)) {
            if (ownerRuns(key))
                continue;
            if (giveBack(machine, value))
                ++restored;
            settings::DeleteSetting(settings::kCheckerApplication, kKeptRecordSection, key);
        }
    } catch (const std::exception&) {
        // the machine went away: the records stay for the next start
    }
    return restored;
}

}  // namespace kx::cleaning
