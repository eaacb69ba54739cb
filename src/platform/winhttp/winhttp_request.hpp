#pragma once

// Our HTTP request object, registered as "WinHttp.WinHttpRequest.5.1": the
// members, states, defaults and error codes of the platform's request object,
// on libcurl. One object is one session: its requests reuse one connection.
//
// States: created -> opened (Open) -> sending -> received. A Send that fails
// leaves the request opened, as if it had not been sent: the response readers
// then fail with "cannot call before Send" and Send may be tried again.
//
// Like the platform's object it lives in one thread's apartment: its members
// are called from the thread that owns it. An asynchronous Send runs the
// transfer on a worker thread that the object owns and joins.

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>

#include "automation/dispatch.hpp"
#include "platform/winhttp/curl_session.hpp"
#include "platform/winhttp/exchange.hpp"
#include "platform/winhttp/http_response.hpp"
#include "platform/winhttp/request_headers.hpp"
#include "platform/winhttp/request_url.hpp"

namespace tralvex::winhttp {

// The values of the "Option" property, by index.
struct RequestOptions {
    std::u16string userAgent = u"Mozilla/4.0 (compatible; Win32; WinHttp.WinHttpRequest.5)";  // 0
    std::int32_t urlCodePage = 65001;                                                         // 2
    bool escapePercentInUrl = false;                                                          // 3
    std::int32_t sslErrorIgnoreFlags = 0;                                                     // 4
    bool enableRedirects = true;                                                              // 6
    bool urlEscapeDisable = false;                                                            // 7
    bool urlEscapeDisableQuery = false;                                                       // 8
    std::int32_t secureProtocols = 0x2A80;    // TLS 1.0, 1.1, 1.2, 1.3                            9
    bool enableTracing = false;               // 10
    bool revertImpersonationOverSsl = true;   // 11
    bool enableHttpsToHttpRedirects = false;  // 12
    bool enablePassportAuthentication = false;        // 13
    std::int32_t maxAutomaticRedirects = 10;          // 14
    std::int32_t maxResponseHeaderSize = 64 * 1024;   // 15
    std::int32_t maxResponseDrainSize = 1024 * 1024;  // 16
    bool enableHttp11 = true;                         // 17
    bool enableCertificateRevocationCheck = false;    // 18
};

class WinHttpRequest : public automation::Dispatch {
  public:
    using Args = std::span<const automation::Variant>;
    using Outcome = automation::InvokeOutcome;

    WinHttpRequest();
    ~WinHttpRequest() override;

    const automation::TypeInfo* GetTypeInfo() const override;
    Outcome Invoke(automation::DispId id, automation::InvokeKind kind, Args args) override;

    Outcome Open(Args args);
    Outcome SetRequestHeader(Args args);
    Outcome GetResponseHeader(Args args);
    Outcome GetAllResponseHeaders(Args args);
    Outcome Send(Args args);
    Outcome GetOption(Args args);
    Outcome PutOption(Args args);
    Outcome Status(Args args);
    Outcome StatusText(Args args);
    Outcome ResponseText(Args args);
    Outcome ResponseBody(Args args);
    Outcome ResponseStream(Args args);
    Outcome Abort(Args args);
    Outcome SetProxy(Args args);
    Outcome SetCredentials(Args args);
    Outcome WaitForResponse(Args args);
    Outcome SetTimeouts(Args args);
    Outcome SetClientCertificate(Args args);
    Outcome SetAutoLogonPolicy(Args args);

  private:
    enum class State { Created, Opened, Sending, Received };

    // The response under the lock, or the error a reader gives before Send.
    std::optional<automation::HResult> ResponseUnavailable() const;
    // Stops an asynchronous transfer still under way and joins its thread.
    void StopTransfer();
    void Finish(ExchangeResult result);
    ExchangeRequest MakeExchangeRequest(std::optional<std::string> body, bool textBody) const;
    TransferSettings MakeTransferSettings() const;
    Outcome SetCertificate(const automation::Variant& value);

    // Touched by the worker thread as well: only under the lock.
    mutable std::mutex mutex_;
    std::condition_variable finished_;
    State state_ = State::Created;
    automation::HResult transferError_ = automation::kOk;
    Response response_;
    std::optional<std::string> redirectedUrl_;

    // The request being prepared, reset by Open.
    std::string method_;
    RequestUrl url_;
    std::u16string urlText_;
    bool async_ = false;
    RequestHeaders headers_;
    std::optional<Credentials> serverCredentials_;
    std::optional<Credentials> proxyCredentials_;

    // Settings of the object, kept across requests.
    RequestOptions options_;
    Timeouts timeouts_;
    ProxySetting proxy_;
    std::string clientCertificate_;

    std::unique_ptr<CurlSession> session_ = std::make_unique<CurlSession>();
    std::thread worker_;
};

}  // namespace tralvex::winhttp
