#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "automation/calls.hpp"
#include "automation/conversions.hpp"
#include "automation/dispatch.hpp"
#include "automation/registry.hpp"
#include "platform/codepage/codepage.hpp"
#include "platform/scriptcontrol/script_control_component.hpp"
#include "support/fake_component.hpp"

namespace tralvex::automation {

// Readable values in failure messages.
void PrintTo(const Variant& value, std::ostream* out) { *out << testing::Describe(value); }

}  // namespace tralvex::automation

namespace tralvex {
namespace {

using automation::AutomationObject;
using automation::CallMethod;
using automation::GetProperty;
using automation::HResult;
using automation::LastCallOutcome;
using automation::MakeHResult;
using automation::PutProperty;
using automation::Variant;
using testing::ScopedCoInit;

constexpr HResult kInvalidPropertyValue = MakeHResult(0x800A017C);
constexpr HResult kAbort = MakeHResult(0x80004004);

Variant U16(std::u16string text) { return Variant(std::move(text)); }

// The code the last call raised; kOk when it raised nothing.
HResult RaisedCode() {
    const automation::CallOutcome& outcome = LastCallOutcome();
    return outcome.hr == automation::kDispException ? outcome.exceptionCode : outcome.hr;
}

struct ErrorFields {
    double number = 0;
    Text source;
    Text description;
    Text text;
    double line = 0;
    double column = 0;
};

ErrorFields ReadError(const AutomationObject& error) {
    return {GetProperty<double>(error, "Number"),    GetProperty<Text>(error, "Source"),
            GetProperty<Text>(error, "Description"), GetProperty<Text>(error, "Text"),
            GetProperty<double>(error, "Line"),      GetProperty<double>(error, "Column")};
}

class ScriptControlTest : public ::testing::Test {
  protected:
    void SetUp() override {
        RegisterScriptControlComponent();
        ASSERT_TRUE(automation::CreateObject(control_, "ScriptControl"));
        error_ = GetProperty<AutomationObject>(control_, "Error");
        ASSERT_FALSE(error_.Empty());
    }

    void SetJScript() { ASSERT_TRUE(PutProperty(control_, "Language", {}, "JScript")); }

    Variant Eval(const Variant& expression) {
        return CallMethod<Variant>(control_, "Eval", {expression});
    }
    Variant Eval(const char* expression) { return Eval(U16(AnsiToUtf16(expression))); }

    ScopedCoInit init_;
    AutomationObject control_;
    AutomationObject error_;
};

TEST_F(ScriptControlTest, EveryScriptMemberFailsUntilALanguageIsSet) {
    EXPECT_EQ(GetProperty<Text>(control_, "Language"), "");
    CallMethod(control_, "AddCode", {"var a = 1;"});
    EXPECT_EQ(RaisedCode(), automation::kFail);
    CallMethod(control_, "ExecuteStatement", {"a = 1"});
    EXPECT_EQ(RaisedCode(), automation::kFail);
    EXPECT_TRUE(Eval("1").IsEmpty());
    EXPECT_EQ(RaisedCode(), automation::kFail);
    EXPECT_TRUE(CallMethod<Variant>(control_, "Run", {"escape", "a b"}).IsEmpty());
    EXPECT_EQ(RaisedCode(), automation::kFail);
    CallMethod(control_, "Reset");
    EXPECT_EQ(RaisedCode(), automation::kFail);
}

TEST_F(ScriptControlTest, LanguageIsMatchedRegardlessOfCaseAndReadBackCanonical) {
    for (const char* name : {"jscript", "JSCRIPT", "JScript"}) {
        EXPECT_TRUE(PutProperty(control_, "Language", {}, name)) << name;
        EXPECT_EQ(GetProperty<Text>(control_, "Language"), "JScript") << name;
    }
}

TEST_F(ScriptControlTest, UnknownLanguageFailsAndKeepsTheLanguageAndItsCode) {
    SetJScript();
    CallMethod(control_, "AddCode", {"function one() { return 1; }"});
    for (const char* name : {"VBScript", "Perl", "JScript "}) {
        EXPECT_FALSE(PutProperty(control_, "Language", {}, name)) << name;
        EXPECT_EQ(RaisedCode(), kInvalidPropertyValue) << name;
    }
    EXPECT_EQ(GetProperty<Text>(control_, "Language"), "JScript");
    EXPECT_EQ(CallMethod<double>(control_, "Run", {"one"}), 1.0);
}

TEST_F(ScriptControlTest, SettingTheLanguageAgainDropsTheCodeAndEmptySetsNone) {
    SetJScript();
    CallMethod(control_, "AddCode", {"function one() { return 1; }"});
    SetJScript();
    CallMethod<Variant>(control_, "Run", {"one"});
    EXPECT_EQ(RaisedCode(), automation::kDispUnknownName);

    EXPECT_TRUE(PutProperty(control_, "Language", {}, ""));
    EXPECT_EQ(GetProperty<Text>(control_, "Language"), "");
    Eval("1");
    EXPECT_EQ(RaisedCode(), automation::kFail);
}

TEST_F(ScriptControlTest, ErrorIsOneObjectThatStartsEmpty) {
    EXPECT_EQ(GetProperty<AutomationObject>(control_, "Error"), error_);
    SetJScript();
    Eval("nope");
    EXPECT_EQ(GetProperty<AutomationObject>(control_, "Error"), error_);
    EXPECT_NE(ReadError(error_).number, 0);

    AutomationObject fresh;
    ASSERT_TRUE(automation::CreateObject(fresh, "ScriptControl"));
    ErrorFields initial = ReadError(GetProperty<AutomationObject>(fresh, "Error"));
    EXPECT_EQ(initial.number, 0);
    EXPECT_EQ(initial.source, "");
    EXPECT_EQ(initial.description, "");
    EXPECT_EQ(initial.text, "");
    EXPECT_EQ(initial.line, 0);
    EXPECT_EQ(initial.column, 0);
}

TEST_F(ScriptControlTest, SyntaxErrorFillsTheErrorObject) {
    SetJScript();
    CallMethod(control_, "AddCode", {"var valid_var = 1;\n// comment\nthis is an invalid line\n"});
    EXPECT_EQ(LastCallOutcome().hr, automation::kDispException);
    EXPECT_EQ(LastCallOutcome().exceptionCode, MakeHResult(0x800A03EC));
    EXPECT_EQ(LastCallOutcome().description, u"Expected ';'");
    ErrorFields error = ReadError(error_);
    EXPECT_EQ(error.number, 1004);
    EXPECT_EQ(error.source, "Microsoft JScript compilation error");
    EXPECT_EQ(error.description, "Expected ';'");
    EXPECT_EQ(error.text, "this is an invalid line");
    EXPECT_EQ(error.line, 3);
    EXPECT_EQ(error.column, 0);  // Duktape reports no column
    // Nothing of the failed code ran.
    EXPECT_EQ(Eval("typeof valid_var"), U16(u"undefined"));
}

struct SyntaxCase {
    const char* code;
    double number;
    double line;
    const char* text;
};

void PrintTo(const SyntaxCase& c, std::ostream* out) { *out << c.code; }

class SyntaxErrorTest : public ScriptControlTest,
                        public ::testing::WithParamInterface<SyntaxCase> {};

TEST_P(SyntaxErrorTest, GivesJScriptNumberLineAndSourceLine) {
    SetJScript();
    const SyntaxCase& c = GetParam();
    CallMethod(control_, "ExecuteStatement", {c.code});
    EXPECT_EQ(RaisedCode(), MakeHResult(0x800A0000u | static_cast<std::uint32_t>(c.number)));
    ErrorFields error = ReadError(error_);
    EXPECT_EQ(error.number, c.number);
    EXPECT_EQ(error.line, c.line);
    EXPECT_EQ(error.text, c.text);
    EXPECT_EQ(error.source, "Microsoft JScript compilation error");
    EXPECT_NE(error.description, "");
    EXPECT_EQ(error.description.find("(line"), Text::npos) << error.description;
}

INSTANTIATE_TEST_SUITE_P(Cases, SyntaxErrorTest,
                         ::testing::Values(SyntaxCase{"invalid syntax", 1004, 1, "invalid syntax"},
                                           SyntaxCase{"var x = 1\r\nthis is\r\n", 1004, 2,
                                                      "this is"},
                                           SyntaxCase{"a = 1;\rb = 'open\r", 1015, 2, "b = 'open"},
                                           SyntaxCase{"f(1,\n\n2", 1002, 3, "2"},
                                           SyntaxCase{"var 1x = 2;", 1002, 1, "var 1x = 2;"},
                                           SyntaxCase{"x = {\n a: 1\n b: 2\n}", 1002, 3, " b: 2"},
                                           SyntaxCase{"/* open", 1002, 1, "/* open"}));

TEST_F(ScriptControlTest, RuntimeErrorFillsTheErrorObject) {
    SetJScript();
    CallMethod(control_, "AddCode", {"function f() {\n    return nope;\n}"});
    EXPECT_EQ(RaisedCode(), automation::kOk);
    CallMethod<Variant>(control_, "Run", {"f"});
    EXPECT_EQ(LastCallOutcome().hr, automation::kDispException);
    EXPECT_EQ(LastCallOutcome().exceptionCode, MakeHResult(0x800A1391));
    ErrorFields error = ReadError(error_);
    EXPECT_EQ(error.number, 5009);
    EXPECT_EQ(error.source, "Microsoft JScript runtime error");
    EXPECT_EQ(error.description, "'nope' is undefined");
    EXPECT_EQ(error.text, "");
    EXPECT_EQ(error.line, 2);
    EXPECT_EQ(error.column, 0);
}

struct RuntimeCase {
    const char* code;
    double number;
    const char* description;  // null: only checked to be there
};

void PrintTo(const RuntimeCase& c, std::ostream* out) { *out << c.code; }

class RuntimeErrorTest : public ScriptControlTest,
                         public ::testing::WithParamInterface<RuntimeCase> {};

TEST_P(RuntimeErrorTest, GivesJScriptNumberAndDescription) {
    SetJScript();
    const RuntimeCase& c = GetParam();
    CallMethod(control_, "ExecuteStatement", {c.code});
    EXPECT_EQ(RaisedCode(), MakeHResult(0x800A0000u | static_cast<std::uint32_t>(c.number)));
    std::u16string raisedDescription = LastCallOutcome().description;
    ErrorFields error = ReadError(error_);
    EXPECT_EQ(error.number, c.number);
    EXPECT_EQ(error.source, "Microsoft JScript runtime error");
    if (c.description) {
        EXPECT_EQ(error.description, c.description);
    } else {
        EXPECT_NE(error.description, "");
    }
    EXPECT_EQ(raisedDescription, AnsiToUtf16(error.description));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RuntimeErrorTest,
    ::testing::Values(
        RuntimeCase{"nope()", 5009, "'nope' is undefined"},
        RuntimeCase{"var q = 3; q()", 5002, "Function expected"},
        RuntimeCase{"({}).missing()", 438, "Object doesn't support this property or method"},
        RuntimeCase{"var n = null; n.x", 5007, nullptr},
        RuntimeCase{"function r() { r(); } r()", 28, "Out of stack space"},
        RuntimeCase{"encodeURI('\\uD800')", 5024,
                    "The URI to be encoded contains an invalid character"},
        RuntimeCase{"decodeURIComponent('%E0%A4%A')", 5025,
                    "The URI to be decoded is not a valid encoding"},
        RuntimeCase{"throw 'boom'", 5022, "boom"},
        RuntimeCase{"throw new Error('bang')", 5022, "bang"},
        RuntimeCase{"throw { toString: function () { return 'own text'; } }", 5022, "own text"},
        RuntimeCase{"new RegExp('(')", 1002, nullptr}));

TEST_F(ScriptControlTest, ErrorLineOfAThrowInsideAddedCode) {
    SetJScript();
    CallMethod(control_, "AddCode", {"function f() {\n\n    throw new Error('third');\n}"});
    CallMethod(control_, "Run", {"f"});
    ErrorFields error = ReadError(error_);
    EXPECT_EQ(error.description, "third");
    EXPECT_EQ(error.line, 3);
}

TEST_F(ScriptControlTest, ClearEmptiesTheErrorAndTheNextCallStartsClean) {
    SetJScript();
    Eval("nope");
    CallMethod(error_, "Clear");
    ErrorFields cleared = ReadError(error_);
    EXPECT_EQ(cleared.number, 0);
    EXPECT_EQ(cleared.source, "");
    EXPECT_EQ(cleared.description, "");
    EXPECT_EQ(cleared.line, 0);

    Eval("nope");
    ASSERT_EQ(ReadError(error_).number, 5009);
    EXPECT_EQ(Eval("1 + 1"), Variant(2.0));
    EXPECT_EQ(ReadError(error_).number, 0);
    EXPECT_EQ(ReadError(error_).description, "");
}

TEST_F(ScriptControlTest, RunCallsAFunctionOfTheAddedCodeWithItsArguments) {
    SetJScript();
    CallMethod(control_, "AddCode",
               {"function subtract(a, b) { return a - b; }\n"
                "function count() { return arguments.length; }"});
    EXPECT_EQ(CallMethod<Variant>(control_, "Run", {"subtract", 10, 3}), Variant(7.0));
    EXPECT_EQ(CallMethod<Variant>(control_, "Run", {"subtract", 2.5, "1"}), Variant(1.5));
    EXPECT_EQ(CallMethod<Variant>(control_, "Run", {"count", 1, 2, 3, 4, 5, 6, 7}), Variant(7.0));
    EXPECT_EQ(CallMethod<Variant>(control_, "Run", {"count"}), Variant(0.0));
}

TEST_F(ScriptControlTest, RunOfAnUnknownOrDifferentlyCasedNameFailsAndLeavesTheControlUsable) {
    SetJScript();
    CallMethod(control_, "AddCode", {"function subtract(a, b) { return a - b; }"});
    for (const char* name : {"Subtract", "nothing", "Escape", ""}) {
        EXPECT_TRUE(CallMethod<Variant>(control_, "Run", {name, 1, 2}).IsEmpty()) << name;
        EXPECT_EQ(RaisedCode(), automation::kDispUnknownName) << name;
        EXPECT_EQ(ReadError(error_).number, 0) << name;
    }
    EXPECT_EQ(CallMethod<Variant>(control_, "Run", {"subtract", 10, 3}), Variant(7.0));
}

TEST_F(ScriptControlTest, MissingAndEmptyArgumentsArriveAsUndefined) {
    SetJScript();
    CallMethod(control_, "AddCode",
               {"function kinds(a, b, c) { return typeof a + ',' + typeof b + ',' + typeof c; }"});
    // The call layer passes an empty Variant as a missing argument ...
    EXPECT_EQ(CallMethod<Variant>(control_, "Run", {"kinds", Variant(), true}),
              U16(u"undefined,boolean,undefined"));
    // ... and a caller of the component's own interface may pass it as it is.
    automation::Dispatch* dispatch = control_.GetDispatch();
    automation::DispId run = dispatch->GetTypeInfo()->FindId(u"Run");
    std::vector<Variant> args{U16(u"kinds"), Variant(), Variant(automation::MissingArgument{}),
                              Variant(std::int32_t{1})};
    automation::InvokeOutcome outcome = dispatch->Invoke(run, automation::InvokeKind::Method, args);
    EXPECT_EQ(outcome.hr, automation::kOk);
    EXPECT_EQ(outcome.result, U16(u"undefined,undefined,number"));
}

TEST_F(ScriptControlTest, ArgumentsWithoutScriptValueAreRefused) {
    SetJScript();
    CallMethod<Variant>(control_, "Run", {"escape", automation::BytesToVariant({1, 2})});
    EXPECT_EQ(LastCallOutcome().hr, automation::kDispTypeMismatch);
    CallMethod<Variant>(control_, "Run", {"escape", Variant(control_)});
    EXPECT_EQ(LastCallOutcome().hr, automation::kDispTypeMismatch);
    CallMethod(control_, "AddCode");
    EXPECT_EQ(LastCallOutcome().hr, automation::kDispParamNotOptional);
}

struct GlobalCase {
    const char* function;
    std::u16string argument;
    std::u16string expected;
};

void PrintTo(const GlobalCase& c, std::ostream* out) {
    *out << c.function << "(" << Utf16ToUtf8(c.argument) << ")";
}

class GlobalFunctionTest : public ScriptControlTest,
                           public ::testing::WithParamInterface<GlobalCase> {};

TEST_P(GlobalFunctionTest, GivesTheKnownValue) {
    SetJScript();
    const GlobalCase& c = GetParam();
    EXPECT_EQ(CallMethod<Variant>(control_, "Run", {c.function, U16(c.argument)}), U16(c.expected))
        << c.function;
    EXPECT_EQ(RaisedCode(), automation::kOk);
}

INSTANTIATE_TEST_SUITE_P(
    KnownValues, GlobalFunctionTest,
    ::testing::Values(GlobalCase{"escape", u"a1b c!d+e@*-_+./,", u"a1b%20c%21d+e@*-_+./%2C"},
                      GlobalCase{"escape", u"\u1234\123\xf3", u"%u1234S%F3"},
                      GlobalCase{"escape", u"\u4E2D\U0001F600", u"%u4E2D%uD83D%uDE00"},
                      GlobalCase{"unescape", u"%54%65s%u0074", u"Test"},
                      GlobalCase{"unescape", u"%%%", u"%%%"},
                      GlobalCase{"unescape", u"%u4E2D%zz%4", u"\u4E2D%zz%4"},
                      GlobalCase{"encodeURI", u"{abc}", u"%7Babc%7D"},
                      GlobalCase{"encodeURI", u"\xa1 ", u"%C2%A1%20"},
                      GlobalCase{"encodeURI", u";/?:@&=+$,-_.!~*'()#", u";/?:@&=+$,-_.!~*'()#"},
                      GlobalCase{"encodeURI", u"\U0001F600", u"%F0%9F%98%80"},
                      GlobalCase{"encodeURIComponent", u";/?:@&=+$,",
                                 u"%3B%2F%3F%3A%40%26%3D%2B%24%2C"},
                      GlobalCase{"encodeURIComponent", u"-_.!~*'()", u"-_.!~*'()"},
                      GlobalCase{"encodeURIComponent", u"\u4E2D", u"%E4%B8%AD"},
                      GlobalCase{"decodeURI", u"%3B%2F%23%41%E4%B8%AD", u"%3B%2F%23A\u4E2D"},
                      GlobalCase{"decodeURIComponent", u"%3B%2F%23%41%E4%B8%AD", u";/#A\u4E2D"},
                      GlobalCase{"decodeURIComponent", u"%F0%9F%98%80", u"\U0001F600"}));

TEST_F(ScriptControlTest, EscapeWithoutArgumentEscapesUndefined) {
    SetJScript();
    EXPECT_EQ(CallMethod<Variant>(control_, "Run", {"escape"}), U16(u"undefined"));
}

TEST_F(ScriptControlTest, EvalGivesEachKindOfValue) {
    SetJScript();
    EXPECT_EQ(Eval("var1 = 1 + 1"), Variant(2.0));
    EXPECT_EQ(Eval("var2 = 10 + var1"), Variant(12.0));
    EXPECT_EQ(Eval("\"Hello\""), U16(u"Hello"));
    EXPECT_EQ(Eval("1 < 2"), Variant(true));
    EXPECT_EQ(Eval("1 > 2"), Variant(false));
    EXPECT_EQ(Eval("undefined"), Variant());
    EXPECT_EQ(Eval("null"), Variant());
    EXPECT_EQ(Eval("0.1 + 0.2"), Variant(0.1 + 0.2));
    EXPECT_EQ(Eval("1e21"), Variant(1e21));
    EXPECT_EQ(Eval("-0.5"), Variant(-0.5));
    Variant notANumber = Eval("0 / 0");
    const double* nan = notANumber.GetIf<double>();
    ASSERT_NE(nan, nullptr);
    EXPECT_TRUE(std::isnan(*nan));
    EXPECT_EQ(Eval("[1, 2, 3]"), U16(u"1,2,3"));
    EXPECT_EQ(Eval("({ toString: function () { return 'own'; } })"), U16(u"own"));
    EXPECT_EQ(Eval("''"), U16(u""));
}

TEST_F(ScriptControlTest, TextsKeepEveryCodeUnit) {
    SetJScript();
    EXPECT_EQ(Eval(FromUtf8("'中文' + '\\u00e9'").c_str()), U16(u"中文é"));
    EXPECT_EQ(Eval(FromUtf8("'中文'.length").c_str()), Variant(2.0));
    EXPECT_EQ(Eval("'\\uD83D\\uDE00'"), U16(u"\U0001F600"));
    EXPECT_EQ(Eval(U16(u"'\U0001F600'.length")), Variant(2.0));
    EXPECT_EQ(Eval("'\\uD800x'"), U16(u"\xD800x"));  // a lone surrogate stays
    EXPECT_EQ(Eval("'a\\u0000b'.length"), Variant(3.0));
    EXPECT_EQ(Eval("String.fromCharCode(0x10041)"), U16(u"A"));  // 16 bits, as JScript
}

TEST_F(ScriptControlTest, VariablesAndStatementsPersistBetweenCalls) {
    SetJScript();
    CallMethod(
        control_, "ExecuteStatement",
        {"function gettime_add(t){\r\n\tdate=new Date;\r\n\treturn(date.getTime()+t);}\r\n"});
    EXPECT_EQ(RaisedCode(), automation::kOk);
    EXPECT_EQ(Eval("typeof gettime_add"), U16(u"function"));
    Variant later = CallMethod<Variant>(control_, "Run", {"gettime_add", 1000});
    ASSERT_NE(later.GetIf<double>(), nullptr);
    double now = *Eval("new Date().getTime()").GetIf<double>();
    EXPECT_GT(*later.GetIf<double>(), 1.6e12);
    EXPECT_EQ(std::floor(*later.GetIf<double>()), *later.GetIf<double>());
    EXPECT_GT(now, 1.6e12);
    EXPECT_EQ(Eval("typeof date"), U16(u"object"));  // assigned as a global
}

TEST_F(ScriptControlTest, ResetDropsTheAddedCodeAndKeepsTheLanguage) {
    SetJScript();
    CallMethod(control_, "AddCode", {"function one() { return 1; } var kept = 5;"});
    CallMethod(control_, "Reset");
    EXPECT_EQ(RaisedCode(), automation::kOk);
    EXPECT_EQ(GetProperty<Text>(control_, "Language"), "JScript");
    CallMethod<Variant>(control_, "Run", {"one"});
    EXPECT_EQ(RaisedCode(), automation::kDispUnknownName);
    EXPECT_EQ(Eval("typeof kept"), U16(u"undefined"));
    EXPECT_EQ(CallMethod<Variant>(control_, "Run", {"escape", " "}), U16(u"%20"));
}

TEST_F(ScriptControlTest, TimeoutDefaultsToTenSecondsAndRefusesValuesBelowMinusOne) {
    EXPECT_EQ(GetProperty<double>(control_, "Timeout"), 10000);
    EXPECT_TRUE(PutProperty(control_, "Timeout", {}, -1));
    EXPECT_EQ(GetProperty<double>(control_, "Timeout"), -1);
    EXPECT_FALSE(PutProperty(control_, "Timeout", {}, -2));
    EXPECT_EQ(RaisedCode(), kInvalidPropertyValue);
    EXPECT_EQ(GetProperty<double>(control_, "Timeout"), -1);
    EXPECT_TRUE(PutProperty(control_, "Timeout", {}, 0));
    EXPECT_EQ(GetProperty<double>(control_, "Timeout"), 0);
}

class EndlessScriptTest : public ScriptControlTest {
  protected:
    void SetUp() override {
        ScriptControlTest::SetUp();
        SetJScript();
        ASSERT_TRUE(PutProperty(control_, "Timeout", {}, 100));
    }

    void ExpectStopped(const char* what) {
        EXPECT_EQ(RaisedCode(), kAbort) << what;
        ErrorFields error = ReadError(error_);
        EXPECT_EQ(error.number, static_cast<double>(kAbort)) << what;
        EXPECT_NE(error.description.find("100 ms"), Text::npos) << error.description;
        // The control works on afterwards.
        EXPECT_EQ(Eval("1 + 1"), Variant(2.0)) << what;
    }
};

TEST_F(EndlessScriptTest, EachKindOfCallIsStoppedAfterTheTimeout) {
    CallMethod(control_, "ExecuteStatement", {"for (;;) {}"});
    ExpectStopped("ExecuteStatement");
    CallMethod(control_, "AddCode", {"while (true) {}"});
    ExpectStopped("AddCode");
    Eval("(function () { for (;;) {} })()");
    ExpectStopped("Eval");
    CallMethod(control_, "AddCode", {"function spin() { for (;;) {} }"});
    CallMethod<Variant>(control_, "Run", {"spin"});
    ExpectStopped("Run");
}

TEST_F(EndlessScriptTest, ScriptCannotCatchTheStop) {
    CallMethod(control_, "ExecuteStatement",
               {"for (;;) { try { for (;;) {} } catch (e) {} finally { continue; } }"});
    ExpectStopped("catch and finally");
}

TEST_F(EndlessScriptTest, ThrownValueWhoseGetterLoopsIsStoppedToo) {
    CallMethod(control_, "ExecuteStatement",
               {"var e = new Error('x');"
                "Object.defineProperty(e, 'message', { get: function () { for (;;) {} } });"
                "throw e;"});
    EXPECT_EQ(LastCallOutcome().hr, automation::kDispException);
    EXPECT_EQ(Eval("1 + 1"), Variant(2.0));
}

TEST_F(EndlessScriptTest, LoopingFinalizerDoesNotHoldUpTheControlsEnd) {
    CallMethod(control_, "AddCode",
               {"var keep = {}; Duktape.fin(keep, function () { for (;;) {} });"});
    ASSERT_EQ(RaisedCode(), automation::kOk);
    automation::ReleaseObject(control_);
    EXPECT_TRUE(control_.Empty());
}

TEST_F(ScriptControlTest, LargeTextsPassWhole) {
    SetJScript();
    const std::u16string large(1 << 20, u'\u4E2D');
    CallMethod(control_, "AddCode", {"function len(s) { return s.length; }"});
    EXPECT_EQ(CallMethod<Variant>(control_, "Run", {"len", U16(large)}), Variant(1048576.0));
    Variant escaped = CallMethod<Variant>(control_, "Run", {"escape", U16(large)});
    ASSERT_NE(escaped.GetIf<std::u16string>(), nullptr);
    EXPECT_EQ(escaped.GetIf<std::u16string>()->size(), 6u << 20);
    EXPECT_EQ(escaped.GetIf<std::u16string>()->substr(0, 12), u"%u4E2D%u4E2D");

    // A megabyte of source in one string literal.
    std::u16string source = u"var big = '" + std::u16string(1 << 20, u'x') + u"'; big.length";
    EXPECT_EQ(Eval(U16(source)), Variant(1048576.0));
}

TEST_F(ScriptControlTest, DeeplyNestedSourceFailsAsAnError) {
    SetJScript();
    std::string nested(100000, '(');
    nested += "1";
    nested += std::string(100000, ')');
    Eval(nested.c_str());
    EXPECT_EQ(LastCallOutcome().hr, automation::kDispException);
    EXPECT_NE(ReadError(error_).number, 0);
    EXPECT_EQ(Eval("1 + 1"), Variant(2.0));
}

TEST_F(ScriptControlTest, RegisteredUnderThePlatformProgIds) {
    for (const char* progId :
         {"ScriptControl", "MSScriptControl.ScriptControl", "MSScriptControl.ScriptControl.1"}) {
        AutomationObject other;
        ASSERT_TRUE(automation::CreateObject(other, progId)) << progId;
        EXPECT_TRUE(PutProperty(other, "Language", {}, "JScript")) << progId;
    }
}

}  // namespace
}  // namespace tralvex
