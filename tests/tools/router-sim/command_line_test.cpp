#include <gtest/gtest.h>

#include "command_line.hpp"

namespace tralvex::routersim {
namespace {

Scenario Parsed(const std::vector<std::string>& args) {
    CommandLine commandLine = ParseCommandLine(args);
    EXPECT_EQ(commandLine.error, "");
    EXPECT_FALSE(commandLine.help);
    return commandLine.scenario;
}

TEST(CommandLineTest, NoArgumentsGiveTheDefaults) {
    Scenario scenario = Parsed({});
    EXPECT_EQ(scenario.port, 0);
    EXPECT_EQ(scenario.password, "admin");
    EXPECT_FALSE(scenario.cookie);
    EXPECT_EQ(scenario.wan, "203.0.113.7");
    EXPECT_EQ(scenario.zeroPolls, 2);
    EXPECT_EQ(scenario.repeats, 0);
    EXPECT_EQ(scenario.outageMs, 500);
    EXPECT_FALSE(scenario.hangOn.Any());
    EXPECT_FALSE(scenario.garbageOn.Any());
    EXPECT_FALSE(scenario.quads);
    EXPECT_EQ(scenario.logPath, "");
}

TEST(CommandLineTest, SetsEveryScenarioField) {
    Scenario s = Parsed({"--port",
                         "8080",
                         "--bind",
                         "127.0.0.1",
                         "--password=密码",
                         "--cookie",
                         "Authorization=Basic%20x",
                         "--wan",
                         "198.51.100.9",
                         "--new-wans",
                         "203.0.113.20,203.0.113.020",
                         "--new-wans=198.51.100.30",
                         "--seed",
                         "18446744073709551615",
                         "--zero-polls",
                         "4",
                         "--repeats",
                         "3",
                         "--repeats-each-change",
                         "--delay-ms",
                         "5",
                         "--delay-status-ms",
                         "6",
                         "--delay-disconnect-ms",
                         "0",
                         "--delay-connect-ms",
                         "8",
                         "--refuse-while-reconnecting",
                         "--outage-ms",
                         "900",
                         "--drop-while-reconnecting",
                         "--hang-on",
                         "disconnect,first-status",
                         "--hang-on",
                         "connect",
                         "--garbage",
                         "status",
                         "--quads",
                         "2",
                         "--quads-on",
                         "first",
                         "--page-bytes",
                         "50M",
                         "--log",
                         "/tmp/router.log"});
    EXPECT_EQ(s.port, 8080);
    EXPECT_EQ(s.password, "密码");
    EXPECT_EQ(s.cookie, "Authorization=Basic%20x");
    EXPECT_EQ(s.wan, "198.51.100.9");
    EXPECT_EQ(s.newWans,
              (std::vector<std::string>{"203.0.113.20", "203.0.113.020", "198.51.100.30"}));
    EXPECT_EQ(s.seed, 18446744073709551615u);
    EXPECT_EQ(s.zeroPolls, 4);
    EXPECT_EQ(s.repeats, 3);
    EXPECT_TRUE(s.repeatsEachChange);
    EXPECT_EQ(s.delayMs, 5);
    EXPECT_EQ(s.statusDelayMs, 6);
    EXPECT_EQ(s.disconnectDelayMs, 0);
    EXPECT_EQ(s.connectDelayMs, 8);
    EXPECT_TRUE(s.refuseWhileReconnecting);
    EXPECT_EQ(s.outageMs, 900);
    EXPECT_TRUE(s.dropWhileReconnecting);
    EXPECT_TRUE(s.hangOn.disconnect && s.hangOn.firstStatus && s.hangOn.connect);
    EXPECT_FALSE(s.hangOn.status);
    EXPECT_TRUE(s.garbageOn.status);
    EXPECT_FALSE(s.garbageOn.firstStatus || s.garbageOn.disconnect || s.garbageOn.connect);
    EXPECT_EQ(s.quads, 2);
    EXPECT_EQ(s.quadsOn, QuadsOn::First);
    EXPECT_EQ(s.pageBytes, 50u * 1024 * 1024);
    EXPECT_EQ(s.logPath, "/tmp/router.log");
}

TEST(CommandLineTest, ReadsAlwaysAndByteSuffixes) {
    EXPECT_EQ(Parsed({"--repeats", "always"}).repeats, kAlways);
    EXPECT_EQ(Parsed({"--page-bytes", "1G"}).pageBytes, 1u << 30);
    EXPECT_EQ(Parsed({"--page-bytes", "3K"}).pageBytes, 3u * 1024);
    EXPECT_EQ(Parsed({"--page-bytes", "12345"}).pageBytes, 12345u);
    EXPECT_EQ(Parsed({"--quads-on", "all", "--quads", "0"}).quadsOn, QuadsOn::All);
}

TEST(CommandLineTest, HelpIsAskedFor) {
    EXPECT_TRUE(ParseCommandLine({"--help"}).help);
    EXPECT_TRUE(ParseCommandLine({"-h"}).help);
    EXPECT_TRUE(ParseCommandLine({"--port", "1", "--help"}).help);
}

struct BadCase {
    std::vector<std::string> args;
    std::string error;
};

void PrintTo(const BadCase& c, std::ostream* out) {
    for (const std::string& arg : c.args) *out << arg << ' ';
}

class BadCommandLineTest : public ::testing::TestWithParam<BadCase> {};

TEST_P(BadCommandLineTest, NamesTheProblem) {
    EXPECT_EQ(ParseCommandLine(GetParam().args).error, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadCommandLineTest,
    ::testing::Values(
        BadCase{{"--bogus"}, "unknown option '--bogus'"},
        BadCase{{"port"}, "unknown option 'port'"}, BadCase{{"--port"}, "--port needs a value (N)"},
        BadCase{{"--port", "65536"}, "--port: '65536' is not a whole number from 0 to 65535"},
        BadCase{{"--port", "-1"}, "--port: '-1' is not a whole number from 0 to 65535"},
        BadCase{{"--port", "80x"}, "--port: '80x' is not a whole number from 0 to 65535"},
        BadCase{{"--port="}, "--port: '' is not a whole number from 0 to 65535"},
        BadCase{{"--bind", "0.0.0.0"},
                "--bind: '0.0.0.0' is refused: the router listens on 127.0.0.1 only"},
        BadCase{{"--bind", "localhost"},
                "--bind: 'localhost' is refused: the router listens on 127.0.0.1 only"},
        BadCase{{"--wan", "203.0.113"}, "--wan: '203.0.113' is not a dotted quad"},
        BadCase{{"--wan", "203.0.113.256"}, "--wan: '203.0.113.256' is not a dotted quad"},
        BadCase{{"--new-wans", "203.0.113.2,,203.0.113.3"}, "--new-wans: '' is not a dotted quad"},
        BadCase{{"--seed", "-3"},
                "--seed: '-3' is not a whole number from 0 to 18446744073709551615"},
        BadCase{{"--zero-polls", "-1"},
                "--zero-polls: '-1' is not a whole number from 0 to 1000000000"},
        BadCase{{"--repeats", "never"},
                "--repeats: 'never' is not a whole number from 0 to 1000000000"},
        BadCase{{"--delay-ms", "3600001"},
                "--delay-ms: '3600001' is not a whole number from 0 to 3600000"},
        BadCase{{"--delay-status-ms", "soon"},
                "--delay-status-ms: 'soon' is not a whole number from 0 to 3600000"},
        BadCase{{"--refuse-while-reconnecting", "--outage-ms", "0"},
                "--outage-ms: '0' is not a whole number from 1 to 3600000"},
        BadCase{{"--outage-ms", "100"}, "--outage-ms needs --refuse-while-reconnecting"},
        BadCase{{"--login-page=yes"}, "--login-page takes no value"},
        BadCase{{"--hang-on", "reboot"},
                "--hang-on: 'reboot' is not one of status, disconnect, connect, first-status"},
        BadCase{{"--garbage", "status,"},
                "--garbage: '' is not one of status, disconnect, connect, first-status"},
        BadCase{{"--hang-on", "status,connect", "--garbage", "connect"},
                "--hang-on and --garbage name the same kind of request"},
        BadCase{{"--quads", "4"}, "--quads: '4' is not a whole number from 0 to 3"},
        BadCase{{"--quads-on", "first"}, "--quads-on needs --quads"},
        BadCase{{"--quads", "1", "--quads-on", "last"},
                "--quads-on: 'last' is not one of first, all"},
        BadCase{{"--page-bytes", "2G"},
                "--page-bytes: '2G' is not a byte count from 0 to 1G (K, M, G allowed)"},
        BadCase{{"--page-bytes", "M"},
                "--page-bytes: 'M' is not a byte count from 0 to 1G (K, M, G allowed)"},
        BadCase{{"--page-bytes", "5T"},
                "--page-bytes: '5T' is not a byte count from 0 to 1G (K, M, G allowed)"},
        BadCase{{"--repeats-each-change"},
                "--repeats-each-change needs --repeats with a count above 0"},
        BadCase{{"--repeats", "always", "--repeats-each-change"},
                "--repeats-each-change needs --repeats with a count above 0"},
        BadCase{{"--login-page", "--quads", "2"},
                "--login-page sends no status page, so --quads and --page-bytes cannot apply"},
        BadCase{{"--login-page", "--page-bytes", "1000"},
                "--login-page sends no status page, so --quads and --page-bytes cannot apply"},
        BadCase{{"--log", ""}, "--log: the log file name is empty"}));

TEST(HelpTextTest, DescribesEveryOptionTheLogAndThePage) {
    const std::string help = HelpText();
    for (std::string_view option : {"--port",
                                    "--bind",
                                    "--password",
                                    "--cookie",
                                    "--wan",
                                    "--new-wans",
                                    "--seed",
                                    "--zero-polls",
                                    "--repeats",
                                    "--repeats-each-change",
                                    "--delay-ms",
                                    "--delay-status-ms",
                                    "--delay-disconnect-ms",
                                    "--delay-connect-ms",
                                    "--refuse-while-reconnecting",
                                    "--outage-ms",
                                    "--drop-while-reconnecting",
                                    "--hang-on",
                                    "--garbage",
                                    "--quads",
                                    "--quads-on",
                                    "--page-bytes",
                                    "--login-page",
                                    "--log",
                                    "--help"}) {
        const std::string entry = "\n  " + std::string(option);
        EXPECT_TRUE(help.find(entry + " ") != std::string::npos ||
                    help.find(entry + "\n") != std::string::npos)
            << option;
    }
    EXPECT_NE(
        help.find("=== request SEQ connection CONN kind KIND reply REPLY wan WAN bytes N ==="),
        std::string::npos);
    EXPECT_NE(help.find("Authorization=Basic%20"), std::string::npos);
    std::size_t start = 0;
    for (std::size_t end; (end = help.find('\n', start)) != std::string::npos; start = end + 1) {
        EXPECT_LE(end - start, 80u) << help.substr(start, end - start);
    }
}

}  // namespace
}  // namespace tralvex::routersim
