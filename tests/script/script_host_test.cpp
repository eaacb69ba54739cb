#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "automation/calls.hpp"
#include "automation/registry.hpp"
#include "platform/codepage/codepage.hpp"
#include "platform/scriptcontrol/script_control_component.hpp"
#include "script/script_host.hpp"
#include "support/fake_component.hpp"

namespace tralvex {
namespace {

using automation::AutomationObject;
using automation::InvokeKind;
using automation::InvokeOutcome;
using automation::MakeHResult;
using automation::Variant;
using testing::FakeCall;
using testing::FakeComponent;
using testing::FakeMember;
using testing::ScopedCoInit;
using testing::ScopedFake;
using Lines = std::vector<std::string>;

const char* const kTimeAddLine =
    "call #1.ExecuteStatement(\"function gettime_add(t){\r\n\tdate=new Date;\r\n\t"
    "return(date.getTime()+t);}\r\n\")";

std::vector<FakeMember> ControlMembers() {
    return {{"Language", true, true, false}, {"Error", true, false, false},
            {"AddCode", false, false, true}, {"ExecuteStatement", false, false, true},
            {"Reset", false, false, true},   {"Run", false, false, true},
            {"Eval", false, false, true}};
}

std::vector<FakeMember> ErrorMembers() {
    std::vector<FakeMember> members;
    for (const char* name : {"Line", "Column", "Number", "Source", "Description", "Text"}) {
        members.push_back({name, true, false, false});
    }
    members.push_back({"Clear", false, false, true});
    return members;
}

InvokeOutcome Text16(std::u16string text) { return InvokeOutcome::Value(Variant(std::move(text))); }

InvokeOutcome Real(double value) { return InvokeOutcome::Value(Variant(value)); }

// A fake script control under "ScriptControl": it logs every call, answers
// from `answers` by member name, and hands out a fake error object "E" (made
// when "Error" is read, so the host holds its only reference) that logs to
// the same log and answers from `errorAnswers`.
class ScriptHostFakeTest : public ::testing::Test {
  protected:
    InvokeOutcome Answer(const FakeCall& call) {
        if (call.name == "Language" && call.kind == InvokeKind::PropertyPut) {
            initialisedDuringSetUp_ = automation::IsThreadInitialized();
        }
        if (call.name == "Error") {
            auto error = std::make_shared<FakeComponent>(
                fake_.Log(), "E", ErrorMembers(),
                [this](const FakeCall& errorCall) { return Lookup(errorAnswers_, errorCall); });
            return InvokeOutcome::Value(Variant(AutomationObject(error)));
        }
        return Lookup(answers_, call);
    }

    static InvokeOutcome Lookup(const std::map<std::string, InvokeOutcome>& answers,
                                const FakeCall& call) {
        auto it = answers.find(call.name);
        return it == answers.end() ? InvokeOutcome::Nothing() : it->second;
    }

    // The log from the first call after the initialiser's on.
    Lines CallsAfterSetUp() const {
        Lines lines = fake_.Lines();
        auto first = lines.begin() + std::min<std::size_t>(lines.size(), 4);
        return Lines(first, lines.end());
    }

    std::map<std::string, InvokeOutcome> answers_;
    std::map<std::string, InvokeOutcome> errorAnswers_;
    bool initialisedDuringSetUp_ = false;
    ScopedFake fake_{"ScriptControl", ControlMembers(),
                     [this](const FakeCall& call) { return Answer(call); }};
};

TEST_F(ScriptHostFakeTest, InitialiserInitialisesCreatesSetsJScriptAndKeepsTheErrorObject) {
    ASSERT_FALSE(automation::IsThreadInitialized());
    {
        ScriptHost host;
        EXPECT_TRUE(automation::IsThreadInitialized());
        EXPECT_TRUE(initialisedDuringSetUp_);
        EXPECT_EQ(fake_.Lines(), (Lines{"create #1", "put #1.Language(\"JScript\")",
                                        "get #1.Error()", "create E"}));
    }
    EXPECT_FALSE(automation::IsThreadInitialized());
    EXPECT_EQ(CallsAfterSetUp(), (Lines{"release #1", "release E"}));
}

TEST_F(ScriptHostFakeTest, InitialiserOnAnAlreadyInitialisedThreadLeavesItInitialised) {
    ScopedCoInit outer;
    { ScriptHost host; }
    EXPECT_TRUE(automation::IsThreadInitialized());
}

TEST_F(ScriptHostFakeTest, CopySharesTheObjectsAndBalancesItsOwnInitialisation) {
    {
        ScriptHost host;
        {
            ScriptHost copy(host);
            EXPECT_EQ(copy.ControlObject(), host.ControlObject());
            copy.AddCode("var a;");
        }
        EXPECT_TRUE(automation::IsThreadInitialized());
        host.Reset();
        EXPECT_EQ(CallsAfterSetUp(), (Lines{"call #1.AddCode(\"var a;\")", "call #1.Reset()"}));
    }
    EXPECT_FALSE(automation::IsThreadInitialized());
    EXPECT_EQ(fake_.Lines().back(), "release E");
}

TEST_F(ScriptHostFakeTest, ControlObjectIsAReferenceOfItsOwn) {
    AutomationObject control;
    {
        ScriptHost host;
        control = host.ControlObject();
        ASSERT_FALSE(control.Empty());
    }
    EXPECT_EQ(CallsAfterSetUp(), (Lines{"release E"}));
    automation::ReleaseObject(control);
    EXPECT_EQ(fake_.Lines().back(), "release #1");
}

struct MemberCase {
    const char* operation;
    std::function<void(ScriptHost&)> call;
    Lines expected;
};

TEST_F(ScriptHostFakeTest, EachOperationCallsItsMemberWithItsArguments) {
    const Text chinese = FromUtf8("中 文");
    const std::vector<MemberCase> cases = {
        {"DefineTimeAdd", [](ScriptHost& h) { h.DefineTimeAdd(); }, {kTimeAddLine}},
        {"AddCode",
         [](ScriptHost& h) { h.AddCode("var a = 1;"); },
         {"call #1.AddCode(\"var a = 1;\")"}},
        {"ExecuteStatement",
         [](ScriptHost& h) { h.ExecuteStatement("a = 2"); },
         {"call #1.ExecuteStatement(\"a = 2\")"}},
        {"Reset", [](ScriptHost& h) { h.Reset(); }, {"call #1.Reset()"}},
        {"Eval", [](ScriptHost& h) { h.Eval("1 + 1"); }, {"call #1.Eval(\"1 + 1\")"}},
        {"Reserved", [](ScriptHost& h) { h.Reserved(); }, {}},
        {"Random", [](ScriptHost& h) { h.Random(); }, {"call #1.Eval(\"Math.random()\")"}},
        {"CurrentTime",
         [](ScriptHost& h) { h.CurrentTime(); },
         {"call #1.Eval(\"new Date().getTime()\")"}},
        {"Escape",
         [&](ScriptHost& h) { h.Escape(chinese); },
         {"call #1.Run(\"escape\", \"中 文\")"}},
        {"Unescape",
         [&](ScriptHost& h) { h.Unescape(chinese); },
         {"call #1.Run(\"unescape\", \"中 文\")"}},
        {"EncodeUri",
         [&](ScriptHost& h) { h.EncodeUri(chinese); },
         {"call #1.Run(\"encodeURI\", \"中 文\")"}},
        {"DecodeUri",
         [&](ScriptHost& h) { h.DecodeUri(chinese); },
         {"call #1.Run(\"decodeURI\", \"中 文\")"}},
        {"EncodeUriComponent",
         [&](ScriptHost& h) { h.EncodeUriComponent(chinese); },
         {"call #1.Run(\"encodeURIComponent\", \"中 文\")"}},
        {"DecodeUriComponent",
         [&](ScriptHost& h) { h.DecodeUriComponent(chinese); },
         {"call #1.Run(\"decodeURIComponent\", \"中 文\")"}},
    };
    ScriptHost host;
    for (const MemberCase& c : cases) {
        fake_.Log()->Clear();
        c.call(host);
        EXPECT_EQ(fake_.Lines(), c.expected) << c.operation;
    }
}

TEST_F(ScriptHostFakeTest, RunTextAlwaysPassesFiveTexts) {
    ScriptHost host;
    answers_["Run"] = Text16(u"YWJj");
    EXPECT_EQ(host.RunText("Base64Encoding", "admin:x"), "YWJj");
    host.RunText("f", "1", "2", "3", "4", "5");
    host.RunText("g");
    EXPECT_EQ(CallsAfterSetUp(),
              (Lines{"call #1.Run(\"Base64Encoding\", \"admin:x\", \"\", \"\", \"\", \"\")",
                     "call #1.Run(\"f\", \"1\", \"2\", \"3\", \"4\", \"5\")",
                     "call #1.Run(\"g\", \"\", \"\", \"\", \"\", \"\")"}));
}

TEST_F(ScriptHostFakeTest, RunTextConvertsTheValueToText) {
    ScriptHost host;
    struct Case {
        InvokeOutcome answer;
        Text expected;
    };
    const std::vector<Case> cases = {
        {Text16(u"\u4E2D"), FromUtf8("中")},
        {Real(12.5), "12.5"},
        {Real(1700000000123.0), "1700000000123"},
        {InvokeOutcome::Value(Variant(true)), "-1"},
        {InvokeOutcome::Nothing(), ""},
        {InvokeOutcome::Raise(MakeHResult(0x800A1391)), ""},
    };
    for (const Case& c : cases) {
        answers_["Run"] = c.answer;
        EXPECT_EQ(host.RunText("f", "x"), c.expected);
    }
}

TEST_F(ScriptHostFakeTest, RunPassesOmittedAndEmptyArgumentsAsMissing) {
    ScriptHost host;
    answers_["Run"] = Real(2.0);
    EXPECT_EQ(host.Run("f", Variant(std::int32_t{1})), Variant(2.0));
    host.Run("g", Variant(), Variant(std::u16string(u"x")));
    host.Run("h");
    EXPECT_EQ(CallsAfterSetUp(),
              (Lines{"call #1.Run(\"f\", 1, missing, missing, missing, missing)",
                     "call #1.Run(\"g\", missing, \"x\", missing, missing, missing)",
                     "call #1.Run(\"h\", missing, missing, missing, missing, missing)"}));
    answers_["Run"] = InvokeOutcome::Raise(automation::kDispUnknownName);
    EXPECT_TRUE(host.Run("nothing").IsEmpty());
}

TEST_F(ScriptHostFakeTest, TimeAddDefinesTheFunctionEveryTimeThenRunsIt) {
    ScriptHost host;
    answers_["Run"] = Real(1700000001500.0);
    EXPECT_EQ(host.TimeAdd(), "1700000001500");
    EXPECT_EQ(host.TimeAdd(1500), "1700000001500");
    EXPECT_EQ(host.TimeAdd(-20), "1700000001500");
    EXPECT_EQ(CallsAfterSetUp(), (Lines{kTimeAddLine, "call #1.Run(\"gettime_add\", 0)",
                                        kTimeAddLine, "call #1.Run(\"gettime_add\", 1500)",
                                        kTimeAddLine, "call #1.Run(\"gettime_add\", -20)"}));
}

TEST_F(ScriptHostFakeTest, RandomPutsAZeroBeforeALeadingPointOnly) {
    ScriptHost host;
    struct Case {
        InvokeOutcome answer;
        Text expected;
    };
    const std::vector<Case> cases = {
        {Text16(u".5"), "0.5"},
        {Text16(u"0.5"), "0.5"},
        {Text16(u".123456789012345"), "0.123456789012345"},
        {Real(0.25), "0.25"},
        {Text16(u""), ""},
        {InvokeOutcome::Raise(automation::kFail), ""},
        {InvokeOutcome::Fail(automation::kDispMemberNotFound), ""},
    };
    for (const Case& c : cases) {
        answers_["Eval"] = c.answer;
        EXPECT_EQ(host.Random(), c.expected);
    }
}

TEST_F(ScriptHostFakeTest, ErrorTextJoinsTheThirteenPiecesReadAfresh) {
    ScriptHost host;
    errorAnswers_ = {{"Line", Real(3)},
                     {"Column", Real(5)},
                     {"Number", Real(1004)},
                     {"Source", Text16(u"Microsoft JScript compilation error")},
                     {"Description", Text16(u"缺少 ';'")},
                     {"Text", Text16(u"this is an invalid line")}};
    EXPECT_EQ(host.ErrorText(),
              FromUtf8("【第3 行，第5列 错误】【代码：1004】【源：Microsoft JScript compilation "
                       "error】【描述：缺少 ';'】【语句：this is an invalid line】"));
    EXPECT_EQ(CallsAfterSetUp(), (Lines{"get E.Line()", "get E.Column()", "get E.Number()",
                                        "get E.Source()", "get E.Description()", "get E.Text()"}));

    // Numbers as "%.13g"; a failed read gives 0 or the empty text.
    errorAnswers_ = {{"Line", Real(2.5)},
                     {"Column", Real(1234567890123.0)},
                     {"Number", Real(-2146827284.0)},
                     {"Source", InvokeOutcome::Fail(automation::kDispMemberNotFound)},
                     {"Description", Text16(u"")},
                     {"Text", Real(0.1 + 0.2)}};
    EXPECT_EQ(host.ErrorText(), FromUtf8("【第2.5 行，第1234567890123列 错误】【代码：-2146827284】"
                                         "【源：】【描述：】【语句：0.3】"));
    errorAnswers_ = {{"Line", Real(12345678901234.0)},
                     {"Column", InvokeOutcome::Raise(automation::kFail)},
                     {"Number", Text16(u"not a number")}};
    EXPECT_EQ(
        host.ErrorText(),
        FromUtf8("【第1.234567890123e+13 行，第0列 错误】【代码：0】【源：】【描述：】【语句：】"));
}

TEST_F(ScriptHostFakeTest, WithoutControlEverythingFailsSoftly) {
    fake_.FailCreation(true);
    ScriptHost host;
    EXPECT_TRUE(automation::IsThreadInitialized());
    EXPECT_TRUE(host.ControlObject().Empty());
    host.AddCode("var a;");
    host.ExecuteStatement("a = 1");
    host.Reset();
    host.DefineTimeAdd();
    EXPECT_EQ(automation::LastErrorText(), FromUtf8("对象为空"));
    EXPECT_TRUE(host.Run("f", Variant(1.0)).IsEmpty());
    EXPECT_TRUE(host.Eval("1").IsEmpty());
    EXPECT_EQ(host.RunText("f", "x"), "");
    EXPECT_EQ(host.Random(), "");
    EXPECT_EQ(host.CurrentTime(), "");
    EXPECT_EQ(host.TimeAdd(5), "");
    EXPECT_EQ(host.Escape("a b"), "");
    EXPECT_EQ(host.DecodeUriComponent("%41"), "");
    EXPECT_EQ(host.ErrorText(),
              FromUtf8("【第0 行，第0列 错误】【代码：0】【源：】【描述：】【语句：】"));
    EXPECT_TRUE(fake_.Lines().empty());
}

TEST(ScriptHostUnregisteredTest, WithoutTheComponentEverythingFailsSoftly) {
    automation::ScopedComponent unregistered("ScriptControl", nullptr);
    {
        ScriptHost host;
        EXPECT_TRUE(host.ControlObject().Empty());
        EXPECT_EQ(host.RunText("escape", "a b"), "");
        EXPECT_EQ(host.ErrorText(),
                  FromUtf8("【第0 行，第0列 错误】【代码：0】【源：】【描述：】【语句：】"));
    }
    EXPECT_FALSE(automation::IsThreadInitialized());
}

// The host on our own script control.
class ScriptHostTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { RegisterScriptControlComponent(); }
    ScriptHost host_;
};

TEST_F(ScriptHostTest, RunOfAnUndefinedNameGivesNothingAndLeavesTheHostUsable) {
    host_.AddCode("function twice(x) { return 2 * x; }");
    EXPECT_TRUE(host_.Run("nothing", Variant(1.0)).IsEmpty());
    EXPECT_EQ(host_.RunText("Twice", "4"), "");
    EXPECT_EQ(host_.ErrorText(),
              FromUtf8("【第0 行，第0列 错误】【代码：0】【源：】【描述：】【语句：】"));
    EXPECT_EQ(host_.RunText("twice", "4"), "8");
    EXPECT_EQ(host_.Run("twice", Variant(std::int32_t{21})), Variant(42.0));
}

TEST_F(ScriptHostTest, ErrorTextReportsTheControlsErrors) {
    host_.AddCode("var valid_var = 1;\n// comment\nthis is an invalid line\n");
    EXPECT_EQ(host_.ErrorText(),
              FromUtf8("【第3 行，第0列 错误】【代码：1004】【源：Microsoft JScript compilation "
                       "error】【描述：Expected ';'】【语句：this is an invalid line】"));
    host_.ExecuteStatement("undefinedFunction()");
    EXPECT_EQ(host_.ErrorText(),
              FromUtf8("【第1 行，第0列 错误】【代码：5009】【源：Microsoft JScript runtime "
                       "error】【描述：'undefinedFunction' is undefined】【语句：】"));
}

TEST_F(ScriptHostTest, TextOperationsWorkOnAnsiTexts) {
    EXPECT_EQ(host_.Escape(FromUtf8("中 文+")), "%u4E2D%20%u6587+");
    EXPECT_EQ(host_.Unescape("%u4E2D%20%u6587"), FromUtf8("中 文"));
    EXPECT_EQ(host_.EncodeUri(FromUtf8("http://a/中?x=1 2")), "http://a/%E4%B8%AD?x=1%202");
    EXPECT_EQ(host_.DecodeUri("%E4%B8%AD%3F"), FromUtf8("中%3F"));
    EXPECT_EQ(host_.EncodeUriComponent(FromUtf8("中?&")), "%E4%B8%AD%3F%26");
    EXPECT_EQ(host_.DecodeUriComponent("%E4%B8%AD%3F"), FromUtf8("中?"));
    EXPECT_EQ(host_.DecodeUriComponent("%E4%B8"), "");  // invalid: the call fails
}

TEST_F(ScriptHostTest, MegabyteTextsPassWhole) {
    const Text large(1 << 20, ' ');
    Text escaped = host_.Escape(large);
    EXPECT_EQ(escaped.size(), 3u << 20);
    EXPECT_EQ(escaped.substr(0, 6), "%20%20");
    EXPECT_EQ(host_.Unescape(escaped), large);
}

bool IsDigits(const Text& text) {
    return !text.empty() && text.find_first_not_of("0123456789") == Text::npos;
}

TEST_F(ScriptHostTest, TimeOperationsGiveMillisecondsAsWholeNumbers) {
    Text now = host_.CurrentTime();
    EXPECT_TRUE(IsDigits(now)) << now;
    EXPECT_EQ(now.size(), 13u) << now;
    for (int round = 0; round < 2; ++round) {
        Text later = host_.TimeAdd(86400000);
        EXPECT_TRUE(IsDigits(later)) << later;
        EXPECT_GT(std::strtod(later.c_str(), nullptr), std::strtod(now.c_str(), nullptr));
    }
    EXPECT_TRUE(IsDigits(host_.TimeAdd()));
}

TEST_F(ScriptHostTest, RandomIsAFractionWithItsLeadingZero) {
    for (int round = 0; round < 20; ++round) {
        Text number = host_.Random();
        ASSERT_GE(number.size(), 2u) << number;
        EXPECT_TRUE(number == "0" || number.rfind("0.", 0) == 0) << number;
        double value = std::strtod(number.c_str(), nullptr);
        EXPECT_GE(value, 0.0);
        EXPECT_LT(value, 1.0);
    }
}

}  // namespace
}  // namespace tralvex
