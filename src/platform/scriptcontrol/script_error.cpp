#include "platform/scriptcontrol/script_error.hpp"

#include <string>

namespace tralvex::scriptcontrol {
namespace {

using automation::HResult;
using automation::MakeHResult;

constexpr std::u16string_view kCompilationSource = u"Microsoft JScript compilation error";
constexpr std::u16string_view kRuntimeSource = u"Microsoft JScript runtime error";

// JScript's numbers for the failures it names.
enum JScriptNumber : std::uint32_t {
    kOutOfMemory = 7,
    kOutOfStackSpace = 28,
    kObjectDoesNotSupport = 438,
    kSyntaxError = 1002,
    kExpectedSemicolon = 1004,
    kUnterminatedString = 1015,
    kFunctionExpected = 5002,
    kObjectExpected = 5007,
    kUndefinedIdentifier = 5009,
    kExceptionNotCaught = 5022,
    kInvalidUriToEncode = 5024,
    kInvalidUriToDecode = 5025,
};

HResult ScriptCode(JScriptNumber number) { return MakeHResult(0x800A0000u | number); }

bool StartsWith(std::u16string_view text, std::u16string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool Contains(std::u16string_view text, std::u16string_view part) {
    return text.find(part) != std::u16string_view::npos;
}

// Duktape ends the message of a syntax error with " (line N)" or
// " (line N, end of input)"; the error object reports the line on its own.
std::u16string_view WithoutLineSuffix(std::u16string_view message) {
    std::size_t at = message.rfind(u" (line ");
    if (at == std::u16string_view::npos || message.back() != u')') return message;
    return message.substr(0, at);
}

// The name in Duktape's "identifier 'name' undefined".
std::u16string_view UndefinedIdentifier(std::u16string_view message) {
    constexpr std::u16string_view prefix = u"identifier '";
    constexpr std::u16string_view suffix = u"' undefined";
    if (!StartsWith(message, prefix) || message.size() < prefix.size() + suffix.size() ||
        message.substr(message.size() - suffix.size()) != suffix) {
        return {};
    }
    return message.substr(prefix.size(), message.size() - prefix.size() - suffix.size());
}

ScriptError RuntimeError(JScriptNumber number, std::u16string description, int line) {
    return {
        ScriptCode(number), std::u16string(kRuntimeSource), std::move(description), {}, line, 0};
}

}  // namespace

std::int32_t ErrorNumber(HResult code) {
    auto bits = static_cast<std::uint32_t>(code);
    if ((bits & 0xFFFF0000u) == 0x800A0000u) return static_cast<std::int32_t>(bits & 0xFFFFu);
    return code;
}

std::u16string_view SourceLine(std::u16string_view source, int line) {
    int current = 1;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= source.size(); ++i) {
        bool atEnd = i == source.size();
        char16_t c = atEnd ? u'\0' : source[i];
        if (!atEnd && c != u'\n' && c != u'\r' && c != u'\u2028' && c != u'\u2029') continue;
        if (current == line) return source.substr(start, i - start);
        if (c == u'\r' && i + 1 < source.size() && source[i + 1] == u'\n') ++i;
        start = i + 1;
        ++current;
    }
    return {};
}

ScriptError DescribeSyntaxError(const ThrownValue& thrown, std::u16string_view source) {
    std::u16string_view message = thrown.message;
    ScriptError error;
    error.source = kCompilationSource;
    if (StartsWith(message, u"unterminated statement")) {
        error.code = ScriptCode(kExpectedSemicolon);
        error.description = u"Expected ';'";
    } else if (StartsWith(message, u"unterminated string")) {
        error.code = ScriptCode(kUnterminatedString);
        error.description = u"Unterminated string constant";
    } else {
        error.code = ScriptCode(kSyntaxError);
        error.description = message.empty() ? u"Syntax error" : WithoutLineSuffix(message);
    }
    error.line = thrown.line;
    error.text = SourceLine(source, thrown.line);
    return error;
}

ScriptError DescribeRuntimeError(const ThrownValue& thrown) {
    if (!thrown.isError) return RuntimeError(kExceptionNotCaught, thrown.asText, 0);
    std::u16string_view name = thrown.name;
    std::u16string_view message = thrown.message;
    int line = thrown.line;
    if (name == u"ReferenceError") {
        std::u16string_view identifier = UndefinedIdentifier(message);
        if (!identifier.empty()) {
            return RuntimeError(kUndefinedIdentifier,
                                u"'" + std::u16string(identifier) + u"' is undefined", line);
        }
    }
    if (name == u"TypeError") {
        if (Contains(message, u"not callable (property '")) {
            return RuntimeError(kObjectDoesNotSupport,
                                u"Object doesn't support this property or method", line);
        }
        if (Contains(message, u"not callable")) {
            return RuntimeError(kFunctionExpected, u"Function expected", line);
        }
        return RuntimeError(kObjectExpected, std::u16string(message), line);
    }
    if (name == u"URIError") {
        // Duktape says "invalid input" either way; its stack names the
        // function that refused the text.
        if (Contains(thrown.stack, u"at encodeURI")) {
            return RuntimeError(kInvalidUriToEncode,
                                u"The URI to be encoded contains an invalid character", line);
        }
        return RuntimeError(kInvalidUriToDecode, u"The URI to be decoded is not a valid encoding",
                            line);
    }
    if (message == u"callstack limit" || message == u"C stack depth limit") {
        return RuntimeError(kOutOfStackSpace, u"Out of stack space", line);
    }
    if (message == u"alloc failed") return RuntimeError(kOutOfMemory, u"Out of memory", line);
    if (name == u"SyntaxError") {
        return RuntimeError(kSyntaxError, std::u16string(WithoutLineSuffix(message)), line);
    }
    return RuntimeError(kExceptionNotCaught,
                        message.empty() ? thrown.asText : std::u16string(message), line);
}

ScriptError DescribeTimeout(std::chrono::milliseconds limit) {
    constexpr HResult kAbort = MakeHResult(0x80004004);  // E_ABORT
    std::string ms = std::to_string(limit.count());
    return {kAbort,
            u"ScriptControl",
            u"The script ran longer than the time-out of " + std::u16string(ms.begin(), ms.end()) +
                u" ms and was stopped",
            {},
            0,
            0};
}

}  // namespace tralvex::scriptcontrol
