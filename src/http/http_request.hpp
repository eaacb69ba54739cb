#pragma once

// A reusable HTTP request around one "WinHttp.WinHttpRequest.5.1" object,
// driven through late-bound calls. On top of the object it adds the default
// request headers (Accept, Accept-Language, Referer, User-Agent, and
// Content-Type for a POST) that Send adds once per request unless the caller
// gave them already, completes a URL without "http" in front with "http://",
// and offers typed header setters, response, header and cookie readers, and
// the connection settings of the object.
//
// Like every call through the automation layer, no operation reports a
// failure: it yields the empty value of its kind, and LastErrorText tells
// what went wrong. An HttpRequest is made, used and destroyed on one thread.

#include <optional>

#include "automation/variant.hpp"
#include "text/text.hpp"

namespace tralvex {

class HttpRequest {
  public:
    using AutomationObject = automation::AutomationObject;
    using Variant = automation::Variant;

    // Initialises the component library for this thread, creates the request
    // object (an object that cannot be created leaves the request empty, see
    // IsEmpty) and sets the defaults.
    HttpRequest();
    virtual ~HttpRequest();
    // Shares the source's request object and copies its flags and texts. The
    // copy initialises the component library once more for this thread, so
    // that its destructor's uninitialisation stays balanced.
    HttpRequest(const HttpRequest& source);
    // Takes another reference to the source's object and copies its fields;
    // the initialisation this object holds stays as it is.
    HttpRequest& operator=(const HttpRequest& source) = default;

    virtual void ResetDefaults();
    virtual void SetAutoHeaders(bool on = true);
    virtual bool CreateRequestObject();
    virtual void ReleaseRequestObject();
    virtual bool RecreateRequestObject();
    virtual bool IsEmpty() const;
    virtual AutomationObject GetRequestObject() const;
    virtual void SetRequestObject(const AutomationObject& object);
    virtual Text LastErrorText() const;
    virtual int Status();
    virtual Text StatusText();
    virtual Text ResponseText();
    virtual Bytes ResponseBody();
    virtual Text ResponseBodyText();
    virtual Text ResponseBodyUtf8Text();
    virtual Variant ResponseStream();
    virtual void EnableRedirects(bool enable = true);
    // Omitted values: 10000, 20000, 30000, 60000 milliseconds, each on its own.
    virtual void SetTimeouts(std::optional<int> resolve = std::nullopt,
                             std::optional<int> connect = std::nullopt,
                             std::optional<int> send = std::nullopt,
                             std::optional<int> receive = std::nullopt);
    // Omitted setting: 2 (a named proxy); omitted bypass list: empty.
    virtual void SetProxy(std::optional<int> setting, const Text& server,
                          const std::optional<Text>& bypass = std::nullopt);
    void SetProxy(const Text& server) { SetProxy(std::nullopt, server); }
    // Writes the option with the first value given (nothing when none is),
    // then reads it back.
    virtual Variant Option(int option, std::optional<int> intValue = std::nullopt,
                           const std::optional<Text>& textValue = std::nullopt,
                           const std::optional<Bytes>& bytesValue = std::nullopt,
                           const std::optional<Variant>& variantValue = std::nullopt);
    // Omitted flags: 0 (credentials for the server).
    virtual void SetCredentials(const Text& user, const Text& password,
                                std::optional<int> flags = std::nullopt);
    virtual void SetClientCertificate(const Text& certificate);
    virtual void SetAutoLogonPolicy(int policy);
    // Omitted method: "GET"; omitted async: false. A URL that does not begin
    // with "http" (in any letter case) gets "http://" in front, and the
    // caller's variable receives the completed URL. The overload for a
    // constant or temporary URL completes a copy.
    virtual void Open(const std::optional<Text>& method, Text& url,
                      std::optional<bool> async = std::nullopt);
    void Open(const std::optional<Text>& method, const Text& url,
              std::optional<bool> async = std::nullopt);
    void Open(Text& url) { Open(std::nullopt, url); }
    // An omitted body differs from an empty one: only a given body is passed.
    virtual void Send(const std::optional<Text>& body = std::nullopt);
    virtual void SendBytes(const std::optional<Bytes>& body = std::nullopt);
    // Omitted time-out: 0 seconds.
    virtual bool WaitForResponse(std::optional<int> timeout = std::nullopt);
    virtual void Abort();
    virtual void SetRequestHeader(const Text& name, const Text& value);
    virtual void SetRequestHeaderZero(const Text& name);
    virtual Text GetResponseHeader(const Text& name);
    virtual Text GetAllResponseHeaders();
    virtual void Reserved();
    virtual Text GetCookie(const Text& name);
    virtual Text GetAllCookies();
    virtual Text Location();
    // Omitted values: the stored default of the header.
    virtual void SetAccept(const std::optional<Text>& value = std::nullopt);
    virtual void SetUserAgent(const std::optional<Text>& value = std::nullopt);
    virtual void SetReferer(const std::optional<Text>& value = std::nullopt);
    virtual void SetContentType(const std::optional<Text>& value = std::nullopt);
    virtual void SetCookie(const Text& value);
    virtual void SetForwardedFor(const Text& value);
    virtual void SetXRequestedWith();

  private:
    void AddDefaultHeaders();
    void MarkHeaderGiven(const Text& name);
    void SetTypedHeader(const char* name, bool& flag, Text& stored,
                        const std::optional<Text>& value);

    AutomationObject request;
    bool autoHeaders = false;
    bool refererSet = false;
    Text referer;
    bool acceptSet = false;
    Text accept;
    bool acceptLanguageSet = false;
    Text acceptLanguage;
    bool userAgentSet = false;
    Text userAgent;
    bool isPost = false;
    bool contentTypeSet = false;
    Text contentType;
};

}  // namespace tralvex
