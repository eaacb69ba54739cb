#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "automation/calls.hpp"
#include "automation/conversions.hpp"
#include "automation/registry.hpp"
#include "platform/codepage/codepage.hpp"
#include "platform/regexp/regexp_component.hpp"
#include "support/fake_component.hpp"
#include "support/sample_status_page.hpp"

namespace tralvex {
namespace {

using automation::AutomationObject;
using automation::CallMethod;
using automation::GetProperty;
using automation::HResult;
using automation::LastCallOutcome;
using automation::MakeHResult;
using automation::PutProperty;
using automation::Variant;
using testing::ScopedCoInit;

constexpr HResult kSyntaxError = MakeHResult(0x800A1399);
constexpr HResult kUnexpectedQuantifier = MakeHResult(0x800A139A);
constexpr HResult kExpectedBracket = MakeHResult(0x800A139B);
constexpr HResult kExpectedParen = MakeHResult(0x800A139C);
constexpr HResult kInvalidRange = MakeHResult(0x800A139D);
constexpr HResult kOutOfStackSpace = MakeHResult(0x800A001C);
constexpr HResult kInvalidCall = MakeHResult(0x800A0005);

const std::optional<std::u16string> kUnset;

struct Flags {
    bool ignoreCase = false;
    bool global = false;
    bool multiline = false;
};
constexpr Flags kGlobal{false, true, false};
constexpr Flags kIgnoreCase{true, false, false};
constexpr Flags kMultilineGlobal{false, true, true};

struct Found {
    std::u16string value;
    int firstIndex = 0;
    int length = 0;
    std::vector<std::optional<std::u16string>> groups;

    friend bool operator==(const Found&, const Found&) = default;
    friend void PrintTo(const Found& found, std::ostream* out) {
        *out << "\"" << Utf16ToUtf8(found.value) << "\"@" << found.firstIndex << "+" << found.length
             << " groups(";
        for (const auto& group : found.groups) {
            *out << (group ? "\"" + Utf16ToUtf8(*group) + "\"" : std::string("unset")) << " ";
        }
        *out << ")";
    }
};

// A match of `value` at `index`, with the groups given.
Found At(int index, std::u16string value, std::vector<std::optional<std::u16string>> groups = {}) {
    int length = static_cast<int>(value.size());
    return {std::move(value), index, length, std::move(groups)};
}

Variant U16(std::u16string text) { return Variant(std::move(text)); }

std::string Describe(const std::u16string& pattern) {
    return "pattern /" + Utf16ToUtf8(pattern) + "/";
}

AutomationObject NewRegExp(const std::u16string& pattern, Flags flags = {}) {
    AutomationObject regex;
    EXPECT_TRUE(automation::CreateObject(regex, "VBScript.RegExp"));
    EXPECT_TRUE(PutProperty(regex, "Pattern", {}, U16(pattern)));
    EXPECT_TRUE(PutProperty(regex, "IgnoreCase", {}, flags.ignoreCase));
    EXPECT_TRUE(PutProperty(regex, "Global", {}, flags.global));
    EXPECT_TRUE(PutProperty(regex, "Multiline", {}, flags.multiline));
    return regex;
}

Found ReadMatch(const AutomationObject& matches, int index) {
    AutomationObject match = GetProperty<AutomationObject>(matches, "Item", {index});
    Found found;
    found.value = *automation::ToString16(GetProperty<Variant>(match, "Value"));
    found.firstIndex = static_cast<int>(GetProperty<double>(match, "FirstIndex"));
    found.length = static_cast<int>(GetProperty<double>(match, "Length"));
    AutomationObject groups = GetProperty<AutomationObject>(match, "SubMatches");
    auto count = static_cast<int>(GetProperty<double>(groups, "Count"));
    for (int g = 0; g < count; ++g) {
        Variant group = GetProperty<Variant>(groups, "Item", {g});
        found.groups.push_back(group.IsEmpty() ? kUnset : automation::ToString16(group));
    }
    return found;
}

// Every match of one Execute, read through the collection's members.
std::vector<Found> Execute(const AutomationObject& regex, const Variant& text) {
    AutomationObject matches = CallMethod<AutomationObject>(regex, "Execute", {text});
    EXPECT_EQ(LastCallOutcome().hr, automation::kOk);
    std::vector<Found> found;
    auto count = static_cast<int>(GetProperty<double>(matches, "Count"));
    for (int i = 0; i < count; ++i) found.push_back(ReadMatch(matches, i));
    return found;
}

std::u16string Replace(const AutomationObject& regex, const Variant& text,
                       const Variant& replacement) {
    Variant result = CallMethod<Variant>(regex, "Replace", {text, replacement});
    EXPECT_EQ(LastCallOutcome().hr, automation::kOk);
    return automation::ToString16(result).value_or(u"<not a text>");
}

class RegExpTest : public ::testing::Test {
  protected:
    RegExpTest() { RegisterRegExpComponent(); }

    ScopedCoInit init_;
};

TEST_F(RegExpTest, PropertiesHaveTheirDefaultsAndKeepWhatIsWritten) {
    AutomationObject regex;
    ASSERT_TRUE(automation::CreateObject(regex, "vbscript.regexp"));
    EXPECT_EQ(GetProperty<Variant>(regex, "Pattern"), U16(u""));
    for (const char* flag : {"IgnoreCase", "Global", "Multiline"}) {
        EXPECT_EQ(GetProperty<Variant>(regex, flag), Variant(false)) << flag;
        EXPECT_TRUE(PutProperty(regex, flag, {}, true));
        EXPECT_EQ(GetProperty<Variant>(regex, flag), Variant(true)) << flag;
    }
    EXPECT_TRUE(PutProperty(regex, "pattern", {}, U16(u"a(b")));
    EXPECT_EQ(GetProperty<Variant>(regex, "Pattern"), U16(u"a(b"));
}

TEST_F(RegExpTest, DottedQuadsOfAStatusPageInTextOrder) {
    std::u16string page = Utf8ToUtf16(testing::SampleStatusPageUtf8());
    std::vector<Found> expected;
    std::size_t from = 0;
    for (const std::string& quad : testing::SampleStatusPageQuads()) {
        std::u16string value(quad.begin(), quad.end());
        from = page.find(value, from);
        ASSERT_NE(from, std::u16string::npos);
        expected.push_back(At(static_cast<int>(from), value));
        from += value.size();
    }
    AutomationObject regex = NewRegExp(uR"(\d+\.\d+\.\d+\.\d+)", {true, true, true});
    EXPECT_EQ(Execute(regex, U16(page)), expected);

    AutomationObject first = NewRegExp(uR"(\d+\.\d+\.\d+\.\d+)");
    EXPECT_EQ(Execute(first, U16(page)), std::vector<Found>{expected.front()});
}

struct MatchCase {
    std::u16string pattern;
    Flags flags;
    std::u16string text;
    std::vector<Found> expected;
};

void ExpectMatches(const std::vector<MatchCase>& cases) {
    for (const MatchCase& c : cases) {
        AutomationObject regex = NewRegExp(c.pattern, c.flags);
        EXPECT_EQ(Execute(regex, U16(c.text)), c.expected)
            << Describe(c.pattern) << " on \"" << Utf16ToUtf8(c.text) << "\"";
    }
}

TEST_F(RegExpTest, FlagsForCaseAndLines) {
    ExpectMatches({
        {u"abc", kGlobal, u"xabcabc", {At(1, u"abc"), At(4, u"abc")}},
        {u"abc", {}, u"xabcabc", {At(1, u"abc")}},
        {u"ABC", kIgnoreCase, u"xaBc", {At(1, u"aBc")}},
        {u"ABC", {}, u"xabc", {}},
        {u"[A-Z]+", kIgnoreCase, u"abC1", {At(0, u"abC")}},
        // Case folding covers ASCII letters only.
        {u"\u00e9", kIgnoreCase, u"\u00c9", {}},
        {u"^b", kMultilineGlobal, u"a\nb\rb\r\nb", {At(2, u"b"), At(4, u"b"), At(7, u"b")}},
        {u"^b", kGlobal, u"a\nb", {}},
        {u"^a", kGlobal, u"aaa", {At(0, u"a")}},
        {u"a$", kMultilineGlobal, u"a\na\ra", {At(0, u"a"), At(2, u"a"), At(4, u"a")}},
        // Without Multiline "$" is the very end, not the place before a final "\n".
        {u"a$", {}, u"a\n", {}},
        {u"a$", {}, u"ba", {At(1, u"a")}},
        // '.' stops at "\n" and "\r" only.
        {u".",
         kGlobal,
         u"a\nb\rc\u2028",
         {At(0, u"a"), At(2, u"b"), At(4, u"c"), At(5, u"\u2028")}},
    });
}

TEST_F(RegExpTest, ClassesAndEscapes) {
    ExpectMatches({
        // \d \w \s are the ASCII classes.
        {uR"(\d+)", kGlobal, u"a12b\u06634", {At(1, u"12"), At(5, u"4")}},
        {uR"(\w+)", kGlobal, u"ab_9 \u00e9", {At(0, u"ab_9")}},
        {uR"(\s)",
         kGlobal,
         u" \t\n\v\f\r\u00a0\u3000",
         {At(0, u" "), At(1, u"\t"), At(2, u"\n"), At(3, u"\v"), At(4, u"\f"), At(5, u"\r")}},
        {uR"(\S+)", {}, u" \u00a0x", {At(1, u"\u00a0x")}},
        {uR"(\D\W)", {}, u"1a-", {At(1, u"a-")}},
        {uR"(\bab\b)", kGlobal, u"ab cab ab_ ab", {At(0, u"ab"), At(11, u"ab")}},
        {uR"(\Bb)", kGlobal, u"ab b", {At(1, u"b")}},
        {uR"([a-c]+)", {}, u"xabcz", {At(1, u"abc")}},
        {uR"([^a-c]+)", {}, u"abxyc", {At(2, u"xy")}},
        {uR"([\w-.]+)", {}, u"!a-b.c!", {At(1, u"a-b.c")}},
        {uR"([\d]+[-a]+)", {}, u"x42a-", {At(1, u"42a-")}},
        {uR"([.][\b])", {}, u"a.\b", {At(1, u".\b")}},
        // "[]" matches nothing, "[^]" anything; "[[:alpha:]]" is no POSIX class.
        {uR"([]a])", {}, u"a]", {}},
        {uR"([^])", {}, u"\n", {At(0, u"\n")}},
        {uR"([[:alpha:]])", {}, u"x:]", {At(1, u":]")}},
        {uR"(\x41\u0042\u4e2d)", {}, u"zAB\u4e2d", {At(1, u"AB\u4e2d")}},
        {uR"(\t\n\v\f\r\cJ)", {}, u"\t\n\v\f\r\n", {At(0, u"\t\n\v\f\r\n")}},
        {uR"(\101\0)", {}, std::u16string(u"A\0", 2), {At(0, std::u16string(u"A\0", 2))}},
        {uR"(\$\.\*\/\&\-\[)", {}, u"$.*/&-[", {At(0, u"$.*/&-[")}},
        {u"x{", {}, u"x{", {At(0, u"x{")}},
        {u"a{,2}}]", {}, u"a{,2}}]", {At(0, u"a{,2}}]")}},
    });
}

TEST_F(RegExpTest, QuantifiersGreedyAndLazy) {
    ExpectMatches({
        {u"a{2}", kGlobal, u"aaaaa", {At(0, u"aa"), At(2, u"aa")}},
        {u"a{2,}", {}, u"aaaaa", {At(0, u"aaaaa")}},
        {u"a{1,2}?", {}, u"aa", {At(0, u"a")}},
        {u"a{002,3}", {}, u"aaaa", {At(0, u"aaa")}},
        {u"a+?", {}, u"aaa", {At(0, u"a")}},
        {u"a*?b", {}, u"aab", {At(0, u"aab")}},
        {u"<.+>", {}, u"<a><b>", {At(0, u"<a><b>")}},
        {u"<.+?>", kGlobal, u"<a><b>", {At(0, u"<a>"), At(3, u"<b>")}},
        {u"a??b", {}, u"ab", {At(0, u"ab")}},
    });
}

TEST_F(RegExpTest, GroupsLookaheadAndBackReferences) {
    ExpectMatches({
        {u"(a)(b)?", kGlobal, u"ab a", {At(0, u"ab", {u"a", u"b"}), At(3, u"a", {u"a", kUnset})}},
        {u"(a|b)+|(c)", {}, u"aa", {At(0, u"aa", {u"a", kUnset})}},
        {u"(?:ab)+", {}, u"abab", {At(0, u"abab")}},
        {u"a(?=b)", kGlobal, u"ab ac", {At(0, u"a")}},
        {u"a(?!b)", kGlobal, u"ab ac", {At(3, u"a")}},
        {u"(?=(\\d+))\\w", {}, u"x42", {At(1, u"4", {u"42"})}},
        {uR"((\w)\1)", kGlobal, u"abbcdd", {At(1, u"bb", {u"b"}), At(4, u"dd", {u"d"})}},
        {uR"((a)\1)", kIgnoreCase, u"aA", {At(0, u"aA", {u"a"})}},
        // A reference to a group that took no part, or stands further on, matches "".
        {uR"((x)?y\1)", {}, u"y", {At(0, u"y", {kUnset})}},
        {uR"(\1(a))", {}, u"a", {At(0, u"a", {u"a"})}},
        // With fewer groups "\2" is an octal escape and "\8" the digit.
        {uR"((a)\2\8)",
         {},
         u"a\x02"
         u"8",
         {At(0,
             u"a\x02"
             u"8",
             {u"a"})}},
        {uR"((a)(b)(c)(d)(e)(f)(g)(h)(i)(j)\10)",
         {},
         u"abcdefghijj",
         {At(0, u"abcdefghijj", {u"a", u"b", u"c", u"d", u"e", u"f", u"g", u"h", u"i", u"j"})}},
        {uR"((a)\10)", {}, u"a\b", {At(0, u"a\b", {u"a"})}},
    });
}

TEST_F(RegExpTest, EmptyMatchesMoveOnByOneUnit) {
    ExpectMatches({
        {u"", kGlobal, u"test", {At(0, u""), At(1, u""), At(2, u""), At(3, u""), At(4, u"")}},
        {u"", {}, u"test", {At(0, u"")}},
        {u"a*", kGlobal, u"baaa", {At(0, u""), At(1, u"aaa"), At(4, u"")}},
        {u"x*", kGlobal, u"", {At(0, u"")}},
        {uR"(\b)", kGlobal, u"ab cd", {At(0, u""), At(2, u""), At(3, u""), At(5, u"")}},
    });
}

TEST_F(RegExpTest, PositionsCountUtf16Units) {
    AutomationObject regex = NewRegExp(Utf8ToUtf16("口\\s*(\\d+\\.\\d+\\.\\d+\\.\\d+)"), kGlobal);
    // The text arrives as code page 936 bytes and is searched as UTF-16.
    Text page = FromUtf8("状态：WAN口 10.1.2.3，LAN口 192.168.1.1");
    ASSERT_EQ(page.size(), 39u);
    EXPECT_EQ(Execute(regex, automation::Arg(page).Take()),
              (std::vector<Found>{At(6, u"口 10.1.2.3", {u"10.1.2.3"}),
                                  At(20, u"口 192.168.1.1", {u"192.168.1.1"})}));

    ExpectMatches({
        {u"a", {}, u"\U0001F600a", {At(2, u"a")}},
        {u".", kGlobal, u"\U0001F600", {At(0, u"\xD83D"), At(1, u"\xDE00")}},
    });
}

struct ReplaceCase {
    std::u16string pattern;
    Flags flags;
    std::u16string text;
    Variant replacement;
    std::u16string expected;
};

TEST_F(RegExpTest, ReplaceExpandsTheReplacementTokens) {
    const std::vector<ReplaceCase> cases = {
        {uR"((\&(\d)))", {}, u"abc &1 123", U16(u"$'"), u"abc  123 123"},
        {uR"((\&(\d)))", {}, u"abc &1 123", U16(u"$`"), u"abc abc  123"},
        {uR"((\$(\d)))", kGlobal, u"$1,$2", U16(u"$$1-$1$2"), u"$1-$11,$1-$22"},
        {u"b", {}, u"abc", U16(u"x$&z"), u"axbzc"},
        {u"", {}, u"xxx", U16(u"y"), u"yxxx"},
        {u"", kGlobal, u"xxx", U16(u"y"), u"yxyxyxy"},
        {u"a", {}, u"aaa", U16(u"b"), u"baa"},
        {u"a", kGlobal, u"aaa", U16(u"b"), u"bbb"},
        {u"z", kGlobal, u"abc", U16(u"q"), u"abc"},
        {u"(a)(b)", {}, u"ab", U16(u"$2$1|$3|$0|$|$x|$"), u"ba|$3|$0|$|$x|$"},
        {u"(a)", {}, u"a", U16(u"$10"), u"a0"},
        {u"(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)", {}, u"abcdefghij", U16(u"$10$01"), u"ja"},
        {u"(x)?y", {}, u"y", U16(u"[$1]"), u"[]"},
        {u"b", {}, u"abc", Variant(true), u"a-1c"},
        {u"b", {}, u"abc", Variant(std::int32_t{6}), u"a6c"},
    };
    for (const ReplaceCase& c : cases) {
        AutomationObject regex = NewRegExp(c.pattern, c.flags);
        EXPECT_EQ(Replace(regex, U16(c.text), c.replacement), c.expected)
            << Describe(c.pattern) << " with " << testing::Describe(c.replacement);
    }
}

TEST_F(RegExpTest, TestFindsOneMatchWhateverGlobalSays) {
    for (Flags flags : {Flags{}, kGlobal}) {
        AutomationObject regex = NewRegExp(u"b+", flags);
        EXPECT_TRUE(CallMethod<bool>(regex, "Test", {U16(u"abbcb")}));
        EXPECT_TRUE(CallMethod<bool>(regex, "Test", {U16(u"abbcb")}));
        EXPECT_FALSE(CallMethod<bool>(regex, "Test", {U16(u"acd")}));
        EXPECT_EQ(LastCallOutcome().hr, automation::kOk);
    }
}

TEST_F(RegExpTest, ChangingPatternOrAFlagTakesEffectOnTheNextSearch) {
    AutomationObject regex = NewRegExp(u"^a", kGlobal);
    const Variant text = U16(u"A\na");
    EXPECT_EQ(Execute(regex, text), std::vector<Found>{});
    PutProperty(regex, "IgnoreCase", {}, true);
    EXPECT_EQ(Execute(regex, text), std::vector<Found>{At(0, u"A")});
    PutProperty(regex, "Multiline", {}, true);
    EXPECT_EQ(Execute(regex, text), (std::vector<Found>{At(0, u"A"), At(2, u"a")}));
    PutProperty(regex, "Global", {}, false);
    EXPECT_EQ(Execute(regex, text), std::vector<Found>{At(0, u"A")});
    PutProperty(regex, "Pattern", {}, U16(u"\\n"));
    EXPECT_EQ(Execute(regex, text), std::vector<Found>{At(1, u"\n")});
    PutProperty(regex, "Pattern", {}, U16(u"("));
    CallMethod<void>(regex, "Execute", {text});
    EXPECT_EQ(LastCallOutcome().exceptionCode, kExpectedParen);
    PutProperty(regex, "Pattern", {}, U16(u"a"));
    EXPECT_EQ(Execute(regex, text), std::vector<Found>{At(0, u"A")});
}

struct RejectedCase {
    std::u16string pattern;
    HResult code;
};

TEST_F(RegExpTest, RejectedPatternsRaiseFromEveryMethod) {
    const std::vector<RejectedCase> cases = {
        // What the language does not have.
        {u"(?<=a)b", kSyntaxError},
        {u"(?<!a)b", kSyntaxError},
        {u"(?<n>a)", kSyntaxError},
        {u"(?P<n>a)", kSyntaxError},
        {u"(?'n'a)", kSyntaxError},
        {uR"((a)\k<n>)", kSyntaxError},
        {u"(?>a)", kSyntaxError},
        {u"a*+", kUnexpectedQuantifier},
        {u"a++", kUnexpectedQuantifier},
        {u"a?+", kUnexpectedQuantifier},
        {u"a{2}+", kUnexpectedQuantifier},
        {u"(?i)a", kSyntaxError},
        {u"(?i:a)", kSyntaxError},
        {u"a(?-i)", kSyntaxError},
        {u"(?#note)", kSyntaxError},
        {u"(?(1)a|b)", kSyntaxError},
        {u"(a)(?1)", kSyntaxError},
        {u"(?R)", kSyntaxError},
        {u"(*UTF)a", kUnexpectedQuantifier},
        {uR"(\Aa)", kSyntaxError},
        {uR"(a\Z)", kSyntaxError},
        {uR"(a\z)", kSyntaxError},
        {uR"(\p{L})", kSyntaxError},
        {uR"([\P{L}])", kSyntaxError},
        {uR"(\h\R)", kSyntaxError},
        {uR"(\Qa\E)", kSyntaxError},
        {uR"(\Ga)", kSyntaxError},
        {uR"(a\Kb)", kSyntaxError},
        {uR"([\B])", kSyntaxError},
        // Plain syntax errors.
        {uR"(\xZZ)", kSyntaxError},
        {uR"(\u12)", kSyntaxError},
        {uR"(\c1)", kSyntaxError},
        {u"a\\", kSyntaxError},
        {u"a)", kSyntaxError},
        {u"a{3,1}", kSyntaxError},
        {u"a{70000}", kSyntaxError},
        {u"*a", kUnexpectedQuantifier},
        {u"a**", kUnexpectedQuantifier},
        {u"a|*", kUnexpectedQuantifier},
        {u"(*)", kUnexpectedQuantifier},
        {u"^*", kUnexpectedQuantifier},
        {uR"(\b+)", kUnexpectedQuantifier},
        {u"(?=a)*", kUnexpectedQuantifier},
        {u"{2}", kUnexpectedQuantifier},
        {u"[abc", kExpectedBracket},
        {u"[a\\", kExpectedBracket},
        {u"(abc", kExpectedParen},
        {u"((a)", kExpectedParen},
        {u"[z-a]", kInvalidRange},
        {uR"([\u0042-A])", kInvalidRange},
        // Deeper nesting than PCRE2 takes.
        {std::u16string(300, u'(') + std::u16string(300, u')'), kSyntaxError},
    };
    for (const RejectedCase& c : cases) {
        AutomationObject regex;
        ASSERT_TRUE(automation::CreateObject(regex, "VBScript.RegExp"));
        EXPECT_TRUE(PutProperty(regex, "Pattern", {}, U16(c.pattern))) << Describe(c.pattern);
        EXPECT_EQ(GetProperty<Variant>(regex, "Pattern"), U16(c.pattern));
        auto expectRaised = [&](const char* method) {
            EXPECT_EQ(LastCallOutcome().hr, automation::kDispException)
                << method << " " << Describe(c.pattern);
            EXPECT_EQ(LastCallOutcome().exceptionCode, c.code)
                << method << " " << Describe(c.pattern);
            EXPECT_FALSE(LastCallOutcome().description.empty());
        };
        EXPECT_TRUE(IsEmptyObject(CallMethod<AutomationObject>(regex, "Execute", {U16(u"ab")})));
        expectRaised("Execute");
        EXPECT_FALSE(CallMethod<bool>(regex, "Test", {U16(u"ab")}));
        expectRaised("Test");
        EXPECT_EQ(CallMethod<Text>(regex, "Replace", {U16(u"ab"), U16(u"x")}), "");
        expectRaised("Replace");
    }
}

TEST_F(RegExpTest, ItemOutsideTheCollectionRaises) {
    AutomationObject regex = NewRegExp(u"(a)", kGlobal);
    AutomationObject matches = CallMethod<AutomationObject>(regex, "Execute", {U16(u"aa")});
    for (int index : {-1, 2}) {
        EXPECT_TRUE(IsEmptyObject(GetProperty<AutomationObject>(matches, "Item", {index})));
        EXPECT_EQ(LastCallOutcome().exceptionCode, kInvalidCall) << index;
    }
    AutomationObject match = GetProperty<AutomationObject>(matches, "Item", {1});
    EXPECT_EQ(GetProperty<double>(match, "FirstIndex"), 1.0);
    AutomationObject groups = GetProperty<AutomationObject>(match, "SubMatches");
    EXPECT_EQ(GetProperty<Variant>(groups, "Item", {0}), U16(u"a"));
    EXPECT_TRUE(GetProperty<Variant>(groups, "Item", {1}).IsEmpty());
    EXPECT_EQ(LastCallOutcome().exceptionCode, kInvalidCall);
}

TEST_F(RegExpTest, MethodsRefuseMissingOrUnfitArguments) {
    AutomationObject regex = NewRegExp(u"a");
    CallMethod<void>(regex, "Execute");
    EXPECT_EQ(LastCallOutcome().hr, automation::kDispBadParamCount);
    CallMethod<void>(regex, "Execute", {Variant(regex)});
    EXPECT_EQ(LastCallOutcome().hr, automation::kDispTypeMismatch);
    CallMethod<void>(regex, "Replace", {U16(u"a")});
    EXPECT_EQ(LastCallOutcome().hr, automation::kDispBadParamCount);
    EXPECT_FALSE(PutProperty(regex, "Global", {}, Variant(regex)));
    EXPECT_EQ(LastCallOutcome().hr, automation::kDispTypeMismatch);
}

TEST_F(RegExpTest, LargePageIsSearchedWhole) {
    std::u16string chunk = Utf8ToUtf16(testing::SampleStatusPageUtf8());
    std::size_t quadsPerChunk = testing::SampleStatusPageQuads().size();
    std::u16string page;
    std::size_t chunks = 0;
    for (; page.size() < 10 * 1024 * 1024; ++chunks) page += chunk;
    AutomationObject regex = NewRegExp(uR"(\d+\.\d+\.\d+\.\d+)", kGlobal);
    AutomationObject matches = CallMethod<AutomationObject>(regex, "Execute", {U16(page)});
    auto count = static_cast<std::size_t>(GetProperty<double>(matches, "Count"));
    ASSERT_EQ(count, quadsPerChunk * chunks);
    Found last = ReadMatch(matches, static_cast<int>(count - 1));
    EXPECT_EQ(last.value, u"202.96.128.86");
    EXPECT_EQ(static_cast<std::size_t>(last.firstIndex),
              page.size() - chunk.size() + chunk.find(u"202.96.128.86"));
}

TEST_F(RegExpTest, MatchesFarApartInALargeTextKeepTheirTextsAndGroups) {
    // The collection keeps only the part of the subject its matches lie in;
    // a group taken in a lookahead may reach past the end of its match.
    const std::u16string gap(100'000, u'.');
    const std::u16string text = gap + u"k1=v1" + gap + u"k2=v22" + gap;
    const int second = static_cast<int>(2 * gap.size() + 5);
    ExpectMatches({
        {uR"(k(\d)(?=(=\w+)))",
         kGlobal,
         text,
         {At(static_cast<int>(gap.size()), u"k1", {u"1", u"=v1"}),
          At(second, u"k2", {u"2", u"=v22"})}},
        {uR"(v(\d)|(z))",
         kGlobal,
         text,
         {At(static_cast<int>(gap.size()) + 3, u"v1", {u"1", kUnset}),
          At(second + 3, u"v2", {u"2", kUnset})}},
    });
}

TEST_F(RegExpTest, RepetitionDeeperThanTheFirstMatcherStackStillMatches) {
    // Deep enough to need more than the 32 KB the matcher starts with, well
    // within the stack a pattern gets when it needs one.
    std::u16string text;
    for (int i = 0; i < 20'000; ++i) text += u"ab";
    text += u"c";
    AutomationObject regex = NewRegExp(u"(a|b)*c");
    std::vector<Found> found = Execute(regex, U16(text));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].length, static_cast<int>(text.size()));
    EXPECT_EQ(found[0].groups, (std::vector<std::optional<std::u16string>>{u"b"}));
    // The same object searches again with the stack it now has.
    EXPECT_EQ(Execute(regex, U16(text + u"c")).size(), 1u);
}

TEST_F(RegExpTest, ZeroUnitsAndLoneSurrogatesAreOrdinaryText) {
    std::u16string text(u"\0\xD800 1.2.3.4\0\xDFFF\uFFFF", 13);
    ExpectMatches({
        {uR"(\d+\.\d+\.\d+\.\d+)", kGlobal, text, {At(3, u"1.2.3.4")}},
        {uR"(\0|[\uD800-\uDFFF])",
         kGlobal,
         text,
         {At(0, std::u16string(1, u'\0')), At(1, u"\xD800"), At(10, std::u16string(1, u'\0')),
          At(11, u"\xDFFF")}},
    });
}

void ExpectRaisedFromSearch(const AutomationObject& regex, const char* method, const Variant& text,
                            const std::u16string& pattern) {
    if (std::string(method) == "Replace") {
        CallMethod<void>(regex, method, {text, U16(u"")});
    } else {
        CallMethod<void>(regex, method, {text});
    }
    EXPECT_EQ(LastCallOutcome().hr, automation::kDispException) << method << Describe(pattern);
    EXPECT_EQ(LastCallOutcome().exceptionCode, kOutOfStackSpace) << method << Describe(pattern);
}

TEST_F(RegExpTest, RunawayBacktrackingFailsInsteadOfHanging) {
    // One start position alone exceeds the match limit.
    const std::vector<std::pair<std::u16string, std::u16string>> cases = {
        {u"(a+)+$", std::u16string(5000, u'a') + u"b"},
        {u"(a|aa)+$", std::u16string(5000, u'a') + u"b"},
        {u"a*a*a*a*a*a*b", std::u16string(3000, u'a') + u"cb"},
    };
    for (const auto& [pattern, text] : cases) {
        AutomationObject regex = NewRegExp(pattern, kGlobal);
        for (const char* method : {"Execute", "Test", "Replace"}) {
            ExpectRaisedFromSearch(regex, method, U16(text), pattern);
        }
    }
}

TEST_F(RegExpTest, BacktrackingThatAddsUpOverStartPositionsFails) {
    // Each start position stays below the match limit, but together they
    // would take minutes on a large page.
    std::u16string text;
    for (int i = 0; i < 3000; ++i) text += std::u16string(18, u'a') + u"b ";
    AutomationObject regex = NewRegExp(u"(a+)+$", kGlobal);
    ExpectRaisedFromSearch(regex, "Execute", U16(text), u"(a+)+$");
}

TEST_F(RegExpTest, RepetitionTooLongForTheMatcherStackFails) {
    std::u16string text;
    for (int i = 0; i < 1024 * 1024; ++i) text += u"ab";
    AutomationObject regex = NewRegExp(u"(a|b)*c");
    ExpectRaisedFromSearch(regex, "Execute", U16(text), u"(a|b)*c");
    // The same text with a repetition that needs no stack per step is fine.
    AutomationObject flat = NewRegExp(u"[ab]*$");
    EXPECT_EQ(Execute(flat, U16(text)).size(), 1u);
}

}  // namespace
}  // namespace tralvex
