#include "cli/program.hpp"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <system_error>

#include "app/settings.hpp"
#include "changer/change_ip.hpp"
#include "cli/address_history.hpp"
#include "cli/console_view.hpp"
#include "cli/limits_guard.hpp"
#include "cli/options.hpp"
#include "cli/router_address.hpp"
#include "cli/run_summary.hpp"
#include "cli/stop_signals.hpp"
#include "cli/terminal.hpp"
#include "platform/components.hpp"
#include "platform/profile/profile_file.hpp"

namespace tralvex::cli {
namespace {

namespace fs = std::filesystem;

constexpr const char* kProgramName = "tralvex-ip-cli";
constexpr const char* kPasswordVariable = "TRALVEX_IP_PASSWORD";

void PrintError(const std::string& message) {
    std::fputs((std::string(kProgramName) + ": " + message + "\n").c_str(), stderr);
}

// Built by appends: GCC 12 at -O3 warns falsely on "'" + path.string().
std::string Quote(const fs::path& path) {
    std::string quoted = "'";
    quoted += path.string();
    quoted += '\'';
    return quoted;
}

std::string SecondsText(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", seconds);
    return text;
}

std::optional<Clock::time_point> DeadlineFrom(Clock::time_point start,
                                              const std::optional<double>& seconds) {
    if (!seconds) return std::nullopt;
    return start +
           std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(*seconds));
}

Outcome DecideOutcome(const RunResult& result, const LimitsGuard& guard) {
    switch (result.outcome) {
        case RunResult::Outcome::NewAddress:
            return Outcome::NewAddress;
        case RunResult::Outcome::LoginFailed:
            // A first request that the time limit cut short judged no login.
            return guard.DeadlinePassed() ? Outcome::Timeout : Outcome::LoginFailed;
        case RunResult::Outcome::Stopped:
            break;
    }
    switch (guard.Reason().value()) {
        case StopReason::MaxCycles:
            return Outcome::MaxCycles;
        case StopReason::Timeout:
            return Outcome::Timeout;
        case StopReason::Signal:
            break;
    }
    return Outcome::Interrupted;
}

// One run of the program once its options are known: the inputs gathered and
// checked before any request, the change, then its report.
class Program {
  public:
    Program(const Options& options, CharsetConverter& terminal)
        : options_(options), terminal_(terminal) {}

    int Run() {
        if (std::optional<std::string> problem = GatherInputs()) {
            PrintError(*problem);
            return kExitBadInput;
        }
        Summary summary = PerformChange();
        if (summary.outcome == Outcome::NewAddress) RecordChange(summary);
        Report(summary);
        return ExitStatus(summary);
    }

  private:
    // What is wrong with the inputs, or nothing.
    std::optional<std::string> GatherInputs() {
        directory_ =
            options_.settingsDirectory ? *options_.settingsDirectory : ExecutableDirectory();
        if (directory_.empty()) return "cannot find the program's directory; give --settings DIR";
        std::error_code error;
        if (!fs::is_directory(directory_, error)) {
            return "the settings directory " + Quote(directory_) + " does not exist";
        }
        const fs::path settingsFile = SettingsFilePath(directory_);
        if (profile_file::ReadWhole(settingsFile).state ==
            profile_file::Content::State::Unreadable) {
            return "cannot read the settings file " + Quote(settingsFile);
        }
        settings_ = LoadSettings(directory_);
        if (std::optional<std::string> problem = ChooseRouter(settingsFile)) return problem;
        history_.emplace(AddressHistory::Load(HistoryFilePath(directory_)));
        if (options_.avoid && history_->GetState() == AddressHistory::State::Unreadable) {
            return "cannot read the address history " + Quote(history_->File()) +
                   " that --avoid needs";
        }
        return std::nullopt;
    }

    std::optional<std::string> ChooseRouter(const fs::path& settingsFile) {
        if (options_.router) {
            // Taken as typed: an address that passes the check is ASCII.
            router_ = *options_.router;
            std::optional<std::string> problem = RouterAddressProblem(router_);
            if (problem) return "bad --router '" + router_ + "': " + *problem;
            return std::nullopt;
        }
        router_ = settings_.address;
        if (router_.empty()) {
            return "no router address: give --router HOST[:PORT] or set IP in " +
                   Quote(settingsFile);
        }
        if (std::optional<std::string> problem = RouterAddressProblem(router_)) {
            return "bad IP '" + terminal_.FromAnsi(router_) + "' in " + Quote(settingsFile) + ": " +
                   *problem;
        }
        return std::nullopt;
    }

    // The password by the order of --help; nothing when a stop signal came
    // while the prompt waited.
    std::optional<Text> ObtainPassword() {
        if (const char* fromEnvironment = std::getenv(kPasswordVariable)) {
            return terminal_.ToAnsi(fromEnvironment);
        }
        if (!settings_.password.empty()) return settings_.password;
        if (!::isatty(STDIN_FILENO)) return Text();
        std::optional<std::string> typed =
            ReadLineWithoutEcho("Password for the router at " + terminal_.FromAnsi(router_) + ": ");
        if (!typed) return std::nullopt;
        return terminal_.ToAnsi(*typed);
    }

    Summary PerformChange() {
        Summary summary;
        std::optional<Text> password = ObtainPassword();
        if (!password || ReceivedStopSignal() != 0) {
            summary.signal = ReceivedStopSignal();
            return summary;
        }
        RegisterPlatformComponents();
        const Clock::time_point start = Clock::now();
        const Limits limits{options_.maxCycles, DeadlineFrom(start, options_.timeoutSeconds),
                            options_.avoid.value_or(0)};
        LimitsGuard guard(limits, *history_);
        ConsoleView view(router_, *password, terminal_, options_.json ? stderr : stdout);

        const RunResult result = ChangeIp(view, guard);

        summary.seconds = std::chrono::duration<double>(Clock::now() - start).count();
        summary.outcome = DecideOutcome(result, guard);
        summary.signal = ReceivedStopSignal();
        summary.oldAddress = result.oldAddress;
        if (summary.outcome == Outcome::NewAddress) summary.newAddress = result.newAddress;
        summary.cycles = result.cycles;
        summary.polls = result.polls;
        loginFailureText_ = view.ErrorText();
        return summary;
    }

    void RecordChange(const Summary& summary) {
        const std::string now = UtcTimestamp(std::chrono::system_clock::now());
        if (!history_->Record(now, summary.oldAddress, summary.newAddress)) {
            PrintError("cannot record the change in the address history " +
                       Quote(history_->File()));
        }
    }

    void Report(const Summary& summary) {
        switch (summary.outcome) {
            case Outcome::NewAddress:
                break;
            case Outcome::LoginFailed:
                std::fputs((terminal_.FromAnsi(loginFailureText_) + "\n").c_str(), stderr);
                break;
            case Outcome::MaxCycles:
                PrintError("stopped at --max-cycles " + std::to_string(*options_.maxCycles) +
                           " without a new address");
                break;
            case Outcome::Timeout:
                PrintError("stopped at --timeout " + SecondsText(*options_.timeoutSeconds) +
                           " without a new address");
                break;
            case Outcome::Interrupted:
                PrintError(std::string("stopped by ") + StopSignalName(summary.signal));
                break;
        }
        if (options_.json) std::fputs(SummaryJson(summary).c_str(), stdout);
        std::fflush(stdout);
    }

    const Options& options_;
    CharsetConverter& terminal_;
    fs::path directory_;
    LoadedSettings settings_;
    Text router_;
    std::optional<AddressHistory> history_;
    Text loginFailureText_;
};

}  // namespace

int RunProgram(const std::vector<std::string>& args) {
    CatchStopSignals();
    std::unique_ptr<CharsetConverter> terminal = OpenTerminalConverter();
    const ParsedOptions parsed = ParseOptions(args);
    if (!parsed.error.empty()) {
        PrintError(parsed.error + "\nTry '" + kProgramName + " --help'.");
        return kExitBadInput;
    }
    if (parsed.options.help) {
        std::fputs(HelpText().c_str(), stdout);
        return kExitNewAddress;
    }
    Program program(parsed.options, *terminal);
    return program.Run();
}

}  // namespace tralvex::cli
