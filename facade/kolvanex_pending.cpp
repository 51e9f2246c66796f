// The operations whose features are not built yet. They exist on the surface
// so that hosts and scripts see the whole interface, and each answers a
// failing status that says so: nothing here pretends to work.
#include "facade/kolvanex.hpp"

namespace kx {

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
