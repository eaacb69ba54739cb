#include "http/http_request.hpp"

#include <cmath>
#include <limits>

#include "automation/calls.hpp"
#include "automation/conversions.hpp"
#include "automation/registry.hpp"
#include "platform/codepage/codepage.hpp"

namespace tralvex {
namespace {

using automation::CallMethod;
using automation::GetProperty;
using automation::PutProperty;

constexpr const char* kRequestProgId = "WinHttp.WinHttpRequest.5.1";

constexpr const char* kDefaultAccept = "*/*";
constexpr const char* kDefaultAcceptLanguage = "zh-cn";
constexpr const char* kDefaultUserAgent = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";
constexpr const char* kDefaultContentType = "application/x-www-form-urlencoded";

constexpr std::int32_t kRedirectsOption = 6;

// A real number cut toward zero; 0 for what no int can hold.
int TruncateToInt(double value) {
    if (!std::isfinite(value) || value <= std::numeric_limits<int>::min() - 1.0 ||
        value >= std::numeric_limits<int>::max() + 1.0) {
        return 0;
    }
    return static_cast<int>(value);
}

// The piece of `text` from `start` up to the next ";" on the same line, or
// nothing when the line has no ";" there. A value never runs into the next
// header line. The line end is looked for byte by byte: CR and LF are never
// the second byte of a double-byte character, so a byte of 0x80 or more
// before one (80 is the euro sign in code page 936) must not hide it.
std::optional<int> SemicolonOnLine(const Text& text, int start) {
    int semicolon = FindText(text, ";", start);
    if (semicolon == -1) return std::nullopt;
    std::size_t lineEnd = text.find_first_of("\r\n", static_cast<std::size_t>(start - 1));
    if (lineEnd != Text::npos && static_cast<int>(lineEnd) + 1 < semicolon) return std::nullopt;
    return semicolon;
}

// One cookie's value after "<marker><name>=", up to its ";".
Text CookieAfterMarker(const Text& headers, const Text& marker, const Text& name) {
    Text needle = marker + name + "=";
    int found = FindText(headers, needle, 1, CaseMode::Sensitive);
    if (found == -1) return {};
    int valueStart = found + static_cast<int>(needle.size());
    std::optional<int> semicolon = SemicolonOnLine(headers, valueStart);
    if (!semicolon) return {};
    return MidText(headers, valueStart, *semicolon - valueStart);
}

bool IsDeletedCookie(const Text& piece) {
    Text tail = RightText(piece, 9);
    return tail == "=deleted;" || tail == "=DELETED;" || tail == "=Deleted;";
}

}  // namespace

HttpRequest::HttpRequest() {
    automation::CoInitialize();
    CreateRequestObject();
    ResetDefaults();
}

HttpRequest::~HttpRequest() {
    ReleaseRequestObject();
    automation::CoUninitialize();
}

HttpRequest::HttpRequest(const HttpRequest& source)
    : request(automation::CopyObject(source.request)),
      autoHeaders(source.autoHeaders),
      refererSet(source.refererSet),
      referer(source.referer),
      acceptSet(source.acceptSet),
      accept(source.accept),
      acceptLanguageSet(source.acceptLanguageSet),
      acceptLanguage(source.acceptLanguage),
      userAgentSet(source.userAgentSet),
      userAgent(source.userAgent),
      isPost(source.isPost),
      contentTypeSet(source.contentTypeSet),
      contentType(source.contentType) {
    automation::CoInitialize();
}

void HttpRequest::ResetDefaults() {
    autoHeaders = true;
    accept = kDefaultAccept;
    acceptLanguage = kDefaultAcceptLanguage;
    userAgent = kDefaultUserAgent;
    contentType = kDefaultContentType;
}

void HttpRequest::SetAutoHeaders(bool on) { autoHeaders = on; }

bool HttpRequest::CreateRequestObject() {
    if (!automation::IsEmptyObject(request)) return true;
    return automation::CreateObject(request, kRequestProgId);
}

void HttpRequest::ReleaseRequestObject() { automation::ReleaseObject(request); }

bool HttpRequest::RecreateRequestObject() {
    ReleaseRequestObject();
    return CreateRequestObject();
}

bool HttpRequest::IsEmpty() const { return automation::IsEmptyObject(request); }

HttpRequest::AutomationObject HttpRequest::GetRequestObject() const {
    return automation::CopyObject(request);
}

void HttpRequest::SetRequestObject(const AutomationObject& object) {
    ReleaseRequestObject();
    request = automation::CopyObject(object);
}

Text HttpRequest::LastErrorText() const { return automation::LastErrorText(); }

int HttpRequest::Status() { return TruncateToInt(GetProperty<double>(request, "Status")); }

Text HttpRequest::StatusText() { return GetProperty<Text>(request, "StatusText"); }

Text HttpRequest::ResponseText() { return GetProperty<Text>(request, "ResponseText"); }

Bytes HttpRequest::ResponseBody() {
    return automation::VariantToBytes(GetProperty<Variant>(request, "ResponseBody"));
}

Text HttpRequest::ResponseBodyText() { return BytesToText(ResponseBody()); }

// UTF-8 to UTF-16 to code page 936, then cut at the first zero byte; what the
// code page cannot hold comes out as the converter's replacement character.
Text HttpRequest::ResponseBodyUtf8Text() {
    Bytes body = ResponseBody();
    if (body.empty()) return {};
    std::u16string wide =
        Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(body.data()), body.size()));
    if (wide.empty()) return {};
    Text text = Utf16ToAnsi(wide);
    return text.substr(0, text.find('\0'));
}

HttpRequest::Variant HttpRequest::ResponseStream() {
    return GetProperty<Variant>(request, "ResponseStream");
}

void HttpRequest::EnableRedirects(bool enable) {
    PutProperty(request, "Option", {kRedirectsOption}, enable);
}

void HttpRequest::SetTimeouts(std::optional<int> resolve, std::optional<int> connect,
                              std::optional<int> send, std::optional<int> receive) {
    CallMethod(request, "SetTimeouts",
               {resolve.value_or(10000), connect.value_or(20000), send.value_or(30000),
                receive.value_or(60000)});
}

void HttpRequest::SetProxy(std::optional<int> setting, const Text& server,
                           const std::optional<Text>& bypass) {
    CallMethod(request, "SetProxy", {setting.value_or(2), server, bypass.value_or(Text())});
}

HttpRequest::Variant HttpRequest::Option(int option, std::optional<int> intValue,
                                         const std::optional<Text>& textValue,
                                         const std::optional<Bytes>& bytesValue,
                                         const std::optional<Variant>& variantValue) {
    if (intValue) {
        PutProperty(request, "Option", {option}, *intValue);
    } else if (textValue) {
        PutProperty(request, "Option", {option}, *textValue);
    } else if (bytesValue) {
        PutProperty(request, "Option", {option}, automation::BytesToVariant(*bytesValue));
    } else if (variantValue) {
        PutProperty(request, "Option", {option}, *variantValue);
    }
    return GetProperty<Variant>(request, "Option", {option});
}

void HttpRequest::SetCredentials(const Text& user, const Text& password, std::optional<int> flags) {
    CallMethod(request, "SetCredentials", {user, password, flags.value_or(0)});
}

void HttpRequest::SetClientCertificate(const Text& certificate) {
    CallMethod(request, "SetClientCertificate", {certificate});
}

void HttpRequest::SetAutoLogonPolicy(int policy) {
    CallMethod(request, "SetAutoLogonPolicy", {policy});
}

void HttpRequest::Open(const std::optional<Text>& method, Text& url, std::optional<bool> async) {
    Text verb = method.value_or("GET");
    if (ToLowerAscii(std::string_view(url).substr(0, 4)) != "http") url = "http://" + url;
    if (autoHeaders) {
        acceptSet = false;
        acceptLanguageSet = false;
        refererSet = false;
        userAgentSet = false;
        contentTypeSet = false;
        isPost = ToUpperAscii(verb) == "POST";
        referer = url;
    }
    CallMethod(request, "Open", {verb, url, async.value_or(false)});
}

void HttpRequest::Open(const std::optional<Text>& method, const Text& url,
                       std::optional<bool> async) {
    Text completed = url;
    Open(method, completed, async);
}

void HttpRequest::AddDefaultHeaders() {
    if (!autoHeaders) return;
    struct Default {
        const char* name;
        bool& flag;
        const Text& value;
        bool wanted;
    };
    const Default defaults[] = {
        {"Accept", acceptSet, accept, true},
        {"Accept-Language", acceptLanguageSet, acceptLanguage, true},
        {"Referer", refererSet, referer, true},
        {"User-Agent", userAgentSet, userAgent, true},
        {"Content-Type", contentTypeSet, contentType, isPost},
    };
    for (const Default& header : defaults) {
        if (!header.wanted || header.flag) continue;
        header.flag = true;
        CallMethod(request, "SetRequestHeader", {header.name, header.value});
    }
}

void HttpRequest::Send(const std::optional<Text>& body) {
    AddDefaultHeaders();
    if (body) {
        CallMethod(request, "Send", {*body});
    } else {
        CallMethod(request, "Send");
    }
}

void HttpRequest::SendBytes(const std::optional<Bytes>& body) {
    AddDefaultHeaders();
    if (body) {
        Variant wrapped = automation::BytesToVariant(*body);
        CallMethod(request, "Send", {wrapped});
        automation::ClearVariant(wrapped);
    } else {
        CallMethod(request, "Send");
    }
}

bool HttpRequest::WaitForResponse(std::optional<int> timeout) {
    return CallMethod<bool>(request, "WaitForResponse", {timeout.value_or(0)});
}

void HttpRequest::Abort() { CallMethod(request, "Abort"); }

void HttpRequest::MarkHeaderGiven(const Text& name) {
    Text lower = ToLowerAscii(name);
    if (lower == "accept") {
        acceptSet = true;
    } else if (lower == "accept-language") {
        acceptLanguageSet = true;
    } else if (lower == "referer") {
        refererSet = true;
    } else if (lower == "user-agent") {
        userAgentSet = true;
    } else if (lower == "content-type") {
        contentTypeSet = true;
    }
}

void HttpRequest::SetRequestHeader(const Text& name, const Text& value) {
    if (name.empty()) return;
    if (autoHeaders && !value.empty()) MarkHeaderGiven(name);
    CallMethod(request, "SetRequestHeader", {name, value});
}

void HttpRequest::SetRequestHeaderZero(const Text& name) {
    if (name.empty()) return;
    if (autoHeaders) MarkHeaderGiven(name);
    CallMethod(request, "SetRequestHeader", {name, std::int32_t{0}});
}

Text HttpRequest::GetResponseHeader(const Text& name) {
    return CallMethod<Text>(request, "GetResponseHeader", {name});
}

Text HttpRequest::GetAllResponseHeaders() {
    return CallMethod<Text>(request, "GetAllResponseHeaders");
}

void HttpRequest::Reserved() {}

Text HttpRequest::GetCookie(const Text& name) {
    Text headers = GetProperty<Text>(request, "GetAllResponseHeaders");
    if (headers.empty()) return {};
    Text value = CookieAfterMarker(headers, "Set-Cookie: ", name);
    if (value.empty()) value = CookieAfterMarker(headers, "Set-Cookie:", name);
    return value;
}

Text HttpRequest::GetAllCookies() {
    const Text marker = "Set-Cookie:";
    const int markerLength = static_cast<int>(marker.size());
    Text headers = GetProperty<Text>(request, "GetAllResponseHeaders");
    Text cookies;
    int at = FindText(headers, marker, 1, CaseMode::Insensitive);
    while (at != -1) {
        at += markerLength;
        if (FindText(headers, ";", at, CaseMode::Insensitive) == -1) break;
        std::optional<int> semicolon = SemicolonOnLine(headers, at);
        // A header whose line has no ";" gives nothing; the search goes on
        // after it.
        int next = semicolon ? *semicolon + 1 : at;
        if (semicolon) {
            Text piece = TrimLeadingBlanks(MidText(headers, at, next - at));
            if (!IsDeletedCookie(piece)) cookies += piece + " ";
        }
        at = FindText(headers, marker, next, CaseMode::Insensitive);
    }
    if (!cookies.empty()) cookies.resize(cookies.size() - 2);
    return cookies;
}

Text HttpRequest::Location() { return GetResponseHeader("Location"); }

void HttpRequest::SetTypedHeader(const char* name, bool& flag, Text& stored,
                                 const std::optional<Text>& value) {
    Text given = value.value_or(stored);
    if (autoHeaders && !given.empty()) {
        flag = true;
        stored = given;
    }
    CallMethod(request, "SetRequestHeader", {name, given});
}

void HttpRequest::SetAccept(const std::optional<Text>& value) {
    SetTypedHeader("Accept", acceptSet, accept, value);
}

void HttpRequest::SetUserAgent(const std::optional<Text>& value) {
    SetTypedHeader("User-Agent", userAgentSet, userAgent, value);
}

void HttpRequest::SetReferer(const std::optional<Text>& value) {
    SetTypedHeader("Referer", refererSet, referer, value);
}

void HttpRequest::SetContentType(const std::optional<Text>& value) {
    SetTypedHeader("Content-Type", contentTypeSet, contentType, value);
}

void HttpRequest::SetCookie(const Text& value) {
    CallMethod(request, "SetRequestHeader", {"Cookie", value});
}

void HttpRequest::SetForwardedFor(const Text& value) {
    for (const char* name : {"X-Forwarded-For", "CLIENT_IP", "VIA", "REMOTE_ADDR"}) {
        CallMethod(request, "SetRequestHeader", {name, value});
    }
}

void HttpRequest::SetXRequestedWith() {
    CallMethod(request, "SetRequestHeader", {"x-requested-with", "XMLHttpRequest"});
}

}  // namespace tralvex
