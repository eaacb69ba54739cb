#include "test_client.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <regex>

namespace tralvex::routersim::testing {
namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) return false;
    }
    return true;
}

// Splits a complete response off the front of `bytes`, if there is one.
bool TakeResponse(std::string& bytes, Response& response) {
    std::size_t headEnd = bytes.find("\r\n\r\n");
    if (headEnd == std::string::npos) return false;
    response.head = bytes.substr(0, headEnd);
    std::string length = response.Header("Content-Length");
    if (length.empty()) return false;
    std::size_t size = std::strtoul(length.c_str(), nullptr, 10);
    if (bytes.size() < headEnd + 4 + size) return false;
    response.body = bytes.substr(headEnd + 4, size);
    response.bytes = bytes.substr(0, headEnd + 4 + size);
    bytes.erase(0, headEnd + 4 + size);
    response.complete = true;
    if (response.head.rfind("HTTP/1.1 ", 0) == 0) {
        response.status = std::atoi(response.head.c_str() + 9);
    }
    return true;
}

}  // namespace

std::string Response::Header(std::string_view name) const {
    std::size_t pos = head.find("\r\n");
    while (pos != std::string::npos) {
        std::size_t start = pos + 2;
        std::size_t end = head.find("\r\n", start);
        std::string_view line =
            std::string_view(head).substr(start, end == std::string::npos ? end : end - start);
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

Connection::Connection(std::uint16_t port) : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (!connected_) connectError_ = errno;
}

Connection::~Connection() { ::close(fd_); }

bool Connection::Send(std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

Response Connection::Receive(std::chrono::milliseconds wait) {
    Response response;
    auto deadline = std::chrono::steady_clock::now() + wait;
    char chunk[65536];
    while (!TakeResponse(pending_, response)) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd ready{fd_, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&ready, 1, static_cast<int>(left.count())) <= 0) {
            response.bytes = pending_;
            return response;
        }
        ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
        if (n <= 0) {
            response.bytes = pending_;
            response.closed = true;
            return response;
        }
        pending_.append(chunk, static_cast<std::size_t>(n));
    }
    return response;
}

std::string RequestBytes(std::string_view target, std::optional<std::string_view> cookie,
                         std::uint16_t port) {
    std::string bytes = "GET " + std::string(target) + " HTTP/1.1\r\n";
    bytes += "Host: 127.0.0.1:" + std::to_string(port) + "\r\n";
    if (cookie) bytes += "Cookie: " + std::string(*cookie) + "\r\n";
    bytes += "Accept: */*\r\nAccept-Language: zh-cn\r\n";
    bytes += "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)\r\n\r\n";
    return bytes;
}

Response Get(std::uint16_t port, std::string_view target, std::optional<std::string_view> cookie) {
    Connection connection(port);
    if (!connection.Connected() || !connection.Send(RequestBytes(target, cookie, port))) return {};
    return connection.Receive();
}

std::vector<std::string> Quads(const std::string& page) {
    static const std::regex pattern(R"(\d+\.\d+\.\d+\.\d+)");
    std::vector<std::string> quads;
    for (auto it = std::sregex_iterator(page.begin(), page.end(), pattern);
         it != std::sregex_iterator(); ++it) {
        quads.push_back(it->str());
    }
    return quads;
}

std::string FourthQuad(const std::string& page) {
    std::vector<std::string> quads = Quads(page);
    return quads.size() >= 4 ? quads[3] : "";
}

}  // namespace tralvex::routersim::testing
