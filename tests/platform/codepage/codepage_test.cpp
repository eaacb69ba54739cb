#include "platform/codepage/codepage.hpp"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace tralvex
