#include "loopback_server.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace tralvex::loopback {
namespace {

// A plain client socket connected to the server.
class Client {
  public:
    explicit Client(std::uint16_t port) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~Client() { ::close(fd_); }

    bool Connected() const { return connected_; }
    void Send(const std::string& bytes) {
        ASSERT_EQ(::send(fd_, bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
    }
    // Reads until `size` bytes arrived or the server closed.
    std::string Receive(std::size_t size) {
        std::string out;
        char chunk[4096];
        while (out.size() < size) {
            ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
            if (n <= 0) break;
            out.append(chunk, static_cast<std::size_t>(n));
        }
        return out;
    }

  private:
    int fd_;
    bool connected_ = false;
};

TEST(LoopbackServerTest, RecordsRawRequestsAndAnswersOnOneConnection) {
    Server server([](const Request& r) { return Reply::Http(200, "OK", "got " + r.target); });
    ASSERT_TRUE(server.Listening());
    Client client(server.Port());
    ASSERT_TRUE(client.Connected());
    const std::string first = "GET /a%20b HTTP/1.1\r\nHost: x\r\nX-Thing:  v\r\n\r\n";
    const std::string second = "POST /p HTTP/1.1\r\nContent-Length: 3\r\n\r\nabc";
    client.Send(first + second);
    const std::string answer1 = "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\ngot /a%20b";
    const std::string answer2 = "HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\ngot /p";
    EXPECT_EQ(client.Receive(answer1.size() + answer2.size()), answer1 + answer2);

    std::vector<Request> requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].raw, first);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].target, "/a%20b");
    EXPECT_EQ(requests[0].Header("x-thing"), "v");
    EXPECT_EQ(requests[1].body, "abc");
    EXPECT_EQ(requests[1].connection, requests[0].connection);
    EXPECT_EQ(server.Connections(), 1);
}

TEST(LoopbackServerTest, ClosesWithoutAnswerAndStopsWhileHanging) {
    Server server([](const Request& r) {
        return r.target == "/close" ? Reply::CloseWithoutAnswer() : Reply::NeverAnswer();
    });
    Client closing(server.Port());
    closing.Send("GET /close HTTP/1.1\r\n\r\n");
    EXPECT_EQ(closing.Receive(1), "");

    Client hanging(server.Port());
    hanging.Send("GET /hang HTTP/1.1\r\n\r\n");
    // Leaving the scope stops the server although a reply is still owed.
}

TEST(LoopbackServerTest, ABusyPortIsReported) {
    Server first([](const Request&) { return Reply::CloseWithoutAnswer(); });
    Server second([](const Request&) { return Reply::CloseWithoutAnswer(); }, first.Port());
    EXPECT_FALSE(second.Listening());
}

}  // namespace
}  // namespace tralvex::loopback
