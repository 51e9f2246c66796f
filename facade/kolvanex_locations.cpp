// The operations of CKOLVANEX that find browsers' files and the system's
// folders. Each is a thin entry into settings/locations, guarded so that no
// error reaches the host as an exception.
#include "facade/guarded.hpp"
#include "facade/kolvanex.hpp"
#include "settings/locations.hpp"

namespace kx {

namespace {

// "Object variable or With block variable not set".
constexpr std::int32_t kObjectNotSet = 91;

}  // namespace

Ret<std::string> CKOLVANEX::GetOperaExeDirectory() {
    return guarded("GetOperaExeDirectory", [] { return settings::GetOperaExeDirectory(); });
}
Ret<std::string> CKOLVANEX::GetOperaDirectory() {
    return guarded("GetOperaDirectory", [] { return settings::GetOperaDirectory(); });
}
Ret<std::string> CKOLVANEX::GetOperaTempDirectory() {
    return guarded("GetOperaTempDirectory", [] { return settings::GetOperaTempDirectory(); });
}
Ret<std::string> CKOLVANEX::GetOperaIni() {
    return guarded("GetOperaIni", [] { return settings::GetOperaIni(); });
}
Ret<std::string> CKOLVANEX::NetscapeGetInstallDirectory() {
    return guarded("NetscapeGetInstallDirectory",
                   [] { return settings::NetscapeGetInstallDirectory(); });
}
Ret<std::string> CKOLVANEX::NetscapeGetExeDirectory() {
    return guarded("NetscapeGetExeDirectory", [] { return settings::NetscapeGetExeDirectory(); });
}
Ret<void> CKOLVANEX::NetscapeAndMozillaGetProfileFilesMulti(CollectionRef& colDirs) {
    return guarded("NetscapeAndMozillaGetProfileFilesMulti",
                   [&] { settings::NetscapeAndMozillaGetProfileFilesMulti(colDirs); });
}
Ret<std::string> CKOLVANEX::MozGetInstallDirectory() {
    return guarded("MozGetInstallDirectory", [] { return settings::MozGetInstallDirectory(); });
}
Ret<std::string> CKOLVANEX::MozGetExeDirectory() {
    return guarded("MozGetExeDirectory", [] { return settings::MozGetExeDirectory(); });
}
Ret<void> CKOLVANEX::MozAddFiles(CollectionRef colFiles) {
    return guarded("MozAddFiles", [&] {
        // Appending to no collection is the runtime's error 91, not a crash.
        if (!colFiles) {
            throw platform::RuntimeError{kObjectNotSet,
                                         "Object variable or With block variable not set"};
        }
        settings::MozAddFiles(*colFiles);
    });
}
Ret<std::string> CKOLVANEX::GetPrivatePath() {
    return guarded("GetPrivatePath", [] { return settings::GetPrivatePath(); });
}
Ret<std::string> CKOLVANEX::GetAOLPath() {
    return guarded("GetAOLPath", [] { return settings::GetAOLPath(); });
}
Ret<bool> CKOLVANEX::IsAdmin() {
    return guarded("IsAdmin", [] { return settings::IsAdmin(); });
}
Ret<std::string> CKOLVANEX::VBGetSpecialFolder(Long& CSIDL) {
    return guarded("VBGetSpecialFolder", [&] { return settings::VBGetSpecialFolder(CSIDL); });
}
Ret<std::string> CKOLVANEX::GetSpecialfolder(Long& CSIDL) {
    return settings::GetSpecialfolder(CSIDL);
}
Ret<std::string> CKOLVANEX::GetRecentDirectory() {
    return guarded("GetRecentDirectory", [] { return settings::GetRecentDirectory(); });
}
Ret<std::string> CKOLVANEX::GetTempDir(std::optional<bool> AddBackslash) {
    return guarded("GetTempDir",
                   [&] { return settings::GetTempDir(AddBackslash.value_or(false)); });
}
Ret<std::string> CKOLVANEX::GetWinDir() {
    return guarded("GetWinDir", [] { return settings::GetWinDir(); });
}
Ret<std::string> CKOLVANEX::GetSysDir() {
    return guarded("GetSysDir", [] { return settings::GetSysDir(); });
}

}  // namespace kx
