// frmAES: one hidden form per thread that owns the cipher, made on first
// access, released after every run, and reached by the progress window's
// closing, which must stop a running encryption (and not free it under the
// running method's feet).
#include <gtest/gtest.h>

#include "cipher_fixture.hpp"
#include "core/shared_state.hpp"
#include "crypt/aes_holder.hpp"
#include "services/cancel.hpp"
#include "services/progress.hpp"

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

TEST_F(AesHolderTest, EveryWayTheFormGoesStopsARunningEncryption) {
    put("plain", pattern(20 * kChunk));
    // The user closes the progress window; Ctrl+C without a progress window;
    // anyone unloads the form.
    enum Way { CloseWindow, CtrlC, Unload };
    for (const Way way : {CloseWindow, CtrlC, Unload}) {
        SCOPED_TRACE(way);
        resetShared();
        const auto window = way == CloseWindow ? progressWindow() : nullptr;
        int yields = 0;
        bool ok = true;
        {
            AesRun run;
            auto& cipher = run.cipher();
            setUp(cipher, win("plain"), win("sealed"));
            if (window) {
                cipher.ProgressBar = window->pbBar;
                cipher.ShowProgress = true;
            }
            YieldHook hook([&] {
                if (++yields != 5)
                    return;
                if (way == CloseWindow)
                    window->cancel();
                else if (way == CtrlC)
                    cancelRunningOperation();
                else
                    run.form().unload();
            });
            ok = cipher.EncryptFile();
            // The form is gone already; the run's pointer kept the component alive.
            EXPECT_EQ(existingAesForm(), nullptr);
            EXPECT_TRUE(cipher.StopIt);
            EXPECT_NE(cipher.LastError.find("abgebrochen"), std::string::npos) << cipher.LastError;
        }
        EXPECT_FALSE(ok);
        EXPECT_LE(yields, 6);
        EXPECT_EQ(entries(), std::set<std::string>{"plain"});
        EXPECT_EQ(shared().gbBreak, way != Unload);
        unloadProgressWindow();
    }
}

}  // namespace
}  // namespace kx
