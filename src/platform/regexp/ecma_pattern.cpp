#include "platform/regexp/ecma_pattern.hpp"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

namespace tralvex::regexp {
namespace {

// PCRE2's largest repeat count; a larger one cannot be expressed.
constexpr std::uint32_t kMaxRepeat = 65535;

// Written after every group opening and every '|' inside a group.
constexpr std::u16string_view kWorkCallout = u"(?C)";

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

bool IsOctalDigit(char16_t c) { return c >= u'0' && c <= u'7'; }

bool IsAsciiLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }

int HexValue(char16_t c) {
    if (IsDigit(c)) return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

void AppendAscii(std::u16string& out, std::string_view ascii) {
    out.append(ascii.begin(), ascii.end());
}

void AppendNumber(std::u16string& out, std::uint32_t value) {
    AppendAscii(out, std::to_string(value));
}

// A code unit as PCRE2 reads it literally everywhere: letters and digits as
// they are, everything else as a hexadecimal escape.
void AppendLiteral(std::u16string& out, char16_t c) {
    if (IsAsciiLetter(c) || IsDigit(c)) {
        out.push_back(c);
        return;
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string escape = "\\x{";
    bool started = false;
    for (int shift = 12; shift >= 0; shift -= 4) {
        int nibble = (c >> shift) & 0xF;
        if (nibble == 0 && !started && shift > 0) continue;
        started = true;
        escape.push_back(kHex[nibble]);
    }
    escape.push_back('}');
    AppendAscii(out, escape);
}

// The number of capturing groups in the whole pattern, which decides whether
// "\n" is a back reference or an octal escape (also for groups further on).
std::uint32_t CountCapturingGroups(std::u16string_view pattern) {
    std::uint32_t count = 0;
    bool inClass = false;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        char16_t c = pattern[i];
        if (c == u'\\') {
            ++i;
        } else if (inClass) {
            inClass = c != u']';
        } else if (c == u'[') {
            inClass = true;
        } else if (c == u'(' && (i + 1 >= pattern.size() || pattern[i + 1] != u'?')) {
            ++count;
        }
    }
    return count;
}

// One member of a character class: a single code unit, or one of the class
// escapes \d \D \w \W \s \S written the PCRE2 way (ASCII-only there, as in the
// source language, because UCP is never enabled).
struct ClassAtom {
    char16_t unit = 0;
    std::u16string_view classEscape;
};

class Translator {
  public:
    Translator(std::u16string_view pattern, bool multiline)
        : src_(pattern), multiline_(multiline), groupCount_(CountCapturingGroups(pattern)) {}

    TranslatedPattern Run() {
        while (!Failed() && pos_ < src_.size()) TranslateTerm();
        if (!Failed() && !groups_.empty()) Fail(PatternError::ExpectedParen);
        if (Failed()) return {{}, error_};
        return {std::move(out_), PatternError::None};
    }

  private:
    enum class Last { Nothing, Atom, Assertion, Quantifier };
    enum class Group { Capturing, NonCapturing, Lookahead };

    bool Failed() const { return error_ != PatternError::None; }
    void Fail(PatternError error) {
        if (!Failed()) error_ = error;
    }
    bool AtEnd() const { return pos_ >= src_.size(); }
    char16_t Peek(std::size_t ahead = 0) const {
        return pos_ + ahead < src_.size() ? src_[pos_ + ahead] : u'\0';
    }
    bool HasAhead(std::size_t ahead) const { return pos_ + ahead < src_.size(); }

    void TranslateTerm() {
        char16_t c = src_[pos_];
        switch (c) {
            case u'|':
                ++pos_;
                out_.push_back(u'|');
                if (!groups_.empty()) out_.append(kWorkCallout);
                last_ = Last::Nothing;
                return;
            case u'(':
                OpenGroup();
                return;
            case u')':
                CloseGroup();
                return;
            case u'[':
                TranslateClass();
                return;
            case u'*':
            case u'+':
            case u'?':
                ++pos_;
                Quantify(std::u16string(1, c));
                return;
            case u'{':
                if (std::optional<std::u16string> braces = ReadBraceQuantifier()) {
                    Quantify(*braces);
                } else {
                    ++pos_;
                    Atom([&] { AppendLiteral(out_, c); });
                }
                return;
            case u'^':
                ++pos_;
                Assertion(multiline_ ? u"(?<![^\\n\\r])" : u"^");
                return;
            case u'$':
                ++pos_;
                Assertion(multiline_ ? u"(?![^\\n\\r])" : u"\\z");
                return;
            case u'.':
                ++pos_;
                Atom([&] { out_.append(u"[^\\n\\r]"); });
                return;
            case u'\\':
                ++pos_;
                TranslateEscape();
                return;
            default:
                ++pos_;
                Atom([&] { AppendLiteral(out_, c); });
                return;
        }
    }

    template <typename Emit>
    void Atom(Emit emit) {
        emit();
        last_ = Last::Atom;
    }

    void Assertion(std::u16string_view text) {
        out_.append(text);
        last_ = Last::Assertion;
    }

    // Only a character, a class, a group or a back reference may be repeated,
    // and only once; a '?' straight after a quantifier makes it lazy.
    void Quantify(const std::u16string& quantifier) {
        if (last_ != Last::Atom) return Fail(PatternError::UnexpectedQuantifier);
        out_.append(quantifier);
        if (Peek() == u'?') {
            ++pos_;
            out_.push_back(u'?');
        }
        last_ = Last::Quantifier;
    }

    // Reads "{n}", "{n,}" or "{n,m}" at the current position and returns it in
    // PCRE2 form; anything else leaves the position alone and gives nothing,
    // and the '{' is then an ordinary character.
    std::optional<std::u16string> ReadBraceQuantifier() {
        std::size_t at = pos_ + 1;
        std::optional<std::uint32_t> min = ReadNumber(at);
        if (!min) return std::nullopt;
        std::optional<std::uint32_t> max = min;
        bool open = false;
        if (at < src_.size() && src_[at] == u',') {
            ++at;
            max = ReadNumber(at);
            open = !max;
        }
        if (at >= src_.size() || src_[at] != u'}') return std::nullopt;
        pos_ = at + 1;
        if (*min > kMaxRepeat || (max && (*max > kMaxRepeat || *max < *min))) {
            Fail(PatternError::Syntax);
            return std::u16string();
        }
        std::u16string text = u"{";
        AppendNumber(text, *min);
        if (open) {
            text.push_back(u',');
        } else if (*max != *min) {
            text.push_back(u',');
            AppendNumber(text, *max);
        }
        text.push_back(u'}');
        return text;
    }

    // Decimal digits at `at`, moved past them; a value too large for any use
    // saturates just above the repeat limit.
    std::optional<std::uint32_t> ReadNumber(std::size_t& at) const {
        if (at >= src_.size() || !IsDigit(src_[at])) return std::nullopt;
        std::uint32_t value = 0;
        for (; at < src_.size() && IsDigit(src_[at]); ++at) {
            value = std::min<std::uint32_t>(value * 10 + (src_[at] - u'0'), kMaxRepeat + 1);
        }
        return value;
    }

    void OpenGroup() {
        ++pos_;
        if (Peek() != u'?') {
            out_.push_back(u'(');
            groups_.push_back(Group::Capturing);
        } else {
            char16_t kind = Peek(1);
            if (kind == u':') {
                out_.append(u"(?:");
                groups_.push_back(Group::NonCapturing);
            } else if (kind == u'=' || kind == u'!') {
                out_.append(kind == u'=' ? u"(?=" : u"(?!");
                groups_.push_back(Group::Lookahead);
            } else {
                // Lookbehind, named and atomic groups, inline modifiers,
                // comments, conditionals: none of them is in the language.
                return Fail(PatternError::Syntax);
            }
            pos_ += 2;
        }
        out_.append(kWorkCallout);
        last_ = Last::Nothing;
    }

    void CloseGroup() {
        ++pos_;
        if (groups_.empty()) return Fail(PatternError::Syntax);
        Group group = groups_.back();
        groups_.pop_back();
        out_.push_back(u')');
        // A lookahead is an assertion: it may not be repeated.
        last_ = group == Group::Lookahead ? Last::Assertion : Last::Atom;
    }

    void TranslateEscape() {
        if (AtEnd()) return Fail(PatternError::Syntax);
        char16_t c = src_[pos_];
        switch (c) {
            case u'b':
            case u'B':
                ++pos_;
                return Assertion(c == u'b' ? u"\\b" : u"\\B");
            case u'd':
            case u'D':
            case u'w':
            case u'W':
            case u's':
            case u'S':
                ++pos_;
                return Atom([&] {
                    out_.push_back(u'\\');
                    out_.push_back(c);
                });
            default:
                break;
        }
        if (IsDigit(c) && c != u'0') return TranslateDecimalEscape();
        if (std::optional<char16_t> unit = ReadCharacterEscape()) {
            Atom([&] { AppendLiteral(out_, *unit); });
        }
    }

    // "\n" with n not above the number of groups is a back reference;
    // otherwise it is an octal escape, or the digit itself for 8 and 9.
    void TranslateDecimalEscape() {
        std::size_t at = pos_;
        std::optional<std::uint32_t> number = ReadNumber(at);
        if (*number <= groupCount_) {
            pos_ = at;
            return Atom([&] {
                out_.append(u"\\g{");
                AppendNumber(out_, *number);
                out_.push_back(u'}');
            });
        }
        char16_t unit = IsOctalDigit(Peek()) ? ReadLegacyOctal() : src_[pos_++];
        Atom([&] { AppendLiteral(out_, unit); });
    }

    // Up to three octal digits with a value of at most 0377.
    char16_t ReadLegacyOctal() {
        char16_t first = src_[pos_++];
        unsigned value = first - u'0';
        if (!IsOctalDigit(Peek())) return static_cast<char16_t>(value);
        value = value * 8 + (src_[pos_++] - u'0');
        if (first <= u'3' && IsOctalDigit(Peek())) {
            value = value * 8 + (src_[pos_++] - u'0');
        }
        return static_cast<char16_t>(value);
    }

    // The escapes that stand for one code unit, in and outside classes: the
    // control escapes, \cX, \xhh, \uhhhh, octal escapes starting with 0, and
    // any character that is not an ASCII letter standing for itself. An
    // ASCII letter without a meaning is refused rather than read as itself,
    // so that \A, \z, \p{..} and the like are not silently misread.
    std::optional<char16_t> ReadCharacterEscape() {
        char16_t c = src_[pos_];
        if (IsOctalDigit(c)) return ReadLegacyOctal();
        ++pos_;
        switch (c) {
            case u'f':
                return u'\f';
            case u'n':
                return u'\n';
            case u'r':
                return u'\r';
            case u't':
                return u'\t';
            case u'v':
                return u'\v';
            case u'c':
                if (!IsAsciiLetter(Peek())) break;
                return static_cast<char16_t>(src_[pos_++] % 32);
            case u'x':
                return ReadHex(2);
            case u'u':
                return ReadHex(4);
            default:
                if (!IsAsciiLetter(c)) return c;
                break;
        }
        Fail(PatternError::Syntax);
        return std::nullopt;
    }

    std::optional<char16_t> ReadHex(int digits) {
        unsigned value = 0;
        for (int i = 0; i < digits; ++i) {
            int digit = HexValue(Peek(static_cast<std::size_t>(i)));
            if (digit < 0) {
                Fail(PatternError::Syntax);
                return std::nullopt;
            }
            value = value * 16 + static_cast<unsigned>(digit);
        }
        pos_ += static_cast<std::size_t>(digits);
        return static_cast<char16_t>(value);
    }

    void TranslateClass() {
        ++pos_;
        bool negated = Peek() == u'^';
        if (negated) ++pos_;
        std::u16string body;
        for (;;) {
            if (AtEnd()) return Fail(PatternError::ExpectedBracket);
            if (src_[pos_] == u']') {
                ++pos_;
                break;
            }
            std::optional<ClassAtom> from = ReadClassAtom();
            if (!from) return;
            if (Peek() == u'-' && HasAhead(1) && src_[pos_ + 1] != u']') {
                ++pos_;
                std::optional<ClassAtom> to = ReadClassAtom();
                if (!to) return;
                if (!AppendRange(body, *from, *to)) return Fail(PatternError::InvalidRange);
            } else {
                AppendClassAtom(body, *from);
            }
        }
        Atom([&] {
            if (body.empty()) {
                // "[]" matches nothing, "[^]" any code unit.
                out_.append(negated ? u"[\\x{0}-\\x{ffff}]" : u"(?!)");
                return;
            }
            out_.append(negated ? u"[^" : u"[");
            out_.append(body);
            out_.push_back(u']');
        });
    }

    std::optional<ClassAtom> ReadClassAtom() {
        char16_t c = src_[pos_++];
        if (c != u'\\') return ClassAtom{c, {}};
        if (AtEnd()) {
            Fail(PatternError::ExpectedBracket);
            return std::nullopt;
        }
        c = src_[pos_];
        switch (c) {
            case u'b':
                ++pos_;
                return ClassAtom{u'\b', {}};
            case u'd':
                ++pos_;
                return ClassAtom{0, u"\\d"};
            case u'D':
                ++pos_;
                return ClassAtom{0, u"\\D"};
            case u'w':
                ++pos_;
                return ClassAtom{0, u"\\w"};
            case u'W':
                ++pos_;
                return ClassAtom{0, u"\\W"};
            case u's':
                ++pos_;
                return ClassAtom{0, u"\\s"};
            case u'S':
                ++pos_;
                return ClassAtom{0, u"\\S"};
            case u'8':
            case u'9':
                ++pos_;
                return ClassAtom{c, {}};
            default:
                break;
        }
        std::optional<char16_t> unit = ReadCharacterEscape();
        if (!unit) return std::nullopt;
        return ClassAtom{*unit, {}};
    }

    static void AppendClassAtom(std::u16string& body, const ClassAtom& atom) {
        if (atom.classEscape.empty()) {
            AppendLiteral(body, atom.unit);
        } else {
            body.append(atom.classEscape);
        }
    }

    // A range with a class escape at either end is no range: the '-' is then
    // an ordinary member, as in "[\w-.]".
    static bool AppendRange(std::u16string& body, const ClassAtom& from, const ClassAtom& to) {
        if (!from.classEscape.empty() || !to.classEscape.empty()) {
            AppendClassAtom(body, from);
            AppendLiteral(body, u'-');
            AppendClassAtom(body, to);
            return true;
        }
        if (from.unit > to.unit) return false;
        AppendLiteral(body, from.unit);
        body.push_back(u'-');
        AppendLiteral(body, to.unit);
        return true;
    }

    std::u16string_view src_;
    bool multiline_;
    std::uint32_t groupCount_;
    std::size_t pos_ = 0;
    std::u16string out_;
    std::vector<Group> groups_;
    Last last_ = Last::Nothing;
    PatternError error_ = PatternError::None;
};

}  // namespace

TranslatedPattern TranslatePattern(std::u16string_view pattern, bool multiline) {
    return Translator(pattern, multiline).Run();
}

}  // namespace tralvex::regexp
