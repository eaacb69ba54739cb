#pragma once

// A simulated home router on 127.0.0.1 for tests, benchmarks and demos. It
// serves the one page of a small router's web administration that the IP
// changer drives, "/userRpm/StatusRpm.htm": the status page (whose fourth
// dotted quad is the WAN address), the disconnect and the connect request,
// guarded by the login cookie. Its WAN link goes down on a disconnect and comes
// back a few status polls after a connect, with the old address or a new one,
// and it can misbehave on purpose (see Scenario). Every request it receives is
// recorded with its raw bytes, in memory and in an optional log file.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "loopback_server.hpp"

namespace tralvex::routersim {

inline constexpr std::string_view kStatusPath = "/userRpm/StatusRpm.htm";
inline constexpr std::string_view kZeroAddress = "0.0.0.0";
inline constexpr std::string_view kCookiePrefix = "Authorization=Basic%20";
// `repeats` value: every reconnection brings back the old address.
inline constexpr int kAlways = -1;
// What a garbage fault sends instead of a reply: bytes no HTTP client can read
// as a response, without any dotted quad.
inline constexpr char kGarbageBytes[] = "\x00\x9f\x92\x96\xff\xfe garbage, not HTTP \r\n\r\n";
inline constexpr std::string_view kGarbageReply{kGarbageBytes, sizeof kGarbageBytes - 1};

// What a request asks for, judged from its request line alone.
enum class Kind { Status, Disconnect, Connect, Other };

// The requests a fault applies to.
struct Targets {
    bool status = false;       // every status request
    bool firstStatus = false;  // the first status request the router receives
    bool disconnect = false;
    bool connect = false;

    bool Any() const { return status || firstStatus || disconnect || connect; }
};

enum class QuadsOn { All, First };

struct Scenario {
    std::uint16_t port = 0;  // 0: any free port
    std::string password = "admin";
    // The exact Cookie header value to accept; when absent the one computed
    // from the password by ExpectedCookie.
    std::optional<std::string> cookie;

    std::string wan = "203.0.113.7";   // the WAN address at the start
    std::vector<std::string> newWans;  // new addresses handed out first, in order
    std::uint64_t seed = 1;            // of the sequence of new addresses after them
    int zeroPolls = 2;                 // status polls that show 0.0.0.0 after a connect
    int repeats = 0;                   // reconnections that bring back the old address, or kAlways
    bool repeatsEachChange = false;    // count the repeats anew after every new address

    int delayMs = 0;  // before every reply; a kind's own delay replaces it
    std::optional<int> statusDelayMs;
    std::optional<int> disconnectDelayMs;
    std::optional<int> connectDelayMs;

    // Faults.
    bool refuseWhileReconnecting = false;  // nothing listens from a disconnect for outageMs
    int outageMs = 500;
    bool dropWhileReconnecting = false;  // requests read, then the connection closed unanswered
    Targets hangOn;                      // a reply that never comes
    Targets garbageOn;                   // non-HTTP bytes, then the connection closed
    std::optional<int> quads;            // status pages with only 0..3 dotted quads
    QuadsOn quadsOn = QuadsOn::All;
    std::size_t pageBytes = 0;  // status page bodies padded to this size
    bool loginPage = false;     // the login page for every cookie

    std::string logPath;      // append every request here when not empty
    bool keepRecords = true;  // keep them for Records() as well
};

// How a request was answered.
enum class Answer { StatusPage, LoginPage, NotFound, NotImplemented, Hang, Garbage, Drop };

// One request received, as it appears in the log.
struct Record {
    int sequence = 0;    // 1 for the first request the router received
    int connection = 0;  // 1 for the first connection it accepted
    Kind kind = Kind::Other;
    Answer answer = Answer::StatusPage;
    std::string wan;  // the fourth dotted quad of the page sent, or "-"
    std::string raw;  // the request exactly as received

    bool operator==(const Record&) const = default;
};

std::string_view KindName(Kind kind);
std::string_view AnswerName(Answer answer);

// The log record of a request: one header line
//   "=== request SEQ connection CONN kind KIND reply ANSWER wan WAN bytes N ===\n"
// then exactly N raw bytes, then "\n". The count, not any separator, tells
// where the raw bytes end, so request bytes can never be taken for a header.
std::string FormatRecord(const Record& record);
// The records of a log, or nothing when it is not a sequence of whole records.
std::optional<std::vector<Record>> ParseLog(std::string_view log);

// Standard Base64 (RFC 4648) with "=" padding and no line breaks.
std::string Base64(std::string_view bytes);
// "Authorization=Basic%20" followed by the Base64 of "admin:" and the
// password's bytes (UTF-8 when it comes from the command line).
std::string ExpectedCookie(std::string_view password);
// A query key or value with its %XX escapes decoded and "+" read as a space;
// a "%" without two hex digits after it stays as it is.
std::string DecodeQueryComponent(std::string_view text);
// Whether `text` is a dotted quad of four decimal numbers of at most three
// digits, each at most 255 ("203.0.113.007" included).
bool IsDottedQuad(std::string_view text);

class Router {
  public:
    // Opens the log and starts listening; Error() tells when either failed.
    explicit Router(Scenario scenario);
    ~Router();
    Router(const Router&) = delete;
    Router& operator=(const Router&) = delete;

    const std::string& Error() const { return error_; }
    std::uint16_t Port() const;
    std::vector<Record> Records() const;

  private:
    enum class Link { Up, Down, Redialing };

    loopback::Reply Handle(const loopback::Request& request);
    void Act(Kind kind);
    void StartOutage(int keepConnection);
    void OutageLoop();
    void EndOutage();
    std::string NextAddress();
    std::string NewAddress();
    std::string ShownAddress() const;
    std::optional<Answer> FaultAnswer(Kind kind, bool firstStatus, bool dropped) const;
    loopback::Reply PageReply(const loopback::Request& request, bool loggedIn, bool firstStatus,
                              bool closeAfter, Record& record) const;
    int DelayFor(Kind kind) const;
    void Keep(const Record& record);

    const Scenario scenario_;
    const std::string cookie_;
    std::string error_;
    int logFd_ = -1;

    mutable std::mutex mutex_;  // guards everything below
    bool logFailed_ = false;
    std::condition_variable outageChanged_;
    Link link_ = Link::Up;
    std::string address_;  // the address while up, kept while down
    int zeroPollsLeft_ = 0;
    int repeatsGiven_ = 0;
    std::size_t nextListed_ = 0;
    std::mt19937_64 random_;
    bool firstStatusSeen_ = false;
    int sequence_ = 0;
    std::vector<Record> records_;
    std::optional<std::chrono::steady_clock::time_point> outageEnd_;
    bool stopping_ = false;

    std::unique_ptr<loopback::Server> server_;
    std::thread outageThread_;
};

}  // namespace tralvex::routersim
