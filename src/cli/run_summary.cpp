#include "cli/run_summary.hpp"

#include <cstdio>

#include "platform/codepage/codepage.hpp"

namespace tralvex::cli {
namespace {

// A JSON string of ASCII characters: everything else as \u escapes of its
// UTF-16 code units, so that the output is the same in any encoding.
std::string JsonString(const Text& text) {
    if (text.empty()) return "null";
    std::string json = "\"";
    for (char16_t unit : AnsiToUtf16(text)) {
        if (unit == u'"' || unit == u'\\') {
            json += '\\';
            json += static_cast<char>(unit);
        } else if (unit < 0x20 || unit >= 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(unit));
            json += escape;
        } else {
            json += static_cast<char>(unit);
        }
    }
    return json + "\"";
}

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", seconds);
    return text;
}

}  // namespace

std::string_view OutcomeName(Outcome outcome) {
    switch (outcome) {
        case Outcome::NewAddress:
            return "new-address";
        case Outcome::LoginFailed:
            return "login-failed";
        case Outcome::MaxCycles:
            return "max-cycles";
        case Outcome::Timeout:
            return "timeout";
        case Outcome::Interrupted:
            return "interrupted";
    }
    return "";
}

int ExitStatus(const Summary& summary) {
    switch (summary.outcome) {
        case Outcome::NewAddress:
            return kExitNewAddress;
        case Outcome::LoginFailed:
            return kExitLoginFailed;
        case Outcome::MaxCycles:
        case Outcome::Timeout:
            return kExitLimitReached;
        case Outcome::Interrupted:
            return kExitSignalBase + summary.signal;
    }
    return kExitBadInput;
}

std::string SummaryJson(const Summary& summary) {
    return "{\"outcome\":\"" + std::string(OutcomeName(summary.outcome)) +
           "\",\"old_address\":" + JsonString(summary.oldAddress) +
           ",\"new_address\":" + JsonString(summary.newAddress) +
           ",\"cycles\":" + std::to_string(summary.cycles) +
           ",\"polls\":" + std::to_string(summary.polls) +
           ",\"seconds\":" + Seconds(summary.seconds) + "}\n";
}

}  // namespace tralvex::cli
