#include "cli/router_address.hpp"

#include <algorithm>
#include <charconv>
#include <vector>

namespace tralvex::cli {
namespace {

constexpr std::size_t kMaxHostLength = 253;
constexpr std::size_t kMaxLabelLength = 63;
constexpr int kMaxQuadNumber = 255;
constexpr int kMaxPort = 65535;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsLetterOrDigit(char c) {
    return IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsAllDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), IsDigit);
}

// The value of a run of at most `maxDigits` digits, or nothing.
std::optional<int> SmallNumber(std::string_view digits, std::size_t maxDigits) {
    if (!IsAllDigits(digits) || digits.size() > maxDigits) return std::nullopt;
    int value = 0;
    std::from_chars(digits.data(), digits.data() + digits.size(), value);
    return value;
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (;;) {
        std::size_t at = text.find(separator);
        parts.push_back(text.substr(0, at));
        if (at == std::string_view::npos) return parts;
        text.remove_prefix(at + 1);
    }
}

bool IsQuadNumber(std::string_view part) {
    std::optional<int> value = SmallNumber(part, 3);
    return value && *value <= kMaxQuadNumber && (part.size() == 1 || part[0] != '0');
}

bool IsDottedQuad(std::string_view host) {
    std::vector<std::string_view> parts = Split(host, '.');
    return parts.size() == 4 && std::all_of(parts.begin(), parts.end(), IsQuadNumber);
}

bool IsLabel(std::string_view label) {
    return !label.empty() && label.size() <= kMaxLabelLength && label.front() != '-' &&
           label.back() != '-' && std::all_of(label.begin(), label.end(), [](char c) {
               return IsLetterOrDigit(c) || c == '-';
           });
}

bool IsPort(std::string_view port) {
    std::optional<int> value = SmallNumber(port, 5);
    return value && *value >= 1 && *value <= kMaxPort;
}

std::optional<std::string> HostProblem(std::string_view host) {
    if (host.empty()) return "there is no host before the port";
    std::vector<std::string_view> labels = Split(host, '.');
    if (IsAllDigits(labels.back())) {
        if (IsDottedQuad(host)) return std::nullopt;
        return "a dotted quad has four numbers from 0 to 255, without leading zeros";
    }
    if (host.size() > kMaxHostLength) return "a host name has at most 253 characters";
    if (!std::all_of(labels.begin(), labels.end(), IsLabel)) {
        return "a host name is made of labels of letters, digits and inner hyphens, each of at "
               "most 63 characters, joined by dots";
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> RouterAddressProblem(std::string_view text) {
    if (text.empty()) return "it is empty";
    if (std::count(text.begin(), text.end(), ':') > 1 || text.front() == '[') {
        return "IPv6 addresses are not supported";
    }
    std::size_t colon = text.find(':');
    if (colon != std::string_view::npos && !IsPort(text.substr(colon + 1))) {
        return "the port is a number from 1 to 65535";
    }
    return HostProblem(text.substr(0, colon));
}

}  // namespace tralvex::cli
