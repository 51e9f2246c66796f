#include "facade/run_contexts.hpp"

#include <string>

#include "anonymity/sessions.hpp"
#include "cleaning/destroy_phase.hpp"
#include "cleaning/discovery.hpp"
#include "core/shared_state.hpp"
#include "crypt/aes_holder.hpp"
#include "deletion/random_source.hpp"
#include "deletion/secure_delete.hpp"
#include "platform/machine/machine.hpp"
#include "services/processes.hpp"

namespace kx {
namespace {

// The generator of the thread's Gutmann passes, seeded once when the thread
// first needs it; only the free-space wipe's explicit reseeds restart it.
deletion::RandomSource& threadRandom() {
    thread_local deletion::TwisterSource source;
    return source;
}

// The cipher component's in-place scramble, as the deletion runs it: the
// thread's frmAES holder, set up for the one file and released afterwards
// (its component stopped, the form unloaded, the run's keys forgotten). The
// holder's own cancel handler stops a running scramble; the passes that
// follow destroy the content all the same.
bool scrambleWithCipher(const std::string& path) {
    AesRun run;
    auto& cipher = run.cipher();
    cipher.KeyBits = deletion::kScrambleKeyBits;
    cipher.Password = std::string(deletion::kScramblePassword);
    cipher.InputFile = path;
    // The fixed password is in every copy of this program: blocks the passes
    // never reach (no passes asked for, a pass that failed) would decrypt
    // with the program itself. A key drawn for the run and never stored
    // leaves nothing to decrypt them with.
    cipher.RandomKey = true;
    return cipher.EncryptInPlace();
}

}  // namespace

ThreadDeletion::ThreadDeletion()
    : progress_(shared()),
      // Without this a cancel could not stop a Gutmann wipe of 35 passes
      // before its end: the wiper only looks at its flags.
      stop_([this] { cancel_ = true; }),
      context_{platform::currentMachine(), progress_, cancel_, threadRandom(), scrambleWithCipher} {
}

ThreadCleaningRun::ThreadCleaningRun(const cleaning::StepChoice* choice)
    : context_{deletion_.context().machine,
               shared(),
               cleaning::runState(),
               cleaning::foundList(),
               deletion_.progress(),
               deletion_.context(),
               choice} {}

ThreadMail::ThreadMail()
    : progress_(shared()),
      context_{shared(),
               progress_,
               [] { return anonymity::SetAnonymSessionOn(); },
               [] {
                   const ThreadCleaningRun run;
                   cleaning::runDiscovery(run.context());
                   cleaning::runDestroyPhase(run.context());
               },
               [] { StartKXPopupKiller(" /STEP1"); },
               {}} {
    context_.timings.fill = mail::storedFillTimings();
}

}  // namespace kx
