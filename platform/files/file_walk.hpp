#pragma once
// The walk every file operation of the platform layer starts with: from the
// drive's root, one component at a time, never following a link, to the
// folder that holds the named entry. Internal to platform/.
#include <sys/stat.h>

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>

#include "platform/files/files.hpp"
#include "platform/files/fs_fd.hpp"
#include "platform/machine/machine.hpp"
#include "platform/runtime/translation.hpp"

namespace kx::platform::walk {

/// The messages the file operations share, in German and translated where
/// they are made: "{1}" is the path, "{2}" the system's reason (fromErrno).
inline constexpr std::string_view kCannotLookAt = trMark("kann \"{1}\" nicht abfragen: {2}");
inline constexpr std::string_view kCannotOpen = trMark("kann \"{1}\" nicht öffnen: {2}");
inline constexpr std::string_view kCannotRead = trMark("kann \"{1}\" nicht lesen: {2}");
inline constexpr std::string_view kCannotWrite = trMark("kann \"{1}\" nicht schreiben: {2}");
inline constexpr std::string_view kCannotFlush =
    trMark("kann \"{1}\" nicht auf den Datenträger schreiben: {2}");
inline constexpr std::string_view kCannotMove = trMark("kann \"{1}\" nicht verschieben: {2}");
inline constexpr std::string_view kCannotDelete = trMark("kann \"{1}\" nicht löschen: {2}");
inline constexpr std::string_view kCannotReachDrive =
    trMark("kann das Laufwerk von \"{1}\" nicht erreichen: {2}");
/// The same with the path alone, filled with trf.
inline constexpr std::string_view kFileNotFound = trMark("Datei nicht gefunden: \"{1}\"");
inline constexpr std::string_view kIsFolder = trMark("\"{1}\" ist ein Ordner");
inline constexpr std::string_view kIsReadOnly = trMark("\"{1}\" ist schreibgeschützt");
inline constexpr std::string_view kChangedWhileOpened =
    trMark("\"{1}\" hat sich beim Öffnen geändert");
inline constexpr std::string_view kRefusedLink =
    trMark("abgelehnt: \"{1}\" ist eine symbolische Verknüpfung");
inline constexpr std::string_view kRefusedNotRegular =
    trMark("abgelehnt: \"{1}\" ist keine gewöhnliche Datei");
inline constexpr std::string_view kRefusedThroughLink =
    trMark("abgelehnt: der Weg zu \"{1}\" führt über eine symbolische Verknüpfung");

Error fail(std::uint32_t code, std::string message);
/// The failure `text` (German, "{1}" the path) in the user's language.
Error fail(std::uint32_t code, std::string_view text, std::string_view path);
/// The Windows code of an errno, with `text` in the user's language: a
/// message whose "{1}" is the path and "{2}" the system's reason.
Error fromErrno(int err, std::string_view text, std::string_view path);
EntryKind kindOf(mode_t mode);
/// Read-only as the mode bits say (root's writes ignore them, so callers check).
bool isReadOnlyFile(const struct stat& st);
/// Refuses, before any byte is written, what a content write must never
/// touch: links, folders, FIFOs, sockets, devices, hard-linked and read-only files.
std::expected<void, Error> refuseUnsafe(const struct stat& st, std::string_view path);

/// Opens the drive's root and the first `count` components as folders
/// (within a FolderMemoScope, the last folder walked to is remembered).
std::expected<fsfd::UniqueFd, Error> walkFolders(const ResolvedPath& parts, std::size_t count,
                                                 std::string_view path);

/// The same walk, always from the drive's root.
std::expected<fsfd::UniqueFd, Error> walkFrom(const ResolvedPath& parts, std::size_t count,
                                              std::string_view path);

/// The folder that holds a path's last component, plus that component's name.
struct Parent {
    fsfd::UniqueFd dir;
    std::string name;
};
std::expected<Parent, Error> openParent(Machine& machine, std::string_view path);

/// The entry a path names, looked at without following a link, with the
/// folder that holds it. `notFound` is the message when it is missing ("{1}"
/// the path).
struct Entry {
    Parent parent;
    struct stat st {};
};
std::expected<Entry, Error> lookAt(Machine& machine, std::string_view path,
                                   std::string_view notFound = kFileNotFound);

}  // namespace kx::platform::walk
