#include "platform/codepage/codepage.hpp"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tralvex {
namespace {

// One iconv descriptor per direction and thread: opening one is far dearer
// than a conversion, and a descriptor must not be shared between threads.
class Converter {
  public:
    Converter(const char* to, const char* from, std::string_view replacement, std::size_t unit)
        : handle_(iconv_open(to, from)), replacement_(replacement), unit_(unit) {}
    ~Converter() {
        if (Valid()) iconv_close(handle_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool Valid() const { return handle_ != reinterpret_cast<iconv_t>(-1); }

    // Converts `size` bytes; a unit the target cannot take, or an invalid or
    // cut sequence in the source, is replaced and skipped.
    std::string Convert(const char* data, std::size_t size) {
        std::string out;
        if (!Valid()) return out;
        iconv(handle_, nullptr, nullptr, nullptr, nullptr);
        out.reserve(size * 2);
        char* in = const_cast<char*>(data);
        std::size_t inLeft = size;
        char buffer[4096];
        while (inLeft > 0) {
            char* outPtr = buffer;
            std::size_t outLeft = sizeof buffer;
            std::size_t rc = iconv(handle_, &in, &inLeft, &outPtr, &outLeft);
            out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
            if (rc != static_cast<std::size_t>(-1) || errno == E2BIG) continue;
            // EILSEQ or EINVAL: replace one source unit and go on.
            out.append(replacement_);
            std::size_t skip = std::min(UnitSizeAt(in, inLeft), inLeft);
            in += skip;
            inLeft -= skip;
            iconv(handle_, nullptr, nullptr, nullptr, nullptr);
        }
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        iconv(handle_, nullptr, nullptr, &outPtr, &outLeft);
        out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
        return out;
    }

  private:
    // A surrogate pair is one character of a UTF-16 source and is replaced
    // as one.
    std::size_t UnitSizeAt(const char* at, std::size_t left) const {
        if (unit_ != 2 || left < 4) return unit_;
        auto unitAt = [at](std::size_t i) {
            return static_cast<unsigned>(static_cast<unsigned char>(at[i])) |
                   static_cast<unsigned>(static_cast<unsigned char>(at[i + 1])) << 8;
        };
        bool pair = (unitAt(0) & 0xFC00) == 0xD800 && (unitAt(2) & 0xFC00) == 0xDC00;
        return pair ? 4 : 2;
    }

    iconv_t handle_;
    std::string replacement_;
    std::size_t unit_;
};

constexpr std::string_view kQuestionUtf16{"?\0", 2};

Converter& AnsiToUtf16Converter() {
    thread_local Converter c("UTF-16LE", "CP936", kQuestionUtf16, 1);
    return c;
}
Converter& Utf16ToAnsiConverter() {
    thread_local Converter c("CP936", "UTF-16LE", "?", 2);
    return c;
}
Converter& Utf16ToUtf8Converter() {
    thread_local Converter c("UTF-8", "UTF-16LE", "?", 2);
    return c;
}
Converter& Utf8ToUtf16Converter() {
    thread_local Converter c("UTF-16LE", "UTF-8", kQuestionUtf16, 1);
    return c;
}

std::u16string BytesToUtf16(const std::string& bytes) {
    std::u16string out(bytes.size() / 2, u'\0');
    std::memcpy(out.data(), bytes.data(), out.size() * 2);
    return out;
}

std::string Utf16Bytes(std::u16string_view utf16) {
    std::string bytes(utf16.size() * 2, '\0');
    std::memcpy(bytes.data(), utf16.data(), bytes.size());
    return bytes;
}

bool IsAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool IsAscii(std::u16string_view text) {
    return std::all_of(text.begin(), text.end(), [](char16_t c) { return c < 0x80; });
}

}  // namespace

// ASCII is the same in every code page here; router pages are mostly ASCII, so
// it is widened or narrowed directly without a trip through iconv.
std::u16string AnsiToUtf16(std::string_view ansi) {
    if (IsAscii(ansi)) return std::u16string(ansi.begin(), ansi.end());
    return BytesToUtf16(AnsiToUtf16Converter().Convert(ansi.data(), ansi.size()));
}

Text Utf16ToAnsi(std::u16string_view utf16) {
    if (IsAscii(utf16)) {
        Text out(utf16.size(), '\0');
        std::transform(utf16.begin(), utf16.end(), out.begin(),
                       [](char16_t c) { return static_cast<char>(c); });
        return out;
    }
    std::string bytes = Utf16Bytes(utf16);
    return Utf16ToAnsiConverter().Convert(bytes.data(), bytes.size());
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
    std::string bytes = Utf16Bytes(utf16);
    return Utf16ToUtf8Converter().Convert(bytes.data(), bytes.size());
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
    return BytesToUtf16(Utf8ToUtf16Converter().Convert(utf8.data(), utf8.size()));
}

std::string AnsiToUtf8(std::string_view ansi) { return Utf16ToUtf8(AnsiToUtf16(ansi)); }

Text Utf8ToAnsi(std::string_view utf8) { return Utf16ToAnsi(Utf8ToUtf16(utf8)); }

// Both directions go through UTF-16, as the ANSI conversions above do.
class CharsetConverter::Converters {
  public:
    explicit Converters(const std::string& charset)
        : fromUtf16(charset.c_str(), "UTF-16LE", "?", 2),
          toUtf16("UTF-16LE", charset.c_str(), kQuestionUtf16, 1) {}

    Converter fromUtf16;
    Converter toUtf16;
};

CharsetConverter::CharsetConverter(const std::string& charset)
    : converters_(std::make_unique<Converters>(charset)) {}

CharsetConverter::~CharsetConverter() = default;

bool CharsetConverter::Known() const {
    return converters_->fromUtf16.Valid() && converters_->toUtf16.Valid();
}

std::string CharsetConverter::FromAnsi(std::string_view ansi) {
    std::string bytes = Utf16Bytes(AnsiToUtf16(ansi));
    return converters_->fromUtf16.Convert(bytes.data(), bytes.size());
}

Text CharsetConverter::ToAnsi(std::string_view bytes) {
    return Utf16ToAnsi(BytesToUtf16(converters_->toUtf16.Convert(bytes.data(), bytes.size())));
}

}  // namespace tralvex
