#include "platform/winhttp/winhttp_request.hpp"

#include <chrono>
#include <fstream>

#include "automation/conversions.hpp"
#include "platform/codepage/codepage.hpp"
#include "platform/winhttp/response_stream.hpp"
#include "platform/winhttp/winhttp_errors.hpp"

namespace tralvex::winhttp {
namespace {

using automation::ArgAt;
using automation::HResult;
using automation::InvokeKind;
using automation::InvokeOutcome;
using automation::kDispParamNotOptional;
using automation::kDispTypeMismatch;
using automation::kInvalidArg;
using automation::kOk;
using automation::Variant;

const automation::DispatchTable<WinHttpRequest>& Table() {
    // In the platform's order, so that the members get its numbers 1 to 18.
    static const automation::DispatchTable<WinHttpRequest> table{
        {"Open", InvokeKind::Method, 3, &WinHttpRequest::Open},
        {"SetRequestHeader", InvokeKind::Method, 2, &WinHttpRequest::SetRequestHeader},
        {"GetResponseHeader", InvokeKind::Method, 1, &WinHttpRequest::GetResponseHeader},
        {"GetAllResponseHeaders", InvokeKind::Method, 0, &WinHttpRequest::GetAllResponseHeaders},
        {"Send", InvokeKind::Method, 1, &WinHttpRequest::Send},
        {"Option", InvokeKind::PropertyGet, 1, &WinHttpRequest::GetOption},
        {"Option", InvokeKind::PropertyPut, 2, &WinHttpRequest::PutOption},
        {"Status", InvokeKind::PropertyGet, 0, &WinHttpRequest::Status},
        {"StatusText", InvokeKind::PropertyGet, 0, &WinHttpRequest::StatusText},
        {"ResponseText", InvokeKind::PropertyGet, 0, &WinHttpRequest::ResponseText},
        {"ResponseBody", InvokeKind::PropertyGet, 0, &WinHttpRequest::ResponseBody},
        {"ResponseStream", InvokeKind::PropertyGet, 0, &WinHttpRequest::ResponseStream},
        {"Abort", InvokeKind::Method, 0, &WinHttpRequest::Abort},
        {"SetProxy", InvokeKind::Method, 3, &WinHttpRequest::SetProxy},
        {"SetCredentials", InvokeKind::Method, 3, &WinHttpRequest::SetCredentials},
        {"WaitForResponse", InvokeKind::Method, 1, &WinHttpRequest::WaitForResponse},
        {"SetTimeouts", InvokeKind::Method, 4, &WinHttpRequest::SetTimeouts},
        {"SetClientCertificate", InvokeKind::Method, 1, &WinHttpRequest::SetClientCertificate},
        {"SetAutoLogonPolicy", InvokeKind::Method, 1, &WinHttpRequest::SetAutoLogonPolicy},
    };
    return table;
}

enum OptionIndex : std::int32_t {
    kUserAgentString = 0,
    kUrl = 1,
    kUrlCodePage = 2,
    kEscapePercentInUrl = 3,
    kSslErrorIgnoreFlags = 4,
    kSelectCertificate = 5,
    kEnableRedirects = 6,
    kUrlEscapeDisable = 7,
    kUrlEscapeDisableQuery = 8,
    kSecureProtocols = 9,
    kEnableTracing = 10,
    kRevertImpersonationOverSsl = 11,
    kEnableHttpsToHttpRedirects = 12,
    kEnablePassportAuthentication = 13,
    kMaxAutomaticRedirects = 14,
    kMaxResponseHeaderSize = 15,
    kMaxResponseDrainSize = 16,
    kEnableHttp11 = 17,
    kEnableCertificateRevocationCheck = 18,
};

// The SslErrorIgnoreFlags bits: unknown CA, wrong usage, invalid name,
// invalid date.
constexpr std::int32_t kIgnoreUnknownCa = 0x0100;
constexpr std::int32_t kIgnoreWrongUsage = 0x0200;
constexpr std::int32_t kIgnoreCertCnInvalid = 0x1000;
constexpr std::int32_t kIgnoreCertDateInvalid = 0x2000;
constexpr std::int32_t kIgnoreFlagsKnown =
    kIgnoreUnknownCa | kIgnoreWrongUsage | kIgnoreCertCnInvalid | kIgnoreCertDateInvalid;

constexpr int kCodePageAnsi = 0;
constexpr int kCodePage936 = 936;
constexpr int kCodePageUtf8 = 65001;

InvokeOutcome Missing() { return InvokeOutcome::Fail(kDispParamNotOptional); }
InvokeOutcome Mismatch() { return InvokeOutcome::Fail(kDispTypeMismatch); }

// A text argument read where it is when it is a text already, else
// converted into `converted`: headers and URLs are set for every request, and
// they nearly always come as texts.
std::optional<std::u16string_view> TextIn(const Variant& value,
                                          std::optional<std::u16string>& converted) {
    if (const auto* text = value.GetIf<std::u16string>()) return std::u16string_view(*text);
    converted = automation::ToString16(value);
    if (!converted) return std::nullopt;
    return std::u16string_view(*converted);
}

bool EqualsIgnoringCase(std::u16string_view text, std::string_view lowerAscii) {
    return ToLowerAscii(Utf16ToAnsi(text)) == lowerAscii;
}

// The TLS versions the SecureProtocols flags allow, as curl's range.
std::optional<long> TlsVersionFor(std::int32_t flags) {
    struct Version {
        std::int32_t flag;
        long min;
        long max;
    };
    static constexpr Version kVersions[] = {
        {0x0080, CURL_SSLVERSION_TLSv1_0, CURL_SSLVERSION_MAX_TLSv1_0},
        {0x0200, CURL_SSLVERSION_TLSv1_1, CURL_SSLVERSION_MAX_TLSv1_1},
        {0x0800, CURL_SSLVERSION_TLSv1_2, CURL_SSLVERSION_MAX_TLSv1_2},
        {0x2000, CURL_SSLVERSION_TLSv1_3, CURL_SSLVERSION_MAX_TLSv1_3},
    };
    std::optional<long> min, max;
    for (const Version& version : kVersions) {
        if (!(flags & version.flag)) continue;
        if (!min) min = version.min;
        max = version.max;
    }
    if (!min) return std::nullopt;
    return *min | *max;
}

// A time-out in milliseconds: 0 and -1 mean none, other negatives are refused.
std::optional<int> TimeoutArg(const Variant& value, HResult& error) {
    std::optional<std::int32_t> ms = automation::ToInt32(value);
    if (!ms) {
        error = value.IsMissing() ? kDispParamNotOptional : kDispTypeMismatch;
        return std::nullopt;
    }
    if (*ms < -1) {
        error = kInvalidArg;
        return std::nullopt;
    }
    return *ms == -1 ? 0 : *ms;
}

InvokeOutcome PutBool(bool& field, const Variant& value) {
    std::optional<bool> on = automation::ToBool(value);
    if (!on) return Mismatch();
    field = *on;
    return InvokeOutcome::Nothing();
}

InvokeOutcome PutInt(std::int32_t& field, const Variant& value, std::int32_t least) {
    std::optional<std::int32_t> number = automation::ToInt32(value);
    if (!number) return Mismatch();
    if (*number < least) return RaiseError(kInvalidArg);
    field = *number;
    return InvokeOutcome::Nothing();
}

InvokeOutcome PutCodePage(std::int32_t& field, const Variant& value) {
    if (const auto* text = value.GetIf<std::u16string>()) {
        if (EqualsIgnoringCase(*text, "utf-8")) {
            field = kCodePageUtf8;
            return InvokeOutcome::Nothing();
        }
    }
    std::optional<std::int32_t> number = automation::ToInt32(value);
    if (!number) return Mismatch();
    if (*number != kCodePageAnsi && *number != kCodePage936 && *number != kCodePageUtf8) {
        return RaiseError(kInvalidArg);
    }
    field = *number;
    return InvokeOutcome::Nothing();
}

InvokeOutcome Value(bool value) { return InvokeOutcome::Value(Variant(value)); }
InvokeOutcome Value(std::int32_t value) { return InvokeOutcome::Value(Variant(value)); }
InvokeOutcome Value(std::u16string value) {
    return InvokeOutcome::Value(Variant(std::move(value)));
}

bool IsReadableFile(const std::string& path) { return std::ifstream(path).good(); }

}  // namespace

WinHttpRequest::WinHttpRequest() = default;

WinHttpRequest::~WinHttpRequest() { StopTransfer(); }

const automation::TypeInfo* WinHttpRequest::GetTypeInfo() const { return &Table().GetTypeInfo(); }

InvokeOutcome WinHttpRequest::Invoke(automation::DispId id, InvokeKind kind, Args args) {
    return Table().Invoke(*this, id, kind, args);
}

void WinHttpRequest::StopTransfer() {
    if (!worker_.joinable()) return;
    session_->Abort();
    worker_.join();
}

std::optional<HResult> WinHttpRequest::ResponseUnavailable() const {
    if (state_ == State::Received) return std::nullopt;
    return kCannotCallBeforeSend;
}

void WinHttpRequest::Finish(ExchangeResult result) {
    std::lock_guard lock(mutex_);
    if (result.error != kOk) {
        state_ = State::Opened;
        transferError_ = result.error;
    } else {
        state_ = State::Received;
        response_ = std::move(result.response);
        if (result.redirected) redirectedUrl_ = result.finalUrl;
    }
    finished_.notify_all();
}

InvokeOutcome WinHttpRequest::Open(Args args) {
    if (ArgAt(args, 0).IsMissing() || ArgAt(args, 1).IsMissing()) return Missing();
    std::optional<std::u16string> methodStorage, urlStorage;
    std::optional<std::u16string_view> method = TextIn(ArgAt(args, 0), methodStorage);
    std::optional<std::u16string_view> url = TextIn(ArgAt(args, 1), urlStorage);
    if (!method || !url) return Mismatch();
    std::optional<bool> async = false;
    if (!ArgAt(args, 2).IsAbsent()) async = automation::ToBool(ArgAt(args, 2));
    if (!async) return Mismatch();

    // Open discards the previous request and its response, whatever follows.
    StopTransfer();
    {
        std::lock_guard lock(mutex_);
        state_ = State::Created;
        transferError_ = kOk;
        response_ = Response{};
        redirectedUrl_.reset();
    }
    headers_.Clear();
    serverCredentials_.reset();
    proxyCredentials_.reset();

    if (!IsValidHeaderName(*method)) return RaiseError(kInvalidArg);
    RequestUrl parsed;
    if (HResult error = ParseRequestUrl(*url, parsed); error != kOk) return RaiseError(error);
    method_ = Utf16ToAnsi(*method);
    url_ = std::move(parsed);
    urlText_ = *url;
    async_ = *async;
    std::lock_guard lock(mutex_);
    state_ = State::Opened;
    return InvokeOutcome::Nothing();
}

InvokeOutcome WinHttpRequest::SetRequestHeader(Args args) {
    if (ArgAt(args, 0).IsMissing() || ArgAt(args, 1).IsMissing()) return Missing();
    {
        std::lock_guard lock(mutex_);
        if (state_ == State::Created) return RaiseError(kCannotCallBeforeOpen);
        if (state_ != State::Opened) return RaiseError(kCannotCallAfterSend);
    }
    std::optional<std::u16string> nameStorage, valueStorage;
    std::optional<std::u16string_view> name = TextIn(ArgAt(args, 0), nameStorage);
    std::optional<std::u16string_view> value = TextIn(ArgAt(args, 1), valueStorage);
    if (!name || !value) return Mismatch();
    if (!IsValidHeaderName(*name) || !IsValidHeaderValue(*value)) return RaiseError(kInvalidArg);
    headers_.Set(Utf16ToAnsi(*name), Utf16ToAnsi(*value));
    return InvokeOutcome::Nothing();
}

ExchangeRequest WinHttpRequest::MakeExchangeRequest(std::optional<std::string> body,
                                                    bool textBody) const {
    ExchangeRequest request;
    request.method = method_;
    UrlEscaping escaping{options_.urlCodePage, options_.escapePercentInUrl,
                         options_.urlEscapeDisable, options_.urlEscapeDisableQuery};
    request.url = WireUrl(url_, escaping);
    request.headers = headers_;
    // A GET (or HEAD) goes without a body; every other method carries one,
    // empty when none was given, so that its Content-Length is there.
    if (!SameHeaderName(method_, "GET") && !SameHeaderName(method_, "HEAD")) {
        request.body = body ? std::move(body) : std::string();
        request.textBody = textBody;
    }
    request.userAgent = Utf16ToAnsi(options_.userAgent);
    request.followRedirects = options_.enableRedirects;
    request.maxRedirects = options_.maxAutomaticRedirects;
    request.httpsToHttpRedirects = options_.enableHttpsToHttpRedirects;
    return request;
}

TransferSettings WinHttpRequest::MakeTransferSettings() const {
    TransferSettings settings;
    settings.timeouts = timeouts_;
    settings.serverCredentials = serverCredentials_;
    settings.proxyCredentials = proxyCredentials_;
    settings.clientCertificate = clientCertificate_;
    settings.http11 = options_.enableHttp11;
    settings.tlsVersion = TlsVersionFor(options_.secureProtocols);
    // curl checks the chain as a whole: any of these flags turns that off.
    settings.verifyPeer = !(options_.sslErrorIgnoreFlags &
                            (kIgnoreUnknownCa | kIgnoreWrongUsage | kIgnoreCertDateInvalid));
    settings.verifyHost = !(options_.sslErrorIgnoreFlags & kIgnoreCertCnInvalid);
    settings.maxHeaderBytes = static_cast<std::size_t>(options_.maxResponseHeaderSize);
    return settings;
}

InvokeOutcome WinHttpRequest::Send(Args args) {
    {
        std::lock_guard lock(mutex_);
        if (state_ == State::Created) return RaiseError(kCannotCallBeforeOpen);
        // A request is sent once; a second Send after one Open does nothing.
        if (state_ != State::Opened) return InvokeOutcome::Nothing();
    }
    std::optional<std::string> body;
    bool textBody = false;
    const Variant& bodyArg = ArgAt(args, 0);
    if (const auto* bytes = bodyArg.GetIf<automation::ByteArray>()) {
        body = std::string(bytes->data.begin(), bytes->data.end());
    } else if (!bodyArg.IsAbsent()) {
        std::optional<std::u16string> text = automation::ToString16(bodyArg);
        if (!text) return Mismatch();
        body = Utf16ToUtf8(*text);
        textBody = true;
    }

    ExchangeRequest request = MakeExchangeRequest(std::move(body), textBody);
    TransferSettings settings = MakeTransferSettings();
    if (worker_.joinable()) worker_.join();
    session_->ClearAbort();
    {
        std::lock_guard lock(mutex_);
        state_ = State::Sending;
        transferError_ = kOk;
    }
    if (async_) {
        worker_ = std::thread(
            [this, request = std::move(request), settings = std::move(settings), proxy = proxy_] {
                Finish(RunExchange(*session_, request, settings, proxy));
            });
        return InvokeOutcome::Nothing();
    }
    ExchangeResult result = RunExchange(*session_, request, settings, proxy_);
    HResult error = result.error;
    Finish(std::move(result));
    return error == kOk ? InvokeOutcome::Nothing() : RaiseError(error);
}

InvokeOutcome WinHttpRequest::WaitForResponse(Args args) {
    std::optional<std::chrono::seconds> limit;
    const Variant& timeoutArg = ArgAt(args, 0);
    if (!timeoutArg.IsAbsent()) {
        std::optional<std::int32_t> seconds = automation::ToInt32(timeoutArg);
        if (!seconds) return Mismatch();
        if (*seconds < -1) return RaiseError(kInvalidArg);
        if (*seconds != -1) limit = std::chrono::seconds(*seconds);
    }
    std::unique_lock lock(mutex_);
    auto arrived = [this] { return state_ != State::Sending; };
    if (!limit) {
        finished_.wait(lock, arrived);
    } else if (!finished_.wait_for(lock, *limit, arrived)) {
        return Value(false);
    }
    if (transferError_ != kOk) return RaiseError(transferError_);
    if (state_ == State::Created) return RaiseError(kCannotCallBeforeOpen);
    if (state_ != State::Received) return RaiseError(kCannotCallBeforeSend);
    return Value(true);
}

InvokeOutcome WinHttpRequest::Abort(Args) {
    bool underWay;
    {
        std::lock_guard lock(mutex_);
        underWay = state_ == State::Sending;
    }
    if (underWay) StopTransfer();
    return InvokeOutcome::Nothing();
}

InvokeOutcome WinHttpRequest::Status(Args) {
    std::lock_guard lock(mutex_);
    if (auto error = ResponseUnavailable()) return RaiseError(*error);
    return Value(static_cast<std::int32_t>(response_.status));
}

InvokeOutcome WinHttpRequest::StatusText(Args) {
    std::lock_guard lock(mutex_);
    if (auto error = ResponseUnavailable()) return RaiseError(*error);
    return Value(AnsiToUtf16(response_.reason));
}

// The body decoded by the charset the response declares: UTF-8 when it says
// so, else the ANSI code page of this system (936).
InvokeOutcome WinHttpRequest::ResponseText(Args) {
    std::lock_guard lock(mutex_);
    if (auto error = ResponseUnavailable()) return RaiseError(*error);
    std::string_view bytes(reinterpret_cast<const char*>(response_.body->data()),
                           response_.body->size());
    return Value(DeclaresUtf8(response_.headerLines) ? Utf8ToUtf16(bytes) : AnsiToUtf16(bytes));
}

InvokeOutcome WinHttpRequest::ResponseBody(Args) {
    std::lock_guard lock(mutex_);
    if (auto error = ResponseUnavailable()) return RaiseError(*error);
    return InvokeOutcome::Value(Variant(automation::ByteArray{*response_.body, 0}));
}

InvokeOutcome WinHttpRequest::ResponseStream(Args) {
    std::lock_guard lock(mutex_);
    if (auto error = ResponseUnavailable()) return RaiseError(*error);
    auto stream = std::make_shared<winhttp::ResponseStream>(response_.body);
    return InvokeOutcome::Value(Variant(automation::AutomationObject(std::move(stream))));
}

InvokeOutcome WinHttpRequest::GetResponseHeader(Args args) {
    std::lock_guard lock(mutex_);
    if (auto error = ResponseUnavailable()) return RaiseError(*error);
    if (ArgAt(args, 0).IsMissing()) return Missing();
    std::optional<std::u16string> name = automation::ToString16(ArgAt(args, 0));
    if (!name) return Mismatch();
    std::optional<std::string> value = FindHeader(response_.headerLines, Utf16ToAnsi(*name));
    if (!value) return RaiseError(kHeaderNotFound);
    return Value(AnsiToUtf16(*value));
}

InvokeOutcome WinHttpRequest::GetAllResponseHeaders(Args) {
    std::lock_guard lock(mutex_);
    if (auto error = ResponseUnavailable()) return RaiseError(*error);
    return Value(AnsiToUtf16(AllHeadersText(response_.headerLines)));
}

InvokeOutcome WinHttpRequest::GetOption(Args args) {
    if (ArgAt(args, 0).IsAbsent()) return InvokeOutcome::Fail(automation::kDispParamNotFound);
    std::optional<std::int32_t> index = automation::ToInt32(ArgAt(args, 0));
    if (!index) return Mismatch();
    const RequestOptions& o = options_;
    switch (*index) {
        case kUserAgentString:
            return Value(o.userAgent);
        case kUrl: {
            std::lock_guard lock(mutex_);
            if (state_ == State::Created) return RaiseError(kCannotCallBeforeOpen);
            return Value(redirectedUrl_ ? AnsiToUtf16(*redirectedUrl_) : urlText_);
        }
        case kUrlCodePage:
            return Value(o.urlCodePage);
        case kEscapePercentInUrl:
            return Value(o.escapePercentInUrl);
        case kSslErrorIgnoreFlags:
            return Value(o.sslErrorIgnoreFlags);
        case kEnableRedirects:
            return Value(o.enableRedirects);
        case kUrlEscapeDisable:
            return Value(o.urlEscapeDisable);
        case kUrlEscapeDisableQuery:
            return Value(o.urlEscapeDisableQuery);
        case kSecureProtocols:
            return Value(o.secureProtocols);
        case kEnableTracing:
            return Value(o.enableTracing);
        case kRevertImpersonationOverSsl:
            return Value(o.revertImpersonationOverSsl);
        case kEnableHttpsToHttpRedirects:
            return Value(o.enableHttpsToHttpRedirects);
        case kEnablePassportAuthentication:
            return Value(o.enablePassportAuthentication);
        case kMaxAutomaticRedirects:
            return Value(o.maxAutomaticRedirects);
        case kMaxResponseHeaderSize:
            return Value(o.maxResponseHeaderSize);
        case kMaxResponseDrainSize:
            return Value(o.maxResponseDrainSize);
        case kEnableHttp11:
            return Value(o.enableHttp11);
        case kEnableCertificateRevocationCheck:
            return Value(o.enableCertificateRevocationCheck);
        default:  // the selected certificate is write-only; there are no others
            return RaiseError(kInvalidArg);
    }
}

InvokeOutcome WinHttpRequest::PutOption(Args args) {
    if (args.size() < 2) return Mismatch();
    std::optional<std::int32_t> index = automation::ToInt32(args[0]);
    if (!index) return Mismatch();
    const Variant& value = args[1];
    RequestOptions& o = options_;
    switch (*index) {
        case kUserAgentString: {
            std::optional<std::u16string> text = automation::ToString16(value);
            if (!text) return Mismatch();
            if (!IsValidHeaderValue(*text)) return RaiseError(kInvalidArg);
            o.userAgent = std::move(*text);
            return InvokeOutcome::Nothing();
        }
        case kUrlCodePage:
            return PutCodePage(o.urlCodePage, value);
        case kEscapePercentInUrl:
            return PutBool(o.escapePercentInUrl, value);
        case kSslErrorIgnoreFlags: {
            std::int32_t flags = 0;
            if (InvokeOutcome out = PutInt(flags, value, 0); out.hr != kOk) return out;
            if (flags & ~kIgnoreFlagsKnown) return RaiseError(kInvalidArg);
            o.sslErrorIgnoreFlags = flags;
            return InvokeOutcome::Nothing();
        }
        case kSelectCertificate:
            return SetCertificate(value);
        case kEnableRedirects:
            return PutBool(o.enableRedirects, value);
        case kUrlEscapeDisable:
            return PutBool(o.urlEscapeDisable, value);
        case kUrlEscapeDisableQuery:
            return PutBool(o.urlEscapeDisableQuery, value);
        case kSecureProtocols:
            return PutInt(o.secureProtocols, value, 0);
        case kEnableTracing:
            return PutBool(o.enableTracing, value);
        case kRevertImpersonationOverSsl:
            return PutBool(o.revertImpersonationOverSsl, value);
        case kEnableHttpsToHttpRedirects:
            return PutBool(o.enableHttpsToHttpRedirects, value);
        case kEnablePassportAuthentication:
            return PutBool(o.enablePassportAuthentication, value);
        case kMaxAutomaticRedirects:
            return PutInt(o.maxAutomaticRedirects, value, 0);
        case kMaxResponseHeaderSize:
            return PutInt(o.maxResponseHeaderSize, value, 1);
        case kMaxResponseDrainSize:
            return PutInt(o.maxResponseDrainSize, value, 1);
        case kEnableHttp11:
            return PutBool(o.enableHttp11, value);
        case kEnableCertificateRevocationCheck:
            return PutBool(o.enableCertificateRevocationCheck, value);
        default:  // the URL is read-only; there are no others
            return RaiseError(kInvalidArg);
    }
}

InvokeOutcome WinHttpRequest::SetTimeouts(Args args) {
    HResult error = kOk;
    std::optional<int> values[4];
    for (std::size_t i = 0; i < 4; ++i) {
        values[i] = TimeoutArg(ArgAt(args, i), error);
        if (!values[i]) {
            return error == kInvalidArg ? RaiseError(error) : InvokeOutcome::Fail(error);
        }
    }
    timeouts_ = {*values[0], *values[1], *values[2], *values[3]};
    return InvokeOutcome::Nothing();
}

InvokeOutcome WinHttpRequest::SetProxy(Args args) {
    if (ArgAt(args, 0).IsAbsent()) return Missing();
    std::optional<std::int32_t> setting = automation::ToInt32(ArgAt(args, 0));
    if (!setting) return Mismatch();
    std::optional<std::u16string> server = std::u16string();
    std::optional<std::u16string> bypass = std::u16string();
    if (!ArgAt(args, 1).IsAbsent()) server = automation::ToString16(ArgAt(args, 1));
    if (!ArgAt(args, 2).IsAbsent()) bypass = automation::ToString16(ArgAt(args, 2));
    if (!server || !bypass) return Mismatch();
    switch (*setting) {
        case 0:
            proxy_ = {ProxyMode::Environment, {}, {}};
            return InvokeOutcome::Nothing();
        case 1:
            proxy_ = {ProxyMode::Direct, {}, {}};
            return InvokeOutcome::Nothing();
        case 2:
            if (server->empty()) return RaiseError(kInvalidArg);
            proxy_ = {ProxyMode::Named, Utf16ToAnsi(*server), Utf16ToAnsi(*bypass)};
            return InvokeOutcome::Nothing();
        default:
            return RaiseError(kInvalidArg);
    }
}

InvokeOutcome WinHttpRequest::SetCredentials(Args args) {
    {
        std::lock_guard lock(mutex_);
        if (state_ == State::Created) return RaiseError(kCannotCallBeforeOpen);
    }
    if (ArgAt(args, 0).IsAbsent()) return RaiseError(kInvalidArg);
    if (ArgAt(args, 2).IsAbsent()) return Missing();
    std::optional<std::u16string> user = automation::ToString16(ArgAt(args, 0));
    std::optional<std::u16string> password = automation::ToString16(ArgAt(args, 1));
    std::optional<std::int32_t> flags = automation::ToInt32(ArgAt(args, 2));
    if (ArgAt(args, 1).IsMissing()) password = std::u16string();
    if (!user || !password || !flags) return Mismatch();
    Credentials credentials{Utf16ToAnsi(*user), Utf16ToAnsi(*password)};
    switch (*flags) {
        case 0:
            serverCredentials_ = std::move(credentials);
            return InvokeOutcome::Nothing();
        case 1:
            proxyCredentials_ = std::move(credentials);
            return InvokeOutcome::Nothing();
        default:
            return RaiseError(kInvalidArg);
    }
}

InvokeOutcome WinHttpRequest::SetCertificate(const Variant& value) {
    if (value.IsMissing()) return Missing();
    std::optional<std::u16string> nameStorage;
    std::optional<std::u16string_view> name = TextIn(value, nameStorage);
    if (!name) return Mismatch();
    std::string path = Utf16ToUtf8(*name);
    if (!path.empty() && !IsReadableFile(path)) return RaiseError(kCertificateNotFound);
    clientCertificate_ = std::move(path);
    return InvokeOutcome::Nothing();
}

InvokeOutcome WinHttpRequest::SetClientCertificate(Args args) {
    return SetCertificate(ArgAt(args, 0));
}

InvokeOutcome WinHttpRequest::SetAutoLogonPolicy(Args args) {
    if (ArgAt(args, 0).IsAbsent()) return Missing();
    std::optional<std::int32_t> policy = automation::ToInt32(ArgAt(args, 0));
    if (!policy) return Mismatch();
    // Always, only without a proxy, never: all accepted, none changes anything,
    // since there is no logged-on Windows identity here to log on with.
    if (*policy < 0 || *policy > 2) return RaiseError(kInvalidArg);
    return InvokeOutcome::Nothing();
}

}  // namespace tralvex::winhttp
