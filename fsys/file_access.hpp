#pragma once
// The engine's file and registry access component: the few file calls the
// cleaners make, key deletion, emptying Internet Explorer's history and cache,
// and IE's per-connection proxy settings. Every call works on the thread's
// current machine and suppresses errors: a failing call answers false, 0 or
// "" and never throws.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/machine/machine.hpp"
#include "platform/registry/registry.hpp"

namespace kx::fsys {

/// True for a folder no cleaner may empty or clear out: one that does not
/// resolve, a drive's root, the profile, the documents, the desktop, the
/// Windows or program folder, or a folder above one of them. Folders taken
/// from the registry are anyone's to edit, so each is checked before use.
bool isProtectedFolder(std::string_view folder);

/// FileAccess::Delete on the given machine: for callers handed their machine.
bool deleteFile(platform::Machine& machine, std::string_view path);

class FileAccess {
  public:
    /// The standard open-file dialog. `filter` is "description|pattern|..." or
    /// a bare pattern such as "*.*". Answers "" on cancel, the full path of one
    /// chosen file, or for several (OFN_ALLOWMULTISELECT) the folder followed
    /// by the file names, all joined by ";".
    std::string ShowOpen(std::int32_t owner, std::string_view filter, std::int32_t filterIndex,
                         std::string_view initialDir, std::string_view defaultExt,
                         std::string_view fileName, std::string_view title, std::int32_t flags);
    /// True when a file, folder or link (even a dangling one) is there.
    bool Exists(std::string_view path);

    /// Size in bytes (as a double, so files past 2 GB fit); 0 on failure.
    double Size(std::string_view path);

    /// The whole content, bytes as they are; "" on failure.
    std::string ReadText(std::string_view path);

    /// Replaces the whole content (creating the file), writing into the
    /// existing file's own blocks and flushing them. Refuses links, folders,
    /// FIFOs, devices, hard-linked and read-only files.
    bool WriteText(std::string_view path, std::string_view text);

    /// Deletes a file or link (never a link's target). A read-only file loses
    /// the attribute first, as a cleaner must be able to remove it; a file
    /// with other hard links only loses this name, its mode and attributes
    /// untouched. False for folders and for files that are not there.
    bool Delete(std::string_view path);

    /// Deletes a key and everything below it, all or nothing. Answers the
    /// Win32 status: 0 done, 2 no such key, 5 access denied, 87 for an empty
    /// path (a root itself is never deleted), 6 with no machine bound.
    std::int32_t DeleteRegKey(platform::HKEY root, std::string_view keyPath);

    /// Empties the folder of the Shell Folders "History" value, keeping the
    /// folder. Links inside are removed as links; nothing outside is touched.
    /// A value naming a drive's root, the profile, the documents, the desktop,
    /// the Windows or program folder (or a folder above one of them) is
    /// refused: the registry is anyone's to edit.
    void ClearIEHistory();

    /// The same for the "Cache" folder; true when it was emptied completely.
    bool ClearIECache();

    /// Internet Explorer's per-connection settings, kept where IE keeps them:
    /// the binary value under HKCU\...\Internet Settings\Connections named
    /// "DefaultConnectionSettings" for the LAN (an empty connection name) and
    /// after the dial-up entry otherwise. `flags` are the blob's flag bits
    /// (1 direct, 2 proxy, 4 auto-config URL, 8 auto-detect) and replace the
    /// stored ones on a set. A set keeps the rest of the blob (the other
    /// texts and the trailing data) as it was and counts the change; a blob
    /// that cannot be read is replaced by a fresh one.
    void SetAutoConfigURL(const std::string& url, const std::string& connectionName,
                          std::int32_t flags);
    /// Sets the proxy server text ("host:port" or "http=host:port;...").
    void SetProxyValue(const std::string& value, const std::string& connectionName,
                       std::int32_t flags);
    /// Missing or unreadable settings answer "" and flags 0.
    void GetAutoConfigURL(const std::string& connectionName, std::string& url, std::int32_t& flags);
    void GetProxyValue(const std::string& connectionName, std::string& value, std::int32_t& flags);
};

}  // namespace kx::fsys
