#include "platform/codepage/codepage.hpp"

#include <gtest/gtest.h>

#include <ostream>

#include <thread>
#include <utility>
#include <vector>

namespace tralvex {
namespace {

TEST(CodePageTest, ChineseTextHasTheBytesOfCodePage936) {
    EXPECT_EQ(FromUtf8("配置"), "\xC5\xE4\xD6\xC3");
    EXPECT_EQ(FromUtf8("断 线"), "\xB6\xCF\x20\xCF\xDF");
    EXPECT_EQ(FromUtf8("连 接"), "\xC1\xAC\x20\xBD\xD3");
    EXPECT_EQ(AnsiToUtf8("\xC5\xE4\xD6\xC3"), "配置");
}

TEST(CodePageTest, RoundTripsThroughUtf16) {
    const Text ansi = FromUtf8("现在的IP：刷新中…");
    EXPECT_EQ(AnsiToUtf16(ansi), u"现在的IP：刷新中…");
    EXPECT_EQ(Utf16ToAnsi(AnsiToUtf16(ansi)), ansi);
    EXPECT_EQ(Utf16ToUtf8(u"é中"), "é中");
    EXPECT_EQ(Utf8ToUtf16("é中"), u"é中");
}

TEST(CodePageTest, AsciiAndZeroBytesPassUnchanged) {
    const std::string withZero("a\0b", 3);
    EXPECT_EQ(AnsiToUtf16(withZero), std::u16string(u"a\0b", 3));
    EXPECT_EQ(Utf16ToAnsi(std::u16string(u"a\0b", 3)), withZero);
    EXPECT_EQ(AnsiToUtf16(""), u"");
}

TEST(CodePageTest, WhatTheTargetCannotHoldBecomesQuestionMark) {
    // U+1F600 lies outside code page 936; the text around it survives.
    EXPECT_EQ(Utf16ToAnsi(u"a\U0001F600b"), "a?b");
    // A lone surrogate is no character at all.
    EXPECT_EQ(Utf16ToAnsi(std::u16string{u'x', char16_t(0xD800), u'y'}), "x?y");
    // A lead byte without its trail byte at the end of the text.
    EXPECT_EQ(AnsiToUtf16("ab\xD6"), u"ab?");
    // Bytes that are not UTF-8.
    EXPECT_EQ(Utf8ToUtf16("a\xFF"
                          "b"),
              u"a?b");
}

// Long texts are converted a stretch at a time around their ASCII runs; the
// result must be the one of converting each text whole, also where a
// character or a replacement meets the edge of a stretch. The runs of ASCII
// are long enough to hold whole blocks of the fast path and end inside one.
TEST(CodePageTest, LongMixedTextsConvertAsWholes) {
    const std::string pad(100, 'a');
    const std::u16string pad16(100, u'a');
    struct AnsiCase {
        std::string ansi;
        std::u16string utf16;
        std::string back;  // the UTF-16 text in code page 936 again
    };
    const std::vector<AnsiCase> ansiCases = {
        {pad + "\xC5\xE4\xD6\xC3" + pad, pad16 + u"配置" + pad16, pad + "\xC5\xE4\xD6\xC3" + pad},
        // The trail byte of 丂 (81 40) is an ASCII byte.
        {pad + "\x81\x40" + pad, pad16 + u"丂" + pad16, pad + "\x81\x40" + pad},
        // A byte that starts no character, then a pair with an ASCII trail.
        {"\xFF\x81\x40" + pad, u"?丂" + pad16, "?\x81\x40" + pad},
        // 80 is the euro sign; a lead byte at the very end has no trail.
        {pad + "\x80" + pad + "\xD6", pad16 + u"€" + pad16 + u"?", pad + "\x80" + pad + "?"},
    };
    for (const AnsiCase& c : ansiCases) {
        EXPECT_EQ(AnsiToUtf16(c.ansi), c.utf16) << AnsiToUtf8(c.ansi);
        EXPECT_EQ(Utf16ToAnsi(c.utf16), c.back) << Utf16ToUtf8(c.utf16);
    }
    const std::u16string loneHigh(1, char16_t(0xD800));
    EXPECT_EQ(Utf16ToAnsi(pad16 + loneHigh + pad16), pad + "?" + pad);
    EXPECT_EQ(Utf16ToUtf8(pad16 + loneHigh + u"é" + pad16), pad + "?é" + pad);
    EXPECT_EQ(Utf16ToUtf8(pad16 + u"\U0001F600" + pad16), pad + "\xF0\x9F\x98\x80" + pad);
    EXPECT_EQ(Utf8ToUtf16(pad + "\xF0\x9F\x98\x80" + pad), pad16 + u"\U0001F600" + pad16);
    // A sequence cut short by an ASCII byte: each byte of it is replaced.
    EXPECT_EQ(Utf8ToUtf16(pad + "\xE6\x96" + pad), pad16 + u"??" + pad16);
}

TEST(CodePageTest, ConvertsOnSeveralThreadsAtOnce) {
    auto work = [] {
        for (int i = 0; i < 200; ++i) {
            ASSERT_EQ(Utf8ToAnsi(AnsiToUtf8("\xC5\xE4\xD6\xC3")), "\xC5\xE4\xD6\xC3");
        }
    };
    std::thread a(work), b(work);
    a.join();
    b.join();
}

struct CharsetCase {
    const char* charset;
    const char* utf8;      // the text, written as UTF-8
    std::string expected;  // its bytes in the charset
};

void PrintTo(const CharsetCase& c, std::ostream* os) { *os << c.charset; }

class CharsetConverterTest : public ::testing::TestWithParam<CharsetCase> {};

TEST_P(CharsetConverterTest, ConvertsBothWays) {
    CharsetConverter converter(GetParam().charset);
    ASSERT_TRUE(converter.Known());
    const Text ansi = FromUtf8(GetParam().utf8);
    EXPECT_EQ(converter.FromAnsi(ansi), GetParam().expected);
    if (GetParam().expected.find('?') == std::string::npos) {
        EXPECT_EQ(converter.ToAnsi(GetParam().expected), ansi);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Charsets, CharsetConverterTest,
    ::testing::Values(CharsetCase{"UTF-8", "现在的IP：1.2.3.4", "现在的IP：1.2.3.4"},
                      CharsetCase{"GB18030", "刷新中…", "\xCB\xA2\xD0\xC2\xD6\xD0\xA1\xAD"},
                      CharsetCase{"ANSI_X3.4-1968", "现在的IP：1.2.3.4", "???IP?1.2.3.4"},
                      CharsetCase{"ISO-8859-1", "é中", "\xE9?"}));

TEST(CharsetConverterTest, BytesTheCharsetDoesNotDefineBecomeQuestionMarks) {
    CharsetConverter utf8("UTF-8");
    EXPECT_EQ(utf8.ToAnsi("a\xFF"
                          "b"),
              "a?b");
}

TEST(CharsetConverterTest, AnUnknownCharsetConvertsNothing) {
    CharsetConverter unknown("NO-SUCH-CHARSET");
    EXPECT_FALSE(unknown.Known());
    EXPECT_EQ(unknown.FromAnsi("abc"), "");
    EXPECT_EQ(unknown.ToAnsi("abc"), "");
}

}  // namespace
}  // namespace tralvex
