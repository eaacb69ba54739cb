// The regular-expression component over any pattern, flags and text, with the
// match limits it has: a pattern is refused or searched, a search ends, and
// every match read from the collection is the piece of the text it claims to
// be, in text order. Test and Execute agree, and so do two searches.
//
// Input: a flags byte, the pattern and the replacement (FuzzedDataProvider
// strings), then the text. Pattern, replacement and text are read a byte per
// UTF-16 unit, except that 0x01 takes the next two bytes as one unit, so
// that every unit can occur.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "automation/calls.hpp"
#include "automation/conversions.hpp"
#include "automation/registry.hpp"
#include "platform/regexp/regexp_component.hpp"

namespace {

namespace automation = tralvex::automation;
using automation::AutomationObject;
using automation::Variant;

constexpr int kMatchesRead = 64;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "regexp fuzzer: %s\n", what);
    std::abort();
}

std::u16string Units(const std::string& bytes) {
    std::u16string units;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte == 0x01 && i + 2 < bytes.size()) {
            units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i + 1]) << 8 |
                                                  static_cast<unsigned char>(bytes[i + 2])));
            i += 2;
        } else {
            units.push_back(byte);
        }
    }
    return units;
}

int Integer(const AutomationObject& object, const char* name) {
    return static_cast<int>(automation::GetProperty<double>(object, name));
}

bool Succeeded() { return automation::LastCallOutcome().hr == automation::kOk; }

struct Search {
    bool succeeded = false;
    int count = 0;
};

// Reads the collection of one Execute and checks each match against the text.
Search CheckExecute(const AutomationObject& regex, const std::u16string& text, bool global) {
    AutomationObject matches =
        automation::CallMethod<AutomationObject>(regex, "Execute", {Variant(text)});
    Search search;
    search.succeeded = Succeeded();
    if (!search.succeeded) return search;
    search.count = Integer(matches, "Count");
    if (search.count < 0 || (!global && search.count > 1)) Fail("a wrong match count");
    int groupCount = -1;
    std::size_t previousEnd = 0;
    for (int i = 0; i < search.count && i < kMatchesRead; ++i) {
        AutomationObject match = automation::GetProperty<AutomationObject>(matches, "Item", {i});
        const int first = Integer(match, "FirstIndex");
        const int length = Integer(match, "Length");
        std::optional<std::u16string> value =
            automation::ToString16(automation::GetProperty<Variant>(match, "Value"));
        if (first < 0 || length < 0 || static_cast<std::size_t>(first + length) > text.size()) {
            Fail("a match outside the text");
        }
        if (!value || *value != text.substr(static_cast<std::size_t>(first),
                                            static_cast<std::size_t>(length))) {
            Fail("a match value that is not its piece of the text");
        }
        if (i > 0 && static_cast<std::size_t>(first) < previousEnd) Fail("matches out of order");
        previousEnd = static_cast<std::size_t>(first + length) + (length == 0 ? 1 : 0);
        AutomationObject groups = automation::GetProperty<AutomationObject>(match, "SubMatches");
        const int groupsHere = Integer(groups, "Count");
        if (groupCount >= 0 && groupsHere != groupCount) Fail("matches with different groups");
        groupCount = groupsHere;
        for (int g = 0; g < groupsHere; ++g) {
            Variant group = automation::GetProperty<Variant>(groups, "Item", {g});
            if (!Succeeded()) Fail("a group could not be read");
            if (!group.IsEmpty() && !automation::ToString16(group)) Fail("a group of no text");
        }
    }
    return search;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    tralvex::RegisterRegExpComponent();
    automation::CoInitialize();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const auto flags = input.ConsumeIntegral<std::uint8_t>();
    const std::u16string pattern = Units(input.ConsumeRandomLengthString(64));
    const std::u16string replacement = Units(input.ConsumeRandomLengthString(16));
    const std::u16string text = Units(input.ConsumeRemainingBytesAsString());
    const bool global = flags & 2;

    AutomationObject regex;
    if (!automation::CreateObject(regex, "VBScript.RegExp")) Fail("no RegExp object");
    automation::PutProperty(regex, "Pattern", {}, Variant(pattern));
    automation::PutProperty(regex, "IgnoreCase", {}, (flags & 1) != 0);
    automation::PutProperty(regex, "Global", {}, global);
    automation::PutProperty(regex, "Multiline", {}, (flags & 4) != 0);

    Search first = CheckExecute(regex, text, global);
    Search again = CheckExecute(regex, text, global);
    if (first.succeeded != again.succeeded || first.count != again.count) {
        Fail("two searches of the same text differ");
    }
    bool found = automation::CallMethod<bool>(regex, "Test", {Variant(text)});
    if (first.succeeded && Succeeded() && found != (first.count > 0)) {
        Fail("Test and Execute disagree");
    }
    automation::CallMethod<Variant>(regex, "Replace", {Variant(text), Variant(replacement)});
    if (first.succeeded && first.count == 0 && Succeeded()) {
        std::optional<std::u16string> same = automation::ToString16(automation::CallMethod<Variant>(
            regex, "Replace", {Variant(text), Variant(replacement)}));
        if (!same || *same != text) Fail("Replace without a match changed the text");
    }
    return 0;
}
