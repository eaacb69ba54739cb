#pragma once

// Conversions between the ANSI code page (936), UTF-16 and UTF-8. A character
// that the target cannot hold, or a byte sequence that the source does not
// define, becomes "?" (U+003F); nothing is cut and nothing throws.

#include <string>
#include <string_view>

#include "text/text.hpp"

namespace tralvex {

std::u16string AnsiToUtf16(std::string_view ansi);
Text Utf16ToAnsi(std::u16string_view utf16);
std::string Utf16ToUtf8(std::u16string_view utf16);
std::u16string Utf8ToUtf16(std::string_view utf8);

std::string AnsiToUtf8(std::string_view ansi);
Text Utf8ToAnsi(std::string_view utf8);

// The one place where texts written in the source as UTF-8 become ANSI texts.
inline Text FromUtf8(std::string_view utf8) { return Utf8ToAnsi(utf8); }

}  // namespace tralvex
