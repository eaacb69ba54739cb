#pragma once

// A received response: status, headers as their lines arrived, and the body.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "text/text.hpp"

namespace tralvex::winhttp {

struct Response {
    int status = 0;
    std::string reason;
    // "Name: value" lines as received, without their line ends.
    std::vector<std::string> headerLines;
    // Shared with the streams handed out, which outlive the request object.
    std::shared_ptr<const Bytes> body = std::make_shared<const Bytes>();
};

// Reads a status line "HTTP/1.1 200 OK" into status and reason; false when
// the line is not a status line.
bool ParseStatusLine(std::string_view line, int& status, std::string& reason);

// The value of the first header of this name (ASCII case ignored), without
// the blanks around it.
std::optional<std::string> FindHeader(const std::vector<std::string>& lines, std::string_view name);

// Every header line followed by CR LF, then one more CR LF.
std::string AllHeadersText(const std::vector<std::string>& lines);

// Whether the Content-Type header names UTF-8 as the charset.
bool DeclaresUtf8(const std::vector<std::string>& lines);

}  // namespace tralvex::winhttp
