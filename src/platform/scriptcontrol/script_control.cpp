#include "platform/scriptcontrol/script_control.hpp"

#include <limits>
#include <optional>

#include "automation/conversions.hpp"

namespace tralvex::scriptcontrol {
namespace {

using automation::AutomationObject;
using automation::HResult;
using automation::InvokeKind;
using automation::InvokeOutcome;
using automation::MakeHResult;
using automation::Variant;

constexpr HResult kInvalidPropertyValue = MakeHResult(0x800A017C);  // CTL_E_INVALIDPROPERTYVALUE
constexpr std::int32_t kNoTimeout = -1;
constexpr int kAnyNumberOfArgs = std::numeric_limits<int>::max();

constexpr std::u16string_view kLanguageName = u"JScript";

InvokeOutcome NoLanguage() {
    return InvokeOutcome::Raise(automation::kFail,
                                u"The operation could not be completed because the script engine "
                                u"has not been initialized to a valid language.");
}

InvokeOutcome InvalidPropertyValue() {
    return InvokeOutcome::Raise(kInvalidPropertyValue, u"Invalid property value");
}

InvokeOutcome NoEngine() {
    return InvokeOutcome::Raise(automation::kOutOfMemory, u"Out of memory");
}

bool IsLanguageName(std::u16string_view name) {
    if (name.size() != kLanguageName.size()) return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        auto lower = [](char16_t c) {
            return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
        };
        if (lower(name[i]) != lower(kLanguageName[i])) return false;
    }
    return true;
}

// A required text argument: missing fails with DISP_E_PARAMNOTOPTIONAL, a
// value without a text form with DISP_E_TYPEMISMATCH.
std::optional<InvokeOutcome> TextArgument(const Variant& value, std::u16string& text) {
    if (value.IsMissing()) return InvokeOutcome::Fail(automation::kDispParamNotOptional);
    std::optional<std::u16string> converted = automation::ToString16(value);
    if (!converted) return InvokeOutcome::Fail(automation::kDispTypeMismatch);
    text = std::move(*converted);
    return std::nullopt;
}

}  // namespace

const automation::DispatchTable<ScriptControl>& ScriptControl::Table() {
    static const automation::DispatchTable<ScriptControl> table{
        {"Language", InvokeKind::PropertyGet, 0, &ScriptControl::GetLanguage},
        {"Language", InvokeKind::PropertyPut, 1, &ScriptControl::PutLanguage},
        {"Timeout", InvokeKind::PropertyGet, 0, &ScriptControl::GetTimeout},
        {"Timeout", InvokeKind::PropertyPut, 1, &ScriptControl::PutTimeout},
        {"Error", InvokeKind::PropertyGet, 0, &ScriptControl::GetError},
        {"AddCode", InvokeKind::Method, 1, &ScriptControl::AddCode},
        {"ExecuteStatement", InvokeKind::Method, 1, &ScriptControl::ExecuteStatement},
        {"Eval", InvokeKind::Method, 1, &ScriptControl::Eval},
        {"Run", InvokeKind::Method, kAnyNumberOfArgs, &ScriptControl::Run},
        {"Reset", InvokeKind::Method, 0, &ScriptControl::Reset},
    };
    return table;
}

const automation::TypeInfo* ScriptControl::GetTypeInfo() const { return &Table().GetTypeInfo(); }

InvokeOutcome ScriptControl::Invoke(automation::DispId id, InvokeKind kind, Args args) {
    return Table().Invoke(*this, id, kind, args);
}

InvokeOutcome ScriptControl::GetLanguage(Args) {
    return InvokeOutcome::Value(Variant(std::u16string(engine_ ? kLanguageName : u"")));
}

// Setting the language, even the same one again, starts with a new engine:
// the code added so far is dropped. The empty text sets no language.
InvokeOutcome ScriptControl::PutLanguage(Args args) {
    std::optional<std::u16string> name = automation::ToString16(automation::ArgAt(args, 0));
    if (!name) return InvokeOutcome::Fail(automation::kDispTypeMismatch);
    if (name->empty()) {
        engine_.reset();
        return InvokeOutcome::Nothing();
    }
    if (!IsLanguageName(*name)) return InvalidPropertyValue();
    std::unique_ptr<ScriptEngine> engine = ScriptEngine::Create();
    if (!engine) return NoEngine();
    engine_ = std::move(engine);
    return InvokeOutcome::Nothing();
}

InvokeOutcome ScriptControl::GetTimeout(Args) { return InvokeOutcome::Value(Variant(timeoutMs_)); }

InvokeOutcome ScriptControl::PutTimeout(Args args) {
    std::optional<std::int32_t> timeout = automation::ToInt32(automation::ArgAt(args, 0));
    if (!timeout) return InvokeOutcome::Fail(automation::kDispTypeMismatch);
    if (*timeout < kNoTimeout) return InvalidPropertyValue();
    timeoutMs_ = *timeout;
    return InvokeOutcome::Nothing();
}

InvokeOutcome ScriptControl::GetError(Args) {
    return InvokeOutcome::Value(Variant(AutomationObject(error_)));
}

template <typename Action>
InvokeOutcome ScriptControl::WithSource(Args args, Action action) {
    if (!engine_) return NoLanguage();
    std::u16string source;
    if (std::optional<InvokeOutcome> refused = TextArgument(automation::ArgAt(args, 0), source)) {
        return std::move(*refused);
    }
    error_->Clear();
    return action(source);
}

InvokeOutcome ScriptControl::AddCode(Args args) {
    return WithSource(args, [this](const std::u16string& code) {
        InvokeOutcome outcome = Report(engine_->Execute(code, CallLimit()));
        outcome.result.Clear();
        return outcome;
    });
}

InvokeOutcome ScriptControl::ExecuteStatement(Args args) { return AddCode(args); }

InvokeOutcome ScriptControl::Eval(Args args) {
    return WithSource(args, [this](const std::u16string& expression) {
        return Report(engine_->Evaluate(expression, CallLimit()));
    });
}

InvokeOutcome ScriptControl::Run(Args args) {
    return WithSource(args, [this, args](const std::u16string& name) {
        Args callArgs = args.subspan(1);
        for (const Variant& arg : callArgs) {
            if (!ScriptEngine::CanPass(arg))
                return InvokeOutcome::Fail(automation::kDispTypeMismatch);
        }
        std::optional<EngineResult> result = engine_->Call(name, callArgs, CallLimit());
        if (!result) return InvokeOutcome::Raise(automation::kDispUnknownName, u"Unknown name.");
        return Report(std::move(*result));
    });
}

InvokeOutcome ScriptControl::Reset(Args) {
    if (!engine_) return NoLanguage();
    std::unique_ptr<ScriptEngine> engine = ScriptEngine::Create();
    if (!engine) return NoEngine();
    engine_ = std::move(engine);
    return InvokeOutcome::Nothing();
}

InvokeOutcome ScriptControl::Report(EngineResult result) {
    if (!result.error) return InvokeOutcome::Value(std::move(result.value));
    HResult code = result.error->code;
    std::u16string description = result.error->description;
    error_->Set(std::move(*result.error));
    return InvokeOutcome::Raise(code, std::move(description));
}

TimeLimit ScriptControl::CallLimit() const {
    if (timeoutMs_ == kNoTimeout) return std::nullopt;
    return std::chrono::milliseconds(timeoutMs_);
}

}  // namespace tralvex::scriptcontrol
