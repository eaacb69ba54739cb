#pragma once

// The router address a user may give on the command line or in the settings
// file: a host name or a dotted quad, with an optional port.

#include <optional>
#include <string>
#include <string_view>

namespace tralvex::cli {

// Why `text` is no router address, or nothing when it is one: a host name
// (labels of letters, digits and inner hyphens joined by dots, at most 253
// characters) or a dotted quad (four numbers 0 to 255 without leading zeros),
// either optionally followed by ":" and a port from 1 to 65535. A name whose
// last label is all digits is taken for a dotted quad, as names cannot end so.
std::optional<std::string> RouterAddressProblem(std::string_view text);

}  // namespace tralvex::cli
