#pragma once

// The addresses the router held before and after each change this program
// made: the file IPhistory.txt beside the settings file, one line per change,
// oldest first, at most the last kHistoryChanges:
//   2024-05-01T12:00:00Z 203.0.113.7 198.51.100.20
// the time in UTC, the old and the new address, separated by single spaces.
// Lines are kept as they are; a line of another shape still counts as a
// change, with whatever addresses its second and third fields hold.

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "text/text.hpp"

namespace tralvex::cli {

inline constexpr std::size_t kHistoryChanges = 100;

std::filesystem::path HistoryFilePath(const std::filesystem::path& settingsDirectory);

// "YYYY-MM-DDTHH:MM:SSZ".
std::string UtcTimestamp(std::chrono::system_clock::time_point time);

class AddressHistory {
  public:
    enum class State { Missing, Unreadable, Read };

    // Reads the file; a file that is not there is an empty history.
    static AddressHistory Load(const std::filesystem::path& file);

    State GetState() const { return state_; }
    const std::filesystem::path& File() const { return file_; }

    // Whether `address` is the old or the new address of one of the last
    // `changes` changes.
    bool SeenInLastChanges(const Text& address, int changes) const;

    // Adds the change and replaces the file with the last kHistoryChanges
    // changes (mode 0600 when new). A history that could not be read is never
    // written over, so that nothing in it is lost. False when not written.
    bool Record(const std::string& timestamp, const Text& oldAddress, const Text& newAddress);

  private:
    AddressHistory(std::filesystem::path file, State state, std::vector<std::string> lines);

    std::filesystem::path file_;
    State state_;
    std::vector<std::string> lines_;
};

}  // namespace tralvex::cli
