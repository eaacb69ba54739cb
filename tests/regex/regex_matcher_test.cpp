#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "automation/calls.hpp"
#include "automation/registry.hpp"
#include "platform/codepage/codepage.hpp"
#include "platform/regexp/regexp_component.hpp"
#include "regex/regex_matcher.hpp"
#include "support/fake_component.hpp"
#include "support/sample_status_page.hpp"

namespace tralvex {
namespace {

using automation::AutomationObject;
using automation::InvokeOutcome;
using automation::Variant;
using testing::FakeCall;
using testing::FakeMember;
using testing::ScopedFake;
using LogLines = std::vector<std::string>;

const char kDottedQuad[] = R"(\d+\.\d+\.\d+\.\d+)";

// A fake RegExp object: Execute gives a new fake collection, Item of a
// collection a new fake match, SubMatches a new fake group list whose Item
// gives a text. Every object is a fake of the same kind, labelled "#n" in
// the order of creation.
class FakeRegExp {
  public:
    FakeRegExp()
        : fake_("VBScript.RegExp",
                {{"IgnoreCase", true, true},
                 {"Multiline", true, true},
                 {"Global", true, true},
                 {"Pattern", true, true},
                 {"Execute", false, false, true},
                 {"Replace", false, false, true},
                 {"Count", true},
                 {"Item", true, false, false, 1},
                 {"Value", true},
                 {"SubMatches", true}},
                [this](const FakeCall& call) { return Respond(call); }) {}

    LogLines Lines() const { return fake_.Lines(); }
    // The lines logged since the mark.
    std::vector<std::string> LinesSince(std::size_t mark) const {
        LogLines lines = fake_.Lines();
        return {lines.begin() + static_cast<std::ptrdiff_t>(mark), lines.end()};
    }
    std::size_t Mark() const { return fake_.Lines().size(); }
    void FailCreation() { fake_.FailCreation(true); }

    double count = 3;

  private:
    InvokeOutcome Respond(const FakeCall& call) {
        if (call.name == "Execute" || call.name == "Item" || call.name == "SubMatches") {
            if (groupLists_.count(call.object)) {
                return InvokeOutcome::Value(Variant(std::u16string(u"group")));
            }
            AutomationObject object;
            automation::CreateObject(object, "VBScript.RegExp");
            if (call.name == "SubMatches") groupLists_.insert(NewestLabel());
            return InvokeOutcome::Value(Variant(object));
        }
        if (call.name == "Count") return InvokeOutcome::Value(Variant(count));
        if (call.name == "Value") return InvokeOutcome::Value(Variant(std::u16string(u"1.2.3.4")));
        if (call.name == "Pattern") return InvokeOutcome::Value(Variant(std::u16string(u"p")));
        if (call.name == "Replace") return InvokeOutcome::Value(Variant(std::u16string(u"r")));
        return InvokeOutcome::Nothing();
    }

    std::string NewestLabel() const { return fake_.Lines().back().substr(sizeof "create"); }

    std::set<std::string> groupLists_;
    ScopedFake fake_;
};

TEST(RegexMatcherCallsTest, CreateWritesTheFlagsThenThePattern) {
    struct FlagCase {
        std::optional<bool> ignoreCase, multiline, global;
        const char* written[3];
    };
    const std::vector<FlagCase> cases = {
        {std::nullopt, std::nullopt, std::nullopt, {"true", "true", "true"}},
        {false, std::nullopt, std::nullopt, {"false", "true", "true"}},
        {std::nullopt, false, std::nullopt, {"true", "false", "true"}},
        {std::nullopt, std::nullopt, false, {"true", "true", "false"}},
        {false, false, false, {"false", "false", "false"}},
        {true, true, true, {"true", "true", "true"}},
    };
    for (const FlagCase& c : cases) {
        FakeRegExp fake;
        RegexMatcher matcher;
        EXPECT_TRUE(matcher.Create(kDottedQuad, c.ignoreCase, c.multiline, c.global));
        EXPECT_EQ(fake.Lines(),
                  (LogLines{"create #1", std::string("put #1.IgnoreCase(") + c.written[0] + ")",
                            std::string("put #1.Multiline(") + c.written[1] + ")",
                            std::string("put #1.Global(") + c.written[2] + ")",
                            "put #1.Pattern(\"\\d+\\.\\d+\\.\\d+\\.\\d+\")"}));
    }
}

TEST(RegexMatcherCallsTest, SecondCreateReleasesObjectAndCollectionFirst) {
    FakeRegExp fake;
    RegexMatcher matcher;
    matcher.Create("a");
    EXPECT_EQ(matcher.Execute("text"), 3);
    std::size_t mark = fake.Mark();
    EXPECT_TRUE(matcher.Create("b", false));
    EXPECT_EQ(fake.LinesSince(mark),
              (LogLines{"release #1", "release #2", "create #3", "put #3.IgnoreCase(false)",
                        "put #3.Multiline(true)", "put #3.Global(true)", "put #3.Pattern(\"b\")"}));
    EXPECT_EQ(matcher.MatchCount(), 0);
}

TEST(RegexMatcherCallsTest, ExecuteStoresTheCountCutTowardZero) {
    FakeRegExp fake;
    fake.count = 3.9;
    RegexMatcher matcher;
    matcher.Create("a");
    std::size_t mark = fake.Mark();
    EXPECT_EQ(matcher.Execute("text"), 3);
    EXPECT_EQ(fake.LinesSince(mark),
              (LogLines{"call #1.Execute(\"text\")", "create #2", "get #2.Count()"}));
    EXPECT_EQ(matcher.MatchCount(), 3);

    // A second search keeps its own collection and lets go of the first.
    fake.count = 1;
    mark = fake.Mark();
    EXPECT_EQ(matcher.Execute("more"), 1);
    EXPECT_EQ(fake.LinesSince(mark),
              (LogLines{"call #1.Execute(\"more\")", "create #3", "release #2", "get #3.Count()"}));
}

TEST(RegexMatcherCallsTest, CountNoIntegerHoldsReadsAsZero) {
    FakeRegExp fake;
    RegexMatcher matcher;
    matcher.Create("a");
    for (double count : {1e12, -1e12, std::nan("")}) {
        fake.count = count;
        EXPECT_EQ(matcher.Execute("text"), 0) << count;
    }
}

TEST(RegexMatcherCallsTest, MatchTextReadsItemBeforeTheNumberThenValue) {
    FakeRegExp fake;
    RegexMatcher matcher;
    matcher.Create("a");
    matcher.Execute("text");
    std::size_t mark = fake.Mark();
    EXPECT_EQ(matcher.MatchText(3), "1.2.3.4");
    EXPECT_EQ(fake.LinesSince(mark),
              (LogLines{"get #2.Item(2)", "create #3", "get #3.Value()", "release #3"}));
    // Neither the number nor the count is checked first.
    mark = fake.Mark();
    matcher.MatchText(0);
    EXPECT_EQ(fake.LinesSince(mark).front(), "get #2.Item(-1)");
    mark = fake.Mark();
    matcher.MatchText(std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(fake.LinesSince(mark).front(), "get #2.Item(-2147483648)");
}

TEST(RegexMatcherCallsTest, SubMatchesGoThroughTheMatchAndItsGroups) {
    FakeRegExp fake;
    RegexMatcher matcher;
    matcher.Create("a");
    matcher.Execute("text");
    std::size_t mark = fake.Mark();
    EXPECT_EQ(matcher.SubMatchText(2, 3), "group");
    EXPECT_EQ(fake.LinesSince(mark),
              (LogLines{"get #2.Item(1)", "create #3", "get #3.SubMatches()", "create #4",
                        "get #4.Item(2)", "release #3", "release #4"}));
    mark = fake.Mark();
    EXPECT_EQ(matcher.SubMatchCount(), 3);
    EXPECT_EQ(fake.LinesSince(mark),
              (LogLines{"get #2.Item(0)", "create #5", "get #5.SubMatches()", "create #6",
                        "get #6.Count()", "release #5", "release #6"}));
}

TEST(RegexMatcherCallsTest, SubMatchCountWithoutMatchesMakesNoCall) {
    FakeRegExp fake;
    fake.count = 0;
    RegexMatcher matcher;
    matcher.Create("a");
    matcher.Execute("text");
    std::size_t mark = fake.Mark();
    EXPECT_EQ(matcher.SubMatchCount(), 0);
    EXPECT_EQ(fake.Mark(), mark);
}

TEST(RegexMatcherCallsTest, PatternAndReplaceAreHandedOn) {
    FakeRegExp fake;
    RegexMatcher matcher;
    std::size_t mark = fake.Mark();
    EXPECT_EQ(matcher.GetPattern(), "");
    EXPECT_EQ(fake.Mark(), mark);
    matcher.Create("a");
    mark = fake.Mark();
    EXPECT_EQ(matcher.GetPattern(), "p");
    EXPECT_EQ(matcher.Replace("src"), "r");
    EXPECT_EQ(matcher.Replace("src", "x"), "r");
    EXPECT_EQ(fake.LinesSince(mark), (LogLines{"get #1.Pattern()", "call #1.Replace(\"src\", \"\")",
                                               "call #1.Replace(\"src\", \"x\")"}));
}

TEST(RegexMatcherCallsTest, WithoutAnObjectEverythingFailsSoftly) {
    FakeRegExp fake;
    fake.FailCreation();
    RegexMatcher matcher;
    EXPECT_FALSE(matcher.Create("a"));
    EXPECT_EQ(matcher.Execute("1.2.3.4"), 0);
    EXPECT_EQ(automation::LastErrorText(), FromUtf8("对象为空"));
    EXPECT_EQ(matcher.MatchCount(), 0);
    EXPECT_EQ(matcher.MatchText(1), "");
    EXPECT_EQ(matcher.SubMatchText(1, 1), "");
    EXPECT_EQ(matcher.SubMatchCount(), 0);
    EXPECT_EQ(matcher.Replace("a", "b"), "");
    EXPECT_EQ(matcher.GetPattern(), "");
    EXPECT_TRUE(fake.Lines().empty());
}

TEST(RegexMatcherCallsTest, DestructionReleasesAndUninitialises) {
    FakeRegExp fake;
    {
        RegexMatcher matcher;
        EXPECT_TRUE(automation::IsThreadInitialized());
        matcher.Create("a");
        matcher.Execute("text");
    }
    EXPECT_EQ(fake.LinesSince(fake.Mark() - 2), (LogLines{"release #1", "release #2"}));
    EXPECT_FALSE(automation::IsThreadInitialized());
}

TEST(RegexMatcherCallsTest, CopySharesTheObjectsAndBalancesItsOwnInitialisation) {
    FakeRegExp fake;
    auto original = std::make_unique<RegexMatcher>();
    original->Create("a");
    original->Execute("text");
    RegexMatcher copy(*original);
    original.reset();
    EXPECT_EQ(fake.Lines().back(), "get #2.Count()");  // nothing released yet
    EXPECT_TRUE(automation::IsThreadInitialized());
    EXPECT_EQ(copy.MatchCount(), 3);
    EXPECT_EQ(copy.MatchText(1), "1.2.3.4");
    EXPECT_EQ(copy.GetPattern(), "p");
    copy.Clear();
    EXPECT_EQ(fake.LinesSince(fake.Mark() - 2), (LogLines{"release #1", "release #2"}));
    { RegexMatcher second(copy); }
    EXPECT_TRUE(automation::IsThreadInitialized());
}

class RegexMatcherTest : public ::testing::Test {
  protected:
    RegexMatcherTest() { RegisterRegExpComponent(); }
};

TEST_F(RegexMatcherTest, ThreeDottedQuads) {
    RegexMatcher matcher;
    ASSERT_TRUE(matcher.Create(kDottedQuad));
    EXPECT_EQ(matcher.Execute("lan 192.168.1.1 mask 255.255.255.0 wan 10.64.12.7 up"), 3);
    EXPECT_EQ(matcher.MatchCount(), 3);
    EXPECT_EQ(matcher.MatchText(1), "192.168.1.1");
    EXPECT_EQ(matcher.MatchText(3), "10.64.12.7");
    EXPECT_EQ(automation::LastErrorText(), "");
    for (int n : {4, 0, -1}) EXPECT_EQ(matcher.MatchText(n), "") << n;
    EXPECT_EQ(matcher.SubMatchCount(), 0);
}

TEST_F(RegexMatcherTest, FourthQuadOfTheStatusPageIsTheWanAddress) {
    RegexMatcher matcher;
    matcher.Create(kDottedQuad);
    std::vector<std::string> quads = testing::SampleStatusPageQuads();
    EXPECT_EQ(matcher.Execute(FromUtf8(testing::SampleStatusPageUtf8())),
              static_cast<int>(quads.size()));
    EXPECT_EQ(matcher.MatchText(4), "10.64.12.7");
}

TEST_F(RegexMatcherTest, ExecuteBeforeCreateGivesNothing) {
    RegexMatcher matcher;
    EXPECT_EQ(matcher.Execute("1.2.3.4"), 0);
    EXPECT_EQ(matcher.MatchCount(), 0);
    EXPECT_EQ(matcher.MatchText(1), "");
    EXPECT_EQ(matcher.GetPattern(), "");
}

TEST_F(RegexMatcherTest, SecondExecuteReplacesTheMatches) {
    RegexMatcher matcher;
    matcher.Create(kDottedQuad);
    EXPECT_EQ(matcher.Execute("1.1.1.1 2.2.2.2"), 2);
    EXPECT_EQ(matcher.Execute("3.3.3.3"), 1);
    EXPECT_EQ(matcher.MatchText(1), "3.3.3.3");
    EXPECT_EQ(matcher.MatchText(2), "");
    EXPECT_EQ(matcher.Execute("none here"), 0);
    EXPECT_EQ(matcher.MatchText(1), "");
}

TEST_F(RegexMatcherTest, PatternGroupsAndReplace) {
    RegexMatcher matcher;
    Text pattern = FromUtf8(R"((\d+)\.(\d+)(口)?)");
    matcher.Create(pattern);
    EXPECT_EQ(matcher.GetPattern(), pattern);
    EXPECT_EQ(matcher.Execute(FromUtf8("1.2口 and 3.4")), 2);
    EXPECT_EQ(matcher.SubMatchCount(), 3);
    EXPECT_EQ(matcher.SubMatchText(1, 3), FromUtf8("口"));
    EXPECT_EQ(matcher.SubMatchText(2, 1), "3");
    EXPECT_EQ(matcher.SubMatchText(2, 3), "");
    EXPECT_EQ(matcher.SubMatchText(2, 4), "");
    EXPECT_EQ(matcher.SubMatchText(3, 1), "");
    EXPECT_EQ(matcher.Replace(FromUtf8("1.2口 and 3.4"), "[$2$1]"), "[21] and [43]");
    EXPECT_EQ(matcher.Replace("1.2"), "");
}

TEST_F(RegexMatcherTest, FlagsReachTheObject) {
    RegexMatcher matcher;
    matcher.Create("^ab", false, false, false);
    EXPECT_EQ(matcher.Execute("AB\nab ab"), 0);
    matcher.Create("^ab");
    EXPECT_EQ(matcher.Execute("AB\nab ab"), 2);
}

TEST_F(RegexMatcherTest, RejectedPatternIsNoticedOnlyBySearching) {
    RegexMatcher matcher;
    EXPECT_TRUE(matcher.Create("(?<=a)b"));
    EXPECT_EQ(matcher.GetPattern(), "(?<=a)b");
    // The failed search leaves no collection, so the count read after it
    // finds an empty handle (a search without matches would give one).
    EXPECT_EQ(matcher.Execute("ab"), 0);
    EXPECT_EQ(automation::LastErrorText(), FromUtf8("对象为空"));
    EXPECT_EQ(matcher.MatchText(1), "");
    EXPECT_EQ(matcher.Replace("ab", "x"), "");
    EXPECT_EQ(automation::LastErrorText(), FromUtf8("发现异常"));
    EXPECT_EQ(automation::LastCallOutcome().exceptionCode, automation::MakeHResult(0x800A1399));
}

TEST_F(RegexMatcherTest, BinaryAndZeroBytesAreSearchedSafely) {
    Text page;
    for (int byte = 0; byte < 256; ++byte) page.push_back(static_cast<char>(byte));
    page += std::string(1000, '\0') + "wan 10.64.12.7" + std::string(3, '\0') + "\xFF\x80";
    RegexMatcher matcher;
    matcher.Create(kDottedQuad);
    EXPECT_EQ(matcher.Execute(page), 1);
    EXPECT_EQ(matcher.MatchText(1), "10.64.12.7");
}

TEST_F(RegexMatcherTest, RunawayPatternFailsClearly) {
    RegexMatcher matcher;
    matcher.Create("(a+)+$");
    Text text = std::string(20000, 'a') + "b";
    EXPECT_EQ(matcher.Execute(text), 0);
    EXPECT_EQ(automation::LastErrorText(), FromUtf8("对象为空"));
    EXPECT_EQ(matcher.MatchCount(), 0);
    EXPECT_EQ(matcher.MatchText(1), "");
    EXPECT_EQ(matcher.Replace(text, "x"), "");
    EXPECT_EQ(automation::LastErrorText(), FromUtf8("发现异常"));
    EXPECT_EQ(automation::LastCallOutcome().exceptionCode, automation::MakeHResult(0x800A001C));
}

}  // namespace
}  // namespace tralvex
