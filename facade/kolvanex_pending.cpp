// The operations whose features are not built yet. They exist on the surface
// so that hosts and scripts see the whole interface, and each answers a
// failing status that says so: nothing here pretends to work.
#include "facade/kolvanex.hpp"

namespace kx {

Ret<void> CKOLVANEX::ShowOptionen() {
    return notBuiltYet("ShowOptionen");
}
Ret<void> CKOLVANEX::ShowProxyOptionen() {
    return notBuiltYet("ShowProxyOptionen");
}
Ret<void> CKOLVANEX::ShowOptionenPopupBlocker() {
    return notBuiltYet("ShowOptionenPopupBlocker");
}
Ret<void> CKOLVANEX::ShowAnoMail() {
    return notBuiltYet("ShowAnoMail");
}
Ret<bool> CKOLVANEX::KXFillWebForm(ObjectRef, std::string, CollectionRef) {
    return notBuiltYet("KXFillWebForm");
}

}  // namespace kx
