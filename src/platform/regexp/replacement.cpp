#include "platform/regexp/replacement.hpp"

namespace tralvex::regexp {
namespace {

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

class Expander {
  public:
    Expander(std::u16string_view subject, const MatchList& matches, std::size_t match)
        : subject_(subject), matches_(matches), match_(match) {}

    void Expand(std::u16string_view replacement, std::u16string& out) const {
        for (std::size_t i = 0; i < replacement.size(); ++i) {
            char16_t c = replacement[i];
            if (c != u'$' || i + 1 == replacement.size()) {
                out.push_back(c);
                continue;
            }
            i += ExpandToken(replacement.substr(i + 1), out);
        }
    }

  private:
    // Writes what "$" followed by `rest` stands for and gives the number of
    // code units of `rest` it used.
    std::size_t ExpandToken(std::u16string_view rest, std::u16string& out) const {
        switch (rest[0]) {
            case u'$':
                out.push_back(u'$');
                return 1;
            case u'&':
                out.append(Group(0));
                return 1;
            case u'`':
                out.append(subject_.substr(0, matches_.Start(match_, 0)));
                return 1;
            case u'\'':
                out.append(subject_.substr(matches_.End(match_, 0)));
                return 1;
            default:
                break;
        }
        if (IsDigit(rest[0])) {
            std::size_t first = static_cast<std::size_t>(rest[0] - u'0');
            if (rest.size() > 1 && IsDigit(rest[1])) {
                std::size_t both = first * 10 + static_cast<std::size_t>(rest[1] - u'0');
                if (IsGroup(both)) {
                    out.append(Group(both));
                    return 2;
                }
            }
            if (IsGroup(first)) {
                out.append(Group(first));
                return 1;
            }
        }
        out.push_back(u'$');
        return 0;
    }

    bool IsGroup(std::size_t number) const {
        return number >= 1 && number <= matches_.GroupCount();
    }

    std::u16string_view Group(std::size_t group) const {
        std::size_t start = matches_.Start(match_, group);
        if (start == MatchList::kUnset) return {};
        return subject_.substr(start, matches_.End(match_, group) - start);
    }

    std::u16string_view subject_;
    const MatchList& matches_;
    std::size_t match_;
};

}  // namespace

std::u16string ReplaceMatches(std::u16string_view subject, const MatchList& matches,
                              std::u16string_view replacement) {
    std::u16string out;
    std::size_t copied = 0;
    for (std::size_t m = 0; m < matches.Count(); ++m) {
        out.append(subject.substr(copied, matches.Start(m, 0) - copied));
        Expander(subject, matches, m).Expand(replacement, out);
        copied = matches.End(m, 0);
    }
    out.append(subject.substr(copied));
    return out;
}

}  // namespace tralvex::regexp
