#pragma once

// The settings file "IPconfig.ini" beside the executable: the router address
// and the router password, section "配置", keys "IP" and "Password", as bytes
// in the ANSI code page. Nothing about the file is ever reported to the user.

#include <filesystem>

#include "text/text.hpp"

namespace tralvex {

struct LoadedSettings {
    // Whether anything stood under the file's name (a directory counts too).
    bool fileExisted = false;
    Text address;
    Text password;
};

// The directory of the running program's executable file (on Linux the one of
// /proc/self/exe); empty when it cannot be found.
std::filesystem::path ExecutableDirectory();

std::filesystem::path SettingsFilePath(const std::filesystem::path& directory);

// Reads both values from the settings file in `directory`. When nothing stands
// under the file's name, creates the file empty (mode 0600) and returns with
// `fileExisted` false and empty values. Missing or unreadable values are empty;
// each holds at most 10239 bytes.
LoadedSettings LoadSettings(const std::filesystem::path& directory);

// Writes the address under "IP", then the password under "Password"; empty
// values are written as empty keys. Tells whether both were written; the
// window does not look, as a settings file that cannot be kept is not
// reported.
bool SaveSettings(const std::filesystem::path& directory, const Text& address,
                  const Text& password);

}  // namespace tralvex
