#pragma once
// Cancelling a running operation. The user cancels by closing the progress
// window (or with Ctrl+C in the console host); that sets gbBreak, which the
// long operations check between steps, and runs the cancel handlers of the
// thread: work that cannot wait for the next check registers one (a running
// encryption registers a handler that stops its cipher and closes its form).
#include <cstdint>
#include <functional>

namespace kx {

using CancelHandlerId = std::uint32_t;

/// Registers a handler on the calling thread; answers its id.
CancelHandlerId addCancelHandler(std::function<void()> handler);
/// Unregisters it; an unknown id is ignored.
void removeCancelHandler(CancelHandlerId id);
/// How many handlers the calling thread has.
std::size_t cancelHandlerCount();

/// Runs every handler of the calling thread, in the order they came. A
/// handler may unregister itself or others while this runs (one that is
/// removed before its turn is skipped). When handlers fail, the others still
/// run and the first failure is thrown afterwards.
void runCancelHandlers();

/// A handler for the lifetime of the object.
class CancelRegistration {
  public:
    explicit CancelRegistration(std::function<void()> handler)
        : id_(addCancelHandler(std::move(handler))) {}
    ~CancelRegistration() { removeCancelHandler(id_); }
    CancelRegistration(const CancelRegistration&) = delete;
    CancelRegistration& operator=(const CancelRegistration&) = delete;

  private:
    CancelHandlerId id_;
};

/// Cancels as the progress window's close button does: sets gbBreak and
/// closes the thread's progress window (whose closing runs the cancel
/// handlers); without a progress window the handlers run directly.
void cancelRunningOperation();

/// Registers, once per thread, the message-loop source that turns a pending
/// interrupt (platform/ui/interrupt.hpp, Ctrl+C in the console host) into
/// cancelRunningOperation() at the next yield().
void listenForInterrupts();
/// Removes that source again.
void stopListeningForInterrupts();

}  // namespace kx
