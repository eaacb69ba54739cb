#include "text/text.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace tralvex {
namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool BytesEqual(char a, char b, CaseMode mode) {
    return mode == CaseMode::Sensitive ? a == b : LowerAscii(a) == LowerAscii(b);
}

bool MatchesAt(std::string_view haystack, std::size_t at, std::string_view needle, CaseMode mode) {
    for (std::size_t k = 0; k < needle.size(); ++k) {
        if (!BytesEqual(haystack[at + k], needle[k], mode)) return false;
    }
    return true;
}

// Size of the character that starts at `at`: 2 for a lead byte with a byte
// after it, 1 otherwise.
std::size_t CharSizeAt(std::string_view text, std::size_t at) {
    return (IsLeadByte(text[at]) && at + 1 < text.size()) ? 2 : 1;
}

template <typename Change>
Text ChangeAsciiCase(std::string_view text, Change change) {
    Text out(text);
    for (std::size_t i = 0; i < out.size(); i += CharSizeAt(out, i)) {
        out[i] = change(out[i]);
    }
    return out;
}

constexpr std::string_view kFullWidthSpace = "\xA1\xA1";

std::size_t LeadingBlankBytes(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == ' ') {
            i += 1;
        } else if (text.substr(i, 2) == kFullWidthSpace) {
            i += 2;
        } else {
            break;
        }
    }
    return i;
}

// Where the trailing blanks begin; a walk from the front keeps the double-byte
// characters in step, so A1 A1 is only taken as a whole character.
std::size_t TrailingBlanksStart(std::string_view text) {
    std::size_t blanksStart = 0;
    bool inBlanks = false;
    for (std::size_t i = 0; i < text.size();) {
        std::size_t size = CharSizeAt(text, i);
        bool blank = text[i] == ' ' || (size == 2 && text.substr(i, 2) == kFullWidthSpace);
        if (blank && !inBlanks) blanksStart = i;
        inBlanks = blank;
        i += size;
    }
    return inBlanks ? blanksStart : text.size();
}

}  // namespace

int FindText(std::string_view haystack, std::string_view needle, int start, CaseMode mode) {
    if (needle.empty() || haystack.size() < needle.size()) return -1;
    std::size_t from = start < 1 ? 0 : static_cast<std::size_t>(start - 1);
    std::size_t last = haystack.size() - needle.size();
    // Walk character by character from the front, so that a start or a match
    // never falls on the second byte of a double-byte character.
    std::size_t i = 0;
    while (i < from && i < haystack.size()) i += CharSizeAt(haystack, i);
    for (; i <= last; i += CharSizeAt(haystack, i)) {
        if (MatchesAt(haystack, i, needle, mode)) return static_cast<int>(i + 1);
    }
    return -1;
}

Text MidText(std::string_view text, int start, int length) {
    if (start < 1 || length < 1 || static_cast<std::size_t>(start) > text.size()) return {};
    return Text(text.substr(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(length)));
}

Text RightText(std::string_view text, int count) {
    if (count < 1) return {};
    std::size_t n = std::min(text.size(), static_cast<std::size_t>(count));
    return Text(text.substr(text.size() - n));
}

Text ToLowerAscii(std::string_view text) { return ChangeAsciiCase(text, LowerAscii); }

Text ToUpperAscii(std::string_view text) { return ChangeAsciiCase(text, UpperAscii); }

Text TrimLeadingBlanks(std::string_view text) { return Text(text.substr(LeadingBlankBytes(text))); }

Text TrimTrailingBlanks(std::string_view text) {
    return Text(text.substr(0, TrailingBlanksStart(text)));
}

Text TrimBlanks(std::string_view text) { return TrimTrailingBlanks(TrimLeadingBlanks(text)); }

Text BytesToText(const Bytes& bytes) {
    if (bytes.empty()) return {};
    const auto* data = reinterpret_cast<const char*>(bytes.data());
    const void* zero = std::memchr(data, 0, bytes.size());
    return Text(data, zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - data)
                           : bytes.size());
}

Bytes TextToBytes(std::string_view text) { return Bytes(text.begin(), text.end()); }

Text RealToText(double value) {
    char buffer[64];
    int n = std::snprintf(buffer, sizeof buffer, "%.13g", value);
    return Text(buffer, static_cast<std::size_t>(n));
}

}  // namespace tralvex
