// Links out of the places the commands outside a cleaning run read or
// write: the folder encryption and decryption, the shredder in its three
// modes, the cipher's output file and the favourites import. Every kind of
// link is planted, and once the folder itself links out; nothing outside
// may change (bytes, mode, attributes, names) and no link counts as a file
// the command did its work on.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "settings/locations.hpp"
#include "support/host_run.hpp"
#include "support/outside_files.hpp"
#include "support/temp_machine.hpp"

namespace kx::test {
namespace {

namespace fs = std::filesystem;

constexpr int kCsidlFavorites = 6;

enum class Command { Encrypt, Decrypt, Shred, ShredGutmann, ShredEncrypt, CipherOutput, Import };

struct Row {
    std::string place;
    Command command;
    bool folderIsLink = false;
};

void PrintTo(const Row& row, std::ostream* out) {
    *out << row.place << (row.folderIsLink ? ", linked folder" : "");
}

std::size_t occurrences(const std::string& text, std::string_view word) {
    std::size_t n = 0;
    for (auto at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) ++n;
    return n;
}

class OutsideLinks : public ::testing::TestWithParam<Row> {
  protected:
    // Quiet, but for the commands whose summary is looked at.
    HostRun kolvanex(std::vector<std::string> args, bool quiet = true) {
        if (quiet)
            args.insert(args.begin(), {"--quiet"});
        auto run = runKolvanex(tm.prefix(), args, tm.root());
        all += run.out + run.err;
        return run;
    }
    std::vector<std::string> withKey(std::vector<std::string> args) {
        args.insert(args.end(), {"--key-file", keyFile.string()});
        return args;
    }

    TempMachine tm;
    OutsideFiles outside{tm};
    fs::path keyFile = tm.root() / "schluessel";
    std::string all;  // everything the commands printed
};

TEST_P(OutsideLinks, NothingOutsideChangesAndNoLinkCounts) {
    const Row& row = GetParam();
    tm.writeHostFile(keyFile, "geheim\n");
    const bool importing = row.command == Command::Import;
    const std::string folder =
        importing ? settings::VBGetSpecialFolder(kCsidlFavorites) : std::string("C:\\Daten");
    const std::string suffix = importing ? ".url" : ".txt";
    // A file of the folder's own, which the command does its work on.
    const std::string own = folder + "\\eigen" + suffix;
    const fs::path ownHost = tm.host(own);
    tm.writeHostFile(ownHost, "[DEFAULT]\r\nBASEURL=http://eigen.example/\r\n");
    if (row.command == Command::Decrypt) {
        ASSERT_EQ(kolvanex(withKey({"encrypt", own})).exitCode, 0) << all;
    }
    tm.writeHostFile(tm.host("C:\\eigen.txt"), "zum Verschluesseln");

    std::vector<std::string> links;
    if (row.folderIsLink) {
        outside.linkFolder(tm.host(folder));
        links = {folder, folder + "\\drin.txt"};
    } else {
        for (const auto kind : kEveryPlant) {
            links.push_back(folder + "\\" + std::string(plantName(kind)) + suffix);
            outside.plant(tm.host(links.back()), kind);
        }
    }
    const auto before = outside.look();

    switch (row.command) {
        case Command::Encrypt:
        case Command::Decrypt: {
            const bool encrypt = row.command == Command::Encrypt;
            const auto run =
                kolvanex(withKey({encrypt ? "encrypt" : "decrypt", "--folder", folder}));
            if (!row.folderIsLink) {
                // Its own file is done; every link the folder lists (links
                // to folders are not listed) is left as it is, not done.
                EXPECT_EQ(TempMachine::readHostFile(ownHost).starts_with("[DEFAULT]"), !encrypt);
                EXPECT_NE(run.err.find("kolvanex: 5 Datei(en) unverändert geblieben"),
                          std::string::npos)
                    << all;
            }
            break;
        }
        case Command::Shred:
        case Command::ShredGutmann:
        case Command::ShredEncrypt: {
            std::vector<std::string> args = {"shred"};
            if (row.command == Command::ShredGutmann)
                args.push_back("--gutmann");
            if (row.command == Command::ShredEncrypt)
                args.push_back("--encrypt");
            args.insert(args.end(), links.begin(), links.end());
            const auto run = kolvanex(args, false);
            EXPECT_NE(run.out.find(", 0 Bytes freigegeben"), std::string::npos) << all;
            break;
        }
        case Command::CipherOutput:
            for (const auto& link : links)
                (void)kolvanex(withKey({"cipher", "encrypt", "C:\\eigen.txt", link}));
            break;
        case Command::Import: {
            (void)kolvanex(withKey({"favourites", "import"}));
            const auto list = kolvanex(withKey({"favourites", "list"})).out;
            // Only its own shortcut and the hard-linked ones, files of the
            // folder like any other, are read; nothing is read through a
            // symbolic link.
            EXPECT_EQ(occurrences(list, "http://eigen.example/"), row.folderIsLink ? 0u : 1u)
                << list;
            EXPECT_EQ(occurrences(list, "http://draussen.example/"), row.folderIsLink ? 0u : 2u)
                << list;
            for (const auto kind : {Plant::FileLink, Plant::Dangling, Plant::SelfLoop}) {
                EXPECT_EQ(list.find(plantName(kind)), std::string::npos) << list;
            }
            break;
        }
    }
    EXPECT_EQ(outside.look(), before) << all;
}

INSTANTIATE_TEST_SUITE_P(EveryCommand, OutsideLinks,
                         ::testing::ValuesIn(std::vector<Row>{
                             {"encrypt", Command::Encrypt},
                             {"encrypt", Command::Encrypt, true},
                             {"decrypt", Command::Decrypt},
                             {"decrypt", Command::Decrypt, true},
                             {"shred", Command::Shred},
                             {"shred", Command::Shred, true},
                             {"shred Gutmann", Command::ShredGutmann},
                             {"shred encrypted", Command::ShredEncrypt},
                             {"cipher output", Command::CipherOutput},
                             {"cipher output", Command::CipherOutput, true},
                             {"favourites import", Command::Import},
                             {"favourites import", Command::Import, true},
                         }),
                         [](const ::testing::TestParamInfo<Row>& row) {
                             std::string name =
                                 row.param.place + (row.param.folderIsLink ? "_linked_folder" : "");
                             std::ranges::replace(name, ' ', '_');
                             return name;
                         });

}  // namespace
}  // namespace kx::test
