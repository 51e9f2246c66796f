#pragma once
// A throw-away machine for cleaning runs: seeds files in the folders a run
// walks, switches categories, runs the two phases through CKOLVANEX and
// reads back what the progress log and the found list say.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cleaning/run_state.hpp"
#include "core/shared_state.hpp"
#include "core/text_rules.hpp"
#include "facade/kolvanex.hpp"
#include "facade/run_contexts.hpp"
#include "platform/files/files.hpp"
#include "platform/runtime/text.hpp"
#include "platform/ui/dialogs.hpp"
#include "platform/ui/message_loop.hpp"
#include "platform/ui/view.hpp"
#include "services/progress.hpp"
#include "settings/keys.hpp"
#include "settings/locations.hpp"
#include "support/temp_machine.hpp"

namespace kx::test {

class CleaningRunTest : public ::testing::Test {
  protected:
    void SetUp() override {
        resetShared();
        shared().KXAppPath = "C:\\Programme\\Kolvanex";  // holds "alist.txt"
        cleaning::resetRunState();
        cleaning::foundList().clear();
        // Every category off: each test switches on what it looks at.
        for (const auto* key :
             {&settings::keys::TempFiles, &settings::keys::INetTempFiles, &settings::keys::Cookies,
              &settings::keys::Recent, &settings::keys::History, &settings::keys::AutoFillOff,
              &settings::keys::DialerCheckTime, &settings::keys::KaazaaSearch})
            settings::write(*key, "0");
    }
    void TearDown() override {
        if (sourceId_ != 0)
            platform::ui::MessageLoop::current().removeSource(sourceId_);
        unloadProgressWindow();
        cleaning::foundList().clear();
        cleaning::resetRunState();
        resetShared();
    }

    void set(const settings::SettingKey& key, std::string_view value) {
        ASSERT_TRUE(settings::write(key, value));
    }

    /// Writes a file below a Windows folder (`name` may hold subfolders);
    /// answers its Windows path.
    std::string put(const std::string& windowsFolder, const std::string& name,
                    std::string_view content = "track") {
        const std::string path = AddBackslash(windowsFolder) + name;
        tm.writeHostFile(tm.host(path), content);
        return path;
    }
    bool there(const std::string& windowsPath) {
        return std::filesystem::exists(std::filesystem::symlink_status(tm.host(windowsPath)));
    }
    std::uint32_t attributes(const std::string& windowsPath) {
        const auto a = platform::files::attributes(windowsPath);
        return a ? *a & platform::fileattr::Settable : platform::fileattr::Invalid;
    }

    std::vector<std::string> found() {
        std::vector<std::string> out;
        for (const auto& item : cleaning::foundList().items()) out.push_back(item->text);
        return out;
    }
    std::vector<std::string> statusLines() {
        std::vector<std::string> out;
        if (auto w = existingProgressWindow())
            for (const auto& item : w->lvLog->items()) out.push_back(item->text);
        return out;
    }

    void exceptions(const std::string& lines) {
        tm.writeHostFile(tm.host(settings::GetPrivatePath()) / "alist.txt", lines);
    }

    /// The context the public class hands a run on this thread, built anew
    /// (the machine may have been opened again).
    const cleaning::RunContext& context() {
        run_ = std::make_unique<ThreadCleaningRun>();
        return run_->context();
    }

    void start() { ASSERT_TRUE(kolvanex.KXStart()); }
    void destroy() { ASSERT_TRUE(kolvanex.KXDelete()); }

    /// Sets gbBreak at the `n`-th yield from now (as a click on the
    /// progress window's close button between two steps would).
    void cancelAtYield(int n) {
        auto& loop = platform::ui::MessageLoop::current();
        sourceId_ = loop.addSource([this, n] {
            if (++yields_ == n)
                shared().gbBreak = true;
        });
    }

    std::string tempDir() { return settings::GetTempDir(false); }

    TempMachine tm;
    platform::ui::ScriptedView view;
    platform::ui::ViewScope viewScope{view};
    platform::ui::ScriptedDialogs dialogs;
    platform::ui::DialogsScope dialogsScope{dialogs};
    CKOLVANEX kolvanex;

  private:
    std::unique_ptr<ThreadCleaningRun> run_;
    platform::ui::MessageLoop::SourceId sourceId_ = 0;
    int yields_ = 0;
};

}  // namespace kx::test
