#include "changer/login_cookie.hpp"

#include "script/script_host.hpp"

namespace tralvex {

extern const std::string_view LoginScript = R"js(function Base64Encoding(input) {
    var keyStr = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=";
    var bytes = utf8_encode(input);
    var groups = [];
    var i = 0;
    while (i < bytes.length) {
        // charCodeAt past the end gives NaN, which the shifts below treat as 0.
        var b1 = bytes.charCodeAt(i++);
        var b2 = bytes.charCodeAt(i++);
        var b3 = bytes.charCodeAt(i++);
        var e1 = b1 >> 2;
        var e2 = ((b1 & 3) << 4) | (b2 >> 4);
        var e3 = ((b2 & 15) << 2) | (b3 >> 6);
        var e4 = b3 & 63;
        if (isNaN(b2)) {
            e3 = e4 = 64;
        } else if (isNaN(b3)) {
            e4 = 64;
        }
        groups[groups.length] =
            keyStr.charAt(e1) + keyStr.charAt(e2) + keyStr.charAt(e3) + keyStr.charAt(e4);
    }
    return groups.join("");
}
function utf8_encode(string) {
    // A code unit below 128 is its own byte and stays; every other one is
    // replaced by the characters of its two or three bytes.
    return String(string).replace(/\r\n/g, "\n").replace(/[\u0080-\uffff]/g, function (unit) {
        var c = unit.charCodeAt(0);
        if (c < 2048) {
            return String.fromCharCode((c >> 6) | 192, (c & 63) | 128);
        }
        return String.fromCharCode((c >> 12) | 224, ((c >> 6) & 63) | 128, (c & 63) | 128);
    });
}
)js";

namespace {

constexpr std::string_view kCookiePrefix = "Authorization=Basic%20";

}  // namespace

Text MakeLoginCookie(const Text& password) {
    Text cookie;
    {
        ScriptHost host;
        host.AddCode(Text(LoginScript));
        Text credentials = "admin:" + password;
        Text encoded = host.RunText("Base64Encoding", credentials);
        cookie = Text(kCookiePrefix) + encoded;
    }  // the host, and its hold on the component library, ends here
    return cookie;
}

}  // namespace tralvex
