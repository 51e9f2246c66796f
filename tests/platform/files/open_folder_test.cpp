// OpenFolder: a folder's entries looked at, moved and removed by name,
// never through a link, whether the folder comes from a memo or not.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>

#include <sys/stat.h>

#include "platform/files/open_folder.hpp"
#include "support/temp_machine.hpp"

namespace kx::platform {
namespace {

namespace fs = std::filesystem;
using kx::test::TempMachine;

TEST(OpenFolder, LooksMovesAndRemovesEntriesByNameWithoutFollowingLinks) {
    TempMachine tm;
    const fs::path folder = tm.prefix() / "drive_c" / "Ordner";
    const fs::path outside = tm.root() / "draussen";
    fs::create_directories(folder / "Unter");
    tm.writeHostFile(outside / "ziel.txt", "bleibt");
    std::ofstream(folder / "Datei.dat") << "fuenf";
    std::ofstream(folder / "eins.dat") << "h";
    fs::create_hard_link(folder / "eins.dat", folder / "zwei.dat");
    std::ofstream(folder / "fest.dat") << "ro";
    fs::permissions(folder / "fest.dat", fs::perms::owner_read);
    fs::create_directory_symlink(outside, folder / "Weg");
    fs::create_symlink(outside / "ziel.txt", folder / "zu.txt");

    for (const bool memo : {false, true}) {
        SCOPED_TRACE(memo ? "in a memo scope" : "without a memo");
        std::optional<FolderMemoScope> scope;
        if (memo)
            scope.emplace();
        auto open = OpenFolder::open(tm.machine(), "C:\\ordner");
        ASSERT_TRUE(open) << open.error().message;

        struct Row {
            const char* name;
            EntryKind kind;
            std::uint64_t hardLinks;
            bool readOnly;
        };
        for (const Row& row :
             {Row{"Datei.dat", EntryKind::File, 1, false},
              Row{"eins.dat", EntryKind::File, 2, false}, Row{"fest.dat", EntryKind::File, 1, true},
              Row{"Unter", EntryKind::Folder, 2, false},
              Row{"Weg", EntryKind::FolderLink, 1, false},
              Row{"zu.txt", EntryKind::Link, 1, false}}) {
            const auto facts = open->look(row.name);
            ASSERT_TRUE(facts) << row.name;
            EXPECT_EQ(facts->kind, row.kind) << row.name;
            EXPECT_EQ(facts->hardLinks, row.hardLinks) << row.name;
            EXPECT_EQ(facts->readOnly, row.readOnly) << row.name;
        }
        EXPECT_EQ(open->look("Datei.dat")->size, 5u);
        // By the exact spelling only.
        EXPECT_EQ(open->look("datei.dat").error().code, Error::NotFound);
        // A move never replaces an entry.
        EXPECT_EQ(open->rename("eins.dat", "Datei.dat").error().code, Error::AlreadyExists);
        EXPECT_EQ(open->remove("Unter").error().code, Error::AccessDenied);
    }

    auto open = OpenFolder::open(tm.machine(), "C:\\Ordner");
    ASSERT_TRUE(open);
    // Links move and go as links; their targets stay.
    ASSERT_TRUE(open->rename("zu.txt", "$$@$$.del"));
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(folder / "$$@$$.del")));
    ASSERT_TRUE(open->remove("$$@$$.del"));
    ASSERT_TRUE(open->remove("Weg"));
    EXPECT_EQ(TempMachine::readHostFile(outside / "ziel.txt"), "bleibt");
    EXPECT_FALSE(fs::exists(fs::symlink_status(folder / "Weg")));
    // A folder reached through a link is not opened at all.
    fs::create_directory_symlink(outside, folder / "Weg2");
    EXPECT_EQ(OpenFolder::open(tm.machine(), "C:\\Ordner\\Weg2").error().code, Error::AccessDenied);
    EXPECT_EQ(OpenFolder::open(tm.machine(), "C:\\Fehlt").error().code, Error::PathNotFound);
}

}  // namespace
}  // namespace kx::platform
