#pragma once

// Late-bound calls on component objects by member name. A get binds the name
// to a property, else to a method; a method call binds to a method, else to a
// property. Names and text arguments go from the ANSI code page to UTF-16 and
// text results come back the same way.
//
// A failed call is silent: it yields the empty value of the kind asked for
// (empty text, 0, false, an empty handle, an empty Variant). Every get, put and
// method call stores its outcome as the calling thread's last error, which
// `LastErrorText` reads; creation and conversions leave it alone.

#include <cstdint>
#include <initializer_list>
#include <string_view>

#include "automation/hresult.hpp"
#include "automation/variant.hpp"
#include "text/text.hpp"

namespace tralvex::automation {

// One argument of a call: integers go as 32-bit integers, bools as booleans,
// reals as 8-byte reals, texts as UTF-16, a Variant unchanged (an empty one as
// a missing argument). Bytes cannot be an argument: wrap them with
// BytesToVariant first; a call given bytes fails.
class Arg {
  public:
    Arg(std::int32_t value) : value_(value) {}
    Arg(bool value) : value_(value) {}
    Arg(double value) : value_(value) {}
    Arg(const char* value);
    Arg(const Text& value);
    Arg(const Bytes& value);
    Arg(const Variant& value);

    bool IsBytes() const { return isBytes_; }
    // Hands the converted value over to the call; an argument is used once.
    Variant Take() const { return std::move(value_); }

  private:
    // Arguments arrive in an initializer list, whose elements are const; the
    // value is moved out of it so a large text is not copied twice.
    mutable Variant value_;
    bool isBytes_ = false;
};

using Args = std::initializer_list<Arg>;

// R is one of: void, Text, double, bool, AutomationObject, Variant.
template <typename R>
R GetProperty(const AutomationObject& object, std::string_view name, Args args = {});

bool PutProperty(const AutomationObject& object, std::string_view name, Args args,
                 const Arg& value);

template <typename R = void>
R CallMethod(const AutomationObject& object, std::string_view name, Args args = {});

// The text of the calling thread's last call outcome: empty after a success.
Text LastErrorText();

// The details of the calling thread's last call outcome: the call's own code
// and, when the member raised an error, the member's code and description.
struct CallOutcome {
    HResult hr = kOk;
    HResult exceptionCode = kOk;
    std::u16string description;
};
const CallOutcome& LastCallOutcome();

}  // namespace tralvex::automation
