#pragma once

// A plain HTTP client over raw sockets to 127.0.0.1 for the router-sim tests:
// it sends exactly the bytes given and reports exactly what came back, with
// every wait bounded.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tralvex::routersim::testing {

using namespace std::chrono_literals;

// Long enough for a loaded machine, short enough that a broken router fails
// the test instead of stalling it.
inline constexpr std::chrono::milliseconds kReplyWait = 10s;
// How long a test watches for a reply that must not come.
inline constexpr std::chrono::milliseconds kSilenceWait = 300ms;

inline constexpr std::string_view kGoodCookie = "Authorization=Basic%20YWRtaW46YWRtaW4=";
// The requests as the IP changer sends them: the Chinese values as UTF-8
// percent escapes, the space as %20.
inline constexpr std::string_view kStatusTarget = "/userRpm/StatusRpm.htm";
inline constexpr std::string_view kDisconnectTarget =
    "/userRpm/StatusRpm.htm?Disconnect=%E6%96%AD%20%E7%BA%BF&wan=1";
inline constexpr std::string_view kConnectTarget =
    "/userRpm/StatusRpm.htm?Connect=%E8%BF%9E%20%E6%8E%A5&wan=1";

struct Response {
    std::string bytes;      // everything received
    bool complete = false;  // a whole response by its Content-Length arrived
    bool closed = false;    // the router closed the connection
    int status = 0;
    std::string head;  // status line and headers
    std::string body;

    std::string Header(std::string_view name) const;
};

class Connection {
  public:
    explicit Connection(std::uint16_t port);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool Connected() const { return connected_; }
    int ConnectError() const { return connectError_; }
    bool Send(std::string_view bytes);
    // Reads one response, or what came until the router closed or `wait` passed.
    Response Receive(std::chrono::milliseconds wait = kReplyWait);

  private:
    int fd_ = -1;
    bool connected_ = false;
    int connectError_ = 0;
    std::string pending_;  // bytes received after the last response
};

// A GET request like the IP changer's, with the cookie when given.
std::string RequestBytes(std::string_view target, std::optional<std::string_view> cookie,
                         std::uint16_t port);
// Sends one GET on a new connection and reads its response.
Response Get(std::uint16_t port, std::string_view target,
             std::optional<std::string_view> cookie = kGoodCookie);

// The matches of \d+\.\d+\.\d+\.\d+ in page order.
std::vector<std::string> Quads(const std::string& page);
// The fourth of them, or "" when there are fewer.
std::string FourthQuad(const std::string& page);

}  // namespace tralvex::routersim::testing
