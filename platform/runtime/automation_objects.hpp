#pragma once
// Late-bound automation objects of other programs ("Word.Application", ...):
// what CreateObject hands out and how its properties and methods are reached
// by name. Of the Windows programs only the browser ("InternetExplorer.
// Application", on Chromium: platform/browser/) is built in; any other program
// identifier is only answered when a factory for it is registered on the
// calling thread (tests register fakes that record the calls), and
// CreateObject of anything else fails as it does on a PC without the program.
// A factory registered for the browser's identifier replaces the built-in one.
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/runtime/variant.hpp"

namespace kx::platform {

/// One argument of a method call; an empty name passes it by position.
struct NamedArgument {
    std::string name;
    Variant value;
};

/// An object reached by names, as IDispatch reaches it. Unknown names raise
/// RuntimeError 438 ("Object doesn't support this property or method").
class Dispatch : public Object {
  public:
    virtual Variant get(std::string_view property) = 0;
    virtual void put(std::string_view property, const Variant& value) = 0;
    virtual Variant call(std::string_view method, const std::vector<NamedArgument>& arguments) = 0;
};
using DispatchRef = std::shared_ptr<Dispatch>;

/// The object a property answered, as a Dispatch; RuntimeError 424 ("Object
/// required") when the value holds none.
DispatchRef asDispatch(const Variant& value);

/// Makes a new object of the program.
using ObjectFactory = std::function<DispatchRef()>;

/// Registers a factory for a program identifier (any case) on the calling
/// thread for the scope's lifetime; the previous one comes back afterwards.
class ObjectFactoryScope {
  public:
    ObjectFactoryScope(const std::string& progId, ObjectFactory factory);
    ~ObjectFactoryScope();
    ObjectFactoryScope(const ObjectFactoryScope&) = delete;
    ObjectFactoryScope& operator=(const ObjectFactoryScope&) = delete;

  private:
    std::string progId_;
    ObjectFactory previous_;
};

/// CreateObject: a new object of the program. RuntimeError 429 ("ActiveX
/// component can't create object") when no factory answers the identifier or
/// the factory gives nothing.
DispatchRef CreateObject(std::string_view progId);

}  // namespace kx::platform
