#include "loopback_server.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <iterator>

namespace tralvex::loopback {
namespace {

constexpr std::size_t kMaxHead = 8 * 1024 * 1024;
constexpr int kBacklog = 64;

sockaddr_in LoopbackAddress(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return Lower(x) == Lower(y); });
}

std::string HeaderIn(std::string_view head, std::string_view name) {
    std::size_t pos = head.find("\r\n");
    while (pos != std::string_view::npos) {
        std::size_t start = pos + 2;
        std::size_t end = head.find("\r\n", start);
        std::string_view line =
            head.substr(start, end == std::string_view::npos ? end : end - start);
        std::size_t colon = line.find(':');
        if (colon != std::string_view::npos && SameName(line.substr(0, colon), name)) {
            std::string_view value = line.substr(colon + 1);
            while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
            return std::string(value);
        }
        pos = end;
    }
    return {};
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace

std::string Request::Header(std::string_view name) const {
    return HeaderIn(std::string_view(raw).substr(0, raw.find("\r\n\r\n")), name);
}

Reply Reply::Http(int status, std::string_view reason, std::string_view body,
                  const std::vector<std::string>& headers) {
    std::string bytes = "HTTP/1.1 " + std::to_string(status) + " " + std::string(reason) + "\r\n";
    for (const std::string& header : headers) bytes += header + "\r\n";
    bytes += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
    bytes += body;
    return {Action::Send, std::move(bytes), false, 0};
}

Server::Server(Handler handler, std::uint16_t port, bool keepRequests)
    : handler_(std::move(handler)), keepRequests_(keepRequests) {
    if (::pipe2(wakePipe_, O_CLOEXEC) != 0) {
        listenError_ = errno;
        return;
    }
    controlFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    // Non-blocking, so that a connection reset between poll and accept cannot
    // block the accept loop; accepted sockets are blocking all the same.
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (controlFd_ < 0 || fd < 0) {
        listenError_ = errno;
        if (fd >= 0) ::close(fd);
        return;
    }
    int yes = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address = LoopbackAddress(port);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, kBacklog) != 0) {
        listenError_ = errno;
        ::close(fd);
        return;
    }
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    listenFd_ = fd;
    acceptor_ = std::thread([this] { AcceptLoop(); });
}

Server::~Server() {
    stopping_ = true;
    if (wakePipe_[1] >= 0) {
        char byte = 1;
        [[maybe_unused]] ssize_t n = ::write(wakePipe_[1], &byte, 1);
    }
    if (acceptor_.joinable()) acceptor_.join();
    {
        std::lock_guard lock(mutex_);
        for (Client& client : clients_) {
            if (client.fd >= 0) ::shutdown(client.fd, SHUT_RDWR);
        }
    }
    for (Client& client : clients_) client.thread.join();
    if (listenFd_ >= 0) ::close(listenFd_);
    if (controlFd_ >= 0) ::close(controlFd_);
    for (int fd : wakePipe_) {
        if (fd >= 0) ::close(fd);
    }
}

std::vector<Request> Server::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

void Server::PauseListening() {
    {
        std::lock_guard lock(mutex_);
        if (paused_ || listenFd_ < 0) return;
        paused_ = true;
        // On Linux this takes the socket out of the listening state while it
        // keeps its descriptor, so it can listen again without a new socket.
        ::shutdown(listenFd_, SHUT_RDWR);
    }
    Wake();
}

bool Server::ResumeListening() {
    {
        std::lock_guard lock(mutex_);
        if (!paused_) return listenFd_ >= 0;
        // A socket bound to an explicit port keeps it across the pause and
        // refuses a second bind (EINVAL); one bound to port 0 has lost it and
        // takes it back here.
        sockaddr_in address = LoopbackAddress(port_);
        if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 &&
            errno != EINVAL) {
            return false;
        }
        if (::listen(listenFd_, kBacklog) != 0) return false;
        paused_ = false;
    }
    Wake();
    return true;
}

void Server::DropConnections(int keep) {
    std::lock_guard lock(mutex_);
    for (Client& client : clients_) {
        if (client.fd >= 0 && client.connection != keep) ::shutdown(client.fd, SHUT_RDWR);
    }
}

void Server::Record(const Request& request) {
    if (!keepRequests_) return;
    std::lock_guard lock(mutex_);
    requests_.push_back(request);
}

void Server::Wake() {
    std::uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(controlFd_, &one, sizeof one);
}

void Server::AcceptLoop() {
    while (!stopping_) {
        bool listening;
        {
            std::lock_guard lock(mutex_);
            listening = !paused_;
        }
        // A negative descriptor is skipped by poll: while paused only the
        // stop and control signals are watched.
        pollfd fds[3] = {{wakePipe_[0], POLLIN, 0},
                         {controlFd_, POLLIN, 0},
                         {listening ? listenFd_ : -1, POLLIN, 0}};
        if (::poll(fds, 3, -1) < 0 && errno != EINTR) return;
        if (stopping_ || (fds[0].revents & POLLIN)) return;
        if (fds[1].revents & POLLIN) {
            std::uint64_t count;
            [[maybe_unused]] ssize_t n = ::read(controlFd_, &count, sizeof count);
        }
        if (fds[2].revents & POLLIN) AcceptOne();
    }
}

void Server::AcceptOne() {
    int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return;
    JoinFinishedClients();
    std::lock_guard lock(mutex_);
    Client& client = clients_.emplace_back();
    client.fd = fd;
    client.connection = ++connections_;
    client.thread = std::thread([this, &client] { Serve(client); });
}

// Joins the threads of connections that have ended, so that a long run with
// many short connections does not pile up finished threads.
void Server::JoinFinishedClients() {
    std::list<Client> finished;
    {
        std::lock_guard lock(mutex_);
        for (auto it = clients_.begin(); it != clients_.end();) {
            auto next = std::next(it);
            if (it->finished) finished.splice(finished.end(), clients_, it);
            it = next;
        }
    }
    for (Client& client : finished) client.thread.join();
}

// Answers requests one after the other on one connection until the peer
// closes, a reply closes, or the server stops.
void Server::Serve(Client& client) {
    std::string buffer;
    while (!stopping_ && ServeOne(client.fd, client.connection, buffer)) {
    }
    {
        std::lock_guard lock(mutex_);
        ::close(client.fd);
        client.fd = -1;
    }
    client.finished = true;
}

// Reads one whole request from `buffer` and the socket, records it, and carries
// out the handler's reply. Returns whether the connection stays open.
bool Server::ServeOne(int fd, int connection, std::string& buffer) {
    char chunk[65536];
    std::size_t headEnd;
    while ((headEnd = buffer.find("\r\n\r\n")) == std::string::npos) {
        ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0 || buffer.size() > kMaxHead) return false;
        buffer.append(chunk, static_cast<std::size_t>(n));
    }
    std::size_t bodyStart = headEnd + 4;
    std::string length = HeaderIn(std::string_view(buffer).substr(0, headEnd), "Content-Length");
    std::size_t bodySize = length.empty() ? 0 : std::strtoul(length.c_str(), nullptr, 10);
    while (buffer.size() < bodyStart + bodySize) {
        ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0) return false;
        buffer.append(chunk, static_cast<std::size_t>(n));
    }

    Request request;
    request.raw = buffer.substr(0, bodyStart + bodySize);
    request.body = buffer.substr(bodyStart, bodySize);
    request.connection = connection;
    std::string_view line = std::string_view(buffer).substr(0, buffer.find("\r\n"));
    std::size_t space1 = line.find(' ');
    std::size_t space2 = line.find(' ', space1 == std::string_view::npos ? 0 : space1 + 1);
    request.method = std::string(line.substr(0, space1));
    if (space1 != std::string_view::npos) {
        request.target = std::string(line.substr(space1 + 1, space2 - space1 - 1));
    }
    buffer.erase(0, bodyStart + bodySize);
    Record(request);

    Reply reply = handler_(request);
    if (reply.delayMs > 0) Pause(reply.delayMs);
    if (stopping_) return false;
    switch (reply.action) {
        case Reply::Action::Send:
            return WriteAll(fd, reply.bytes) && !reply.closeAfter;
        case Reply::Action::Close:
            return false;
        case Reply::Action::Hang:
            Hang(fd);
            return false;
    }
    return false;
}

// Waits, without answering, until the peer closes or the server stops; bytes
// the peer sends meanwhile are read and dropped.
void Server::Hang(int fd) {
    char chunk[4096];
    while (!stopping_) {
        pollfd fds[2] = {{wakePipe_[0], POLLIN, 0}, {fd, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR) return;
        if (fds[0].revents & POLLIN) return;
        if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) {
            if (::recv(fd, chunk, sizeof chunk, 0) <= 0) return;
        }
    }
}

// Sleeps for the given time, or less when the server stops.
void Server::Pause(int milliseconds) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!stopping_) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return;
        pollfd wait{wakePipe_[0], POLLIN, 0};
        ::poll(&wait, 1, static_cast<int>(left.count()) + 1);
    }
}

}  // namespace tralvex::loopback
