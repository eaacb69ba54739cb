#pragma once

// The text of the IPv4 address box and its four fields, apart from any widget.

#include <array>
#include <optional>
#include <string_view>

#include "text/text.hpp"

namespace tralvex {

// The four fields from left to right; an empty field is blank. A field that is
// not blank holds 0 to 255.
using AddressFields = std::array<std::optional<int>, 4>;

// The empty text when all four fields are blank; otherwise the four values in
// decimal joined by ".", a blank field counting as 0.
Text AddressFieldsToText(const AddressFields& fields);

// The fields a text fills: blanks around the text removed, the text split at
// its first three dots (the fourth part is everything after the third), blanks
// around each part removed and each part read as a leading number (an optional
// sign and the digits that follow, no digits counting as 0). All four fields
// blank unless there are three dots and all four numbers lie in 0..255.
AddressFields AddressTextToFields(std::string_view text);

}  // namespace tralvex
