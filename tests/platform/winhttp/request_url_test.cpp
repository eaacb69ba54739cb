#include "platform/winhttp/request_url.hpp"

#include <gtest/gtest.h>

#include "platform/winhttp/winhttp_errors.hpp"

namespace tralvex::winhttp {
namespace {

struct ParseCase {
    std::u16string url;
    automation::HResult expected;
};

TEST(RequestUrlTest, OnlyAbsoluteHttpUrlsWithAHostAreAccepted) {
    const std::vector<ParseCase> cases = {
        {u"http://127.0.0.1/x", automation::kOk},
        {u"HTTP://127.0.0.1:8080", automation::kOk},
        {u"https://[::1]:443/a?b", automation::kOk},
        {u"http://user:pw@host/", automation::kOk},
        {u"host.example", kUnrecognizedScheme},
        {u"192.168.1.1/x", kUnrecognizedScheme},
        {u"ftp://host/", kUnrecognizedScheme},
        {u"", kUnrecognizedScheme},
        {u" http://host/", kUnrecognizedScheme},
        {u"http:host", kInvalidUrl},
        {u"http://", kInvalidUrl},
        {u"http:///userRpm/StatusRpm.htm", kInvalidUrl},
        {u"http://host:/", kInvalidUrl},
        {u"http://host:0/", kInvalidUrl},
        {u"http://host:65536/", kInvalidUrl},
        {u"http://host:8o/", kInvalidUrl},
        {u"http://ho st/", kInvalidUrl},
        {u"http://h\u00f6st/", kInvalidUrl},
        {u"http://[::1/", kInvalidUrl},
        {u"http://a]b/", kInvalidUrl},
    };
    for (const ParseCase& c : cases) {
        RequestUrl url;
        EXPECT_EQ(ParseRequestUrl(c.url, url), c.expected)
            << std::string(c.url.begin(), c.url.end());
    }
}

TEST(RequestUrlTest, KeepsOriginAndDropsTheFragment) {
    RequestUrl url;
    ASSERT_EQ(ParseRequestUrl(u"HTTPS://Host:81/p?q=1#frag", url), automation::kOk);
    EXPECT_TRUE(url.secure);
    EXPECT_EQ(url.origin, "https://Host:81");
    EXPECT_EQ(url.pathAndQuery, u"/p?q=1");
}

struct WireCase {
    std::u16string url;
    UrlEscaping escaping;
    std::string expected;
};

TEST(RequestUrlTest, PathAndQueryArePercentEscapedAsTheOptionsSay) {
    const UrlEscaping defaults;
    const std::vector<WireCase> cases = {
        {u"http://h", defaults, "http://h/"},
        {u"http://h?x=1", defaults, "http://h/?x=1"},
        {u"http://h/a b?c d", defaults, "http://h/a%20b?c%20d"},
        {u"http://h/%41%zz", defaults, "http://h/%41%zz"},
        {u"http://h/\u00e9", defaults, "http://h/%C3%A9"},
        {u"http://h/\t\x7f", defaults, "http://h/%09%7F"},
        {u"http://h/<\"{}|^`>'~", defaults, "http://h/<\"{}|^`>'~"},
        {u"http://h/?Disconnect=\u65ad \u7ebf&wan=1", defaults,
         "http://h/?Disconnect=%E6%96%AD%20%E7%BA%BF&wan=1"},
        {u"http://h/?Disconnect=\u65ad \u7ebf",
         {936, false, false, false},
         "http://h/?Disconnect=%B6%CF%20%CF%DF"},
        {u"http://h/?Disconnect=\u65ad", {0, false, false, false}, "http://h/?Disconnect=%B6%CF"},
        {u"http://h/50%", {65001, true, false, false}, "http://h/50%25"},
        {u"http://h/a b?c d", {65001, false, false, true}, "http://h/a%20b?c d"},
        {u"http://h/a b?c d", {65001, false, true, false}, "http://h/a b?c d"},
    };
    for (const WireCase& c : cases) {
        RequestUrl url;
        ASSERT_EQ(ParseRequestUrl(c.url, url), automation::kOk);
        EXPECT_EQ(WireUrl(url, c.escaping), c.expected) << c.expected;
    }
}

TEST(RequestUrlTest, OriginIgnoresCaseAndPath) {
    EXPECT_EQ(OriginOf("HTTP://Host:81/a?b"), "http://host:81");
    EXPECT_EQ(OriginOf("http://host?x"), "http://host");
    EXPECT_NE(OriginOf("http://host:81/"), OriginOf("http://host:82/"));
}

}  // namespace
}  // namespace tralvex::winhttp
