// The process snapshot read from /proc and the Toolhelp calls that walk it.
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "platform/processes/process_table.hpp"

namespace kx::platform {
namespace fs = std::filesystem;
using namespace detail;
std::vector<ProcessEntry> processSnapshot() {
    reapChildren();
    std::vector<ProcessEntry> entries;
    const uid_t me = ::getuid();
    std::error_code ec;
    for (fs::directory_iterator it("/proc", ec), end; !ec && it != end; it.increment(ec)) {
        const auto name = it->path().filename().string();
        if (name.empty() || !std::all_of(name.begin(), name.end(), ::isdigit))
            continue;
        DWORD pid = 0;
        try {
            pid = static_cast<DWORD>(std::stoul(name));
        } catch (const std::exception&) {
            continue;
        }
        const auto uid = realUid(pid);
        if (!uid || *uid != me)
            continue;
        const auto stat = readStat(pid);
        if (!stat || isEndedState(stat->state))
            continue;
        ProcessEntry entry;
        entry.processId = pid;
        entry.parentProcessId = stat->parent;
        entry.threads = stat->threads;
        entry.exeFile = exeNameOf(pid);
        entries.push_back(std::move(entry));
    }
    std::sort(entries.begin(), entries.end(),
              [](const auto& a, const auto& b) { return a.processId < b.processId; });
    return entries;
}

HANDLE CreateToolhelp32Snapshot(DWORD flags, DWORD) {
    if ((flags & TH32CS_SNAPPROCESS) == 0)
        return fail(ERROR_INVALID_PARAMETER, HANDLE{0});
    auto snapshot = std::make_shared<Snapshot>();
    snapshot->entries = processSnapshot();
    return addHandle(snapshot);
}

namespace {

bool fillEntry(HANDLE handle, PROCESSENTRY32* entry, bool first) {
    const auto snapshot = lookup<Snapshot>(handle);
    if (!snapshot || entry == nullptr)
        return fail(ERROR_INVALID_HANDLE, false);
    if (first)
        snapshot->next = 0;
    if (snapshot->next >= snapshot->entries.size())
        return fail(ERROR_NO_MORE_FILES, false);
    const auto& e = snapshot->entries[snapshot->next++];
    entry->th32ProcessID = e.processId;
    entry->th32ParentProcessID = e.parentProcessId;
    entry->cntThreads = e.threads;
    entry->szExeFile.fill('\0');
    const auto n = std::min(e.exeFile.size(), entry->szExeFile.size() - 1);
    std::memcpy(entry->szExeFile.data(), e.exeFile.data(), n);
    return true;
}

}  // namespace

bool Process32First(HANDLE snapshot, PROCESSENTRY32* entry) {
    return fillEntry(snapshot, entry, true);
}

bool Process32Next(HANDLE snapshot, PROCESSENTRY32* entry) {
    return fillEntry(snapshot, entry, false);
}

std::optional<std::uint64_t> processStartTime(DWORD processId) {
    reapChildren();
    const auto stat = readStat(processId);
    if (!stat || isEndedState(stat->state))
        return std::nullopt;
    return stat->startTime;
}

bool processRunning(DWORD processId, std::uint64_t startTime) {
    const auto now = processStartTime(processId);
    return now && *now == startTime;
}

}  // namespace kx::platform
