#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "command_line.hpp"
#include "router_fixture.hpp"

extern char** environ;

namespace tralvex::routersim::testing {
namespace {

// router-sim run as a child process with its output caught; every wait is
// bounded and a child still running at the end is killed.
class SimProcess {
  public:
    explicit SimProcess(const std::vector<std::string>& args) {
        int out[2], err[2];
        if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        std::vector<std::string> argv = {ROUTER_SIM_EXE};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> pointers;
        for (std::string& arg : argv) pointers.push_back(arg.data());
        pointers.push_back(nullptr);
        if (::posix_spawn(&pid_, ROUTER_SIM_EXE, &actions, nullptr, pointers.data(), environ) !=
            0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        ::close(err[1]);
        outFd_ = out[0];
        errFd_ = err[0];
    }

    ~SimProcess() {
        if (pid_ > 0 && !exited_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (outFd_ >= 0) ::close(outFd_);
        if (errFd_ >= 0) ::close(errFd_);
    }

    bool Started() const { return pid_ > 0; }
    const std::string& Stdout() const { return out_; }
    const std::string& Stderr() const { return err_; }
    void Signal(int signal) const { ::kill(pid_, signal); }

    // The port of the "listening on 127.0.0.1:PORT" line, or 0 when it did
    // not come in time.
    std::uint16_t WaitForListening() {
        const std::string prefix = "listening on 127.0.0.1:";
        auto deadline = std::chrono::steady_clock::now() + kReplyWait;
        while (out_.find('\n') == std::string::npos && ReadSome(deadline)) {
        }
        if (out_.rfind(prefix, 0) != 0 || out_.find('\n') == std::string::npos) return 0;
        return static_cast<std::uint16_t>(std::atoi(out_.c_str() + prefix.size()));
    }

    // The exit status once the child has ended, or -1 when it did not in time
    // or ended by a signal.
    int WaitForExit() {
        auto deadline = std::chrono::steady_clock::now() + kReplyWait;
        while (ReadSome(deadline)) {
        }
        int status = 0;
        while (std::chrono::steady_clock::now() < deadline) {
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                exited_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(10ms);
        }
        return -1;
    }

  private:
    // Reads what either pipe has; false once both are closed or time is up.
    bool ReadSome(std::chrono::steady_clock::time_point deadline) {
        pollfd fds[2] = {{outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}};
        if (outFd_ < 0 && errFd_ < 0) return false;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || ::poll(fds, 2, static_cast<int>(left.count())) <= 0) return false;
        Drain(outFd_, fds[0].revents, out_);
        Drain(errFd_, fds[1].revents, err_);
        return true;
    }

    static void Drain(int& fd, short revents, std::string& into) {
        if (fd < 0 || !(revents & (POLLIN | POLLHUP | POLLERR))) return;
        char chunk[4096];
        ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n > 0) {
            into.append(chunk, static_cast<std::size_t>(n));
        } else {
            ::close(fd);
            fd = -1;
        }
    }

    pid_t pid_ = -1;
    bool exited_ = false;
    int outFd_ = -1;
    int errFd_ = -1;
    std::string out_;
    std::string err_;
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

std::string TempPath(std::string_view name) {
    return (std::filesystem::temp_directory_path() /
            ("router_sim_exe_" + std::to_string(::getpid()) + "_" + std::string(name)))
        .string();
}

TEST(ExecutableTest, ServesACycleLogsEveryRequestAndStopsOnSigterm) {
    const std::string log = TempPath("cycle.log");
    std::filesystem::remove(log);
    SimProcess sim({"--port", "0", "--log", log, "--zero-polls", "1", "--wan", "198.51.100.200",
                    "--new-wans", "203.0.113.99"});
    ASSERT_TRUE(sim.Started());
    const std::uint16_t port = sim.WaitForListening();
    ASSERT_NE(port, 0) << sim.Stdout() << sim.Stderr();

    EXPECT_EQ(FourthQuad(Get(port, kStatusTarget).body), "198.51.100.200");
    // The record is in the file as soon as the reply has come.
    std::optional<std::vector<Record>> first = ParseLog(ReadFile(log));
    ASSERT_TRUE(first);
    EXPECT_EQ(first->size(), 1u);

    EXPECT_EQ(FourthQuad(Get(port, kDisconnectTarget).body), "0.0.0.0");
    EXPECT_EQ(FourthQuad(Get(port, kConnectTarget).body), "0.0.0.0");
    EXPECT_EQ(FourthQuad(Get(port, kStatusTarget).body), "0.0.0.0");
    EXPECT_EQ(FourthQuad(Get(port, kStatusTarget).body), "203.0.113.99");
    EXPECT_TRUE(Quads(Get(port, kStatusTarget, "Authorization=Basic%20x").body).empty());

    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.WaitForExit(), 0);
    EXPECT_EQ(sim.Stdout(), "listening on 127.0.0.1:" + std::to_string(port) + "\n");
    EXPECT_EQ(sim.Stderr(), "");

    std::optional<std::vector<Record>> records = ParseLog(ReadFile(log));
    ASSERT_TRUE(records);
    const std::string_view targets[] = {kStatusTarget, kDisconnectTarget, kConnectTarget,
                                        kStatusTarget, kStatusTarget};
    const std::string wans[] = {"198.51.100.200", "0.0.0.0", "0.0.0.0", "0.0.0.0", "203.0.113.99"};
    ASSERT_EQ(records->size(), 6u);
    for (std::size_t i = 0; i < 5; ++i) {
        const Record& record = (*records)[i];
        EXPECT_EQ(record.sequence, static_cast<int>(i) + 1);
        EXPECT_EQ(record.raw, RequestBytes(targets[i], kGoodCookie, port)) << i;
        EXPECT_EQ(record.answer, Answer::StatusPage) << i;
        EXPECT_EQ(record.wan, wans[i]) << i;
    }
    EXPECT_EQ((*records)[1].kind, Kind::Disconnect);
    EXPECT_EQ((*records)[2].kind, Kind::Connect);
    EXPECT_EQ((*records)[5].answer, Answer::LoginPage);
    std::filesystem::remove(log);
}

class StopSignalTest : public ::testing::TestWithParam<int> {};

TEST_P(StopSignalTest, EndsCleanlyWhileAReplyIsStillOwed) {
    SimProcess sim({"--hang-on", "status"});
    const std::uint16_t port = sim.WaitForListening();
    ASSERT_NE(port, 0) << sim.Stderr();
    Connection hanging(port);
    hanging.Send(RequestBytes(kStatusTarget, kGoodCookie, port));
    EXPECT_EQ(hanging.Receive(kSilenceWait).bytes, "");
    sim.Signal(GetParam());
    EXPECT_EQ(sim.WaitForExit(), 0) << sim.Stderr();
    EXPECT_TRUE(hanging.Receive().closed);
}

INSTANTIATE_TEST_SUITE_P(Signals, StopSignalTest, ::testing::Values(SIGINT, SIGTERM));

TEST(ExecutableTest, ListensOnThePortGiven) {
    std::uint16_t free = StartRouter(Quick())->Port();  // free again once that router is gone
    SimProcess sim({"--port", std::to_string(free), "--bind", "127.0.0.1"});
    EXPECT_EQ(sim.WaitForListening(), free) << sim.Stderr();
    EXPECT_EQ(FourthQuad(Get(free, kStatusTarget).body), "203.0.113.7");
}

TEST(ExecutableTest, PrintsTheHelp) {
    SimProcess sim({"--help"});
    EXPECT_EQ(sim.WaitForExit(), 0);
    EXPECT_EQ(sim.Stdout(), HelpText());
}

class BadOptionsTest : public ::testing::TestWithParam<std::vector<std::string>> {};

TEST_P(BadOptionsTest, ExitWithTwoAndTheProblemOnStderr) {
    SimProcess sim(GetParam());
    EXPECT_EQ(sim.WaitForExit(), 2);
    EXPECT_EQ(sim.Stdout(), "");
    EXPECT_EQ(sim.Stderr(),
              "router-sim: " + ParseCommandLine(GetParam()).error + "\nTry 'router-sim --help'.\n");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadOptionsTest,
    ::testing::Values(std::vector<std::string>{"--bogus"}, std::vector<std::string>{"--port"},
                      std::vector<std::string>{"--bind", "0.0.0.0"},
                      std::vector<std::string>{"--quads", "7"},
                      std::vector<std::string>{"--hang-on", "status", "--garbage", "status"}));

TEST(ExecutableTest, ExitsWithOneWhenTheLogOrThePortCannotBeHad) {
    SimProcess noLog({"--log", "/nonexistent-directory/router.log"});
    EXPECT_EQ(noLog.WaitForExit(), 1);
    EXPECT_EQ(noLog.Stdout(), "");
    EXPECT_EQ(noLog.Stderr(),
              "router-sim: cannot open the log /nonexistent-directory/router.log: No such file or "
              "directory\n");

    auto holder = StartRouter(Quick());
    const std::string port = std::to_string(holder->Port());
    SimProcess busy({"--port", port});
    EXPECT_EQ(busy.WaitForExit(), 1);
    EXPECT_EQ(busy.Stdout(), "");
    EXPECT_EQ(busy.Stderr(),
              "router-sim: cannot listen on 127.0.0.1:" + port + ": Address already in use\n");
}

}  // namespace
}  // namespace tralvex::routersim::testing
