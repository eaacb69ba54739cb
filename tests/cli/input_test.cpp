// The program's inputs: the password's sources, the router from the settings
// file, the terminal's character set, the prompt, the help and bad input.

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <optional>
#include <ostream>

#include "app/settings.hpp"
#include "cli/options.hpp"
#include "cli_fixture.hpp"
#include "platform/codepage/codepage.hpp"

namespace tralvex::cli::testing {
namespace {

using tralvex::testing::ReadFileBytes;

struct PasswordCase {
    const char* name;
    std::optional<std::string> environment;  // TRALVEX_IP_PASSWORD, UTF-8
    std::string settings;                    // the settings file's Password, UTF-8
    std::string router;                      // the password the router wants, UTF-8
    int status;
};

void PrintTo(const PasswordCase& c, std::ostream* os) { *os << c.name; }

class PasswordTest : public CliTest, public ::testing::WithParamInterface<PasswordCase> {};

TEST_P(PasswordTest, ComesFromTheEnvironmentThenTheSettingsFile) {
    ASSERT_TRUE(SaveSettings(Dir(), "", FromUtf8(GetParam().settings)));
    Scenario scenario;
    // The router wants the cookie the window makes, from the password's
    // characters, whatever the code page they came in.
    scenario.password = GetParam().router;
    scenario.zeroPolls = 0;
    auto router = StartRouter(scenario);
    Launch launch = LaunchFor(*router);
    launch.environment.clear();
    if (GetParam().environment) {
        launch.environment = {{"TRALVEX_IP_PASSWORD", *GetParam().environment}};
    }

    Outcome run = RunCli(launch);

    EXPECT_EQ(run.status, GetParam().status) << run.err;
    EXPECT_FALSE(router->Records().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Sources, PasswordTest,
    ::testing::Values(PasswordCase{"Environment", "pw-env", "", "pw-env", 0},
                      PasswordCase{"EnvironmentOverSettings", "pw-env", "pw-file", "pw-env", 0},
                      PasswordCase{"SettingsFile", std::nullopt, "pw-file", "pw-file", 0},
                      PasswordCase{"EmptyEnvironmentIsAPassword", "", "pw-file", "pw-file", 1},
                      PasswordCase{"NoneWithoutATerminalIsEmpty", std::nullopt, "", "", 0},
                      PasswordCase{"ChineseFromTheEnvironment", "密码", "", "密码", 0},
                      PasswordCase{"ChineseFromTheSettingsFile", std::nullopt, "密码", "密码", 0}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(CliTest, RouterComesFromTheSettingsFileUnlessGiven) {
    auto router = StartRouter(Scenario{});
    ASSERT_TRUE(SaveSettings(Dir(), AddressOf(*router), "admin"));
    Launch fromSettings;
    fromSettings.args = {"--settings", Dir().string()};
    EXPECT_EQ(RunCli(fromSettings).status, 0);

    // A closed port in the file: only --router can make this run succeed.
    ASSERT_TRUE(SaveSettings(Dir(), "127.0.0.1:1", "admin"));
    EXPECT_EQ(RunCli(LaunchFor(*router)).status, 0);
    EXPECT_EQ(RunCli(fromSettings).status, 1);
}

TEST_F(CliTest, SettingsAndHistoryLieBesideTheProgramByDefault) {
    const std::filesystem::path program = Dir() / "tralvex-ip-cli";
    std::filesystem::copy_file(TRALVEX_IP_CLI_EXE, program);
    auto router = StartRouter(Scenario{});
    ASSERT_TRUE(SaveSettings(Dir(), AddressOf(*router), "admin"));
    Launch launch;
    launch.executable = program.string();

    Outcome run = RunCli(launch);

    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(ReadFileBytes(HistoryFile()).find(" 203.0.113.7 "), std::string::npos);
}

TEST_F(CliTest, AMissingSettingsFileIsCreatedEmptyAsTheWindowDoes) {
    auto router = StartRouter(Scenario{});

    Outcome run = RunCli(LaunchFor(*router));

    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(ReadFileBytes(SettingsFilePath(Dir())), "");
    EXPECT_TRUE(std::filesystem::exists(SettingsFilePath(Dir())));
}

struct LocaleCase {
    const char* name;
    const char* locale;
    std::string firstLine;
};

void PrintTo(const LocaleCase& c, std::ostream* os) { *os << c.name; }

class LocaleTest : public CliTest, public ::testing::WithParamInterface<LocaleCase> {};

TEST_P(LocaleTest, StatusLinesAreInTheTerminalsCharacterSet) {
    auto router = StartRouter(Scenario{});
    Launch launch = LaunchFor(*router);
    launch.environment.emplace_back("LC_ALL", GetParam().locale);

    Outcome run = RunCli(launch);

    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.substr(0, run.out.find('\n') + 1), GetParam().firstLine);
}

INSTANTIATE_TEST_SUITE_P(Locales, LocaleTest,
                         ::testing::Values(LocaleCase{"Utf8", "C.UTF-8", "现在的IP：203.0.113.7\n"},
                                           LocaleCase{"Ascii", "C", "???IP?203.0.113.7\n"},
                                           LocaleCase{"UnknownIsUtf8", "xx_XX.NO-SUCH-CHARSET",
                                                      "现在的IP：203.0.113.7\n"}),
                         [](const auto& param) { return std::string(param.param.name); });

// A pseudo-terminal whose slave side is the child's standard input.
class PseudoTerminal {
  public:
    PseudoTerminal() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
        slave_ = ::open(::ptsname(master_), O_RDWR | O_NOCTTY | O_CLOEXEC);
    }
    ~PseudoTerminal() {
        if (slave_ >= 0) ::close(slave_);
        if (master_ >= 0) ::close(master_);
    }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    bool Open() const { return slave_ >= 0; }
    int Slave() const { return slave_; }
    bool Echoes() const {
        termios settings{};
        return ::tcgetattr(slave_, &settings) == 0 && (settings.c_lflag & ECHO);
    }
    void Type(const std::string& text) const {
        ASSERT_EQ(::write(master_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }
    // What the terminal has shown so far.
    std::string Shown() const {
        std::string shown;
        char chunk[256];
        ::fcntl(master_, F_SETFL, O_NONBLOCK);
        for (ssize_t n; (n = ::read(master_, chunk, sizeof chunk)) > 0;) {
            shown.append(chunk, static_cast<std::size_t>(n));
        }
        return shown;
    }

  private:
    int master_ = -1;
    int slave_ = -1;
};

TEST_F(CliTest, PromptsForThePasswordWithoutEchoOnATerminal) {
    Scenario scenario;
    scenario.password = "typed-pw";
    scenario.zeroPolls = 0;
    auto router = StartRouter(scenario);
    PseudoTerminal terminal;
    ASSERT_TRUE(terminal.Open());
    Launch launch = LaunchFor(*router);
    launch.environment.clear();
    launch.standardInput = terminal.Slave();
    CliProcess process(launch);

    ASSERT_TRUE(process.WaitForStderr("Password for the router at " + AddressOf(*router) + ": "))
        << process.Stderr();
    EXPECT_FALSE(terminal.Echoes());
    terminal.Type("typed-pw\n");

    EXPECT_EQ(process.WaitForExit(), 0) << process.Stderr();
    EXPECT_TRUE(terminal.Echoes());
    EXPECT_EQ(terminal.Shown().find("typed-pw"), std::string::npos);
}

TEST_F(CliTest, StopSignalAtThePromptRestoresTheEchoAndSendsNothing) {
    auto router = StartRouter(Scenario{});
    PseudoTerminal terminal;
    ASSERT_TRUE(terminal.Open());
    Launch launch = LaunchFor(*router, {"--json"});
    launch.environment.clear();
    launch.standardInput = terminal.Slave();
    CliProcess process(launch);
    ASSERT_TRUE(process.WaitForStderr("Password for the router at")) << process.Stderr();

    process.Signal(SIGINT);

    EXPECT_EQ(process.WaitForExit(), 130);
    EXPECT_TRUE(terminal.Echoes());
    EXPECT_TRUE(router->Records().empty());
    EXPECT_EQ(process.Stdout().substr(0, process.Stdout().find(",\"seconds\"")),
              R"({"outcome":"interrupted","old_address":null,"new_address":null,"cycles":0,)"
              R"("polls":0)");
}

TEST(HelpTest, DescribesEverythingOnStdout) {
    Launch launch;
    launch.args = {"--help"};
    Outcome run = RunCli(launch);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, HelpText());
    EXPECT_EQ(run.err, "");
    for (const char* topic : {"--router", "--settings", "--max-cycles", "--timeout", "--avoid",
                              "--json", "TRALVEX_IP_PASSWORD", "IPhistory.txt", "Exit status"}) {
        EXPECT_NE(run.out.find(topic), std::string::npos) << topic;
    }
}

struct BadInputCase {
    const char* name;
    std::vector<std::string> args;  // after --settings DIR, with the router's address for @
    std::string message;            // the message after "tralvex-ip-cli: "
    bool usage;                     // followed by the hint to --help
};

void PrintTo(const BadInputCase& c, std::ostream* os) { *os << c.name; }

class BadInputTest : public CliTest, public ::testing::WithParamInterface<BadInputCase> {};

TEST_P(BadInputTest, EndsWithTwoAndAMessageBeforeAnyRequest) {
    auto router = StartRouter(Scenario{});
    Launch launch;
    launch.args = {"--settings", Dir().string()};
    for (const std::string& arg : GetParam().args) {
        launch.args.push_back(arg == "@" ? AddressOf(*router) : arg);
    }
    launch.environment = {{"TRALVEX_IP_PASSWORD", "admin"}};

    Outcome run = RunCli(launch);

    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "tralvex-ip-cli: " + GetParam().message + "\n" +
                           (GetParam().usage ? "Try 'tralvex-ip-cli --help'.\n" : ""));
    EXPECT_TRUE(router->Records().empty());
}

const std::string kQuad = "a dotted quad has four numbers from 0 to 255, without leading zeros";
const std::string kName =
    "a host name is made of labels of letters, digits and inner hyphens, each of at most 63 "
    "characters, joined by dots";
const std::string kPort = "the port is a number from 1 to 65535";

INSTANTIATE_TEST_SUITE_P(
    CommandLine, BadInputTest,
    ::testing::Values(
        BadInputCase{"QuadOutOfRange",
                     {"--router", "300.1.1.1"},
                     "bad --router '300.1.1.1': " + kQuad,
                     false},
        BadInputCase{
            "ThreeNumbers", {"--router", "10.1.1"}, "bad --router '10.1.1': " + kQuad, false},
        BadInputCase{
            "LeadingZero", {"--router", "010.0.0.1"}, "bad --router '010.0.0.1': " + kQuad, false},
        BadInputCase{"PortZero",
                     {"--router", "router.lan:0"},
                     "bad --router 'router.lan:0': " + kPort,
                     false},
        BadInputCase{"PortTooHigh",
                     {"--router", "127.0.0.1:65536"},
                     "bad --router '127.0.0.1:65536': " + kPort,
                     false},
        BadInputCase{
            "EmptyPort", {"--router", "127.0.0.1:"}, "bad --router '127.0.0.1:': " + kPort, false},
        BadInputCase{"NoHost",
                     {"--router", ":80"},
                     "bad --router ':80': there is no host before the port",
                     false},
        BadInputCase{
            "Underscore", {"--router", "my_router"}, "bad --router 'my_router': " + kName, false},
        BadInputCase{"EmptyLabel",
                     {"--router", "router..lan"},
                     "bad --router 'router..lan': " + kName,
                     false},
        BadInputCase{"Ipv6",
                     {"--router", "[::1]:80"},
                     "bad --router '[::1]:80': IPv6 addresses are not supported",
                     false},
        BadInputCase{"EmptyRouter", {"--router="}, "bad --router '': it is empty", false},
        BadInputCase{"UnknownOption", {"--router", "@", "--bogus"}, "unknown option --bogus", true},
        BadInputCase{"Argument", {"--router", "@", "now"}, "unexpected argument 'now'", true},
        BadInputCase{
            "MissingRouterValue", {"--router"}, "--router needs a value (HOST[:PORT])", true},
        BadInputCase{"MissingTimeoutValue",
                     {"--router", "@", "--timeout"},
                     "--timeout needs a value (SECONDS)",
                     true},
        BadInputCase{"ZeroCycles",
                     {"--router", "@", "--max-cycles", "0"},
                     "--max-cycles takes a whole number of at least 1",
                     true},
        BadInputCase{"CyclesNotANumber",
                     {"--router", "@", "--max-cycles=2x"},
                     "--max-cycles takes a whole number of at least 1",
                     true},
        BadInputCase{"ZeroTimeout",
                     {"--router", "@", "--timeout", "0"},
                     "--timeout takes a number of seconds greater than 0 and at most 1000000",
                     true},
        BadInputCase{"NegativeTimeout",
                     {"--router", "@", "--timeout", "-1"},
                     "--timeout takes a number of seconds greater than 0 and at most 1000000",
                     true},
        BadInputCase{"TimeoutNotANumber",
                     {"--router", "@", "--timeout", "soon"},
                     "--timeout takes a number of seconds greater than 0 and at most 1000000",
                     true},
        BadInputCase{"AvoidTooMany",
                     {"--router", "@", "--avoid", "101"},
                     "--avoid takes a whole number from 1 to 100",
                     true},
        BadInputCase{
            "FlagWithValue", {"--router", "@", "--json=yes"}, "--json takes no value", true},
        BadInputCase{"SettingsDirectoryMissing",
                     {"--router", "@", "--settings", "/nonexistent-tralvex-dir"},
                     "the settings directory '/nonexistent-tralvex-dir' does not exist",
                     false}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(CliTest, SettingsFileThatCannotBeReadIsBadInput) {
    std::filesystem::create_directory(SettingsFilePath(Dir()));
    auto router = StartRouter(Scenario{});

    Outcome run = RunCli(LaunchFor(*router));

    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "tralvex-ip-cli: cannot read the settings file '" +
                           SettingsFilePath(Dir()).string() + "'\n");
    EXPECT_TRUE(router->Records().empty());
}

struct SettingsAddressCase {
    const char* name;
    std::string ip;
    std::string message;  // after "tralvex-ip-cli: ", with FILE for the settings file
};

void PrintTo(const SettingsAddressCase& c, std::ostream* os) { *os << c.name; }

class SettingsAddressTest : public CliTest,
                            public ::testing::WithParamInterface<SettingsAddressCase> {};

TEST_P(SettingsAddressTest, IsCheckedLikeTheOption) {
    ASSERT_TRUE(SaveSettings(Dir(), GetParam().ip, "admin"));
    Launch launch;
    launch.args = {"--settings", Dir().string()};

    Outcome run = RunCli(launch);

    std::string message = GetParam().message;
    message.replace(message.find("FILE"), 4, "'" + SettingsFilePath(Dir()).string() + "'");
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "tralvex-ip-cli: " + message + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    Values, SettingsAddressTest,
    ::testing::Values(
        SettingsAddressCase{"Empty", "",
                            "no router address: give --router HOST[:PORT] or set IP in FILE"},
        SettingsAddressCase{"OutOfRange", "300.1.1.1", "bad IP '300.1.1.1' in FILE: " + kQuad}),
    [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace tralvex::cli::testing
