#include "platform/winhttp/exchange.hpp"

#include "platform/winhttp/request_url.hpp"
#include "platform/winhttp/winhttp_errors.hpp"
#include "text/text.hpp"

namespace tralvex::winhttp {
namespace {

constexpr std::string_view kSeparators = "; ,\t";

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// Splits a list on any of the separators, dropping empty entries.
std::vector<std::string_view> SplitList(std::string_view list) {
    std::vector<std::string_view> items;
    std::size_t pos = 0;
    while (pos < list.size()) {
        std::size_t end = list.find_first_of(kSeparators, pos);
        if (end == std::string_view::npos) end = list.size();
        if (end > pos) items.push_back(list.substr(pos, end - pos));
        pos = end + 1;
    }
    return items;
}

// The host of an absolute URL, without user information and port.
std::string HostOf(std::string_view url) {
    std::string origin = OriginOf(url);
    std::string_view authority = origin;
    std::size_t schemeEnd = authority.find("://");
    if (schemeEnd != std::string_view::npos) authority.remove_prefix(schemeEnd + 3);
    std::size_t at = authority.rfind('@');
    if (at != std::string_view::npos) authority.remove_prefix(at + 1);
    if (!authority.empty() && authority.front() == '[') {
        return std::string(authority.substr(0, authority.find(']') + 1));
    }
    return std::string(authority.substr(0, authority.find(':')));
}

// "*" matches any run of characters; the host is already in lower case.
bool MatchesPattern(std::string_view host, std::string_view pattern) {
    std::size_t h = 0, p = 0, starP = std::string_view::npos, starH = 0;
    while (h < host.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starH = h;
        } else if (p < pattern.size() && pattern[p] == host[h]) {
            ++p;
            ++h;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            h = ++starH;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

bool Bypassed(std::string_view host, std::string_view bypass) {
    for (std::string_view entry : SplitList(bypass)) {
        std::string pattern = ToLowerAscii(entry);
        if (pattern == "<local>" ? host.find('.') == std::string_view::npos
                                 : MatchesPattern(host, pattern)) {
            return true;
        }
    }
    return false;
}

// The server for this scheme from a list such as "http=a:80;https=b:443" or
// a plain "a:80".
std::string ServerFor(std::string_view servers, bool secure) {
    std::string_view schemePrefix = secure ? "https=" : "http=";
    for (std::string_view entry : SplitList(servers)) {
        std::size_t equals = entry.find('=');
        if (equals == std::string_view::npos) return std::string(entry);
        if (ToLowerAscii(entry.substr(0, equals + 1)) == schemePrefix) {
            return std::string(entry.substr(equals + 1));
        }
    }
    return {};
}

bool IsFollowedRedirect(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool IsHttpUrl(std::string_view url) {
    std::string lower = ToLowerAscii(url.substr(0, 8));
    return StartsWith(lower, "http://") || StartsWith(lower, "https://");
}

bool DowngradesToHttp(std::string_view from, std::string_view to) {
    return StartsWith(ToLowerAscii(from.substr(0, 6)), "https:") &&
           StartsWith(ToLowerAscii(to.substr(0, 5)), "http:");
}

// A 303 is answered with a GET, and so is a 301 or 302 to a POST; 307 and
// 308 keep the method and the body.
void AdaptMethodToRedirect(int status, std::string& method, const std::string*& body) {
    bool toGet = (status == 303 && !SameHeaderName(method, "HEAD")) ||
                 ((status == 301 || status == 302) && SameHeaderName(method, "POST"));
    if (toGet) {
        method = "GET";
        body = nullptr;
    }
}

}  // namespace

std::vector<std::string> RequestHeaderLines(const ExchangeRequest& request, bool hasBody) {
    const RequestHeaders& headers = request.headers;
    std::vector<std::string> lines;
    if (!headers.Has("Connection")) lines.push_back("Connection: Keep-Alive");
    if (!headers.Has("Accept")) lines.push_back("Accept: */*");
    if (!headers.Has("User-Agent") && !request.userAgent.empty()) {
        lines.push_back("User-Agent: " + request.userAgent);
    }
    for (const Header& header : headers.Items()) {
        // The framing of the body is the object's alone.
        if (SameHeaderName(header.name, "Content-Length") ||
            SameHeaderName(header.name, "Transfer-Encoding")) {
            continue;
        }
        lines.push_back(header.name + ": " + header.value);
    }
    if (hasBody && !headers.Has("Content-Type")) {
        lines.push_back(request.textBody ? "Content-Type: text/plain; Charset=UTF-8"
                                         : "Content-Type:");
    }
    if (!headers.Has("Expect")) lines.push_back("Expect:");
    return lines;
}

std::optional<std::string> ProxyFor(const ProxySetting& setting, std::string_view url) {
    switch (setting.mode) {
        case ProxyMode::Environment:
            return std::nullopt;
        case ProxyMode::Direct:
            return std::string();
        case ProxyMode::Named:
            if (Bypassed(HostOf(url), setting.bypass)) return std::string();
            return ServerFor(setting.server, StartsWith(ToLowerAscii(url.substr(0, 6)), "https:"));
    }
    return std::nullopt;
}

ExchangeResult RunExchange(CurlSession& session, const ExchangeRequest& request,
                           const TransferSettings& settings, const ProxySetting& proxy) {
    ExchangeResult result;
    std::string method = request.method;
    std::string url = request.url;
    const std::string* body = request.body ? &*request.body : nullptr;
    for (int redirects = 0;; ++redirects) {
        TransferSettings hopSettings = settings;
        hopSettings.proxy = ProxyFor(proxy, url);
        // Server credentials go to the server they were given for only.
        if (redirects > 0 && OriginOf(url) != OriginOf(request.url)) {
            hopSettings.serverCredentials.reset();
        }
        Hop hop{method, url, RequestHeaderLines(request, body != nullptr), body};
        HopResult hopResult = session.Perform(hop, hopSettings);
        if (hopResult.error != automation::kOk) {
            result.error = hopResult.error;
            return result;
        }
        int status = hopResult.response.status;
        std::string next = EscapeUnsafeBytes(hopResult.redirectUrl, false);
        bool follow = request.followRedirects && IsFollowedRedirect(status) && !next.empty() &&
                      (request.httpsToHttpRedirects || !DowngradesToHttp(url, next));
        if (!follow) {
            result.response = std::move(hopResult.response);
            result.finalUrl = url;
            result.redirected = redirects > 0;
            return result;
        }
        if (!IsHttpUrl(next) || redirects >= request.maxRedirects) {
            result.error = kRedirectFailed;
            return result;
        }
        AdaptMethodToRedirect(status, method, body);
        url = std::move(next);
    }
}

}  // namespace tralvex::winhttp
