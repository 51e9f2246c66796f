// The operations whose features are not built yet. They exist on the surface
// so that hosts and scripts see the whole interface, and each answers a
// failing status that says so: nothing here pretends to work.
#include "frame/kolvanex.hpp"

namespace kx {

Ret<std::string> CKOLVANEX::GetOperaExeDirectory() {
    return notBuiltYet("GetOperaExeDirectory");
}
Ret<std::string> CKOLVANEX::GetOperaDirectory() {
    return notBuiltYet("GetOperaDirectory");
}
Ret<std::string> CKOLVANEX::GetOperaTempDirectory() {
    return notBuiltYet("GetOperaTempDirectory");
}
Ret<std::string> CKOLVANEX::GetOperaIni() {
    return notBuiltYet("GetOperaIni");
}
Ret<std::string> CKOLVANEX::NetscapeGetInstallDirectory() {
    return notBuiltYet("NetscapeGetInstallDirectory");
}
Ret<std::string> CKOLVANEX::NetscapeGetExeDirectory() {
    return notBuiltYet("NetscapeGetExeDirectory");
}
Ret<void> CKOLVANEX::NetscapeAndMozillaGetProfileFilesMulti(CollectionRef&) {
    return notBuiltYet("NetscapeAndMozillaGetProfileFilesMulti");
}
Ret<std::string> CKOLVANEX::MozGetInstallDirectory() {
    return notBuiltYet("MozGetInstallDirectory");
}
Ret<std::string> CKOLVANEX::MozGetExeDirectory() {
    return notBuiltYet("MozGetExeDirectory");
}
Ret<void> CKOLVANEX::MozAddFiles(CollectionRef) {
    return notBuiltYet("MozAddFiles");
}
Ret<std::string> CKOLVANEX::GetPrivatePath() {
    return notBuiltYet("GetPrivatePath");
}
Ret<std::string> CKOLVANEX::GetAOLPath() {
    return notBuiltYet("GetAOLPath");
}
Ret<bool> CKOLVANEX::IsAdmin() {
    return notBuiltYet("IsAdmin");
}
Ret<std::string> CKOLVANEX::VBGetSpecialFolder(Long&) {
    return notBuiltYet("VBGetSpecialFolder");
}
Ret<std::string> CKOLVANEX::GetSpecialfolder(Long&) {
    return notBuiltYet("GetSpecialfolder");
}
Ret<std::string> CKOLVANEX::GetRecentDirectory() {
    return notBuiltYet("GetRecentDirectory");
}
Ret<std::string> CKOLVANEX::GetTempDir(std::optional<bool>) {
    return notBuiltYet("GetTempDir");
}
Ret<std::string> CKOLVANEX::GetWinDir() {
    return notBuiltYet("GetWinDir");
}
Ret<std::string> CKOLVANEX::GetSysDir() {
    return notBuiltYet("GetSysDir");
}
Ret<bool> CKOLVANEX::RegEdit(std::string) {
    return notBuiltYet("RegEdit");
}
Ret<void> CKOLVANEX::ShowOptionen() {
    return notBuiltYet("ShowOptionen");
}
Ret<bool> CKOLVANEX::IsConnection() {
    return notBuiltYet("IsConnection");
}
Ret<std::string> CKOLVANEX::GetInternetFile(std::string) {
    return notBuiltYet("GetInternetFile");
}
Ret<std::string> CKOLVANEX::GetFastestProxy() {
    return notBuiltYet("GetFastestProxy");
}
Ret<std::string> CKOLVANEX::GetDownloadProxy() {
    return notBuiltYet("GetDownloadProxy");
}
Ret<std::string> CKOLVANEX::KXChecker(std::string, bool&, ObjectRef, Long) {
    return notBuiltYet("KXChecker");
}
Ret<bool> CKOLVANEX::SetIEProxy(std::string) {
    return notBuiltYet("SetIEProxy");
}
Ret<bool> CKOLVANEX::SetOperaProxy(std::string) {
    return notBuiltYet("SetOperaProxy");
}
Ret<bool> CKOLVANEX::SetMozillaProxy(std::string, std::string) {
    return notBuiltYet("SetMozillaProxy");
}
Ret<std::string> CKOLVANEX::GetAdFilterProxyFileName() {
    return notBuiltYet("GetAdFilterProxyFileName");
}
Ret<std::string> CKOLVANEX::GetAutoProxyFileName() {
    return notBuiltYet("GetAutoProxyFileName");
}
Ret<void> CKOLVANEX::WriteAutoProxyFile(std::string) {
    return notBuiltYet("WriteAutoProxyFile");
}
Ret<void> CKOLVANEX::RefreshIESettings() {
    return notBuiltYet("RefreshIESettings");
}
Ret<bool> CKOLVANEX::AskForNewSession(Long) {
    return notBuiltYet("AskForNewSession");
}
Ret<bool> CKOLVANEX::SetSafeSessionOn(Variant) {
    return notBuiltYet("SetSafeSessionOn");
}
Ret<bool> CKOLVANEX::SetSafeSessionOff(Long, bool) {
    return notBuiltYet("SetSafeSessionOff");
}
Ret<bool> CKOLVANEX::SetAnonymSessionOn(Long) {
    return notBuiltYet("SetAnonymSessionOn");
}
Ret<bool> CKOLVANEX::SetAnonymSessionOff(Long, bool) {
    return notBuiltYet("SetAnonymSessionOff");
}
Ret<void> CKOLVANEX::ShowBrowserBar() {
    return notBuiltYet("ShowBrowserBar");
}
Ret<void> CKOLVANEX::Werbung(Long, std::string) {
    return notBuiltYet("Werbung");
}
Ret<void> CKOLVANEX::ShowProxyOptionen() {
    return notBuiltYet("ShowProxyOptionen");
}
Ret<std::string> CKOLVANEX::GetIPAddress(std::string) {
    return notBuiltYet("GetIPAddress");
}
Ret<std::string> CKOLVANEX::GetIPHostName() {
    return notBuiltYet("GetIPHostName");
}
Ret<std::string> CKOLVANEX::GetIPAdress() {
    return notBuiltYet("GetIPAdress");
}
Ret<std::string> CKOLVANEX::HostByAddr(std::string) {
    return notBuiltYet("HostByAddr");
}
Ret<std::string> CKOLVANEX::HostByName(std::string&, Integer*) {
    return notBuiltYet("HostByName");
}
Ret<std::string> CKOLVANEX::MyHostName() {
    return notBuiltYet("MyHostName");
}
Ret<bool> CKOLVANEX::SocketsInitialize() {
    return notBuiltYet("SocketsInitialize");
}
Ret<void> CKOLVANEX::SocketsCleanup() {
    return notBuiltYet("SocketsCleanup");
}
Ret<void> CKOLVANEX::xSocketsInitialize() {
    return notBuiltYet("xSocketsInitialize");
}
Ret<void> CKOLVANEX::xSocketsCleanup() {
    return notBuiltYet("xSocketsCleanup");
}
Ret<void> CKOLVANEX::ShowInfo() {
    return notBuiltYet("ShowInfo");
}
Ret<Long> CKOLVANEX::ShellAndWait(std::string&, VbAppWinStyle&, Long) {
    return notBuiltYet("ShellAndWait");
}
Ret<bool> CKOLVANEX::CloseTask(std::string) {
    return notBuiltYet("CloseTask");
}
Ret<bool> CKOLVANEX::IEIsActive(Long, bool*) {
    return notBuiltYet("IEIsActive");
}
Ret<std::string> CKOLVANEX::GetWindowTitle(Long) {
    return notBuiltYet("GetWindowTitle");
}
Ret<Long> CKOLVANEX::EnumChildProc(Long, Long) {
    return notBuiltYet("EnumChildProc");
}
Ret<void> CKOLVANEX::CloseAllIESessions() {
    return notBuiltYet("CloseAllIESessions");
}
Ret<void> CKOLVANEX::CloseDRUBEX() {
    return notBuiltYet("CloseDRUBEX");
}
Ret<void> CKOLVANEX::StartKXMonitor() {
    return notBuiltYet("StartKXMonitor");
}
Ret<void> CKOLVANEX::CloseKXMonitor() {
    return notBuiltYet("CloseKXMonitor");
}
Ret<Long> CKOLVANEX::GetKXMonitorHandle() {
    return notBuiltYet("GetKXMonitorHandle");
}
Ret<void> CKOLVANEX::StartThePopupKiller() {
    return notBuiltYet("StartThePopupKiller");
}
Ret<void> CKOLVANEX::StartKXPopupKiller(std::string) {
    return notBuiltYet("StartKXPopupKiller");
}
Ret<void> CKOLVANEX::CloseKXPopupKiller() {
    return notBuiltYet("CloseKXPopupKiller");
}
Ret<Long> CKOLVANEX::GetKXPopupKillerHandle() {
    return notBuiltYet("GetKXPopupKillerHandle");
}
Ret<void> CKOLVANEX::ShowOptionenPopupBlocker() {
    return notBuiltYet("ShowOptionenPopupBlocker");
}
Ret<void> CKOLVANEX::ProgessShow() {
    return notBuiltYet("ProgessShow");
}
Ret<void> CKOLVANEX::Status(std::string) {
    return notBuiltYet("Status");
}
Ret<void> CKOLVANEX::ProgressMin(Integer) {
    return notBuiltYet("ProgressMin");
}
Ret<void> CKOLVANEX::ProgressMax(Integer) {
    return notBuiltYet("ProgressMax");
}
Ret<void> CKOLVANEX::ProgressValue(Integer) {
    return notBuiltYet("ProgressValue");
}
Ret<void> CKOLVANEX::ProgressClose(Integer) {
    return notBuiltYet("ProgressClose");
}
Ret<void> CKOLVANEX::UnloadProgess() {
    return notBuiltYet("UnloadProgess");
}
Ret<bool> CKOLVANEX::IsProgressVisible() {
    return notBuiltYet("IsProgressVisible");
}
Ret<ObjectRef> CKOLVANEX::GetProgressBar() {
    return notBuiltYet("GetProgressBar");
}
Ret<Variant> CKOLVANEX::KXStart() {
    return notBuiltYet("KXStart");
}
Ret<Variant> CKOLVANEX::KXDelete() {
    return notBuiltYet("KXDelete");
}
Ret<void> CKOLVANEX::KXStatistics(Long, double) {
    return notBuiltYet("KXStatistics");
}
Ret<double> CKOLVANEX::KXDeleteTheFile(std::string, bool, bool, Integer, Byte, bool) {
    return notBuiltYet("KXDeleteTheFile");
}
Ret<void> CKOLVANEX::KXCheckForDialer() {
    return notBuiltYet("KXCheckForDialer");
}
Ret<bool> CKOLVANEX::RASConnect(Long, std::optional<std::string>, std::optional<bool>) {
    return notBuiltYet("RASConnect");
}
Ret<void> CKOLVANEX::ShowAnoMail() {
    return notBuiltYet("ShowAnoMail");
}
Ret<bool> CKOLVANEX::KXFillWebForm(ObjectRef, std::string, CollectionRef) {
    return notBuiltYet("KXFillWebForm");
}
Ret<void> CKOLVANEX::ShowFavoriten() {
    return notBuiltYet("ShowFavoriten");
}
Ret<void> CKOLVANEX::UnloadFavoriten() {
    return notBuiltYet("UnloadFavoriten");
}
Ret<std::string> CKOLVANEX::KXPasswordSet() {
    return notBuiltYet("KXPasswordSet");
}
Ret<std::string> CKOLVANEX::KXPasswordGet() {
    return notBuiltYet("KXPasswordGet");
}
Ret<void> CKOLVANEX::KXCryptFiles(enumCryptIt) {
    return notBuiltYet("KXCryptFiles");
}
Ret<void> CKOLVANEX::KXCriptFolders(enumCryptIt) {
    return notBuiltYet("KXCriptFolders");
}

}  // namespace kx
