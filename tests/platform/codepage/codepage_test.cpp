#include "platform/codepage/codepage.hpp"

#include <gtest/gtest.h>

#include <ostream>

#include <thread>

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
