#include "fsys/dir_scanner.hpp"

#include <exception>
#include <limits>

#include "platform/files/dir_scan.hpp"
#include "platform/machine/machine.hpp"
#include "platform/runtime/wildcard.hpp"

namespace kx::fsys {

void DirScanner::Clear() {
    chars_.clear();
    ends_.clear();
}

std::int32_t DirScanner::UpperIndex() const {
    return static_cast<std::int32_t>(ends_.size()) - 1;
}

std::string_view DirScanner::at(std::size_t index) const {
    const std::size_t begin = index == 0 ? 0 : ends_[index - 1];
    return std::string_view(chars_).substr(begin, ends_[index] - begin);
}

std::int32_t DirScanner::FindNext(std::string_view pattern, std::int32_t startIndex) const {
    // Compiled once with case folding built in: no lower-cased copy per item.
    const auto compiled = platform::LikePattern::compile(pattern, /*foldCase=*/true);
    if (!compiled)
        return -1;
    for (std::size_t i = startIndex < 0 ? 0 : static_cast<std::size_t>(startIndex);
         i < ends_.size(); ++i) {
        std::string_view name = at(i);
        if (const auto slash = name.rfind('\\'); slash != std::string_view::npos) {
            name.remove_prefix(slash + 1);
        }
        if (compiled->matches(name))
            return static_cast<std::int32_t>(i);
    }
    return -1;
}

std::string DirScanner::Item(std::int32_t index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= ends_.size())
        return {};
    return std::string(at(static_cast<std::size_t>(index)));
}

std::int32_t DirScanner::Scan(std::string_view windowsRoot) {
    const std::size_t before = ends_.size();
    try {
        (void)ScanEach(windowsRoot, [this](std::string_view path) {
            if (ends_.size() < static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
                // Indices are 32-bit; more could not be addressed.
                chars_.append(path);
                ends_.push_back(chars_.size());
            }
        });
    } catch (const std::exception&) {
        // Out of memory: the paths found so far stay listed, and the count
        // says how many those are. A path half appended is cut off again.
        chars_.resize(ends_.empty() ? 0 : ends_.back());
    }
    return static_cast<std::int32_t>(ends_.size() - before);
}

std::int32_t DirScanner::ScanEach(std::string_view windowsRoot,
                                  const std::function<void(std::string_view path)>& each) const {
    std::string_view base = windowsRoot;
    while (!base.empty() && (base.back() == '\\' || base.back() == '/')) base.remove_suffix(1);
    // An empty root must not become "\" + name: that would be no drive at
    // all. Without a machine bound there is nothing to walk.
    if (base.empty() || !platform::hasCurrentMachine())
        return 0;

    platform::ScanOptions options;
    options.separator = '\\';
    std::string path(base);
    path.push_back('\\');
    const std::size_t baseLen = path.size();
    std::int32_t count = 0;
    // What `each` throws reaches the caller.
    (void)platform::scanWindowsTree(
        platform::currentMachine(), windowsRoot,
        [&](std::string_view rel, platform::EntryKind kind) {
            if (kind != platform::EntryKind::File && kind != platform::EntryKind::Link &&
                !(listFolderLinks && kind == platform::EntryKind::FolderLink))
                return;
            if (count == std::numeric_limits<std::int32_t>::max())
                return;
            path.resize(baseLen);
            path.append(rel);
            ++count;
            each(path);
        },
        options);
    return count;
}

}  // namespace kx::fsys
