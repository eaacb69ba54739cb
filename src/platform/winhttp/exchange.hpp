#pragma once

// One exchange of the request object: the request as the object was told to
// make it, completed with the headers the object adds by itself, sent over the
// session, and redirects followed one by one.

#include <optional>
#include <string>
#include <vector>

#include "automation/hresult.hpp"
#include "platform/winhttp/curl_session.hpp"
#include "platform/winhttp/http_response.hpp"
#include "platform/winhttp/request_headers.hpp"

namespace tralvex::winhttp {

enum class ProxyMode { Environment, Direct, Named };

struct ProxySetting {
    ProxyMode mode = ProxyMode::Environment;
    // "host:port", or a list of "scheme=host:port" entries separated by ";"
    // or blanks; a plain entry serves both schemes.
    std::string server;
    // Host patterns with "*" wildcards, separated by ";", "," or blanks;
    // "<local>" stands for every host name without a dot.
    std::string bypass;
};

struct ExchangeRequest {
    std::string method;
    std::string url;  // absolute, as it goes on the wire
    RequestHeaders headers;
    std::optional<std::string> body;
    bool textBody = false;
    std::string userAgent;
    bool followRedirects = true;
    int maxRedirects = 10;
    bool httpsToHttpRedirects = false;
};

struct ExchangeResult {
    automation::HResult error = automation::kOk;
    Response response;
    std::string finalUrl;
    bool redirected = false;
};

// The header lines of one request, in the order they go out after the host.
std::vector<std::string> RequestHeaderLines(const ExchangeRequest& request, bool hasBody);

// The proxy for a request to `url`: unset for the environment's, empty for none.
std::optional<std::string> ProxyFor(const ProxySetting& setting, std::string_view url);

ExchangeResult RunExchange(CurlSession& session, const ExchangeRequest& request,
                           const TransferSettings& settings, const ProxySetting& proxy);

}  // namespace tralvex::winhttp
