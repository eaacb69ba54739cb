#include "platform/scriptcontrol/duktape/execution_deadline.hpp"

namespace tralvex::duktape {

void ExecutionDeadline::Start(std::optional<std::chrono::milliseconds> limit) {
    passed_ = false;
    deadline_.reset();
    if (limit) deadline_ = Clock::now() + *limit;
}

void ExecutionDeadline::Stop() {
    deadline_.reset();
    passed_ = false;
}

bool ExecutionDeadline::Passed() {
    if (!passed_ && deadline_ && Clock::now() >= *deadline_) passed_ = true;
    return passed_;
}

bool DeadlinePassed(void* heapUserData) {
    return heapUserData != nullptr && static_cast<ExecutionDeadline*>(heapUserData)->Passed();
}

}  // namespace tralvex::duktape
