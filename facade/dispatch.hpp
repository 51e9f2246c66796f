#pragma once
// The automation surface of CKOLVANEX by name: every operation and property
// with its parameters and their declared types, callable with Variants. The
// console host and any host that links the library use this one table.
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/automation.hpp"
#include "facade/kolvanex.hpp"

namespace kx {

// The enumerators carry the runtime's type names, which are also the names
// of the value types (Long, Integer, Byte); being scoped, they never clash.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wshadow"
enum class ParamType {
    String,
    Boolean,
    Long,
    Integer,
    Byte,
    Double,
    Variant,
    Object,
    Collection,
    CryptIt,      // enumCryptIt
    WindowStyle,  // show-window code of a started program
};
#pragma GCC diagnostic pop

std::string_view paramTypeName(ParamType type);

struct ParamInfo {
    std::string name;
    ParamType type;
    bool byRef = false;     // in/out: the call may change it
    bool optional = false;  // may be omitted (trailing only)
};

struct Member {
    std::string name;
    bool isProperty = false;  // read without arguments, written with one
    std::vector<ParamInfo> params;
    bool hasResult = false;
    ParamType resultType = ParamType::Variant;
    /// Calls the operation. `args` holds one Variant per parameter given
    /// (optional ones may be missing); in/out arguments are updated in place.
    /// For a property, no argument reads it and one argument writes it.
    std::function<Ret<Variant>(CKOLVANEX&, std::vector<Variant>& args)> invoke;

    std::size_t requiredCount() const;
};

/// Every member, in the interface's order.
std::span<const Member> members();

/// The member of that name (case-insensitive, as automation names are), or null.
const Member* findMember(std::string_view name);

/// Calls a member by name; an unknown name or a wrong number of arguments
/// answers error 438 or 450 as automation does.
Ret<Variant> invoke(CKOLVANEX& object, std::string_view name, std::vector<Variant>& args);

}  // namespace kx
