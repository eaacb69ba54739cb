// The calls HttpRequest makes on its request object, recorded by a fake
// registered under the request object's ProgID. The URLs here are only text
// handed to the fake; nothing is ever sent.

#include <gtest/gtest.h>

#include <functional>

#include "automation/calls.hpp"
#include "automation/conversions.hpp"
#include "automation/registry.hpp"
#include "http/http_request.hpp"
#include "platform/codepage/codepage.hpp"
#include "request_fake.hpp"
#include "support/fake_component.hpp"

namespace tralvex {
namespace {

using namespace request_fake;

TEST_F(HttpRequestFakeTest, AGetGetsTheFourDefaultHeadersOnceAndNoContentType) {
    HttpRequest request;
    request.Open("GET", kUrl);
    request.Send();
    EXPECT_EQ(Calls(), (Lines{kOpenGet, kAccept, kAcceptLanguage, kReferer, kUserAgent, kSend}));
}

TEST_F(HttpRequestFakeTest, TheStatusFetchOfTheIpChangeWorkerSendsTheCookieFirst) {
    HttpRequest request;
    request.Open("GET", kUrl);
    request.SetCookie("Authorization=Basic%20YWRtaW46YWRtaW4%3D");
    request.Send();
    request.ResponseBodyText();
    EXPECT_EQ(
        Calls(),
        (Lines{kOpenGet, HeaderLine("Cookie", "Authorization=Basic%20YWRtaW46YWRtaW4%3D"), kAccept,
               kAcceptLanguage, kReferer, kUserAgent, kSend, "get #1.ResponseBody()"}));
}

TEST_F(HttpRequestFakeTest, APostInAnyLetterCaseAddsContentTypeLast) {
    for (const char* method : {"POST", "post", "Post", "pOsT"}) {
        HttpRequest request;
        ClearLog();
        request.Open(method, kUrl);
        request.Send("a=1");
        EXPECT_EQ(Calls(), (Lines{"call #1.Open(" + Quoted(method) + ", \"" + kUrl + "\", false)",
                                  kAccept, kAcceptLanguage, kReferer, kUserAgent, kContentType,
                                  "call #1.Send(\"a=1\")"}))
            << method;
    }
    HttpRequest put;
    put.Open("PUT", kUrl);
    put.Send();
    EXPECT_EQ(Calls().back(), kSend);
    EXPECT_EQ(Calls()[Calls().size() - 2], kUserAgent);  // no Content-Type for a PUT
}

TEST_F(HttpRequestFakeTest, ASecondSendAddsNoHeaderAgainButTheNextOpenDoes) {
    HttpRequest request;
    request.Open("GET", kUrl);
    request.Send();
    ClearLog();
    request.Send();
    request.SendBytes();
    EXPECT_EQ(Calls(), (Lines{kSend, kSend}));
    ClearLog();
    request.Open("GET", kUrl);
    request.Send();
    EXPECT_EQ(Calls(), (Lines{kOpenGet, kAccept, kAcceptLanguage, kReferer, kUserAgent, kSend}));
}

TEST_F(HttpRequestFakeTest, AutoHeadersOffAddsNothingAndLeavesTheFlagsAndReferer) {
    HttpRequest request;
    request.Open("GET", kUrl);
    request.SetAccept("text/html");
    request.SetAutoHeaders(false);
    const Text otherUrl = "http://192.168.1.2/other";
    request.Open("POST", otherUrl);
    request.Send();
    ClearLog();
    // Back on without a new Open: the flags and the Referer are those of the
    // first Open, and the POST of the second did not count.
    request.SetAutoHeaders(true);
    request.Send();
    EXPECT_EQ(Calls(), (Lines{kAcceptLanguage, kReferer, kUserAgent, kSend}));
}

TEST_F(HttpRequestFakeTest, AutoHeadersOffStillPassesHeadersButRecordsNothing) {
    HttpRequest request;
    request.Open("GET", kUrl);
    request.SetAutoHeaders(false);
    request.SetAccept("text/html");
    request.SetRequestHeader("User-Agent", "UA");
    request.SetAutoHeaders();
    ClearLog();
    request.Send();
    EXPECT_EQ(Calls(), (Lines{kAccept, kAcceptLanguage, kReferer, kUserAgent, kSend}));
}

struct TypedSetterCase {
    const char* header;
    std::function<void(HttpRequest&, const std::optional<Text>&)> set;
    std::string defaultLine;  // what Send adds when the header was not given
};

class TypedSetterTest : public HttpRequestFakeTest,
                        public ::testing::WithParamInterface<TypedSetterCase> {
  protected:
    // The lines of a POST and its Send, without the Open and the Send.
    Lines HeadersOfAPost(HttpRequest& request, const std::function<void()>& between) {
        request.Open("POST", kUrl);
        between();
        ClearLog();
        request.Send();
        Lines lines = Calls();
        lines.pop_back();
        return lines;
    }
    Lines Without(const std::string& line) const {
        Lines all{kAccept, kAcceptLanguage, kReferer, kUserAgent, kContentType};
        std::erase(all, line);
        return all;
    }
};

TEST_P(TypedSetterTest, OmittedValueResendsTheDefaultAndMarksTheHeaderGiven) {
    const TypedSetterCase& c = GetParam();
    HttpRequest request;
    request.Open("POST", kUrl);
    ClearLog();
    c.set(request, std::nullopt);
    EXPECT_EQ(Calls(), Lines{c.defaultLine});
    ClearLog();
    request.Send();
    Lines sent = Calls();
    sent.pop_back();
    EXPECT_EQ(sent, Without(c.defaultLine));
}

TEST_P(TypedSetterTest, AGivenValueBecomesTheDefaultOfLaterRequests) {
    const TypedSetterCase& c = GetParam();
    HttpRequest request;
    EXPECT_EQ(HeadersOfAPost(request, [&] { c.set(request, Text("custom")); }),
              Without(c.defaultLine));
    // Referer is set anew from the URL by every Open; the others keep the value.
    Lines next = HeadersOfAPost(request, [] {});
    Lines expected = Without(c.defaultLine);
    std::string header = c.header;
    if (header != "Referer") {
        std::size_t at = header == "Accept" ? 0 : header == "User-Agent" ? 3 : 4;
        expected.insert(expected.begin() + static_cast<std::ptrdiff_t>(at),
                        HeaderLine(header, "custom"));
    } else {
        expected.insert(expected.begin() + 2, kReferer);
    }
    EXPECT_EQ(next, expected);
}

TEST_P(TypedSetterTest, AnEmptyValueIsPassedButLeavesTheDefaultToSend) {
    const TypedSetterCase& c = GetParam();
    HttpRequest request;
    request.Open("POST", kUrl);
    ClearLog();
    c.set(request, Text());
    request.Send();
    Lines lines = Calls();
    EXPECT_EQ(lines.front(), HeaderLine(c.header, ""));
    EXPECT_NE(std::find(lines.begin(), lines.end(), c.defaultLine), lines.end());
}

INSTANTIATE_TEST_SUITE_P(
    Setters, TypedSetterTest,
    ::testing::Values(
        TypedSetterCase{"Accept", [](HttpRequest& r, const auto& v) { r.SetAccept(v); }, kAccept},
        TypedSetterCase{"User-Agent", [](HttpRequest& r, const auto& v) { r.SetUserAgent(v); },
                        kUserAgent},
        TypedSetterCase{"Referer", [](HttpRequest& r, const auto& v) { r.SetReferer(v); },
                        kReferer},
        TypedSetterCase{"Content-Type", [](HttpRequest& r, const auto& v) { r.SetContentType(v); },
                        kContentType}),
    [](const auto& param) {
        std::string name = param.param.header;
        std::erase(name, '-');
        return name;
    });

TEST_F(HttpRequestFakeTest, SetRequestHeaderSuppressesADefaultOnlyWithAValue) {
    HttpRequest request;
    request.Open("GET", kUrl);
    request.SetRequestHeader("user-AGENT", "UA");
    request.SetRequestHeader("Accept", "");
    request.SetRequestHeader("", "ignored");
    request.SetRequestHeader("X-Other", "1");
    request.Send();
    EXPECT_EQ(Calls(),
              (Lines{kOpenGet, HeaderLine("user-AGENT", "UA"), HeaderLine("Accept", ""),
                     HeaderLine("X-Other", "1"), kAccept, kAcceptLanguage, kReferer, kSend}));
}

TEST_F(HttpRequestFakeTest, SetRequestHeaderZeroPassesTheIntegerZeroAndMarksTheHeader) {
    HttpRequest request;
    request.Open("GET", kUrl);
    request.SetRequestHeaderZero("Accept-Language");
    request.SetRequestHeaderZero("");
    request.Send();
    EXPECT_EQ(Calls(), (Lines{kOpenGet, "call #1.SetRequestHeader(\"Accept-Language\", 0)", kAccept,
                              kReferer, kUserAgent, kSend}));
}

TEST_F(HttpRequestFakeTest, CookieForwardedForAndRequestedWithTouchNoFlag) {
    HttpRequest request;
    request.Open("GET", kUrl);
    request.SetCookie("");
    request.SetForwardedFor("1.2.3.4");
    request.SetXRequestedWith();
    request.Send();
    EXPECT_EQ(Calls(),
              (Lines{kOpenGet, HeaderLine("Cookie", ""), HeaderLine("X-Forwarded-For", "1.2.3.4"),
                     HeaderLine("CLIENT_IP", "1.2.3.4"), HeaderLine("VIA", "1.2.3.4"),
                     HeaderLine("REMOTE_ADDR", "1.2.3.4"),
                     HeaderLine("x-requested-with", "XMLHttpRequest"), kAccept, kAcceptLanguage,
                     kReferer, kUserAgent, kSend}));
}

struct UrlCase {
    Text given;
    Text opened;
};

TEST_F(HttpRequestFakeTest, AUrlWithoutHttpInFrontIsCompletedInTheCallersVariable) {
    const std::vector<UrlCase> cases = {
        {"192.168.1.1/x", "http://192.168.1.1/x"},
        {"HTTP://192.168.1.1/x", "HTTP://192.168.1.1/x"},
        {"https://192.168.1.1/", "https://192.168.1.1/"},
        {"Http://a/", "Http://a/"},
        {"httpd.example/", "httpd.example/"},  // begins with "http" already
        {"", "http://"},
        {FromUtf8("路由器/x"), "http://" + FromUtf8("路由器/x")},
    };
    for (const UrlCase& c : cases) {
        HttpRequest request;
        ClearLog();
        Text url = c.given;
        request.Open(std::nullopt, url);
        request.Send();
        EXPECT_EQ(url, c.opened);
        Lines calls = Calls();
        EXPECT_EQ(calls.front(), "call #1.Open(\"GET\", \"" + AnsiToUtf8(c.opened) + "\", false)");
        EXPECT_EQ(calls[3], HeaderLine("Referer", AnsiToUtf8(c.opened)));
    }
}

TEST_F(HttpRequestFakeTest, OpenOfAConstantUrlCompletesACopyAndPassesAsync) {
    HttpRequest request;
    const Text url = "192.168.1.1/x";
    request.Open("GET", url, true);
    request.Open(Text("HEAD"), Text("a/b"));
    Text variable = "c/d";
    request.Open(variable);
    EXPECT_EQ(url, "192.168.1.1/x");
    EXPECT_EQ(variable, "http://c/d");
    EXPECT_EQ(Calls(), (Lines{"call #1.Open(\"GET\", \"http://192.168.1.1/x\", true)",
                              "call #1.Open(\"HEAD\", \"http://a/b\", false)",
                              "call #1.Open(\"GET\", \"http://c/d\", false)"}));
}

TEST_F(HttpRequestFakeTest, BodiesAreOnlyPassedWhenGiven) {
    HttpRequest request;
    request.SetAutoHeaders(false);
    request.Send();
    request.Send(Text());
    request.Send(FromUtf8("配置"));
    request.SendBytes();
    request.SendBytes(Bytes{});
    request.SendBytes(Bytes{1, 0, 2});
    EXPECT_EQ(Calls(), (Lines{kSend, "call #1.Send(\"\")", "call #1.Send(\"配置\")", kSend,
                              "call #1.Send(bytes[0])", "call #1.Send(bytes[3])"}));
}

struct BodyCase {
    Variant body;
    Text expected;
};

TEST_F(HttpRequestFakeTest, ResponseBodyTextIsTheBytesUpToTheFirstZero) {
    const std::vector<BodyCase> cases = {
        {automation::BytesToVariant(Bytes{'a', 'b', 'c', 0, 'd', 'e', 'f'}), "abc"},
        {automation::BytesToVariant(Bytes{0xB6, 0xCF, 'x'}),
         "\xB6\xCF"
         "x"},
        {automation::BytesToVariant(Bytes{0, 'a'}), ""},
        {automation::BytesToVariant(Bytes{}), ""},
        {Variant(std::u16string(u"not bytes")), ""},
        {Variant(), ""},
    };
    HttpRequest request;
    for (const BodyCase& c : cases) {
        respond_ = [&c](const FakeCall&) { return InvokeOutcome::Value(c.body); };
        EXPECT_EQ(request.ResponseBodyText(), c.expected) << testing::Describe(c.body);
        EXPECT_EQ(request.ResponseBody(), automation::VariantToBytes(c.body));
    }
}

TEST_F(HttpRequestFakeTest, AFailedCallLeavesItsTextAndAnEmptyResult) {
    HttpRequest request;
    respond_ = [](const FakeCall&) {
        return InvokeOutcome::Raise(automation::MakeHResult(0x80072EFD));
    };
    request.Open("GET", kUrl);
    request.Send();
    EXPECT_EQ(request.LastErrorText(), FromUtf8("发现异常"));
    EXPECT_EQ(request.ResponseBodyText(), "");
    EXPECT_EQ(request.Status(), 0);
}

TEST_F(HttpRequestFakeTest, AnObjectThatCannotBeCreatedLeavesTheRequestEmpty) {
    fake_.FailCreation(true);
    HttpRequest request;
    EXPECT_TRUE(request.IsEmpty());
    request.Open("GET", kUrl);
    EXPECT_EQ(request.LastErrorText(), FromUtf8("对象为空"));
    request.Send();
    EXPECT_EQ(request.ResponseBodyText(), "");
    EXPECT_EQ(request.Status(), 0);
    EXPECT_TRUE(fake_.Lines().empty());
    fake_.FailCreation(false);
    EXPECT_TRUE(request.CreateRequestObject());
    EXPECT_FALSE(request.IsEmpty());
}

TEST_F(HttpRequestFakeTest, ObjectHandlingOperationsCreateReleaseAndShare) {
    HttpRequest request;
    EXPECT_TRUE(request.CreateRequestObject());  // has one already: nothing happens
    EXPECT_EQ(fake_.Lines(), Lines{"create #1"});
    EXPECT_TRUE(request.RecreateRequestObject());
    EXPECT_EQ(fake_.Lines(), (Lines{"create #1", "release #1", "create #2"}));

    automation::AutomationObject held = request.GetRequestObject();
    request.ReleaseRequestObject();
    EXPECT_TRUE(request.IsEmpty());
    EXPECT_EQ(fake_.Lines().back(), "create #2");  // `held` keeps it alive
    request.SetRequestObject(held);
    held.Reset();
    request.Open("GET", kUrl);
    EXPECT_EQ(fake_.Lines().back(), "call #2.Open(\"GET\", \"" + std::string(kUrl) + "\", false)");
    request.ReleaseRequestObject();
    EXPECT_EQ(fake_.Lines().back(), "release #2");
    EXPECT_TRUE(request.GetRequestObject().Empty());
}

TEST(HttpRequestLifetimeTest, InitialisationIsBalancedForTheObjectAndItsCopy) {
    ScopedFake fake(kProgId, RequestMembers());
    auto count = [&fake](const std::string& line) {
        Lines lines = fake.Lines();
        return std::count(lines.begin(), lines.end(), line);
    };
    ASSERT_FALSE(automation::IsThreadInitialized());
    {
        HttpRequest request;
        EXPECT_TRUE(automation::IsThreadInitialized());
        request.Open("GET", kUrl);
        request.SetAccept("text/html");
        {
            HttpRequest copy(request);
            copy.Send();
            // The copy drives the same object, with the source's flags.
            Lines lines = fake.Lines();
            EXPECT_EQ(lines.back(), "call #1.Send()");
            EXPECT_EQ(lines[lines.size() - 2], kUserAgent);
            EXPECT_EQ(count(kAccept), 0);
        }
        EXPECT_TRUE(automation::IsThreadInitialized());
        EXPECT_EQ(count("release #1"), 0);
    }
    EXPECT_FALSE(automation::IsThreadInitialized());
    EXPECT_EQ(fake.Lines().back(), "release #1");
    EXPECT_EQ(count("create #1"), 1);
}

}  // namespace
}  // namespace tralvex
