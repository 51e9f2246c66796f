#pragma once
// The steps of the destroy phase beyond the deletion of the listed files, in
// the order the phase runs them. Each step shows its own status lines, tests
// the cancel flag inside its loops and suppresses its errors; the phase sets
// the progress values between them and decides from the settings which run.
// Bytes a step frees count towards the run's byte total.
#include <string>
#include <string_view>

namespace kx::cleaning {

struct RunContext;
struct RunState;

/// Removes what dialers left in the Windows folder ("dialer", "webdialer").
void removeDialerRemnants(const RunContext& run);

/// How the daily virus scan ended.
enum class ScanEnd {
    Continue,   // the phase goes on (also when the scan was skipped or failed)
    ToSummary,  // cancelled before the scanner ran: straight to the summary
    EndPhase,   // cancelled while waiting for the report: the phase ends at once
};
/// The daily virus scan, when "AntiVirDate" is not today.
ScanEnd dailyVirusScan(const RunContext& run);

/// Filters the cookie files of every Netscape/Mozilla/Firefox profile.
void cleanCookieFiles(const RunContext& run);
/// What the filter keeps of a cookie file: comments, empty lines and the
/// cookies of excepted sites, each ended by a line feed. Filtering the result
/// again gives it back unchanged.
std::string keptCookieLines(const RunState& state, std::string_view content);
/// Empties what Internet Explorer's cache still holds.
void clearIECache(const RunContext& run);
/// Internet Explorer's history and the Mozilla window-state lists.
void clearHistoryAndWindowState(const RunContext& run);
/// The recent-file lists, typed addresses, downloaded program files and the
/// other registry traces; removes the History marker from the found list.
void cleanRegistryHistory(const RunContext& run);
void emptyRecycleBin(const RunContext& run);
/// Switches the messenger service off or on, as set (NT family only).
void setMessengerService(const RunContext& run);
void clearKazaaLists(const RunContext& run);
/// Puts the four auto-complete values into the state the setting asks for.
void setAutoComplete(const RunContext& run);
/// Starts the anti-spy tool with its option list (fetching it when missing).
void runAntiSpy(const RunContext& run);
/// Lists and blanks the index files the deletions left behind.
void blankIndexFiles(const RunContext& run);

}  // namespace kx::cleaning
