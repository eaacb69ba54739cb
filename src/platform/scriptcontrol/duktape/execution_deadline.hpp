#pragma once

// The time limit of the calls into one Duktape heap. The heap's user data
// points at it, and Duktape's execution time-out check asks it whether to
// stop the running script.
//
// The limit counts the processor time of the calling thread, not the time on
// the wall: a script that loops without end is stopped once it has run for
// the limit, and a script that merely shares a busy machine is not cut short.

#include <chrono>
#include <optional>

namespace tralvex::duktape {

class ExecutionDeadline {
  public:
    // Starts the limit of one call; an empty limit lets the call run for as
    // long as it takes.
    void Start(std::optional<std::chrono::milliseconds> limit);
    void Stop();

    // True from the first check after the deadline until Stop: Duktape needs
    // the answer to stay yes until the error has left every script catch and
    // finally block.
    bool Passed();
    bool HasPassed() const { return passed_; }

  private:
    std::optional<std::chrono::nanoseconds> deadline_;  // in the thread's processor time
    bool passed_ = false;
};

// Duktape's execution time-out check; `heapUserData` is the heap's
// ExecutionDeadline, or null for a heap without one.
bool DeadlinePassed(void* heapUserData);

}  // namespace tralvex::duktape
