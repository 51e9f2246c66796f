// Placeholders of the destroy steps still being written; each moves to its
// own file when built.
#include "cleaning/destroy_steps.hpp"

namespace kx::cleaning {

void removeDialerRemnants() {}
ScanEnd dailyVirusScan() { return ScanEnd::Continue; }
void cleanCookieFiles() {}
void clearIECache() {}
void clearHistoryAndWindowState() {}
void cleanRegistryHistory() {}
void emptyRecycleBin() {}
void setMessengerService() {}
void clearKazaaLists() {}
void setAutoComplete() {}
void runAntiSpy() {}
void blankIndexFiles() {}

}  // namespace kx::cleaning
