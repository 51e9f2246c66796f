// The progress and status operations of CKOLVANEX: thin entries into the
// thread's progress window (frame/progress.hpp). Status traps every error;
// the others report a failure of the window or its controls (a bar range
// that is empty, a position outside it) as their status.
#include "facade/guarded.hpp"
#include "facade/kolvanex.hpp"
#include "services/progress.hpp"

namespace kx {

Ret<void> CKOLVANEX::ProgessShow() {
    return guarded("ProgessShow", [] { progressWindow()->show(false); });
}

Ret<void> CKOLVANEX::Status(std::string sInfoString) {
    kx::Status(sInfoString);
    return {};
}

Ret<void> CKOLVANEX::ProgressMin(Integer iValue) {
    return guarded("ProgressMin", [&] { progressWindow()->pbBar->setMin(iValue); });
}

Ret<void> CKOLVANEX::ProgressMax(Integer iValue) {
    return guarded("ProgressMax", [&] { progressWindow()->pbBar->setMax(iValue); });
}

Ret<void> CKOLVANEX::ProgressValue(Integer iValue) {
    return guarded("ProgressValue", [&] { progressWindow()->pbBar->setValue(iValue); });
}

Ret<void> CKOLVANEX::ProgressClose(Integer iValue) {
    return guarded("ProgressClose", [&] { progressWindow()->closeAfter(iValue); });
}

Ret<void> CKOLVANEX::UnloadProgess() {
    return guarded("UnloadProgess", [] { unloadProgressWindow(); });
}

Ret<bool> CKOLVANEX::IsProgressVisible() {
    return existingProgressWindow() != nullptr;
}

Ret<ObjectRef> CKOLVANEX::GetProgressBar() {
    return guarded("GetProgressBar", [] { return ObjectRef(progressWindow()->pbBar); });
}

}  // namespace kx
