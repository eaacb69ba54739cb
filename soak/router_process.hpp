#pragma once

// The router-sim program as a child process: started with options, its port
// read from the line it prints when ready, stopped with SIGTERM.

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tralvex::soak {

class RouterProcess {
  public:
    RouterProcess(const std::string& program, const std::vector<std::string>& options);
    ~RouterProcess();
    RouterProcess(const RouterProcess&) = delete;
    RouterProcess& operator=(const RouterProcess&) = delete;

    // 0 when it did not start or never said it was listening.
    std::uint16_t Port() const { return port_; }
    pid_t Pid() const { return pid_; }
    std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }

  private:
    pid_t pid_ = -1;
    std::uint16_t port_ = 0;
};

}  // namespace tralvex::soak
