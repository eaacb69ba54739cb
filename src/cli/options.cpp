#include "cli/options.hpp"

#include <charconv>
#include <cmath>
#include <functional>
#include <limits>
#include <string_view>

namespace tralvex::cli {
namespace {

// Stores a value into the options, or tells what is wrong with it.
using Setter = std::function<std::string(std::string_view value, Options& options)>;

struct OptionEntry {
    std::string_view name;
    std::string_view value;  // how the help names the value; empty for a flag
    Setter set;
};

std::optional<int> PositiveInt(std::string_view text, int max) {
    int value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 1 || value > max) {
        return std::nullopt;
    }
    return value;
}

std::string SetMaxCycles(std::string_view value, Options& options) {
    options.maxCycles = PositiveInt(value, std::numeric_limits<int>::max());
    return options.maxCycles ? "" : "--max-cycles takes a whole number of at least 1";
}

std::string SetAvoid(std::string_view value, Options& options) {
    options.avoid = PositiveInt(value, kMaxAvoid);
    return options.avoid ? "" : "--avoid takes a whole number from 1 to 100";
}

std::string SetTimeout(std::string_view value, Options& options) {
    double seconds = 0;
    auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), seconds,
                                        std::chars_format::fixed);
    if (error != std::errc() || end != value.data() + value.size() || !std::isfinite(seconds) ||
        seconds <= 0 || seconds > kMaxTimeoutSeconds) {
        return "--timeout takes a number of seconds greater than 0 and at most 1000000";
    }
    options.timeoutSeconds = seconds;
    return "";
}

std::string SetRouter(std::string_view value, Options& options) {
    options.router = std::string(value);
    return "";
}

std::string SetSettings(std::string_view value, Options& options) {
    if (value.empty()) return "--settings takes a directory";
    options.settingsDirectory = std::filesystem::path(value);
    return "";
}

const std::vector<OptionEntry>& OptionTable() {
    static const std::vector<OptionEntry> table = {
        {"--router", "HOST[:PORT]", SetRouter},
        {"--settings", "DIR", SetSettings},
        {"--max-cycles", "N", SetMaxCycles},
        {"--timeout", "SECONDS", SetTimeout},
        {"--avoid", "N", SetAvoid},
        {"--json", "",
         [](std::string_view, Options& o) {
             o.json = true;
             return std::string();
         }},
        {"--help", "",
         [](std::string_view, Options& o) {
             o.help = true;
             return std::string();
         }},
    };
    return table;
}

const OptionEntry* FindOption(std::string_view name) {
    if (name == "-h") name = "--help";
    for (const OptionEntry& option : OptionTable()) {
        if (option.name == name) return &option;
    }
    return nullptr;
}

bool LooksLikeOption(std::string_view arg) { return arg.rfind("-", 0) == 0; }

// Applies the argument at `i`, and the value after it when it takes one
// (moving `i` onto that); what is wrong, or "".
std::string ApplyArgument(const std::vector<std::string>& args, std::size_t& i, Options& options) {
    const std::string_view arg = args[i];
    const std::size_t equals = arg.find('=');
    const bool inlineValue = equals != std::string_view::npos;
    const std::string name(arg.substr(0, equals));
    const OptionEntry* option = LooksLikeOption(arg) ? FindOption(name) : nullptr;
    if (!option) {
        return LooksLikeOption(arg) ? "unknown option " + name
                                    : "unexpected argument '" + args[i] + "'";
    }
    if (option->value.empty())
        return inlineValue ? name + " takes no value" : option->set("", options);
    if (inlineValue) return option->set(arg.substr(equals + 1), options);
    if (i + 1 < args.size()) return option->set(args[++i], options);
    return name + " needs a value (" + std::string(option->value) + ")";
}

}  // namespace

ParsedOptions ParseOptions(const std::vector<std::string>& args) {
    ParsedOptions result;
    for (std::size_t i = 0; i < args.size() && result.error.empty() && !result.options.help; ++i) {
        result.error = ApplyArgument(args, i, result.options);
    }
    return result;
}

std::string HelpText() {
    return R"(Usage: tralvex-ip-cli [OPTIONS]

Logs in to the router's web administration, makes it disconnect and reconnect
its internet link, and repeats that while it hands back the old public address:
the IP change of the tralvex-ip window, from a terminal, a script or a
scheduler. Each status line is printed as it changes.

Options:
  --router HOST[:PORT]  the router: a host name or a dotted quad (four numbers
                        0 to 255), with a port from 1 to 65535 (default 80).
                        Default: the "IP" of the settings file.
  --settings DIR        the directory of the settings file IPconfig.ini and of
                        the address history IPhistory.txt (default: the
                        program's own directory, as for the window).
  --max-cycles N        send at most N disconnect/connect cycles; the run ends
                        when the last of them too brought back the old
                        address (or an avoided one).
  --timeout SECONDS     end the whole run after SECONDS (a decimal number),
                        counted from the first request to the router.
  --avoid N             an address of the last N changes in the history (1 to
                        100) counts as a repeat too, like the old address.
  --json                print one JSON object when the run ends, on standard
                        output; the status lines then go to standard error.
  -h, --help            show this text and exit.
Options take their value as the next argument or after "=" (--timeout=30).
Without --max-cycles and --timeout the run ends only with a new address, a
failed login or a stop signal, as the window's does.

Password (never on the command line), the first that gives one:
  1. the environment variable TRALVEX_IP_PASSWORD, when set (even if empty);
  2. the "Password" of the settings file, when not empty;
  3. a prompt on standard error that does not echo, when standard input is a
     terminal;
  4. otherwise the empty password, as the window sends with an empty box.
The environment variable and the prompt are read in the terminal's encoding.

Stopping: SIGINT (Ctrl-C), SIGTERM and SIGHUP only take effect at a safe point
of the run: a run stopped between the disconnect and the connect request still
sends the connect request first, however many times the signal comes. A
request in flight is not cut short by a signal; it ends within the HTTP
layer's time-outs (60 s to connect, 30 s for each wait on the reply).
With --timeout every request gets time-outs no longer than the time left; the
connect request after a disconnect keeps the full time-outs, as it brings the
router back, and may run past the limit. The time-outs count silence between
packets, so a router that trickles its reply can also outlast the limit.

Address history: IPhistory.txt beside the settings file, one line per new
address obtained (with or without --avoid), oldest first, at most the last
100:
  2024-05-01T12:00:00Z OLD NEW
(UTC time, the address before the change, the new one, separated by one
space). It is replaced as a whole (written to a new file, then renamed) and
created with mode 0600.

Exit status:
  0    a new address
  1    the login failed (no address on the router's status page)
  2    bad input: an option or its value, the router address, a settings
       directory or file that cannot be read, or a history that --avoid
       cannot read
  3    a limit was reached: --max-cycles or --timeout
  128+signal  stopped by a signal: 130 SIGINT, 143 SIGTERM, 129 SIGHUP

JSON (--json), one line:
  {"outcome":"new-address","old_address":"203.0.113.7",
   "new_address":"198.51.100.20","cycles":1,"polls":3,"seconds":0.412}
outcome is one of new-address, login-failed, max-cycles, timeout,
interrupted; an address not known is null (new_address is given only with a
new address); seconds is the duration of the run. Bad input prints no JSON.
)";
}

}  // namespace tralvex::cli
