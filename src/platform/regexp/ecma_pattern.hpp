#pragma once

// Translation of the pattern language of the regular-expression object (the
// ECMAScript 3 language, with the legacy octal escapes) into PCRE2 syntax for
// the 16-bit library without UTF mode.
//
// Every construct is parsed and written out again explicitly, so that nothing
// of the user's pattern reaches PCRE2 with a meaning it does not have in the
// source language. Constructs the language does not have (lookbehind, named
// groups, atomic groups, possessive quantifiers, inline modifiers, \A \Z \z,
// \p{..}, and escapes of letters without a meaning) are rejected.

#include <string>
#include <string_view>

namespace tralvex::regexp {

enum class PatternError {
    None,
    Syntax,                // "Syntax error in regular expression"
    UnexpectedQuantifier,  // a quantifier with nothing it may repeat
    ExpectedBracket,       // a character class without its ']'
    ExpectedParen,         // a group without its ')'
    InvalidRange,          // a range in a class whose end is below its start
};

struct TranslatedPattern {
    std::u16string pcre;
    PatternError error = PatternError::None;
};

// Line terminators for '.', and for '^' and '$' in multi-line mode, are "\n"
// and "\r". Each group alternative starts with a callout so that the matcher
// can count the work spent in groups (see compiled_pattern.hpp).
TranslatedPattern TranslatePattern(std::u16string_view pattern, bool multiline);

}  // namespace tralvex::regexp
