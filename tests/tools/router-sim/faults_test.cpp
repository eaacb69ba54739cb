#include <cerrno>
#include <thread>

#include "router_fixture.hpp"

namespace tralvex::routersim::testing {
namespace {

std::vector<Answer> AnswersOf(const Router& router) {
    std::vector<Answer> answers;
    for (const Record& record : router.Records()) answers.push_back(record.answer);
    return answers;
}

// Tries to connect until the router accepts again, for at most kReplyWait.
bool WaitUntilListening(std::uint16_t port) {
    auto deadline = std::chrono::steady_clock::now() + kReplyWait;
    while (std::chrono::steady_clock::now() < deadline) {
        if (Connection(port).Connected()) return true;
        std::this_thread::sleep_for(20ms);
    }
    return false;
}

TEST(RefuseFaultTest, NothingListensFromTheDisconnectUntilTheOutageEnds) {
    Scenario scenario = Quick();
    scenario.zeroPolls = 1;
    scenario.refuseWhileReconnecting = true;
    // Long enough that the checks right after the disconnect fall inside it.
    scenario.outageMs = 2000;
    auto router = StartRouter(scenario);
    const std::uint16_t port = router->Port();
    Connection idle(port);
    ASSERT_TRUE(idle.Send(RequestBytes(kStatusTarget, kGoodCookie, port)));
    ASSERT_TRUE(idle.Receive().complete);

    Connection disconnect(port);
    disconnect.Send(RequestBytes(kDisconnectTarget, kGoodCookie, port));
    Response reply = disconnect.Receive();
    EXPECT_EQ(FourthQuad(reply.body), "0.0.0.0");
    EXPECT_EQ(reply.Header("Connection"), "close");
    EXPECT_TRUE(disconnect.Receive(kSilenceWait).closed);
    // The router's web server restarted: the idle connection was cut too.
    EXPECT_TRUE(idle.Receive(kSilenceWait).closed);

    Connection refused(port);
    EXPECT_FALSE(refused.Connected());
    EXPECT_EQ(refused.ConnectError(), ECONNREFUSED);
    EXPECT_FALSE(Get(port, kConnectTarget).complete);

    ASSERT_TRUE(WaitUntilListening(port));
    // The link redialed by itself: one zero poll, then the address.
    EXPECT_EQ(Poll(*router), "0.0.0.0");
    std::string address = Poll(*router);
    EXPECT_NE(address, "0.0.0.0");
    EXPECT_NE(address, "203.0.113.7");
    // The refused attempts never reached the router.
    EXPECT_EQ(AnswersOf(*router), (std::vector<Answer>{Answer::StatusPage, Answer::StatusPage,
                                                       Answer::StatusPage, Answer::StatusPage}));
}

TEST(DropFaultTest, ClosesUnansweredFromTheDisconnectUntilTheAddressIsBack) {
    Scenario scenario = Quick();
    scenario.zeroPolls = 2;
    scenario.dropWhileReconnecting = true;
    auto router = StartRouter(scenario);
    const std::uint16_t port = router->Port();
    EXPECT_EQ(FourthQuad(Get(port, kDisconnectTarget).body), "0.0.0.0");
    for (std::string_view target : {kStatusTarget, kConnectTarget, kStatusTarget, kStatusTarget}) {
        Response response = Get(port, target);
        EXPECT_TRUE(response.closed) << target;
        EXPECT_EQ(response.bytes, "") << target;
    }
    // The dropped polls counted: the next one shows the new address.
    std::string address = Poll(*router);
    EXPECT_NE(address, "0.0.0.0");
    EXPECT_NE(address, "203.0.113.7");
    EXPECT_EQ(Poll(*router), address);
    EXPECT_EQ(AnswersOf(*router),
              (std::vector<Answer>{Answer::StatusPage, Answer::Drop, Answer::Drop, Answer::Drop,
                                   Answer::Drop, Answer::StatusPage, Answer::StatusPage}));
}

TEST(DropFaultTest, CombinedWithTheRefusalDropsTheZeroPollsAfterTheOutage) {
    Scenario scenario = Quick();
    scenario.zeroPolls = 1;
    scenario.refuseWhileReconnecting = true;
    scenario.outageMs = 100;
    scenario.dropWhileReconnecting = true;
    auto router = StartRouter(scenario);
    const std::uint16_t port = router->Port();
    EXPECT_EQ(FourthQuad(Get(port, kDisconnectTarget).body), "0.0.0.0");
    ASSERT_TRUE(WaitUntilListening(port));
    EXPECT_TRUE(Get(port, kStatusTarget).closed);
    EXPECT_NE(Poll(*router), "203.0.113.7");
    EXPECT_EQ(AnswersOf(*router),
              (std::vector<Answer>{Answer::StatusPage, Answer::Drop, Answer::StatusPage}));
}

struct KindFault {
    std::string name;
    Targets targets;
    // Which of status, disconnect, connect, status is hit.
    std::vector<bool> hit;
};

void PrintTo(const KindFault& fault, std::ostream* out) { *out << fault.name; }

std::vector<KindFault> KindFaults() {
    return {{"Status", {.status = true}, {true, false, false, true}},
            {"FirstStatus", {.firstStatus = true}, {true, false, false, false}},
            {"Disconnect", {.disconnect = true}, {false, true, false, false}},
            {"Connect", {.connect = true}, {false, false, true, false}},
            {"DisconnectAndConnect",
             {.disconnect = true, .connect = true},
             {false, true, true, false}}};
}

std::string FaultName(const ::testing::TestParamInfo<KindFault>& info) { return info.param.name; }

const std::string_view kSequence[] = {kStatusTarget, kDisconnectTarget, kConnectTarget,
                                      kStatusTarget};

class HangFaultTest : public ::testing::TestWithParam<KindFault> {};

TEST_P(HangFaultTest, NeverRepliesToTheKindsNamedButStillActsOnThem) {
    Scenario scenario = Quick();
    scenario.hangOn = GetParam().targets;
    auto router = StartRouter(scenario);
    const std::uint16_t port = router->Port();
    std::vector<std::unique_ptr<Connection>> hanging;
    for (std::size_t i = 0; i < 4; ++i) {
        auto connection = std::make_unique<Connection>(port);
        connection->Send(RequestBytes(kSequence[i], kGoodCookie, port));
        if (GetParam().hit[i]) {
            Response response = connection->Receive(kSilenceWait);
            EXPECT_EQ(response.bytes, "") << i;
            EXPECT_FALSE(response.closed) << i;
            hanging.push_back(std::move(connection));
        } else {
            EXPECT_TRUE(connection->Receive().complete) << i;
        }
    }
    // Disconnected and connected again, hung or not.
    std::vector<Record> records = router->Records();
    ASSERT_EQ(records.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(records[i].answer == Answer::Hang, GetParam().hit[i]) << i;
    }
    if (!GetParam().hit[3]) {
        EXPECT_NE(records[3].wan, "203.0.113.7");
    }
    // The router stops although replies are still owed.
}

INSTANTIATE_TEST_SUITE_P(Kinds, HangFaultTest, ::testing::ValuesIn(KindFaults()), FaultName);

class GarbageFaultTest : public ::testing::TestWithParam<KindFault> {};

TEST_P(GarbageFaultTest, SendsNonHttpBytesAndClosesForTheKindsNamedButStillActsOnThem) {
    Scenario scenario = Quick();
    scenario.garbageOn = GetParam().targets;
    auto router = StartRouter(scenario);
    for (std::size_t i = 0; i < 4; ++i) {
        Response response = Get(router->Port(), kSequence[i]);
        if (GetParam().hit[i]) {
            EXPECT_EQ(response.bytes, kGarbageReply) << i;
            EXPECT_TRUE(response.closed) << i;
        } else {
            EXPECT_EQ(response.status, 200) << i;
        }
    }
    std::vector<Record> records = router->Records();
    ASSERT_EQ(records.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(records[i].answer == Answer::Garbage, GetParam().hit[i]) << i;
    }
    if (!GetParam().hit[3]) {
        EXPECT_NE(records[3].wan, "203.0.113.7");
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, GarbageFaultTest, ::testing::ValuesIn(KindFaults()), FaultName);

TEST(FaultPrecedenceTest, TheFirstStatusFaultWinsOverTheStatusFault) {
    Scenario scenario = Quick();
    scenario.hangOn.firstStatus = true;
    scenario.garbageOn.status = true;
    auto router = StartRouter(scenario);
    Connection first(router->Port());
    first.Send(RequestBytes(kStatusTarget, kGoodCookie, router->Port()));
    EXPECT_EQ(first.Receive(kSilenceWait).bytes, "");
    EXPECT_EQ(Get(router->Port(), kStatusTarget).bytes, kGarbageReply);
    EXPECT_EQ(AnswersOf(*router), (std::vector<Answer>{Answer::Hang, Answer::Garbage}));
}

TEST(FaultPrecedenceTest, TheDropWindowWinsOverKindFaults) {
    Scenario scenario = Quick();
    scenario.zeroPolls = 1;
    scenario.dropWhileReconnecting = true;
    scenario.hangOn.connect = true;
    scenario.garbageOn.status = true;
    auto router = StartRouter(scenario);
    Get(router->Port(), kDisconnectTarget);
    EXPECT_EQ(Get(router->Port(), kConnectTarget).bytes, "");
    EXPECT_EQ(Get(router->Port(), kStatusTarget).bytes, "");
    EXPECT_EQ(Get(router->Port(), kStatusTarget).bytes, kGarbageReply);
    EXPECT_EQ(AnswersOf(*router), (std::vector<Answer>{Answer::StatusPage, Answer::Drop,
                                                       Answer::Drop, Answer::Garbage}));
}

const std::vector<std::string> kLayout = {"4.19.6.2", "198.51.100.1", "255.255.255.0"};

class QuadsFaultTest : public ::testing::TestWithParam<int> {};

TEST_P(QuadsFaultTest, StatusPagesCarryOnlyTheFirstQuadsOfTheLayout) {
    const int count = GetParam();
    const std::vector<std::string> expected(kLayout.begin(), kLayout.begin() + count);
    Scenario all = Quick();
    all.quads = count;
    auto router = StartRouter(all);
    for (std::string_view target :
         {kStatusTarget, kDisconnectTarget, kConnectTarget, kStatusTarget}) {
        EXPECT_EQ(Quads(Get(router->Port(), target).body), expected) << target;
    }
    EXPECT_EQ(router->Records().back().wan, "-");

    Scenario first = all;
    first.quadsOn = QuadsOn::First;
    auto firstOnly = StartRouter(first);
    EXPECT_EQ(Quads(Get(firstOnly->Port(), kStatusTarget).body), expected);
    EXPECT_EQ(FourthQuad(Get(firstOnly->Port(), kStatusTarget).body), "203.0.113.7");
}

INSTANTIATE_TEST_SUITE_P(Counts, QuadsFaultTest, ::testing::Values(0, 1, 2, 3));

TEST(PageBytesTest, PadsTheStatusPageToTheSizeWithoutAddingQuads) {
    const std::size_t unpadded = Get(StartRouter(Quick())->Port(), kStatusTarget).body.size();
    struct Case {
        std::size_t pageBytes;
        std::optional<int> quads;
        std::size_t size;
    };
    for (const Case& c :
         {Case{300'000, std::nullopt, 300'000},
          Case{unpadded + 3, 2, unpadded + 3},  // fewer quads, a shorter page
          Case{unpadded + 1, std::nullopt, unpadded + 1},
          Case{unpadded + 10, std::nullopt, unpadded + 10}, Case{unpadded, std::nullopt, unpadded},
          Case{100, std::nullopt, unpadded}}) {
        Scenario scenario = Quick();
        scenario.pageBytes = c.pageBytes;
        scenario.quads = c.quads;
        auto router = StartRouter(scenario);
        Response response = Get(router->Port(), kStatusTarget);
        ASSERT_TRUE(response.complete) << c.pageBytes;
        EXPECT_EQ(response.body.size(), c.size) << c.pageBytes;
        EXPECT_EQ(Quads(response.body).size(), c.quads ? 2u : 8u) << c.pageBytes;
        if (!c.quads) {
            EXPECT_EQ(FourthQuad(response.body), "203.0.113.7");
        }
        EXPECT_EQ(response.body.substr(response.body.size() - 16), "</body>\n</html>\n");
        // The login page is never padded.
        EXPECT_LT(Get(router->Port(), kStatusTarget, std::nullopt).body.size(), 1000u);
    }
}

TEST(LoginPageFaultTest, AnswersEveryRequestWithTheLoginPageWhateverTheCookie) {
    Scenario scenario = Quick();
    scenario.loginPage = true;
    auto router = StartRouter(scenario);
    for (std::string_view target : {kStatusTarget, kDisconnectTarget, kStatusTarget}) {
        Response response = Get(router->Port(), target);
        EXPECT_EQ(response.status, 200);
        EXPECT_EQ(Quads(response.body), std::vector<std::string>{});
    }
    EXPECT_EQ(AnswersOf(*router),
              (std::vector<Answer>{Answer::LoginPage, Answer::LoginPage, Answer::LoginPage}));
}

// A delayed reply must not come before its delay; no upper bound is checked.
TEST(DelayTest, EachKindWaitsItsOwnDelayOrTheCommonOne) {
    constexpr int delay = 250;
    struct Case {
        std::string_view target;
        int common;
        std::optional<int> status, disconnect, connect;
    };
    for (const Case& c : {Case{kStatusTarget, delay, std::nullopt, std::nullopt, std::nullopt},
                          Case{kStatusTarget, 0, delay, std::nullopt, std::nullopt},
                          Case{kDisconnectTarget, 0, std::nullopt, delay, std::nullopt},
                          Case{kConnectTarget, 0, std::nullopt, std::nullopt, delay},
                          Case{"/other", delay, std::nullopt, 0, 0}}) {
        Scenario scenario = Quick();
        scenario.delayMs = c.common;
        scenario.statusDelayMs = c.status;
        scenario.disconnectDelayMs = c.disconnect;
        scenario.connectDelayMs = c.connect;
        auto router = StartRouter(scenario);
        auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(Get(router->Port(), c.target).complete) << c.target;
        EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(delay))
            << c.target;
    }
}

TEST(DelayTest, AKindsOwnDelayReplacesTheCommonOne) {
    Scenario scenario = Quick();
    // Far beyond the client's wait, so only a replaced delay lets replies come.
    scenario.delayMs = 600'000;
    scenario.statusDelayMs = 0;
    scenario.disconnectDelayMs = 0;
    auto router = StartRouter(scenario);
    EXPECT_TRUE(Get(router->Port(), kStatusTarget).complete);
    EXPECT_TRUE(Get(router->Port(), kDisconnectTarget).complete);
}

}  // namespace
}  // namespace tralvex::routersim::testing
