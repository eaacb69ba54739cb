#include <array>
#include <charconv>

#include "router_sim.hpp"

namespace tralvex::routersim {
namespace {

constexpr std::array<std::string_view, 4> kKindNames = {"status", "disconnect", "connect", "other"};
constexpr std::array<std::string_view, 7> kAnswerNames = {
    "status-page", "login-page", "not-found", "not-implemented", "hang", "garbage", "drop"};

template <typename Enum, std::size_t N>
std::optional<Enum> FromName(const std::array<std::string_view, N>& names, std::string_view name) {
    for (std::size_t i = 0; i < N; ++i) {
        if (names[i] == name) return static_cast<Enum>(i);
    }
    return std::nullopt;
}

// Reads the next word of a header line, up to a space.
std::string_view NextWord(std::string_view& line) {
    std::size_t end = line.find(' ');
    std::string_view word = line.substr(0, end);
    line.remove_prefix(end == std::string_view::npos ? line.size() : end + 1);
    return word;
}

bool Expect(std::string_view& line, std::string_view word) { return NextWord(line) == word; }

template <typename Number>
bool ReadNumber(std::string_view& line, Number& value) {
    std::string_view word = NextWord(line);
    auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    return error == std::errc() && end == word.data() + word.size() && !word.empty();
}

// Parses "=== request SEQ connection CONN kind KIND reply ANSWER wan WAN bytes N ===".
bool ParseHeader(std::string_view line, Record& record, std::size_t& size) {
    if (!Expect(line, "===") || !Expect(line, "request") || !ReadNumber(line, record.sequence) ||
        !Expect(line, "connection") || !ReadNumber(line, record.connection) ||
        !Expect(line, "kind")) {
        return false;
    }
    std::optional<Kind> kind = FromName<Kind>(kKindNames, NextWord(line));
    if (!kind || !Expect(line, "reply")) return false;
    std::optional<Answer> answer = FromName<Answer>(kAnswerNames, NextWord(line));
    if (!answer || !Expect(line, "wan")) return false;
    record.kind = *kind;
    record.answer = *answer;
    record.wan = std::string(NextWord(line));
    return !record.wan.empty() && Expect(line, "bytes") && ReadNumber(line, size) && line == "===";
}

}  // namespace

std::string_view KindName(Kind kind) { return kKindNames[static_cast<std::size_t>(kind)]; }

std::string_view AnswerName(Answer answer) {
    return kAnswerNames[static_cast<std::size_t>(answer)];
}

std::string FormatRecord(const Record& record) {
    std::string out = "=== request " + std::to_string(record.sequence) + " connection " +
                      std::to_string(record.connection) + " kind " +
                      std::string(KindName(record.kind)) + " reply " +
                      std::string(AnswerName(record.answer)) + " wan " + record.wan + " bytes " +
                      std::to_string(record.raw.size()) + " ===\n";
    out += record.raw;
    out += '\n';
    return out;
}

std::optional<std::vector<Record>> ParseLog(std::string_view log) {
    std::vector<Record> records;
    while (!log.empty()) {
        std::size_t lineEnd = log.find('\n');
        if (lineEnd == std::string_view::npos) return std::nullopt;
        Record record;
        std::size_t size = 0;
        if (!ParseHeader(log.substr(0, lineEnd), record, size)) return std::nullopt;
        log.remove_prefix(lineEnd + 1);
        if (log.size() < size + 1 || log[size] != '\n') return std::nullopt;
        record.raw = std::string(log.substr(0, size));
        log.remove_prefix(size + 1);
        records.push_back(std::move(record));
    }
    return records;
}

}  // namespace tralvex::routersim
