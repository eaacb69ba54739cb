// The request object's options, settings, response readers and redirect
// rules, through late-bound calls, against the loopback server.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "automation/calls.hpp"
#include "automation/conversions.hpp"
#include "automation/registry.hpp"
#include "loopback_server.hpp"
#include "platform/codepage/codepage.hpp"
#include "platform/winhttp/exchange.hpp"
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
using automation::PutProperty;
using automation::Variant;
using loopback::Reply;
using loopback::Request;
using loopback::Server;

HResult RaisedCode() {
    return LastCallOutcome().hr == automation::kDispException ? LastCallOutcome().exceptionCode
                                                              : LastCallOutcome().hr;
}

std::string Url(const Server& server, const std::string& path) {
    return "http://127.0.0.1:" + std::to_string(server.Port()) + path;
}

class WinHttpSettingsTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { RegisterWinHttpComponent(); }
    void SetUp() override { ASSERT_TRUE(automation::CreateObject(request_, kWinHttpProgId)); }

    // The URL is written as UTF-8 in the tests.
    void Open(const std::string& method, const std::string& url) {
        CallMethod(request_, "Open", {method, FromUtf8(url), false});
    }
    void Send(const Variant& body = Variant()) { CallMethod(request_, "Send", {body}); }
    Variant GetOption(int index) { return GetProperty<Variant>(request_, "Option", {index}); }
    bool PutOption(int index, const automation::Arg& value) {
        return PutProperty(request_, "Option", {index}, value);
    }

    testing::ScopedCoInit init_;
    AutomationObject request_;
};

struct OptionDefault {
    int index;
    Variant value;
};

TEST_F(WinHttpSettingsTest, OptionsStartWithThePlatformsDefaults) {
    const std::vector<OptionDefault> defaults = {
        {0, Variant(std::u16string(u"Mozilla/4.0 (compatible; Win32; WinHttp.WinHttpRequest.5)"))},
        {2, Variant(std::int32_t{65001})},
        {3, Variant(false)},
        {4, Variant(std::int32_t{0})},
        {6, Variant(true)},
        {7, Variant(false)},
        {8, Variant(false)},
        {9, Variant(std::int32_t{0x2A80})},
        {10, Variant(false)},
        {11, Variant(true)},
        {12, Variant(false)},
        {13, Variant(false)},
        {14, Variant(std::int32_t{10})},
        {15, Variant(std::int32_t{64 * 1024})},
        {16, Variant(std::int32_t{1024 * 1024})},
        {17, Variant(true)},
        {18, Variant(false)},
    };
    for (const OptionDefault& d : defaults) {
        EXPECT_EQ(GetOption(d.index), d.value) << d.index;
    }
}

TEST_F(WinHttpSettingsTest, OptionValuesAreCheckedAndReadBack) {
    GetOption(1);
    EXPECT_EQ(RaisedCode(), kCannotCallBeforeOpen);
    Open("GET", "http://127.0.0.1:1/a b");
    EXPECT_EQ(GetOption(1), Variant(std::u16string(u"http://127.0.0.1:1/a b")));
    for (int index : {5, 19, -1}) {
        GetOption(index);
        EXPECT_EQ(RaisedCode(), automation::kInvalidArg) << index;
    }
    EXPECT_FALSE(PutOption(1, "http://elsewhere/"));
    EXPECT_EQ(RaisedCode(), automation::kInvalidArg);

    EXPECT_TRUE(PutOption(2, "UTF-8"));
    EXPECT_EQ(GetOption(2), Variant(std::int32_t{65001}));
    EXPECT_TRUE(PutOption(2, 936));
    EXPECT_EQ(GetOption(2), Variant(std::int32_t{936}));
    EXPECT_FALSE(PutOption(2, 1252));
    EXPECT_EQ(RaisedCode(), automation::kInvalidArg);

    EXPECT_TRUE(PutOption(4, 0x3300));
    EXPECT_FALSE(PutOption(4, 0x0001));
    EXPECT_EQ(GetOption(4), Variant(std::int32_t{0x3300}));

    EXPECT_FALSE(PutOption(14, -1));
    EXPECT_FALSE(PutOption(15, 0));
    EXPECT_FALSE(PutOption(6, "sometimes"));
    EXPECT_EQ(RaisedCode(), automation::kDispTypeMismatch);
    EXPECT_TRUE(PutOption(6, "false"));
    EXPECT_EQ(GetOption(6), Variant(false));
    EXPECT_TRUE(PutOption(10, true));
    EXPECT_EQ(GetOption(10), Variant(true));
    EXPECT_TRUE(PutOption(16, 2048));
    EXPECT_EQ(GetOption(16), Variant(std::int32_t{2048}));
}

TEST_F(WinHttpSettingsTest, OptionsChangeWhatGoesOnTheWire) {
    Server server([](const Request&) { return Reply::Http(200, "OK", "ok"); });
    PutOption(0, "Agent/1.0");
    PutOption(17, false);
    Open("GET", Url(server, "/50%/é"));
    PutOption(3, true);
    Send();
    Request first = server.Requests().at(0);
    EXPECT_EQ(first.raw.substr(0, first.raw.find("\r\n")), "GET /50%25/%C3%A9 HTTP/1.0");
    EXPECT_EQ(first.Header("User-Agent"), "Agent/1.0");

    PutOption(3, false);
    PutOption(2, 936);
    Open("GET", Url(server, "/s?Disconnect=断 线"));
    Send();
    EXPECT_EQ(server.Requests().at(1).target, "/s?Disconnect=%B6%CF%20%CF%DF");

    PutOption(2, 65001);
    PutOption(8, true);
    Open("GET", Url(server, "/é?q=é"));
    Send();
    EXPECT_EQ(server.Requests().at(2).target, "/%C3%A9?q=\xC3\xA9");

    // Nothing escaped at all: a blank cannot go on the request line.
    PutOption(7, true);
    Open("GET", Url(server, "/a b"));
    Send();
    EXPECT_EQ(RaisedCode(), kInvalidUrl);
    EXPECT_EQ(server.Requests().size(), 3u);
}

TEST_F(WinHttpSettingsTest, TheHeaderSizeLimitAndTheTlsVersionsAreHonoured) {
    Server server([](const Request&) {
        return Reply::Http(200, "OK", "ok", {"X-Padding: " + std::string(200, 'p')});
    });
    PutOption(15, 100);
    Open("GET", Url(server, "/"));
    Send();
    EXPECT_EQ(RaisedCode(), kHeaderSizeOverflow);

    PutOption(9, 0);  // no TLS version allowed: a secure request cannot start
    Open("GET", "https://127.0.0.1:" + std::to_string(server.Port()) + "/");
    Send();
    EXPECT_EQ(RaisedCode(), kSecureFailure);
    EXPECT_EQ(server.Connections(), 1);
}

Reply Redirecting(const Request& r) {
    if (r.target == "/loop") return Reply::Http(302, "Found", "", {"Location: /loop"});
    if (r.target == "/see-other") return Reply::Http(303, "See Other", "", {"Location: /done"});
    if (r.target == "/temporary") return Reply::Http(307, "Temporary", "", {"Location: /done"});
    if (r.target == "/found") return Reply::Http(302, "Found", "", {"Location: /done"});
    if (r.target == "/scheme") {
        return Reply::Http(301, "Moved", "", {"Location: ftp://127.0.0.1/file"});
    }
    return Reply::Http(200, "OK", r.method + " " + r.body);
}

TEST_F(WinHttpSettingsTest, RedirectChainsEndAtTheirLimit) {
    Server server(Redirecting);
    Open("GET", Url(server, "/loop"));
    Send();
    EXPECT_EQ(RaisedCode(), kRedirectFailed);
    EXPECT_EQ(server.Requests().size(), 11u);  // the request and ten redirects

    PutOption(14, 2);
    Open("GET", Url(server, "/loop"));
    Send();
    EXPECT_EQ(RaisedCode(), kRedirectFailed);
    EXPECT_EQ(server.Requests().size(), 14u);

    Open("GET", Url(server, "/scheme"));
    Send();
    EXPECT_EQ(RaisedCode(), kRedirectFailed);
}

struct RedirectCase {
    const char* path;
    const char* finalBody;
};

TEST_F(WinHttpSettingsTest, APostIsRedirectedAsTheStatusSays) {
    Server server(Redirecting);
    const std::vector<RedirectCase> cases = {
        {"/see-other", "GET "}, {"/found", "GET "}, {"/temporary", "POST form"}};
    for (const RedirectCase& c : cases) {
        Open("POST", Url(server, c.path));
        Send(Variant(std::u16string(u"form")));
        Text body = automation::VariantToText(GetProperty<Variant>(request_, "ResponseText"));
        EXPECT_EQ(body, c.finalBody) << c.path;
        EXPECT_EQ(GetOption(1), Variant(AnsiToUtf16(Url(server, "/done")))) << c.path;
    }
}

TEST_F(WinHttpSettingsTest, ResponseHeadersAreFoundByNameInAnyCase) {
    Server server([](const Request&) {
        return Reply::Http(200, "OK", "", {"Set-Cookie: a=1", "set-cookie: b=2", "X-Empty:"});
    });
    Open("GET", Url(server, "/"));
    Send();
    EXPECT_EQ(CallMethod<Text>(request_, "GetResponseHeader", {"SET-COOKIE"}), "a=1");
    EXPECT_EQ(CallMethod<Text>(request_, "GetResponseHeader", {"x-empty"}), "");
    EXPECT_EQ(RaisedCode(), automation::kOk);
    CallMethod<Text>(request_, "GetResponseHeader", {"Location"});
    EXPECT_EQ(RaisedCode(), kHeaderNotFound);
    EXPECT_EQ(CallMethod<Text>(request_, "GetAllResponseHeaders"),
              "Set-Cookie: a=1\r\nset-cookie: b=2\r\nX-Empty:\r\nContent-Length: 0\r\n\r\n");
}

struct CharsetCase {
    std::string contentType;
    std::u16string text;
};

TEST_F(WinHttpSettingsTest, ResponseTextHonoursAUtf8Charset) {
    std::string contentType;
    Server server([&contentType](const Request&) {
        return Reply::Http(200, "OK", "\xE4\xB8\xAD", {"Content-Type: " + contentType});
    });
    const std::vector<CharsetCase> cases = {
        {"text/html; charset=utf-8", u"中"},
        {"text/html;Charset=\"UTF-8\"", u"中"},
        {"text/html; x=1; charset=utf8", u"中"},
        {"text/html", AnsiToUtf16("\xE4\xB8\xAD")},
        {"text/html; charset=gbk", AnsiToUtf16("\xE4\xB8\xAD")},
    };
    for (const CharsetCase& c : cases) {
        contentType = c.contentType;
        Open("GET", Url(server, "/"));
        Send();
        EXPECT_EQ(GetProperty<Variant>(request_, "ResponseText"), Variant(c.text)) << c.contentType;
    }
}

Bytes ReadFromStream(const AutomationObject& stream, int count) {
    return automation::VariantToBytes(CallMethod<Variant>(stream, "Read", {count}));
}

TEST_F(WinHttpSettingsTest, EachResponseStreamReadsTheBodyFromTheStart) {
    Server server([](const Request&) { return Reply::Http(200, "OK", "abcde"); });
    Open("GET", Url(server, "/"));
    Send();
    AutomationObject first = GetProperty<AutomationObject>(request_, "ResponseStream");
    EXPECT_EQ(ReadFromStream(first, 2), (Bytes{'a', 'b'}));
    AutomationObject second = GetProperty<AutomationObject>(request_, "ResponseStream");
    EXPECT_NE(first, second);
    EXPECT_EQ(ReadFromStream(second, 4), (Bytes{'a', 'b', 'c', 'd'}));
    request_.Reset();  // the streams outlive the request object
    EXPECT_EQ(ReadFromStream(first, 10), (Bytes{'c', 'd', 'e'}));
    EXPECT_EQ(ReadFromStream(first, 10), Bytes{});
    EXPECT_EQ(automation::VariantToBytes(CallMethod<Variant>(second, "Read")), Bytes{'e'});
    ReadFromStream(second, -1);
    EXPECT_EQ(RaisedCode(), automation::kInvalidArg);
}

TEST_F(WinHttpSettingsTest, SettingsMethodsCheckTheirArguments) {
    CallMethod(request_, "SetTimeouts", {0, -1, 5, 1000});
    EXPECT_EQ(RaisedCode(), automation::kOk);
    CallMethod(request_, "SetTimeouts", {0, -2, 5, 1000});
    EXPECT_EQ(RaisedCode(), automation::kInvalidArg);
    CallMethod(request_, "SetTimeouts", {1, 2, 3});
    EXPECT_EQ(RaisedCode(), automation::kDispParamNotOptional);

    for (int setting : {0, 1}) {
        CallMethod(request_, "SetProxy", {setting});
        EXPECT_EQ(RaisedCode(), automation::kOk) << setting;
    }
    CallMethod(request_, "SetProxy", {2, "127.0.0.1:3128", ""});
    EXPECT_EQ(RaisedCode(), automation::kOk);
    CallMethod(request_, "SetProxy", {2, ""});
    EXPECT_EQ(RaisedCode(), automation::kInvalidArg);
    CallMethod(request_, "SetProxy", {3, "127.0.0.1:3128"});
    EXPECT_EQ(RaisedCode(), automation::kInvalidArg);

    for (int policy : {0, 1, 2}) {
        CallMethod(request_, "SetAutoLogonPolicy", {policy});
        EXPECT_EQ(RaisedCode(), automation::kOk) << policy;
    }
    CallMethod(request_, "SetAutoLogonPolicy", {3});
    EXPECT_EQ(RaisedCode(), automation::kInvalidArg);

    Open("GET", "http://127.0.0.1:1/");
    CallMethod(request_, "SetCredentials", {"u", "p", 2});
    EXPECT_EQ(RaisedCode(), automation::kInvalidArg);
    CallMethod(request_, "SetCredentials", {"u", "p", 1});
    EXPECT_EQ(RaisedCode(), automation::kOk);
}

TEST_F(WinHttpSettingsTest, AClientCertificateIsAReadablePemFile) {
    CallMethod(request_, "SetClientCertificate", {"/nonexistent/client.pem"});
    EXPECT_EQ(RaisedCode(), kCertificateNotFound);
    const std::string path = ::testing::TempDir() + "client_certificate_test.pem";
    std::ofstream(path) << "-----BEGIN CERTIFICATE-----\n";
    CallMethod(request_, "SetClientCertificate", {path});
    EXPECT_EQ(RaisedCode(), automation::kOk);
    CallMethod(request_, "SetClientCertificate", {""});
    EXPECT_EQ(RaisedCode(), automation::kOk);
    std::remove(path.c_str());
}

TEST_F(WinHttpSettingsTest, WaitForResponseAfterASynchronousSend) {
    Server server([](const Request&) { return Reply::Http(200, "OK", "ok"); });
    CallMethod<bool>(request_, "WaitForResponse", {1});
    EXPECT_EQ(RaisedCode(), kCannotCallBeforeOpen);
    Open("GET", Url(server, "/"));
    CallMethod<bool>(request_, "WaitForResponse", {1});
    EXPECT_EQ(RaisedCode(), kCannotCallBeforeSend);
    Send();
    EXPECT_TRUE(CallMethod<bool>(request_, "WaitForResponse"));
    CallMethod<bool>(request_, "WaitForResponse", {-2});
    EXPECT_EQ(RaisedCode(), automation::kInvalidArg);

    Open("GET", "http://127.0.0.1:" + std::to_string(testing::ClosedPort()) + "/");
    Send();
    EXPECT_FALSE(CallMethod<bool>(request_, "WaitForResponse", {1}));
    EXPECT_EQ(RaisedCode(), kCannotConnect);
}

struct ProxyCase {
    ProxySetting setting;
    std::string url;
    std::optional<std::string> expected;
};

TEST(ProxyForTest, TheBypassListAndTheSchemeChooseTheProxy) {
    const ProxySetting named{ProxyMode::Named, "p:1", ""};
    const std::vector<ProxyCase> cases = {
        {{ProxyMode::Environment, "p:1", ""}, "http://a/", std::nullopt},
        {{ProxyMode::Direct, "p:1", ""}, "http://a/", ""},
        {named, "http://a/", "p:1"},
        {{ProxyMode::Named, "p:1", "*.example.com"}, "http://www.Example.com:8080/", ""},
        {{ProxyMode::Named, "p:1", "*.example.com"}, "http://example.org/", "p:1"},
        {{ProxyMode::Named, "p:1", "<local>"}, "http://router/", ""},
        {{ProxyMode::Named, "p:1", "<local>"}, "http://router.lan/", "p:1"},
        {{ProxyMode::Named, "p:1", "a.b; 127.0.0.*"}, "http://user@127.0.0.9/", ""},
        {{ProxyMode::Named, "p:1", "[::1]"}, "http://[::1]:80/", ""},
        {{ProxyMode::Named, "http=h:1;https=s:2", ""}, "http://a/", "h:1"},
        {{ProxyMode::Named, "http=h:1;https=s:2", ""}, "https://a/", "s:2"},
        {{ProxyMode::Named, "https=s:2", ""}, "http://a/", ""},
    };
    for (const ProxyCase& c : cases) {
        EXPECT_EQ(ProxyFor(c.setting, c.url), c.expected)
            << c.setting.server << " / " << c.setting.bypass << " / " << c.url;
    }
}

}  // namespace
}  // namespace tralvex::winhttp
