#pragma once
// frmAES: the hidden form that owns the cipher component. There is at most
// one per thread; it is created (loaded, hidden) on first access and
// released after every run, so every run starts with a fresh component (a
// fresh salt, nothing left of the last run's settings).
//
// Its component works on the machine bound to the thread and with the
// thread's key cache: the holder is where a cipher run of the component gets
// its context (crypt/cipher_context.hpp).
//
// While it is loaded it has a cancel handler registered (frame/cancel.hpp):
// closing the progress window (or Ctrl+C in the console host) sets the
// component's StopIt and closes the form, which stops a running encryption
// at its next chunk.
#include <memory>

#include "crypt/rijndael.hpp"
#include "services/cancel.hpp"
#include "services/form_base.hpp"

namespace kx {

class frmAES final : public FormBase {
  public:
    explicit frmAES(crypt::CipherContext context);
    ~frmAES() override;

    /// The form's cipher component.
    crypt::RijnDael RijnDael1;

  private:
    friend std::shared_ptr<frmAES> aesForm();
    std::unique_ptr<CancelRegistration> cancelRegistration_;
};

/// The thread's frmAES, created and loaded (hidden) when there is none, its
/// component on the bound machine and the thread's key cache. Keep
/// the pointer for the length of a run: a cancel during the run releases the
/// form, and the pointer keeps its component alive until the running method
/// has returned (false).
std::shared_ptr<frmAES> aesForm();

/// The thread's frmAES while it is loaded, else null.
std::shared_ptr<frmAES> existingAesForm();

/// Releases the thread's frmAES after a run: sets its component's StopIt,
/// yields once to the message loop (a run further up the stack sees StopIt
/// there), unloads the form and discards it, and wipes the keys the run's
/// files were sealed with from the key cache. Nothing happens when there is
/// none.
void releaseAesForm();

/// A run with the cipher: takes the thread's frmAES on construction and
/// releases it on destruction, also when the run ends by an exception.
class AesRun {
  public:
    AesRun() : form_(aesForm()) {}
    ~AesRun() { releaseAesForm(); }
    AesRun(const AesRun&) = delete;
    AesRun& operator=(const AesRun&) = delete;

    crypt::RijnDael& cipher() { return form_->RijnDael1; }
    frmAES& form() { return *form_; }

  private:
    std::shared_ptr<frmAES> form_;
};

}  // namespace kx
