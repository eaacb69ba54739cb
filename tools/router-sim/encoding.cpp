#include <algorithm>
#include <charconv>

#include "router_sim.hpp"

namespace tralvex::routersim {
namespace {

constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::string Base64(std::string_view bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        std::size_t present = std::min<std::size_t>(3, bytes.size() - i);
        std::uint32_t group = 0;
        for (std::size_t k = 0; k < 3; ++k) {
            std::uint32_t byte = k < present ? static_cast<unsigned char>(bytes[i + k]) : 0;
            group = (group << 8) | byte;
        }
        for (std::size_t k = 0; k < 4; ++k) {
            // Two bytes give three characters, one byte two; the rest is padding.
            out += k <= present ? kAlphabet[(group >> (18 - 6 * k)) & 63] : '=';
        }
    }
    return out;
}

std::string ExpectedCookie(std::string_view password) {
    return std::string(kCookiePrefix) + Base64("admin:" + std::string(password));
}

std::string DecodeQueryComponent(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            out += ' ';
        } else if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
                   HexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

bool IsDottedQuad(std::string_view text) {
    for (int part = 0; part < 4; ++part) {
        std::size_t digits = 0;
        while (digits < text.size() && IsDigit(text[digits])) ++digits;
        int value = 0;
        if (digits == 0 || digits > 3) return false;
        std::from_chars(text.data(), text.data() + digits, value);
        if (value > 255) return false;
        text.remove_prefix(digits);
        if (part < 3) {
            if (text.empty() || text.front() != '.') return false;
            text.remove_prefix(1);
        }
    }
    return text.empty();
}

}  // namespace tralvex::routersim
