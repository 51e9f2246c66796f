#pragma once
// A scripted user for form models: a view that records what is shown (and
// answers modal forms through its onModal), message boxes and file dialogs
// answered from queues, and a cursor that records its shapes, all bound to
// the thread for the object's lifetime. Fixtures derive from it.
#include "platform/ui/cursor.hpp"
#include "platform/ui/dialogs.hpp"
#include "platform/ui/view.hpp"

namespace kx::test {

struct ScriptedUi {
    platform::ui::ScriptedView view;
    platform::ui::ViewScope viewScope{view};
    platform::ui::ScriptedDialogs dialogs;
    platform::ui::DialogsScope dialogsScope{dialogs};
    platform::ui::RecordingCursor cursor;
    platform::ui::CursorScope cursorScope{cursor};
};

}  // namespace kx::test
