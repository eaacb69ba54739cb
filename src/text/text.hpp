#pragma once

// Texts are byte strings in the ANSI code page (code page 936). Positions are
// 1-based and a search that finds nothing yields -1. Every helper here knows
// that a byte of 0x80 or more starts a double-byte character together with the
// byte after it, so no search matches on a trail byte and no case change
// touches one.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tralvex {

using Text = std::string;
using Bytes = std::vector<std::uint8_t>;

enum class CaseMode { Sensitive, Insensitive };

// True when the byte starts a double-byte character of code page 936.
constexpr bool IsLeadByte(char c) { return static_cast<unsigned char>(c) >= 0x80; }

// Position (1-based) of the first occurrence of `needle` at or after `start`,
// or -1. A start below 1 counts as 1. An empty needle is never found.
int FindText(std::string_view haystack, std::string_view needle, int start = 1,
             CaseMode mode = CaseMode::Sensitive);

// The piece of `text` that starts at the 1-based `start` and is `length` bytes
// long, cut at the end of the text; empty when `start` lies outside the text
// or `length` is not positive.
Text MidText(std::string_view text, int start, int length);

// The last `count` bytes of `text` (all of it when shorter).
Text RightText(std::string_view text, int count);

// ASCII letters changed, double-byte characters left alone.
Text ToLowerAscii(std::string_view text);
Text ToUpperAscii(std::string_view text);

// Leading / trailing / both: ASCII spaces and the full-width space A1 A1.
Text TrimLeadingBlanks(std::string_view text);
Text TrimTrailingBlanks(std::string_view text);
Text TrimBlanks(std::string_view text);

// The bytes as a text, up to (not including) the first zero byte.
Text BytesToText(const Bytes& bytes);
Bytes TextToBytes(std::string_view text);

// A real number in the "%.13g" format.
Text RealToText(double value);

}  // namespace tralvex
