// The process and window operations of CKOLVANEX: thin entries into
// frame/processes, guarded so that no error reaches the host as an
// exception. ShowOptionenPopupBlocker lives with the settings dialog
// (kolvanex_options.cpp).
#include "facade/guarded.hpp"
#include "facade/kolvanex.hpp"
#include "services/processes.hpp"

namespace kx {

Ret<Long> CKOLVANEX::ShellAndWait(std::string& CmdLine, VbAppWinStyle& xWindowStyle,
                                  Long lWaitNSeconds) {
    return guarded("ShellAndWait",
                   [&] { return kx::ShellAndWait(CmdLine, xWindowStyle, lWaitNSeconds); });
}
Ret<bool> CKOLVANEX::CloseTask(std::string sTaskName) {
    return guarded("CloseTask", [&] { return kx::CloseTask(sTaskName); });
}
Ret<bool> CKOLVANEX::IEIsActive(Long lHwndOwner, bool* bBringIEToTop) {
    return guarded("IEIsActive", [&] { return kx::IEIsActive(lHwndOwner, bBringIEToTop); });
}
Ret<std::string> CKOLVANEX::GetWindowTitle(Long hwnd) {
    return guarded("GetWindowTitle", [&] { return kx::GetWindowTitle(hwnd); });
}
Ret<Long> CKOLVANEX::EnumChildProc(Long hwnd, Long lParam) {
    return guarded("EnumChildProc", [&] { return kx::EnumChildProc(hwnd, lParam); });
}
Ret<void> CKOLVANEX::CloseAllIESessions() {
    return guarded("CloseAllIESessions", [] { kx::CloseAllIESessions(); });
}
Ret<void> CKOLVANEX::CloseDRUBEX() {
    return guarded("CloseDRUBEX", [] { kx::CloseDRUBEX(); });
}
Ret<void> CKOLVANEX::StartKXMonitor() {
    return guarded("StartKXMonitor", [] { kx::StartKXMonitor(); });
}
Ret<void> CKOLVANEX::CloseKXMonitor() {
    return guarded("CloseKXMonitor", [] { kx::CloseKXMonitor(); });
}
Ret<Long> CKOLVANEX::GetKXMonitorHandle() {
    return guarded("GetKXMonitorHandle", [] { return kx::GetKXMonitorHandle(); });
}
Ret<void> CKOLVANEX::StartThePopupKiller() {
    return guarded("StartThePopupKiller", [] { kx::StartThePopupKiller(); });
}
Ret<void> CKOLVANEX::StartKXPopupKiller(std::string sCommandLine) {
    return guarded("StartKXPopupKiller", [&] { kx::StartKXPopupKiller(sCommandLine); });
}
Ret<void> CKOLVANEX::CloseKXPopupKiller() {
    return guarded("CloseKXPopupKiller", [] { kx::CloseKXPopupKiller(); });
}
Ret<Long> CKOLVANEX::GetKXPopupKillerHandle() {
    return guarded("GetKXPopupKillerHandle", [] { return kx::GetKXPopupKillerHandle(); });
}

}  // namespace kx
