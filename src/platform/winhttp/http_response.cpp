#include "platform/winhttp/http_response.hpp"

#include "platform/winhttp/request_headers.hpp"

namespace tralvex::winhttp {
namespace {

std::string_view TrimBlanks(std::string_view text) {
    std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    std::size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

std::string_view Unquote(std::string_view text) {
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
        return text.substr(1, text.size() - 2);
    }
    return text;
}

}  // namespace

bool ParseStatusLine(std::string_view line, int& status, std::string& reason) {
    if (line.substr(0, 5) != "HTTP/") return false;
    std::size_t space = line.find(' ');
    if (space == std::string_view::npos || line.size() < space + 4) return false;
    int code = 0;
    for (std::size_t i = space + 1; i < space + 4; ++i) {
        if (line[i] < '0' || line[i] > '9') return false;
        code = code * 10 + (line[i] - '0');
    }
    status = code;
    reason = std::string(TrimBlanks(line.substr(space + 4)));
    return true;
}

std::optional<std::string> FindHeader(const std::vector<std::string>& lines,
                                      std::string_view name) {
    for (const std::string& line : lines) {
        std::size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        if (SameHeaderName(TrimBlanks(std::string_view(line).substr(0, colon)), name)) {
            return std::string(TrimBlanks(std::string_view(line).substr(colon + 1)));
        }
    }
    return std::nullopt;
}

std::string AllHeadersText(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return text + "\r\n";
}

bool DeclaresUtf8(const std::vector<std::string>& lines) {
    std::optional<std::string> type = FindHeader(lines, "Content-Type");
    if (!type) return false;
    std::string_view rest = *type;
    for (std::size_t semicolon = rest.find(';'); semicolon != std::string_view::npos;
         semicolon = rest.find(';')) {
        rest = rest.substr(semicolon + 1);
        std::string_view parameter = TrimBlanks(rest.substr(0, rest.find(';')));
        std::size_t equals = parameter.find('=');
        if (equals == std::string_view::npos) continue;
        if (!SameHeaderName(TrimBlanks(parameter.substr(0, equals)), "charset")) continue;
        std::string_view charset = Unquote(TrimBlanks(parameter.substr(equals + 1)));
        return SameHeaderName(charset, "utf-8") || SameHeaderName(charset, "utf8");
    }
    return false;
}

}  // namespace tralvex::winhttp
