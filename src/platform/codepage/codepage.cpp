#include "platform/codepage/codepage.hpp"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <type_traits>

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

constexpr std::ptrdiff_t kAsciiBlock = 64;

// Whether the block of kAsciiBlock units at `from` is all ASCII, read as a few
// 64-bit words: a unit of 0x80 or more has a bit of the mask set in its lane.
template <typename Unit>
bool IsAsciiBlock(const Unit* from) {
    static_assert(sizeof(Unit) == 1 || sizeof(Unit) == 2);
    constexpr std::uint64_t kNotAscii =
        sizeof(Unit) == 1 ? 0x8080808080808080ULL : 0xFF80FF80FF80FF80ULL;
    constexpr std::size_t kWords = kAsciiBlock * sizeof(Unit) / sizeof(std::uint64_t);
    const char* bytes = reinterpret_cast<const char*>(from);
    std::uint64_t any = 0;
    for (std::size_t w = 0; w < kWords; ++w) {
        std::uint64_t word;
        std::memcpy(&word, bytes + w * sizeof word, sizeof word);
        any |= word;
    }
    return (any & kNotAscii) == 0;
}

// Copies the ASCII units from `from` on to `to`, each cast to the target's
// unit type (ASCII is the same in every encoding here), up to the first unit
// that is not ASCII or the end; returns where it stopped and advances `to`.
// Texts are often long and mostly ASCII: blocks that are all ASCII are told
// by a few word loads and copied whole, in a loop the compiler vectorises.
template <typename Unit, typename Out>
const Unit* CopyAscii(const Unit* from, const Unit* end, Out*& to) {
    using Unsigned = std::make_unsigned_t<Unit>;
    while (end - from >= kAsciiBlock && IsAsciiBlock(from)) {
        for (std::ptrdiff_t k = 0; k < kAsciiBlock; ++k) {
            to[k] = static_cast<Out>(static_cast<Unsigned>(from[k]));
        }
        from += kAsciiBlock;
        to += kAsciiBlock;
    }
    while (from != end && static_cast<Unsigned>(*from) < 0x80) {
        *to++ = static_cast<Out>(static_cast<Unsigned>(*from++));
    }
    return from;
}

template <typename Unit>
bool IsAsciiUnit(Unit unit) {
    return static_cast<std::make_unsigned_t<Unit>>(unit) < 0x80;
}

// Writes the converted units (their bytes as iconv gave them) at `to`, which
// points into `out`, and advances it. `out` is grown first when it would not
// hold them and then one unit for each of the `stillToCome` units of the
// source, as every ASCII unit gives one.
template <typename Out>
void AppendConverted(std::basic_string<Out>& out, Out*& to, const std::string& converted,
                     std::size_t stillToCome) {
    const std::size_t used = static_cast<std::size_t>(to - out.data());
    const std::size_t count = converted.size() / sizeof(Out);
    if (used + count + stillToCome > out.size()) out.resize(used + count + stillToCome);
    std::memcpy(out.data() + used, converted.data(), count * sizeof(Out));
    to = out.data() + used + count;
}

// In code page 936 the ASCII byte right after a byte of 0x80 or more may be
// the trail byte of a double-byte character; in UTF-8 and UTF-16 an ASCII unit
// is always a character of its own.
enum class AsciiAfterOther { MayTrail, StandsAlone };

// Converts `source` a stretch at a time: ASCII units are copied directly and
// only the stretches of other units go through iconv. A stretch ends before
// the next ASCII unit, or in code page 936 just after it: that byte is then
// either a trail byte or a character of its own. So no character spans two
// stretches, and the result is the one of converting the whole text at once
// with the same replacements.
template <typename Out, typename Unit>
std::basic_string<Out> ConvertByStretches(std::basic_string_view<Unit> source, Converter& converter,
                                          AsciiAfterOther ascii) {
    // One unit for each ASCII unit; AppendConverted makes room for the rest.
    std::basic_string<Out> out(source.size(), Out{});
    Out* to = out.data();
    const Unit* at = source.data();
    const Unit* end = at + source.size();
    while (at != end) {
        const Unit* other = CopyAscii(at, end, to);
        if (other == end) break;
        at = std::find_if(other, end, IsAsciiUnit<Unit>);
        if (ascii == AsciiAfterOther::MayTrail && at != end) ++at;
        const std::size_t bytes = static_cast<std::size_t>(at - other) * sizeof(Unit);
        AppendConverted(out, to, converter.Convert(reinterpret_cast<const char*>(other), bytes),
                        static_cast<std::size_t>(end - at));
    }
    out.resize(static_cast<std::size_t>(to - out.data()));
    return out;
}

}  // namespace

// UTF-16 texts are in the machine's byte order, which is little-endian on
// every machine this builds for, and go to iconv as "UTF-16LE".
std::u16string AnsiToUtf16(std::string_view ansi) {
    return ConvertByStretches<char16_t>(ansi, AnsiToUtf16Converter(), AsciiAfterOther::MayTrail);
}

Text Utf16ToAnsi(std::u16string_view utf16) {
    return ConvertByStretches<char>(utf16, Utf16ToAnsiConverter(), AsciiAfterOther::StandsAlone);
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
    return ConvertByStretches<char>(utf16, Utf16ToUtf8Converter(), AsciiAfterOther::StandsAlone);
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
    return ConvertByStretches<char16_t>(utf8, Utf8ToUtf16Converter(), AsciiAfterOther::StandsAlone);
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
    std::u16string utf16 = AnsiToUtf16(ansi);
    return converters_->fromUtf16.Convert(reinterpret_cast<const char*>(utf16.data()),
                                          utf16.size() * sizeof(char16_t));
}

Text CharsetConverter::ToAnsi(std::string_view bytes) {
    std::string units = converters_->toUtf16.Convert(bytes.data(), bytes.size());
    std::u16string utf16(units.size() / sizeof(char16_t), u'\0');
    std::memcpy(utf16.data(), units.data(), utf16.size() * sizeof(char16_t));
    return Utf16ToAnsi(utf16);
}

}  // namespace tralvex
