#include "platform/winhttp/request_url.hpp"

#include <algorithm>

#include "platform/codepage/codepage.hpp"
#include "platform/winhttp/winhttp_errors.hpp"
#include "text/text.hpp"

namespace tralvex::winhttp {
namespace {

char16_t LowerAscii(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

bool StartsWithIgnoringCase(std::u16string_view text, std::u16string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (LowerAscii(text[i]) != prefix[i]) return false;
    }
    return true;
}

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

bool IsAuthorityChar(char16_t c) {
    if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || IsDigit(c)) return true;
    return std::u16string_view(u"-._~!$&'()*+,;=:@[]%").find(c) != std::u16string_view::npos;
}

bool ValidPort(std::u16string_view port) {
    if (port.empty() || port.size() > 5 || !std::all_of(port.begin(), port.end(), IsDigit)) {
        return false;
    }
    int value = 0;
    for (char16_t c : port) value = value * 10 + (c - u'0');
    return value >= 1 && value <= 65535;
}

// host, "host:port", "[v6]" or "[v6]:port", after any "user:password@".
bool ValidAuthority(std::u16string_view authority) {
    if (!std::all_of(authority.begin(), authority.end(), IsAuthorityChar)) return false;
    std::size_t at = authority.rfind(u'@');
    std::u16string_view hostPort =
        at == std::u16string_view::npos ? authority : authority.substr(at + 1);
    std::u16string_view host = hostPort;
    std::u16string_view rest;
    if (!hostPort.empty() && hostPort.front() == u'[') {
        std::size_t close = hostPort.find(u']');
        if (close == std::u16string_view::npos || close < 2) return false;
        host = hostPort.substr(0, close + 1);
        rest = hostPort.substr(close + 1);
        if (!rest.empty() && rest.front() != u':') return false;
    } else {
        std::size_t colon = hostPort.find(u':');
        if (colon != std::u16string_view::npos) {
            host = hostPort.substr(0, colon);
            rest = hostPort.substr(colon);
        }
        if (host.find_first_of(u"[]") != std::u16string_view::npos) return false;
    }
    if (host.empty()) return false;
    return rest.empty() || ValidPort(rest.substr(1));
}

std::string PathBytes(std::u16string_view text, int codePage) {
    return codePage == 65001 ? Utf16ToUtf8(text) : Utf16ToAnsi(text);
}

bool IsUnsafe(unsigned char byte, bool escapePercent) {
    return byte <= 0x20 || byte >= 0x7F || (escapePercent && byte == '%');
}

}  // namespace

automation::HResult ParseRequestUrl(std::u16string_view url, RequestUrl& out) {
    bool secure = StartsWithIgnoringCase(url, u"https:");
    if (!secure && !StartsWithIgnoringCase(url, u"http:")) return kUnrecognizedScheme;
    std::size_t schemeEnd = secure ? 6 : 5;
    if (url.substr(schemeEnd, 2) != u"//") return kInvalidUrl;
    std::u16string_view rest = url.substr(schemeEnd + 2);
    std::size_t authorityEnd = std::min(rest.find_first_of(u"/?#"), rest.size());
    std::u16string_view authority = rest.substr(0, authorityEnd);
    if (!ValidAuthority(authority)) return kInvalidUrl;
    std::u16string_view pathAndQuery = rest.substr(authorityEnd);
    pathAndQuery = pathAndQuery.substr(0, pathAndQuery.find(u'#'));

    out.secure = secure;
    out.origin = secure ? "https://" : "http://";
    out.origin.append(authority.begin(), authority.end());
    out.pathAndQuery = std::u16string(pathAndQuery);
    return automation::kOk;
}

namespace {

void AppendEscaped(std::string& out, std::string_view bytes, bool escapePercent) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (char c : bytes) {
        auto byte = static_cast<unsigned char>(c);
        if (IsUnsafe(byte, escapePercent)) {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0F];
        } else {
            out += c;
        }
    }
}

}  // namespace

std::string EscapeUnsafeBytes(std::string_view bytes, bool escapePercent) {
    std::string out;
    out.reserve(bytes.size());
    AppendEscaped(out, bytes, escapePercent);
    return out;
}

// Built in one string: the URL is made again for every request.
std::string WireUrl(const RequestUrl& url, const UrlEscaping& escaping) {
    std::u16string_view text = url.pathAndQuery;
    std::size_t queryStart = std::min(text.find(u'?'), text.size());
    std::string wire;
    wire.reserve(url.origin.size() + text.size() + 1);
    wire = url.origin;
    auto append = [&](std::u16string_view part, bool escape) {
        std::string bytes = PathBytes(part, escaping.codePage);
        if (escape) {
            AppendEscaped(wire, bytes, escaping.escapePercent);
        } else {
            wire += bytes;
        }
    };
    // Every character gives at least one byte, so an empty path is one
    // without characters.
    if (queryStart == 0) {
        wire += '/';
    } else {
        append(text.substr(0, queryStart), !escaping.escapeDisabled);
    }
    append(text.substr(queryStart), !escaping.escapeDisabled && !escaping.queryEscapeDisabled);
    return wire;
}

std::string OriginOf(std::string_view absoluteUrl) {
    std::size_t schemeEnd = absoluteUrl.find("://");
    if (schemeEnd == std::string_view::npos) return ToLowerAscii(absoluteUrl);
    std::size_t end = absoluteUrl.find_first_of("/?#", schemeEnd + 3);
    return ToLowerAscii(absoluteUrl.substr(0, end));
}

}  // namespace tralvex::winhttp
