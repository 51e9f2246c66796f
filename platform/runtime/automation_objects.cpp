#include "platform/runtime/automation_objects.hpp"

#include <map>
#include <utility>

#include "platform/browser/internet_explorer.hpp"
#include "platform/runtime/text.hpp"
#include "platform/runtime/translation.hpp"

namespace kx::platform {
namespace {

std::map<std::string, ObjectFactory>& factories() {
    thread_local std::map<std::string, ObjectFactory> table;
    return table;
}

}  // namespace

DispatchRef asDispatch(const Variant& value) {
    auto object = value.is<ObjectRef>()
                      ? std::dynamic_pointer_cast<Dispatch>(value.get<ObjectRef>())
                      : nullptr;
    if (!object)
        throw RuntimeError{424, std::string(tr("Objekt erforderlich"))};
    return object;
}

ObjectFactoryScope::ObjectFactoryScope(const std::string& progId, ObjectFactory factory)
    : progId_(vbLCase(progId)) {
    auto& slot = factories()[progId_];
    previous_ = std::exchange(slot, std::move(factory));
}

ObjectFactoryScope::~ObjectFactoryScope() {
    auto& table = factories();
    if (previous_)
        table[progId_] = std::move(previous_);
    else
        table.erase(progId_);
}

DispatchRef CreateObject(std::string_view progId) {
    const auto& table = factories();
    const auto it = table.find(vbLCase(progId));
    DispatchRef object;
    if (it != table.end() && it->second)
        object = it->second();
    else if (vbLCase(progId) == vbLCase(browser::kInternetExplorerProgId))
        object = browser::createInternetExplorer();
    if (!object)
        throw RuntimeError{
            429, std::string(tr("Objekterstellung durch ActiveX-Komponente nicht möglich"))};
    return object;
}

}  // namespace kx::platform
