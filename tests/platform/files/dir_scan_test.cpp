// The tree walk under the cleaners: it must see every file, and nothing
// outside the tree it was given.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <sys/stat.h>

#include "platform/files/dir_scan.hpp"
#include "support/temp_machine.hpp"
#include "support/unprivileged.hpp"

namespace kx::platform {
namespace {

namespace fs = std::filesystem;
using kx::test::TempMachine;

struct Seen {
    std::set<std::string> files, links, folderLinks, folders, others;
};

Seen collect(const fs::path& root, ScanStats* stats = nullptr, ScanOptions options = {}) {
    Seen seen;
    options.reportFolders = true;
    auto result = scanTree(
        root,
        [&](std::string_view rel, EntryKind kind) {
            // In the order of EntryKind.
            std::set<std::string>* const into[] = {&seen.files, &seen.folders, &seen.links,
                                                   &seen.folderLinks, &seen.others};
            const auto at = static_cast<std::size_t>(kind);
            ASSERT_LT(at, std::size(into));
            into[at]->insert(std::string(rel));
        },
        options);
    EXPECT_TRUE(result) << (result ? "" : result.error().message);
    if (stats && result)
        *stats = *result;
    return seen;
}

TEST(ScanTree, ListsEveryLevelAndDoesNotEnterLinkedFolders) {
    TempMachine tm;
    const fs::path root = tm.root() / "tree";
    const fs::path outside = tm.root() / "outside";
    tm.writeHostFile(outside / "secret.txt", "s");
    tm.writeHostFile(outside / "deeper/secret2.txt", "s");
    tm.writeHostFile(root / "a.txt", "1");
    tm.writeHostFile(root / "Sub/b.txt", "2");
    tm.writeHostFile(root / "Sub/Deep/c.txt", "3");
    fs::create_directories(root / "Empty");
    fs::create_directory_symlink(outside, root / "Sub/to-outside");
    fs::create_symlink(outside / "secret.txt", root / "Sub/file-link");
    fs::create_symlink(root / "gone", root / "dangling");
    ASSERT_EQ(::mkfifo((root / "pipe").c_str(), 0644), 0);

    ScanStats stats;
    const Seen seen = collect(root, &stats);
    EXPECT_EQ(seen.files, (std::set<std::string>{"a.txt", "Sub/b.txt", "Sub/Deep/c.txt"}));
    EXPECT_EQ(seen.links, (std::set<std::string>{"Sub/file-link", "dangling"}));
    EXPECT_EQ(seen.folderLinks, (std::set<std::string>{"Sub/to-outside"}));
    EXPECT_EQ(seen.folders, (std::set<std::string>{"Sub", "Sub/Deep", "Empty"}));
    EXPECT_EQ(seen.others, (std::set<std::string>{"pipe"}));
    EXPECT_EQ(stats.files, 3u);
    EXPECT_EQ(stats.folders, 3u);
    EXPECT_EQ(stats.skippedFolders, 0u);
}

TEST(ScanTree, BackslashSeparatorLeavesOutNamesThatHoldOne) {
    TempMachine tm;
    const fs::path root = tm.root() / "tree";
    tm.writeHostFile(root / "dir/ok.txt", "1");
    tm.writeHostFile(root / "dir/evil\\..\\name.txt", "2");  // one Linux name
    tm.writeHostFile(root / "a\\b/inside.txt", "3");         // a folder named "a\b"
    ScanStats stats;
    ScanOptions options;
    options.separator = '\\';
    const Seen seen = collect(root, &stats, options);
    EXPECT_EQ(seen.files, (std::set<std::string>{"dir\\ok.txt"}));
    EXPECT_EQ(stats.unaddressable, 2u);

    // A root that is missing or on no drive is an error.
    auto r = scanTree(tm.root() / "nothing", [](std::string_view, EntryKind) {});
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().code, FileError::PathNotFound);
    EXPECT_FALSE(scanWindowsTree(tm.machine(), "Q:\\", [](std::string_view, EntryKind) {}));
}

TEST(ScanTree, DeepTreesNeedNoDescriptorPerLevel) {
    // 150 levels, each with sibling folders still waiting while the walk is
    // deeper down: more folders on the path than the walk keeps open, so
    // closed ones must be reopened on the way back up.
    TempMachine tm;
    const fs::path root = tm.root() / "deep";
    fs::path level = root;
    std::set<std::string> expected;
    std::string rel;
    for (int i = 0; i < 150; ++i) {
        for (int s = 0; s < 4; ++s) {
            const std::string name = "s" + std::to_string(s);
            tm.writeHostFile(level / name / "f.txt", "x");
            expected.insert(rel + name + "/f.txt");
        }
        level /= "next";
        rel += "next/";
    }
    tm.writeHostFile(level / "bottom.txt", "x");
    expected.insert(rel + "bottom.txt");
    ScanStats stats;
    const Seen seen = collect(root, &stats);
    EXPECT_EQ(seen.files, expected);
    EXPECT_EQ(stats.skippedFolders, 0u);
}

TEST(ScanTree, FoldersListedInSeveralReadsComeWhole) {
    // Long names, so that the root and a subfolder each take more than one
    // read of the listing; every file must come, and once.
    TempMachine tm;
    const fs::path root = tm.root() / "wide";
    std::set<std::string> expected;
    for (const std::string folder : {"", "Sub/"}) {
        for (int i = 0; i < 1300; ++i) {
            const std::string name = folder + std::string(200, 'n') + std::to_string(i);
            tm.writeHostFile(root / name, "x");
            expected.insert(name);
        }
    }
    ScanStats stats;
    const Seen seen = collect(root, &stats);
    EXPECT_EQ(stats.files, expected.size());
    EXPECT_TRUE(seen.files == expected);  // thousands of long names: no listing
}

TEST(ScanTree, UnreadableFoldersAreSkippedAndCounted) {
    TempMachine tm;
    const fs::path root = tm.root() / "tree";
    tm.writeHostFile(root / "open/a.txt", "1");
    tm.writeHostFile(root / "locked/hidden.txt", "2");
    tm.writeHostFile(root / "z.txt", "3");
    kx::test::openUpForOthers(tm.root());
    fs::permissions(root / "locked", fs::perms::none);

    const auto run = kx::test::runUnprivileged(tm.root(), [&] {
        std::string out;
        auto stats =
            scanTree(root, [&](std::string_view rel, EntryKind) { out += std::string(rel) + ";"; });
        if (!stats)
            return "error:" + stats.error().message;
        return out + "skipped=" + std::to_string(stats->skippedFolders);
    });
    if (!run.ran)
        GTEST_SKIP() << "cannot run without the right to read every folder: " << run.skipReason;
    EXPECT_NE(run.output.find("open/a.txt;"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("z.txt;"), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("hidden"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("skipped=1"), std::string::npos) << run.output;
}

TEST(ScanTree, SideBySideWalksKeepTheOrderOfOneWalker) {
    // Subfolders of unequal size, so helpers finish out of turn; a link and a
    // file at the top, a subfolder link further down.
    TempMachine tm;
    const fs::path root = tm.root() / "tree";
    tm.writeHostFile(root / "top.txt", "x");
    for (int t = 0; t < 12; ++t) {
        const fs::path top = root / ("t" + std::to_string(t));
        for (int s = 0; s < t * 3; ++s) tm.writeHostFile(top / std::to_string(s) / "f.txt", "x");
        tm.writeHostFile(top / "g.txt", "x");
    }
    fs::create_directory_symlink(root / "t1", root / "t5/back");
    fs::create_symlink(root / "top.txt", root / "top-link");

    const auto walk = [&](unsigned threads, std::size_t throwAt, std::size_t keptBytes = 1 << 20) {
        std::vector<std::string> seen;
        ScanOptions options;
        options.reportFolders = true;
        options.threads = threads;
        options.keptBytes = keptBytes;
        auto stats = scanTree(
            root,
            [&](std::string_view rel, EntryKind kind) {
                if (seen.size() == throwAt)
                    throw std::runtime_error("full");
                seen.push_back(std::to_string(static_cast<int>(kind)) + std::string(rel));
            },
            options);
        EXPECT_TRUE(stats);
        return std::pair(seen, stats ? stats->files + 1000 * stats->folders : 0);
    };
    const auto one = walk(1, SIZE_MAX);
    // top.txt, 12 folders with a g.txt each, 198 folders with an f.txt each, 2 links
    EXPECT_EQ(one.first.size(), 1 + 12 * 2 + 198 * 2 + 2u);
    for (const unsigned threads : {2U, 4U}) {
        SCOPED_TRACE(threads);
        EXPECT_EQ(walk(threads, SIZE_MAX), one);
        // Helpers that may keep next to nothing wait for the caller after each folder.
        EXPECT_EQ(walk(threads, SIZE_MAX, 1), one);
        // What the callback throws ends the walk and reaches the caller.
        for (const std::size_t at : {std::size_t{0}, std::size_t{40}, one.first.size() - 1})
            EXPECT_THROW(walk(threads, at), std::runtime_error);
    }
}

}  // namespace
}  // namespace kx::platform
