#include "crypt/aes_holder.hpp"

#include "crypt/key_cache.hpp"
#include "platform/machine/machine.hpp"
#include "platform/ui/message_loop.hpp"

namespace kx {
namespace {

std::shared_ptr<frmAES>& slot() {
    // The thread's cancel handlers are set up first, so that they outlive
    // this slot at thread exit: a form still loaded then unregisters its
    // handler as it goes.
    thread_local std::shared_ptr<frmAES> form =
        (static_cast<void>(cancelHandlerCount()), std::shared_ptr<frmAES>());
    return form;
}

// Drops the thread's pointer when it still names this form (a newer form
// may have taken the slot meanwhile).
void discard(const std::shared_ptr<frmAES>& form) {
    if (slot() == form)
        slot().reset();
}

}  // namespace

frmAES::frmAES(crypt::CipherContext context) : FormBase("AES", Topmost::Never), RijnDael1(context) {
    name = "frmAES";
    // However the form goes (released, cancelled, unloaded by whoever), a
    // run still going on stops at its next chunk, and the cancel handler
    // goes with the form.
    Unload = [this](bool&) {
        RijnDael1.StopIt = true;
        cancelRegistration_.reset();
    };
}

frmAES::~frmAES() = default;

std::shared_ptr<frmAES> aesForm() {
    auto& form = slot();
    if (form && form->isLoaded())
        return form;
    auto fresh = std::make_shared<frmAES>(
        crypt::CipherContext{platform::currentMachine(), crypt::threadKeyCache()});
    fresh->load();
    // The handler holds the form weakly: a cancel after the form was
    // discarded finds nothing to do, and while it runs it keeps the form
    // alive itself.
    std::weak_ptr<frmAES> weak = fresh;
    fresh->cancelRegistration_ = std::make_unique<CancelRegistration>([weak] {
        const auto f = weak.lock();
        if (!f || !f->isLoaded())
            return;
        f->RijnDael1.StopIt = true;
        f->unload();
        discard(f);
        crypt::threadKeyCache().forget(crypt::KeyUse::Files);
    });
    form = std::move(fresh);
    return form;
}

std::shared_ptr<frmAES> existingAesForm() {
    const auto& form = slot();
    return form && form->isLoaded() ? form : nullptr;
}

void releaseAesForm() {
    // The keys of the run go whether or not a cancel took the form already.
    struct ForgetKeys {
        ~ForgetKeys() { crypt::threadKeyCache().forget(crypt::KeyUse::Files); }
    } forgetKeys;
    // Held here, so that what the yield runs (a cancel, another release)
    // cannot free the form under us.
    const auto form = existingAesForm();
    if (!form)
        return;
    form->RijnDael1.StopIt = true;
    platform::ui::yield();
    form->unload();
    discard(form);
}

}  // namespace kx
