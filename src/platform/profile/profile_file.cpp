#include "platform/profile/profile_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <system_error>

namespace tralvex::profile_file {
namespace {

namespace fs = std::filesystem;

constexpr mode_t kNewFileMode = 0600;
constexpr mode_t kPermissionBits = 07777;

// Closes the descriptor when it goes out of scope.
class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // Closes now and tells whether the close succeeded, as a written file's
    // last error may only show there.
    bool Close() {
        int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

  private:
    int fd_;
};

bool ReadAll(int fd, std::string& out) {
    char buffer[64 * 1024];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0) return true;
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        out.append(buffer, static_cast<std::size_t>(n));
    }
}

bool WriteAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// The permission bits of the existing file, or nothing when there is none.
std::optional<mode_t> ExistingMode(const fs::path& file) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) return std::nullopt;
    return st.st_mode & kPermissionBits;
}

// A symbolic link is followed, so that the link stays and its target changes.
fs::path ResolveLink(const fs::path& file) {
    std::error_code error;
    if (!fs::is_symlink(file, error)) return file;
    fs::path target = fs::canonical(file, error);
    return error ? file : target;
}

fs::path DirectoryOf(const fs::path& file) {
    fs::path dir = file.parent_path();
    return dir.empty() ? fs::path(".") : dir;
}

// Makes the rename itself durable; a failure here does not undo the rename,
// so it is not reported.
void SyncDirectory(const fs::path& dir) {
    FileDescriptor fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.valid()) ::fsync(fd.get());
}

bool WriteTemporary(FileDescriptor& fd, const std::string& bytes, mode_t mode) {
    return ::fchmod(fd.get(), mode) == 0 && WriteAll(fd.get(), bytes) && ::fsync(fd.get()) == 0 &&
           fd.Close();
}

}  // namespace

Content ReadWhole(const fs::path& file) {
    Content content;
    FileDescriptor fd(::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid()) {
        content.state = (errno == ENOENT || errno == ENOTDIR) ? Content::State::Missing
                                                              : Content::State::Unreadable;
        return content;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || !ReadAll(fd.get(), content.bytes)) {
        content.bytes.clear();
        content.state = Content::State::Unreadable;
        return content;
    }
    content.state = Content::State::Read;
    return content;
}

bool ReplaceWhole(const fs::path& file, const std::string& bytes) {
    const fs::path target = ResolveLink(file);
    const fs::path dir = DirectoryOf(target);
    // A hidden name beside the file, made unique by mkostemp.
    std::string temporary = dir.string();
    temporary += "/.";
    temporary += target.filename().string();
    temporary += ".XXXXXX";
    FileDescriptor fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!fd.valid()) return false;
    const mode_t mode = ExistingMode(target).value_or(kNewFileMode);
    if (!WriteTemporary(fd, bytes, mode) || ::rename(temporary.c_str(), target.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    SyncDirectory(dir);
    return true;
}

}  // namespace tralvex::profile_file
