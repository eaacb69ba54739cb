#include "app/settings.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <system_error>

#include "platform/codepage/codepage.hpp"
#include "platform/profile/profile.hpp"

namespace tralvex {
namespace {

namespace fs = std::filesystem;

constexpr const char* kFileName = "IPconfig.ini";
constexpr const char* kAddressKey = "IP";
constexpr const char* kPasswordKey = "Password";
// As the platform's function reading into a buffer of this many bytes.
constexpr std::size_t kValueBuffer = 10240;

const Text& SectionName() {
    static const Text name = FromUtf8("配置");
    return name;
}

bool AnythingAt(const fs::path& path) {
    std::error_code error;
    return fs::symlink_status(path, error).type() != fs::file_type::not_found && !error;
}

// Creates the file with no content, readable and writable by its owner only as
// it will hold the password. A failure is ignored: the settings are then not
// kept.
void CreateEmptyFile(const fs::path& path) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return;
    ::fchmod(fd, 0600);
    ::close(fd);
}

Text ReadValue(const char* key, const fs::path& file) {
    return GetPrivateProfileString(SectionName(), key, "", kValueBuffer, file);
}

}  // namespace

fs::path ExecutableDirectory() {
    std::error_code error;
    fs::path executable = fs::read_symlink("/proc/self/exe", error);
    return error ? fs::path() : executable.parent_path();
}

fs::path SettingsFilePath(const fs::path& directory) { return directory / kFileName; }

LoadedSettings LoadSettings(const fs::path& directory) {
    const fs::path file = SettingsFilePath(directory);
    LoadedSettings settings;
    if (!AnythingAt(file)) {
        CreateEmptyFile(file);
        return settings;
    }
    settings.fileExisted = true;
    settings.address = ReadValue(kAddressKey, file);
    settings.password = ReadValue(kPasswordKey, file);
    return settings;
}

bool SaveSettings(const fs::path& directory, const Text& address, const Text& password) {
    const fs::path file = SettingsFilePath(directory);
    const bool addressWritten =
        WritePrivateProfileString(SectionName(), kAddressKey, address, file);
    const bool passwordWritten =
        WritePrivateProfileString(SectionName(), kPasswordKey, password, file);
    return addressWritten && passwordWritten;
}

}  // namespace tralvex
