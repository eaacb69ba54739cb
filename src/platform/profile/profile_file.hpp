#pragma once

// The file side of the profile functions: reading a file whole, and replacing
// it whole without ever leaving a partly written file behind.

#include <filesystem>
#include <string>

namespace tralvex::profile_file {

struct Content {
    enum class State { Missing, Unreadable, Read };
    State state = State::Missing;
    std::string bytes;
};

// The bytes of `file`. Only a regular file is read; a directory, a device or a
// pipe under that name counts as unreadable (and is never waited on).
Content ReadWhole(const std::filesystem::path& file);

// Replaces `file` with `bytes`: writes them to a new file in the same
// directory, flushes it to the disk and renames it over `file`. A file that
// already exists keeps its permission bits; a new one gets 0600. On failure the
// temporary file is removed and `file` is left as it was.
bool ReplaceWhole(const std::filesystem::path& file, const std::string& bytes);

}  // namespace tralvex::profile_file
