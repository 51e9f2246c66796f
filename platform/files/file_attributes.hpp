#pragma once
// What the file calls share inside this folder: looking at a machine path
// and the Windows attribute bits kept beside the files.
#include <sys/stat.h>

#include <cstdint>
#include <expected>
#include <filesystem>
#include <string_view>

#include "platform/files/files.hpp"

namespace kx::platform::files::detail {

/// Missing file in an existing folder is "file not found"; a missing folder
/// on the way is "path not found", as Windows tells them apart.
Error notFound(const std::filesystem::path& host, std::string_view path);

/// A machine path's host path and what the file system says of it (of the
/// link itself unless `followLinks`).
struct HostStat {
    std::filesystem::path host;
    struct stat st {};
};
std::expected<HostStat, Error> statOf(Machine& machine, std::string_view path, bool followLinks);

/// The Windows attributes of what statOf(..., false) looked at.
std::uint32_t attributesOf(Machine& machine, const HostStat& entry);
/// True when attribute bits may be kept in the side table (it exists, or
/// tests force it); without it, bits go with their inode.
bool sideTableInUse(Machine& machine);
/// Forgets bits kept for an inode that is going away (or was just reused), so
/// the side table does not hand them to an unrelated file later.
void forgetBits(Machine& machine, const struct stat& st);

}  // namespace kx::platform::files::detail
