#include "platform/winhttp/curl_session.hpp"

#include <algorithm>
#include <chrono>
#include <climits>

#include "platform/winhttp/request_headers.hpp"
#include "platform/winhttp/winhttp_errors.hpp"

namespace tralvex::winhttp {
namespace {

using Clock = std::chrono::steady_clock;
using automation::HResult;

// The phases the time-outs are measured in: the name lookup from the start,
// connecting (and the TLS handshake) from the first socket, and the exchange
// itself from the last byte that moved.
enum class Phase { Resolving, Connecting, Exchanging };

// What the callbacks of one transfer see and record.
struct Progress {
    Phase phase = Phase::Resolving;
    Clock::time_point phaseStart = Clock::now();
    Clock::time_point lastActivity = phaseStart;
    curl_off_t uploaded = 0;

    Response response;
    Bytes body;
    std::size_t headerBytes = 0;
    bool headersEnded = false;
    bool bodyStarted = false;
    bool headerOverflow = false;
    bool bodyOverflow = false;
    std::size_t maxHeaderBytes = 0;
    std::size_t maxBodyBytes = 0;

    void Enter(Phase next) {
        phase = next;
        phaseStart = lastActivity = Clock::now();
    }
};

std::string_view WithoutLineEnd(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    return line;
}

// Every response of the transfer (an interim 100, a 401 answered with
// credentials, the final one) starts with its status line; only the last
// response's headers are kept. Lines after the blank line are trailers.
std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* context) {
    auto& progress = *static_cast<Progress*>(context);
    std::size_t length = size * count;
    std::string_view line = WithoutLineEnd(std::string_view(data, length));
    progress.lastActivity = Clock::now();
    Response& response = progress.response;
    if (ParseStatusLine(line, response.status, response.reason)) {
        response.headerLines.clear();
        progress.body.clear();
        progress.headerBytes = length;
        progress.headersEnded = false;
        return length;
    }
    if (line.empty()) {
        progress.headersEnded = true;
        return length;
    }
    if (progress.headersEnded) return length;
    progress.headerBytes += length;
    if (progress.headerBytes > progress.maxHeaderBytes) {
        progress.headerOverflow = true;
        return 0;
    }
    response.headerLines.emplace_back(line);
    return length;
}

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* context) {
    auto& progress = *static_cast<Progress*>(context);
    std::size_t length = size * count;
    progress.lastActivity = Clock::now();
    progress.bodyStarted = true;
    if (progress.body.size() + length > progress.maxBodyBytes) {
        progress.bodyOverflow = true;
        return 0;
    }
    progress.body.insert(progress.body.end(), data, data + length);
    return length;
}

// Called for each new socket, after the name lookup.
int OnSocket(void* context, curl_socket_t, curlsocktype) {
    auto& progress = *static_cast<Progress*>(context);
    if (progress.phase != Phase::Connecting) progress.Enter(Phase::Connecting);
    return CURL_SOCKOPT_OK;
}

// Called once a connection is made or reused, before the request goes out.
int OnConnected(void* context, char*, char*, int, int) {
    static_cast<Progress*>(context)->Enter(Phase::Exchanging);
    return CURL_PREREQFUNC_OK;
}

constexpr long kNoLimitMs = INT_MAX;

void SetMethodAndBody(const CurlLibrary& curl, CURL* easy, const Hop& hop) {
    bool head = SameHeaderName(hop.method, "HEAD");
    if (head) {
        curl.easySetopt(easy, CURLOPT_NOBODY, 1L);
    } else if (hop.body) {
        curl.easySetopt(easy, CURLOPT_POSTFIELDSIZE_LARGE,
                        static_cast<curl_off_t>(hop.body->size()));
        curl.easySetopt(easy, CURLOPT_POSTFIELDS, hop.body->data());
    } else {
        curl.easySetopt(easy, CURLOPT_HTTPGET, 1L);
    }
    // curl keeps a custom method on every request it makes for this transfer,
    // which is what we want: redirects are followed by the caller, one by one.
    bool curlsOwn = hop.method == (head ? "HEAD" : hop.body ? "POST" : "GET");
    if (!curlsOwn) curl.easySetopt(easy, CURLOPT_CUSTOMREQUEST, hop.method.c_str());
}

void SetConnection(const CurlLibrary& curl, CURL* easy, const TransferSettings& settings) {
    if (settings.proxy) {
        curl.easySetopt(easy, CURLOPT_PROXY, settings.proxy->c_str());
        curl.easySetopt(easy, CURLOPT_NOPROXY, "");
        curl.easySetopt(easy, CURLOPT_PROXYTYPE, static_cast<long>(CURLPROXY_HTTP));
    }
    if (settings.serverCredentials) {
        curl.easySetopt(easy, CURLOPT_USERNAME, settings.serverCredentials->user.c_str());
        curl.easySetopt(easy, CURLOPT_PASSWORD, settings.serverCredentials->password.c_str());
        curl.easySetopt(easy, CURLOPT_HTTPAUTH, CURLAUTH_ANY);
    }
    if (settings.proxyCredentials) {
        curl.easySetopt(easy, CURLOPT_PROXYUSERNAME, settings.proxyCredentials->user.c_str());
        curl.easySetopt(easy, CURLOPT_PROXYPASSWORD, settings.proxyCredentials->password.c_str());
        curl.easySetopt(easy, CURLOPT_PROXYAUTH, CURLAUTH_ANY);
    }
    if (!settings.clientCertificate.empty()) {
        curl.easySetopt(easy, CURLOPT_SSLCERT, settings.clientCertificate.c_str());
        curl.easySetopt(easy, CURLOPT_SSLKEY, settings.clientCertificate.c_str());
        curl.easySetopt(easy, CURLOPT_SSLCERTTYPE, "PEM");
    }
    if (settings.tlsVersion) curl.easySetopt(easy, CURLOPT_SSLVERSION, *settings.tlsVersion);
    curl.easySetopt(easy, CURLOPT_SSL_VERIFYPEER, settings.verifyPeer ? 1L : 0L);
    curl.easySetopt(easy, CURLOPT_SSL_VERIFYHOST, settings.verifyHost ? 2L : 0L);
    curl.easySetopt(easy, CURLOPT_HTTP_VERSION,
                    settings.http11 ? CURL_HTTP_VERSION_1_1 : CURL_HTTP_VERSION_1_0);
}

void Configure(const CurlLibrary& curl, CURL* easy, const Hop& hop,
               const TransferSettings& settings, curl_slist* headers, Progress& progress) {
    curl.easySetopt(easy, CURLOPT_URL, hop.url.c_str());
    curl.easySetopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl.easySetopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl.easySetopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl.easySetopt(easy, CURLOPT_HTTP09_ALLOWED, 0L);
    curl.easySetopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    // Our own loop enforces the connect time-out; curl would otherwise apply
    // its default of 300 seconds.
    curl.easySetopt(easy, CURLOPT_CONNECTTIMEOUT_MS, kNoLimitMs);
    curl.easySetopt(easy, CURLOPT_HTTPHEADER, headers);
    SetMethodAndBody(curl, easy, hop);
    SetConnection(curl, easy, settings);
    curl.easySetopt(easy, CURLOPT_HEADERFUNCTION, OnHeader);
    curl.easySetopt(easy, CURLOPT_HEADERDATA, &progress);
    curl.easySetopt(easy, CURLOPT_WRITEFUNCTION, OnBody);
    curl.easySetopt(easy, CURLOPT_WRITEDATA, &progress);
    curl.easySetopt(easy, CURLOPT_SOCKOPTFUNCTION, OnSocket);
    curl.easySetopt(easy, CURLOPT_SOCKOPTDATA, &progress);
    curl.easySetopt(easy, CURLOPT_PREREQFUNCTION, OnConnected);
    curl.easySetopt(easy, CURLOPT_PREREQDATA, &progress);
}

Clock::time_point After(Clock::time_point start, int limitMs) {
    return limitMs > 0 ? start + std::chrono::milliseconds(limitMs) : Clock::time_point::max();
}

// The moment the current phase has waited too long. While the body still
// goes out the send time-out counts, afterwards the receive time-out.
Clock::time_point Deadline(const Progress& progress, const Timeouts& timeouts, bool sending) {
    switch (progress.phase) {
        case Phase::Resolving:
            return After(progress.phaseStart, timeouts.resolve);
        case Phase::Connecting:
            return After(progress.phaseStart, timeouts.connect);
        case Phase::Exchanging:
            return After(progress.lastActivity, sending ? timeouts.send : timeouts.receive);
    }
    return Clock::time_point::max();
}

HResult MapCurlCode(CURLcode code, const Progress& progress) {
    if (progress.headerOverflow) return kHeaderSizeOverflow;
    if (progress.bodyOverflow) return automation::kOutOfMemory;
    switch (code) {
        case CURLE_OK:
            return automation::kOk;
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return kNameNotResolved;
        case CURLE_COULDNT_CONNECT:
            return kCannotConnect;
        case CURLE_OPERATION_TIMEDOUT:
            return kTimeout;
        case CURLE_URL_MALFORMAT:
            return kInvalidUrl;
        case CURLE_UNSUPPORTED_PROTOCOL:  // also what a reply without a status line gives
        case CURLE_WEIRD_SERVER_REPLY:
        case CURLE_BAD_CONTENT_ENCODING:
        case CURLE_HTTP2:
        case CURLE_HTTP2_STREAM:
            return kInvalidServerResponse;
        case CURLE_GOT_NOTHING:
        case CURLE_SEND_ERROR:
        case CURLE_RECV_ERROR:
        case CURLE_PARTIAL_FILE:
            return kConnectionError;
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_CRL_BADFILE:
            return kSecureFailure;
        case CURLE_OUT_OF_MEMORY:
            // curl refuses a header line of more than 100 KB this way.
            return progress.phase == Phase::Exchanging && !progress.bodyStarted
                       ? kHeaderSizeOverflow
                       : automation::kOutOfMemory;
        default:
            return kInternalError;
    }
}

class HeaderList {
  public:
    HeaderList(const CurlLibrary& curl, const std::vector<std::string>& lines) : curl_(curl) {
        for (const std::string& line : lines) list_ = curl.slistAppend(list_, line.c_str());
    }
    ~HeaderList() { curl_.slistFreeAll(list_); }
    HeaderList(const HeaderList&) = delete;
    HeaderList& operator=(const HeaderList&) = delete;
    curl_slist* Get() const { return list_; }

  private:
    const CurlLibrary& curl_;
    curl_slist* list_ = nullptr;
};

}  // namespace

CurlSession::CurlSession() : curl_(LoadCurlLibrary()) {
    if (!curl_) return;
    easy_ = curl_->easyInit();
    multi_ = curl_->multiInit();
}

CurlSession::~CurlSession() {
    if (easy_) curl_->easyCleanup(easy_);
    if (multi_) curl_->multiCleanup(multi_);
}

void CurlSession::Abort() {
    aborted_ = true;
    if (multi_) curl_->multiWakeup(multi_);
}

HopResult CurlSession::Perform(const Hop& hop, const TransferSettings& settings) {
    HopResult result;
    if (!easy_ || !multi_) {
        result.error = kInternalError;
        return result;
    }
    const CurlLibrary& curl = *curl_;
    if (hop.url.rfind("https:", 0) == 0 && !settings.tlsVersion) {
        result.error = kSecureFailure;
        return result;
    }
    curl.easyReset(easy_);
    Progress progress;
    progress.maxHeaderBytes = settings.maxHeaderBytes;
    progress.maxBodyBytes = settings.maxBodyBytes;
    HeaderList headers(curl, hop.headerLines);
    Configure(curl, easy_, hop, settings, headers.Get(), progress);

    curl.multiAddHandle(multi_, easy_);
    result.error = automation::kOk;
    for (;;) {
        int running = 0;
        if (curl.multiPerform(multi_, &running) != CURLM_OK) {
            result.error = kInternalError;
            break;
        }
        if (!running) {
            int left = 0;
            CURLMsg* message = curl.multiInfoRead(multi_, &left);
            CURLcode code =
                message && message->msg == CURLMSG_DONE ? message->data.result : CURLE_RECV_ERROR;
            result.error = MapCurlCode(code, progress);
            break;
        }
        if (aborted_) {
            result.error = kOperationCancelled;
            break;
        }
        curl_off_t uploaded = 0;
        curl.easyGetinfo(easy_, CURLINFO_SIZE_UPLOAD_T, &uploaded);
        Clock::time_point now = Clock::now();
        if (uploaded != progress.uploaded) {
            progress.uploaded = uploaded;
            progress.lastActivity = now;
        }
        bool sending = hop.body && static_cast<std::size_t>(uploaded) < hop.body->size();
        Clock::time_point deadline = Deadline(progress, settings.timeouts, sending);
        if (now >= deadline) {
            result.error = kTimeout;
            break;
        }
        auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
        int waitMs =
            static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(wait.count() + 1, 1, 1000));
        curl.multiPoll(multi_, nullptr, 0, waitMs, nullptr);
    }
    curl.multiRemoveHandle(multi_, easy_);

    if (result.error == automation::kOk) {
        char* location = nullptr;
        curl.easyGetinfo(easy_, CURLINFO_REDIRECT_URL, &location);
        if (location) result.redirectUrl = location;
        result.response = std::move(progress.response);
        result.response.body = std::make_shared<const Bytes>(std::move(progress.body));
    }
    return result;
}

}  // namespace tralvex::winhttp
