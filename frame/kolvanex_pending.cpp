// The operations whose features are not built yet. They exist on the surface
// so that hosts and scripts see the whole interface, and each answers a
// failing status that says so: nothing here pretends to work.
#include "frame/kolvanex.hpp"

namespace kx {

Ret<void> CKOLVANEX::ShowOptionen() {
    return notBuiltYet("ShowOptionen");
}
Ret<std::string> CKOLVANEX::GetFastestProxy() {
    return notBuiltYet("GetFastestProxy");
}
Ret<std::string> CKOLVANEX::KXChecker(std::string, bool&, ObjectRef, Long) {
    return notBuiltYet("KXChecker");
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
Ret<std::string> CKOLVANEX::GetIPAdress() {
    return notBuiltYet("GetIPAdress");
}
Ret<void> CKOLVANEX::ShowOptionenPopupBlocker() {
    return notBuiltYet("ShowOptionenPopupBlocker");
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
