#include "automation/calls.hpp"

#include <algorithm>
#include <optional>
#include <vector>

#include "automation/conversions.hpp"
#include "automation/dispatch.hpp"
#include "platform/codepage/codepage.hpp"

namespace tralvex::automation {
namespace {

// Outcomes found by this layer itself, before or after the member runs.
enum class LayerError {
    None,
    EmptyHandle,
    NoDispatch,
    NoTypeInfo,
    NameNotFound,
    TooManyArgs,
    BytesArgument,
    ResultMismatch,
};

struct ThreadError {
    CallOutcome outcome;
    Text text;
};

thread_local ThreadError lastError;

Text LayerErrorText(LayerError error) {
    switch (error) {
        case LayerError::None:
            return {};
        case LayerError::EmptyHandle:
            return FromUtf8("对象为空");
        case LayerError::NoDispatch:
            return FromUtf8("指定对象没有调用接口");
        case LayerError::NoTypeInfo:
            return FromUtf8("指定对象没有类型信息");
        case LayerError::NameNotFound:
            return FromUtf8("未找到指定属性或方法");
        case LayerError::TooManyArgs:
            return FromUtf8("提供了过多的参数");
        case LayerError::BytesArgument:
            return FromUtf8("参数数据类型错误");
        case LayerError::ResultMismatch:
            return FromUtf8("执行成功，但返回值类型不匹配");
    }
    return {};
}

Text OutcomeText(HResult hr) {
    switch (hr) {
        case kOk:
            return {};
        case kDispBadParamCount:
            return FromUtf8("参数数目错误");
        case kDispBadVarType:
            return FromUtf8("参数类型值无效");
        case kDispException:
            return FromUtf8("发现异常");
        case kDispMemberNotFound:
            return FromUtf8("未找到指定成员");
        case kDispNoNamedArgs:
            return FromUtf8("不支持命名参数");
        case kDispOverflow:
            return FromUtf8("溢出");
        case kDispParamNotFound:
            return FromUtf8("未找到指定参数");
        case kDispTypeMismatch:
            return FromUtf8("类型不匹配");
        case kDispParamNotOptional:
            return FromUtf8("必需的参数数据被省略");
        default:
            return FromUtf8("其他原因调用失败");
    }
}

// A result that cannot be converted keeps the outcome of the call, which
// succeeded; every other error of this layer means the member never ran.
void SetLayerError(LayerError error) {
    if (error != LayerError::ResultMismatch) lastError.outcome = {kFail, kOk, {}};
    lastError.text = LayerErrorText(error);
}

void SetOutcome(const InvokeOutcome& outcome) {
    lastError.outcome = {outcome.hr, outcome.exceptionCode, outcome.description};
    lastError.text = OutcomeText(outcome.hr);
}

enum class CallKind { Get, Put, Method };

// The member kind a call binds to: the preferred kind when the object has it
// under this name, else the fallback, else the preferred one (which the
// object then refuses).
InvokeKind Bind(const TypeInfo& info, DispId id, CallKind call) {
    switch (call) {
        case CallKind::Put:
            return InvokeKind::PropertyPut;
        case CallKind::Get:
            if (info.Find(id, InvokeKind::PropertyGet)) return InvokeKind::PropertyGet;
            if (info.Find(id, InvokeKind::Method)) return InvokeKind::Method;
            return InvokeKind::PropertyGet;
        case CallKind::Method:
            if (info.Find(id, InvokeKind::Method)) return InvokeKind::Method;
            if (info.Find(id, InvokeKind::PropertyGet)) return InvokeKind::PropertyGet;
            return InvokeKind::Method;
    }
    return InvokeKind::Method;
}

// A member name in UTF-16. Names are short ASCII words, looked up on every
// call: those are widened in place, without an allocation.
class MemberName {
  public:
    explicit MemberName(std::string_view name) {
        bool ascii = name.size() <= sizeof inPlace_ / sizeof inPlace_[0] &&
                     std::all_of(name.begin(), name.end(), [](char c) { return !IsLeadByte(c); });
        if (!ascii) {
            converted_ = AnsiToUtf16(name);
            view_ = converted_;
            return;
        }
        std::copy(name.begin(), name.end(), inPlace_);
        view_ = std::u16string_view(inPlace_, name.size());
    }
    MemberName(const MemberName&) = delete;
    MemberName& operator=(const MemberName&) = delete;

    std::u16string_view View() const { return view_; }

  private:
    char16_t inPlace_[32];
    std::u16string converted_;
    std::u16string_view view_;
};

// Runs one call; the result is there when the call succeeded.
std::optional<Variant> Invoke(const AutomationObject& object, std::string_view name, Args args,
                              const Arg* putValue, CallKind call) {
    if (object.Empty()) {
        SetLayerError(LayerError::EmptyHandle);
        return std::nullopt;
    }
    Dispatch* dispatch = object.GetDispatch();
    if (!dispatch) {
        SetLayerError(LayerError::NoDispatch);
        return std::nullopt;
    }
    const TypeInfo* info = dispatch->GetTypeInfo();
    if (!info) {
        SetLayerError(LayerError::NoTypeInfo);
        return std::nullopt;
    }
    DispId id = info->FindId(MemberName(name).View());
    if (id < 0) {
        SetLayerError(LayerError::NameNotFound);
        return std::nullopt;
    }
    InvokeKind kind = Bind(*info, id, call);

    std::vector<Variant> values;
    values.reserve(args.size() + 1);
    for (const Arg& arg : args) {
        if (arg.IsBytes()) {
            SetLayerError(LayerError::BytesArgument);
            return std::nullopt;
        }
        values.push_back(arg.Take());
    }
    if (putValue) {
        if (putValue->IsBytes()) {
            SetLayerError(LayerError::BytesArgument);
            return std::nullopt;
        }
        values.push_back(putValue->Take());
    }
    if (const MemberDesc* member = info->Find(id, kind);
        member && static_cast<int>(values.size()) > member->maxArgs) {
        SetLayerError(LayerError::TooManyArgs);
        return std::nullopt;
    }

    InvokeOutcome outcome = dispatch->Invoke(id, kind, values);
    SetOutcome(outcome);
    if (outcome.hr != kOk) return std::nullopt;
    return std::move(outcome.result);
}

template <typename R>
R Convert(std::optional<Variant> result);

template <typename R, typename Optional>
R ValueOrMismatch(Optional converted) {
    if (converted) return *converted;
    SetLayerError(LayerError::ResultMismatch);
    return R{};
}

template <>
void Convert<void>(std::optional<Variant>) {}

template <>
Variant Convert<Variant>(std::optional<Variant> result) {
    return result ? std::move(*result) : Variant{};
}

template <>
Text Convert<Text>(std::optional<Variant> result) {
    if (!result) return {};
    std::optional<std::u16string> text = ToString16(*result);
    return text ? Utf16ToAnsi(*text) : ValueOrMismatch<Text>(std::optional<Text>{});
}

template <>
double Convert<double>(std::optional<Variant> result) {
    return result ? ValueOrMismatch<double>(ToReal(*result)) : 0.0;
}

template <>
bool Convert<bool>(std::optional<Variant> result) {
    return result ? ValueOrMismatch<bool>(ToBool(*result)) : false;
}

template <>
AutomationObject Convert<AutomationObject>(std::optional<Variant> result) {
    if (!result) return {};
    const AutomationObject* object = result->GetIf<AutomationObject>();
    return ValueOrMismatch<AutomationObject>(object ? std::optional(*object) : std::nullopt);
}

}  // namespace

Arg::Arg(const char* value) : value_(AnsiToUtf16(value ? value : "")) {}

Arg::Arg(const Text& value) : value_(AnsiToUtf16(value)) {}

Arg::Arg(const Bytes&) : isBytes_(true) {}

Arg::Arg(const Variant& value) : value_(value.IsEmpty() ? Variant(MissingArgument{}) : value) {}

template <typename R>
R GetProperty(const AutomationObject& object, std::string_view name, Args args) {
    return Convert<R>(Invoke(object, name, args, nullptr, CallKind::Get));
}

bool PutProperty(const AutomationObject& object, std::string_view name, Args args,
                 const Arg& value) {
    return Invoke(object, name, args, &value, CallKind::Put).has_value();
}

template <typename R>
R CallMethod(const AutomationObject& object, std::string_view name, Args args) {
    return Convert<R>(Invoke(object, name, args, nullptr, CallKind::Method));
}

#define TRALVEX_INSTANTIATE_CALLS(R)                                            \
    template R GetProperty<R>(const AutomationObject&, std::string_view, Args); \
    template R CallMethod<R>(const AutomationObject&, std::string_view, Args);

TRALVEX_INSTANTIATE_CALLS(void)
TRALVEX_INSTANTIATE_CALLS(Text)
TRALVEX_INSTANTIATE_CALLS(double)
TRALVEX_INSTANTIATE_CALLS(bool)
TRALVEX_INSTANTIATE_CALLS(AutomationObject)
TRALVEX_INSTANTIATE_CALLS(Variant)

#undef TRALVEX_INSTANTIATE_CALLS

Text LastErrorText() { return lastError.text; }

const CallOutcome& LastCallOutcome() { return lastError.outcome; }

}  // namespace tralvex::automation
