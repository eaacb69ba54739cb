#include <gtest/gtest.h>

#include <thread>

#include "automation/calls.hpp"
#include "automation/conversions.hpp"
#include "automation/registry.hpp"
#include "platform/codepage/codepage.hpp"
#include "support/fake_component.hpp"

namespace tralvex::automation {
namespace {

using testing::FakeCall;
using testing::FakeMember;
using testing::ScopedCoInit;
using testing::ScopedFake;

const char* kProgId = "Test.Fake";

std::vector<FakeMember> Members() {
    return {{"Value", true, true, false, 2},
            {"Run", false, false, true, 3},
            {"GetOnly", true, false, false, 1},
            {"CallOnly", false, false, true, 1}};
}

TEST(CreationTest, NeedsTheThreadToHaveInitialised) {
    ScopedFake fake(kProgId, Members());
    AutomationObject object;
    EXPECT_FALSE(CreateObject(object, kProgId));
    EXPECT_TRUE(IsEmptyObject(object));
    EXPECT_TRUE(fake.Lines().empty());
}

TEST(CreationTest, UnknownProgIdLeavesTheHandleAsItWas) {
    ScopedFake fake(kProgId, Members());
    ScopedCoInit init;
    AutomationObject object;
    ASSERT_TRUE(CreateObject(object, kProgId));
    AutomationObject before = object;
    EXPECT_FALSE(CreateObject(object, "No.Such.Thing"));
    EXPECT_EQ(object, before);
}

TEST(CreationTest, ProgIdIgnoresCaseAndNewObjectReplacesOld) {
    ScopedFake fake(kProgId, Members());
    ScopedCoInit init;
    AutomationObject object;
    ASSERT_TRUE(CreateObject(object, "test.FAKE"));
    ASSERT_TRUE(CreateObject(object, kProgId));
    EXPECT_EQ(fake.Lines(), (std::vector<std::string>{"create #1", "create #2", "release #1"}));
}

TEST(CreationTest, InitialisationIsCountedPerThread) {
    EXPECT_EQ(CoInitialize(), kOk);
    EXPECT_EQ(CoInitialize(), kFalse);
    std::thread other([] { EXPECT_FALSE(IsThreadInitialized()); });
    other.join();
    CoUninitialize();
    EXPECT_TRUE(IsThreadInitialized());
    CoUninitialize();
    EXPECT_FALSE(IsThreadInitialized());
}

TEST(HandleTest, CopyTakesAReferenceAndReleaseDropsIt) {
    ScopedFake fake(kProgId, Members());
    ScopedCoInit init;
    AutomationObject object;
    ASSERT_TRUE(CreateObject(object, kProgId));
    AutomationObject copy = CopyObject(object);
    ReleaseObject(object);
    EXPECT_TRUE(IsEmptyObject(object));
    EXPECT_FALSE(IsEmptyObject(copy));
    EXPECT_EQ(fake.Lines().back(), "create #1");
    ReleaseObject(copy);
    EXPECT_EQ(fake.Lines().back(), "release #1");
}

class CallTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(CreateObject(object_, kProgId)); }

    InvokeOutcome next_;
    ScopedFake fake_{kProgId, Members(), [this](const FakeCall&) { return next_; }};
    ScopedCoInit init_;
    AutomationObject object_;
};

TEST_F(CallTest, GetBindsToPropertyElseMethodAndCallTheOtherWay) {
    GetProperty<void>(object_, "value");
    GetProperty<void>(object_, "CallOnly");
    CallMethod<void>(object_, "Run");
    CallMethod<void>(object_, "GetOnly");
    EXPECT_EQ(fake_.Lines(),
              (std::vector<std::string>{"create #1", "get #1.Value()", "call #1.CallOnly()",
                                        "call #1.Run()", "get #1.GetOnly()"}));
}

TEST_F(CallTest, ArgumentsAreConvertedByKind) {
    Variant empty;
    CallMethod<void>(object_, "Run", {std::int32_t{7}, true, 2.5});
    CallMethod<void>(object_, "Run", {FromUtf8("配置"), Text(), empty});
    CallMethod<void>(object_, "Run", {BytesToVariant(Bytes{1, 2, 3})});
    PutProperty(object_, "Value", {}, "x");
    EXPECT_EQ(fake_.Lines(),
              (std::vector<std::string>{"create #1", "call #1.Run(7, true, 2.5)",
                                        "call #1.Run(\"配置\", \"\", missing)",
                                        "call #1.Run(bytes[3])", "put #1.Value(\"x\")"}));
}

TEST_F(CallTest, ResultsComeBackAsTheKindAskedFor) {
    next_ = InvokeOutcome::Value(Variant(std::u16string(u"现在")));
    EXPECT_EQ(GetProperty<Text>(object_, "Value"), FromUtf8("现在"));
    next_ = InvokeOutcome::Value(Variant(42.9));
    EXPECT_EQ(GetProperty<double>(object_, "Value"), 42.9);
    EXPECT_EQ(GetProperty<Text>(object_, "Value"), "42.9");
    next_ = InvokeOutcome::Value(Variant(std::int32_t{-3}));
    EXPECT_EQ(GetProperty<double>(object_, "Value"), -3.0);
    EXPECT_TRUE(GetProperty<bool>(object_, "Value"));
    next_ = InvokeOutcome::Value(Variant(std::u16string(u"17")));
    EXPECT_EQ(GetProperty<double>(object_, "Value"), 17.0);
    next_ = InvokeOutcome::Value(Variant(AutomationObject(object_)));
    EXPECT_EQ(GetProperty<AutomationObject>(object_, "Value"), object_);
    EXPECT_EQ(LastErrorText(), "");
}

struct OutcomeCase {
    HResult hr;
    const char* text;
};

class OutcomeTextTest : public CallTest, public ::testing::WithParamInterface<OutcomeCase> {};

TEST_P(OutcomeTextTest, EachOutcomeHasItsText) {
    next_ = GetParam().hr == kDispException ? InvokeOutcome::Raise(MakeHResult(0x80072EFD))
                                            : InvokeOutcome::Fail(GetParam().hr);
    EXPECT_EQ(GetProperty<Text>(object_, "Value"), "");
    EXPECT_EQ(LastErrorText(), FromUtf8(GetParam().text));
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, OutcomeTextTest,
    ::testing::Values(OutcomeCase{kOk, ""}, OutcomeCase{kDispBadParamCount, "参数数目错误"},
                      OutcomeCase{kDispBadVarType, "参数类型值无效"},
                      OutcomeCase{kDispException, "发现异常"},
                      OutcomeCase{kDispMemberNotFound, "未找到指定成员"},
                      OutcomeCase{kDispNoNamedArgs, "不支持命名参数"},
                      OutcomeCase{kDispOverflow, "溢出"},
                      OutcomeCase{kDispParamNotFound, "未找到指定参数"},
                      OutcomeCase{kDispTypeMismatch, "类型不匹配"},
                      OutcomeCase{kDispParamNotOptional, "必需的参数数据被省略"},
                      OutcomeCase{kInvalidArg, "其他原因调用失败"},
                      OutcomeCase{kDispBadIndex, "其他原因调用失败"}));

TEST_F(CallTest, FailuresFoundByTheLayerHaveTheirTexts) {
    AutomationObject empty;
    EXPECT_EQ(GetProperty<Text>(empty, "Value"), "");
    EXPECT_EQ(LastErrorText(), FromUtf8("对象为空"));

    EXPECT_FALSE(PutProperty(object_, "Nope", {}, true));
    EXPECT_EQ(LastErrorText(), FromUtf8("未找到指定属性或方法"));

    EXPECT_EQ(GetProperty<double>(object_, "GetOnly", {1, 2}), 0.0);
    EXPECT_EQ(LastErrorText(), FromUtf8("提供了过多的参数"));

    CallMethod<void>(object_, "Run", {Bytes{1}});
    EXPECT_EQ(LastErrorText(), FromUtf8("参数数据类型错误"));

    // The name exists but has no put: the object refuses the member.
    EXPECT_FALSE(PutProperty(object_, "GetOnly", {}, 1));
    EXPECT_EQ(LastErrorText(), FromUtf8("未找到指定成员"));

    next_ = InvokeOutcome::Value(Variant(std::u16string(u"abc")));
    EXPECT_EQ(GetProperty<double>(object_, "Value"), 0.0);
    EXPECT_EQ(LastErrorText(), FromUtf8("执行成功，但返回值类型不匹配"));
    EXPECT_TRUE(IsEmptyObject(GetProperty<AutomationObject>(object_, "Value")));
    EXPECT_EQ(LastErrorText(), FromUtf8("执行成功，但返回值类型不匹配"));
    EXPECT_EQ(fake_.Lines().size(), 3u);  // create and the two gets; nothing else ran
}

TEST(NoInterfaceTest, ObjectsWithoutCallInterfaceOrDescriptionFail) {
    struct Plain : Unknown {};
    struct Undescribed : Dispatch {
        const TypeInfo* GetTypeInfo() const override { return nullptr; }
        InvokeOutcome Invoke(DispId, InvokeKind, std::span<const Variant>) override { return {}; }
    };
    CallMethod<void>(AutomationObject(std::make_shared<Plain>()), "X");
    EXPECT_EQ(LastErrorText(), FromUtf8("指定对象没有调用接口"));
    CallMethod<void>(AutomationObject(std::make_shared<Undescribed>()), "X");
    EXPECT_EQ(LastErrorText(), FromUtf8("指定对象没有类型信息"));
}

TEST_F(CallTest, LastErrorIsPerThreadAndLeftAloneByCreationAndConversions) {
    AutomationObject empty;
    CallMethod<void>(empty, "Run");
    std::thread other([] { EXPECT_EQ(LastErrorText(), ""); });
    other.join();
    AutomationObject again;
    CreateObject(again, kProgId);
    CreateObject(again, "No.Such.Thing");
    EXPECT_EQ(VariantToText(Variant(true)), "-1");
    EXPECT_EQ(LastErrorText(), FromUtf8("对象为空"));
    CallMethod<void>(object_, "Run");
    EXPECT_EQ(LastErrorText(), "");
}

TEST_F(CallTest, RaisedErrorKeepsTheMembersCode) {
    next_ = InvokeOutcome::Raise(MakeHResult(0x80072EFD), u"refused");
    CallMethod<void>(object_, "Run");
    EXPECT_EQ(LastCallOutcome().hr, kDispException);
    EXPECT_EQ(LastCallOutcome().exceptionCode, MakeHResult(0x80072EFD));
    EXPECT_EQ(LastCallOutcome().description, u"refused");
}

struct TextCase {
    Variant value;
    Text expected;
};

TEST(ConversionTest, VariantToTextFollowsTheAutomationRules) {
    const std::vector<TextCase> cases = {
        {Variant(), ""},
        {Variant(true), "-1"},
        {Variant(false), "0"},
        {Variant(std::int32_t{-12}), "-12"},
        {Variant(0.5), "0.5"},
        {Variant(1e21), "1E+21"},
        {Variant(1e15), "1E+15"},
        {Variant(123456789012345.0), "123456789012345"},
        {Variant(1234567890123456.0), "1.23456789012346E+15"},
        {Variant(1e-5), "1E-05"},
        {Variant(0.0001), "0.0001"},
        {Variant(0.1 + 0.2), "0.3"},
        {Variant(1.7e12), "1700000000000"},
        {Variant(-0.0), "0"},
        {Variant(std::u16string(u"配置")), "\xC5\xE4\xD6\xC3"},
        {Variant(MissingArgument{}), ""},
        {BytesToVariant(Bytes{'a'}), ""},
    };
    for (const TextCase& c : cases) {
        EXPECT_EQ(VariantToText(c.value), c.expected) << testing::Describe(c.value);
    }
}

TEST(ConversionTest, BytesOnlyFromByteArrays) {
    Variant array = BytesToVariant(Bytes{0, 255, 7});
    EXPECT_EQ(array.GetIf<ByteArray>()->lowerBound, 1);
    EXPECT_EQ(VariantToBytes(array), (Bytes{0, 255, 7}));
    EXPECT_EQ(VariantToBytes(BytesToVariant(Bytes{})), Bytes{});
    EXPECT_EQ(array.GetKind(), Variant::Kind::Bytes);
    EXPECT_TRUE(VariantToBytes(Variant(std::u16string(u"abc"))).empty());
    ClearVariant(array);
    EXPECT_TRUE(array.IsEmpty());

    // Taking the bytes out of a value given up leaves it empty; a value that
    // holds no bytes gives none and is emptied all the same.
    Variant given = BytesToVariant(Bytes{1, 2});
    EXPECT_EQ(VariantToBytes(std::move(given)), (Bytes{1, 2}));
    EXPECT_TRUE(given.IsEmpty());  // NOLINT(bugprone-use-after-move)
    Variant text(std::u16string(u"abc"));
    EXPECT_TRUE(VariantToBytes(std::move(text)).empty());
    EXPECT_TRUE(text.IsEmpty());  // NOLINT(bugprone-use-after-move)
}

TEST(ConversionTest, NumbersAndBooleansFromOtherKinds) {
    EXPECT_EQ(ToInt32(Variant(2.5)), 2);  // half to even
    EXPECT_EQ(ToInt32(Variant(3.5)), 4);
    EXPECT_EQ(ToInt32(Variant(1e12)), std::nullopt);
    EXPECT_EQ(ToInt32(Variant(std::u16string(u" 60 "))), 60);
    EXPECT_EQ(ToReal(Variant(std::u16string(u"x1"))), std::nullopt);
    EXPECT_EQ(ToBool(Variant(std::u16string(u"True"))), true);
    EXPECT_EQ(ToBool(Variant(std::int32_t{0})), false);
    EXPECT_EQ(ToBool(Variant()), false);
    EXPECT_EQ(ToBool(Variant(AutomationObject())), std::nullopt);
}

}  // namespace
}  // namespace tralvex::automation
