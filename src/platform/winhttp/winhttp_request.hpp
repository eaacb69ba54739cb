#pragma once

// Our HTTP request object, registered as "WinHttp.WinHttpRequest.5.1": the
// members, states, defaults and error codes of the platform's request object,
// on libcurl. One object is one session: its requests reuse one connection.
//
// States: created -> opened (Open) -> sending -> received. A Send that fails
// leaves the request opened, as if it had not been sent: the response readers
// then fail with "cannot call before Send", WaitForResponse raises the
// transfer's error, and Send may be tried again. Open discards the previous
// request, its response and its credentials; options, time-outs, proxy and
// client certificate stay with the object.
//
// Header names and values, user names and passwords go out in the ANSI code
// page (936); response headers and the status text come back through it.
// There is no cookie store: Set-Cookie headers are only there to be read.
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

// The values of the "Option" property, by index, and what each one does here:
//  0 the User-Agent the object sends when the caller sets none;
//  1 (read-only) the URL given to Open, after Send the final URL of redirects;
//  2 the code page of the path and query: 65001 (UTF-8), or 936 / 0 (ANSI);
//  3 "%" is escaped too; 7 nothing in path and query is escaped; 8 the query
//    is not escaped;
//  4 ignored certificate errors: an unknown CA, a wrong usage or an invalid
//    date turn off curl's check of the chain (curl cannot ignore them one by
//    one), an invalid name turns off the host name check;
//  5 (write-only) the client certificate, as SetClientCertificate;
//  6 redirects followed; 12 also from https to http; 14 how many;
//  9 the TLS versions allowed (TLS 1.0 0x80, 1.1 0x200, 1.2 0x800, 1.3 0x2000;
//    SSL 2 and 3 are not offered by curl): none makes a secure request fail;
//  15 the largest response header block accepted (curl itself refuses a
//    single header line over 100 KB);
//  17 HTTP/1.1, else HTTP/1.0;
//  10 tracing, 11 reverting impersonation, 13 Passport authentication,
//  16 the drain size and 18 revocation checks are kept and reported back but
//    change nothing: there is no trace facility, no impersonation and no
//    Passport here, curl reads every body whole, and curl has no revocation
//    check of that kind (it can only demand a stapled OCSP answer, which
//    most servers do not send).
struct RequestOptions {
    std::u16string userAgent = u"Mozilla/4.0 (compatible; Win32; WinHttp.WinHttpRequest.5)";
    std::int32_t urlCodePage = 65001;
    bool escapePercentInUrl = false;
    std::int32_t sslErrorIgnoreFlags = 0;
    bool enableRedirects = true;
    bool urlEscapeDisable = false;
    bool urlEscapeDisableQuery = false;
    std::int32_t secureProtocols = 0x2A80;  // TLS 1.0 to 1.3
    bool enableTracing = false;
    bool revertImpersonationOverSsl = true;
    bool enableHttpsToHttpRedirects = false;
    bool enablePassportAuthentication = false;
    std::int32_t maxAutomaticRedirects = 10;
    std::int32_t maxResponseHeaderSize = 64 * 1024;
    std::int32_t maxResponseDrainSize = 1024 * 1024;
    bool enableHttp11 = true;
    bool enableCertificateRevocationCheck = false;
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
