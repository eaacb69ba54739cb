#pragma once

// What the program needs of the terminal: its character set and a password
// typed without echo.

#include <memory>
#include <optional>
#include <string>

#include "platform/codepage/codepage.hpp"

namespace tralvex::cli {

// A converter for the terminal's character set: nl_langinfo(CODESET) under
// the user's locale (setlocale(LC_ALL, "")), or UTF-8 when the locale cannot
// be set or iconv does not know its character set. The locale is set back to
// "C" afterwards, so that nothing else formats or reads numbers by it.
std::unique_ptr<CharsetConverter> OpenTerminalConverter();

// Writes `prompt` to standard error and reads one line from standard input,
// which must be a terminal, with its echo turned off and restored after. The
// line without its line end; nothing when a stop signal came first.
std::optional<std::string> ReadLineWithoutEcho(const std::string& prompt);

}  // namespace tralvex::cli
