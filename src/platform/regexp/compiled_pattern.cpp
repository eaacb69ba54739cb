#include "platform/regexp/compiled_pattern.hpp"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include <algorithm>
#include <limits>
#include <new>

namespace tralvex::regexp {
namespace {

static_assert(MatchList::kUnset == PCRE2_UNSET);

constexpr std::size_t kJitStackStartBytes = 32 * 1024;

struct CodeDeleter {
    void operator()(pcre2_code* code) const { pcre2_code_free(code); }
};
struct MatchContextDeleter {
    void operator()(pcre2_match_context* context) const { pcre2_match_context_free(context); }
};
struct MatchDataDeleter {
    void operator()(pcre2_match_data* data) const { pcre2_match_data_free(data); }
};
struct JitStackDeleter {
    void operator()(pcre2_jit_stack* stack) const { pcre2_jit_stack_free(stack); }
};

template <typename T>
T* NotNull(T* pointer) {
    if (!pointer) throw std::bad_alloc();
    return pointer;
}

PCRE2_SPTR AsPcreText(std::u16string_view text) {
    // PCRE2 refuses a null subject even when it is empty.
    static constexpr char16_t kEmpty[1] = {};
    return reinterpret_cast<PCRE2_SPTR>(text.data() ? text.data() : kEmpty);
}

// Runs at the start of every group alternative: one unit of the search's
// budget, and the search fails once the budget is spent.
int SpendGroupEntry(pcre2_callout_block*, void* data) {
    auto* remaining = static_cast<std::uint64_t*>(data);
    if (*remaining == 0) return PCRE2_ERROR_MATCHLIMIT;
    --*remaining;
    return 0;
}

std::uint64_t GroupBudget(const MatchLimits& limits, std::size_t subjectLength) {
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    std::uint64_t perUnit = limits.groupBudgetPerUnit;
    if (perUnit != 0 && subjectLength > (kMax - limits.groupBudgetBase) / perUnit) return kMax;
    return limits.groupBudgetBase + perUnit * subjectLength;
}

SearchFailure FailureOf(int rc) {
    switch (rc) {
        case PCRE2_ERROR_MATCHLIMIT:
        case PCRE2_ERROR_DEPTHLIMIT:
        case PCRE2_ERROR_HEAPLIMIT:
        case PCRE2_ERROR_JIT_STACKLIMIT:
            return SearchFailure::LimitReached;
        case PCRE2_ERROR_NOMEMORY:
            return SearchFailure::OutOfMemory;
        default:
            return SearchFailure::Internal;
    }
}

}  // namespace

struct CompiledPattern::Pcre {
    std::unique_ptr<pcre2_code, CodeDeleter> code;
    std::unique_ptr<pcre2_match_context, MatchContextDeleter> context;
    std::unique_ptr<pcre2_jit_stack, JitStackDeleter> jitStack;
    std::unique_ptr<pcre2_match_data, MatchDataDeleter> matchData;
};

std::variant<std::unique_ptr<CompiledPattern>, PatternError> CompiledPattern::Compile(
    std::u16string_view pattern, bool ignoreCase, bool multiline, const MatchLimits& limits) {
    TranslatedPattern translated = TranslatePattern(pattern, multiline);
    if (translated.error != PatternError::None) return translated.error;

    // The translation states everything explicitly; these options keep PCRE2
    // from reading anything into it, and give back references to groups that
    // took no part the meaning of the source language (they match "").
    std::uint32_t options =
        PCRE2_NEVER_UTF | PCRE2_NEVER_UCP | PCRE2_NEVER_BACKSLASH_C | PCRE2_MATCH_UNSET_BACKREF;
    if (ignoreCase) options |= PCRE2_CASELESS;
    int errorCode = 0;
    PCRE2_SIZE errorOffset = 0;
    auto pcre = std::make_unique<Pcre>();
    pcre->code.reset(pcre2_compile(AsPcreText(translated.pcre), translated.pcre.size(), options,
                                   &errorCode, &errorOffset, nullptr));
    // Whatever PCRE2 still refuses (too deep a nesting, too many groups) is a
    // pattern the object cannot take.
    if (!pcre->code) return PatternError::Syntax;
    // Without JIT support the interpreter matches, within its own limits.
    pcre2_jit_compile(pcre->code.get(), PCRE2_JIT_COMPLETE);
    return std::unique_ptr<CompiledPattern>(new CompiledPattern(std::move(pcre), limits));
}

CompiledPattern::CompiledPattern(std::unique_ptr<Pcre> pcre, const MatchLimits& limits)
    : pcre_(std::move(pcre)), limits_(limits) {
    pcre_->context.reset(NotNull(pcre2_match_context_create(nullptr)));
    pcre2_set_match_limit(pcre_->context.get(), limits_.matchLimit);
    pcre2_set_depth_limit(pcre_->context.get(), limits_.depthLimit);
    pcre2_set_heap_limit(pcre_->context.get(), limits_.heapLimitKiB);
    pcre_->matchData.reset(
        NotNull(pcre2_match_data_create_from_pattern(pcre_->code.get(), nullptr)));
    std::uint32_t captures = 0;
    pcre2_pattern_info(pcre_->code.get(), PCRE2_INFO_CAPTURECOUNT, &captures);
    groupCount_ = captures;
}

CompiledPattern::~CompiledPattern() = default;

// JIT code first runs on the 32 KB PCRE2 takes from the machine stack; a
// pattern gets its own large stack only once a match attempt has run out of
// that, and the attempt is then made again from the same budget, so that the
// outcome is the one the large stack would have given from the start. Most
// patterns never need it, and making one (an mmap of its whole size) would
// cost more than compiling them.
int CompiledPattern::MatchAt(std::u16string_view subject, std::size_t from, std::uint64_t& budget) {
    const std::uint64_t budgetBefore = budget;
    int rc = pcre2_match(pcre_->code.get(), AsPcreText(subject), subject.size(), from, 0,
                         pcre_->matchData.get(), pcre_->context.get());
    if (rc != PCRE2_ERROR_JIT_STACKLIMIT || pcre_->jitStack) return rc;
    pcre_->jitStack.reset(NotNull(pcre2_jit_stack_create(
        std::min(kJitStackStartBytes, limits_.jitStackBytes), limits_.jitStackBytes, nullptr)));
    pcre2_jit_stack_assign(pcre_->context.get(), nullptr, pcre_->jitStack.get());
    budget = budgetBefore;
    return pcre2_match(pcre_->code.get(), AsPcreText(subject), subject.size(), from, 0,
                       pcre_->matchData.get(), pcre_->context.get());
}

SearchResult CompiledPattern::Search(std::u16string_view subject, bool all) {
    std::uint64_t budget = GroupBudget(limits_, subject.size());
    pcre2_set_callout(pcre_->context.get(), SpendGroupEntry, &budget);
    MatchList matches(groupCount_);
    std::size_t from = 0;
    while (from <= subject.size()) {
        int rc = MatchAt(subject, from, budget);
        if (rc == PCRE2_ERROR_NOMATCH) break;
        if (rc < 0) return FailureOf(rc);
        // Groups above the highest one that took part are PCRE2_UNSET too.
        const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(pcre_->matchData.get());
        matches.Add(ovector);
        if (!all) break;
        from = ovector[1] == ovector[0] ? ovector[1] + 1 : ovector[1];
    }
    return matches;
}

}  // namespace tralvex::regexp
