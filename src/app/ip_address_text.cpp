#include "app/ip_address_text.hpp"

#include <vector>

namespace tralvex {
namespace {

constexpr int kFieldMax = 255;
constexpr std::size_t kPartCount = 4;

// The number a leading-number parser reads from the start of `part`. Digits
// beyond what a field can hold stop counting, so a long run of digits stays
// out of range instead of wrapping around into it.
long LeadingNumber(std::string_view part) {
    std::size_t i = 0;
    bool negative = false;
    if (i < part.size() && (part[i] == '+' || part[i] == '-')) {
        negative = part[i] == '-';
        ++i;
    }
    long value = 0;
    for (; i < part.size() && part[i] >= '0' && part[i] <= '9'; ++i) {
        if (value <= kFieldMax) value = value * 10 + (part[i] - '0');
    }
    return negative ? -value : value;
}

// The text cut at its first three dots; fewer parts when it has fewer dots.
std::vector<std::string_view> SplitAtFirstThreeDots(std::string_view text) {
    std::vector<std::string_view> parts;
    while (parts.size() + 1 < kPartCount) {
        std::size_t dot = text.find('.');
        if (dot == std::string_view::npos) break;
        parts.push_back(text.substr(0, dot));
        text.remove_prefix(dot + 1);
    }
    parts.push_back(text);
    return parts;
}

}  // namespace

Text AddressFieldsToText(const AddressFields& fields) {
    bool allBlank = true;
    for (const std::optional<int>& field : fields) allBlank = allBlank && !field;
    if (allBlank) return Text();
    Text text;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) text += '.';
        text += std::to_string(fields[i].value_or(0));
    }
    return text;
}

AddressFields AddressTextToFields(std::string_view text) {
    const Text trimmed = TrimBlanks(text);
    const std::vector<std::string_view> parts = SplitAtFirstThreeDots(trimmed);
    AddressFields fields;
    if (parts.size() != kPartCount) return fields;
    AddressFields filled;
    for (std::size_t i = 0; i < kPartCount; ++i) {
        long number = LeadingNumber(TrimBlanks(parts[i]));
        if (number < 0 || number > kFieldMax) return fields;
        filled[i] = static_cast<int>(number);
    }
    return filled;
}

}  // namespace tralvex
