// The program's start: from the moment its process is spawned to its window's
// first paint, and its resident memory then, beside a bare Qt window started
// the same way. Each is a copy of the executable in a scratch directory, so
// that the program's settings file is made there.

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "figures.hpp"

extern char** environ;

namespace tralvex::bench {
namespace {

namespace fs = std::filesystem;

// The variable that makes the program report its first paint (see
// app/shown_report.hpp).
constexpr char kReportShownVariable[] = "TRALVEX_REPORT_SHOWN";
constexpr int kShownTimeoutMs = 20'000;
// Resident memory is read this long after the first paint, when the window
// has settled.
constexpr auto kSettle = std::chrono::milliseconds(300);

struct Start {
    double shownMs = 0;
    double residentMb = 0;
};

long long MonotonicNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1'000'000'000LL + now.tv_nsec;
}

double ResidentMegabytes(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
    }
    return 0;
}

// The environment of this process with the platform and the report added.
std::vector<std::string> ChildEnvironment(const std::string& platform, const std::string& display) {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry; ++entry) {
        std::string_view text(*entry);
        if (text.rfind("QT_QPA_PLATFORM=", 0) == 0 || text.rfind("DISPLAY=", 0) == 0) continue;
        environment.emplace_back(text);
    }
    environment.push_back("QT_QPA_PLATFORM=" + platform);
    if (!display.empty()) environment.push_back("DISPLAY=" + display);
    environment.push_back(std::string(kReportShownVariable) + "=1");
    return environment;
}

// The line the program prints when shown, read within the time-out.
std::string ReadShownLine(int fd) {
    std::string text;
    char buffer[256];
    while (text.find('\n') == std::string::npos) {
        pollfd readable{fd, POLLIN, 0};
        if (::poll(&readable, 1, kShownTimeoutMs) <= 0) break;
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text.substr(0, text.find('\n'));
}

Start StartOnce(const fs::path& program, const std::vector<std::string>& environment) {
    int out[2];
    Require(::pipe(out) == 0, "no pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::vector<char*> envp;
    for (const std::string& entry : environment) envp.push_back(const_cast<char*>(entry.c_str()));
    envp.push_back(nullptr);
    std::string path = program.string();
    char* argv[] = {path.data(), nullptr};

    pid_t pid = 0;
    const long long spawned = MonotonicNanoseconds();
    int spawnError = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    Require(spawnError == 0, "cannot start " + path);
    std::string line = ReadShownLine(out[0]);
    Start start;
    long long shown = 0;
    if (std::istringstream(line.substr(line.find(' ') + 1)) >> shown &&
        line.rfind("shown ", 0) == 0) {
        start.shownMs = static_cast<double>(shown - spawned) / 1e6;
        std::this_thread::sleep_for(kSettle);
        start.residentMb = ResidentMegabytes(pid);
    }
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    ::close(out[0]);
    Require(start.shownMs > 0, path + " never reported its window shown");
    return start;
}

class ScratchCopies {
  public:
    ScratchCopies() {
        std::string pattern = (fs::temp_directory_path() / "tralvex-bench-XXXXXX").string();
        Require(::mkdtemp(pattern.data()) != nullptr, "no scratch directory");
        dir_ = pattern;
    }
    ~ScratchCopies() {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    fs::path Copy(const std::string& program, const std::string& name) {
        fs::path copy = dir_ / name;
        fs::create_directories(copy);
        copy /= fs::path(program).filename();
        fs::copy_file(program, copy, fs::copy_options::overwrite_existing);
        return copy;
    }

  private:
    fs::path dir_;
};

void AddRows(const std::string& platform, const Paired& time, const Paired& memory,
             std::vector<Row>& rows) {
    rows.push_back({"Start to shown window, " + platform, "ms", time.Ours(), time.Baseline(),
                    "bare Qt window, same size", time.Ratio(), "< 150 ms",
                    time.Ours().median < 150});
    rows.push_back({"Resident memory after it, " + platform, "MB", memory.Ours(), memory.Baseline(),
                    "bare Qt window, same size", memory.Ratio(), "< 40 MB",
                    memory.Ours().median < 40});
}

}  // namespace

void MeasureWindowStart(const Settings& settings, std::vector<Row>& rows,
                        std::vector<std::string>& notes) {
    if (settings.program.empty() || settings.bareWindow.empty()) {
        notes.push_back("- Window: not measured (no --program and --bare-window given).");
        return;
    }
    ScratchCopies scratch;
    const fs::path program = scratch.Copy(settings.program, "program");
    const fs::path bare = scratch.Copy(settings.bareWindow, "bare");
    struct Platform {
        std::string name;
        std::string qpa;
        std::string display;
    };
    std::vector<Platform> platforms = {{"offscreen", "offscreen", ""}};
    if (!settings.display.empty()) platforms.push_back({"Xvfb", "xcb", settings.display});
    for (const Platform& platform : platforms) {
        const std::vector<std::string> environment =
            ChildEnvironment(platform.qpa, platform.display);
        Paired time;
        Paired memory;
        StartOnce(program, environment);  // warms the file cache for both
        StartOnce(bare, environment);
        for (int i = 0; i < settings.repetitions; ++i) {
            Start ours = StartOnce(program, environment);
            Start baseline = StartOnce(bare, environment);
            time.ours.push_back(ours.shownMs);
            time.baseline.push_back(baseline.shownMs);
            memory.ours.push_back(ours.residentMb);
            memory.baseline.push_back(baseline.residentMb);
        }
        AddRows(platform.name, time, memory, rows);
    }
    notes.push_back(
        "- Window: from spawning the process to the end of the window's first paint "
        "(CLOCK_MONOTONIC, printed by the program when TRALVEX_REPORT_SHOWN is set), and VmRSS " +
        std::to_string(kSettle.count()) + " ms after it.");
}

}  // namespace tralvex::bench
