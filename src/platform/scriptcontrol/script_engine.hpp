#pragma once

// One Duktape heap holding the script of one script control: code is added to
// its global object, expressions are evaluated there and its global functions
// are called by name. Values cross as automation Variants; every call is
// bounded in time.

#include <chrono>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

#include "automation/variant.hpp"
#include "platform/scriptcontrol/duktape/execution_deadline.hpp"
#include "platform/scriptcontrol/script_error.hpp"

struct duk_hthread;

namespace tralvex::scriptcontrol {

// How long one call may run; empty for no limit.
using TimeLimit = std::optional<std::chrono::milliseconds>;

// The value of a call, or what made it fail.
struct EngineResult {
    automation::Variant value;
    std::optional<ScriptError> error;
};

class ScriptEngine {
  public:
    // Null when Duktape cannot make a heap.
    static std::unique_ptr<ScriptEngine> Create();
    ~ScriptEngine();
    ScriptEngine(const ScriptEngine&) = delete;
    ScriptEngine& operator=(const ScriptEngine&) = delete;

    // Compiles `code` as a program and runs it: its function declarations and
    // variables become globals. The value is that of the last statement.
    EngineResult Execute(std::u16string_view code, TimeLimit limit);
    // The value of `expression`, evaluated as an indirect eval in the global
    // scope.
    EngineResult Evaluate(std::u16string_view expression, TimeLimit limit);
    // Calls the global `name` (matched case-sensitively) with the arguments;
    // empty when the global object has no property of that name. Missing and
    // empty Variants arrive as undefined.
    std::optional<EngineResult> Call(std::u16string_view name,
                                     std::span<const automation::Variant> args, TimeLimit limit);

    // Whether the engine can take the Variant as an argument: Bytes and
    // objects have no script value here.
    static bool CanPass(const automation::Variant& value);

  private:
    enum class Stage { Compiling, Running };

    ScriptEngine();
    EngineResult RunSource(std::u16string_view source, unsigned compileFlags, TimeLimit limit);
    // The report of the value thrown by a failed call, at the top of the stack.
    EngineResult Failure(Stage stage, std::u16string_view source, TimeLimit limit);

    // The heap's user data points here, so it is made before the heap and
    // outlives it.
    duktape::ExecutionDeadline deadline_;
    duk_hthread* context_ = nullptr;
    // The limit of the latest call, which also bounds the finalizers run when
    // the heap is destroyed.
    TimeLimit lastLimit_;
};

}  // namespace tralvex::scriptcontrol
