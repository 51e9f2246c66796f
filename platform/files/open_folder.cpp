#include "platform/files/open_folder.hpp"

#include <cerrno>
#include <string>

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/files/file_attributes.hpp"
#include "platform/files/file_walk.hpp"
#include "platform/files/folder_memo.hpp"
#include "platform/runtime/error.hpp"
#include "platform/runtime/translation.hpp"

namespace kx::platform {

using namespace walk;

std::expected<OpenFolder, Error> OpenFolder::open(Machine& machine,
                                                  std::string_view windowsFolder) {
    FolderMemo* memo = activeFolderMemo();
    std::string key;
    if (memo != nullptr) {
        key = machine.prefix().string();
        key += '\n';
        key += windowsFolder;
        if (memo->open && key == memo->openKey)
            return OpenFolder(machine, memo->open);
    }
    auto parts = machine.resolveParts(windowsFolder);
    KX_PROPAGATE(parts);
    auto dir = walkFrom(*parts, parts->components.size(), windowsFolder);
    KX_PROPAGATE(dir);
    auto handle = std::make_shared<OpenFolderHandle>();
    handle->dir = std::move(*dir);
    handle->sideTable = files::detail::sideTableInUse(machine);
    if (memo != nullptr) {
        memo->openKey = std::move(key);
        memo->open = handle;
    }
    return OpenFolder(machine, std::move(handle));
}

std::expected<EntryFacts, Error> OpenFolder::look(std::string_view name) const {
    const std::string entry = std::string(name);
    const int dir = handle_->dir.get();
    struct stat st {};
    if (::fstatat(dir, entry.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT)
            return std::unexpected(fail(Error::NotFound, kFileNotFound, entry));
        return std::unexpected(fromErrno(errno, kCannotLookAt, entry));
    }
    EntryFacts facts;
    facts.kind = kindOf(st.st_mode);
    if (facts.kind == EntryKind::Link) {
        struct stat target {};
        if (::fstatat(dir, entry.c_str(), &target, 0) == 0 && S_ISDIR(target.st_mode))
            facts.kind = EntryKind::FolderLink;
    }
    facts.size = static_cast<std::uint64_t>(st.st_size);
    facts.hardLinks = static_cast<std::uint64_t>(st.st_nlink);
    facts.readOnly = facts.kind == EntryKind::File && isReadOnlyFile(st);
    return facts;
}

std::expected<void, Error> OpenFolder::rename(std::string_view from, std::string_view to) const {
    const std::string source = std::string(from);
    const std::string target = std::string(to);
    const int dir = handle_->dir.get();
    files::beforeFileChange();
    if (::renameat2(dir, source.c_str(), dir, target.c_str(), RENAME_NOREPLACE) == 0)
        return {};
    if (errno != EINVAL && errno != ENOSYS)
        return std::unexpected(fromErrno(errno, kCannotMove, source));
    // A file system without RENAME_NOREPLACE: look first, as the file
    // layer's rename does.
    struct stat st {};
    if (::fstatat(dir, target.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
        return std::unexpected(
            fail(Error::AlreadyExists, trMark("\"{1}\" existiert bereits"), target));
    if (::renameat(dir, source.c_str(), dir, target.c_str()) != 0)
        return std::unexpected(fromErrno(errno, kCannotMove, source));
    return {};
}

std::expected<void, Error> OpenFolder::remove(std::string_view name) const {
    const std::string entry = std::string(name);
    const int dir = handle_->dir.get();
    // Bits in the side table are keyed by the inode: they are forgotten with
    // its last name. Extended attributes go with the inode by themselves.
    struct stat st {};
    const bool forget = handle_->sideTable &&
                        ::fstatat(dir, entry.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                        S_ISREG(st.st_mode) && st.st_nlink <= 1;
    // Without AT_REMOVEDIR a folder is refused; a link goes, its target stays.
    files::beforeFileChange();
    if (::unlinkat(dir, entry.c_str(), 0) != 0)
        return std::unexpected(fromErrno(errno, kCannotDelete, entry));
    if (forget)
        files::detail::forgetBits(*machine_, st);
    return {};
}

}  // namespace kx::platform
