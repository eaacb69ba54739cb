#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "automation/conversions.hpp"
#include "automation/registry.hpp"
#include "changer/login_cookie.hpp"
#include "platform/codepage/codepage.hpp"
#include "platform/scriptcontrol/script_control_component.hpp"
#include "script/script_host.hpp"
#include "support/fake_component.hpp"

namespace tralvex {
namespace {

using automation::InvokeOutcome;
using automation::Variant;
using testing::FakeMember;
using testing::ScopedFake;
using Lines = std::vector<std::string>;

const Text kPrefix = "Authorization=Basic%20";

// Standard Base64 (RFC 4648, with padding), written here independently of the
// script under test.
std::string Base64(const std::vector<std::uint8_t>& bytes) {
    static const char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        std::uint32_t group = std::uint32_t{bytes[i]} << 16;
        if (i + 1 < bytes.size()) group |= std::uint32_t{bytes[i + 1]} << 8;
        if (i + 2 < bytes.size()) group |= bytes[i + 2];
        out += alphabet[(group >> 18) & 63];
        out += alphabet[(group >> 12) & 63];
        out += i + 1 < bytes.size() ? alphabet[(group >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? alphabet[group & 63] : '=';
    }
    return out;
}

std::vector<std::uint8_t> Ascii(std::string_view text) { return {text.begin(), text.end()}; }

// The cookie for a password whose encoded bytes are `passwordBytes`.
Text ExpectedCookie(const std::vector<std::uint8_t>& passwordBytes) {
    std::vector<std::uint8_t> bytes = Ascii("admin:");
    bytes.insert(bytes.end(), passwordBytes.begin(), passwordBytes.end());
    return kPrefix + Base64(bytes);
}

class LoginCookieTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { RegisterScriptControlComponent(); }
};

TEST_F(LoginCookieTest, TheTestsEncoderMatchesHandWorkedValues) {
    EXPECT_EQ(Base64(Ascii("")), "");
    EXPECT_EQ(Base64(Ascii("abc")), "YWJj");
    EXPECT_EQ(Base64({0xC3, 0xA9}), "w6k=");
    EXPECT_EQ(Base64(Ascii("a\nb")), "YQpi");
    EXPECT_EQ(Base64(Ascii("admin:")), "YWRtaW46");
    EXPECT_EQ(Base64(Ascii("admin:admin")), "YWRtaW46YWRtaW4=");
    EXPECT_EQ(Base64(Ascii("admin:a")), "YWRtaW46YQ==");
}

struct CookieCase {
    const char* label;
    Text password;
    std::vector<std::uint8_t> encodedBytes;  // of the password, built by hand
};

TEST_F(LoginCookieTest, CookieForEachKindOfPassword) {
    const std::vector<CookieCase> cases = {
        {"empty", "", {}},
        {"one byte: two pad characters", "a", Ascii("a")},
        {"two bytes: one pad character", "ab", Ascii("ab")},
        {"three bytes: no padding", "abc", Ascii("abc")},
        {"ASCII", "Tp-Link_2024", Ascii("Tp-Link_2024")},
        {"punctuation and blanks", " !\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~ ",
         Ascii(" !\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~ ")},
        {"Chinese: three bytes a character",
         FromUtf8("中文密码"),
         {0xE4, 0xB8, 0xAD, 0xE6, 0x96, 0x87, 0xE5, 0xAF, 0x86, 0xE7, 0xA0, 0x81}},
        {"two-byte character", FromUtf8("é"), {0xC3, 0xA9}},
        {"CR LF as LF", "a\r\nb", Ascii("a\nb")},
        {"lone CR stays", "a\rb", Ascii("a\rb")},
        {"CR before CR LF", "\r\r\n", Ascii("\r\n")},
        {"LF CR stays", "\n\r", Ascii("\n\r")},
        {"mixed", FromUtf8("pw中\r\n1"), {'p', 'w', 0xE4, 0xB8, 0xAD, '\n', '1'}},
    };
    for (const CookieCase& c : cases) {
        EXPECT_EQ(MakeLoginCookie(c.password), ExpectedCookie(c.encodedBytes)) << c.label;
    }
    EXPECT_EQ(MakeLoginCookie(""), "Authorization=Basic%20YWRtaW46");
    EXPECT_EQ(MakeLoginCookie("admin"), "Authorization=Basic%20YWRtaW46YWRtaW4=");
}

TEST_F(LoginCookieTest, PasswordIsLeftUnchanged) {
    const Text password = FromUtf8("中\r\n");
    Text copy = password;
    MakeLoginCookie(copy);
    EXPECT_EQ(copy, password);
}

class LoginScriptTest : public LoginCookieTest {
  protected:
    void SetUp() override { host_.AddCode(Text(LoginScript)); }
    ScriptHost host_;
};

TEST_F(LoginScriptTest, WorkedExamples) {
    EXPECT_EQ(host_.RunText("Base64Encoding", "abc"), "YWJj");
    EXPECT_EQ(host_.RunText("Base64Encoding", FromUtf8("é")), "w6k=");
    EXPECT_EQ(host_.RunText("Base64Encoding", "a\r\nb"), "YQpi");
    EXPECT_EQ(host_.RunText("Base64Encoding", "a\nb"), "YQpi");
    EXPECT_EQ(host_.RunText("Base64Encoding", ""), "");
}

TEST_F(LoginScriptTest, CharacterOutsideTheBmpBecomesSixBytes) {
    // U+1F600 cannot be written in code page 936, so it goes in as UTF-16:
    // D83D DE00, each code unit as three bytes: ED A0 BD, ED B8 80.
    const Variant grinning(std::u16string(u"\U0001F600"));
    EXPECT_EQ(host_.Run("utf8_encode", grinning),
              Variant(std::u16string(u"\u00ED\u00A0\u00BD\u00ED\u00B8\u0080")));
    EXPECT_EQ(host_.Run("Base64Encoding", grinning), Variant(std::u16string(u"7aC97biA")));
    EXPECT_EQ(Base64({0xED, 0xA0, 0xBD, 0xED, 0xB8, 0x80}), "7aC97biA");
    EXPECT_NE(Base64({0xF0, 0x9F, 0x98, 0x80}), "7aC97biA");  // not UTF-8's four bytes
}

TEST_F(LoginScriptTest, EncodesEachCodeUnitByItsRange) {
    struct Case {
        std::u16string input;
        std::u16string bytes;
    };
    const std::vector<Case> cases = {
        {u"\u007F", u"\u007F"},
        {u"\u0080", u"\u00C2\u0080"},
        {u"\u07FF", u"\u00DF\u00BF"},
        {u"\u0800", u"\u00E0\u00A0\u0080"},
        {u"\uFFFF", u"\u00EF\u00BF\u00BF"},
        {u"\xDC00", u"\u00ED\u00B0\u0080"},  // a lone low surrogate
        {std::u16string(1, u'\0'), std::u16string(1, u'\0')},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(host_.Run("utf8_encode", Variant(c.input)), Variant(c.bytes))
            << static_cast<unsigned>(c.input[0]);
    }
}

TEST(LoginScriptTextTest, IsJScriptWithLfBreaksDefiningTheTwoFunctionsInOrder) {
    EXPECT_EQ(LoginScript.find('\r'), std::string_view::npos);
    std::size_t base64 = LoginScript.find("function Base64Encoding(input)");
    std::size_t utf8 = LoginScript.find("function utf8_encode(string)");
    ASSERT_NE(base64, std::string_view::npos);
    ASSERT_NE(utf8, std::string_view::npos);
    EXPECT_LT(base64, utf8);
    EXPECT_NE(
        LoginScript.find(
            "var keyStr = \"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=\""),
        std::string_view::npos);
}

TEST_F(LoginCookieTest, AddingTheScriptDefinesItsTwoFunctionsAndRunsNothing) {
    ScriptHost host;
    const Text globals =
        "(function () { var names = []; for (var name in this) names.push(name); "
        "return names.join(','); })()";
    Text before = automation::VariantToText(host.Eval(globals));
    host.AddCode(Text(LoginScript));
    EXPECT_EQ(host.ErrorText(),
              FromUtf8("【第0 行，第0列 错误】【代码：0】【源：】【描述：】【语句：】"));
    Text after = automation::VariantToText(host.Eval(globals));
    EXPECT_EQ(after, (before.empty() ? "" : before + ",") + "Base64Encoding,utf8_encode");
}

// Long enough that a script quadratic in the length would run into the
// control's time-out, short enough to stay far below it in every build.
TEST_F(LoginCookieTest, LongPasswordIsEncodedWhole) {
    const Text password(256 << 10, 'x');
    EXPECT_EQ(MakeLoginCookie(password), ExpectedCookie(Ascii(password)));
}

TEST_F(LoginCookieTest, OverlappingCallsOnTwoThreadsEachGetTheirOwnHost) {
    const Text password = FromUtf8("中文");
    const Text expected = ExpectedCookie({0xE4, 0xB8, 0xAD, 0xE6, 0x96, 0x87});
    std::vector<Text> results[2];
    auto work = [&](std::vector<Text>& out) {
        for (int i = 0; i < 20; ++i) out.push_back(MakeLoginCookie(password));
    };
    std::thread first(work, std::ref(results[0]));
    std::thread second(work, std::ref(results[1]));
    first.join();
    second.join();
    for (const std::vector<Text>& out : results) {
        ASSERT_EQ(out.size(), 20u);
        for (const Text& cookie : out) EXPECT_EQ(cookie, expected);
    }
}

std::vector<FakeMember> ControlMembers() {
    return {{"Language", true, true, false},
            {"Error", true, false, false},
            {"AddCode", false, false, true},
            {"Run", false, false, true}};
}

TEST(LoginCookieCallsTest, MakesAHostAddsTheScriptRunsBase64EncodingAndEndsTheHost) {
    ScopedFake fake("ScriptControl", ControlMembers(), [](const testing::FakeCall& call) {
        if (call.name == "Run") return InvokeOutcome::Value(Variant(std::u16string(u"ENCODED")));
        return InvokeOutcome::Nothing();
    });
    EXPECT_EQ(MakeLoginCookie(FromUtf8("密码")), "Authorization=Basic%20ENCODED");
    EXPECT_EQ(fake.Lines(), (Lines{"create #1", "put #1.Language(\"JScript\")", "get #1.Error()",
                                   "call #1.AddCode(\"" + std::string(LoginScript) + "\")",
                                   "call #1.Run(\"Base64Encoding\", \"admin:密码\", \"\", \"\", "
                                   "\"\", \"\")",
                                   "release #1"}));
    EXPECT_FALSE(automation::IsThreadInitialized());
}

TEST(LoginCookieCallsTest, FailingScriptHostGivesTheBarePrefix) {
    {
        ScopedFake fake("ScriptControl", ControlMembers());
        fake.FailCreation(true);
        EXPECT_EQ(MakeLoginCookie("secret"), "Authorization=Basic%20");
    }
    {
        automation::ScopedComponent unregistered("ScriptControl", nullptr);
        EXPECT_EQ(MakeLoginCookie("secret"), "Authorization=Basic%20");
    }
    {
        ScopedFake fake("ScriptControl", ControlMembers(), [](const testing::FakeCall& call) {
            return call.name == "Run" ? InvokeOutcome::Raise(automation::MakeHResult(0x800A1391))
                                      : InvokeOutcome::Nothing();
        });
        EXPECT_EQ(MakeLoginCookie("secret"), "Authorization=Basic%20");
    }
    EXPECT_FALSE(automation::IsThreadInitialized());
}

}  // namespace
}  // namespace tralvex
