#pragma once
// The contexts of the component's runs, built where the public class is
// entered. The component keeps its state per thread between calls (KXStart
// fills the list that KXDelete works through); this is the one place below
// the hosts that looks that state up, and the runs get it handed down.
#include "cleaning/run_context.hpp"
#include "deletion/deletion_context.hpp"
#include "mail/frm_mail.hpp"
#include "services/cancel.hpp"
#include "services/progress.hpp"

namespace kx {

/// Deletions on the calling thread: the bound machine, the thread's progress
/// window as the sink, a cancel flag that the thread's cancel handlers raise
/// (closing the progress window, Ctrl+C) while the object lives, the
/// thread's random generator and the cipher component's scramble through the
/// thread's frmAES. Throws when no machine is bound.
class ThreadDeletion {
  public:
    ThreadDeletion();
    ThreadDeletion(const ThreadDeletion&) = delete;
    ThreadDeletion& operator=(const ThreadDeletion&) = delete;

    const deletion::DeletionContext& context() const { return context_; }
    ProgressSink& progress() { return progress_; }

  private:
    WindowProgress progress_;
    bool cancel_ = false;
    CancelRegistration stop_;
    deletion::DeletionContext context_;
};

/// A cleaning run on the calling thread: the bound machine, the shared host
/// state, the thread's run state and found list, the thread's progress
/// window as the sink, and the thread's deletions for the files it destroys.
/// Throws when no machine is bound.
class ThreadCleaningRun {
  public:
    /// `choice`: the steps the run is limited to (null: all the settings
    /// switch on); it must outlive the run.
    explicit ThreadCleaningRun(const cleaning::StepChoice* choice = nullptr);
    ThreadCleaningRun(const ThreadCleaningRun&) = delete;
    ThreadCleaningRun& operator=(const ThreadCleaningRun&) = delete;

    const cleaning::RunContext& context() const { return context_; }

  private:
    ThreadDeletion deletion_;
    cleaning::RunContext context_;
};

/// A mail send on the calling thread: the shared host state, the thread's
/// progress window, the anonymous session, a cleaning run as KXStart and
/// KXDelete run it, and the popup blocker as StartKXPopupKiller starts it.
class ThreadMail {
  public:
    ThreadMail();
    ThreadMail(const ThreadMail&) = delete;
    ThreadMail& operator=(const ThreadMail&) = delete;

    const mail::MailContext& context() const { return context_; }

  private:
    WindowProgress progress_;
    mail::MailContext context_;
};

}  // namespace kx
