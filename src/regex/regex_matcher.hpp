#pragma once

// A regular-expression object ("VBScript.RegExp") together with the match
// collection of its last search, with text-in, text-out operations: set up a
// pattern and its flags, search a text, read the n-th match or one of its
// groups, replace. Match and group numbers are 1-based here.
//
// Every platform call goes through the late-bound call layer; a failed call
// gives the empty value of its kind and leaves its outcome as the thread's
// last automation error. Nothing is ever shown or reported.

#include <cstdint>
#include <optional>

#include "automation/variant.hpp"
#include "text/text.hpp"

namespace tralvex {

class RegexMatcher {
  public:
    // Initialises the component library for the calling thread.
    RegexMatcher();
    // Releases both objects, then uninitialises once.
    virtual ~RegexMatcher();
    // Refers to the same RegExp object and collection (one more reference
    // each) and takes over the match count. It initialises the component
    // library for itself, so that its destruction stays balanced.
    RegexMatcher(const RegexMatcher& source);
    RegexMatcher& operator=(const RegexMatcher&) = delete;

    // Creates a new RegExp object after releasing the old one, and writes
    // IgnoreCase, Multiline, Global (each true when omitted) and Pattern, in
    // that order. False when the object cannot be created.
    virtual bool Create(const Text& pattern, std::optional<bool> ignoreCase = std::nullopt,
                        std::optional<bool> multiline = std::nullopt,
                        std::optional<bool> global = std::nullopt);
    // Releases the RegExp object and the collection; the count becomes 0.
    virtual void Clear();
    virtual Text GetPattern();
    virtual Text Replace(const Text& source, const Text& replacement = Text());
    // Searches the text and keeps the collection; gives its match count, 0
    // when the search fails.
    virtual std::int32_t Execute(const Text& text);
    // The count the last Execute stored.
    virtual std::int32_t MatchCount();
    // The n-th match of the last search, empty when there is none.
    virtual Text MatchText(std::int32_t n);
    // Group j of match i, empty when either is not there or the group took
    // no part.
    virtual Text SubMatchText(std::int32_t i, std::int32_t j);
    // The number of groups of the first match; 0 without a platform call
    // while the stored count is 0.
    virtual std::int32_t SubMatchCount();

  private:
    automation::AutomationObject regex;
    automation::AutomationObject matches;
    std::int32_t matchCount = 0;
};

}  // namespace tralvex
