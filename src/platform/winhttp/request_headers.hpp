#pragma once

// The request headers a caller sets on the request object, kept in the order
// they were first set. Names are ASCII tokens; values are bytes in the ANSI
// code page.

#include <string>
#include <string_view>
#include <vector>

namespace tralvex::winhttp {

struct Header {
    std::string name;
    std::string value;
};

// A name is an HTTP token: letters, digits and !#$%&'*+-.^_`|~.
bool IsValidHeaderName(std::u16string_view name);
// A value holds no line break and no zero: it cannot end its header line.
bool IsValidHeaderValue(std::u16string_view value);

class RequestHeaders {
  public:
    // A header of the same name (ASCII case ignored) takes the new name and
    // value in its first position; a value of nothing but blanks removes the
    // header, as the platform does for an empty value.
    void Set(std::string name, std::string value);
    bool Has(std::string_view name) const;
    const std::vector<Header>& Items() const { return items_; }
    void Clear() { items_.clear(); }

  private:
    std::vector<Header> items_;
};

bool SameHeaderName(std::string_view a, std::string_view b);

}  // namespace tralvex::winhttp
