#include "platform/profile/profile.hpp"

#include <optional>
#include <vector>

#include "platform/profile/profile_file.hpp"

namespace tralvex {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

// One line of the file: its bytes without the line end, and where the next
// line starts (after the CR LF, CR or LF; the file's end for a last line
// without one).
struct Line {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::size_t next = 0;
};

std::vector<Line> SplitLines(std::string_view content) {
    std::vector<Line> lines;
    std::size_t begin = 0;
    while (begin < content.size()) {
        std::size_t end = content.find_first_of("\r\n", begin);
        if (end == std::string_view::npos) {
            lines.push_back({begin, content.size(), content.size()});
            break;
        }
        std::size_t next = content.compare(end, 2, kLineEnd) == 0 ? end + 2 : end + 1;
        lines.push_back({begin, end, next});
        begin = next;
    }
    return lines;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

std::string_view TrimAsciiBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

std::string_view TrimTrailingAsciiBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && ToLowerAscii(a) == ToLowerAscii(b);
}

bool IsQuote(char c) { return c == '"' || c == '\''; }

bool HasMatchingQuotes(std::string_view value) {
    return value.size() >= 2 && IsQuote(value.front()) && value.back() == value.front();
}

std::string_view WithoutQuotes(std::string_view value) {
    return HasMatchingQuotes(value) ? value.substr(1, value.size() - 2) : value;
}

// The name of a section header "[ name ]" (text after the "]" is ignored), or
// nothing for any other line. The "]" is searched character by character, as
// it may be the trail byte of a double-byte character.
std::optional<std::string_view> SectionName(std::string_view line) {
    line = TrimAsciiBlanks(line);
    if (line.empty() || line.front() != '[') return std::nullopt;
    int close = FindText(line, "]", 2);
    if (close < 0) return std::nullopt;
    return TrimAsciiBlanks(line.substr(1, static_cast<std::size_t>(close) - 2));
}

struct KeyLine {
    std::string_view key;
    std::string_view value;
};

// A line "key = value" split at its first "="; lines without one are no keys.
std::optional<KeyLine> ParseKeyLine(std::string_view line) {
    std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) return std::nullopt;
    return KeyLine{TrimAsciiBlanks(line.substr(0, equals)),
                   WithoutQuotes(TrimAsciiBlanks(line.substr(equals + 1)))};
}

// Where a key stands, or would go, in a file.
struct Location {
    // Index of the last line of the first matching section that is not
    // blank (its header when it has nothing else); none without the section.
    std::optional<std::size_t> sectionLastLine;
    std::optional<std::size_t> keyLine;
    std::optional<KeyLine> key;
};

Location Locate(std::string_view content, const std::vector<Line>& lines, std::string_view section,
                std::string_view key) {
    Location found;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string_view line = content.substr(lines[i].begin, lines[i].end - lines[i].begin);
        if (std::optional<std::string_view> name = SectionName(line)) {
            if (found.sectionLastLine) break;
            if (SameName(*name, section)) found.sectionLastLine = i;
            continue;
        }
        if (!found.sectionLastLine) continue;
        if (!TrimAsciiBlanks(line).empty()) found.sectionLastLine = i;
        if (found.keyLine) continue;
        std::optional<KeyLine> keyLine = ParseKeyLine(line);
        if (keyLine && SameName(keyLine->key, key)) {
            found.keyLine = i;
            found.key = keyLine;
        }
    }
    return found;
}

// The longest start of `text` that has at most `maxBytes` bytes and does not
// split a double-byte character (a lead byte at the very end stands alone).
std::string_view CutToWholeCharacters(std::string_view text, std::size_t maxBytes) {
    std::size_t size = 0;
    while (size < text.size()) {
        bool pair = IsLeadByte(text[size]) && size + 1 < text.size();
        std::size_t next = size + (pair ? 2 : 1);
        if (next > maxBytes) break;
        size = next;
    }
    return text.substr(0, size);
}

std::string_view UpToZeroByte(std::string_view text) { return text.substr(0, text.find('\0')); }

bool HoldsLineBreakOrZero(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

bool IsWritableSectionName(std::string_view name) {
    return !name.empty() && !HoldsLineBreakOrZero(name) && FindText(name, "]") < 0;
}

bool IsWritableKeyName(std::string_view name) {
    return !name.empty() && !HoldsLineBreakOrZero(name) &&
           name.find('=') == std::string_view::npos && name.front() != '[';
}

bool NeedsQuotes(std::string_view value) {
    return !value.empty() &&
           (IsBlank(value.front()) || IsBlank(value.back()) || HasMatchingQuotes(value));
}

std::string KeyLineText(std::string_view key, std::string_view value) {
    std::string line(key);
    line += '=';
    if (NeedsQuotes(value)) {
        line += '"';
        line += value;
        line += '"';
    } else {
        line += value;
    }
    line += kLineEnd;
    return line;
}

bool EndsWithLineEnd(std::string_view content) {
    return content.empty() || content.back() == '\n' || content.back() == '\r';
}

// The old content with the key set: its line replaced, or a line added after
// the section's last line, or the section added at the end.
std::string WithKey(const std::string& old, std::string_view section, std::string_view key,
                    std::string_view value) {
    const std::vector<Line> lines = SplitLines(old);
    const Location at = Locate(old, lines, section, key);
    std::string content = old;
    if (at.keyLine) {
        const Line& line = lines[*at.keyLine];
        content.replace(line.begin, line.next - line.begin, KeyLineText(at.key->key, value));
    } else if (at.sectionLastLine) {
        const Line& line = lines[*at.sectionLastLine];
        std::string added = line.end == line.next ? std::string(kLineEnd) : std::string();
        content.insert(line.next, added + KeyLineText(key, value));
    } else {
        if (!EndsWithLineEnd(content)) content += kLineEnd;
        content += '[';
        content += section;
        content += ']';
        content += kLineEnd;
        content += KeyLineText(key, value);
    }
    return content;
}

}  // namespace

Text GetPrivateProfileString(std::string_view section, std::string_view key,
                             std::string_view defaultValue, std::size_t bufferSize,
                             const std::filesystem::path& file) {
    if (bufferSize == 0) return Text();
    std::string_view result = TrimTrailingAsciiBlanks(defaultValue);
    section = TrimAsciiBlanks(section);
    key = TrimAsciiBlanks(key);
    const profile_file::Content content = profile_file::ReadWhole(file);
    if (!section.empty() && !key.empty() && content.state == profile_file::Content::State::Read) {
        const std::vector<Line> lines = SplitLines(content.bytes);
        const Location at = Locate(content.bytes, lines, section, key);
        if (at.key) result = at.key->value;
    }
    return Text(CutToWholeCharacters(UpToZeroByte(result), bufferSize - 1));
}

bool WritePrivateProfileString(std::string_view section, std::string_view key,
                               std::string_view value, const std::filesystem::path& file) {
    section = TrimAsciiBlanks(section);
    key = TrimAsciiBlanks(key);
    if (!IsWritableSectionName(section) || !IsWritableKeyName(key) || HoldsLineBreakOrZero(value)) {
        return false;
    }
    const profile_file::Content old = profile_file::ReadWhole(file);
    if (old.state == profile_file::Content::State::Unreadable) return false;
    return profile_file::ReplaceWhole(file, WithKey(old.bytes, section, key, value));
}

}  // namespace tralvex
