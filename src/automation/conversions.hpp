#pragma once

// Conversions of automation values, with the rules of the platform's
// VariantChangeType: numbers and booleans become text (a real with at most 15
// significant digits, "-1" for true), texts holding numbers become numbers.

#include <cstdint>
#include <optional>
#include <string>

#include "automation/variant.hpp"
#include "text/text.hpp"

namespace tralvex::automation {

// The value as an ANSI text; empty when it cannot be converted.
Text VariantToText(const Variant& value);
// The bytes of a byte array; empty for any other value.
Bytes VariantToBytes(const Variant& value);
// The same, moved out of a value that is given up, which is left empty.
Bytes VariantToBytes(Variant&& value);
// A byte array holding the bytes, lower bound 1.
Variant BytesToVariant(const Bytes& bytes);

// Conversions that say whether they succeeded: what the call layer and the
// components use to coerce results and arguments.
std::optional<std::u16string> ToString16(const Variant& value);
std::optional<double> ToReal(const Variant& value);
std::optional<std::int32_t> ToInt32(const Variant& value);
std::optional<bool> ToBool(const Variant& value);

// A real number as the platform's automation layer writes it.
std::u16string RealToString16(double value);

}  // namespace tralvex::automation
