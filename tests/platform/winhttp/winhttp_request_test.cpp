// The request object on its own, through late-bound calls, against the raw
// loopback server on 127.0.0.1.

#include <gtest/gtest.h>

#include "automation/calls.hpp"
#include "automation/conversions.hpp"
#include "automation/registry.hpp"
#include "loopback_server.hpp"
#include "platform/codepage/codepage.hpp"
#include "platform/winhttp/winhttp_component.hpp"
#include "platform/winhttp/winhttp_errors.hpp"
#include "support/fake_component.hpp"
#include "support/http_failure_cases.hpp"

namespace tralvex::winhttp {
namespace {

using automation::AutomationObject;
using automation::CallMethod;
using automation::GetProperty;
using automation::HResult;
using automation::LastCallOutcome;
using automation::Variant;
using loopback::Reply;
using loopback::Request;
using loopback::Server;

constexpr const char* kOwnUserAgent = "Mozilla/4.0 (compatible; Win32; WinHttp.WinHttpRequest.5)";

// The code the last call raised, or 0 when it raised nothing.
HResult RaisedCode() {
    return LastCallOutcome().hr == automation::kDispException ? LastCallOutcome().exceptionCode
                                                              : automation::kOk;
}

std::string Origin(const Server& server) {
    return "http://127.0.0.1:" + std::to_string(server.Port());
}

std::string HostLine(const Server& server) {
    return "Host: 127.0.0.1:" + std::to_string(server.Port()) + "\r\n";
}

Reply Ok(std::string_view body = "ok") { return Reply::Http(200, "OK", body); }

class WinHttpRequestTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { RegisterWinHttpComponent(); }
    void SetUp() override { ASSERT_TRUE(automation::CreateObject(request_, kWinHttpProgId)); }

    void Open(const std::string& method, const std::string& url) {
        CallMethod(request_, "Open", {method, url, false});
    }
    void Header(const std::string& name, const std::string& value) {
        CallMethod(request_, "SetRequestHeader", {name, value});
    }
    // Opens `path` on the server, sends, and gives what the server received.
    std::string Exchange(const Server& server, const std::string& method, const std::string& path,
                         const Variant& body = Variant()) {
        Open(method, Origin(server) + path);
        CallMethod(request_, "Send", {body});
        EXPECT_EQ(RaisedCode(), automation::kOk);
        std::vector<Request> requests = server.Requests();
        return requests.empty() ? std::string() : requests.back().raw;
    }

    testing::ScopedCoInit init_;
    AutomationObject request_;
};

TEST_F(WinHttpRequestTest, CallsOutOfOrderFailWithThePlatformsCodes) {
    Server server([](const Request&) { return Ok(); });
    CallMethod(request_, "Send");
    EXPECT_EQ(RaisedCode(), kCannotCallBeforeOpen);
    Header("Accept", "x");
    EXPECT_EQ(RaisedCode(), kCannotCallBeforeOpen);
    CallMethod(request_, "SetCredentials", {"u", "p", 0});
    EXPECT_EQ(RaisedCode(), kCannotCallBeforeOpen);
    GetProperty<double>(request_, "Status");
    EXPECT_EQ(RaisedCode(), kCannotCallBeforeSend);
    CallMethod(request_, "SetTimeouts", {1000, 1000, 1000, 1000});
    EXPECT_EQ(LastCallOutcome().hr, automation::kOk);
    CallMethod(request_, "Abort");
    EXPECT_EQ(LastCallOutcome().hr, automation::kOk);

    Open("GET", Origin(server) + "/");
    EXPECT_EQ(server.Connections(), 0);  // Open does no network I/O
    for (const char* reader : {"Status", "StatusText", "ResponseText", "ResponseBody",
                               "ResponseStream", "GetAllResponseHeaders"}) {
        GetProperty<Variant>(request_, reader);
        EXPECT_EQ(RaisedCode(), kCannotCallBeforeSend) << reader;
    }
    CallMethod<Text>(request_, "GetResponseHeader", {"Content-Length"});
    EXPECT_EQ(RaisedCode(), kCannotCallBeforeSend);

    CallMethod(request_, "Send");
    EXPECT_EQ(GetProperty<double>(request_, "Status"), 200.0);
    Header("Accept", "x");
    EXPECT_EQ(RaisedCode(), kCannotCallAfterSend);
    // A second Send after one Open sends nothing again.
    CallMethod(request_, "Send");
    EXPECT_EQ(LastCallOutcome().hr, automation::kOk);
    EXPECT_EQ(server.Requests().size(), 1u);
}

struct OpenCase {
    const char* method;
    const char* url;
    HResult expected;
};

TEST_F(WinHttpRequestTest, OpenChecksMethodAndUrl) {
    const std::vector<OpenCase> cases = {
        {"GET", "http://127.0.0.1:1/x", automation::kOk},
        {"get", "HTTPS://127.0.0.1/", automation::kOk},
        {"GET", "127.0.0.1/x", kUnrecognizedScheme},
        {"GET", "ftp://127.0.0.1/", kUnrecognizedScheme},
        {"GET", "http:///userRpm/StatusRpm.htm", kInvalidUrl},
        {"GET", "http://", kInvalidUrl},
        {"G T", "http://127.0.0.1/", automation::kInvalidArg},
        {"", "http://127.0.0.1/", automation::kInvalidArg},
    };
    for (const OpenCase& c : cases) {
        Open(c.method, c.url);
        EXPECT_EQ(RaisedCode(), c.expected) << c.method << " " << c.url;
    }
    // A failed Open leaves nothing to send.
    CallMethod(request_, "Send");
    EXPECT_EQ(RaisedCode(), kCannotCallBeforeOpen);
}

TEST_F(WinHttpRequestTest, AddsHostConnectionAcceptAndUserAgentByItself) {
    Server server([](const Request&) { return Ok(); });
    EXPECT_EQ(Exchange(server, "GET", "/a"),
              "GET /a HTTP/1.1\r\n" + HostLine(server) +
                  "Connection: Keep-Alive\r\nAccept: */*\r\nUser-Agent: " + kOwnUserAgent +
                  "\r\n\r\n");
}

TEST_F(WinHttpRequestTest, CallerHeadersFollowInTheirOrderAndReplaceTheDefaults) {
    Server server([](const Request&) { return Ok(); });
    Open("GET", Origin(server) + "/");
    Header("X-B", "1");
    Header("Accept", "text/html");
    Header("x-b", "2");  // same name: sent once, last value, first place
    Header("Cookie", "c=1");
    Header("Cookie", "");  // an empty value removes the header
    Header("user-agent", "UA");
    Header("X-Zero", "");
    CallMethod(request_, "SetRequestHeader", {"X-Number", 0});
    CallMethod(request_, "Send");
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0].raw,
              "GET / HTTP/1.1\r\n" + HostLine(server) +
                  "Connection: Keep-Alive\r\nx-b: 2\r\nAccept: text/html\r\nuser-agent: UA\r\n"
                  "X-Number: 0\r\n\r\n");
}

TEST_F(WinHttpRequestTest, HeaderNamesAndValuesThatWouldBreakTheRequestAreRefused) {
    Server server([](const Request&) { return Ok(); });
    Open("GET", Origin(server) + "/");
    for (auto [name, value] :
         std::vector<std::pair<std::string, std::string>>{{"X-A", "1\r\nInjected: yes"},
                                                          {"X-A", "1\nB"},
                                                          {"Bad:Name", "1"},
                                                          {"Bad Name", "1"}}) {
        Header(name, value);
        EXPECT_EQ(RaisedCode(), automation::kInvalidArg) << name;
    }
    CallMethod(request_, "Send");
    EXPECT_EQ(server.Requests()[0].Header("Injected"), "");
    EXPECT_EQ(server.Requests()[0].Header("X-A"), "");
}

TEST_F(WinHttpRequestTest, TextBodiesGoAsUtf8AndByteArraysVerbatim) {
    Server server([](const Request&) { return Ok(); });
    std::string raw = Exchange(server, "POST", "/t", Variant(std::u16string(u"配置")));
    EXPECT_EQ(raw, "POST /t HTTP/1.1\r\n" + HostLine(server) +
                       "Connection: Keep-Alive\r\nAccept: */*\r\nUser-Agent: " + kOwnUserAgent +
                       "\r\nContent-Type: text/plain; Charset=UTF-8\r\nContent-Length: 6\r\n\r\n"
                       "\xE9\x85\x8D\xE7\xBD\xAE");

    Exchange(server, "POST", "/b", automation::BytesToVariant(Bytes{0, 1, 0x80, 0xFF}));
    Request bytes = server.Requests().back();
    EXPECT_EQ(bytes.body, std::string("\0\1\x80\xFF", 4));
    EXPECT_EQ(bytes.Header("Content-Type"), "");
    EXPECT_EQ(bytes.Header("Expect"), "");

    Exchange(server, "GET", "/g", Variant(std::u16string(u"ignored")));
    EXPECT_EQ(server.Requests().back().Header("Content-Length"), "");
    EXPECT_EQ(server.Requests().back().body, "");

    Exchange(server, "PUT", "/p");
    EXPECT_EQ(server.Requests().back().Header("Content-Length"), "0");

    Exchange(server, "DELETE", "/d", Variant(std::u16string(u"x")));
    EXPECT_EQ(server.Requests().back().method, "DELETE");
    EXPECT_EQ(server.Requests().back().body, "x");
}

TEST_F(WinHttpRequestTest, ALargeRequestBodyGoesWithoutExpectContinue) {
    Server server([](const Request&) { return Ok(); });
    Bytes body(3 * 1024 * 1024, 'b');
    Exchange(server, "POST", "/big", automation::BytesToVariant(body));
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0].Header("Expect"), "");
    EXPECT_EQ(server.Requests()[0].body.size(), body.size());
}

TEST_F(WinHttpRequestTest, ReadersGiveTheReceivedResponse) {
    Server server([](const Request&) {
        return Reply::Http(201, "Created Here", std::string("a\0b", 3),
                           {"Content-Type: text/plain", "X-Two:  spaced "});
    });
    Exchange(server, "GET", "/");
    EXPECT_EQ(GetProperty<double>(request_, "Status"), 201.0);
    EXPECT_EQ(GetProperty<Text>(request_, "StatusText"), "Created Here");
    Variant body = GetProperty<Variant>(request_, "ResponseBody");
    ASSERT_NE(body.GetIf<automation::ByteArray>(), nullptr);
    EXPECT_EQ(automation::VariantToBytes(body), (Bytes{'a', 0, 'b'}));
    EXPECT_EQ(CallMethod<Text>(request_, "GetAllResponseHeaders"),
              "Content-Type: text/plain\r\nX-Two:  spaced \r\nContent-Length: 3\r\n\r\n");
}

TEST_F(WinHttpRequestTest, RequestsOfOneObjectShareOneConnection) {
    Server server([](const Request&) { return Ok(); });
    Exchange(server, "GET", "/1");
    Exchange(server, "GET", "/2");
    Exchange(server, "POST", "/3", Variant(std::u16string(u"x")));
    ASSERT_EQ(server.Requests().size(), 3u);
    EXPECT_EQ(server.Connections(), 1);
}

TEST_F(WinHttpRequestTest, NoAcceptEncodingIsAskedFor) {
    Server server([](const Request&) { return Ok(); });
    std::string raw = Exchange(server, "GET", "/");
    EXPECT_EQ(raw.find("Accept-Encoding"), std::string::npos);
}

// Each failure: Send raises the expected code, and the readers afterwards
// behave as before Send.
TEST_F(WinHttpRequestTest, FailedTransfersRaiseTheirCodesAndLeaveNoResponse) {
    for (const testing::HttpFailureCase& c : testing::HttpFailureCases()) {
        Server server(c.handler);
        Open("GET", Origin(server) + "/");
        const int ms = testing::kShortTimeoutMs;
        CallMethod(request_, "SetTimeouts", {ms, ms, ms, ms});
        CallMethod(request_, "Send");
        EXPECT_EQ(RaisedCode(), c.expected) << c.name;
        GetProperty<double>(request_, "Status");
        EXPECT_EQ(RaisedCode(), kCannotCallBeforeSend) << c.name;
        // The request is still open and may be sent again.
        Header("X-Retry", "1");
        EXPECT_EQ(LastCallOutcome().hr, automation::kOk) << c.name;
    }
    Open("GET", "http://127.0.0.1:" + std::to_string(testing::ClosedPort()) + "/");
    CallMethod(request_, "Send");
    EXPECT_EQ(RaisedCode(), kCannotConnect);
}

TEST_F(WinHttpRequestTest, AFiftyMegabyteBodyArrivesWhole) {
    std::string big(50 * 1024 * 1024, 'x');
    big[123] = '\0';
    Server server([&big](const Request&) { return Ok(big); });
    Exchange(server, "GET", "/big");
    Bytes body = automation::VariantToBytes(GetProperty<Variant>(request_, "ResponseBody"));
    ASSERT_EQ(body.size(), big.size());
    EXPECT_TRUE(std::equal(body.begin(), body.end(), big.begin(), [](std::uint8_t a, char b) {
        return a == static_cast<std::uint8_t>(b);
    }));
}

}  // namespace
}  // namespace tralvex::winhttp
