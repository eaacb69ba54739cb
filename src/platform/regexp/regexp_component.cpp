#include "platform/regexp/regexp_component.hpp"

#include <algorithm>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <variant>

#include "automation/conversions.hpp"
#include "automation/dispatch.hpp"
#include "automation/registry.hpp"
#include "platform/regexp/compiled_pattern.hpp"
#include "platform/regexp/replacement.hpp"

namespace tralvex {
namespace {

using automation::Dispatch;
using automation::DispatchTable;
using automation::HResult;
using automation::InvokeKind;
using automation::InvokeOutcome;
using automation::MakeHResult;
using automation::TypeInfo;
using automation::Variant;
using regexp::CompiledPattern;
using regexp::MatchList;
using regexp::PatternError;
using regexp::SearchFailure;
using Args = std::span<const Variant>;

constexpr char kProgId[] = "VBScript.RegExp";

InvokeOutcome RaisePatternError(PatternError error) {
    switch (error) {
        case PatternError::UnexpectedQuantifier:
            return InvokeOutcome::Raise(MakeHResult(0x800A139A), u"Unexpected quantifier");
        case PatternError::ExpectedBracket:
            return InvokeOutcome::Raise(MakeHResult(0x800A139B),
                                        u"Expected ']' in regular expression");
        case PatternError::ExpectedParen:
            return InvokeOutcome::Raise(MakeHResult(0x800A139C),
                                        u"Expected ')' in regular expression");
        case PatternError::InvalidRange:
            return InvokeOutcome::Raise(MakeHResult(0x800A139D), u"Invalid range in character set");
        case PatternError::None:
        case PatternError::Syntax:
            break;
    }
    return InvokeOutcome::Raise(MakeHResult(0x800A1399), u"Syntax error in regular expression");
}

InvokeOutcome RaiseOutOfMemory() {
    return InvokeOutcome::Raise(MakeHResult(0x800A0007), u"Out of memory");
}

InvokeOutcome RaiseSearchFailure(SearchFailure failure) {
    switch (failure) {
        case SearchFailure::LimitReached:
            return InvokeOutcome::Raise(MakeHResult(0x800A001C), u"Out of stack space");
        case SearchFailure::OutOfMemory:
            return RaiseOutOfMemory();
        case SearchFailure::Internal:
            break;
    }
    return InvokeOutcome::Raise(MakeHResult(0x800A0033), u"Internal error");
}

InvokeOutcome RaiseBadIndex() {
    return InvokeOutcome::Raise(MakeHResult(0x800A0005), u"Invalid procedure call or argument");
}

InvokeOutcome ObjectValue(std::shared_ptr<automation::Unknown> object) {
    return InvokeOutcome::Value(Variant(automation::AutomationObject(std::move(object))));
}

Variant Int32Value(std::size_t value) { return Variant(static_cast<std::int32_t>(value)); }

// A required argument, converted; `error` says why there is none.
std::optional<std::u16string> TextArg(Args args, std::size_t index, HResult& error) {
    if (index >= args.size()) {
        error = automation::kDispBadParamCount;
        return std::nullopt;
    }
    if (args[index].IsMissing()) {
        error = automation::kDispParamNotOptional;
        return std::nullopt;
    }
    std::optional<std::u16string> text = automation::ToString16(args[index]);
    if (!text) error = automation::kDispTypeMismatch;
    return text;
}

// A required text argument: a view of the text itself when it is one (a
// subject may be a whole page), else of its conversion, kept in `converted`.
std::optional<std::u16string_view> TextArgView(Args args, std::size_t index, HResult& error,
                                               std::optional<std::u16string>& converted) {
    if (index < args.size()) {
        if (const auto* text = args[index].GetIf<std::u16string>()) return *text;
    }
    converted = TextArg(args, index, error);
    if (!converted) return std::nullopt;
    return *converted;
}

std::optional<bool> BoolArg(Args args, HResult& error) {
    if (args.empty() || args[0].IsMissing()) {
        error = automation::kDispParamNotOptional;
        return std::nullopt;
    }
    std::optional<bool> value = automation::ToBool(args[0]);
    if (!value) error = automation::kDispTypeMismatch;
    return value;
}

// The 0-based index argument of an Item read, checked against `count`.
std::variant<std::size_t, InvokeOutcome> IndexArg(Args args, std::size_t count) {
    if (args.empty() || args[0].IsMissing()) {
        return InvokeOutcome::Fail(automation::kDispParamNotOptional);
    }
    std::optional<std::int32_t> index = automation::ToInt32(args[0]);
    if (!index) return InvokeOutcome::Fail(automation::kDispTypeMismatch);
    if (*index < 0 || static_cast<std::size_t>(*index) >= count) return RaiseBadIndex();
    return static_cast<std::size_t>(*index);
}

// The matches of one search and the part of its subject they lie in, shared
// by the collection and the match and group objects taken from it. Only that
// part is kept: from the first position where a match or group starts or ends
// to the last such position, which on a large page is usually a small part.
class SearchedText {
  public:
    SearchedText(std::u16string_view subject, MatchList matches) : matches_(std::move(matches)) {
        std::size_t first = subject.size();
        std::size_t last = 0;
        for (std::size_t m = 0; m < matches_.Count(); ++m) {
            for (std::size_t g = 0; g <= matches_.GroupCount(); ++g) {
                if (matches_.Start(m, g) == MatchList::kUnset) continue;
                first = std::min({first, matches_.Start(m, g), matches_.End(m, g)});
                last = std::max({last, matches_.Start(m, g), matches_.End(m, g)});
            }
        }
        if (first < last) {
            partStart_ = first;
            part_ = subject.substr(first, last - first);
        }
    }

    const MatchList& Matches() const { return matches_; }

    // The text of a group (0: the whole match), or an empty value for a
    // group that took no part.
    Variant GroupValue(std::size_t match, std::size_t group) const {
        std::size_t start = matches_.Start(match, group);
        if (start == MatchList::kUnset) return Variant();
        std::size_t end = matches_.End(match, group);
        if (end <= start) return Variant(std::u16string());
        return Variant(part_.substr(start - partStart_, end - start));
    }

  private:
    MatchList matches_;
    std::size_t partStart_ = 0;
    std::u16string part_;
};

using SharedSearch = std::shared_ptr<const SearchedText>;

// The base of each object class: its member table, and the invoke that
// dispatches through it.
template <typename Self>
class Component : public Dispatch {
  public:
    const TypeInfo* GetTypeInfo() const override { return &Self::Table().GetTypeInfo(); }
    InvokeOutcome Invoke(automation::DispId id, InvokeKind kind, Args args) override {
        try {
            return Self::Table().Invoke(static_cast<Self&>(*this), id, kind, args);
        } catch (const std::bad_alloc&) {
            return RaiseOutOfMemory();
        }
    }
};

class SubMatchesObject : public Component<SubMatchesObject> {
  public:
    SubMatchesObject(SharedSearch search, std::size_t match)
        : search_(std::move(search)), match_(match) {}

    static const DispatchTable<SubMatchesObject>& Table() {
        static const DispatchTable<SubMatchesObject> table{
            {"Count", InvokeKind::PropertyGet, 0, &SubMatchesObject::Count},
            {"Item", InvokeKind::PropertyGet, 1, &SubMatchesObject::Item},
        };
        return table;
    }

  private:
    InvokeOutcome Count(Args) { return InvokeOutcome::Value(Int32Value(GroupCount())); }

    InvokeOutcome Item(Args args) {
        auto index = IndexArg(args, GroupCount());
        if (auto* refused = std::get_if<InvokeOutcome>(&index)) return std::move(*refused);
        return InvokeOutcome::Value(search_->GroupValue(match_, std::get<std::size_t>(index) + 1));
    }

    std::size_t GroupCount() const { return search_->Matches().GroupCount(); }

    SharedSearch search_;
    std::size_t match_;
};

class MatchObject : public Component<MatchObject> {
  public:
    MatchObject(SharedSearch search, std::size_t match)
        : search_(std::move(search)), match_(match) {}

    static const DispatchTable<MatchObject>& Table() {
        static const DispatchTable<MatchObject> table{
            {"Value", InvokeKind::PropertyGet, 0, &MatchObject::Value},
            {"FirstIndex", InvokeKind::PropertyGet, 0, &MatchObject::FirstIndex},
            {"Length", InvokeKind::PropertyGet, 0, &MatchObject::Length},
            {"SubMatches", InvokeKind::PropertyGet, 0, &MatchObject::SubMatches},
        };
        return table;
    }

  private:
    InvokeOutcome Value(Args) { return InvokeOutcome::Value(search_->GroupValue(match_, 0)); }
    InvokeOutcome FirstIndex(Args) { return InvokeOutcome::Value(Int32Value(Start())); }
    InvokeOutcome Length(Args) {
        return InvokeOutcome::Value(Int32Value(search_->Matches().End(match_, 0) - Start()));
    }
    InvokeOutcome SubMatches(Args) {
        return ObjectValue(std::make_shared<SubMatchesObject>(search_, match_));
    }

    std::size_t Start() const { return search_->Matches().Start(match_, 0); }

    SharedSearch search_;
    std::size_t match_;
};

class MatchCollectionObject : public Component<MatchCollectionObject> {
  public:
    explicit MatchCollectionObject(SharedSearch search) : search_(std::move(search)) {}

    static const DispatchTable<MatchCollectionObject>& Table() {
        static const DispatchTable<MatchCollectionObject> table{
            {"Count", InvokeKind::PropertyGet, 0, &MatchCollectionObject::Count},
            {"Item", InvokeKind::PropertyGet, 1, &MatchCollectionObject::Item},
        };
        return table;
    }

  private:
    InvokeOutcome Count(Args) {
        return InvokeOutcome::Value(Int32Value(search_->Matches().Count()));
    }

    InvokeOutcome Item(Args args) {
        auto index = IndexArg(args, search_->Matches().Count());
        if (auto* refused = std::get_if<InvokeOutcome>(&index)) return std::move(*refused);
        return ObjectValue(std::make_shared<MatchObject>(search_, std::get<std::size_t>(index)));
    }

    SharedSearch search_;
};

class RegExpObject : public Component<RegExpObject> {
  public:
    static const DispatchTable<RegExpObject>& Table() {
        static const DispatchTable<RegExpObject> table{
            {"Pattern", InvokeKind::PropertyGet, 0, &RegExpObject::GetPattern},
            {"Pattern", InvokeKind::PropertyPut, 1, &RegExpObject::PutPattern},
            {"IgnoreCase", InvokeKind::PropertyGet, 0, &RegExpObject::GetFlag<Flag::IgnoreCase>},
            {"IgnoreCase", InvokeKind::PropertyPut, 1, &RegExpObject::PutFlag<Flag::IgnoreCase>},
            {"Global", InvokeKind::PropertyGet, 0, &RegExpObject::GetFlag<Flag::Global>},
            {"Global", InvokeKind::PropertyPut, 1, &RegExpObject::PutFlag<Flag::Global>},
            {"Multiline", InvokeKind::PropertyGet, 0, &RegExpObject::GetFlag<Flag::Multiline>},
            {"Multiline", InvokeKind::PropertyPut, 1, &RegExpObject::PutFlag<Flag::Multiline>},
            {"Execute", InvokeKind::Method, 1, &RegExpObject::Execute},
            {"Test", InvokeKind::Method, 1, &RegExpObject::Test},
            {"Replace", InvokeKind::Method, 2, &RegExpObject::Replace},
        };
        return table;
    }

  private:
    enum class Flag { IgnoreCase, Global, Multiline };

    bool& FlagRef(Flag flag) {
        switch (flag) {
            case Flag::IgnoreCase:
                return ignoreCase_;
            case Flag::Global:
                return global_;
            case Flag::Multiline:
                break;
        }
        return multiline_;
    }

    InvokeOutcome GetPattern(Args) { return InvokeOutcome::Value(Variant(pattern_)); }

    InvokeOutcome PutPattern(Args args) {
        HResult error = automation::kOk;
        std::optional<std::u16string> pattern = TextArg(args, 0, error);
        if (!pattern) return InvokeOutcome::Fail(error);
        if (*pattern != pattern_) {
            pattern_ = std::move(*pattern);
            Forget();
        }
        return InvokeOutcome::Nothing();
    }

    template <Flag flag>
    InvokeOutcome GetFlag(Args) {
        return InvokeOutcome::Value(Variant(FlagRef(flag)));
    }

    template <Flag flag>
    InvokeOutcome PutFlag(Args args) {
        HResult error = automation::kOk;
        std::optional<bool> value = BoolArg(args, error);
        if (!value) return InvokeOutcome::Fail(error);
        if (*value != FlagRef(flag)) {
            FlagRef(flag) = *value;
            // Global does not change the compiled pattern, only how it is used.
            if (flag != Flag::Global) Forget();
        }
        return InvokeOutcome::Nothing();
    }

    InvokeOutcome Execute(Args args) {
        HResult error = automation::kOk;
        std::optional<std::u16string> converted;
        std::optional<std::u16string_view> subject = TextArgView(args, 0, error, converted);
        if (!subject) return InvokeOutcome::Fail(error);
        std::variant<MatchList, InvokeOutcome> found = Search(*subject, global_);
        if (auto* refused = std::get_if<InvokeOutcome>(&found)) return std::move(*refused);
        auto search =
            std::make_shared<SearchedText>(*subject, std::move(std::get<MatchList>(found)));
        return ObjectValue(std::make_shared<MatchCollectionObject>(std::move(search)));
    }

    // Looks for one match whatever Global says.
    InvokeOutcome Test(Args args) {
        HResult error = automation::kOk;
        std::optional<std::u16string> converted;
        std::optional<std::u16string_view> subject = TextArgView(args, 0, error, converted);
        if (!subject) return InvokeOutcome::Fail(error);
        std::variant<MatchList, InvokeOutcome> found = Search(*subject, false);
        if (auto* refused = std::get_if<InvokeOutcome>(&found)) return std::move(*refused);
        return InvokeOutcome::Value(Variant(std::get<MatchList>(found).Count() > 0));
    }

    InvokeOutcome Replace(Args args) {
        HResult error = automation::kOk;
        std::optional<std::u16string> converted;
        std::optional<std::u16string_view> subject = TextArgView(args, 0, error, converted);
        if (!subject) return InvokeOutcome::Fail(error);
        std::optional<std::u16string> replacement = TextArg(args, 1, error);
        if (!replacement) return InvokeOutcome::Fail(error);
        std::variant<MatchList, InvokeOutcome> found = Search(*subject, global_);
        if (auto* refused = std::get_if<InvokeOutcome>(&found)) return std::move(*refused);
        return InvokeOutcome::Value(
            Variant(regexp::ReplaceMatches(*subject, std::get<MatchList>(found), *replacement)));
    }

    std::variant<MatchList, InvokeOutcome> Search(std::u16string_view subject, bool all) {
        if (!compiled_ && refusal_ == PatternError::None) Compile();
        if (!compiled_) return RaisePatternError(refusal_);
        regexp::SearchResult result = compiled_->Search(subject, all);
        if (auto* failure = std::get_if<SearchFailure>(&result)) {
            return RaiseSearchFailure(*failure);
        }
        return std::move(std::get<MatchList>(result));
    }

    void Compile() {
        auto compiled = CompiledPattern::Compile(pattern_, ignoreCase_, multiline_);
        if (auto* refusal = std::get_if<PatternError>(&compiled)) {
            refusal_ = *refusal;
        } else {
            compiled_ = std::move(std::get<std::unique_ptr<CompiledPattern>>(compiled));
        }
    }

    // Drops the compiled pattern (or the refusal of it) after a change.
    void Forget() {
        compiled_.reset();
        refusal_ = PatternError::None;
    }

    std::u16string pattern_;
    bool ignoreCase_ = false;
    bool global_ = false;
    bool multiline_ = false;
    std::unique_ptr<CompiledPattern> compiled_;
    PatternError refusal_ = PatternError::None;
};

}  // namespace

void RegisterRegExpComponent() {
    automation::RegisterComponent(kProgId, [] { return std::make_shared<RegExpObject>(); });
}

}  // namespace tralvex
