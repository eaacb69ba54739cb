#pragma once

// The router login cookie: HTTP Basic credentials for the user "admin", as
// "Authorization=Basic%20" followed by the Base64 form of "admin:" and the
// password. The Base64 is computed by a stored JScript run through a
// ScriptHost.

#include <string_view>

#include "text/text.hpp"

namespace tralvex {

// JScript defining Base64Encoding(input), the Base64 text of utf8_encode(input),
// and utf8_encode(string): CR LF pairs become LF, then each UTF-16 code unit
// becomes one byte below 128, two bytes below 2048 and three bytes otherwise
// (so a character above U+FFFF, two code units, becomes six bytes). LF line
// breaks only; adding it runs nothing.
extern const std::string_view LoginScript;

// The cookie for `password` (ANSI text). Never fails: when the script host
// does not work the result is the prefix "Authorization=Basic%20" alone.
Text MakeLoginCookie(const Text& password);

}  // namespace tralvex
