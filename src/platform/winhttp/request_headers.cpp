#include "platform/winhttp/request_headers.hpp"

#include <algorithm>

#include "text/text.hpp"

namespace tralvex::winhttp {
namespace {

bool IsTokenChar(char16_t c) {
    if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9')) {
        return true;
    }
    return std::u16string_view(u"!#$%&'*+-.^_`|~").find(c) != std::u16string_view::npos;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool IsValidHeaderName(std::u16string_view name) {
    return !name.empty() && std::all_of(name.begin(), name.end(), IsTokenChar);
}

bool IsValidHeaderValue(std::u16string_view value) {
    return value.find_first_of(std::u16string_view(u"\r\n\0", 3)) == std::u16string_view::npos;
}

// The same answer as ToLowerAscii(a) == ToLowerAscii(b) without making the
// two copies: names are compared for every header of every request. A byte of
// 0x80 or more starts a double-byte character whose bytes are compared as
// they are.
bool SameHeaderName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (IsLeadByte(a[i]) && i + 1 < a.size()) {
            if (a[i] != b[i] || a[i + 1] != b[i + 1]) return false;
            ++i;
        } else if (LowerAscii(a[i]) != LowerAscii(b[i])) {
            return false;
        }
    }
    return true;
}

void RequestHeaders::Set(std::string name, std::string value) {
    auto it = std::find_if(items_.begin(), items_.end(),
                           [&name](const Header& h) { return SameHeaderName(h.name, name); });
    bool removes = std::all_of(value.begin(), value.end(), IsBlank);
    if (removes) {
        if (it != items_.end()) items_.erase(it);
        return;
    }
    if (it != items_.end()) {
        *it = {std::move(name), std::move(value)};
    } else {
        items_.push_back({std::move(name), std::move(value)});
    }
}

bool RequestHeaders::Has(std::string_view name) const {
    return std::any_of(items_.begin(), items_.end(),
                       [name](const Header& h) { return SameHeaderName(h.name, name); });
}

}  // namespace tralvex::winhttp
