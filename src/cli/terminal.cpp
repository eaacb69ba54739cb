#include "cli/terminal.hpp"

#include <langinfo.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdio>

#include "cli/stop_signals.hpp"

namespace tralvex::cli {
namespace {

constexpr const char* kFallbackCharset = "UTF-8";
// How often the prompt looks for a stop signal that came while it waited.
constexpr int kSignalCheckMs = 100;

std::string LocaleCharset() {
    std::string charset;
    if (std::setlocale(LC_ALL, "")) charset = nl_langinfo(CODESET);
    std::setlocale(LC_ALL, "C");
    return charset;
}

// Turns the echo of a terminal off for its lifetime.
class EchoOff {
  public:
    explicit EchoOff(int fd) : fd_(fd), saved_(::tcgetattr(fd, &settings_) == 0) {
        if (!saved_) return;
        termios quiet = settings_;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(fd_, TCSAFLUSH, &quiet);
    }
    ~EchoOff() {
        if (saved_) ::tcsetattr(fd_, TCSANOW, &settings_);
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

  private:
    int fd_;
    termios settings_{};
    bool saved_;
};

// Waits until `fd` has input, looking for a stop signal in between; false
// when one came.
bool WaitForInput(int fd) {
    for (;;) {
        if (ReceivedStopSignal() != 0) return false;
        pollfd input{fd, POLLIN, 0};
        int ready = ::poll(&input, 1, kSignalCheckMs);
        if (ready > 0 || (ready < 0 && errno != EINTR)) return true;
    }
}

std::optional<std::string> ReadLine(int fd) {
    std::string line;
    for (;;) {
        if (!WaitForInput(fd)) return std::nullopt;
        char c = 0;
        ssize_t n = ::read(fd, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0 || c == '\n') return line;
        line.push_back(c);
    }
}

}  // namespace

std::unique_ptr<CharsetConverter> OpenTerminalConverter() {
    const std::string charset = LocaleCharset();
    if (!charset.empty()) {
        auto converter = std::make_unique<CharsetConverter>(charset);
        if (converter->Known()) return converter;
    }
    return std::make_unique<CharsetConverter>(kFallbackCharset);
}

std::optional<std::string> ReadLineWithoutEcho(const std::string& prompt) {
    std::optional<std::string> line;
    {
        // Off before the prompt shows, so that nothing typed after it echoes.
        EchoOff echoOff(STDIN_FILENO);
        std::fputs(prompt.c_str(), stderr);
        std::fflush(stderr);
        line = ReadLine(STDIN_FILENO);
    }
    // The line end typed was not echoed.
    std::fputc('\n', stderr);
    return line;
}

}  // namespace tralvex::cli
