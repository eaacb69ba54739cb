#include "router_sim.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>

#include "pages.hpp"

namespace tralvex::routersim {
namespace {

// New addresses come from 203.0.113.2 to 203.0.113.254 (.1 is the gateway).
constexpr int kPoolFirst = 2;
constexpr int kPoolSize = 253;
constexpr int kResumeRetryMs = 50;

struct Query {
    bool disconnect = false;
    bool connect = false;
    bool wanOne = false;
};

// Reads the keys the router acts on from a query; keys and values may be
// escaped in any way.
Query ParseQuery(std::string_view query) {
    Query parsed;
    while (!query.empty()) {
        std::size_t end = query.find('&');
        std::string_view pair = query.substr(0, end);
        query.remove_prefix(end == std::string_view::npos ? query.size() : end + 1);
        std::size_t equals = pair.find('=');
        std::string key = DecodeQueryComponent(pair.substr(0, equals));
        std::string value =
            equals == std::string_view::npos ? "" : DecodeQueryComponent(pair.substr(equals + 1));
        if (key == "Disconnect") parsed.disconnect = true;
        if (key == "Connect") parsed.connect = true;
        if (key == "wan" && value == "1") parsed.wanOne = true;
    }
    return parsed;
}

// The disconnect and connect requests are the status page with a query that
// holds the button's name and "wan=1"; a query holding both buttons asks for
// nothing and is read as a status request.
Kind Classify(const loopback::Request& request) {
    std::string_view target = request.target;
    std::size_t question = target.find('?');
    if (request.method != "GET" || target.substr(0, question) != kStatusPath) return Kind::Other;
    if (question == std::string_view::npos) return Kind::Status;
    Query query = ParseQuery(target.substr(question + 1));
    if (query.wanOne && query.disconnect && !query.connect) return Kind::Disconnect;
    if (query.wanOne && query.connect && !query.disconnect) return Kind::Connect;
    return Kind::Status;
}

std::string CookieOf(const loopback::Request& request) {
    std::string cookie = request.Header("Cookie");
    while (!cookie.empty() && (cookie.back() == ' ' || cookie.back() == '\t')) cookie.pop_back();
    return cookie;
}

bool Applies(const Targets& targets, Kind kind) {
    switch (kind) {
        case Kind::Status:
            return targets.status;
        case Kind::Disconnect:
            return targets.disconnect;
        case Kind::Connect:
            return targets.connect;
        case Kind::Other:
            return false;
    }
    return false;
}

loopback::Reply HtmlReply(int status, std::string_view reason, std::string_view body, bool close) {
    loopback::Reply reply = loopback::Reply::Http(
        status, reason, body,
        {"Server: Router Webserver", "Content-Type: text/html; charset=utf-8",
         "Cache-Control: no-cache", close ? "Connection: close" : "Connection: keep-alive"});
    reply.closeAfter = close;
    return reply;
}

loopback::Reply FaultReply(Answer fault) {
    switch (fault) {
        case Answer::Drop:
            return loopback::Reply::CloseWithoutAnswer();
        case Answer::Hang:
            return loopback::Reply::NeverAnswer();
        default:
            return {loopback::Reply::Action::Send, std::string(kGarbageReply), true, 0};
    }
}

int OpenLog(const std::string& path, std::string& error) {
    if (path.empty()) return -1;
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) error = "cannot open the log " + path + ": " + std::strerror(errno);
    return fd;
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace

Router::Router(Scenario scenario)
    : scenario_(std::move(scenario)),
      cookie_(scenario_.cookie ? *scenario_.cookie : ExpectedCookie(scenario_.password)),
      address_(scenario_.wan),
      random_(scenario_.seed) {
    logFd_ = OpenLog(scenario_.logPath, error_);
    if (!error_.empty()) return;
    // Held until server_ is set, so that a request arriving at once waits for it.
    std::lock_guard lock(mutex_);
    server_ = std::make_unique<loopback::Server>(
        [this](const loopback::Request& request) { return Handle(request); }, scenario_.port,
        false);
    if (!server_->Listening()) {
        error_ = "cannot listen on 127.0.0.1:" + std::to_string(scenario_.port) + ": " +
                 std::strerror(server_->ListenError());
        server_.reset();  // it started no thread
        return;
    }
    if (scenario_.refuseWhileReconnecting) outageThread_ = std::thread([this] { OutageLoop(); });
}

Router::~Router() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    outageChanged_.notify_all();
    if (outageThread_.joinable()) outageThread_.join();
    server_.reset();
    if (logFd_ >= 0) ::close(logFd_);
}

std::uint16_t Router::Port() const { return server_ ? server_->Port() : 0; }

std::vector<Record> Router::Records() const {
    std::lock_guard lock(mutex_);
    return records_;
}

// Decides the reply to one request and applies what it asks for. A fault
// changes only the reply: the router has received the request all the same,
// so a hung disconnect still takes the link down and a dropped status poll
// still counts as a poll.
loopback::Reply Router::Handle(const loopback::Request& request) {
    std::lock_guard lock(mutex_);
    Kind kind = Classify(request);
    bool firstStatus = kind == Kind::Status && !firstStatusSeen_;
    if (kind == Kind::Status) firstStatusSeen_ = true;
    bool loggedIn = !scenario_.loginPage && CookieOf(request) == cookie_;

    bool wasReconnecting = link_ != Link::Up;
    if (loggedIn) Act(kind);
    bool startsOutage =
        scenario_.refuseWhileReconnecting && !wasReconnecting && link_ == Link::Down && !stopping_;
    if (startsOutage) StartOutage(request.connection);
    // From the disconnect until the reconnection completes: the disconnect's
    // own reply and the page that shows the address again are still sent.
    bool dropped = scenario_.dropWhileReconnecting && wasReconnecting && link_ != Link::Up;

    Record record{++sequence_, request.connection, kind, Answer::StatusPage, "-", request.raw};
    std::optional<Answer> fault = FaultAnswer(kind, firstStatus, dropped);
    if (fault) record.answer = *fault;
    loopback::Reply reply = fault ? FaultReply(*fault)
                                  : PageReply(request, loggedIn, firstStatus, startsOutage, record);
    reply.delayMs = DelayFor(kind);
    Keep(record);
    return reply;
}

// The page for a request no fault applies to: an error page for other
// requests, the login page without the cookie, else the status page as the
// link is now. `closeAfter`: the router's web server restarts after this reply.
loopback::Reply Router::PageReply(const loopback::Request& request, bool loggedIn, bool firstStatus,
                                  bool closeAfter, Record& record) const {
    if (record.kind == Kind::Other) {
        bool statusPath = request.target.substr(0, request.target.find('?')) == kStatusPath;
        record.answer = statusPath ? Answer::NotImplemented : Answer::NotFound;
        return statusPath ? HtmlReply(501, "Not Implemented",
                                      pages::ErrorPage(501, "Not Implemented"), false)
                          : HtmlReply(404, "Not Found", pages::ErrorPage(404, "Not Found"), false);
    }
    if (!loggedIn) {
        record.answer = Answer::LoginPage;
        return HtmlReply(200, "OK", pages::LoginPage(), false);
    }
    pages::StatusView view{link_ == Link::Up, address_, pages::kStatusPageQuads,
                           scenario_.pageBytes};
    if (scenario_.quads && (scenario_.quadsOn == QuadsOn::All || firstStatus)) {
        view.quads = *scenario_.quads;
    }
    if (view.quads >= 4) record.wan = ShownAddress();
    record.answer = Answer::StatusPage;
    return HtmlReply(200, "OK", pages::StatusPage(view), closeAfter);
}

void Router::Act(Kind kind) {
    switch (kind) {
        case Kind::Disconnect:
            link_ = Link::Down;
            break;
        case Kind::Connect:
            if (link_ == Link::Down && !outageEnd_) {
                link_ = Link::Redialing;
                zeroPollsLeft_ = scenario_.zeroPolls;
            }
            break;
        case Kind::Status:
            if (link_ != Link::Redialing) break;
            if (zeroPollsLeft_ > 0) {
                --zeroPollsLeft_;
            } else {
                address_ = NextAddress();
                link_ = Link::Up;
            }
            break;
        case Kind::Other:
            break;
    }
}

// Nothing listens on the port until the outage ends, and open connections
// but the disconnect's own are cut, as when the router's web server restarts
// while the WAN link redials. Called before the disconnect's reply is written,
// so a client that has read that reply finds the port closed.
void Router::StartOutage(int keepConnection) {
    server_->PauseListening();
    server_->DropConnections(keepConnection);
    outageEnd_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(scenario_.outageMs);
    outageChanged_.notify_all();
}

void Router::OutageLoop() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (!outageEnd_) {
            outageChanged_.wait(lock);
        } else if (std::chrono::steady_clock::now() < *outageEnd_) {
            outageChanged_.wait_until(lock, *outageEnd_);
        } else {
            EndOutage();
        }
    }
}

// The link redials by itself when the outage ends, as if the connect request
// had come then: it lost its way to a router that was not listening.
void Router::EndOutage() {
    if (link_ == Link::Down) {
        link_ = Link::Redialing;
        zeroPollsLeft_ = scenario_.zeroPolls;
    }
    if (server_->ResumeListening()) {
        outageEnd_.reset();
    } else {
        outageEnd_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(kResumeRetryMs);
    }
}

// The address a completed reconnection brings: the old one for the first
// `repeats` reconnections, then a new one each time.
std::string Router::NextAddress() {
    if (scenario_.repeats == kAlways || repeatsGiven_ < scenario_.repeats) {
        ++repeatsGiven_;
        return address_;
    }
    if (scenario_.repeatsEachChange) repeatsGiven_ = 0;
    return NewAddress();
}

std::string Router::NewAddress() {
    if (nextListed_ < scenario_.newWans.size()) return scenario_.newWans[nextListed_++];
    std::string address;
    do {
        // Taken from the raw engine output, which the standard fixes for a
        // seed, so a seed gives the same sequence everywhere.
        int host = kPoolFirst + static_cast<int>(random_() % kPoolSize);
        address = "203.0.113." + std::to_string(host);
    } while (address == address_);
    return address;
}

std::string Router::ShownAddress() const {
    return link_ == Link::Up ? address_ : std::string(kZeroAddress);
}

// Drop, then faults on the first status request, then faults on its kind.
std::optional<Answer> Router::FaultAnswer(Kind kind, bool firstStatus, bool dropped) const {
    if (dropped) return Answer::Drop;
    if (firstStatus && scenario_.hangOn.firstStatus) return Answer::Hang;
    if (firstStatus && scenario_.garbageOn.firstStatus) return Answer::Garbage;
    if (Applies(scenario_.hangOn, kind)) return Answer::Hang;
    if (Applies(scenario_.garbageOn, kind)) return Answer::Garbage;
    return std::nullopt;
}

int Router::DelayFor(Kind kind) const {
    const std::optional<int>* own = kind == Kind::Status       ? &scenario_.statusDelayMs
                                    : kind == Kind::Disconnect ? &scenario_.disconnectDelayMs
                                    : kind == Kind::Connect    ? &scenario_.connectDelayMs
                                                               : nullptr;
    return own && own->has_value() ? **own : scenario_.delayMs;
}

// Appends the record to the log, one write per record so that a reader sees
// whole records while the router runs.
void Router::Keep(const Record& record) {
    if (logFd_ >= 0 && !logFailed_ && !WriteAll(logFd_, FormatRecord(record))) {
        logFailed_ = true;
        std::cerr << "router-sim: writing the log " << scenario_.logPath
                  << " failed: " << std::strerror(errno) << std::endl;
    }
    if (scenario_.keepRecords) records_.push_back(record);
}

}  // namespace tralvex::routersim
