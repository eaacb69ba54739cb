// Runs of the program against the simulated router: outcomes, limits, stop
// signals, the JSON summary and the address history.

#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <ostream>
#include <regex>
#include <thread>

#include "cli_fixture.hpp"

namespace tralvex::cli::testing {
namespace {

using tralvex::testing::PermissionBits;
using tralvex::testing::ReadFileBytes;
using tralvex::testing::WriteFileBytes;

// The summary line of --json with the value of "seconds", which must be a
// number with three decimals, replaced by S.
std::string JsonWithoutSeconds(const std::string& out) {
    static const std::regex summary(R"(^(\{.*,"seconds":)\d+\.\d{3}\}\n$)");
    std::smatch match;
    if (!std::regex_match(out, match, summary)) return "no summary line: " + out;
    return match[1].str() + "S}";
}

std::string Json(const std::string& outcome, const std::string& oldAddress,
                 const std::string& newAddress, int cycles, int polls) {
    auto address = [](const std::string& a) { return a.empty() ? "null" : "\"" + a + "\""; };
    return "{\"outcome\":\"" + outcome + "\",\"old_address\":" + address(oldAddress) +
           ",\"new_address\":" + address(newAddress) + ",\"cycles\":" + std::to_string(cycles) +
           ",\"polls\":" + std::to_string(polls) + ",\"seconds\":S}";
}

// Whether every disconnect request is followed at once by a connect request.
bool EveryDisconnectIsFollowedByAConnect(const std::vector<Kind>& kinds) {
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        if (kinds[i] != Kind::Disconnect) continue;
        if (i + 1 == kinds.size() || kinds[i + 1] != Kind::Connect) return false;
    }
    return true;
}

int CountOf(const std::vector<Kind>& kinds, Kind kind) {
    return static_cast<int>(std::count(kinds.begin(), kinds.end(), kind));
}

TEST_F(CliTest, NewAddressPrintsEachStatusLineAndRecordsTheChange) {
    Scenario scenario;
    scenario.password = "secret";
    scenario.newWans = {"198.51.100.20"};
    scenario.zeroPolls = 2;
    auto router = StartRouter(scenario);
    Launch launch = LaunchFor(*router);
    launch.environment = {{"TRALVEX_IP_PASSWORD", "secret"}};

    Outcome run = RunCli(launch);

    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, NewAddressLines("203.0.113.7", "198.51.100.20", 2));
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(KindsOf(*router), Exchange(1, 3));
    EXPECT_TRUE(std::regex_match(
        ReadFileBytes(HistoryFile()),
        std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ 203\.0\.113\.7 198\.51\.100\.20\n)")));
    EXPECT_EQ(PermissionBits(HistoryFile()), 0600);
}

TEST_F(CliTest, RepeatedAddressesArePrintedWithTheirCount) {
    Scenario scenario;
    scenario.newWans = {"198.51.100.20"};
    scenario.zeroPolls = 0;
    scenario.repeats = 2;
    auto router = StartRouter(scenario);

    Outcome run = RunCli(LaunchFor(*router));

    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(
        run.out,
        "现在的IP：203.0.113.7\n刷新中…\n发现重复IP1次, 继续换...\n刷新中…\n"
        "发现重复IP2次, 继续换...\n刷新中…\n更换后IP：198.51.100.20\n上次的IP：203.0.113.7\n");
    EXPECT_EQ(KindsOf(*router), Exchange(3, 1));
}

struct JsonCase {
    const char* name;
    Scenario scenario;
    std::vector<std::string> args;
    int status;
    std::string json;
    std::string err;  // standard error apart from the status lines
};

void PrintTo(const JsonCase& c, std::ostream* os) { *os << c.name; }

Scenario NewAfterOneZeroPoll() {
    Scenario s;
    s.newWans = {"198.51.100.20"};
    s.zeroPolls = 1;
    return s;
}

Scenario WrongPassword() {
    Scenario s;
    s.password = "other";
    return s;
}

Scenario AlwaysTheOldAddress() {
    Scenario s;
    s.zeroPolls = 0;
    s.repeats = routersim::kAlways;
    return s;
}

class JsonTest : public CliTest, public ::testing::WithParamInterface<JsonCase> {};

TEST_P(JsonTest, PrintsOneSummaryOnStdoutAndTheLinesOnStderr) {
    auto router = StartRouter(GetParam().scenario);
    std::vector<std::string> args = {"--json"};
    args.insert(args.end(), GetParam().args.begin(), GetParam().args.end());

    Outcome run = RunCli(LaunchFor(*router, args));

    EXPECT_EQ(run.status, GetParam().status) << run.err;
    EXPECT_EQ(JsonWithoutSeconds(run.out), GetParam().json);
    EXPECT_NE(run.err.find(GetParam().err), std::string::npos) << run.err;
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, JsonTest,
    ::testing::Values(JsonCase{"NewAddress",
                               NewAfterOneZeroPoll(),
                               {},
                               0,
                               Json("new-address", "203.0.113.7", "198.51.100.20", 1, 2),
                               NewAddressLines("203.0.113.7", "198.51.100.20", 1)},
                      JsonCase{"LoginFailed",
                               WrongPassword(),
                               {},
                               1,
                               Json("login-failed", "", "", 0, 0),
                               "登录路由器失败!\n"},
                      JsonCase{
                          "MaxCycles",
                          AlwaysTheOldAddress(),
                          {"--max-cycles", "3"},
                          3,
                          Json("max-cycles", "203.0.113.7", "", 3, 3),
                          "发现重复IP3次, 继续换...\ntralvex-ip-cli: stopped at --max-cycles 3 "
                          "without a new address\n"}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(CliTest, LoginFailureGoesToStderrAloneAndSendsNothingMore) {
    auto router = StartRouter(WrongPassword());

    Outcome run = RunCli(LaunchFor(*router));

    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "登录路由器失败!\n");
    EXPECT_EQ(KindsOf(*router), (std::vector<Kind>{Kind::Status}));
    EXPECT_FALSE(std::filesystem::exists(HistoryFile()));
}

TEST_F(CliTest, MaxCyclesEndsAfterTheLastConnectAndItsPoll) {
    auto router = StartRouter(AlwaysTheOldAddress());

    Outcome run = RunCli(LaunchFor(*router, {"--max-cycles", "2"}));

    EXPECT_EQ(run.status, 3);
    EXPECT_EQ(KindsOf(*router), Exchange(2, 1));
    EXPECT_EQ(run.err, "tralvex-ip-cli: stopped at --max-cycles 2 without a new address\n");
}

struct TimeoutCase {
    const char* name;
    Scenario scenario;
};

void PrintTo(const TimeoutCase& c, std::ostream* os) { *os << c.name; }

Scenario NeverBack() {
    Scenario s;
    s.zeroPolls = 1000000;
    return s;
}

class TimeoutTest : public CliTest, public ::testing::WithParamInterface<TimeoutCase> {};

TEST_P(TimeoutTest, EndsTheRunWithTheRouterConnected) {
    auto router = StartRouter(GetParam().scenario);

    Outcome run = RunCli(LaunchFor(*router, {"--timeout", "1.5", "--json"}));

    EXPECT_EQ(run.status, 3) << run.err;
    const std::vector<Kind> kinds = KindsOf(*router);
    ASSERT_GE(kinds.size(), 3u);
    EXPECT_TRUE(EveryDisconnectIsFollowedByAConnect(kinds));
    const int cycles = CountOf(kinds, Kind::Disconnect);
    EXPECT_GE(cycles, 1);
    EXPECT_EQ(JsonWithoutSeconds(run.out),
              Json("timeout", "203.0.113.7", "", cycles, CountOf(kinds, Kind::Status) - 1));
    EXPECT_NE(run.err.find("tralvex-ip-cli: stopped at --timeout 1.5 without a new address\n"),
              std::string::npos)
        << run.err;
}

INSTANTIATE_TEST_SUITE_P(Routers, TimeoutTest,
                         ::testing::Values(TimeoutCase{"NeverBack", NeverBack()},
                                           TimeoutCase{"AlwaysTheOldAddress",
                                                       AlwaysTheOldAddress()}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(CliTest, TimeoutCutsAHungDisconnectAndStillSendsTheConnect) {
    // Without time-outs shortened to the time left the disconnect request
    // would wait the request object's 30 seconds, beyond the child wait.
    Scenario scenario;
    scenario.hangOn.disconnect = true;
    auto router = StartRouter(scenario);

    Outcome run = RunCli(LaunchFor(*router, {"--timeout", "2"}));

    EXPECT_EQ(run.status, 3) << run.err;
    EXPECT_EQ(KindsOf(*router), (std::vector<Kind>{Kind::Status, Kind::Disconnect, Kind::Connect}));
}

TEST_F(CliTest, TimeoutDuringTheFirstRequestIsNoLoginFailure) {
    Scenario scenario;
    scenario.hangOn.firstStatus = true;
    auto router = StartRouter(scenario);

    Outcome run = RunCli(LaunchFor(*router, {"--timeout", "0.3", "--json"}));

    EXPECT_EQ(run.status, 3);
    EXPECT_EQ(JsonWithoutSeconds(run.out), Json("timeout", "", "", 0, 0));
    EXPECT_EQ(run.err, "tralvex-ip-cli: stopped at --timeout 0.3 without a new address\n");
}

// Where the run is when the stop signals come.
enum class Moment { FirstPage, Disconnect, Polling };

struct SignalCase {
    const char* name;
    Moment moment;
    std::vector<int> signals;
    std::vector<Kind> kinds;  // the requests the router receives in all
    std::string json;
};

void PrintTo(const SignalCase& c, std::ostream* os) { *os << c.name; }

class StopSignalTest : public CliTest, public ::testing::WithParamInterface<SignalCase> {};

TEST_P(StopSignalTest, TakesEffectOnlyWithTheRouterConnected) {
    Scenario scenario;
    scenario.zeroPolls = 1000000;
    // Long enough for the signals to come while the request is in flight, also
    // on a busy machine.
    if (GetParam().moment == Moment::FirstPage) scenario.statusDelayMs = 2500;
    if (GetParam().moment == Moment::Disconnect) scenario.disconnectDelayMs = 2500;
    auto router = StartRouter(scenario);
    CliProcess process(LaunchFor(*router, {"--json"}));
    ASSERT_TRUE(process.Started());
    // The request is in flight once the router has it.
    const std::size_t seen = GetParam().moment == Moment::FirstPage    ? 1
                             : GetParam().moment == Moment::Disconnect ? 2
                                                                       : 5;
    ASSERT_TRUE(WaitUntil([&] { return router->Records().size() >= seen; }));

    for (int signal : GetParam().signals) {
        process.Signal(signal);
        std::this_thread::sleep_for(100ms);
    }

    EXPECT_EQ(process.WaitForExit(), 128 + GetParam().signals.front()) << process.Stderr();
    std::vector<Kind> kinds = KindsOf(*router);
    if (GetParam().moment == Moment::Polling) {
        // However many polls came before the signal took effect.
        ASSERT_GE(kinds.size(), seen);
        EXPECT_EQ(CountOf(kinds, Kind::Disconnect), 1);
        kinds.resize(seen);
    }
    EXPECT_EQ(kinds, GetParam().kinds);
    const std::string json = JsonWithoutSeconds(process.Stdout());
    EXPECT_EQ(json.substr(0, json.find(",\"polls\"")), GetParam().json);
    const std::string name = GetParam().signals.front() == SIGINT ? "SIGINT" : "SIGTERM";
    EXPECT_NE(process.Stderr().find("tralvex-ip-cli: stopped by " + name + "\n"), std::string::npos)
        << process.Stderr();
}

const std::vector<Kind> kCycle = {Kind::Status, Kind::Disconnect, Kind::Connect};
const std::string kInterruptedFirstPage =
    R"({"outcome":"interrupted","old_address":"203.0.113.7","new_address":null,"cycles":0)";
const std::string kInterruptedCycle =
    R"({"outcome":"interrupted","old_address":"203.0.113.7","new_address":null,"cycles":1)";

INSTANTIATE_TEST_SUITE_P(
    Moments, StopSignalTest,
    ::testing::Values(
        SignalCase{
            "SigintDuringDisconnect", Moment::Disconnect, {SIGINT}, kCycle, kInterruptedCycle},
        SignalCase{"TwoSigintsDuringDisconnect",
                   Moment::Disconnect,
                   {SIGINT, SIGINT},
                   kCycle,
                   kInterruptedCycle},
        SignalCase{"SigtermDuringDisconnect",
                   Moment::Disconnect,
                   {SIGTERM, SIGINT},
                   kCycle,
                   kInterruptedCycle},
        SignalCase{"SigintWhilePolling",
                   Moment::Polling,
                   {SIGINT},
                   {Kind::Status, Kind::Disconnect, Kind::Connect, Kind::Status, Kind::Status},
                   kInterruptedCycle},
        SignalCase{"SigintDuringTheFirstPage",
                   Moment::FirstPage,
                   {SIGINT},
                   {Kind::Status},
                   kInterruptedFirstPage}),
    [](const auto& param) { return std::string(param.param.name); });

struct AvoidCase {
    const char* name;
    std::vector<std::string> args;
    std::string newAddress;
    int cycles;
};

void PrintTo(const AvoidCase& c, std::ostream* os) { *os << c.name; }

class AvoidTest : public CliTest, public ::testing::WithParamInterface<AvoidCase> {};

TEST_P(AvoidTest, AddressesOfTheLastChangesCountAsRepeats) {
    const std::string earlier =
        "2024-01-01T00:00:00Z 203.0.113.7 198.51.100.20\n"
        "2024-01-02T00:00:00Z 198.51.100.20 198.51.100.21\n";
    WriteFileBytes(HistoryFile(), earlier);
    Scenario scenario;
    scenario.wan = "198.51.100.21";
    scenario.newWans = {"198.51.100.20", "203.0.113.7", "198.51.100.22"};
    scenario.zeroPolls = 0;
    auto router = StartRouter(scenario);
    std::vector<std::string> args = {"--json"};
    args.insert(args.end(), GetParam().args.begin(), GetParam().args.end());

    Outcome run = RunCli(LaunchFor(*router, args));

    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(JsonWithoutSeconds(run.out),
              Json("new-address", "198.51.100.21", GetParam().newAddress, GetParam().cycles,
                   GetParam().cycles));
    const std::string history = ReadFileBytes(HistoryFile());
    EXPECT_EQ(history.substr(0, earlier.size()), earlier);
    EXPECT_TRUE(
        std::regex_match(history.substr(earlier.size()),
                         std::regex(R"(\S+Z 198\.51\.100\.21 )" + GetParam().newAddress + "\n")))
        << history;
}

INSTANTIATE_TEST_SUITE_P(
    Changes, AvoidTest,
    ::testing::Values(AvoidCase{"WithoutAvoid", {}, "198.51.100.20", 1},
                      AvoidCase{"LastChange", {"--avoid", "1"}, "203.0.113.7", 2},
                      AvoidCase{"LastTwoChanges", {"--avoid=2"}, "198.51.100.22", 3},
                      AvoidCase{"MoreThanThereAre", {"--avoid", "100"}, "198.51.100.22", 3}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(CliTest, HistoryKeepsTheLastHundredChanges) {
    std::string earlier;
    for (int i = 0; i < 100; ++i) {
        earlier += "2024-01-01T00:00:00Z 192.0.2." + std::to_string(i) + " 192.0.2." +
                   std::to_string(i + 1) + "\n";
    }
    WriteFileBytes(HistoryFile(), earlier);
    ::chmod(HistoryFile().c_str(), 0640);
    Scenario scenario = NewAfterOneZeroPoll();
    auto router = StartRouter(scenario);

    Outcome run = RunCli(LaunchFor(*router));

    EXPECT_EQ(run.status, 0) << run.err;
    const std::string history = ReadFileBytes(HistoryFile());
    EXPECT_EQ(std::count(history.begin(), history.end(), '\n'), 100);
    EXPECT_EQ(history.substr(0, history.rfind('\n', history.size() - 2) + 1),
              earlier.substr(earlier.find('\n') + 1));
    EXPECT_NE(history.find(" 203.0.113.7 198.51.100.20\n"), std::string::npos);
    // Replaced as a whole, the file keeps the permissions it had.
    EXPECT_EQ(PermissionBits(HistoryFile()), 0640);
}

TEST_F(CliTest, HistoryThatCannotBeReadIsNeverWrittenOver) {
    std::filesystem::create_directory(HistoryFile());
    auto router = StartRouter(NewAfterOneZeroPoll());

    Outcome withAvoid = RunCli(LaunchFor(*router, {"--avoid", "1"}));
    EXPECT_EQ(withAvoid.status, 2);
    EXPECT_EQ(withAvoid.err, "tralvex-ip-cli: cannot read the address history '" +
                                 HistoryFile().string() + "' that --avoid needs\n");
    EXPECT_TRUE(router->Records().empty());

    Outcome withoutAvoid = RunCli(LaunchFor(*router));
    EXPECT_EQ(withoutAvoid.status, 0);
    EXPECT_EQ(withoutAvoid.err,
              "tralvex-ip-cli: cannot record the change in the address history '" +
                  HistoryFile().string() + "'\n");
    EXPECT_TRUE(std::filesystem::is_directory(HistoryFile()));
}

}  // namespace
}  // namespace tralvex::cli::testing
