#include "loopback_server.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>

namespace tralvex::loopback {
namespace {

constexpr std::size_t kMaxHead = 8 * 1024 * 1024;

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

Server::Server(Handler handler, std::uint16_t port) : handler_(std::move(handler)) {
    if (::pipe(wakePipe_) != 0) return;
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int yes = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 64) != 0) {
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
        for (int fd : clientFds_) ::shutdown(fd, SHUT_RDWR);
    }
    for (std::thread& client : clients_) client.join();
    if (listenFd_ >= 0) ::close(listenFd_);
    for (int fd : wakePipe_) {
        if (fd >= 0) ::close(fd);
    }
}

std::vector<Request> Server::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

void Server::Record(const Request& request) {
    std::lock_guard lock(mutex_);
    requests_.push_back(request);
}

void Server::AcceptLoop() {
    pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
    while (!stopping_) {
        if (::poll(fds, 2, -1) < 0 && errno != EINTR) return;
        if (stopping_ || (fds[1].revents & POLLIN)) return;
        if (!(fds[0].revents & POLLIN)) continue;
        int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        int connection = ++connections_;
        std::lock_guard lock(mutex_);
        clientFds_.push_back(fd);
        clients_.emplace_back([this, fd, connection] { Serve(fd, connection); });
    }
}

// Reads requests one after the other from one connection and answers each,
// until the peer closes, a reply closes, or the server stops.
void Server::Serve(int fd, int connection) {
    std::string buffer;
    char chunk[65536];
    bool open = true;
    while (open && !stopping_) {
        std::size_t headEnd;
        while ((headEnd = buffer.find("\r\n\r\n")) == std::string::npos) {
            ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
            if (n <= 0 || buffer.size() > kMaxHead) {
                open = false;
                break;
            }
            buffer.append(chunk, static_cast<std::size_t>(n));
        }
        if (!open) break;
        std::size_t bodyStart = headEnd + 4;
        std::string length =
            HeaderIn(std::string_view(buffer).substr(0, headEnd), "Content-Length");
        std::size_t bodySize = length.empty() ? 0 : std::strtoul(length.c_str(), nullptr, 10);
        while (buffer.size() < bodyStart + bodySize) {
            ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
            if (n <= 0) {
                open = false;
                break;
            }
            buffer.append(chunk, static_cast<std::size_t>(n));
        }
        if (!open) break;

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
        if (reply.delayMs > 0) {
            pollfd wait{wakePipe_[0], POLLIN, 0};
            ::poll(&wait, 1, reply.delayMs);
        }
        switch (reply.action) {
            case Reply::Action::Send:
                open = WriteAll(fd, reply.bytes) && !reply.closeAfter;
                break;
            case Reply::Action::Close:
                open = false;
                break;
            case Reply::Action::Hang: {
                pollfd wait{wakePipe_[0], POLLIN, 0};
                ::poll(&wait, 1, -1);
                open = false;
                break;
            }
        }
    }
    std::lock_guard lock(mutex_);
    clientFds_.erase(std::remove(clientFds_.begin(), clientFds_.end(), fd), clientFds_.end());
    ::close(fd);
}

}  // namespace tralvex::loopback
