// The response readers, header and cookie readers and connection settings of
// HttpRequest, against the recording fake: what they ask the request object
// and what they make of its answers.

#include <gtest/gtest.h>

#include "automation/conversions.hpp"
#include "http/http_request.hpp"
#include "platform/codepage/codepage.hpp"
#include "request_fake.hpp"

namespace tralvex {
namespace {

using namespace request_fake;

// Answers every call of `member` with `value`, every other call with nothing.
std::function<InvokeOutcome(const FakeCall&)> Answer(std::string member, Variant value) {
    return [member = std::move(member), value = std::move(value)](const FakeCall& call) {
        return call.name == member ? InvokeOutcome::Value(value) : InvokeOutcome::Nothing();
    };
}

Variant Utf16(const Text& ansi) { return Variant(AnsiToUtf16(ansi)); }

struct StatusCase {
    Variant value;
    int expected;
};

TEST_F(HttpRequestFakeTest, StatusIsTheRealNumberCutTowardZero) {
    const std::vector<StatusCase> cases = {
        {Variant(404.0), 404},
        {Variant(std::int32_t{200}), 200},
        {Variant(404.9), 404},
        {Variant(-2.7), -2},
        {Variant(1e12), 0},
        {Variant(std::u16string(u"301")), 301},
        {Variant(std::u16string(u"x")), 0},
    };
    HttpRequest request;
    for (const StatusCase& c : cases) {
        respond_ = Answer("Status", c.value);
        EXPECT_EQ(request.Status(), c.expected) << testing::Describe(c.value);
    }
    respond_ = [](const FakeCall&) { return InvokeOutcome::Raise(automation::kFail); };
    EXPECT_EQ(request.Status(), 0);
    EXPECT_EQ(Calls().back(), "get #1.Status()");
}

TEST_F(HttpRequestFakeTest, TextReadersConvertThePlatformsTextToAnsi) {
    HttpRequest request;
    respond_ = [](const FakeCall& call) {
        if (call.name == "StatusText") return InvokeOutcome::Value(Variant(std::u16string(u"OK")));
        if (call.name == "ResponseText") {
            return InvokeOutcome::Value(Variant(std::u16string(u"中文")));
        }
        if (call.name == "GetResponseHeader") {
            return InvokeOutcome::Value(Variant(std::u16string(u"/next")));
        }
        if (call.name == "GetAllResponseHeaders") {
            return InvokeOutcome::Value(Variant(std::u16string(u"A: 1\r\n\r\n")));
        }
        return InvokeOutcome::Nothing();
    };
    EXPECT_EQ(request.StatusText(), "OK");
    EXPECT_EQ(request.ResponseText(), "\xD6\xD0\xCE\xC4");
    EXPECT_EQ(request.GetResponseHeader("Content-Type"), "/next");
    EXPECT_EQ(request.Location(), "/next");
    EXPECT_EQ(request.GetAllResponseHeaders(), "A: 1\r\n\r\n");
    EXPECT_EQ(Calls(), (Lines{"get #1.StatusText()", "get #1.ResponseText()",
                              "call #1.GetResponseHeader(\"Content-Type\")",
                              "call #1.GetResponseHeader(\"Location\")",
                              "call #1.GetAllResponseHeaders()"}));
}

TEST_F(HttpRequestFakeTest, ResponseStreamIsHandedOnUnchanged) {
    HttpRequest request;
    Variant stream(automation::AutomationObject(std::make_shared<testing::FakeComponent>(
        fake_.Log(), "stream", std::vector<FakeMember>{}, testing::FakeResponder{})));
    respond_ = Answer("ResponseStream", stream);
    EXPECT_EQ(request.ResponseStream(), stream);
}

struct Utf8Case {
    std::string body;  // bytes as received
    Text expected;
};

TEST_F(HttpRequestFakeTest, ResponseBodyUtf8TextDecodesUtf8IntoCodePage936) {
    const std::vector<Utf8Case> cases = {
        {"\xE4\xB8\xAD\xE6\x96\x87", "\xD6\xD0\xCE\xC4"},  // two characters, six bytes
        {"", ""},
        {"plain", "plain"},
        {std::string("a\0b", 3), "a"},
        {"\xF0\x9F\x98\x80", "?"},  // no such character in code page 936
        {"x\xFFy", "x?y"},          // not UTF-8
    };
    HttpRequest request;
    for (const Utf8Case& c : cases) {
        respond_ =
            Answer("ResponseBody", automation::BytesToVariant(Bytes(c.body.begin(), c.body.end())));
        EXPECT_EQ(request.ResponseBodyUtf8Text(), c.expected) << c.body;
    }
    respond_ = Answer("ResponseBody", Variant(std::u16string(u"not bytes")));
    EXPECT_EQ(request.ResponseBodyUtf8Text(), "");
}

struct CookieCase {
    Text headers;
    Text name;
    Text expected;
};

TEST_F(HttpRequestFakeTest, GetCookieFindsTheValueBeforeItsSemicolon) {
    const Text chinese = FromUtf8("中文");
    const std::vector<CookieCase> cases = {
        {"Set-Cookie: sid=ab12; path=/\r\n\r\n", "sid", "ab12"},
        {"Set-Cookie: sid=ab12; path=/\r\n\r\n", "SID", ""},
        {"Set-Cookie:sid=ab12;\r\n\r\n", "sid", "ab12"},
        {"Set-Cookie: sid=ab12\r\n\r\n", "sid", ""},
        // A line without ";" gives nothing, even when a later line has one.
        {"Set-Cookie: sid=ab12\r\nSet-Cookie: b=2; path=/\r\n\r\n", "sid", ""},
        {"Set-Cookie: sid=; path=/\r\nSet-Cookie:sid=x;\r\n\r\n", "sid", "x"},
        {"Set-Cookie: a=1; path=/\r\nSet-Cookie: sid=s2; path=/\r\n\r\n", "sid", "s2"},
        {"set-cookie: sid=ab12; path=/\r\n\r\n", "sid", ""},
        {"Set-Cookie: n=" + chinese + "; path=/\r\n\r\n", "n", chinese},
        {"Content-Type: text/html\r\n\r\n", "sid", ""},
        {"", "sid", ""},
        // A byte of 0x80 or more right before a line break (80 is the euro
        // sign in code page 936) does not hide the break: the value of a
        // line without ";" never takes the ";" of the next line.
        {"Set-Cookie: sid=ab\x80\nSet-Cookie: b=2;\n\n", "sid", ""},
        {"Set-Cookie: sid=ab\x80\rSet-Cookie: b=2;\r\r", "sid", ""},
        {"Set-Cookie: sid=\x80\r\nSet-Cookie: b=2;\r\n", "sid", ""},
    };
    HttpRequest request;
    for (const CookieCase& c : cases) {
        respond_ = Answer("GetAllResponseHeaders", Utf16(c.headers));
        EXPECT_EQ(request.GetCookie(c.name), c.expected) << c.headers << " / " << c.name;
    }
    EXPECT_EQ(Calls().back(), "call #1.GetAllResponseHeaders()");
}

struct AllCookiesCase {
    Text headers;
    Text expected;
};

TEST_F(HttpRequestFakeTest, GetAllCookiesJoinsTheFirstPairOfEveryHeader) {
    const std::vector<AllCookiesCase> cases = {
        {"Set-Cookie: a=1; path=/\r\nSet-Cookie: b=2; path=/\r\n\r\n", "a=1; b=2"},
        {"Set-Cookie: a=deleted; path=/\r\nset-cookie: b=2; path=/\r\n\r\n", "b=2"},
        {"Set-Cookie: a=DELETED; path=/\r\nSET-COOKIE: b=2; path=/\r\n\r\n", "b=2"},
        {"Set-Cookie: a=Deleted; path=/\r\nSet-Cookie: c=3; path=/\r\n\r\n", "c=3"},
        {"Set-Cookie: a=deleted;\r\n\r\n", ""},
        {"Content-Type: text/html\r\n\r\n", ""},
        {"", ""},
        {"Set-Cookie: sid=ab12\r\n\r\n", ""},
        {"Set-Cookie: sid=ab12\r\nSet-Cookie: b=2; path=/\r\n\r\n", "b=2"},
        {"Set-Cookie: a=1; path=/; HttpOnly\r\nSet-Cookie: b=2\r\n\r\n", "a=1"},
        {"Set-Cookie:a=1;\r\n\r\n", "a=1"},
        {"Set-Cookie:\xA1\xA1 a=1; path=/\r\n\r\n", "a=1"},
        // Found by fuzzing: the break after a byte of 0x80 or more ends the
        // first header, whose pair has no ";".
        {"Set-Cookie: b=Co\x80\nSet-Cookie: c=0q;\r\n", "c=0q"},
    };
    HttpRequest request;
    for (const AllCookiesCase& c : cases) {
        respond_ = Answer("GetAllResponseHeaders", Utf16(c.headers));
        EXPECT_EQ(request.GetAllCookies(), c.expected) << c.headers;
    }
}

TEST_F(HttpRequestFakeTest, OmittedSettingsArgumentsTakeTheirOwnDefaults) {
    HttpRequest request;
    request.SetTimeouts();
    request.SetTimeouts(5000);
    request.SetTimeouts(1, 2, 3, 4);
    request.SetTimeouts(std::nullopt, std::nullopt, 7);
    request.SetProxy("proxy:8080");
    request.SetProxy(1, "", "*.example");
    request.SetCredentials("user", FromUtf8("密码"));
    request.SetCredentials("user", "pw", 1);
    request.EnableRedirects();
    request.EnableRedirects(false);
    request.SetClientCertificate("/certs/me.pem");
    request.SetAutoLogonPolicy(2);
    request.Abort();
    EXPECT_EQ(
        Calls(),
        (Lines{"call #1.SetTimeouts(10000, 20000, 30000, 60000)",
               "call #1.SetTimeouts(5000, 20000, 30000, 60000)", "call #1.SetTimeouts(1, 2, 3, 4)",
               "call #1.SetTimeouts(10000, 20000, 7, 60000)",
               "call #1.SetProxy(2, \"proxy:8080\", \"\")",
               "call #1.SetProxy(1, \"\", \"*.example\")",
               "call #1.SetCredentials(\"user\", \"密码\", 0)",
               "call #1.SetCredentials(\"user\", \"pw\", 1)", "put #1.Option(6, true)",
               "put #1.Option(6, false)", "call #1.SetClientCertificate(\"/certs/me.pem\")",
               "call #1.SetAutoLogonPolicy(2)", "call #1.Abort()"}));
}

TEST_F(HttpRequestFakeTest, WaitForResponseWaitsNoSecondsWhenOmitted) {
    HttpRequest request;
    respond_ = Answer("WaitForResponse", Variant(true));
    EXPECT_TRUE(request.WaitForResponse());
    respond_ = Answer("WaitForResponse", Variant(false));
    EXPECT_FALSE(request.WaitForResponse(-1));
    respond_ = [](const FakeCall&) { return InvokeOutcome::Raise(automation::kFail); };
    EXPECT_FALSE(request.WaitForResponse(5));
    EXPECT_EQ(Calls(), (Lines{"call #1.WaitForResponse(0)", "call #1.WaitForResponse(-1)",
                              "call #1.WaitForResponse(5)"}));
}

TEST_F(HttpRequestFakeTest, OptionWritesTheFirstValueGivenThenReadsBack) {
    HttpRequest request;
    respond_ = [](const FakeCall& call) {
        return call.kind == automation::InvokeKind::PropertyGet
                   ? InvokeOutcome::Value(Variant(std::int32_t{42}))
                   : InvokeOutcome::Nothing();
    };
    EXPECT_EQ(request.Option(6), Variant(std::int32_t{42}));
    request.Option(2, 936, Text("ignored"));
    request.Option(0, std::nullopt, Text("UA"), Bytes{1});
    request.Option(5, std::nullopt, std::nullopt, Bytes{1, 2});
    request.Option(6, std::nullopt, std::nullopt, std::nullopt, Variant(false));
    EXPECT_EQ(Calls(),
              (Lines{"get #1.Option(6)", "put #1.Option(2, 936)", "get #1.Option(2)",
                     "put #1.Option(0, \"UA\")", "get #1.Option(0)", "put #1.Option(5, bytes[2])",
                     "get #1.Option(5)", "put #1.Option(6, false)", "get #1.Option(6)"}));
    respond_ = [](const FakeCall&) { return InvokeOutcome::Raise(automation::kInvalidArg); };
    EXPECT_TRUE(request.Option(99).IsEmpty());
}

}  // namespace
}  // namespace tralvex
