#include "command_line.hpp"

#include <algorithm>
#include <charconv>
#include <functional>
#include <limits>
#include <optional>
#include <set>
#include <string_view>

namespace tralvex::routersim {
namespace {

constexpr long long kMaxMs = 3'600'000;
constexpr long long kMaxCount = 1'000'000'000;
constexpr long long kMaxPageBytes = 1LL << 30;

// Sets a field from an option's value; returns what is wrong with the value.
using Apply = std::function<std::string(Scenario&, std::string_view)>;

struct Option {
    std::string_view name;
    std::string_view value;  // how help names the value; empty for a flag
    std::string_view help;
    Apply apply;
};

std::optional<long long> Number(std::string_view text) {
    long long value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::string NumberError(std::string_view text, long long low, long long high) {
    return "'" + std::string(text) + "' is not a whole number from " + std::to_string(low) +
           " to " + std::to_string(high);
}

// Returns a setter that takes a number from `low` to `high`.
template <typename Field>
Apply NumberInto(Field Scenario::*field, long long low, long long high) {
    return [=](Scenario& scenario, std::string_view text) -> std::string {
        std::optional<long long> value = Number(text);
        if (!value || *value < low || *value > high) return NumberError(text, low, high);
        scenario.*field = static_cast<Field>(*value);
        return {};
    };
}

Apply DelayInto(std::optional<int> Scenario::*field) {
    return [=](Scenario& scenario, std::string_view text) -> std::string {
        std::optional<long long> value = Number(text);
        if (!value || *value < 0 || *value > kMaxMs) return NumberError(text, 0, kMaxMs);
        scenario.*field = static_cast<int>(*value);
        return {};
    };
}

Apply FlagInto(bool Scenario::*field) {
    return [=](Scenario& scenario, std::string_view) -> std::string {
        scenario.*field = true;
        return {};
    };
}

std::vector<std::string_view> SplitList(std::string_view list) {
    std::vector<std::string_view> items;
    while (true) {
        std::size_t comma = list.find(',');
        items.push_back(list.substr(0, comma));
        if (comma == std::string_view::npos) return items;
        list.remove_prefix(comma + 1);
    }
}

std::vector<std::string_view> SplitWords(std::string_view text) {
    std::vector<std::string_view> words;
    while (!text.empty()) {
        std::size_t space = text.find(' ');
        if (space != 0) words.push_back(text.substr(0, space));
        text.remove_prefix(space == std::string_view::npos ? text.size() : space + 1);
    }
    return words;
}

Apply TargetsInto(Targets Scenario::*field) {
    return [=](Scenario& scenario, std::string_view text) -> std::string {
        Targets& targets = scenario.*field;
        for (std::string_view item : SplitList(text)) {
            if (item == "status") {
                targets.status = true;
            } else if (item == "first-status") {
                targets.firstStatus = true;
            } else if (item == "disconnect") {
                targets.disconnect = true;
            } else if (item == "connect") {
                targets.connect = true;
            } else {
                return "'" + std::string(item) +
                       "' is not one of status, disconnect, connect, first-status";
            }
        }
        return {};
    };
}

std::string SetBind(Scenario&, std::string_view text) {
    if (text == "127.0.0.1") return {};
    return "'" + std::string(text) + "' is refused: the router listens on 127.0.0.1 only";
}

std::string SetWan(Scenario& scenario, std::string_view text) {
    if (!IsDottedQuad(text)) return "'" + std::string(text) + "' is not a dotted quad";
    scenario.wan = std::string(text);
    return {};
}

std::string AddNewWans(Scenario& scenario, std::string_view text) {
    for (std::string_view item : SplitList(text)) {
        if (!IsDottedQuad(item)) return "'" + std::string(item) + "' is not a dotted quad";
        scenario.newWans.emplace_back(item);
    }
    return {};
}

std::string SetSeed(Scenario& scenario, std::string_view text) {
    std::uint64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return "'" + std::string(text) + "' is not a whole number from 0 to " +
               std::to_string(std::numeric_limits<std::uint64_t>::max());
    }
    scenario.seed = value;
    return {};
}

std::string SetRepeats(Scenario& scenario, std::string_view text) {
    if (text == "always") {
        scenario.repeats = kAlways;
        return {};
    }
    return NumberInto(&Scenario::repeats, 0, kMaxCount)(scenario, text);
}

std::string SetQuadsOn(Scenario& scenario, std::string_view text) {
    if (text == "first") {
        scenario.quadsOn = QuadsOn::First;
    } else if (text == "all") {
        scenario.quadsOn = QuadsOn::All;
    } else {
        return "'" + std::string(text) + "' is not one of first, all";
    }
    return {};
}

// A byte count with an optional K, M or G (1024, 1024², 1024³).
std::string SetPageBytes(Scenario& scenario, std::string_view text) {
    long long unit = 1;
    std::string_view digits = text;
    if (!digits.empty()) {
        char last = digits.back();
        unit = last == 'K' ? 1LL << 10 : last == 'M' ? 1LL << 20 : last == 'G' ? 1LL << 30 : 1;
        if (unit > 1) digits.remove_suffix(1);
    }
    std::optional<long long> value = Number(digits);
    if (!value || *value < 0 || *value > kMaxPageBytes / unit) {
        return "'" + std::string(text) + "' is not a byte count from 0 to 1G (K, M, G allowed)";
    }
    scenario.pageBytes = static_cast<std::size_t>(*value * unit);
    return {};
}

const std::vector<Option>& Options() {
    static const std::vector<Option> options = {
        {"--port", "N", "port on 127.0.0.1 to listen on; 0 picks a free one (default 0)",
         NumberInto(&Scenario::port, 0, 65535)},
        {"--bind", "ADDRESS", "address to listen on; only 127.0.0.1 is accepted", SetBind},
        {"--password", "TEXT", "the admin password the login cookie must carry (default admin)",
         [](Scenario& s, std::string_view v) {
             s.password = std::string(v);
             return std::string();
         }},
        {"--cookie", "TEXT", "accept exactly this Cookie header value instead of the computed one",
         [](Scenario& s, std::string_view v) {
             s.cookie = std::string(v);
             return std::string();
         }},
        {"--wan", "ADDRESS", "WAN address at the start (default 203.0.113.7)", SetWan},
        {"--new-wans", "A,B,...",
         "new addresses to hand out first, in this order (repeatable); then the seeded sequence",
         AddNewWans},
        {"--seed", "N", "seed of the sequence of new addresses, 203.0.113.2-254 (default 1)",
         SetSeed},
        {"--zero-polls", "N", "status polls that still show 0.0.0.0 after a connect (default 2)",
         NumberInto(&Scenario::zeroPolls, 0, kMaxCount)},
        {"--repeats", "K|always",
         "reconnections that bring back the old address before a new one (default 0); always: "
         "never a new one",
         SetRepeats},
        {"--repeats-each-change", "", "count the K repeats anew after every new address",
         FlagInto(&Scenario::repeatsEachChange)},
        {"--delay-ms", "MS", "pause before every reply (default 0)",
         NumberInto(&Scenario::delayMs, 0, kMaxMs)},
        {"--delay-status-ms", "MS", "pause before status replies, instead of --delay-ms",
         DelayInto(&Scenario::statusDelayMs)},
        {"--delay-disconnect-ms", "MS", "pause before disconnect replies, instead of --delay-ms",
         DelayInto(&Scenario::disconnectDelayMs)},
        {"--delay-connect-ms", "MS", "pause before connect replies, instead of --delay-ms",
         DelayInto(&Scenario::connectDelayMs)},
        {"--refuse-while-reconnecting", "",
         "after a disconnect, nothing listens for --outage-ms: connections are refused",
         FlagInto(&Scenario::refuseWhileReconnecting)},
        {"--outage-ms", "MS", "length of that outage (default 500)",
         NumberInto(&Scenario::outageMs, 1, kMaxMs)},
        {"--drop-while-reconnecting", "",
         "from a disconnect until the address is back, requests are read and their connection "
         "closed without a reply",
         FlagInto(&Scenario::dropWhileReconnecting)},
        {"--hang-on", "KINDS",
         "never reply to these requests (comma list of status, disconnect, connect, "
         "first-status; repeatable)",
         TargetsInto(&Scenario::hangOn)},
        {"--garbage", "KINDS", "send non-HTTP bytes and close instead of replying (same kinds)",
         TargetsInto(&Scenario::garbageOn)},
        {"--quads", "N", "status pages carry only the first N (0-3) of their dotted quads",
         [](Scenario& s, std::string_view v) {
             std::optional<long long> value = Number(v);
             if (!value || *value < 0 || *value > 3) return NumberError(v, 0, 3);
             s.quads = static_cast<int>(*value);
             return std::string();
         }},
        {"--quads-on", "first|all",
         "--quads applies to the first status request only, or to all (default all)", SetQuadsOn},
        {"--page-bytes", "N", "pad status pages to N bytes (K, M, G allowed, at most 1G)",
         SetPageBytes},
        {"--login-page", "", "answer every request with the login page, whatever the cookie",
         FlagInto(&Scenario::loginPage)},
        {"--log", "FILE", "append every request received to FILE (format below)",
         [](Scenario& s, std::string_view v) {
             if (v.empty()) return std::string("the log file name is empty");
             s.logPath = std::string(v);
             return std::string();
         }},
        {"--help", "", "show this text and exit", nullptr},
    };
    return options;
}

const Option* FindOption(std::string_view name) {
    for (const Option& option : Options()) {
        if (option.name == name) return &option;
    }
    return nullptr;
}

bool Overlap(const Targets& a, const Targets& b) {
    return (a.status && b.status) || (a.firstStatus && b.firstStatus) ||
           (a.disconnect && b.disconnect) || (a.connect && b.connect);
}

// Combinations that contradict each other or have no effect.
std::string CheckCombination(const Scenario& scenario, const std::set<std::string_view>& given) {
    if (Overlap(scenario.hangOn, scenario.garbageOn)) {
        return "--hang-on and --garbage name the same kind of request";
    }
    if (given.count("--outage-ms") && !scenario.refuseWhileReconnecting) {
        return "--outage-ms needs --refuse-while-reconnecting";
    }
    if (given.count("--quads-on") && !scenario.quads) return "--quads-on needs --quads";
    if (scenario.repeatsEachChange && scenario.repeats <= 0) {
        return "--repeats-each-change needs --repeats with a count above 0";
    }
    if (scenario.loginPage && (scenario.quads || scenario.pageBytes > 0)) {
        return "--login-page sends no status page, so --quads and --page-bytes cannot apply";
    }
    return {};
}

constexpr std::size_t kHelpWidth = 80;
constexpr std::size_t kOptionColumn = 30;

// Wraps `text` at word boundaries to kHelpWidth, every line after the first
// starting with `indent` spaces; `first` is what the first line starts with.
std::string Wrap(std::string first, std::size_t indent, std::string_view text) {
    std::string out;
    std::string line = std::move(first);
    bool empty = true;
    for (std::string_view word : SplitWords(text)) {
        if (!empty && line.size() + 1 + word.size() > kHelpWidth) {
            out += line + "\n";
            line = std::string(indent, ' ');
            empty = true;
        }
        if (!empty) line += ' ';
        line += word;
        empty = false;
    }
    return out + line + "\n";
}

// One option: its name in a left column, its text wrapped beside it, or under
// it when the name is too long.
std::string OptionHelp(const Option& option) {
    std::string left = "  " + std::string(option.name);
    if (!option.value.empty()) left += " " + std::string(option.value);
    if (left.size() + 1 < kOptionColumn) {
        return Wrap(left + std::string(kOptionColumn - left.size(), ' '), kOptionColumn,
                    option.help);
    }
    return left + "\n" + Wrap(std::string(kOptionColumn, ' '), kOptionColumn, option.help);
}

std::string Paragraph(std::string_view text) { return Wrap("", 0, text) + "\n"; }

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
    CommandLine result;
    std::set<std::string_view> given;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view arg = args[i];
        std::size_t equals = arg.find('=');
        std::string_view name = arg.substr(0, equals);
        if (name == "-h") name = "--help";
        const Option* option = FindOption(name);
        if (!option) {
            result.error = "unknown option '" + std::string(arg) + "'";
            return result;
        }
        given.insert(option->name);
        if (option->name == "--help") {
            result.help = true;
            continue;
        }
        std::string_view value;
        if (option->value.empty()) {
            if (equals != std::string_view::npos) {
                result.error = std::string(option->name) + " takes no value";
                return result;
            }
        } else if (equals != std::string_view::npos) {
            value = arg.substr(equals + 1);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            result.error =
                std::string(option->name) + " needs a value (" + std::string(option->value) + ")";
            return result;
        }
        if (std::string error = option->apply(result.scenario, value); !error.empty()) {
            result.error = std::string(option->name) + ": " + error;
            return result;
        }
    }
    result.error = CheckCombination(result.scenario, given);
    return result;
}

std::string HelpText() {
    std::string text = "Usage: router-sim [OPTION]...\n";
    text += Paragraph(
        "A simulated home router on 127.0.0.1 for tests, benchmarks and demos. It serves GET "
        "/userRpm/StatusRpm.htm: the status page, the disconnect request (a query with "
        "Disconnect= and wan=1) and the connect request (Connect= and wan=1); keys and values "
        "may be escaped in any way. Once ready it prints \"listening on 127.0.0.1:PORT\"; it "
        "stops on SIGINT or SIGTERM.");
    text += "Options:\n";
    for (const Option& option : Options()) text += OptionHelp(option);
    text += "\n";
    text += "Login: every request must carry the header\n";
    text += "  Cookie: Authorization=Basic%20<Base64 of the bytes of admin:PASSWORD>\n";
    text += Paragraph(
        "(standard Base64 with = padding; the password's bytes as given, UTF-8 from a "
        "terminal). Without it the router sends a login page, which has no dotted quad, and "
        "does nothing the request asks for.");
    text += Paragraph(
        "Status page: its dotted quads in page order are 1 the firmware version 4.19.6.2, 2 the "
        "LAN address 198.51.100.1, 3 the LAN mask 255.255.255.0, 4 the WAN address, 5 the WAN "
        "mask, 6 the gateway 203.0.113.1, 7 and 8 the DNS servers. While the link is down "
        "every WAN quad is 0.0.0.0. The disconnect and connect requests are answered with the "
        "status page as it is after them.");
    text += Paragraph(
        "WAN link: a disconnect takes it down (0.0.0.0); a connect starts redialing: the next "
        "--zero-polls status requests show 0.0.0.0, the one after them the address: the old "
        "one for the first --repeats reconnections, then a new one each time: the --new-wans as "
        "given, then the seeded sequence, which never repeats the address just held.");
    text += Paragraph(
        "Faults change only the reply: the router still acts on the request it received, so a "
        "hung disconnect still takes the link down and a dropped poll still counts. Precedence: "
        "the drop window, then first-status, then the request's kind (hang or garbage), then "
        "the page. A kind may not both hang and get garbage; first-status may differ from "
        "status (the first status request then takes the first-status fault).");
    text += Paragraph(
        "--refuse-while-reconnecting: right before the disconnect's reply is written the router "
        "stops listening (connection attempts are refused, as with no server) and cuts its "
        "other open connections; the disconnect's reply carries Connection: close. When "
        "--outage-ms has passed it listens again and the link redials by itself, as if the "
        "connect had come then (a connect refused meanwhile never arrived).");
    text += Paragraph(
        "--drop-while-reconnecting: requests from the disconnect until the page that shows the "
        "address again are read, logged and answered by closing the connection; the "
        "disconnect's own reply and that page are sent. With the refusal, the zero polls after "
        "the outage are dropped. Delays apply to every reply, faults included. --quads and "
        "--page-bytes combine with each other and with the faults.");
    text += "Log (--log FILE): for every request, in the order received, one header line\n";
    text += "  === request SEQ connection CONN kind KIND reply REPLY wan WAN bytes N ===\n";
    text += Paragraph(
        "then exactly N bytes of the request as received (request line, headers, body), then "
        "a newline. KIND is status, disconnect, connect or other; REPLY is status-page, "
        "login-page, not-found, not-implemented, hang, garbage or drop; WAN is the fourth quad "
        "of the page sent, or -. Read N bytes after the header line: the count, not any "
        "separator, ends the request bytes. Each record is written with one write as the "
        "request arrives. The file is appended to, never truncated.");
    text +=
        "Exit status: 0 after SIGINT, SIGTERM or --help; 1 when the log cannot be opened\n"
        "or the port not bound; 2 for wrong options.\n";
    return text;
}

}  // namespace tralvex::routersim
