#pragma once

// How a run from the command line ended, for people (the exit status) and for
// machines (the JSON object of --json).

#include <string>
#include <string_view>

#include "text/text.hpp"

namespace tralvex::cli {

inline constexpr int kExitNewAddress = 0;
inline constexpr int kExitLoginFailed = 1;
inline constexpr int kExitBadInput = 2;
inline constexpr int kExitLimitReached = 3;
// A stop signal ends the program with 128 plus its number, as a shell reports
// a program the signal ended: 130 for SIGINT, 143 for SIGTERM, 129 for SIGHUP.
inline constexpr int kExitSignalBase = 128;

enum class Outcome { NewAddress, LoginFailed, MaxCycles, Timeout, Interrupted };

struct Summary {
    Outcome outcome = Outcome::Interrupted;
    int signal = 0;   // the stop signal of an interrupted run
    Text oldAddress;  // empty when not known
    Text newAddress;  // empty unless the outcome is NewAddress
    int cycles = 0;
    int polls = 0;
    double seconds = 0;
};

// "new-address", "login-failed", "max-cycles", "timeout" or "interrupted".
std::string_view OutcomeName(Outcome outcome);

int ExitStatus(const Summary& summary);

// One line: {"outcome":...,"old_address":...,"new_address":...,"cycles":...,
// "polls":...,"seconds":...}, an empty address as null, the seconds with
// three decimals.
std::string SummaryJson(const Summary& summary);

}  // namespace tralvex::cli
