#include "regex/regex_matcher.hpp"

#include <cmath>
#include <limits>

#include "automation/calls.hpp"
#include "automation/conversions.hpp"
#include "automation/registry.hpp"

namespace tralvex {
namespace {

using automation::AutomationObject;
using automation::CallMethod;
using automation::GetProperty;
using automation::PutProperty;

constexpr char kProgId[] = "VBScript.RegExp";

// Numbers come back as reals; a count is the real cut toward zero. One that
// no 32-bit integer holds counts as a failed read.
std::int32_t CountFrom(double value) {
    double truncated = std::trunc(value);
    if (!(truncated >= std::numeric_limits<std::int32_t>::min() &&
          truncated <= std::numeric_limits<std::int32_t>::max())) {
        return 0;
    }
    return static_cast<std::int32_t>(truncated);
}

// The platform's 0-based index of a 1-based number; the lowest number stays
// negative instead of wrapping around.
std::int32_t ZeroBased(std::int32_t n) {
    return n == std::numeric_limits<std::int32_t>::min() ? n : n - 1;
}

AutomationObject MatchAt(const AutomationObject& matches, std::int32_t n) {
    return GetProperty<AutomationObject>(matches, "Item", {ZeroBased(n)});
}

}  // namespace

RegexMatcher::RegexMatcher() { automation::CoInitialize(); }

RegexMatcher::~RegexMatcher() {
    RegexMatcher::Clear();
    automation::CoUninitialize();
}

RegexMatcher::RegexMatcher(const RegexMatcher& source)
    : regex(automation::CopyObject(source.regex)),
      matches(automation::CopyObject(source.matches)),
      matchCount(source.matchCount) {
    automation::CoInitialize();
}

bool RegexMatcher::Create(const Text& pattern, std::optional<bool> ignoreCase,
                          std::optional<bool> multiline, std::optional<bool> global) {
    Clear();
    automation::CreateObject(regex, kProgId);
    if (automation::IsEmptyObject(regex)) return false;
    PutProperty(regex, "IgnoreCase", {}, ignoreCase.value_or(true));
    PutProperty(regex, "Multiline", {}, multiline.value_or(true));
    PutProperty(regex, "Global", {}, global.value_or(true));
    PutProperty(regex, "Pattern", {}, pattern);
    return true;
}

void RegexMatcher::Clear() {
    automation::ReleaseObject(regex);
    automation::ReleaseObject(matches);
    matchCount = 0;
}

Text RegexMatcher::GetPattern() {
    if (automation::IsEmptyObject(regex)) return {};
    return GetProperty<Text>(regex, "Pattern");
}

Text RegexMatcher::Replace(const Text& source, const Text& replacement) {
    return CallMethod<Text>(regex, "Replace", {source, replacement});
}

std::int32_t RegexMatcher::Execute(const Text& text) {
    AutomationObject found = CallMethod<AutomationObject>(regex, "Execute", {text});
    automation::ReleaseObject(matches);
    matches = std::move(found);
    matchCount = CountFrom(GetProperty<double>(matches, "Count"));
    return matchCount;
}

std::int32_t RegexMatcher::MatchCount() { return matchCount; }

Text RegexMatcher::MatchText(std::int32_t n) {
    AutomationObject match = MatchAt(matches, n);
    Text value = GetProperty<Text>(match, "Value");
    automation::ReleaseObject(match);
    return value;
}

Text RegexMatcher::SubMatchText(std::int32_t i, std::int32_t j) {
    AutomationObject match = MatchAt(matches, i);
    AutomationObject groups = GetProperty<AutomationObject>(match, "SubMatches");
    automation::Variant group = GetProperty<automation::Variant>(groups, "Item", {ZeroBased(j)});
    Text text = automation::VariantToText(group);
    automation::ReleaseObject(match);
    automation::ReleaseObject(groups);
    automation::ClearVariant(group);
    return text;
}

std::int32_t RegexMatcher::SubMatchCount() {
    if (matchCount == 0) return 0;
    AutomationObject first = MatchAt(matches, 1);
    AutomationObject groups = GetProperty<AutomationObject>(first, "SubMatches");
    std::int32_t count = CountFrom(GetProperty<double>(groups, "Count"));
    automation::ReleaseObject(first);
    automation::ReleaseObject(groups);
    return count;
}

}  // namespace tralvex
