#include "automation/conversions.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "platform/codepage/codepage.hpp"

namespace tralvex::automation {
namespace {

std::u16string AsciiToString16(std::string_view ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

std::optional<double> ParseNumber(const std::u16string& text) {
    std::string ascii;
    for (char16_t c : text) {
        if (c > 0x7F) return std::nullopt;
        ascii.push_back(static_cast<char>(c));
    }
    std::size_t first = ascii.find_first_not_of(' ');
    std::size_t last = ascii.find_last_not_of(' ');
    if (first == std::string::npos) return std::nullopt;
    ascii = ascii.substr(first, last - first + 1);
    char* end = nullptr;
    double value = std::strtod(ascii.c_str(), &end);
    if (end != ascii.c_str() + ascii.size()) return std::nullopt;
    return value;
}

bool EqualsIgnoringAsciiCase(const std::u16string& text, std::u16string_view word) {
    if (text.size() != word.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char16_t a = text[i] >= u'A' && text[i] <= u'Z' ? text[i] - u'A' + u'a' : text[i];
        if (a != word[i]) return false;
    }
    return true;
}

}  // namespace

std::u16string RealToString16(double value) {
    if (value == 0.0) return u"0";  // -0 as well
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.15G", value);
    return AsciiToString16(buffer);
}

std::optional<std::u16string> ToString16(const Variant& value) {
    switch (value.GetKind()) {
        case Variant::Kind::Empty:
            return std::u16string{};
        case Variant::Kind::Bool:
            return *value.GetIf<bool>() ? u"-1" : u"0";
        case Variant::Kind::Int32:
            return AsciiToString16(std::to_string(*value.GetIf<std::int32_t>()));
        case Variant::Kind::Real:
            return RealToString16(*value.GetIf<double>());
        case Variant::Kind::Text:
            return *value.GetIf<std::u16string>();
        case Variant::Kind::Missing:
        case Variant::Kind::Bytes:
        case Variant::Kind::Object:
            break;
    }
    return std::nullopt;
}

std::optional<double> ToReal(const Variant& value) {
    switch (value.GetKind()) {
        case Variant::Kind::Empty:
            return 0.0;
        case Variant::Kind::Bool:
            return *value.GetIf<bool>() ? -1.0 : 0.0;
        case Variant::Kind::Int32:
            return static_cast<double>(*value.GetIf<std::int32_t>());
        case Variant::Kind::Real:
            return *value.GetIf<double>();
        case Variant::Kind::Text:
            return ParseNumber(*value.GetIf<std::u16string>());
        case Variant::Kind::Missing:
        case Variant::Kind::Bytes:
        case Variant::Kind::Object:
            break;
    }
    return std::nullopt;
}

std::optional<std::int32_t> ToInt32(const Variant& value) {
    std::optional<double> real = ToReal(value);
    if (!real || std::isnan(*real)) return std::nullopt;
    // The platform rounds half to even when it makes an integer of a real.
    double rounded = std::nearbyint(*real);
    if (rounded < static_cast<double>(std::numeric_limits<std::int32_t>::min()) ||
        rounded > static_cast<double>(std::numeric_limits<std::int32_t>::max())) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(rounded);
}

std::optional<bool> ToBool(const Variant& value) {
    if (const auto* text = value.GetIf<std::u16string>()) {
        if (EqualsIgnoringAsciiCase(*text, u"true")) return true;
        if (EqualsIgnoringAsciiCase(*text, u"false")) return false;
    }
    if (const bool* b = value.GetIf<bool>()) return *b;
    std::optional<double> real = ToReal(value);
    if (!real) return std::nullopt;
    return *real != 0.0;
}

Text VariantToText(const Variant& value) {
    std::optional<std::u16string> text = ToString16(value);
    return text ? Utf16ToAnsi(*text) : Text{};
}

Bytes VariantToBytes(const Variant& value) {
    const ByteArray* array = value.GetIf<ByteArray>();
    return array ? array->data : Bytes{};
}

Bytes VariantToBytes(Variant&& value) {
    ByteArray* array = value.GetIf<ByteArray>();
    Bytes bytes = array ? std::move(array->data) : Bytes{};
    value.Clear();
    return bytes;
}

Variant BytesToVariant(const Bytes& bytes) { return Variant(ByteArray{bytes, 1}); }

}  // namespace tralvex::automation
