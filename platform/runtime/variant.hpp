#pragma once
// The automation runtime's value types: Variant, objects and collections, with
// the coercions the old runtime applied when a value crossed a typed boundary.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace kx::platform {

/// Base of every automation object that can travel through the public
/// surface: forms, controls, collections, browsers.
class Object {
  public:
    virtual ~Object() = default;
    virtual std::string_view typeName() const = 0;
};
using ObjectRef = std::shared_ptr<Object>;

struct Empty {
    bool operator==(const Empty&) const = default;
};
struct Null {
    bool operator==(const Null&) const = default;
};

class Variant;

/// The automation collection: an ordered list of values, indexed from 1 by
/// callers of the old runtime, from 0 here.
class Collection final : public Object {
  public:
    // Defined where Variant is complete, so that compilers which define the
    // destructor with the class do not need Variant's size here.
    ~Collection() override;
    std::string_view typeName() const override { return "Collection"; }
    std::vector<Variant> items;
};
using CollectionRef = std::shared_ptr<Collection>;

/// Error raised by a failed coercion or call: the runtime's error number and text.
struct RuntimeError {
    std::int32_t number = 0;
    std::string description;
};

/// A Variant: Empty, Null, Boolean, Byte, Integer (16-bit), Long (32-bit),
/// Double, String or Object.
class Variant {
  public:
    using Storage = std::variant<Empty, Null, bool, std::uint8_t, std::int16_t, std::int32_t,
                                 double, std::string, ObjectRef>;

    Variant() = default;
    Variant(Empty) {}
    Variant(Null v) : value_(v) {}
    Variant(bool v) : value_(v) {}
    Variant(std::uint8_t v) : value_(v) {}
    Variant(std::int16_t v) : value_(v) {}
    Variant(std::int32_t v) : value_(v) {}
    Variant(double v) : value_(v) {}
    Variant(std::string v) : value_(std::move(v)) {}
    Variant(std::string_view v) : value_(std::string(v)) {}
    Variant(const char* v) : value_(std::string(v)) {}
    Variant(ObjectRef v) : value_(std::move(v)) {}

    const Storage& storage() const { return value_; }
    bool isEmpty() const { return std::holds_alternative<Empty>(value_); }
    bool isNull() const { return std::holds_alternative<Null>(value_); }
    template <typename T>
    bool is() const {
        return std::holds_alternative<T>(value_);
    }
    template <typename T>
    const T& get() const {
        return std::get<T>(value_);
    }

    /// The runtime's type name ("Empty", "Null", "Boolean", "Byte", "Integer",
    /// "Long", "Double", "String", or the object's own).
    std::string typeName() const;

    bool operator==(const Variant& other) const;

  private:
    Storage value_;
};

// Coercions with the runtime's rules; each throws RuntimeError 13 ("Type
// mismatch") or 6 ("Overflow") where the runtime raised them.
bool toBool(const Variant&
                v);  // numbers: nonzero; text: "True"/"False" (any case), "Wahr"/"Falsch", numbers
std::int32_t toLong(const Variant& v);  // rounds half to even, as CLng
std::int16_t toInteger(const Variant& v);
std::uint8_t toByte(const Variant& v);
double toDouble(const Variant& v);
std::string toText(
    const Variant& v);  // Booleans "True"/"False", Empty "", numbers with "." as separator
ObjectRef toObject(const Variant& v);  // Empty and Null give a null object

/// Formats a Double as the runtime's Str/CStr does with "." as separator
/// ("0.5", "3", "1E+20").
std::string formatDouble(double value);

}  // namespace kx::platform
