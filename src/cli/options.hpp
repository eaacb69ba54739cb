#pragma once

// The command line of tralvex-ip-cli.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tralvex::cli {

// The limits and the history's size that the options allow.
inline constexpr int kMaxAvoid = 100;
inline constexpr double kMaxTimeoutSeconds = 1000000;

struct Options {
    std::optional<std::string> router;  // HOST[:PORT] as typed, not yet checked
    std::optional<std::filesystem::path> settingsDirectory;
    std::optional<int> maxCycles;
    std::optional<double> timeoutSeconds;
    std::optional<int> avoid;
    bool json = false;
    bool help = false;
};

struct ParsedOptions {
    Options options;
    std::string error;  // what is wrong with the arguments; empty when nothing
};

// Parses the arguments after the program name. Options take their value as
// the next argument or after "=" ("--timeout 30", "--timeout=30"); the last
// of a repeated option counts.
ParsedOptions ParseOptions(const std::vector<std::string>& args);

// The text of --help.
std::string HelpText();

}  // namespace tralvex::cli
