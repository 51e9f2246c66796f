// frmAES: one hidden form per thread that owns the cipher, made on first
// access, released after every run, and reached by the progress window's
// closing, which must stop a running encryption (and not free it under the
// running method's feet).
#include <gtest/gtest.h>

#include "cipher_fixture.hpp"
#include "crypt/aes_holder.hpp"
#include "frame/cancel.hpp"
#include "frame/progress.hpp"
#include "frame/shared_state.hpp"
#include "platform/ui/message_loop.hpp"

namespace kx {
namespace {

using kx::test::CipherFixture;
using kx::test::YieldHook;

class AesHolderTest : public CipherFixture {
  protected:
    // The closing window would also close the virus scanner's program.
    AesHolderTest() {
        setTaskCloser([](const std::string&) {});
    }
    ~AesHolderTest() override {
        releaseAesForm();
        unloadProgressWindow();
        setTaskCloser(nullptr);
        resetShared();
    }
};

TEST_F(AesHolderTest, MadeOnFirstAccessOncePerThreadAndReleasedAfterARun) {
    EXPECT_EQ(existingAesForm(), nullptr);
    const auto handlers = cancelHandlerCount();
    const auto form = aesForm();
    EXPECT_TRUE(form->isLoaded());
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->name, "frmAES");
    EXPECT_EQ(aesForm(), form);
    EXPECT_EQ(existingAesForm(), form);
    EXPECT_EQ(cancelHandlerCount(), handlers + 1);

    // Released: StopIt is set before the one yield, so a run further up the
    // stack sees it there.
    int yields = 0;
    bool stopSeenInYield = false;
    {
        YieldHook hook([&] {
            ++yields;
            stopSeenInYield = form->RijnDael1.StopIt;
        });
        releaseAesForm();
    }
    EXPECT_EQ(yields, 1);
    EXPECT_TRUE(stopSeenInYield);
    EXPECT_FALSE(form->isLoaded());
    EXPECT_EQ(existingAesForm(), nullptr);
    EXPECT_EQ(cancelHandlerCount(), handlers);
    // The next run gets a fresh component.
    const auto next = aesForm();
    EXPECT_NE(next, form);
    EXPECT_FALSE(next->RijnDael1.StopIt);
    releaseAesForm();
    releaseAesForm();  // nothing left to release: nothing happens
}

TEST_F(AesHolderTest, ClosingTheProgressWindowStopsARunningEncryption) {
    put("plain", pattern(20 * kChunk));
    const auto window = progressWindow();
    int yields = 0;
    bool ok = true;
    {
        AesRun run;
        auto& cipher = run.cipher();
        setUp(cipher, win("plain"), win("sealed"));
        cipher.ProgressBar = window->pbBar;
        cipher.ShowProgress = true;
        YieldHook hook([&] {
            // The user closes the window during the fifth chunk.
            if (++yields == 5)
                window->cancel();
        });
        ok = cipher.EncryptFile();
        // The form is gone already; the run's pointer kept the component alive.
        EXPECT_EQ(existingAesForm(), nullptr);
        EXPECT_TRUE(cipher.StopIt);
        EXPECT_NE(cipher.LastError.find("stopped"), std::string::npos) << cipher.LastError;
    }
    EXPECT_FALSE(ok);
    EXPECT_LE(yields, 6);
    EXPECT_FALSE(exists("sealed"));
    EXPECT_EQ(entries(), std::set<std::string>{"plain"});
    EXPECT_TRUE(shared().gbBreak);
}

TEST_F(AesHolderTest, CtrlCReachesTheCipherWithoutAProgressWindow) {
    put("plain", pattern(20 * kChunk));
    AesRun run;
    setUp(run.cipher(), win("plain"), win("sealed"));
    int yields = 0;
    YieldHook hook([&] {
        if (++yields == 2)
            cancelRunningOperation();
    });
    EXPECT_FALSE(run.cipher().EncryptFile());
    EXPECT_FALSE(exists("sealed"));
}

TEST_F(AesHolderTest, AnUnloadByAnyoneStopsTheRunToo) {
    put("plain", pattern(20 * kChunk));
    AesRun run;
    setUp(run.cipher(), win("plain"), win("sealed"));
    int yields = 0;
    YieldHook hook([&] {
        if (++yields == 2)
            run.form().unload();
    });
    EXPECT_FALSE(run.cipher().EncryptFile());
    EXPECT_FALSE(exists("sealed"));
}

}  // namespace
}  // namespace kx
