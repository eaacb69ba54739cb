#include "process_usage.hpp"

#include <filesystem>
#include <fstream>

namespace tralvex::soak {
namespace {

namespace fs = std::filesystem;

double StatusKb(const std::string& status, const std::string& key) {
    std::size_t at = status.find("\n" + key + ":");
    if (at == std::string::npos) return 0;
    return std::stod(status.substr(at + key.size() + 2));
}

}  // namespace

Usage UsageOf(pid_t pid) {
    const fs::path proc =
        pid == 0 ? fs::path("/proc/self") : fs::path("/proc") / std::to_string(pid);
    std::ifstream file(proc / "status");
    std::string status = "\n";
    for (std::string line; std::getline(file, line);) status += line + "\n";
    Usage usage;
    usage.residentKb = StatusKb(status, "VmRSS");
    usage.peakKb = StatusKb(status, "VmHWM");
    std::error_code error;
    // Listing the directory opens one descriptor of its own, not counted.
    for (auto it = fs::directory_iterator(proc / "fd", error);
         !error && it != fs::directory_iterator(); it.increment(error)) {
        ++usage.descriptors;
    }
    if (pid == 0 && usage.descriptors > 0) --usage.descriptors;
    return usage;
}

}  // namespace tralvex::soak
