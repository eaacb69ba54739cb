#include "changer/change_ip.hpp"

#include <gtest/gtest.h>

#include <mutex>
#include <thread>

#include "platform/codepage/codepage.hpp"
#include "platform/components.hpp"
#include "router_sim.hpp"

namespace tralvex {
namespace {

using routersim::Kind;
using routersim::Router;
using routersim::Scenario;

class ComponentsEnvironment : public ::testing::Environment {
  public:
    void SetUp() override { RegisterPlatformComponents(); }
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new ComponentsEnvironment);

// A view that records, in UTF-8, everything a run shows, in order.
class RecordingView : public ChangeIpView {
  public:
    RecordingView(std::string address, std::string password)
        : address_(FromUtf8(address)), password_(FromUtf8(password)) {}

    Text RouterAddress() override { return address_; }
    Text Password() override { return password_; }
    void SetTip1(const Text& text) override { Add("tip1 " + AnsiToUtf8(text)); }
    void SetTip2(const Text& text) override { Add("tip2 " + AnsiToUtf8(text)); }
    void SetButtonEnabled(bool enabled) override { Add(enabled ? "enable" : "disable"); }
    void SetButtonCaption(const Text& caption) override { Add("caption " + AnsiToUtf8(caption)); }
    void ShowErrorBox(const Text& text, const Text& title) override {
        Add("box " + AnsiToUtf8(text) + " | " + AnsiToUtf8(title));
    }

    std::vector<std::string> Events() const {
        std::lock_guard lock(mutex_);
        return events_;
    }

  private:
    void Add(std::string event) {
        std::lock_guard lock(mutex_);
        events_.push_back(std::move(event));
    }

    Text address_;
    Text password_;
    mutable std::mutex mutex_;
    std::vector<std::string> events_;
};

std::string AddressOf(const Router& router) { return "127.0.0.1:" + std::to_string(router.Port()); }

std::vector<Kind> KindsOf(const Router& router) {
    std::vector<Kind> kinds;
    for (const routersim::Record& record : router.Records()) kinds.push_back(record.kind);
    return kinds;
}

const std::vector<std::string> kFinalEvents(const std::string& oldIp, const std::string& newIp) {
    return {"tip2 更换后IP：" + newIp, "tip1 上次的IP：" + oldIp, "caption 给我换一个IP", "enable"};
}

std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(ChangeIpTest, NewAddressAfterTwoZeroPolls) {
    Scenario scenario;
    scenario.password = "secret";
    scenario.wan = "203.0.113.7";
    scenario.newWans = {"198.51.100.20"};
    scenario.zeroPolls = 2;
    Router router(scenario);
    ASSERT_EQ(router.Error(), "");
    RecordingView view(AddressOf(router), "secret");

    RunGuard unlimited;
    RunResult result = ChangeIp(view, unlimited);

    EXPECT_EQ(result.outcome, RunResult::Outcome::NewAddress);
    EXPECT_EQ(view.Events(),
              Concat({"tip1 现在的IP：203.0.113.7", "disable", "caption 正在给您换IP..",
                      "tip2 刷新中…", "tip2 刷新中…", "tip2 刷新中…"},
                     kFinalEvents("203.0.113.7", "198.51.100.20")));
    EXPECT_EQ(KindsOf(router), (std::vector<Kind>{Kind::Status, Kind::Disconnect, Kind::Connect,
                                                  Kind::Status, Kind::Status, Kind::Status}));
    EXPECT_EQ(result.cycles, 1);
    EXPECT_EQ(result.polls, 3);
}

TEST(ChangeIpTest, RepeatedAddressIsCountedUntilANewOneShows) {
    Scenario scenario;
    scenario.newWans = {"198.51.100.20"};
    scenario.zeroPolls = 0;
    scenario.repeats = 3;
    Router router(scenario);
    RecordingView view(AddressOf(router), "admin");

    ChangeIp(view);

    std::vector<std::string> expected = {"tip1 现在的IP：203.0.113.7", "disable",
                                         "caption 正在给您换IP.."};
    for (int i = 1; i <= 3; ++i) {
        expected.push_back("tip2 刷新中…");
        expected.push_back("tip2 发现重复IP" + std::to_string(i) + "次, 继续换...");
    }
    expected.push_back("tip2 刷新中…");
    EXPECT_EQ(view.Events(), Concat(expected, kFinalEvents("203.0.113.7", "198.51.100.20")));
}

struct FailureCase {
    const char* name;
    Scenario scenario;
};

class LoginFailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(LoginFailureTest, ShowsOneBoxAndTouchesNothingElse) {
    Router router(GetParam().scenario);
    RecordingView view(AddressOf(router), "admin");

    RunGuard unlimited;
    RunResult result = ChangeIp(view, unlimited);

    EXPECT_EQ(result.outcome, RunResult::Outcome::LoginFailed);
    EXPECT_EQ(view.Events(), (std::vector<std::string>{"box 登录路由器失败! | 提示"}));
    EXPECT_EQ(KindsOf(router), (std::vector<Kind>{Kind::Status}));
}

Scenario WithPassword(const char* password) {
    Scenario s;
    s.password = password;
    return s;
}

Scenario WithQuads(int quads) {
    Scenario s;
    s.quads = quads;
    s.quadsOn = routersim::QuadsOn::First;
    return s;
}

Scenario WithGarbage() {
    Scenario s;
    s.garbageOn.firstStatus = true;
    return s;
}

INSTANTIATE_TEST_SUITE_P(Pages, LoginFailureTest,
                         ::testing::Values(FailureCase{"WrongPassword", WithPassword("other")},
                                           FailureCase{"NoQuads", WithQuads(0)},
                                           FailureCase{"OneQuad", WithQuads(1)},
                                           FailureCase{"ThreeQuads", WithQuads(3)},
                                           FailureCase{"Garbage", WithGarbage()}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(ChangeIpTest, BlankAddressFailsWithoutAnyRequest) {
    RecordingView view("", "admin");
    ChangeIp(view);
    EXPECT_EQ(view.Events(), (std::vector<std::string>{"box 登录路由器失败! | 提示"}));
}

TEST(ChangeIpTest, ClosedPortFailsTheLogin) {
    std::uint16_t port;
    {
        Router gone{Scenario{}};
        port = gone.Port();
    }
    RecordingView view("127.0.0.1:" + std::to_string(port), "admin");
    ChangeIp(view);
    EXPECT_EQ(view.Events(), (std::vector<std::string>{"box 登录路由器失败! | 提示"}));
}

TEST(ChangeIpTest, PollsThatFailWhileReconnectingCountAsNotYet) {
    // The two polls before the address is back are cut without an answer:
    // empty pages, which must neither end the run nor count as a repeat.
    Scenario scenario;
    scenario.newWans = {"198.51.100.20"};
    scenario.zeroPolls = 2;
    scenario.dropWhileReconnecting = true;
    Router router(scenario);
    RecordingView view(AddressOf(router), "admin");

    RunGuard unlimited;
    RunResult result = ChangeIp(view, unlimited);

    EXPECT_EQ(result.outcome, RunResult::Outcome::NewAddress);
    EXPECT_EQ(result.polls, 3);
    EXPECT_EQ(view.Events(),
              Concat({"tip1 现在的IP：203.0.113.7", "disable", "caption 正在给您换IP..",
                      "tip2 刷新中…", "tip2 刷新中…", "tip2 刷新中…"},
                     kFinalEvents("203.0.113.7", "198.51.100.20")));
}

TEST(ChangeIpTest, SendsTheExactRequests) {
    Scenario scenario;
    scenario.zeroPolls = 0;
    scenario.newWans = {"198.51.100.20"};
    Router router(scenario);
    const std::string host = AddressOf(router);
    RecordingView view(host, "admin");

    ChangeIp(view);

    std::vector<routersim::Record> records = router.Records();
    ASSERT_EQ(records.size(), 4u);
    auto request = [&](const std::string& target, const std::string& referer) {
        return "GET " + target + " HTTP/1.1\r\nHost: " + host +
               "\r\nConnection: Keep-Alive\r\n"
               "Cookie: Authorization=Basic%20YWRtaW46YWRtaW4=\r\n"
               "Accept: */*\r\nAccept-Language: zh-cn\r\nReferer: http://" +
               host + referer +
               "\r\nUser-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)\r\n\r\n";
    };
    const std::string status = "/userRpm/StatusRpm.htm";
    EXPECT_EQ(records[0].raw, request(status, status));
    EXPECT_EQ(records[1].raw.substr(0, records[1].raw.find("\r\n")),
              "GET /userRpm/StatusRpm.htm?Disconnect=%E6%96%AD%20%E7%BA%BF&wan=1 HTTP/1.1");
    EXPECT_EQ(records[2].raw.substr(0, records[2].raw.find("\r\n")),
              "GET /userRpm/StatusRpm.htm?Connect=%E8%BF%9E%20%E6%8E%A5&wan=1 HTTP/1.1");
    EXPECT_EQ(records[3].raw, request(status, status));
    for (const routersim::Record& record : records) EXPECT_EQ(record.connection, 1);
}

// A guard that records, in order, every question a run asks it, and stops the
// run at the cycle or poll it is told to.
class RecordingGuard : public RunGuard {
  public:
    int cyclesAllowed = -1;  // -1: no limit
    int pollsAllowed = -1;
    std::optional<RequestTimeouts> statusTimeouts;

    bool MayCycle() override { return Allow("cycle?", cyclesAllowed); }
    bool MayPoll() override { return Allow("poll?", pollsAllowed); }
    bool IsRepeat(const Text& newAddress, const Text& oldAddress) override {
        calls.push_back("repeat? " + newAddress + " " + oldAddress);
        return RunGuard::IsRepeat(newAddress, oldAddress);
    }
    std::optional<RequestTimeouts> TimeoutsFor(RouterRequest request) override {
        static const char* const names[] = {"status", "disconnect", "connect"};
        calls.push_back(std::string("timeouts ") + names[static_cast<int>(request)]);
        return request == RouterRequest::Status ? statusTimeouts : std::nullopt;
    }

    std::vector<std::string> calls;

  private:
    bool Allow(const char* question, int& allowed) {
        calls.push_back(question);
        if (allowed == 0) return false;
        if (allowed > 0) --allowed;
        return true;
    }
};

TEST(RunGuardTest, IsAskedBeforeEveryCyclePollAndRequest) {
    Scenario scenario;
    scenario.newWans = {"198.51.100.20"};
    scenario.zeroPolls = 1;
    scenario.repeats = 1;
    Router router(scenario);
    RecordingView view(AddressOf(router), "admin");
    RecordingGuard guard;

    RunResult result = ChangeIp(view, guard);

    EXPECT_EQ(result.outcome, RunResult::Outcome::NewAddress);
    const std::vector<std::string> cycle = {
        "cycle?", "timeouts disconnect", "timeouts connect", "poll?", "timeouts status",
        "poll?",  "timeouts status"};
    std::vector<std::string> expected = {"timeouts status"};
    expected = Concat(expected, cycle);
    expected.push_back("repeat? 203.0.113.7 203.0.113.7");
    expected = Concat(expected, cycle);
    expected.push_back("repeat? 198.51.100.20 203.0.113.7");
    EXPECT_EQ(guard.calls, expected);
    EXPECT_EQ(result.cycles, 2);
    EXPECT_EQ(result.polls, 4);
}

TEST(RunGuardTest, NoCycleAllowedEndsAfterTheFirstPage) {
    Router router{Scenario{}};
    RecordingView view(AddressOf(router), "admin");
    RecordingGuard guard;
    guard.cyclesAllowed = 0;

    RunResult result = ChangeIp(view, guard);

    EXPECT_EQ(result.outcome, RunResult::Outcome::Stopped);
    EXPECT_EQ(result.oldAddress, "203.0.113.7");
    EXPECT_EQ(result.cycles, 0);
    EXPECT_EQ(KindsOf(router), (std::vector<Kind>{Kind::Status}));
    EXPECT_EQ(view.Events(), (std::vector<std::string>{"tip1 现在的IP：203.0.113.7", "disable",
                                                       "caption 正在给您换IP.."}));
}

TEST(RunGuardTest, StoppingBeforeThePollsStillSendsTheConnectRequest) {
    Scenario scenario;
    scenario.zeroPolls = 3;
    Router router(scenario);
    RecordingView view(AddressOf(router), "admin");
    RecordingGuard guard;
    guard.pollsAllowed = 0;

    RunResult result = ChangeIp(view, guard);

    EXPECT_EQ(result.outcome, RunResult::Outcome::Stopped);
    EXPECT_EQ(result.cycles, 1);
    EXPECT_EQ(result.polls, 0);
    EXPECT_EQ(KindsOf(router), (std::vector<Kind>{Kind::Status, Kind::Disconnect, Kind::Connect}));
}

TEST(RunGuardTest, TimeoutsGivenApplyToTheRequest) {
    // The status reply comes after five seconds, within the request object's
    // own time-outs but long after the guard's receive time-out.
    Scenario scenario;
    scenario.statusDelayMs = 5000;
    scenario.zeroPolls = 0;
    Router router(scenario);
    RecordingView view(AddressOf(router), "admin");
    RecordingGuard guard;
    guard.statusTimeouts = RequestTimeouts{0, 1000, 1000, 100};

    RunResult result = ChangeIp(view, guard);

    EXPECT_EQ(result.outcome, RunResult::Outcome::LoginFailed);
    EXPECT_EQ(view.Events(), (std::vector<std::string>{"box 登录路由器失败! | 提示"}));
}

TEST(ChangeIpTest, TwoRunsSideBySideBothFinish) {
    Scenario scenario;
    scenario.zeroPolls = 1;
    Router router(scenario);
    RecordingView view(AddressOf(router), "admin");

    std::thread first([&] { ChangeIp(view); });
    std::thread second([&] { ChangeIp(view); });
    first.join();
    second.join();

    int finished = 0;
    for (const std::string& event : view.Events()) finished += event == "enable";
    EXPECT_EQ(finished, 2);
}

}  // namespace
}  // namespace tralvex
