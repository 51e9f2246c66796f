// The operations of CKOLVANEX whose features are built: shared state,
// registry, system information and the utilities. Each is a thin entry into
// the subsystem doing the work, guarded so that no error reaches the host as
// an exception.
#include "facade/kolvanex.hpp"
#include "facade/guarded.hpp"

#include "core/shared_state.hpp"
#include "platform/runtime/translation.hpp"
#include "services/registry_import.hpp"
#include "services/utilities.hpp"
#include "settings/registry_access.hpp"
#include "settings/system_info.hpp"

namespace kx {

namespace {

namespace ui = platform::ui;
using settings::CreateKey;

constexpr std::int32_t kTypeMismatch = 13;

template <typename T>
std::shared_ptr<T> objectAs(const ObjectRef& object) {
    auto typed = std::dynamic_pointer_cast<T>(object);
    if (!typed)
        throw platform::RuntimeError{kTypeMismatch,
                                     std::string(platform::tr("Typen unverträglich"))};
    return typed;
}

}  // namespace

// Shared state.
Ret<std::string> CKOLVANEX::KXAppPath() const {
    return shared().KXAppPath;
}
Ret<void> CKOLVANEX::KXAppPath(std::string value) {
    shared().KXAppPath = std::move(value);
    return {};
}
Ret<std::string> CKOLVANEX::KXAppTitle() const {
    return shared().KXAppTitle;
}
Ret<void> CKOLVANEX::KXAppTitle(std::string value) {
    shared().applicationTitle = value;
    shared().KXAppTitle = std::move(value);
    return {};
}
Ret<bool> CKOLVANEX::gbBreak() const {
    return shared().gbBreak;
}
Ret<void> CKOLVANEX::gbBreak(bool value) {
    shared().gbBreak = value;
    return {};
}
Ret<bool> CKOLVANEX::gbQuiet() const {
    return shared().gbQuiet;
}
Ret<void> CKOLVANEX::gbQuiet(bool value) {
    shared().gbQuiet = value;
    return {};
}
Ret<bool> CKOLVANEX::gbFormsOnTop() const {
    return shared().gbFormsOnTop;
}
Ret<void> CKOLVANEX::gbFormsOnTop(bool value) {
    shared().gbFormsOnTop = value;
    return {};
}

// System information.
Ret<std::string> CKOLVANEX::Betriebssystem() {
    return guarded("Betriebssystem", [] { return settings::Betriebssystem(); });
}

// Registry.
Ret<Long> CKOLVANEX::QueryUserInformationString(std::string sSubKey, std::string sValueName,
                                                std::string& sValue) {
    return guarded("QueryUserInformationString", [&] {
        return settings::queryRegistryString(platform::HKEY_CURRENT_USER, sSubKey, sValueName,
                                             sValue);
    });
}

Ret<Long> CKOLVANEX::QueryUserInformationLong(std::string sSubKey, std::string sValueName,
                                              Long& lValue) {
    return guarded("QueryUserInformationLong", [&] {
        return settings::queryRegistryLong(platform::HKEY_CURRENT_USER, sSubKey, sValueName,
                                           lValue);
    });
}

Ret<Long> CKOLVANEX::WriteUserInformationLong(std::string sSubKey, std::string sValueName,
                                              Long lValue) {
    return guarded("WriteUserInformationLong", [&] {
        return settings::writeRegistryLong(platform::HKEY_CURRENT_USER, sSubKey, sValueName, lValue,
                                           CreateKey::OnNotFound);
    });
}

Ret<Long> CKOLVANEX::DeleteUserInformationKey(std::string sSubKey) {
    return guarded("DeleteUserInformationKey", [&] {
        return settings::deleteRegistryTree(platform::HKEY_CURRENT_USER, sSubKey);
    });
}

Ret<Long> CKOLVANEX::DeleteRegistryKey(Long hKey, std::string sSubKey) {
    return guarded("DeleteRegistryKey", [&] {
        return settings::deleteRegistryTree(static_cast<platform::HKEY>(hKey), sSubKey);
    });
}

Ret<Long> CKOLVANEX::WriteRegistryInformationLong(Long hKey, std::string sSubKey,
                                                  std::string sValueName, Long lValue) {
    return guarded("WriteRegistryInformationLong", [&] {
        return settings::writeRegistryLong(static_cast<platform::HKEY>(hKey), sSubKey, sValueName,
                                           lValue, CreateKey::OnNotFound);
    });
}

Ret<Long> CKOLVANEX::WriteRegistryInformationString(Long hKey, std::string sSubKey,
                                                    std::string sValueName, std::string sValue) {
    return guarded("WriteRegistryInformationString", [&] {
        return settings::writeRegistryString(static_cast<platform::HKEY>(hKey), sSubKey, sValueName,
                                             sValue, CreateKey::OnAnyFailure);
    });
}

Ret<Long> CKOLVANEX::DeleteRegistryValue(Long hKey, std::string sSubKey, std::string sValueName) {
    return guarded("DeleteRegistryValue", [&] {
        return settings::deleteRegistryValue(static_cast<platform::HKEY>(hKey), sSubKey,
                                             sValueName);
    });
}

Ret<bool> CKOLVANEX::RegEdit(std::string sFileName) {
    return guarded("RegEdit", [&] { return settings::RegEdit(sFileName); });
}

Ret<void> CKOLVANEX::AutoStart(bool autoStart, std::string sCommandLine, std::string sKeyName) {
    return guarded("AutoStart", [&] { settings::AutoStart(autoStart, sCommandLine, sKeyName); });
}

Ret<std::string> CKOLVANEX::RegFailMsg() {
    return settings::RegFailMsg();
}

Ret<bool> CKOLVANEX::GetNoOptions() {
    return guarded("GetNoOptions", [] { return settings::GetNoOptions(); });
}

// Utilities.
Ret<std::string> CKOLVANEX::AddBackslash(std::string sFile) {
    return kx::AddBackslash(sFile);
}
Ret<bool> CKOLVANEX::CBoolEx(Variant vValue) {
    return kx::CBoolEx(vValue);
}
Ret<Byte> CKOLVANEX::hibyte(Integer wParam) {
    return kx::hibyte(wParam);
}
Ret<Byte> CKOLVANEX::lobyte(Integer wParam) {
    return kx::lobyte(wParam);
}
Ret<bool> CKOLVANEX::IsIDE() {
    return kx::IsIDE();
}

Ret<Variant> CKOLVANEX::Selex() {
    // Selecting text never fails the caller.
    return guarded("Selex", [] { return kx::Selex(); }).value_or(Variant{});
}

Ret<void> CKOLVANEX::ChangeTabControl(ObjectRef& tsTabControl, Integer iKeycode, Integer iShift) {
    return guarded("ChangeTabControl", [&] {
        kx::ChangeTabControl(*objectAs<ui::TabStrip>(tsTabControl), iKeycode, iShift);
    });
}

Ret<void> CKOLVANEX::FormOnTop(Long hwnd, bool OnTop) {
    return guarded("FormOnTop", [&] { kx::FormOnTop(hwnd, OnTop); });
}

Ret<void> CKOLVANEX::FormMaximize(ObjectRef& f) {
    return guarded("FormMaximize", [&] { kx::FormMaximize(*objectAs<ui::Form>(f)); });
}

Ret<void> CKOLVANEX::BackColor98(ObjectRef fIn) {
    // Never fails: anything that is not a form has no controls to colour.
    if (auto form = std::dynamic_pointer_cast<ui::Form>(fIn)) {
        (void)guarded("BackColor98", [&] { kx::BackColor98(*form); });
    }
    return {};
}

Ret<std::string> CKOLVANEX::ShowOpenDlg(Long& lHwndOwner, std::string& strFilter,
                                        std::string& strTitel, std::string& strInitDir) {
    return kx::ShowOpenDlg(lHwndOwner, strFilter, strTitel, strInitDir);
}

Ret<std::string> CKOLVANEX::ShowSaveDlg(Long& lHwndOwner, std::string& strFilter,
                                        std::string& strTitel, std::string& strInitDir) {
    return kx::ShowSaveDlg(lHwndOwner, strFilter, strTitel, strInitDir);
}

Ret<std::string> CKOLVANEX::BrowseFolder(Long hwndOwner, std::string sTitel, Long piRoot) {
    return kx::BrowseFolder(hwndOwner, sTitel, piRoot);
}

Ret<void> CKOLVANEX::Help(Long lHwnd) {
    return guarded("Help", [&] { kx::Help(lHwnd); });
}

Ret<void> CKOLVANEX::Homepage() {
    return guarded("Homepage", [] { kx::Homepage(); });
}

}  // namespace kx
