#pragma once

// Our component behind the ProgID "ScriptControl": the script control with
// the language "JScript", on Duktape.
//
// Members: Language (get/put), Timeout (get/put), Error (get: the same error
// object for the control's lifetime), AddCode(code), ExecuteStatement
// (statement), Eval(expression), Run(name, arguments...), Reset(). A member
// that fails raises its code (InvokeOutcome::Raise); a script error also
// fills the error object, which each of AddCode, ExecuteStatement, Eval and
// Run clears first.
//
// Timeout bounds every call that runs script: after that many milliseconds
// of the calling thread's processor time the script is stopped and the call
// fails with E_ABORT (default 10000; -1 for no limit; 0 stops a script at its
// first check, after some 256 Ki bytecode instructions). Native built-ins
// are not interrupted inside one call of theirs; Duktape bounds its regular
// expressions by a step count of its own.

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "automation/dispatch.hpp"
#include "platform/scriptcontrol/script_engine.hpp"
#include "platform/scriptcontrol/script_error_object.hpp"

namespace tralvex::scriptcontrol {

class ScriptControl : public automation::Dispatch {
  public:
    const automation::TypeInfo* GetTypeInfo() const override;
    automation::InvokeOutcome Invoke(automation::DispId id, automation::InvokeKind kind,
                                     std::span<const automation::Variant> args) override;

  private:
    using Args = std::span<const automation::Variant>;

    automation::InvokeOutcome GetLanguage(Args args);
    automation::InvokeOutcome PutLanguage(Args args);
    automation::InvokeOutcome GetTimeout(Args args);
    automation::InvokeOutcome PutTimeout(Args args);
    automation::InvokeOutcome GetError(Args args);
    automation::InvokeOutcome AddCode(Args args);
    automation::InvokeOutcome ExecuteStatement(Args args);
    automation::InvokeOutcome Eval(Args args);
    automation::InvokeOutcome Run(Args args);
    automation::InvokeOutcome Reset(Args args);

    // Runs one piece of source text: checks that a language is set and that
    // the text is there, clears the error object, and reports the outcome.
    template <typename Action>
    automation::InvokeOutcome WithSource(Args args, Action action);
    automation::InvokeOutcome Report(EngineResult result);
    TimeLimit CallLimit() const;

    static const automation::DispatchTable<ScriptControl>& Table();

    // Null while no language is set.
    std::unique_ptr<ScriptEngine> engine_;
    std::int32_t timeoutMs_ = 10000;
    std::shared_ptr<ScriptErrorObject> error_ = std::make_shared<ScriptErrorObject>();
};

}  // namespace tralvex::scriptcontrol
