#include "router_process.hpp"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <charconv>

extern char** environ;

namespace tralvex::soak {
namespace {

constexpr int kReadyTimeoutMs = 10'000;
constexpr std::string_view kReady = "listening on 127.0.0.1:";

std::string ReadFirstLine(int fd) {
    std::string text;
    char buffer[128];
    while (text.find('\n') == std::string::npos) {
        pollfd readable{fd, POLLIN, 0};
        if (::poll(&readable, 1, kReadyTimeoutMs) <= 0) break;
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text.substr(0, text.find('\n'));
}

}  // namespace

RouterProcess::RouterProcess(const std::string& program, const std::vector<std::string>& options) {
    int out[2];
    if (::pipe(out) != 0) return;
    std::vector<std::string> args = {program};
    args.insert(args.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0)
        pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (pid_ > 0) {
        std::string line = ReadFirstLine(out[0]);
        if (line.rfind(kReady, 0) == 0) {
            std::string_view digits = std::string_view(line).substr(kReady.size());
            std::from_chars(digits.data(), digits.data() + digits.size(), port_);
        }
    }
    ::close(out[0]);
}

RouterProcess::~RouterProcess() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
}

}  // namespace tralvex::soak
