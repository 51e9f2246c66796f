#include "fsys/dir_scanner.hpp"

#include <exception>
#include <limits>

#include "platform/files/dir_scan.hpp"
#include "platform/machine/machine.hpp"
#include "platform/runtime/wildcard.hpp"

namespace kx::fsys {

namespace {

// The text at `index` of a buffer of texts laid one after another.
std::string_view piece(const std::string& chars, const std::vector<std::size_t>& ends,
                       std::size_t index) {
    const std::size_t begin = index == 0 ? 0 : ends[index - 1];
    return std::string_view(chars).substr(begin, ends[index] - begin);
}

}  // namespace

void DirScanner::Clear() {
    folders_.clear();
    folderEnds_.clear();
    names_.clear();
    nameEnds_.clear();
    folderIndex_.clear();
}

std::int32_t DirScanner::UpperIndex() const {
    return static_cast<std::int32_t>(nameEnds_.size()) - 1;
}

std::string_view DirScanner::folderOf(std::size_t index) const {
    return piece(folders_, folderEnds_, folderIndex_[index]);
}

std::string_view DirScanner::nameOf(std::size_t index) const {
    return piece(names_, nameEnds_, index);
}

std::int32_t DirScanner::FindNext(std::string_view pattern, std::int32_t startIndex) const {
    // Compiled once with case folding built in: no lower-cased copy per item.
    const auto compiled = platform::LikePattern::compile(pattern, /*foldCase=*/true);
    if (!compiled)
        return -1;
    for (std::size_t i = startIndex < 0 ? 0 : static_cast<std::size_t>(startIndex);
         i < nameEnds_.size(); ++i) {
        if (compiled->matches(nameOf(i)))
            return static_cast<std::int32_t>(i);
    }
    return -1;
}

std::string DirScanner::Item(std::int32_t index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= nameEnds_.size())
        return {};
    const auto i = static_cast<std::size_t>(index);
    std::string path(folderOf(i));
    path.append(nameOf(i));
    return path;
}

// Every path the walk hands over holds a "\": the root's own comes first.
void DirScanner::add(std::string_view path) {
    const std::size_t cut = path.rfind('\\') + 1;
    const std::string_view folder = path.substr(0, cut);
    if (folderEnds_.empty() || piece(folders_, folderEnds_, folderEnds_.size() - 1) != folder) {
        folders_.append(folder);
        folderEnds_.push_back(folders_.size());
    }
    names_.append(path.substr(cut));
    folderIndex_.push_back(static_cast<std::uint32_t>(folderEnds_.size() - 1));
    nameEnds_.push_back(names_.size());
}

// After running out of memory half way through add: what the last complete
// path did not finish is cut off again.
void DirScanner::dropUnfinished() {
    folders_.resize(folderEnds_.empty() ? 0 : folderEnds_.back());
    names_.resize(nameEnds_.empty() ? 0 : nameEnds_.back());
    folderIndex_.resize(nameEnds_.size());
}

std::int32_t DirScanner::Scan(std::string_view windowsRoot) {
    const std::size_t before = nameEnds_.size();
    try {
        (void)ScanEach(windowsRoot, [this](std::string_view path) {
            // Indices are 32-bit; more could not be addressed.
            if (nameEnds_.size() <
                static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
                add(path);
        });
    } catch (const std::exception&) {
        // Out of memory: the paths found so far stay listed, and the count
        // says how many those are.
        dropUnfinished();
    }
    return static_cast<std::int32_t>(nameEnds_.size() - before);
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
