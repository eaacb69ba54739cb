#pragma once

// A listening socket on 127.0.0.1 that never accepts. With room in its queue a
// client connects but nothing it sends is ever read, so a large upload stalls
// once the socket buffers are full; with its queue filled, a further client
// cannot even connect, as the kernel drops its SYN.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>

namespace tralvex::testing {

class StalledListener {
  public:
    enum class Mode { AcceptsConnections, RefusesToConnect };

    explicit StalledListener(Mode mode) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address = Loopback(0);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(fd_, mode == Mode::RefusesToConnect ? 0 : 8);
        socklen_t length = sizeof address;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        if (mode == Mode::RefusesToConnect) {
            // This connection takes the only place in the queue.
            filler_ = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in target = Loopback(port_);
            ::connect(filler_, reinterpret_cast<sockaddr*>(&target), sizeof target);
        }
    }
    ~StalledListener() {
        if (filler_ >= 0) ::close(filler_);
        ::close(fd_);
    }
    StalledListener(const StalledListener&) = delete;
    StalledListener& operator=(const StalledListener&) = delete;

    std::uint16_t Port() const { return port_; }

  private:
    static sockaddr_in Loopback(std::uint16_t port) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        return address;
    }

    int fd_;
    int filler_ = -1;
    std::uint16_t port_ = 0;
};

}  // namespace tralvex::testing
