#include "loopback_server.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

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
    EXPECT_EQ(second.ListenError(), EADDRINUSE);
}

// Connects and tells whether the connection was refused.
bool Refused(std::uint16_t port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    bool refused = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 &&
                   errno == ECONNREFUSED;
    ::close(fd);
    return refused;
}

std::uint16_t FreePort() {
    Server probe([](const Request&) { return Reply::CloseWithoutAnswer(); });
    return probe.Port();
}

// A server bound to port 0 loses its port when it stops listening and one bound
// to an explicit port keeps it; both must come back on the same port.
class PauseTest : public ::testing::TestWithParam<bool> {};

TEST_P(PauseTest, RefusesWhilePausedAndServesOnTheSamePortAfterwards) {
    Server server([](const Request&) { return Reply::Http(200, "OK", "up"); },
                  GetParam() ? FreePort() : 0);
    ASSERT_TRUE(server.Listening());
    const std::uint16_t port = server.Port();
    const std::string answer = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nup";
    Client open(port);
    open.Send("GET /before HTTP/1.1\r\n\r\n");
    ASSERT_EQ(open.Receive(answer.size()), answer);

    server.PauseListening();
    EXPECT_TRUE(Refused(port));
    // A connection accepted before the pause is still served.
    open.Send("GET /during HTTP/1.1\r\n\r\n");
    EXPECT_EQ(open.Receive(answer.size()), answer);

    ASSERT_TRUE(server.ResumeListening());
    EXPECT_EQ(server.Port(), port);
    Client again(port);
    ASSERT_TRUE(again.Connected());
    again.Send("GET /b HTTP/1.1\r\n\r\n");
    EXPECT_EQ(again.Receive(answer.size()), answer);
}

INSTANTIATE_TEST_SUITE_P(PortZeroAndExplicit, PauseTest, ::testing::Bool());

TEST(LoopbackServerTest, DropConnectionsCutsAllButTheOneKept) {
    Server server([](const Request&) { return Reply::Http(200, "OK", "x"); });
    Client kept(server.Port());
    kept.Send("GET /kept HTTP/1.1\r\n\r\n");
    const std::string answer = "HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nx";
    ASSERT_EQ(kept.Receive(answer.size()), answer);
    Client cut(server.Port());
    cut.Send("GET /cut HTTP/1.1\r\n\r\n");
    ASSERT_EQ(cut.Receive(answer.size()), answer);

    server.DropConnections(server.Requests().front().connection);
    EXPECT_EQ(cut.Receive(1), "");
    kept.Send("GET /still HTTP/1.1\r\n\r\n");
    EXPECT_EQ(kept.Receive(answer.size()), answer);
}

TEST(LoopbackServerTest, KeepsNoRequestsWhenAskedNotTo) {
    Server server([](const Request&) { return Reply::Http(204, "No Content", ""); }, 0, false);
    Client client(server.Port());
    client.Send("GET / HTTP/1.1\r\n\r\n");
    const std::string answer = "HTTP/1.1 204 No Content\r\nContent-Length: 0\r\n\r\n";
    EXPECT_EQ(client.Receive(answer.size()), answer);
    EXPECT_TRUE(server.Requests().empty());
}

TEST(LoopbackServerTest, ServesManyShortConnectionsOneAfterTheOther) {
    // Each connection ends after its reply, so the server joins a finished
    // connection's thread whenever it accepts the next one.
    Server server([](const Request&) {
        Reply reply = Reply::Http(200, "OK", "y", {"Connection: close"});
        reply.closeAfter = true;
        return reply;
    });
    const std::string answer = "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 1\r\n\r\ny";
    for (int i = 0; i < 200; ++i) {
        Client client(server.Port());
        client.Send("GET / HTTP/1.1\r\n\r\n");
        ASSERT_EQ(client.Receive(answer.size() + 1), answer) << "connection " << i;
    }
    EXPECT_EQ(server.Connections(), 200);
}

}  // namespace
}  // namespace tralvex::loopback
