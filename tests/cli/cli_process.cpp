#include "cli_process.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

extern char** environ;

namespace tralvex::cli::testing {
namespace {

using Clock = std::chrono::steady_clock;

bool IsLeftOut(std::string_view entry) {
    const std::string_view name = entry.substr(0, entry.find('='));
    return name == "TRALVEX_IP_PASSWORD" || name == "LANG" || name == "LANGUAGE" ||
           name.rfind("LC_", 0) == 0;
}

std::vector<std::string> ChildEnvironment(const Launch& launch) {
    std::vector<std::string> entries;
    for (char** entry = environ; *entry; ++entry) {
        if (!IsLeftOut(*entry)) entries.emplace_back(*entry);
    }
    const bool localeGiven = std::any_of(launch.environment.begin(), launch.environment.end(),
                                         [](const auto& v) { return v.first == "LC_ALL"; });
    if (!localeGiven) entries.emplace_back("LC_ALL=C.UTF-8");
    for (const auto& [name, value] : launch.environment) entries.push_back(name + "=" + value);
    return entries;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (std::string& s : strings) pointers.push_back(s.data());
    pointers.push_back(nullptr);
    return pointers;
}

void Drain(int& fd, short revents, std::string& into) {
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

}  // namespace

CliProcess::CliProcess(const Launch& launch) {
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return;
    if (::pipe2(err, O_CLOEXEC) != 0) {
        ::close(out[0]);
        ::close(out[1]);
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (launch.standardInput >= 0) {
        posix_spawn_file_actions_adddup2(&actions, launch.standardInput, 0);
    } else {
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    }
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    std::vector<std::string> argv = {launch.executable};
    argv.insert(argv.end(), launch.args.begin(), launch.args.end());
    std::vector<std::string> envp = ChildEnvironment(launch);
    if (::posix_spawn(&pid_, launch.executable.c_str(), &actions, nullptr, Pointers(argv).data(),
                      Pointers(envp).data()) != 0) {
        pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    outFd_ = out[0];
    errFd_ = err[0];
}

CliProcess::~CliProcess() {
    if (pid_ > 0 && !reaped_) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    if (outFd_ >= 0) ::close(outFd_);
    if (errFd_ >= 0) ::close(errFd_);
}

void CliProcess::Signal(int signal) const {
    if (pid_ > 0 && !reaped_) ::kill(pid_, signal);
}

bool CliProcess::WaitForStderr(std::string_view text) {
    const auto deadline = Clock::now() + kChildWait;
    while (err_.find(text) == std::string::npos) {
        if (!ReadSome(deadline)) return false;
    }
    return true;
}

int CliProcess::WaitForExit() {
    if (!Started()) return -1;
    const auto deadline = Clock::now() + kChildWait;
    while (ReadSome(deadline)) {
    }
    int status = 0;
    while (Clock::now() < deadline) {
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            reaped_ = true;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        std::this_thread::sleep_for(10ms);
    }
    return -1;
}

// Reads what either pipe has; false once both are closed or time is up.
bool CliProcess::ReadSome(Clock::time_point deadline) {
    if (outFd_ < 0 && errFd_ < 0) return false;
    pollfd fds[2] = {{outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}};
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0 || ::poll(fds, 2, static_cast<int>(left.count())) <= 0) return false;
    Drain(outFd_, fds[0].revents, out_);
    Drain(errFd_, fds[1].revents, err_);
    return true;
}

Outcome RunCli(const Launch& launch) {
    CliProcess process(launch);
    Outcome outcome;
    outcome.status = process.WaitForExit();
    outcome.out = process.Stdout();
    outcome.err = process.Stderr();
    return outcome;
}

bool WaitUntil(const std::function<bool()>& condition) {
    const auto deadline = Clock::now() + kChildWait;
    while (!condition()) {
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

}  // namespace tralvex::cli::testing
