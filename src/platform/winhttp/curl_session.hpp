#pragma once

// One HTTP exchange step on libcurl: a single request and its response, with
// no redirect followed. A session keeps one easy handle inside one multi
// handle, so the connection of one request is reused by the next one to the
// same server.
//
// The transfer is driven by our own loop around curl_multi_poll rather than by
// curl_easy_perform, for two reasons: the time-outs of the request object are
// per phase and per packet (curl only knows a connect time-out and a low-speed
// check in whole seconds), and Abort from another thread must end a transfer
// at once, which curl_multi_wakeup gives.

#include <curl/curl.h>

#include <atomic>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "automation/hresult.hpp"
#include "platform/winhttp/curl_library.hpp"
#include "platform/winhttp/http_response.hpp"

namespace tralvex::winhttp {

// Milliseconds; 0 means no limit. `resolve` limits the name lookup, counted
// from the start; `connect` the TCP connection and TLS handshake, from the
// first socket; `send` and `receive` how long the exchange may go without a
// single byte moving, while the body goes out and afterwards: they are idle
// time-outs per packet, not limits on the whole transfer.
struct Timeouts {
    int resolve = 0;
    int connect = 60000;
    int send = 30000;
    int receive = 30000;
};

struct Credentials {
    std::string user;
    std::string password;
};

struct TransferSettings {
    Timeouts timeouts;
    // Unset: the proxy the environment names (http_proxy, no_proxy...);
    // empty: no proxy; else "host:port" of an HTTP proxy.
    std::optional<std::string> proxy;
    std::optional<Credentials> serverCredentials;
    std::optional<Credentials> proxyCredentials;
    // A PEM file with the client certificate and its key; empty for none.
    std::string clientCertificate;
    bool http11 = true;
    // CURLOPT_SSLVERSION; unset when no TLS version is allowed at all.
    std::optional<long> tlsVersion;
    bool verifyPeer = true;
    bool verifyHost = true;
    std::size_t maxHeaderBytes = 64 * 1024;
    std::size_t maxBodyBytes = 256 * 1024 * 1024;
};

struct Hop {
    std::string method;
    std::string url;
    // Lines for the request, in order, as curl takes them: "Name: value",
    // or "Name:" to leave out a header curl would add by itself.
    std::vector<std::string> headerLines;
    // Sent with Content-Length when there; a request without it has no body.
    // Points into the request, which outlives the hop.
    const std::string* body = nullptr;
};

struct HopResult {
    automation::HResult error = automation::kOk;
    Response response;
    // The absolute target of a redirect response; empty when there is none.
    std::string redirectUrl;
};

class CurlSession {
  public:
    CurlSession();
    ~CurlSession();
    CurlSession(const CurlSession&) = delete;
    CurlSession& operator=(const CurlSession&) = delete;

    HopResult Perform(const Hop& hop, const TransferSettings& settings);

    // May be called from any thread: the transfer under way, and every one
    // started until ClearAbort, ends with kOperationCancelled.
    void Abort();
    void ClearAbort() { aborted_ = false; }

  private:
    // Null when libcurl could not be loaded: every transfer then fails.
    const CurlLibrary* curl_;
    CURL* easy_ = nullptr;
    CURLM* multi_ = nullptr;
    std::atomic<bool> aborted_{false};
};

}  // namespace tralvex::winhttp
