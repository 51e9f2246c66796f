#pragma once
// CKOLVANEX: the one public class of the component. A host creates it and
// drives every feature through it. Every operation answers its value or a
// failing status (error number and description); none throws to the host.
// Instances share their state per thread (frame/shared_state.hpp), so the
// component's own code may create private instances freely.
#include <optional>
#include <string>

#include "core/automation.hpp"

namespace kx {

class CKOLVANEX {
  public:
    // Shared state.
    Ret<std::string> KXAppPath() const;
    Ret<void> KXAppPath(std::string value);
    Ret<std::string> KXAppTitle() const;
    /// Also sets the application title, and with it the settings tree's name.
    Ret<void> KXAppTitle(std::string value);
    Ret<bool> gbBreak() const;
    Ret<void> gbBreak(bool value);
    Ret<bool> gbQuiet() const;
    Ret<void> gbQuiet(bool value);
    Ret<bool> gbFormsOnTop() const;
    Ret<void> gbFormsOnTop(bool value);

    // Locations and system information.
    Ret<std::string> GetOperaExeDirectory();
    Ret<std::string> GetOperaDirectory();
    Ret<std::string> GetOperaTempDirectory();
    Ret<std::string> GetOperaIni();
    Ret<std::string> NetscapeGetInstallDirectory();
    Ret<std::string> NetscapeGetExeDirectory();
    Ret<void> NetscapeAndMozillaGetProfileFilesMulti(CollectionRef& colDirs);
    Ret<std::string> MozGetInstallDirectory();
    Ret<std::string> MozGetExeDirectory();
    Ret<void> MozAddFiles(CollectionRef colFiles);
    Ret<std::string> GetPrivatePath();
    Ret<std::string> GetAOLPath();
    Ret<std::string> Betriebssystem();
    Ret<bool> IsAdmin();
    Ret<std::string> VBGetSpecialFolder(Long& CSIDL);
    Ret<std::string> GetSpecialfolder(Long& CSIDL);
    Ret<std::string> GetRecentDirectory();
    Ret<std::string> GetTempDir(std::optional<bool> AddBackslash);
    Ret<std::string> GetWinDir();
    Ret<std::string> GetSysDir();

    // Registry.
    Ret<Long> QueryUserInformationString(std::string sSubKey, std::string sValueName,
                                         std::string& sValue);
    Ret<Long> QueryUserInformationLong(std::string sSubKey, std::string sValueName, Long& lValue);
    Ret<Long> WriteUserInformationLong(std::string sSubKey, std::string sValueName, Long lValue);
    Ret<Long> DeleteUserInformationKey(std::string sSubKey);
    Ret<Long> DeleteRegistryKey(Long hKey, std::string sSubKey);
    Ret<Long> WriteRegistryInformationLong(Long hKey, std::string sSubKey, std::string sValueName,
                                           Long lValue);
    Ret<Long> WriteRegistryInformationString(Long hKey, std::string sSubKey, std::string sValueName,
                                             std::string sValue);
    Ret<Long> DeleteRegistryValue(Long hKey, std::string sSubKey, std::string sValueName);
    Ret<bool> RegEdit(std::string sFileName);
    Ret<void> AutoStart(bool AutoStart, std::string sCommandLine, std::string sKeyName);
    Ret<std::string> RegFailMsg();

    // Settings.
    Ret<void> ShowOptionen();
    Ret<bool> GetNoOptions();

    // Proxies, sessions, addresses and sockets.
    Ret<bool> IsConnection();
    Ret<std::string> GetInternetFile(std::string sURL);
    Ret<std::string> GetFastestProxy();
    Ret<std::string> GetDownloadProxy();
    Ret<std::string> KXChecker(std::string sProxyAndPort, bool& bIsAnonym, ObjectRef frmIn,
                               Long lSeconds);
    Ret<bool> SetIEProxy(std::string sProxyIPAndPort);
    Ret<bool> SetOperaProxy(std::string sProxyIPAndPort);
    Ret<bool> SetMozillaProxy(std::string sProxyIPAndPort, std::string sProfileFile);
    Ret<std::string> GetAdFilterProxyFileName();
    Ret<std::string> GetAutoProxyFileName();
    Ret<void> WriteAutoProxyFile(std::string sProxyIPAndPort);
    Ret<void> RefreshIESettings();
    Ret<bool> AskForNewSession(Long lHwndOwner);
    Ret<bool> SetSafeSessionOn(Variant lHwndOwner);
    Ret<bool> SetSafeSessionOff(Long lHwndOwner, bool bAskForNewSession);
    Ret<bool> SetAnonymSessionOn(Long lHwndOwner);
    Ret<bool> SetAnonymSessionOff(Long lHwndOwner, bool bAskForNewSession);
    Ret<void> ShowBrowserBar();
    Ret<void> Werbung(Long lHwnd, std::string sPageToOpen);
    Ret<void> ShowProxyOptionen();
    Ret<std::string> GetIPAddress(std::string sHostName);
    Ret<std::string> GetIPHostName();
    Ret<std::string> GetIPAdress();
    Ret<std::string> HostByAddr(std::string addr);
    Ret<std::string> HostByName(std::string& na, Integer* adapter);
    Ret<std::string> MyHostName();
    Ret<bool> SocketsInitialize();
    Ret<void> SocketsCleanup();
    Ret<void> xSocketsInitialize();
    Ret<void> xSocketsCleanup();
    Ret<void> ShowInfo();

    // Processes and windows.
    Ret<Long> ShellAndWait(std::string& CmdLine, VbAppWinStyle& xWindowStyle, Long lWaitNSeconds);
    Ret<bool> CloseTask(std::string sTaskName);
    Ret<bool> IEIsActive(Long lHwndOwner, bool* bBringIEToTop);
    Ret<std::string> GetWindowTitle(Long hwnd);
    Ret<Long> EnumChildProc(Long hwnd, Long lParam);
    Ret<void> CloseAllIESessions();
    Ret<void> CloseDRUBEX();
    Ret<void> StartKXMonitor();
    Ret<void> CloseKXMonitor();
    Ret<Long> GetKXMonitorHandle();
    Ret<void> StartThePopupKiller();
    Ret<void> StartKXPopupKiller(std::string sCommandLine);
    Ret<void> CloseKXPopupKiller();
    Ret<Long> GetKXPopupKillerHandle();
    Ret<void> ShowOptionenPopupBlocker();

    // Progress and status.
    Ret<void> ProgessShow();
    Ret<void> Status(std::string sInfoString);
    Ret<void> ProgressMin(Integer iValue);
    Ret<void> ProgressMax(Integer iValue);
    Ret<void> ProgressValue(Integer iValue);
    Ret<void> ProgressClose(Integer iValue);
    Ret<void> UnloadProgess();
    Ret<bool> IsProgressVisible();
    Ret<ObjectRef> GetProgressBar();

    // Track cleaning, secure deletion and statistics.
    Ret<Variant> KXStart();
    Ret<Variant> KXDelete();
    Ret<void> KXStatistics(Long lnFiles, double dblMB);
    Ret<double> KXDeleteTheFile(std::string sFileName, bool bSecurityMode, bool bEncryptIt,
                                Integer iDeleteN, Byte yDeleteChar, bool bDeleteIt);

    // Dialer protection.
    Ret<void> KXCheckForDialer();
    Ret<bool> RASConnect(Long hwnd, std::optional<std::string> DFUEName,
                         std::optional<bool> AutoStart);

    // Anonymous e-mail and form filling.
    Ret<void> ShowAnoMail();
    Ret<bool> KXFillWebForm(ObjectRef wbBrowser, std::string sURL, CollectionRef colFormdata);

    // Safe favourites.
    Ret<void> ShowFavoriten();
    Ret<void> UnloadFavoriten();
    Ret<std::string> KXPasswordSet();
    Ret<std::string> KXPasswordGet();

    // File encryption.
    Ret<void> KXCryptFiles(enumCryptIt eWhat);
    Ret<void> KXCriptFolders(enumCryptIt eWhat);

    // Utilities.
    Ret<std::string> AddBackslash(std::string sFile);
    Ret<bool> CBoolEx(Variant vValue);
    Ret<Byte> hibyte(Integer wParam);
    Ret<Byte> lobyte(Integer wParam);
    Ret<bool> IsIDE();
    Ret<Variant> Selex();
    Ret<void> ChangeTabControl(ObjectRef& tsTabControl, Integer iKeycode, Integer iShift);
    Ret<void> FormOnTop(Long hwnd, bool OnTop);
    Ret<void> FormMaximize(ObjectRef& f);
    Ret<void> BackColor98(ObjectRef fIn);
    Ret<std::string> ShowOpenDlg(Long& lHwndOwner, std::string& strFilter, std::string& strTitel,
                                 std::string& strInitDir);
    Ret<std::string> ShowSaveDlg(Long& lHwndOwner, std::string& strFilter, std::string& strTitel,
                                 std::string& strInitDir);
    Ret<std::string> BrowseFolder(Long hwndOwner, std::string sTitel, Long piRoot);
    Ret<void> Help(Long lHwnd);
    Ret<void> Homepage();
};

}  // namespace kx
