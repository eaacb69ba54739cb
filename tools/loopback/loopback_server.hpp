#pragma once

// A small HTTP/1.1 server on 127.0.0.1 for tests and tools. It records every
// request exactly as the bytes arrived and answers each with raw bytes chosen
// by a handler, so a test can check the exact exchange, and can also misbehave
// on purpose: close without answering, never answer, or answer late, stop
// listening for a while (connections refused) or cut open connections.

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
    // Listens on 127.0.0.1 at `port`, or at a free port when it is 0. The
    // handler may run on several connections at once. With `keepRequests`
    // false nothing is kept for Requests(), for long runs.
    explicit Server(Handler handler, std::uint16_t port = 0, bool keepRequests = true);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // False when the port could not be bound; ListenError() then holds errno.
    bool Listening() const { return listenFd_ >= 0; }
    int ListenError() const { return listenError_; }
    std::uint16_t Port() const { return port_; }
    std::vector<Request> Requests() const;
    int Connections() const { return connections_.load(); }

    // Stops listening: a connection attempt is refused as if no server ran,
    // and attempts not yet accepted are reset. Open connections go on. The
    // port stays this server's. Safe to call from a handler.
    void PauseListening();
    // Listens on the same port again; false when it could not.
    bool ResumeListening();
    // Cuts every open connection except the one with the number `keep` (as in
    // Request::connection; 0 keeps none). A reply being written is cut short.
    void DropConnections(int keep = 0);

  private:
    struct Client {
        int fd;
        int connection;
        std::thread thread;
        std::atomic<bool> finished{false};
    };

    void AcceptLoop();
    void AcceptOne();
    void JoinFinishedClients();
    void Serve(Client& client);
    bool ServeOne(int fd, int connection, std::string& buffer);
    void Hang(int fd);
    void Pause(int milliseconds);
    void Record(const Request& request);
    void Wake();

    Handler handler_;
    bool keepRequests_;
    int listenFd_ = -1;
    int listenError_ = 0;
    int wakePipe_[2] = {-1, -1};  // readable once the server stops
    int controlFd_ = -1;          // eventfd: listening was paused or resumed
    std::uint16_t port_ = 0;
    bool paused_ = false;  // guarded by mutex_
    std::atomic<bool> stopping_{false};
    std::atomic<int> connections_{0};
    mutable std::mutex mutex_;
    std::vector<Request> requests_;
    std::list<Client> clients_;
    std::thread acceptor_;
};

}  // namespace tralvex::loopback
