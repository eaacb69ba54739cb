#pragma once

// tralvex-ip-cli run as a child process, with its output caught. Every wait is
// bounded, and a child still running at the end is killed.

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tralvex::cli::testing {

using namespace std::chrono_literals;

// Far beyond what any run here needs, also under the sanitizers on a busy
// machine; only a hung child reaches it.
inline constexpr std::chrono::milliseconds kChildWait = 25s;

struct Launch {
    std::vector<std::string> args;
    // Variables set for the child, on top of the test's environment without
    // TRALVEX_IP_PASSWORD and the locale variables; LC_ALL is C.UTF-8
    // unless given here.
    std::vector<std::pair<std::string, std::string>> environment;
    int standardInput = -1;  // a descriptor for the child's stdin; -1: /dev/null
    std::string executable = TRALVEX_IP_CLI_EXE;
};

class CliProcess {
  public:
    explicit CliProcess(const Launch& launch);
    ~CliProcess();
    CliProcess(const CliProcess&) = delete;
    CliProcess& operator=(const CliProcess&) = delete;

    bool Started() const { return pid_ > 0; }
    void Signal(int signal) const;
    // Reads the output until standard error holds `text`; false when it did
    // not come in time or the child closed its output first.
    bool WaitForStderr(std::string_view text);
    // The exit status once the child has ended and closed its output; -1 when
    // it did not in time or a signal ended it.
    int WaitForExit();

    const std::string& Stdout() const { return out_; }
    const std::string& Stderr() const { return err_; }

  private:
    bool ReadSome(std::chrono::steady_clock::time_point deadline);

    pid_t pid_ = -1;
    bool reaped_ = false;
    int outFd_ = -1;
    int errFd_ = -1;
    std::string out_;
    std::string err_;
};

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs the program to its end.
Outcome RunCli(const Launch& launch);

// Whether `condition` became true within kChildWait, looking every 10 ms.
bool WaitUntil(const std::function<bool()>& condition);

}  // namespace tralvex::cli::testing
