#include "text/text.hpp"

#include <gtest/gtest.h>

namespace tralvex {
namespace {

// "中文" in code page 936 is D6 D0 CE C4; its second byte D0 followed by the
// first of the next character is no place for a match to start.
const Text kChinese = "\xD6\xD0\xCE\xC4";

struct FindCase {
    Text haystack;
    Text needle;
    int start;
    CaseMode mode;
    int expected;
};

class FindTextTest : public ::testing::TestWithParam<FindCase> {};

TEST_P(FindTextTest, FindsFirstOccurrenceAtOrAfterStart) {
    const FindCase& c = GetParam();
    EXPECT_EQ(FindText(c.haystack, c.needle, c.start, c.mode), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FindTextTest,
    ::testing::Values(FindCase{"abcabc", "bc", 1, CaseMode::Sensitive, 2},
                      FindCase{"abcabc", "bc", 3, CaseMode::Sensitive, 5},
                      FindCase{"abcabc", "bc", 6, CaseMode::Sensitive, -1},
                      FindCase{"abcabc", "BC", 1, CaseMode::Sensitive, -1},
                      FindCase{"abcabc", "BC", 1, CaseMode::Insensitive, 2},
                      FindCase{"abc", "", 1, CaseMode::Sensitive, -1},
                      FindCase{"", "a", 1, CaseMode::Sensitive, -1},
                      FindCase{"abc", "c", 0, CaseMode::Sensitive, 3},
                      FindCase{"ab", "abc", 1, CaseMode::Sensitive, -1},
                      // D0 CE straddles the two characters: never a match.
                      FindCase{kChinese, "\xD0\xCE", 1, CaseMode::Sensitive, -1},
                      FindCase{kChinese + "\xD0\xCE", "\xD0\xCE", 1, CaseMode::Sensitive, 5},
                      FindCase{kChinese, "\xCE\xC4", 1, CaseMode::Sensitive, 3},
                      // A start on a trail byte moves on to the next character.
                      FindCase{"\xD6"
                               "a"
                               "xa",
                               "a", 2, CaseMode::Sensitive, 4},
                      // Case-insensitive search leaves double-byte characters alone:
                      // the trail byte 0x61 ('a') of B0 61 is not the letter A.
                      FindCase{"\xB0"
                               "a",
                               "A", 1, CaseMode::Insensitive, -1}));

TEST(MidTextTest, CutsAtTheEndAndRejectsStartsOutside) {
    EXPECT_EQ(MidText("abcdef", 2, 3), "bcd");
    EXPECT_EQ(MidText("abcdef", 5, 10), "ef");
    EXPECT_EQ(MidText("abcdef", 7, 1), "");
    EXPECT_EQ(MidText("abcdef", 0, 3), "");
    EXPECT_EQ(MidText("abcdef", 1, 0), "");
    EXPECT_EQ(MidText("abcdef", 1, -2), "");
    EXPECT_EQ(RightText("abcdef", 2), "ef");
    EXPECT_EQ(RightText("ab", 9), "ab");
    EXPECT_EQ(RightText("ab", 0), "");
}

TEST(CaseTest, ChangesAsciiLettersOnly) {
    // B0 41 is one double-byte character whose trail byte is 'A'.
    EXPECT_EQ(ToLowerAscii("POST \xB0\x41Z"), "post \xB0\x41z");
    EXPECT_EQ(ToUpperAscii("post \xB0\x61z"), "POST \xB0\x61Z");
    EXPECT_EQ(ToUpperAscii(kChinese), kChinese);
}

TEST(TrimTest, RemovesAsciiAndFullWidthBlanks) {
    EXPECT_EQ(TrimLeadingBlanks("  \xA1\xA1 a=1; "), "a=1; ");
    EXPECT_EQ(TrimTrailingBlanks(" a \xA1\xA1  "), " a");
    EXPECT_EQ(TrimBlanks(" \xA1\xA1x\xA1\xA1 "), "x");
    EXPECT_EQ(TrimBlanks("   "), "");
    // A1 A1 inside "B0 A1 A1 ..." is not a blank: B0 A1 is one character.
    EXPECT_EQ(TrimTrailingBlanks("\xB0\xA1\xA1"), "\xB0\xA1\xA1");
}

TEST(BytesTest, TextStopsAtFirstZeroByte) {
    EXPECT_EQ(BytesToText(Bytes{'a', 'b', 'c', 0, 'd', 'e', 'f'}), "abc");
    EXPECT_EQ(BytesToText(Bytes{}), "");
    EXPECT_EQ(BytesToText(TextToBytes("xyz")), "xyz");
}

TEST(RealToTextTest, UsesThirteenSignificantDigits) {
    EXPECT_EQ(RealToText(0), "0");
    EXPECT_EQ(RealToText(3), "3");
    EXPECT_EQ(RealToText(12.5), "12.5");
    EXPECT_EQ(RealToText(-7), "-7");
    EXPECT_EQ(RealToText(1.0 / 3.0), "0.3333333333333");
    EXPECT_EQ(RealToText(1e20), "1e+20");
}

}  // namespace
}  // namespace tralvex
