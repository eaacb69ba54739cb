#include "cli/address_history.hpp"

#include <algorithm>
#include <ctime>
#include <sstream>

#include "platform/profile/profile_file.hpp"

namespace tralvex::cli {
namespace {

constexpr const char* kFileName = "IPhistory.txt";

std::vector<std::string> SplitLines(const std::string& bytes) {
    std::vector<std::string> lines;
    std::istringstream in(bytes);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty()) lines.push_back(line);
    }
    return lines;
}

// The old and the new address of a line: its second and third fields.
bool LineHolds(const std::string& line, const Text& address) {
    std::istringstream fields(line);
    std::string time, oldAddress, newAddress;
    fields >> time >> oldAddress >> newAddress;
    return address == oldAddress || address == newAddress;
}

}  // namespace

std::filesystem::path HistoryFilePath(const std::filesystem::path& settingsDirectory) {
    return settingsDirectory / kFileName;
}

std::string UtcTimestamp(std::chrono::system_clock::time_point time) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

AddressHistory::AddressHistory(std::filesystem::path file, State state,
                               std::vector<std::string> lines)
    : file_(std::move(file)), state_(state), lines_(std::move(lines)) {}

AddressHistory AddressHistory::Load(const std::filesystem::path& file) {
    profile_file::Content content = profile_file::ReadWhole(file);
    switch (content.state) {
        case profile_file::Content::State::Missing:
            return AddressHistory(file, State::Missing, {});
        case profile_file::Content::State::Unreadable:
            return AddressHistory(file, State::Unreadable, {});
        case profile_file::Content::State::Read:
            break;
    }
    return AddressHistory(file, State::Read, SplitLines(content.bytes));
}

bool AddressHistory::SeenInLastChanges(const Text& address, int changes) const {
    const std::size_t count = std::min(lines_.size(), static_cast<std::size_t>(changes));
    return std::any_of(lines_.end() - static_cast<std::ptrdiff_t>(count), lines_.end(),
                       [&](const std::string& line) { return LineHolds(line, address); });
}

bool AddressHistory::Record(const std::string& timestamp, const Text& oldAddress,
                            const Text& newAddress) {
    if (state_ == State::Unreadable) return false;
    lines_.push_back(timestamp + " " + oldAddress + " " + newAddress);
    if (lines_.size() > kHistoryChanges) {
        lines_.erase(lines_.begin(), lines_.end() - static_cast<std::ptrdiff_t>(kHistoryChanges));
    }
    std::string bytes;
    for (const std::string& line : lines_) bytes += line + "\n";
    return profile_file::ReplaceWhole(file_, bytes);
}

}  // namespace tralvex::cli
