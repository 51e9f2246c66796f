#pragma once
// The engine's directory scanner: collects every file below a folder as full
// Windows paths, then answers index and wildcard look-ups over that list.
// The cleaners build their lists of candidates with it.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kx::fsys {

class DirScanner {
  public:
    /// Forgets every collected path.
    void Clear();

    /// The highest valid index, -1 when the list is empty.
    std::int32_t UpperIndex() const;

    /// The first index at or after `startIndex` (a negative start counts as
    /// 0) whose file name, the part after the last "\", matches `pattern`
    /// with the `Like` rules, without regard to case. -1 when none does or
    /// the pattern is invalid.
    std::int32_t FindNext(std::string_view pattern, std::int32_t startIndex) const;

    /// The path at `index`; "" out of range.
    std::string Item(std::int32_t index) const;

    /// Appends every file below `windowsRoot`, at all levels, as the root (as
    /// given, without trailing "\") + "\" + the path below it in its on-disk
    /// spelling. Links to files are listed as files (deleting one removes
    /// the link only); linked folders are neither listed nor entered, and
    /// folders that cannot be read are skipped. A root that is missing,
    /// unreadable or not on a known drive adds nothing. Answers the number
    /// of paths added. Uses the thread's current machine; never throws.
    std::int32_t Scan(std::string_view windowsRoot);

    /// The walk of Scan without keeping the paths: each goes to `each`, in
    /// the order Scan would list it, and the list stays as it was. For a
    /// caller that takes every path once, so a tree of a million files never
    /// sits in memory twice. The view is valid during the call only. Answers
    /// the number of paths handed over.
    std::int32_t ScanEach(std::string_view windowsRoot,
                          const std::function<void(std::string_view path)>& each) const;

    /// Also list links to folders (still never entered), for a cleaner that
    /// removes what it finds: a link is then removed as the link it is.
    /// Off by default, as callers that read or rewrite what they list must
    /// not be handed a way out of the tree.
    bool listFolderLinks = false;

  private:
    std::string_view folderOf(std::size_t index) const;
    std::string_view nameOf(std::size_t index) const;
    void add(std::string_view path);
    void dropUnfinished();

    // A path is kept as its folder (with the trailing "\"), stored once for
    // the files of that folder listed one after another, and its name. The
    // texts lie one after another in one buffer each, with where each ends:
    // a tree of many files costs about their names' characters, and
    // FindNext reads the names alone.
    std::string folders_;
    std::vector<std::size_t> folderEnds_;
    std::string names_;
    std::vector<std::size_t> nameEnds_;
    std::vector<std::uint32_t> folderIndex_;  // per path, into folderEnds_
};

}  // namespace kx::fsys
