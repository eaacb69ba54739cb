#include "platform/scriptcontrol/duktape/execution_deadline.hpp"

#include <time.h>

namespace tralvex::duktape {
namespace {

// The processor time the calling thread has used so far.
std::chrono::nanoseconds ThreadCpuTime() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

}  // namespace

void ExecutionDeadline::Start(std::optional<std::chrono::milliseconds> limit) {
    passed_ = false;
    deadline_.reset();
    if (limit) deadline_ = ThreadCpuTime() + *limit;
}

void ExecutionDeadline::Stop() {
    deadline_.reset();
    passed_ = false;
}

bool ExecutionDeadline::Passed() {
    if (!passed_ && deadline_ && ThreadCpuTime() >= *deadline_) passed_ = true;
    return passed_;
}

bool DeadlinePassed(void* heapUserData) {
    return heapUserData != nullptr && static_cast<ExecutionDeadline*>(heapUserData)->Passed();
}

}  // namespace tralvex::duktape
