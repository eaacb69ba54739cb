#include <gtest/gtest.h>

#include "router_sim.hpp"

namespace tralvex::routersim {
namespace {

using namespace std::string_view_literals;

TEST(Base64Test, EncodesTheRfc4648Vectors) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
        {"\xff\xfe\x00\x80"sv, "//4AgA=="}};
    for (const auto& [bytes, base64] : cases) {
        EXPECT_EQ(Base64(bytes), base64) << bytes;
    }
    EXPECT_EQ(Base64("\0\0\0"sv), "AAAA");
}

TEST(ExpectedCookieTest, IsThePrefixAndTheBase64OfAdminColonPassword) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"admin", "Authorization=Basic%20YWRtaW46YWRtaW4="},
        {"", "Authorization=Basic%20YWRtaW46"},
        // The UTF-8 bytes of 密码.
        {"\xe5\xaf\x86\xe7\xa0\x81", "Authorization=Basic%20YWRtaW465a+G56CB"},
    };
    for (const auto& [password, cookie] : cases) {
        EXPECT_EQ(ExpectedCookie(password), cookie) << password;
    }
}

TEST(DecodeQueryComponentTest, DecodesEscapesAndPlusAndKeepsBrokenEscapes) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"%E6%96%AD%20%E7%BA%BF", "\xe6\x96\xad \xe7\xba\xbf"},
        {"%e6%96%ad+%e7%ba%bf", "\xe6\x96\xad \xe7\xba\xbf"},
        {"%B6%CF%20%CF%DF", "\xb6\xcf \xcf\xdf"},
        {"plain", "plain"},
        {"100%", "100%"},
        {"%4", "%4"},
        {"%zz%41", "%zzA"},
        {"%2541", "%41"},
    };
    for (const auto& [text, decoded] : cases) {
        EXPECT_EQ(DecodeQueryComponent(text), decoded) << text;
    }
}

TEST(IsDottedQuadTest, AcceptsFourNumbersUpTo255) {
    for (std::string_view good : {"203.0.113.7", "0.0.0.0", "255.255.255.255", "203.0.113.007"}) {
        EXPECT_TRUE(IsDottedQuad(good)) << good;
    }
    for (std::string_view bad : {"", "1.2.3", "1.2.3.4.5", "256.1.1.1", "1.2.3.0004", "1..2.3",
                                 "1.2.3.4 ", " 1.2.3.4", "a.b.c.d", "1.2.3.-4"}) {
        EXPECT_FALSE(IsDottedQuad(bad)) << bad;
    }
}

TEST(LogFormatTest, WritesAHeaderLineTheExactBytesAndANewline) {
    Record record{7, 3, Kind::Disconnect, Answer::Drop, "0.0.0.0", "GET /x HTTP/1.1\r\n\r\n"};
    EXPECT_EQ(FormatRecord(record),
              "=== request 7 connection 3 kind disconnect reply drop wan 0.0.0.0 bytes 19 ===\n"
              "GET /x HTTP/1.1\r\n\r\n\n");
}

TEST(LogFormatTest, ParsesBackWhateverTheRequestBytesHold) {
    // Request bytes that look like a header line, hold a NUL, or lack a line end.
    std::vector<Record> records = {
        {1, 1, Kind::Status, Answer::StatusPage, "203.0.113.7", "GET / HTTP/1.1\r\n\r\n"},
        {2, 1, Kind::Other, Answer::NotImplemented, "-",
         "POST /userRpm/StatusRpm.htm HTTP/1.1\r\nContent-Length: 80\r\n\r\n"
         "\n=== request 3 connection 1 kind status reply hang wan - bytes 0 ===\n\n\n"},
        {3, 2, Kind::Connect, Answer::Garbage, "-", std::string("\0x", 2)},
        {4, 2, Kind::Status, Answer::LoginPage, "-", ""},
        {5, 9, Kind::Status, Answer::Hang, "-", "no line end"},
    };
    std::string log;
    for (const Record& record : records) log += FormatRecord(record);
    std::optional<std::vector<Record>> parsed = ParseLog(log);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(*parsed, records);
    EXPECT_EQ(ParseLog(""), std::vector<Record>{});
}

TEST(LogFormatTest, RejectsWhatIsNotWholeRecords) {
    const std::string good = FormatRecord({1, 1, Kind::Status, Answer::Hang, "-", "abc"});
    for (const std::string& bad : {
             good.substr(0, good.size() - 1),  // the final newline missing
             good.substr(0, 20),               // cut in the header line
             good + "x",                       // trailing bytes
             std::string(
                 "=== request 1 connection 1 kind status reply hang wan - bytes 4 ===\nabc\n"),
             std::string(
                 "=== request 1 connection 1 kind nothing reply hang wan - bytes 0 ===\n\n"),
             std::string(
                 "=== request 1 connection 1 kind status reply sleep wan - bytes 0 ===\n\n"),
             std::string("=== request x connection 1 kind status reply hang wan - bytes 0 ===\n\n"),
             std::string("GET / HTTP/1.1\r\n\r\n"),
         }) {
        EXPECT_FALSE(ParseLog(bad)) << bad;
    }
}

}  // namespace
}  // namespace tralvex::routersim
