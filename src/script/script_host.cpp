#include "script/script_host.hpp"

#include "automation/calls.hpp"
#include "automation/conversions.hpp"
#include "automation/registry.hpp"
#include "platform/codepage/codepage.hpp"

namespace tralvex {
namespace {

using automation::AutomationObject;
using automation::CallMethod;
using automation::GetProperty;
using automation::Variant;

constexpr const char* kScriptControlProgId = "ScriptControl";

constexpr const char* kTimeAddStatement =
    "function gettime_add(t){\r\n\tdate=new Date;\r\n\treturn(date.getTime()+t);}\r\n";

// The fixed pieces of ErrorText, written here as UTF-8 and made ANSI once.
struct ErrorTextPieces {
    Text beforeLine = FromUtf8("【第");
    Text beforeColumn = FromUtf8(" 行，第");
    Text beforeNumber = FromUtf8("列 错误】【代码：");
    Text beforeSource = FromUtf8("】【源：");
    Text beforeDescription = FromUtf8("】【描述：");
    Text beforeStatement = FromUtf8("】【语句：");
    Text end = FromUtf8("】");
};

const ErrorTextPieces& Pieces() {
    static const ErrorTextPieces pieces;
    return pieces;
}

Text NumberProperty(const AutomationObject& object, const char* name) {
    return RealToText(GetProperty<double>(object, name));
}

}  // namespace

ScriptHost::ScriptHost() {
    automation::CoInitialize();
    automation::CreateObject(control, kScriptControlProgId);
    automation::PutProperty(control, "Language", {}, "JScript");
    errorObject = GetProperty<AutomationObject>(control, "Error");
}

ScriptHost::~ScriptHost() {
    automation::ReleaseObject(control);
    automation::ReleaseObject(errorObject);
    automation::CoUninitialize();
}

ScriptHost::ScriptHost(const ScriptHost& source)
    : control(automation::CopyObject(source.control)),
      errorObject(automation::CopyObject(source.errorObject)) {
    automation::CoInitialize();
}

void ScriptHost::DefineTimeAdd() { CallMethod(control, "ExecuteStatement", {kTimeAddStatement}); }

Text ScriptHost::ErrorText() const {
    // Read one after the other, in this order: the operands of one long
    // concatenation would be read in an unspecified order.
    Text line = NumberProperty(errorObject, "Line");
    Text column = NumberProperty(errorObject, "Column");
    Text number = NumberProperty(errorObject, "Number");
    Text source = GetProperty<Text>(errorObject, "Source");
    Text description = GetProperty<Text>(errorObject, "Description");
    Text statement = GetProperty<Text>(errorObject, "Text");
    const ErrorTextPieces& pieces = Pieces();
    return pieces.beforeLine + line + pieces.beforeColumn + column + pieces.beforeNumber + number +
           pieces.beforeSource + source + pieces.beforeDescription + description +
           pieces.beforeStatement + statement + pieces.end;
}

AutomationObject ScriptHost::ControlObject() const { return automation::CopyObject(control); }

void ScriptHost::AddCode(const Text& code) { CallMethod(control, "AddCode", {code}); }

void ScriptHost::ExecuteStatement(const Text& statement) {
    CallMethod(control, "ExecuteStatement", {statement});
}

void ScriptHost::Reset() { CallMethod(control, "Reset"); }

Variant ScriptHost::Run(const Text& name, const Variant& a1, const Variant& a2, const Variant& a3,
                        const Variant& a4, const Variant& a5) {
    return CallMethod<Variant>(control, "Run", {name, a1, a2, a3, a4, a5});
}

Variant ScriptHost::Eval(const Text& expression) {
    return CallMethod<Variant>(control, "Eval", {expression});
}

void ScriptHost::Reserved() {}

Text ScriptHost::RunText(const Text& name, const Text& t1, const Text& t2, const Text& t3,
                         const Text& t4, const Text& t5) {
    Variant result = CallMethod<Variant>(control, "Run", {name, t1, t2, t3, t4, t5});
    Text text = automation::VariantToText(result);
    automation::ClearVariant(result);
    return text;
}

Text ScriptHost::Random() {
    Text number = CallMethod<Text>(control, "Eval", {"Math.random()"});
    if (!number.empty() && number.front() == '.') return Text("0") + number;
    return number;
}

Text ScriptHost::CurrentTime() {
    return CallMethod<Text>(control, "Eval", {"new Date().getTime()"});
}

Text ScriptHost::TimeAdd(std::int32_t offset) {
    DefineTimeAdd();
    return CallMethod<Text>(control, "Run", {"gettime_add", offset});
}

Text ScriptHost::Escape(const Text& text) { return RunGlobal("escape", text); }

Text ScriptHost::Unescape(const Text& text) { return RunGlobal("unescape", text); }

Text ScriptHost::EncodeUri(const Text& text) { return RunGlobal("encodeURI", text); }

Text ScriptHost::DecodeUri(const Text& text) { return RunGlobal("decodeURI", text); }

Text ScriptHost::EncodeUriComponent(const Text& text) {
    return RunGlobal("encodeURIComponent", text);
}

Text ScriptHost::DecodeUriComponent(const Text& text) {
    return RunGlobal("decodeURIComponent", text);
}

Text ScriptHost::RunGlobal(const char* function, const Text& text) {
    return CallMethod<Text>(control, "Run", {function, text});
}

}  // namespace tralvex
