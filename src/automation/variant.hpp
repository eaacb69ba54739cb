#pragma once

// The handle to a component object and the automation value. A handle holds one
// reference to its object or none; copying a handle takes one more reference.

#include <cstdint>
#include <memory>
#include <string>
#include <variant>

#include "text/text.hpp"

namespace tralvex::automation {

// Every component object derives from this; what it can be asked through the
// late-bound calls is in `Dispatch`.
class Dispatch;

class Unknown {
  public:
    virtual ~Unknown() = default;
    Unknown() = default;
    Unknown(const Unknown&) = delete;
    Unknown& operator=(const Unknown&) = delete;

    // The object's call interface, asked on every call: a virtual call is
    // far cheaper than the cross-cast that would find it otherwise.
    virtual Dispatch* QueryDispatch() { return nullptr; }
};

class AutomationObject {
  public:
    AutomationObject() = default;
    explicit AutomationObject(std::shared_ptr<Unknown> object) : object_(std::move(object)) {}

    bool Empty() const { return object_ == nullptr; }
    Unknown* Get() const { return object_.get(); }
    // The object's call interface, or null when the handle is empty or the
    // object has none.
    Dispatch* GetDispatch() const;
    void Reset() { object_.reset(); }

    friend bool operator==(const AutomationObject& a, const AutomationObject& b) {
        return a.object_ == b.object_;
    }

  private:
    std::shared_ptr<Unknown> object_;
};

AutomationObject CopyObject(const AutomationObject& object);
void ReleaseObject(AutomationObject& object);
bool IsEmptyObject(const AutomationObject& object);

// The value of an argument that the caller left out.
struct MissingArgument {
    friend bool operator==(MissingArgument, MissingArgument) { return true; }
};

// A one-dimensional array of unsigned bytes.
struct ByteArray {
    Bytes data;
    std::int32_t lowerBound = 1;
    friend bool operator==(const ByteArray&, const ByteArray&) = default;
};

class Variant {
  public:
    enum class Kind { Empty, Missing, Bool, Int32, Real, Text, Bytes, Object };

    Variant() = default;
    explicit Variant(MissingArgument v) : value_(v) {}
    explicit Variant(bool v) : value_(v) {}
    explicit Variant(std::int32_t v) : value_(v) {}
    explicit Variant(double v) : value_(v) {}
    explicit Variant(std::u16string v) : value_(std::move(v)) {}
    explicit Variant(ByteArray v) : value_(std::move(v)) {}
    explicit Variant(AutomationObject v) : value_(std::move(v)) {}

    Kind GetKind() const { return static_cast<Kind>(value_.index()); }
    bool IsEmpty() const { return GetKind() == Kind::Empty; }
    bool IsMissing() const { return GetKind() == Kind::Missing; }
    // Empty and missing both mean "no value given" to a component.
    bool IsAbsent() const { return IsEmpty() || IsMissing(); }

    template <typename T>
    const T* GetIf() const {
        return std::get_if<T>(&value_);
    }
    template <typename T>
    T* GetIf() {
        return std::get_if<T>(&value_);
    }

    void Clear() { value_ = std::monostate{}; }

    friend bool operator==(const Variant& a, const Variant& b) { return a.value_ == b.value_; }

  private:
    std::variant<std::monostate, MissingArgument, bool, std::int32_t, double, std::u16string,
                 ByteArray, AutomationObject>
        value_;
};

void ClearVariant(Variant& value);

}  // namespace tralvex::automation
