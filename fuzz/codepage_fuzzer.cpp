// The code page conversions over any bytes: each gives what converting the
// whole text at once with iconv gives, with "?" for each unit (a surrogate
// pair counting as one) that the source does not define or the target cannot
// hold; and a text read from code page 936 converts back and forth unchanged.

#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/codepage/codepage.hpp"

namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "code page fuzzer: %s\n", what);
    std::abort();
}

// The whole-text conversion the functions must match.
class Reference {
  public:
    Reference(const char* to, const char* from, std::string_view replacement, std::size_t unit)
        : handle_(iconv_open(to, from)), replacement_(replacement), unit_(unit) {
        if (handle_ == reinterpret_cast<iconv_t>(-1)) Fail("iconv_open");
    }

    std::string Convert(std::string_view source) {
        iconv(handle_, nullptr, nullptr, nullptr, nullptr);
        std::string out(source.size() * 4 + 16, '\0');
        char* in = const_cast<char*>(source.data());
        std::size_t inLeft = source.size();
        char* to = out.data();
        std::size_t outLeft = out.size();
        while (inLeft > 0) {
            if (iconv(handle_, &in, &inLeft, &to, &outLeft) != static_cast<std::size_t>(-1)) break;
            if (errno == E2BIG) Fail("reference buffer too small");
            std::memcpy(to, replacement_.data(), replacement_.size());
            to += replacement_.size();
            outLeft -= replacement_.size();
            std::size_t skip = std::min(SkipAt(in, inLeft), inLeft);
            in += skip;
            inLeft -= skip;
            iconv(handle_, nullptr, nullptr, nullptr, nullptr);
        }
        out.resize(out.size() - outLeft);
        return out;
    }

  private:
    std::size_t SkipAt(const char* at, std::size_t left) const {
        if (unit_ != 2 || left < 4) return unit_;
        auto unitAt = [at](std::size_t i) {
            return static_cast<unsigned char>(at[i]) | static_cast<unsigned char>(at[i + 1]) << 8;
        };
        bool pair = (unitAt(0) & 0xFC00) == 0xD800 && (unitAt(2) & 0xFC00) == 0xDC00;
        return pair ? 4 : 2;
    }

    iconv_t handle_;
    std::string replacement_;
    std::size_t unit_;
};

std::string BytesOf(std::u16string_view text) {
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2);
}

std::u16string UnitsOf(std::string_view bytes) {
    std::u16string units(bytes.size() / 2, u'\0');
    std::memcpy(units.data(), bytes.data(), units.size() * 2);
    return units;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Reference ansiToUtf16("UTF-16LE", "CP936", std::string_view("?\0", 2), 1);
    static Reference utf16ToAnsi("CP936", "UTF-16LE", "?", 2);
    static Reference utf8ToUtf16("UTF-16LE", "UTF-8", std::string_view("?\0", 2), 1);
    static Reference utf16ToUtf8("UTF-8", "UTF-16LE", "?", 2);

    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::u16string units = UnitsOf(bytes);

    const std::u16string fromAnsi = tralvex::AnsiToUtf16(bytes);
    if (BytesOf(fromAnsi) != ansiToUtf16.Convert(bytes)) Fail("AnsiToUtf16");
    if (BytesOf(tralvex::Utf8ToUtf16(bytes)) != utf8ToUtf16.Convert(bytes)) Fail("Utf8ToUtf16");
    if (tralvex::Utf16ToAnsi(units) != utf16ToAnsi.Convert(BytesOf(units))) Fail("Utf16ToAnsi");
    if (tralvex::Utf16ToUtf8(units) != utf16ToUtf8.Convert(BytesOf(units))) Fail("Utf16ToUtf8");

    // Every character read from code page 936 can be written back to it.
    if (tralvex::AnsiToUtf16(tralvex::Utf16ToAnsi(fromAnsi)) != fromAnsi) {
        Fail("a character read from code page 936 did not convert back");
    }
    if (tralvex::Utf8ToUtf16(tralvex::Utf16ToUtf8(fromAnsi)) != fromAnsi) {
        Fail("a character read from code page 936 did not go through UTF-8 unchanged");
    }
    return 0;
}
