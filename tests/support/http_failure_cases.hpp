#pragma once

// Servers on loopback that fail an HTTP exchange in different ways, each with
// the code the request object raises for it, for the tests of the request
// object and of the class above it.

#include <string>
#include <vector>

#include "automation/hresult.hpp"
#include "loopback_server.hpp"
#include "platform/winhttp/winhttp_errors.hpp"

namespace tralvex::testing {

struct HttpFailureCase {
    std::string name;
    loopback::Handler handler;
    automation::HResult expected;
};

// Time-outs short enough for the hanging server, given to SetTimeouts.
constexpr int kShortTimeoutMs = 300;

inline loopback::Reply RawReply(std::string bytes) {
    return {loopback::Reply::Action::Send, std::move(bytes), true, 0};
}

inline std::vector<HttpFailureCase> HttpFailureCases() {
    using loopback::Reply;
    using loopback::Request;
    std::string manyLines;
    for (int i = 0; i < 1000; ++i) {
        manyLines += "X-Line-" + std::to_string(i) + ": " + std::string(70, 'v') + "\r\n";
    }
    const std::string bigLine = "X-Big: " + std::string(1024 * 1024, 'a') + "\r\n";
    return {
        {"never answers", [](const Request&) { return Reply::NeverAnswer(); }, winhttp::kTimeout},
        {"closes without answer", [](const Request&) { return Reply::CloseWithoutAnswer(); },
         winhttp::kConnectionError},
        {"answers garbage",
         [](const Request&) { return RawReply("SSH-2.0-OpenSSH_9.2\r\nnot http\r\n\r\n"); },
         winhttp::kInvalidServerResponse},
        {"cuts the body",
         [](const Request&) {
             return RawReply("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nonly part");
         },
         winhttp::kConnectionError},
        {"sends a 1 MB header line",
         [bigLine](const Request&) { return RawReply("HTTP/1.1 200 OK\r\n" + bigLine + "\r\n"); },
         winhttp::kHeaderSizeOverflow},
        {"sends 85 KB of header lines",
         [manyLines](const Request&) {
             return RawReply("HTTP/1.1 200 OK\r\n" + manyLines + "\r\n");
         },
         winhttp::kHeaderSizeOverflow},
    };
}

// A port on 127.0.0.1 that nothing listens on (it did a moment ago).
inline std::uint16_t ClosedPort() {
    loopback::Server server([](const loopback::Request&) { return loopback::Reply{}; });
    return server.Port();
}

}  // namespace tralvex::testing
