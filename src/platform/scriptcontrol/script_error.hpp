#pragma once

// What the script control's error object reports about a failed piece of
// script, and how a value thrown by Duktape becomes that report in JScript's
// terms: a 0x800Axxxx code with JScript's number where the failure is one
// JScript names, its source text, a description, the offending source line of
// a syntax error, and the position.

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "automation/hresult.hpp"

namespace tralvex::scriptcontrol {

struct ScriptError {
    automation::HResult code = automation::kOk;
    std::u16string source;
    std::u16string description;
    // The source line of a syntax error; empty for run-time errors.
    std::u16string text;
    // 1-based; 0 when unknown.
    int line = 0;
    // 0-based. Always 0: Duktape reports the line of an error but no column.
    int column = 0;
};

// The parts of a thrown value that the report is made of, read from Duktape.
struct ThrownValue {
    bool isError = false;  // an Error instance (name, message, line, stack)
    std::u16string name;
    std::u16string message;
    std::u16string stack;
    int line = 0;
    std::u16string asText;  // String(value)
};

// The number that the error object's "Number" reports for a code: the low 16
// bits of a scripting (0x800Axxxx) code, the whole code otherwise.
std::int32_t ErrorNumber(automation::HResult code);

ScriptError DescribeSyntaxError(const ThrownValue& thrown, std::u16string_view source);
ScriptError DescribeRuntimeError(const ThrownValue& thrown);
ScriptError DescribeTimeout(std::chrono::milliseconds limit);

// Line `line` (1-based) of `source`, split at the ECMAScript line terminators
// LF, CR, CR LF, U+2028 and U+2029 as Duktape counts lines; empty when there
// is no such line.
std::u16string_view SourceLine(std::u16string_view source, int line);

}  // namespace tralvex::scriptcontrol
