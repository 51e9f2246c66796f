#include "services/cancel.hpp"

#include <exception>
#include <map>
#include <optional>
#include <vector>

#include "core/shared_state.hpp"
#include "platform/ui/interrupt.hpp"
#include "platform/ui/message_loop.hpp"
#include "services/progress.hpp"

namespace kx {
namespace {

namespace ui = platform::ui;

struct Handlers {
    std::map<CancelHandlerId, std::function<void()>> byId;  // ids grow: map order = arrival
    CancelHandlerId next = 1;
    std::optional<ui::MessageLoop::SourceId> interruptSource;
};

Handlers& handlers() {
    thread_local Handlers h;
    return h;
}

}  // namespace

CancelHandlerId addCancelHandler(std::function<void()> handler) {
    auto& h = handlers();
    const auto id = h.next++;
    h.byId[id] = std::move(handler);
    return id;
}

void removeCancelHandler(CancelHandlerId id) {
    handlers().byId.erase(id);
}

std::size_t cancelHandlerCount() {
    return handlers().byId.size();
}

void runCancelHandlers() {
    auto& h = handlers();
    std::vector<CancelHandlerId> ids;
    for (const auto& [id, handler] : h.byId) ids.push_back(id);
    std::exception_ptr firstFailure;
    for (const auto id : ids) {
        const auto it = h.byId.find(id);
        if (it == h.byId.end())
            continue;
        auto handler = it->second;  // it may unregister itself while it runs
        try {
            handler();
        } catch (...) {
            // One failed stop must not keep the others running; the failure
            // still reaches whoever closed the window.
            if (!firstFailure)
                firstFailure = std::current_exception();
        }
    }
    if (firstFailure)
        std::rethrow_exception(firstFailure);
}

void cancelRunningOperation() {
    shared().gbBreak = true;
    if (auto window = existingProgressWindow()) {
        window->cancel();
    } else {
        runCancelHandlers();
    }
}

void listenForInterrupts() {
    auto& h = handlers();
    if (h.interruptSource)
        return;
    h.interruptSource = ui::MessageLoop::current().addSource([] {
        if (ui::takeInterrupt())
            cancelRunningOperation();
    });
}

void stopListeningForInterrupts() {
    auto& h = handlers();
    if (!h.interruptSource)
        return;
    ui::MessageLoop::current().removeSource(*h.interruptSource);
    h.interruptSource.reset();
}

}  // namespace kx
