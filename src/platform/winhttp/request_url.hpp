#pragma once

// The URL given to Open: checked the way the platform checks it, and turned
// into the bytes of the request line.

#include <string>
#include <string_view>

#include "automation/hresult.hpp"

namespace tralvex::winhttp {

struct RequestUrl {
    bool secure = false;
    // Scheme (lower case), "://" and the authority as given, e.g.
    // "http://127.0.0.1:8080"; ASCII only.
    std::string origin;
    // Everything after the authority up to a "#", e.g. "/a b?x=1"; may be empty.
    std::u16string pathAndQuery;
};

// kOk with `out` filled; kUnrecognizedScheme when the URL is not absolute
// http or https; kInvalidUrl when its authority is empty or malformed.
automation::HResult ParseRequestUrl(std::u16string_view url, RequestUrl& out);

// How the path and query become bytes: the code page of their characters
// (65001 UTF-8, or 936 / 0 for the ANSI code page), and which bytes are
// percent-escaped.
struct UrlEscaping {
    int codePage = 65001;
    bool escapePercent = false;
    bool escapeDisabled = false;
    bool queryEscapeDisabled = false;
};

// The absolute URL as it goes to the wire; an empty path becomes "/".
std::string WireUrl(const RequestUrl& url, const UrlEscaping& escaping);

// Blanks, control bytes, DEL and bytes above 0x7F as "%XX" (upper-case hex),
// "%" too when asked; every other byte unchanged.
std::string EscapeUnsafeBytes(std::string_view bytes, bool escapePercent);

// "scheme://authority" of an absolute URL in lower case, for telling whether
// two URLs lead to the same server.
std::string OriginOf(std::string_view absoluteUrl);

}  // namespace tralvex::winhttp
