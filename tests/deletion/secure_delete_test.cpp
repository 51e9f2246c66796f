// The secure deletion routine on a throw-away machine: the rules that leave
// files alone, what the overwrite passes write and when, the scramble before
// them, leftovers of earlier calls, links, failures and their status lines,
// and KXDeleteTheFile with the "Gutmann" setting.
#include "deletion/secure_delete.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "cleaning/run_state.hpp"
#include "core/shared_state.hpp"
#include "facade/kolvanex.hpp"
#include "facade/run_contexts.hpp"
#include "platform/files/files.hpp"
#include "platform/ui/view.hpp"
#include "services/cancel.hpp"
#include "services/progress.hpp"
#include "settings/keys.hpp"
#include "support/temp_machine.hpp"
#include "wipe_recorder.hpp"

namespace kx::deletion {
namespace {

namespace fs = std::filesystem;
namespace pf = kx::platform;
using test::RecordingIo;
using test::TempMachine;

class SecureDeleteTest : public ::testing::Test {
  protected:
    void SetUp() override {
        resetShared();
        cleaning::resetRunState();
        fs::create_directories(dir);
    }
    void TearDown() override {
        unloadProgressWindow();
        resetShared();
    }

    std::string put(const std::string& name, const std::string& content) {
        tm.writeHostFile(dir / name, content);
        return "C:\\Daten\\" + name;
    }
    std::string read(const std::string& name) { return TempMachine::readHostFile(dir / name); }
    bool there(const std::string& name) { return fs::exists(fs::symlink_status(dir / name)); }
    std::vector<std::string> statusLines() {
        std::vector<std::string> out;
        if (auto w = existingProgressWindow())
            for (const auto& item : w->lvLog->items()) out.push_back(item->text);
        return out;
    }
    // The plain mode with the recorder (and the real cipher unless env.scramble is set).
    DeleteResult plain(const std::string& path, bool encrypt, int passes, int value,
                       bool overwrite) {
        return deleteTheFileAs(env, WipeMode::Plain,
                               {path, false, encrypt, static_cast<std::int16_t>(passes),
                                static_cast<std::uint8_t>(value), overwrite});
    }
    // The public class's context for deletions on this thread, writing through the recorder.
    DeletionContext recorded(const DeletionContext& base) {
        DeletionContext context = base;
        context.files = &io;
        return context;
    }

    TempMachine tm;
    pf::ui::ScriptedView view;
    pf::ui::ViewScope viewScope{view};
    const fs::path dir = tm.prefix() / "drive_c" / "Daten";
    RecordingIo io{tm.machine()};
    ThreadDeletion thread;
    DeletionContext env = recorded(thread.context());
};

TEST_F(SecureDeleteTest, IniIndexDatAndTheTemporaryNameAreLeftAloneButNotByGutmann) {
    struct Case {
        const char* name;
        const char* content;
        DeleteOutcome outcome;
        const char* indexFile;
    };
    for (const auto& c : {
             Case{"SYSTEM.INI", "[boot]", DeleteOutcome::KeptIni, ""},
             Case{"Index.dat", "Client UrlCache", DeleteOutcome::DeferredIndexFile,
                  "c:\\daten\\index.dat"},
             Case{"$$@$$.del", "listed by the junk search", DeleteOutcome::Refused, ""},
         }) {
        const auto result = plain(put(c.name, c.content), true, 3, 246, true);
        EXPECT_EQ(result.outcome, c.outcome) << c.name;
        EXPECT_EQ(result.indexFile, c.indexFile) << c.name;
        EXPECT_EQ(result.bytesFreed(), 0.0) << c.name;
        EXPECT_EQ(read(c.name), c.content);
    }
    EXPECT_TRUE(io.opened.empty());
    // The routine leaves recording the index file to its caller; the host's
    // KXDeleteTheFile records it in the thread's run state, outside a run too.
    EXPECT_TRUE(cleaning::runState().deferredIndexFiles.empty());
    CKOLVANEX kolvanex;
    EXPECT_EQ(kolvanex.KXDeleteTheFile("C:\\Daten\\Index.dat", false, false, 3, 246, true).value(),
              0.0);
    EXPECT_EQ(cleaning::runState().deferredIndexFiles,
              std::vector<std::string>{"c:\\daten\\index.dat"});

    // KXDeleteTheFile follows the stored "Gutmann" setting, and in the Gutmann
    // mode no rule of the plain mode applies.
    EXPECT_EQ(kolvanex.KXDeleteTheFile("C:\\Daten\\SYSTEM.INI", false, false, 3, 246, true).value(),
              0.0);
    EXPECT_TRUE(there("SYSTEM.INI"));
    ASSERT_TRUE(settings::write(settings::keys::Gutmann, "1"));
    EXPECT_EQ(kolvanex.KXDeleteTheFile("C:\\Daten\\SYSTEM.INI", false, false, 3, 246, true).value(),
              6.0);
    EXPECT_FALSE(there("SYSTEM.INI"));
}

TEST_F(SecureDeleteTest, ThreePassesOfByte246WriteTheWholeFileUnderTheTemporaryName) {
    const auto path = put("Brief.TXT", "0123456789");
    std::vector<std::string> seen;
    io.afterFill = [&](std::size_t) {
        EXPECT_FALSE(there("Brief.TXT"));  // the name went first
        seen.push_back(read("$$@$$.del"));
    };
    EXPECT_EQ(plain(path, false, 3, 246, true).bytesFreed(), 10.0);
    EXPECT_EQ(seen, std::vector<std::string>(3, std::string(10, '\xF6')));
    for (const auto& f : io.fills()) {
        EXPECT_EQ(f.offset, 0u);
        EXPECT_EQ(f.count, 10u);
    }
    EXPECT_TRUE(test::flushedBeforeOverwritten(io.events));
    EXPECT_EQ(io.events.back().kind, test::WipeEvent::Flush);  // the last pass too
    EXPECT_FALSE(there("Brief.TXT"));
    EXPECT_FALSE(there("$$@$$.del"));
    EXPECT_TRUE(statusLines().empty());
}

TEST_F(SecureDeleteTest, WithoutPassesTheFileIsOnlyMovedAndRemoved) {
    int scrambles = 0;
    env.scramble = [&](const std::string&) { return ++scrambles, true; };
    EXPECT_EQ(plain(put("a.txt", "12345"), false, 0, 246, true).bytesFreed(), 5.0);
    EXPECT_EQ(plain(put("b.txt", "12345"), false, 3, 246, false).bytesFreed(), 5.0);
    EXPECT_EQ(plain(put("c.txt", "12345"), false, -2, 246, true).bytesFreed(), 5.0);
    // An empty file is neither scrambled nor overwritten.
    const auto empty = plain(put("leer.txt", ""), true, 3, 246, true);
    EXPECT_EQ(empty.outcome, DeleteOutcome::Deleted);
    EXPECT_EQ(empty.bytesFreed(), 0.0);
    EXPECT_EQ(scrambles, 0);
    EXPECT_TRUE(io.fills().empty());
    for (const char* name : {"a.txt", "b.txt", "c.txt", "leer.txt", "$$@$$.del"})
        EXPECT_FALSE(there(name)) << name;
}

TEST_F(SecureDeleteTest, WithoutPassesEachEntryIsDecidedAsWithThem) {
    const fs::path outside = tm.root() / "draussen";
    tm.writeHostFile(outside / "ziel.txt", "target");
    fs::create_directory_symlink(outside, dir / "Weg");
    put("$$@$$.del", "leftover");
    const auto readOnly = put("fest.txt", "abc");
    ASSERT_TRUE(pf::files::setAttributes(tm.machine(), readOnly,
                                         pf::fileattr::ReadOnly | pf::fileattr::Hidden));
    put("Gross.TXT", "abcd");
    struct Case {
        std::string path;
        DeleteOutcome outcome;
        double freed;
    };
    for (const Case& c : {Case{put("neu.txt", "fresh"), DeleteOutcome::Deleted, 5.0},
                          Case{readOnly, DeleteOutcome::Deleted, 3.0},
                          Case{"C:\\Daten\\gross.txt", DeleteOutcome::Deleted, 4.0},
                          Case{"C:\\Daten\\Weg\\ziel.txt", DeleteOutcome::Failed, 0.0},
                          Case{"C:\\Daten\\fehlt.txt", DeleteOutcome::NothingThere, 0.0}}) {
        const auto result = plain(c.path, false, 0, 0, false);
        EXPECT_EQ(result.outcome, c.outcome) << c.path;
        EXPECT_EQ(result.bytesFreed(), c.freed) << c.path;
    }
    EXPECT_EQ(TempMachine::readHostFile(outside / "ziel.txt"), "target");
    // The leftover went too, and nothing is left under a temporary name.
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(dir)) left.push_back(e.path().filename());
    EXPECT_EQ(left, std::vector<std::string>{"Weg"});
}

TEST_F(SecureDeleteTest, ALeftoverOfAnInterruptedCallIsDestroyedBeforeItMakesWay) {
    // What an interrupted call was destroying is overwritten too, not only
    // unlinked, before the next file of the folder takes the name.
    const std::string leftover = "leftover of an interrupted call";
    put("$$@$$.del", leftover);
    EXPECT_EQ(plain(put("neu.txt", "fresh"), false, 1, 0, true).bytesFreed(), 5.0);
    const auto fills = io.fills();
    ASSERT_EQ(fills.size(), 2u);
    EXPECT_EQ(fills[0].count, leftover.size());
    EXPECT_EQ(fills[1].count, 5u);
    for (const char* name : {"neu.txt", "$$@$$.del", "$$@$$.tmp"})
        EXPECT_FALSE(there(name)) << name;

    // A leftover that cannot go (a folder of that name) makes the move fail:
    // the file stays as it was and nothing counts as freed.
    io.reset();
    fs::create_directory(dir / "$$@$$.del");
    EXPECT_EQ(plain(put("bleibt.txt", "unchanged"), false, 3, 246, true).outcome,
              DeleteOutcome::Failed);
    EXPECT_EQ(read("bleibt.txt"), "unchanged");
    EXPECT_TRUE(io.fills().empty());
}

TEST_F(SecureDeleteTest, TheScrambleComesBeforeTheOverwriteWithTheCipher) {
    const std::string secret = "Kontonummer 1234567890, PIN 4711. " + std::string(5000, 'z');
    const auto path = put("geheim.txt", secret);
    std::string beforeFirstPass;  // the scrambled file, as the passes open it
    io.beforeOpen = [&] { beforeFirstPass = read("$$@$$.del"); };
    EXPECT_EQ(plain(path, true, 2, 0, true).bytesFreed(), static_cast<double>(secret.size()));
    ASSERT_FALSE(beforeFirstPass.empty());
    EXPECT_EQ(beforeFirstPass.find("Kontonummer"), std::string::npos);
    EXPECT_EQ(beforeFirstPass.find(std::string(64, 'z')), std::string::npos);
    // The sealed form is longer; every pass covers all of it.
    ASSERT_GT(beforeFirstPass.size(), secret.size());
    ASSERT_EQ(io.fills().size(), 2u);
    for (const auto& f : io.fills()) EXPECT_EQ(f.count, beforeFirstPass.size());
    EXPECT_FALSE(there("$$@$$.del"));
    EXPECT_TRUE(statusLines().empty());
}

TEST_F(SecureDeleteTest, FailuresShowTheirStatusLinesAndTheFileStillGoes) {
    env.scramble = [](const std::string&) { return false; };
    io.failFill = 2;
    EXPECT_EQ(plain(put("Bericht.DOC", "0123456789"), true, 3, 246, true).bytesFreed(), 10.0);
    EXPECT_EQ(statusLines(), (std::vector<std::string>{
                                 "Fehler beim Verschlüsseln der Datei c:\\daten\\bericht.doc",
                                 "Fehler beim Überschreiben der Datei c:\\daten\\bericht.doc"}));
    EXPECT_EQ(io.fills().size(), 1u);  // the loop was left at the failing pass
    EXPECT_FALSE(there("Bericht.DOC"));
    EXPECT_FALSE(there("$$@$$.del"));
}

TEST_F(SecureDeleteTest, LinksHardLinksFoldersAndReadOnlyFiles) {
    const fs::path outside = tm.root() / "ziel.txt";
    tm.writeHostFile(outside, "target");
    fs::create_symlink(outside, dir / "verweis.txt");
    EXPECT_EQ(plain("C:\\Daten\\verweis.txt", true, 3, 0, true).outcome,
              DeleteOutcome::LinkRemoved);
    EXPECT_FALSE(there("verweis.txt"));
    EXPECT_EQ(TempMachine::readHostFile(outside), "target");

    put("original.txt", "shared");
    fs::create_hard_link(dir / "original.txt", dir / "zweitname.txt");
    EXPECT_EQ(plain("C:\\Daten\\zweitname.txt", true, 3, 0, true).outcome,
              DeleteOutcome::NameRemoved);
    EXPECT_FALSE(there("zweitname.txt"));
    EXPECT_EQ(read("original.txt"), "shared");

    fs::create_directory(dir / "Ordner");
    const auto folder = plain("C:\\Daten\\Ordner", false, 3, 0, true);
    EXPECT_EQ(folder.outcome, DeleteOutcome::Refused);
    EXPECT_EQ(folder.refusal, Refusal::Folder);
    EXPECT_TRUE(fs::is_directory(dir / "Ordner"));
    EXPECT_TRUE(io.fills().empty());

    // A read-only file is overwritten too, not just unlinked.
    const auto readOnly = put("nurlesen.txt", "abcdef");
    ASSERT_TRUE(pf::files::setAttributes(tm.machine(), readOnly, pf::fileattr::ReadOnly));
    EXPECT_EQ(plain(readOnly, false, 2, 0, true).bytesFreed(), 6.0);
    EXPECT_EQ(io.fills().size(), 2u);
    EXPECT_FALSE(there("nurlesen.txt"));
    EXPECT_TRUE(statusLines().empty());
}

TEST_F(SecureDeleteTest, ACancelStopsAGutmannWipeAndNothingCountsAsFreed) {
    const auto path = put("gross.bin", std::string(1000, 'q'));
    io.afterFill = [&](std::size_t n) {
        if (n == 20)
            cancelRunningOperation();  // the progress window's close button
    };
    const auto handlers = cancelHandlerCount();
    DeleteResult result;
    {
        const ThreadDeletion own;
        result = deleteTheFileAs(recorded(own.context()), WipeMode::Gutmann,
                                 {path, false, false, 0, 0, false});
    }
    EXPECT_EQ(result.outcome, DeleteOutcome::Cancelled);
    EXPECT_EQ(result.bytesFreed(), 0.0);
    EXPECT_TRUE(there("gross.bin"));
    EXPECT_LT(io.fills().size(), 35u * 15);
    EXPECT_EQ(cancelHandlerCount(), handlers);  // nothing left registered
}

}  // namespace
}  // namespace kx::deletion
