#pragma once

// Conversions between the ANSI code page (936), UTF-16 and UTF-8. A character
// that the target cannot hold, or a byte sequence that the source does not
// define, becomes "?" (U+003F); nothing is cut and nothing throws.

#include <memory>
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

// Conversions between the ANSI code page and another character set, named as
// iconv names it (nl_langinfo(CODESET) gives the user's), such as a terminal
// uses. The replacement rules are those above. An object is used on one
// thread.
class CharsetConverter {
  public:
    explicit CharsetConverter(const std::string& charset);
    ~CharsetConverter();
    CharsetConverter(const CharsetConverter&) = delete;
    CharsetConverter& operator=(const CharsetConverter&) = delete;

    // False when iconv knows no character set of that name; both conversions
    // then yield the empty text.
    bool Known() const;
    std::string FromAnsi(std::string_view ansi);
    Text ToAnsi(std::string_view bytes);

  private:
    class Converters;
    std::unique_ptr<Converters> converters_;
};

}  // namespace tralvex
