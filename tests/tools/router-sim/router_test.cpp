#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "router_fixture.hpp"

namespace tralvex::routersim::testing {
namespace {

const std::vector<std::string> kUpQuads = {"4.19.6.2",      "198.51.100.1",    "255.255.255.0",
                                           "203.0.113.7",   "255.255.255.255", "203.0.113.1",
                                           "198.51.100.53", "198.51.100.54"};
const std::vector<std::string> kDownQuads = {"4.19.6.2", "198.51.100.1", "255.255.255.0",
                                             "0.0.0.0",  "0.0.0.0",      "0.0.0.0",
                                             "0.0.0.0",  "0.0.0.0"};

TEST(RouterStatusTest, PageCarriesFirmwareLanAddressAndMaskThenTheWanAddressFourth) {
    auto router = StartRouter(Quick());
    Response response = Get(router->Port(), kStatusTarget);
    ASSERT_TRUE(response.complete) << response.bytes;
    EXPECT_EQ(response.status, 200);
    EXPECT_EQ(response.Header("Content-Type"), "text/html; charset=utf-8");
    EXPECT_EQ(response.Header("Connection"), "keep-alive");
    EXPECT_EQ(Quads(response.body), kUpQuads);
    EXPECT_NE(response.body.find("name=\"Disconnect\" value=\"断 线\""), std::string::npos);

    Response down = Get(router->Port(), kDisconnectTarget);
    EXPECT_EQ(Quads(down.body), kDownQuads);
    EXPECT_NE(down.body.find("name=\"Connect\" value=\"连 接\""), std::string::npos);
}

TEST(RouterStatusTest, AnswersRequestsOneAfterTheOtherOnOneConnection) {
    auto router = StartRouter(Quick());
    Connection connection(router->Port());
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(connection.Send(RequestBytes(kStatusTarget, kGoodCookie, router->Port())));
        EXPECT_EQ(FourthQuad(connection.Receive().body), "203.0.113.7");
    }
    std::vector<Record> records = router->Records();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].connection, records[2].connection);
}

class ZeroPollsTest : public ::testing::TestWithParam<int> {};

TEST_P(ZeroPollsTest, ShowsZeroFromTheDisconnectThroughTheZeroPollsThenANewAddress) {
    Scenario scenario = Quick();
    scenario.zeroPolls = GetParam();
    auto router = StartRouter(scenario);
    EXPECT_EQ(FourthQuad(Get(router->Port(), kDisconnectTarget).body), "0.0.0.0");
    // Polls before the connect request do not count as zero polls.
    EXPECT_EQ(Poll(*router), "0.0.0.0");
    EXPECT_EQ(Poll(*router), "0.0.0.0");
    EXPECT_EQ(FourthQuad(Get(router->Port(), kConnectTarget).body), "0.0.0.0");
    for (int i = 0; i < GetParam(); ++i) EXPECT_EQ(Poll(*router), "0.0.0.0") << "poll " << i;
    std::string address = Poll(*router);
    EXPECT_NE(address, "0.0.0.0");
    EXPECT_NE(address, "203.0.113.7");
    EXPECT_EQ(Poll(*router), address);
}

INSTANTIATE_TEST_SUITE_P(Counts, ZeroPollsTest, ::testing::Values(0, 1, 3));

TEST(RouterLinkTest, RepeatedAndOutOfOrderRequestsChangeNothingMore) {
    Scenario scenario = Quick();
    scenario.zeroPolls = 1;
    auto router = StartRouter(scenario);
    // A connect while up does nothing.
    Get(router->Port(), kConnectTarget);
    EXPECT_EQ(Poll(*router), "203.0.113.7");
    // A second disconnect keeps the link down; a second connect does not
    // start the zero polls again.
    Get(router->Port(), kDisconnectTarget);
    Get(router->Port(), kDisconnectTarget);
    Get(router->Port(), kConnectTarget);
    EXPECT_EQ(Poll(*router), "0.0.0.0");
    Get(router->Port(), kConnectTarget);
    std::string address = Poll(*router);
    EXPECT_NE(address, "0.0.0.0");
    // A disconnect while redialing takes the link down again.
    Cycle(*router);
    Get(router->Port(), kDisconnectTarget);
    EXPECT_EQ(Poll(*router), "0.0.0.0");
    EXPECT_EQ(Poll(*router), "0.0.0.0");
}

struct RepeatCase {
    int repeats;
    bool eachChange;
    // For each cycle: whether the address is the one before that cycle.
    std::vector<bool> same;
};

void PrintTo(const RepeatCase& c, std::ostream* out) {
    *out << "repeats " << c.repeats << (c.eachChange ? " each change" : "");
}

class RepeatsTest : public ::testing::TestWithParam<RepeatCase> {};

TEST_P(RepeatsTest, BringsBackTheOldAddressForTheFirstRepeats) {
    Scenario scenario = Quick();
    scenario.repeats = GetParam().repeats;
    scenario.repeatsEachChange = GetParam().eachChange;
    auto router = StartRouter(scenario);
    std::string before = "203.0.113.7";
    const std::vector<bool>& same = GetParam().same;
    std::vector<std::string> addresses =
        AddressesAfterCycles(*router, static_cast<int>(same.size()));
    for (std::size_t i = 0; i < same.size(); ++i) {
        EXPECT_EQ(addresses[i] == before, same[i]) << "cycle " << i << ": " << addresses[i];
        EXPECT_TRUE(IsDottedQuad(addresses[i])) << addresses[i];
        before = addresses[i];
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RepeatsTest,
    ::testing::Values(RepeatCase{0, false, {false, false, false}},
                      RepeatCase{3, false, {true, true, true, false, false}},
                      RepeatCase{kAlways, false, {true, true, true, true, true, true}},
                      RepeatCase{1, true, {true, false, true, false, true, false}},
                      RepeatCase{2, true, {true, true, false, true, true, false}}));

TEST(RouterAddressTest, NewAddressesFollowTheListThenTheSeededSequence) {
    Scenario scenario = Quick();
    scenario.newWans = {"198.51.100.77", "198.51.100.077"};
    auto listed = StartRouter(scenario);
    std::vector<std::string> addresses = AddressesAfterCycles(*listed, 4);
    EXPECT_EQ(addresses[0], "198.51.100.77");
    // Told apart from the one before by its text alone.
    EXPECT_EQ(addresses[1], "198.51.100.077");

    Scenario seeded = Quick();
    seeded.seed = 42;
    auto first = StartRouter(seeded);
    auto second = StartRouter(seeded);
    seeded.seed = 43;
    auto other = StartRouter(seeded);
    std::vector<std::string> sequence = AddressesAfterCycles(*first, 8);
    EXPECT_EQ(AddressesAfterCycles(*second, 8), sequence);
    EXPECT_NE(AddressesAfterCycles(*other, 8), sequence);
    // After the list the sequence goes on as it starts without one.
    EXPECT_EQ(std::vector<std::string>(addresses.begin() + 2, addresses.end()),
              AddressesAfterCycles(*StartRouter(Quick()), 2));

    std::string before = "203.0.113.7";
    for (const std::string& address : sequence) {
        EXPECT_NE(address, before);
        ASSERT_EQ(address.rfind("203.0.113.", 0), 0u) << address;
        int host = std::atoi(address.c_str() + 10);
        EXPECT_GE(host, 2);
        EXPECT_LE(host, 254);
        before = address;
    }
}

struct QueryCase {
    std::string target;
    Kind kind;
};

void PrintTo(const QueryCase& c, std::ostream* out) { *out << c.target; }

class DisconnectQueryTest : public ::testing::TestWithParam<QueryCase> {};

// Every way of escaping the query is read alike; anything else is a status request.
TEST_P(DisconnectQueryTest, TakesTheLinkDownOnlyForADisconnectRequest) {
    auto router = StartRouter(Quick());
    Get(router->Port(), GetParam().target);
    EXPECT_EQ(Poll(*router), GetParam().kind == Kind::Disconnect ? "0.0.0.0" : "203.0.113.7");
    std::vector<Record> records = router->Records();
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records[0].kind, GetParam().kind);
    // The record keeps the target as sent, escapes and all.
    EXPECT_EQ(records[0].raw.substr(4, GetParam().target.size()), GetParam().target);
}

INSTANTIATE_TEST_SUITE_P(
    Targets, DisconnectQueryTest,
    ::testing::Values(
        QueryCase{std::string(kDisconnectTarget), Kind::Disconnect},
        QueryCase{"/userRpm/StatusRpm.htm?Disconnect=%e6%96%ad+%e7%ba%bf&wan=1", Kind::Disconnect},
        QueryCase{"/userRpm/StatusRpm.htm?Disconnect=%B6%CF%20%CF%DF&wan=1", Kind::Disconnect},
        QueryCase{"/userRpm/StatusRpm.htm?Disconnect=\xe6\x96\xad%20\xe7\xba\xbf&wan=1",
                  Kind::Disconnect},
        QueryCase{"/userRpm/StatusRpm.htm?wan=1&Disconnect=", Kind::Disconnect},
        QueryCase{"/userRpm/StatusRpm.htm?%44isconnect=x&wan=%31", Kind::Disconnect},
        QueryCase{"/userRpm/StatusRpm.htm?Disconnect=x", Kind::Status},
        QueryCase{"/userRpm/StatusRpm.htm?Disconnect=x&wan=2", Kind::Status},
        QueryCase{"/userRpm/StatusRpm.htm?disconnect=x&wan=1", Kind::Status},
        QueryCase{"/userRpm/StatusRpm.htm?Disconnect=x&Connect=y&wan=1", Kind::Status},
        QueryCase{"/userRpm/StatusRpm.htm?Disconnected=x&wan=1", Kind::Status},
        QueryCase{"/userRpm/statusrpm.htm?Disconnect=x&wan=1", Kind::Other},
        QueryCase{"/userRpm/StatusRpm.htmDisconnect=x&wan=1", Kind::Other}));

class ConnectQueryTest : public ::testing::TestWithParam<QueryCase> {};

TEST_P(ConnectQueryTest, BringsTheLinkBackOnlyForAConnectRequest) {
    auto router = StartRouter(Quick());
    Get(router->Port(), kDisconnectTarget);
    Get(router->Port(), GetParam().target);
    std::string address = Poll(*router);
    EXPECT_EQ(address == "0.0.0.0", GetParam().kind != Kind::Connect) << address;
    EXPECT_EQ(router->Records().at(1).kind, GetParam().kind);
}

INSTANTIATE_TEST_SUITE_P(
    Targets, ConnectQueryTest,
    ::testing::Values(QueryCase{std::string(kConnectTarget), Kind::Connect},
                      QueryCase{"/userRpm/StatusRpm.htm?Connect=%C1%AC+%BD%D3&wan=1",
                                Kind::Connect},
                      QueryCase{"/userRpm/StatusRpm.htm?wan=1&Connect", Kind::Connect},
                      QueryCase{"/userRpm/StatusRpm.htm?Connect=x", Kind::Status},
                      QueryCase{"/userRpm/StatusRpm.htm?Connect=x&wan=", Kind::Status},
                      QueryCase{"/userRpm/StatusRpm.htm?CONNECT=x&wan=1", Kind::Status}));

struct CookieCase {
    std::string name;
    std::optional<std::string> cookie;
};

void PrintTo(const CookieCase& c, std::ostream* out) { *out << c.name; }

class WrongCookieTest : public ::testing::TestWithParam<CookieCase> {};

TEST_P(WrongCookieTest, GetsTheLoginPageWithoutAnyQuadAndChangesNothing) {
    auto router = StartRouter(Quick());
    const std::optional<std::string>& cookie = GetParam().cookie;
    auto asOptional = [&]() -> std::optional<std::string_view> {
        if (cookie) return *cookie;
        return std::nullopt;
    };
    for (std::string_view target : {kStatusTarget, kDisconnectTarget}) {
        Response response = Get(router->Port(), target, asOptional());
        ASSERT_TRUE(response.complete) << response.bytes;
        EXPECT_EQ(response.status, 200);
        EXPECT_EQ(Quads(response.body), std::vector<std::string>{});
        EXPECT_NE(response.body.find("type=\"password\""), std::string::npos);
    }
    EXPECT_EQ(Poll(*router), "203.0.113.7");
    std::vector<Record> records = router->Records();
    EXPECT_EQ(records[0].answer, Answer::LoginPage);
    EXPECT_EQ(records[1].answer, Answer::LoginPage);
    EXPECT_EQ(records[1].wan, "-");
}

INSTANTIATE_TEST_SUITE_P(
    Cookies, WrongCookieTest,
    ::testing::Values(CookieCase{"Missing", std::nullopt}, CookieCase{"Empty", ""},
                      CookieCase{"WrongPassword", "Authorization=Basic%20YWRtaW46YWRtaW5h"},
                      CookieCase{"BarePrefix", "Authorization=Basic%20"},
                      CookieCase{"SpaceUnescaped", "Authorization=Basic YWRtaW46YWRtaW4="},
                      CookieCase{"NameLowerCase", "authorization=Basic%20YWRtaW46YWRtaW4="},
                      CookieCase{"PaddingMissing", "Authorization=Basic%20YWRtaW46YWRtaW4"},
                      CookieCase{"AnotherCookieAfter",
                                 "Authorization=Basic%20YWRtaW46YWRtaW4=; lang=cn"}),
    [](const ::testing::TestParamInfo<CookieCase>& param) { return param.param.name; });

TEST(RouterCookieTest, AcceptsTheCookieOfItsOwnPasswordOrTheOneItWasGiven) {
    Scenario chinese = Quick();
    chinese.password = "\xe5\xaf\x86\xe7\xa0\x81";  // 密码 in UTF-8
    auto router = StartRouter(chinese);
    EXPECT_EQ(
        FourthQuad(
            Get(router->Port(), kStatusTarget, "Authorization=Basic%20YWRtaW465a+G56CB").body),
        "203.0.113.7");
    EXPECT_EQ(Quads(Get(router->Port(), kStatusTarget).body), std::vector<std::string>{});
    // Blanks after the value are not part of it.
    EXPECT_EQ(
        FourthQuad(
            Get(router->Port(), kStatusTarget, "Authorization=Basic%20YWRtaW465a+G56CB \t").body),
        "203.0.113.7");

    Scenario given = Quick();
    given.cookie = "Authorization=Basic%20YWRtaW46YQpi";
    auto fixed = StartRouter(given);
    EXPECT_EQ(
        FourthQuad(Get(fixed->Port(), kStatusTarget, "Authorization=Basic%20YWRtaW46YQpi").body),
        "203.0.113.7");
    EXPECT_EQ(Quads(Get(fixed->Port(), kStatusTarget).body), std::vector<std::string>{});
}

TEST(RouterOtherRequestsTest, AnswersOtherPathsAndMethodsWithAnErrorAndDoesNothing) {
    auto router = StartRouter(Quick());
    Response missing = Get(router->Port(), "/userRpm/LoginRpm.htm?Disconnect=x&wan=1");
    EXPECT_EQ(missing.status, 404);
    Connection connection(router->Port());
    connection.Send("POST /userRpm/StatusRpm.htm?Disconnect=x&wan=1 HTTP/1.1\r\nCookie: " +
                    std::string(kGoodCookie) + "\r\nContent-Length: 5\r\n\r\nhello");
    Response post = connection.Receive();
    EXPECT_EQ(post.status, 501);
    EXPECT_EQ(Quads(post.body), std::vector<std::string>{});
    EXPECT_EQ(Poll(*router), "203.0.113.7");

    std::vector<Record> records = router->Records();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].answer, Answer::NotFound);
    EXPECT_EQ(records[1].answer, Answer::NotImplemented);
    EXPECT_EQ(records[1].kind, Kind::Other);
    EXPECT_EQ(records[1].raw.substr(records[1].raw.size() - 9), "\r\n\r\nhello");
}

// A file name of its own for each test, removed afterwards.
class TempFile {
  public:
    TempFile()
        : path_(std::filesystem::temp_directory_path() /
                ("router_sim_test_" + std::to_string(::getpid()) + "_" +
                 std::to_string(counter_++) + ".log")) {
        std::filesystem::remove(path_);
    }
    ~TempFile() { std::filesystem::remove(path_); }
    std::string Path() const { return path_.string(); }
    std::string Read() const {
        std::ifstream in(path_, std::ios::binary);
        std::stringstream content;
        content << in.rdbuf();
        return content.str();
    }
    void Write(const std::string& bytes) const { std::ofstream(path_, std::ios::binary) << bytes; }

  private:
    static inline int counter_ = 0;
    std::filesystem::path path_;
};

TEST(RouterLogTest, RecordsEveryRequestExactlyAndAppendsEachAtOnce) {
    TempFile log;
    log.Write("earlier content\n");
    Scenario scenario = Quick();
    scenario.logPath = log.Path();
    auto router = StartRouter(scenario);
    const std::uint16_t port = router->Port();

    const std::string status = RequestBytes(kStatusTarget, kGoodCookie, port);
    Get(port, kStatusTarget);
    // Already in the file while the router runs.
    const std::string first = "=== request 1 connection 1 kind status reply status-page wan " +
                              std::string("203.0.113.7 bytes ") + std::to_string(status.size()) +
                              " ===\n" + status + "\n";
    EXPECT_EQ(log.Read(), "earlier content\n" + first);

    // Bytes that look like a record header, and bytes above 0x7F.
    const std::string odd =
        "GET /userRpm/StatusRpm.htm?Disconnect=\xb6\xcf%20\xcf\xdf&wan=1 HTTP/1.1\r\n"
        "Cookie: " +
        std::string(kGoodCookie) +
        "\r\nX-Note: === request 9 connection 9 kind status reply hang wan - bytes 0 ===\r\n\r\n";
    Connection connection(port);
    connection.Send(odd);
    connection.Receive();
    Get(port, kConnectTarget, std::nullopt);

    std::string content = log.Read();
    ASSERT_EQ(content.rfind("earlier content\n" + first, 0), 0u);
    std::optional<std::vector<Record>> parsed =
        ParseLog(std::string_view(content).substr(std::string("earlier content\n").size()));
    ASSERT_TRUE(parsed);
    std::vector<Record> expected = {
        {1, 1, Kind::Status, Answer::StatusPage, "203.0.113.7", status},
        {2, 2, Kind::Disconnect, Answer::StatusPage, "0.0.0.0", odd},
        {3, 3, Kind::Connect, Answer::LoginPage, "-",
         RequestBytes(kConnectTarget, std::nullopt, port)},
    };
    EXPECT_EQ(*parsed, expected);
    EXPECT_EQ(router->Records(), expected);
}

TEST(RouterLogTest, ReportsALogThatCannotBeOpened) {
    Scenario scenario = Quick();
    scenario.logPath = "/nonexistent-directory/router.log";
    Router router(scenario);
    EXPECT_NE(router.Error().find("cannot open the log /nonexistent-directory/router.log"),
              std::string::npos)
        << router.Error();
    EXPECT_EQ(router.Port(), 0);
}

TEST(RouterStartTest, ReportsABusyPort) {
    auto first = StartRouter(Quick());
    Scenario scenario = Quick();
    scenario.port = first->Port();
    Router second(scenario);
    EXPECT_NE(second.Error().find("cannot listen on 127.0.0.1:" + std::to_string(first->Port())),
              std::string::npos)
        << second.Error();
}

TEST(RouterRecordsTest, KeepsNoneWhenAskedNotTo) {
    Scenario scenario = Quick();
    scenario.keepRecords = false;
    auto router = StartRouter(scenario);
    EXPECT_EQ(Poll(*router), "203.0.113.7");
    EXPECT_TRUE(router->Records().empty());
}

}  // namespace
}  // namespace tralvex::routersim::testing
