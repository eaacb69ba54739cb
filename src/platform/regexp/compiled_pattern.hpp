#pragma once

// A pattern of the regular-expression object compiled with PCRE2 (16-bit code
// units, no UTF mode, JIT when the machine has it), and the searches the
// object's methods make with it.
//
// Matching is bounded so that no pattern can hang a caller:
// - each match attempt stops at PCRE2's match limit (and, without JIT, its
//   depth and heap limits; with JIT, the size of its stack, the 32 KB PCRE2
//   takes from the machine stack at first and the pattern's own stack of
//   jitStackBytes once an attempt has needed more);
// - the work of one search as a whole is bounded as well, because the match
//   limit counts each start position afresh: every entry into a group
//   alternative runs a callout that spends one unit of a budget given to the
//   search, which grows with the length of the subject.
// A search that reaches a limit fails as a whole; it never returns a partial
// list of matches.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/regexp/ecma_pattern.hpp"

namespace tralvex::regexp {

struct MatchLimits {
    std::uint32_t matchLimit = 10'000'000;
    std::uint32_t depthLimit = 1'000'000;
    std::uint32_t heapLimitKiB = 64 * 1024;
    std::size_t jitStackBytes = 16 * 1024 * 1024;
    // Group entries one search may make: the base plus so many per code unit
    // of the subject.
    std::uint64_t groupBudgetBase = 100'000'000;
    std::uint64_t groupBudgetPerUnit = 64;
};

enum class SearchFailure {
    LimitReached,
    OutOfMemory,
    Internal,
};

// The matches of one search over a subject. Offsets count UTF-16 code units.
class MatchList {
  public:
    static constexpr std::size_t kUnset = static_cast<std::size_t>(-1);

    explicit MatchList(std::size_t groupCount) : groupCount_(groupCount) {}

    std::size_t Count() const { return spans_.size() / Stride(); }
    std::size_t GroupCount() const { return groupCount_; }
    // Group 0 is the whole match; a group that took no part starts at kUnset.
    std::size_t Start(std::size_t match, std::size_t group) const {
        return spans_[match * Stride() + group * 2];
    }
    std::size_t End(std::size_t match, std::size_t group) const {
        return spans_[match * Stride() + group * 2 + 1];
    }

    void Add(const std::size_t* ovector) {
        spans_.insert(spans_.end(), ovector, ovector + Stride());
    }

  private:
    std::size_t Stride() const { return (groupCount_ + 1) * 2; }

    std::size_t groupCount_;
    std::vector<std::size_t> spans_;
};

using SearchResult = std::variant<MatchList, SearchFailure>;

class CompiledPattern {
  public:
    // Translates and compiles the pattern; gives the error of the pattern
    // language when it is refused.
    static std::variant<std::unique_ptr<CompiledPattern>, PatternError> Compile(
        std::u16string_view pattern, bool ignoreCase, bool multiline,
        const MatchLimits& limits = {});

    ~CompiledPattern();
    CompiledPattern(const CompiledPattern&) = delete;
    CompiledPattern& operator=(const CompiledPattern&) = delete;

    std::size_t GroupCount() const { return groupCount_; }

    // The first match, or with `all` every match in text order: after an
    // empty match the next search starts one code unit further on, and a
    // match may stand at the very end of the subject.
    SearchResult Search(std::u16string_view subject, bool all);

  private:
    struct Pcre;
    CompiledPattern(std::unique_ptr<Pcre> pcre, const MatchLimits& limits);
    // One pcre2_match from `from`: its return code.
    int MatchAt(std::u16string_view subject, std::size_t from, std::uint64_t& budget);

    std::unique_ptr<Pcre> pcre_;
    MatchLimits limits_;
    std::size_t groupCount_ = 0;
};

}  // namespace tralvex::regexp
