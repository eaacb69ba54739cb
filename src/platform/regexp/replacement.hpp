#pragma once

// The replacement text of the regular-expression object's Replace method.

#include <string>
#include <string_view>

#include "platform/regexp/compiled_pattern.hpp"

namespace tralvex::regexp {

// The subject with every listed match replaced by `replacement`, in which
// "$1".."$99" stand for a group (a group that took no part gives nothing),
// "$&" for the match, "$`" for the text before it, "$'" for the text after
// it and "$$" for "$". A "$" that starts none of these, or names a group the
// pattern does not have, stays as it is. Of two digits after "$" both are
// read when they name a group, otherwise only the first.
std::u16string ReplaceMatches(std::u16string_view subject, const MatchList& matches,
                              std::u16string_view replacement);

}  // namespace tralvex::regexp
