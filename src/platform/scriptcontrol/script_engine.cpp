#include "platform/scriptcontrol/script_engine.hpp"

#include <cmath>
#include <limits>
#include <string>

#include "duktape.h"

namespace tralvex::scriptcontrol {
namespace {

using automation::Variant;

// Duktape keeps strings in CESU-8: each UTF-16 code unit, a surrogate
// included, as its own sequence of one to three bytes. A character above
// U+FFFF is therefore two code units in script, as in JScript.
std::string ToCesu8(std::u16string_view text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (char16_t c : text) {
        if (c < 0x80) {
            bytes.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            bytes.push_back(static_cast<char>(0xC0 | (c >> 6)));
            bytes.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            bytes.push_back(static_cast<char>(0xE0 | (c >> 12)));
            bytes.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            bytes.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return bytes;
}

void PushText(duk_context* context, std::u16string_view text) {
    std::string bytes = ToCesu8(text);
    duk_push_lstring(context, bytes.data(), bytes.size());
}

void AppendCodePoint(void* text, duk_codepoint_t codePoint) {
    auto& out = *static_cast<std::u16string*>(text);
    if (codePoint > 0xFFFF) {
        codePoint -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (codePoint >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF)));
    } else {
        out.push_back(static_cast<char16_t>(codePoint));
    }
}

// The string at `index` as UTF-16.
std::u16string TextAt(duk_context* context, duk_idx_t index) {
    std::u16string text;
    text.reserve(duk_get_length(context, index));
    duk_decode_string(context, index, AppendCodePoint, &text);
    return text;
}

void PushVariant(duk_context* context, const Variant& value) {
    switch (value.GetKind()) {
        case Variant::Kind::Bool:
            duk_push_boolean(context, *value.GetIf<bool>());
            return;
        case Variant::Kind::Int32:
            duk_push_number(context, *value.GetIf<std::int32_t>());
            return;
        case Variant::Kind::Real:
            duk_push_number(context, *value.GetIf<double>());
            return;
        case Variant::Kind::Text:
            PushText(context, *value.GetIf<std::u16string>());
            return;
        case Variant::Kind::Empty:
        case Variant::Kind::Missing:
        case Variant::Kind::Bytes:
        case Variant::Kind::Object:
            duk_push_undefined(context);
            return;
    }
}

// Objects (arrays and functions too) come back as their string form, which
// is what the platform's conversion of a script object to text gives.
// Runs script (a toString of the script's own), so only inside a protected
// call.
void CoerceResult(duk_context* context) {
    if (duk_check_type_mask(context, -1,
                            DUK_TYPE_MASK_OBJECT | DUK_TYPE_MASK_BUFFER | DUK_TYPE_MASK_POINTER |
                                DUK_TYPE_MASK_LIGHTFUNC)) {
        duk_to_string(context, -1);
    }
}

// The value at the top of the stack, after CoerceResult. null has no
// Variant of its own and comes back empty, like undefined.
Variant ResultAt(duk_context* context) {
    switch (duk_get_type(context, -1)) {
        case DUK_TYPE_BOOLEAN:
            return Variant(static_cast<bool>(duk_get_boolean(context, -1)));
        case DUK_TYPE_NUMBER:
            return Variant(static_cast<double>(duk_get_number(context, -1)));
        case DUK_TYPE_STRING:
            return Variant(TextAt(context, -1));
        default:
            return Variant();
    }
}

// Runs the compiled function at index 0 with the global object as `this`,
// as Duktape's own eval does.
duk_ret_t CallCompiled(duk_context* context, void*) {
    duk_push_global_object(context);
    duk_call_method(context, 0);
    CoerceResult(context);
    return 1;
}

struct CallRequest {
    std::u16string_view name;
    std::span<const Variant> args;
    bool found = false;
};

duk_ret_t CallGlobal(duk_context* context, void* udata) {
    auto& request = *static_cast<CallRequest*>(udata);
    duk_require_stack(context, static_cast<duk_idx_t>(request.args.size()) + 4);
    duk_push_global_object(context);
    PushText(context, request.name);
    duk_dup_top(context);
    if (!duk_has_prop(context, -3)) return 0;
    request.found = true;
    duk_get_prop(context, -2);
    for (const Variant& arg : request.args) PushVariant(context, arg);
    duk_call(context, static_cast<duk_idx_t>(request.args.size()));
    CoerceResult(context);
    return 1;
}

// A property of the thrown value at index 0 as text; empty when undefined.
std::u16string PropertyText(duk_context* context, const char* key) {
    duk_get_prop_string(context, 0, key);
    std::u16string text;
    if (!duk_is_undefined(context, -1)) {
        duk_to_string(context, -1);
        text = TextAt(context, -1);
    }
    duk_pop(context);
    return text;
}

int PropertyLine(duk_context* context, const char* key) {
    duk_get_prop_string(context, 0, key);
    double line = duk_get_number_default(context, -1, 0.0);
    duk_pop(context);
    if (!std::isfinite(line) || line < 0 || line > std::numeric_limits<int>::max()) return 0;
    return static_cast<int>(line);
}

// Reads what the report of a thrown value needs. Its getters and toString
// may be the script's own, so this runs as a protected call, still within
// the call's time limit; what it read before a failure is kept.
duk_ret_t ReadThrown(duk_context* context, void* udata) {
    auto& thrown = *static_cast<ThrownValue*>(udata);
    thrown.isError = duk_is_error(context, 0);
    if (thrown.isError) {
        thrown.name = PropertyText(context, "name");
        thrown.message = PropertyText(context, "message");
        thrown.stack = PropertyText(context, "stack");
        thrown.line = PropertyLine(context, "lineNumber");
    }
    duk_dup(context, 0);
    duk_to_string(context, -1);
    thrown.asText = TextAt(context, -1);
    return 0;
}

// Puts the value stack back to its height at the start of a call.
class StackScope {
  public:
    explicit StackScope(duk_context* context) : context_(context), top_(duk_get_top(context)) {}
    ~StackScope() { duk_set_top(context_, top_); }
    StackScope(const StackScope&) = delete;
    StackScope& operator=(const StackScope&) = delete;

  private:
    duk_context* context_;
    duk_idx_t top_;
};

class DeadlineScope {
  public:
    DeadlineScope(duktape::ExecutionDeadline& deadline, TimeLimit limit) : deadline_(deadline) {
        deadline_.Start(limit);
    }
    ~DeadlineScope() { deadline_.Stop(); }
    DeadlineScope(const DeadlineScope&) = delete;
    DeadlineScope& operator=(const DeadlineScope&) = delete;

  private:
    duktape::ExecutionDeadline& deadline_;
};

}  // namespace

std::unique_ptr<ScriptEngine> ScriptEngine::Create() {
    std::unique_ptr<ScriptEngine> engine(new ScriptEngine());
    if (engine->context_ == nullptr) return nullptr;
    return engine;
}

ScriptEngine::ScriptEngine()
    : context_(duk_create_heap(nullptr, nullptr, nullptr, &deadline_, nullptr)) {}

ScriptEngine::~ScriptEngine() {
    if (context_ == nullptr) return;
    // Destroying the heap runs the finalizers that script code registered;
    // they are bounded like the calls were.
    DeadlineScope finalizing(deadline_, lastLimit_);
    duk_destroy_heap(context_);
}

bool ScriptEngine::CanPass(const Variant& value) {
    return value.GetKind() != Variant::Kind::Bytes && value.GetKind() != Variant::Kind::Object;
}

EngineResult ScriptEngine::Execute(std::u16string_view code, TimeLimit limit) {
    return RunSource(code, 0, limit);
}

EngineResult ScriptEngine::Evaluate(std::u16string_view expression, TimeLimit limit) {
    return RunSource(expression, DUK_COMPILE_EVAL, limit);
}

EngineResult ScriptEngine::RunSource(std::u16string_view source, unsigned compileFlags,
                                     TimeLimit limit) {
    lastLimit_ = limit;
    StackScope stack(context_);
    DeadlineScope running(deadline_, limit);
    std::string encoded = ToCesu8(source);
    if (duk_pcompile_lstring(context_, compileFlags, encoded.data(), encoded.size()) != 0) {
        return Failure(Stage::Compiling, source, limit);
    }
    if (duk_safe_call(context_, CallCompiled, nullptr, 1, 1) != DUK_EXEC_SUCCESS) {
        return Failure(Stage::Running, source, limit);
    }
    return {ResultAt(context_), std::nullopt};
}

std::optional<EngineResult> ScriptEngine::Call(std::u16string_view name,
                                               std::span<const Variant> args, TimeLimit limit) {
    lastLimit_ = limit;
    StackScope stack(context_);
    DeadlineScope running(deadline_, limit);
    CallRequest request{name, args};
    if (duk_safe_call(context_, CallGlobal, &request, 0, 1) != DUK_EXEC_SUCCESS) {
        return Failure(Stage::Running, {}, limit);
    }
    if (!request.found) return std::nullopt;
    return EngineResult{ResultAt(context_), std::nullopt};
}

EngineResult ScriptEngine::Failure(Stage stage, std::u16string_view source, TimeLimit limit) {
    if (deadline_.HasPassed() && limit) return {Variant(), DescribeTimeout(*limit)};
    ThrownValue thrown;
    duk_safe_call(context_, ReadThrown, &thrown, 1, 0);
    if (stage == Stage::Compiling) return {Variant(), DescribeSyntaxError(thrown, source)};
    return {Variant(), DescribeRuntimeError(thrown)};
}

}  // namespace tralvex::scriptcontrol
