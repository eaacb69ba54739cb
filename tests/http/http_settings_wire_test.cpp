// HttpRequest's response readers and connection settings on our request
// object, against loopback servers: status, redirects, decoding, credentials,
// a proxy, time-outs, and asynchronous requests.

#include <gtest/gtest.h>

#include <future>

#include "automation/calls.hpp"
#include "automation/conversions.hpp"
#include "http/http_request.hpp"
#include "loopback_server.hpp"
#include "platform/codepage/codepage.hpp"
#include "platform/winhttp/winhttp_component.hpp"
#include "platform/winhttp/winhttp_errors.hpp"
#include "support/http_failure_cases.hpp"
#include "support/stalled_listener.hpp"

namespace tralvex {
namespace {

using automation::LastCallOutcome;
using loopback::Reply;
using loopback::Request;
using loopback::Server;

Text Url(std::uint16_t port, const Text& path) {
    return "http://127.0.0.1:" + std::to_string(port) + path;
}

Text Url(const Server& server, const Text& path) { return Url(server.Port(), path); }

automation::HResult RaisedCode() { return LastCallOutcome().exceptionCode; }

// Releases a blocked handler when it goes, so that a failing test cannot
// leave the server waiting for it.
class Gate {
  public:
    ~Gate() { Open(); }
    void Open() {
        if (!opened_) release_.set_value();
        opened_ = true;
    }
    std::shared_future<void> Waiter() const { return released_; }

  private:
    std::promise<void> release_;
    std::shared_future<void> released_ = release_.get_future().share();
    bool opened_ = false;
};

class HttpSettingsWireTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { RegisterWinHttpComponent(); }
};

TEST_F(HttpSettingsWireTest, A404IsAnAnswerWithItsStatus) {
    Server server([](const Request&) { return Reply::Http(404, "Not Found", "no such page"); });
    HttpRequest request;
    EXPECT_EQ(request.Status(), 0);  // before any Send
    request.Open("GET", Url(server, "/missing"));
    request.Send();
    EXPECT_EQ(request.LastErrorText(), "");
    EXPECT_EQ(request.Status(), 404);
    EXPECT_EQ(request.StatusText(), "Not Found");
    EXPECT_EQ(request.ResponseBodyText(), "no such page");
}

TEST_F(HttpSettingsWireTest, RedirectsAreFollowedUnlessSwitchedOff) {
    Server server([](const Request& r) {
        if (r.target == "/old") return Reply::Http(302, "Found", "moved", {"Location: /new"});
        return Reply::Http(200, "OK", "new page");
    });
    HttpRequest request;
    request.Open("GET", Url(server, "/old"));
    request.Send();
    EXPECT_EQ(request.Status(), 200);
    EXPECT_EQ(request.ResponseBodyText(), "new page");
    EXPECT_EQ(automation::VariantToText(request.Option(1)), Url(server, "/new"));
    ASSERT_EQ(server.Requests().size(), 2u);
    EXPECT_EQ(server.Requests()[1].target, "/new");

    request.EnableRedirects(false);
    EXPECT_EQ(request.Option(6), automation::Variant(false));
    request.Open("GET", Url(server, "/old"));
    request.Send();
    EXPECT_EQ(request.Status(), 302);
    EXPECT_EQ(request.Location(), "/new");
    EXPECT_EQ(request.ResponseBodyText(), "moved");
    EXPECT_EQ(server.Requests().size(), 3u);
    EXPECT_EQ(server.Connections(), 1);
}

TEST_F(HttpSettingsWireTest, Utf8BodiesAreDecodedIntoCodePage936) {
    const std::string utf8 = "\xE4\xB8\xAD\xE6\x96\x87";  // 中文
    const Text ansi = "\xD6\xD0\xCE\xC4";
    Server server([&](const Request& r) {
        if (r.target == "/utf8") {
            return Reply::Http(200, "OK", utf8, {"Content-Type: text/html; charset=UTF-8"});
        }
        if (r.target == "/ansi") return Reply::Http(200, "OK", ansi, {"Content-Type: text/html"});
        return Reply::Http(200, "OK", "");
    });
    HttpRequest request;
    request.Open("GET", Url(server, "/utf8"));
    request.Send();
    EXPECT_EQ(request.ResponseBodyUtf8Text(), ansi);
    EXPECT_EQ(request.ResponseText(), ansi);
    EXPECT_EQ(request.ResponseBodyText(), utf8);

    // Without a charset the platform's text is decoded in the ANSI code page.
    request.Open("GET", Url(server, "/ansi"));
    request.Send();
    EXPECT_EQ(request.ResponseText(), ansi);

    request.Open("GET", Url(server, "/empty"));
    request.Send();
    EXPECT_EQ(request.ResponseBodyUtf8Text(), "");
    EXPECT_EQ(request.LastErrorText(), "");
}

Reply BasicProtected(const Request& r, std::string_view expected) {
    if (r.Header("Authorization") == expected) return Reply::Http(200, "OK", "welcome");
    return Reply::Http(401, "Unauthorized", "log in", {"WWW-Authenticate: Basic realm=\"router\""});
}

TEST_F(HttpSettingsWireTest, BasicCredentialsAnswerA401ForTheirRequest) {
    Server server([](const Request& r) { return BasicProtected(r, "Basic YWRtaW46c2VjcmV0"); });
    HttpRequest request;
    request.Open("GET", Url(server, "/admin"));
    request.SetCredentials("admin", "secret");
    request.Send();
    EXPECT_EQ(request.Status(), 200);
    EXPECT_EQ(request.ResponseBodyText(), "welcome");
    std::vector<Request> requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].Header("Authorization"), "");

    // Credentials belong to the request they were given for.
    request.Open("GET", Url(server, "/admin"));
    request.Send();
    EXPECT_EQ(request.Status(), 401);
    request.Open("GET", Url(server, "/admin"));
    request.SetCredentials("admin", "wrong");
    request.Send();
    EXPECT_EQ(request.Status(), 401);
}

TEST_F(HttpSettingsWireTest, ServerCredentialsAreNotOfferedToAnotherServer) {
    Server other([](const Request& r) { return BasicProtected(r, "Basic YWRtaW46c2VjcmV0"); });
    Server first([&other](const Request&) {
        return Reply::Http(302, "Found", "", {"Location: " + Url(other, "/elsewhere")});
    });
    HttpRequest request;
    request.Open("GET", Url(first, "/"));
    request.SetCredentials("admin", "secret");
    request.Send();
    EXPECT_EQ(request.Status(), 401);
    ASSERT_EQ(other.Requests().size(), 1u);
    EXPECT_EQ(other.Requests()[0].Header("Authorization"), "");
}

TEST_F(HttpSettingsWireTest, ANamedProxyGetsTheRequestInProxyForm) {
    Server origin([](const Request&) { return Reply::Http(200, "OK", "direct"); });
    Server proxy([](const Request&) { return Reply::Http(200, "OK", "via proxy"); });
    const Text proxyAddress = "127.0.0.1:" + std::to_string(proxy.Port());
    HttpRequest request;
    request.SetProxy(proxyAddress);
    request.Open("GET", Url(origin, "/page?x=1"));
    request.Send();
    EXPECT_EQ(request.ResponseBodyText(), "via proxy");
    ASSERT_EQ(proxy.Requests().size(), 1u);
    EXPECT_EQ(proxy.Requests()[0].target, Url(origin, "/page?x=1"));
    EXPECT_EQ(proxy.Requests()[0].Header("Referer"), Url(origin, "/page?x=1"));
    EXPECT_TRUE(origin.Requests().empty());

    // A host on the bypass list is reached directly, and so is every host
    // with the direct setting.
    request.SetProxy(2, proxyAddress, "localhost;127.0.0.*");
    request.Open("GET", Url(origin, "/"));
    request.Send();
    EXPECT_EQ(request.ResponseBodyText(), "direct");
    request.SetProxy(1, "");
    request.Open("GET", Url(origin, "/"));
    request.Send();
    EXPECT_EQ(request.ResponseBodyText(), "direct");
    EXPECT_EQ(proxy.Requests().size(), 1u);
}

TEST_F(HttpSettingsWireTest, ProxyCredentialsAnswerA407) {
    Server proxy([](const Request& r) {
        if (r.Header("Proxy-Authorization") == "Basic cDpx") return Reply::Http(200, "OK", "in");
        return Reply::Http(407, "Proxy Authentication Required", "",
                           {"Proxy-Authenticate: Basic realm=\"proxy\""});
    });
    HttpRequest request;
    request.SetProxy("127.0.0.1:" + std::to_string(proxy.Port()));
    request.Open("GET", "http://127.0.0.1:1/");
    request.SetCredentials("p", "q", 1);
    request.Send();
    EXPECT_EQ(request.Status(), 200);
    EXPECT_EQ(request.ResponseBodyText(), "in");
}

// Each time-out under test is the only finite one, so the exchange can end
// only through it.
TEST_F(HttpSettingsWireTest, EachTimeoutEndsAStalledExchange) {
    const int ms = testing::kShortTimeoutMs;
    {
        testing::StalledListener full(testing::StalledListener::Mode::RefusesToConnect);
        HttpRequest request;
        request.SetTimeouts(0, ms, 0, 0);
        request.Open("GET", Url(full.Port(), "/"));
        request.Send();
        EXPECT_EQ(RaisedCode(), winhttp::kTimeout) << "connect";
        EXPECT_EQ(request.ResponseBodyText(), "");
    }
    {
        testing::StalledListener deaf(testing::StalledListener::Mode::AcceptsConnections);
        HttpRequest request;
        request.SetTimeouts(0, 0, ms, 0);
        request.Open("POST", Url(deaf.Port(), "/upload"));
        request.SendBytes(Bytes(64 * 1024 * 1024, 'u'));
        EXPECT_EQ(RaisedCode(), winhttp::kTimeout) << "send";
        EXPECT_EQ(request.ResponseBodyText(), "");
    }
    {
        Server silent([](const Request&) { return Reply::NeverAnswer(); });
        HttpRequest request;
        request.SetTimeouts(0, 0, 0, ms);
        request.Open("GET", Url(silent, "/"));
        request.Send();
        EXPECT_EQ(RaisedCode(), winhttp::kTimeout) << "receive";
        EXPECT_EQ(request.ResponseBodyText(), "");
    }
}

TEST_F(HttpSettingsWireTest, AnAsynchronousSendReturnsAndTheResponseIsWaitedFor) {
    Gate gate;
    Server server([waiter = gate.Waiter()](const Request&) {
        waiter.wait();
        return Reply::Http(200, "OK", "late");
    });
    HttpRequest request;
    request.Open("GET", Url(server, "/slow"), true);
    request.Send();  // returns while the server still holds its answer back
    EXPECT_EQ(request.LastErrorText(), "");
    EXPECT_FALSE(request.WaitForResponse());
    EXPECT_EQ(request.Status(), 0);
    EXPECT_EQ(RaisedCode(), winhttp::kCannotCallBeforeSend);
    gate.Open();
    EXPECT_TRUE(request.WaitForResponse(-1));
    EXPECT_EQ(request.Status(), 200);
    EXPECT_EQ(request.ResponseBodyText(), "late");
    EXPECT_TRUE(request.WaitForResponse());
}

TEST_F(HttpSettingsWireTest, AnAsynchronousFailureSurfacesAtWaitForResponse) {
    HttpRequest request;
    request.Open("GET", Url(testing::ClosedPort(), "/"), true);
    request.Send();
    EXPECT_EQ(request.LastErrorText(), "");
    EXPECT_FALSE(request.WaitForResponse(-1));
    EXPECT_EQ(RaisedCode(), winhttp::kCannotConnect);
    EXPECT_EQ(request.ResponseBodyText(), "");
}

TEST_F(HttpSettingsWireTest, AbortEndsAnAsynchronousTransferAtOnce) {
    Server silent([](const Request&) { return Reply::NeverAnswer(); });
    Server answering([](const Request&) { return Reply::Http(200, "OK", "fine"); });
    HttpRequest request;
    request.Open("GET", Url(silent, "/"), true);
    request.Send();
    request.Abort();
    EXPECT_FALSE(request.WaitForResponse(-1));
    EXPECT_EQ(RaisedCode(), winhttp::kOperationCancelled);
    EXPECT_EQ(request.Status(), 0);
    // The object serves the next request as before.
    request.Open("GET", Url(answering, "/"));
    request.Send();
    EXPECT_EQ(request.ResponseBodyText(), "fine");
}

TEST_F(HttpSettingsWireTest, ReleasingTheObjectDuringATransferStopsIt) {
    Server silent([](const Request&) { return Reply::NeverAnswer(); });
    {
        HttpRequest request;
        request.Open("GET", Url(silent, "/"), true);
        request.Send();
    }
    HttpRequest again;
    again.Open("GET", Url(silent, "/"), true);
    again.Send();
    again.Open("GET", Url(testing::ClosedPort(), "/"));  // Open discards the transfer
    again.Send();
    EXPECT_EQ(RaisedCode(), winhttp::kCannotConnect);
}

}  // namespace
}  // namespace tralvex
