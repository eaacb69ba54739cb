#pragma once

// Helpers for tests of file access that must also hold when the tests run as
// root, whose capabilities otherwise let it write where the permission bits
// say no.

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <string>

namespace tralvex::testing {

// Runs `action` on a thread of its own, waits for it and tells whether it ran.
// On that thread the capabilities that bypass permission bits (CAP_DAC_OVERRIDE,
// CAP_DAC_READ_SEARCH, CAP_FOWNER) are dropped, so its file access obeys the
// permission bits as a normal user's does. Capabilities belong to a thread on
// Linux: the rest of the test process keeps its own.
bool RunObeyingPermissionBits(const std::function<void()>& action);

// A new empty directory under the system's temporary directory, removed with
// all it holds when the object goes.
class TemporaryDirectory {
  public:
    TemporaryDirectory();
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;
    ~TemporaryDirectory();

    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

// The whole file as bytes; empty when it cannot be read.
std::string ReadFileBytes(const std::filesystem::path& file);
void WriteFileBytes(const std::filesystem::path& file, const std::string& bytes);
// The permission bits of the file, or -1 when it does not exist.
int PermissionBits(const std::filesystem::path& file);

// Whether a new file can be created in `directory` (the probe is removed).
bool CanCreateFileIn(const std::filesystem::path& directory);

}  // namespace tralvex::testing
