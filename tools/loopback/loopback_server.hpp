#pragma once

// A small HTTP/1.1 server on 127.0.0.1 for tests and tools. It records every
// request exactly as the bytes arrived and answers each with raw bytes chosen
// by a handler, so a test can check the exact exchange, and can also misbehave
// on purpose: close without answering, never answer, or answer late.

#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace tralvex::loopback {

struct Request {
    std::string raw;     // request line, headers and body as received
    std::string method;  // from the request line
    std::string target;  // the request target as sent, not decoded
    std::string body;
    int connection = 0;  // 1 for the first connection accepted, 2 for the next...

    // The value of the first header of this name (ASCII case ignored), or "".
    std::string Header(std::string_view name) const;
};

struct Reply {
    enum class Action { Send, Close, Hang };

    Action action = Action::Send;
    std::string bytes;  // what is written, verbatim
    bool closeAfter = false;
    int delayMs = 0;  // pause before anything is written

    // A complete response with Content-Length and the given extra header lines
    // (each "Name: value", without line break).
    static Reply Http(int status, std::string_view reason, std::string_view body,
                      const std::vector<std::string>& headers = {});
    static Reply CloseWithoutAnswer() { return {Action::Close, {}, true, 0}; }
    static Reply NeverAnswer() { return {Action::Hang, {}, false, 0}; }
};

using Handler = std::function<Reply(const Request&)>;

class Server {
  public:
    // Listens on 127.0.0.1 at `port`, or at a free port when it is 0.
    explicit Server(Handler handler, std::uint16_t port = 0);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // False when the port could not be bound.
    bool Listening() const { return listenFd_ >= 0; }
    std::uint16_t Port() const { return port_; }
    std::vector<Request> Requests() const;
    int Connections() const { return connections_.load(); }

  private:
    void AcceptLoop();
    void Serve(int fd, int connection);
    void Record(const Request& request);

    Handler handler_;
    int listenFd_ = -1;
    int wakePipe_[2] = {-1, -1};
    std::uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int> connections_{0};
    mutable std::mutex mutex_;
    std::vector<Request> requests_;
    std::vector<int> clientFds_;
    std::list<std::thread> clients_;
    std::thread acceptor_;
};

}  // namespace tralvex::loopback
