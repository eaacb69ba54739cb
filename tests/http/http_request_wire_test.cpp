// HttpRequest on our request object, against the raw loopback server: the
// exact bytes on the wire, and what a failed exchange leaves behind.

#include <gtest/gtest.h>

#include "automation/calls.hpp"
#include "http/http_request.hpp"
#include "loopback_server.hpp"
#include "platform/codepage/codepage.hpp"
#include "platform/winhttp/winhttp_component.hpp"
#include "support/http_failure_cases.hpp"

namespace tralvex {
namespace {

using loopback::Reply;
using loopback::Request;
using loopback::Server;

constexpr const char* kCookie = "Authorization=Basic%20YWRtaW46MTIzNDU2";

Text RouterUrl(const Server& server, const Text& path) {
    return "http://127.0.0.1:" + std::to_string(server.Port()) + path;
}

// One request as the IP change worker makes it.
void Fetch(HttpRequest& request, const Server& server, const Text& path) {
    request.Open("GET", RouterUrl(server, path));
    request.SetCookie(kCookie);
    request.Send();
}

class HttpRequestWireTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { RegisterWinHttpComponent(); }
};

TEST_F(HttpRequestWireTest, TheStatusFetchPutsExactlyTheseBytesOnTheWire) {
    Server server([](const Request&) { return Reply::Http(200, "OK", "WAN 1.2.3.4"); });
    HttpRequest request;
    Fetch(request, server, "/userRpm/StatusRpm.htm");
    EXPECT_EQ(request.ResponseBodyText(), "WAN 1.2.3.4");
    ASSERT_EQ(server.Requests().size(), 1u);
    const std::string host = "127.0.0.1:" + std::to_string(server.Port());
    EXPECT_EQ(server.Requests()[0].raw,
              "GET /userRpm/StatusRpm.htm HTTP/1.1\r\n"
              "Host: " +
                  host +
                  "\r\n"
                  "Connection: Keep-Alive\r\n"
                  "Cookie: " +
                  kCookie +
                  "\r\n"
                  "Accept: */*\r\n"
                  "Accept-Language: zh-cn\r\n"
                  "Referer: http://" +
                  host +
                  "/userRpm/StatusRpm.htm\r\n"
                  "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)\r\n"
                  "\r\n");
}

TEST_F(HttpRequestWireTest, ChineseQueryValuesGoAsUtf8PercentEscapes) {
    Server server([](const Request&) { return Reply::Http(200, "OK", ""); });
    HttpRequest request;
    const Text disconnect = FromUtf8("/userRpm/StatusRpm.htm?Disconnect=断 线&wan=1");
    const Text connect = FromUtf8("/userRpm/StatusRpm.htm?Connect=连 接&wan=1");
    ASSERT_EQ(disconnect.substr(34, 5), "\xB6\xCF \xCF\xDF");
    Fetch(request, server, disconnect);
    Fetch(request, server, connect);
    std::vector<Request> requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].target, "/userRpm/StatusRpm.htm?Disconnect=%E6%96%AD%20%E7%BA%BF&wan=1");
    EXPECT_EQ(requests[1].target, "/userRpm/StatusRpm.htm?Connect=%E8%BF%9E%20%E6%8E%A5&wan=1");
    // Header values go in the ANSI code page, so the Referer carries the URL
    // as the class holds it.
    EXPECT_EQ(requests[0].Header("Referer"), RouterUrl(server, disconnect));
}

TEST_F(HttpRequestWireTest, TheRequestsOfOneRunShareOneConnection) {
    Server server([](const Request&) { return Reply::Http(200, "OK", "page"); });
    HttpRequest request;
    Fetch(request, server, "/userRpm/StatusRpm.htm");
    Fetch(request, server, FromUtf8("/userRpm/StatusRpm.htm?Disconnect=断 线&wan=1"));
    Fetch(request, server, FromUtf8("/userRpm/StatusRpm.htm?Connect=连 接&wan=1"));
    Fetch(request, server, "/userRpm/StatusRpm.htm");
    EXPECT_EQ(request.ResponseBodyText(), "page");
    ASSERT_EQ(server.Requests().size(), 4u);
    EXPECT_EQ(server.Connections(), 1);
}

TEST_F(HttpRequestWireTest, ABodyWithAZeroByteIsReadAsTextUpToIt) {
    Server server(
        [](const Request&) { return Reply::Http(200, "OK", std::string("abc\0def", 7)); });
    HttpRequest request;
    Fetch(request, server, "/");
    EXPECT_EQ(request.ResponseBodyText(), "abc");
    EXPECT_EQ(request.ResponseBody(), (Bytes{'a', 'b', 'c', 0, 'd', 'e', 'f'}));
}

TEST_F(HttpRequestWireTest, AFiftyMegabyteBodyIsReadWhole) {
    const std::string page(50 * 1024 * 1024, 'p');
    Server server([&page](const Request&) { return Reply::Http(200, "OK", page); });
    HttpRequest request;
    Fetch(request, server, "/big");
    EXPECT_EQ(request.ResponseBodyText().size(), page.size());
    EXPECT_EQ(request.LastErrorText(), "");
}

// What every reader gives after an exchange failed: empty values, and the
// text of an error the object raised.
void ExpectEmptyResponse(HttpRequest& request, const std::string& name) {
    const Text raised = FromUtf8("发现异常");
    EXPECT_EQ(request.ResponseBodyText(), "") << name;
    EXPECT_EQ(request.LastErrorText(), raised) << name;
    EXPECT_EQ(request.Status(), 0) << name;
    EXPECT_EQ(request.ResponseText(), "") << name;
    EXPECT_EQ(request.GetAllResponseHeaders(), "") << name;
    EXPECT_EQ(request.LastErrorText(), raised) << name;
}

TEST_F(HttpRequestWireTest, AFailedExchangeLeavesEmptyResultsAndTheErrorSet) {
    for (const testing::HttpFailureCase& c : testing::HttpFailureCases()) {
        Server server(c.handler);
        HttpRequest request;
        const int ms = testing::kShortTimeoutMs;
        request.SetTimeouts(ms, ms, ms, ms);
        Fetch(request, server, "/userRpm/StatusRpm.htm");
        EXPECT_EQ(automation::LastCallOutcome().exceptionCode, c.expected) << c.name;
        ExpectEmptyResponse(request, c.name);
    }
    HttpRequest request;
    request.Open("GET", "http://127.0.0.1:" + std::to_string(testing::ClosedPort()) + "/");
    request.Send();
    EXPECT_EQ(automation::LastCallOutcome().exceptionCode, winhttp::kCannotConnect);
    ExpectEmptyResponse(request, "closed port");
}

TEST_F(HttpRequestWireTest, ABlankRouterAddressFailsAtOpenAndLeavesEmptyResults) {
    HttpRequest request;
    request.Open("GET", Text("http://") + "" + "/userRpm/StatusRpm.htm");
    EXPECT_EQ(automation::LastCallOutcome().exceptionCode, winhttp::kInvalidUrl);
    request.SetCookie(kCookie);
    request.Send();
    EXPECT_EQ(automation::LastCallOutcome().exceptionCode, winhttp::kCannotCallBeforeOpen);
    ExpectEmptyResponse(request, "blank address");
}

}  // namespace
}  // namespace tralvex
