#pragma once

// The script control's error object: one per control, updated in place, with
// the properties Number, Source, Description, Text, Line and Column and the
// method Clear.

#include <span>

#include "automation/dispatch.hpp"
#include "platform/scriptcontrol/script_error.hpp"

namespace tralvex::scriptcontrol {

class ScriptErrorObject : public automation::Dispatch {
  public:
    const automation::TypeInfo* GetTypeInfo() const override;
    automation::InvokeOutcome Invoke(automation::DispId id, automation::InvokeKind kind,
                                     std::span<const automation::Variant> args) override;

    void Set(ScriptError error) { error_ = std::move(error); }
    void Clear() { error_ = {}; }

  private:
    automation::InvokeOutcome GetNumber(std::span<const automation::Variant> args);
    automation::InvokeOutcome GetSource(std::span<const automation::Variant> args);
    automation::InvokeOutcome GetDescription(std::span<const automation::Variant> args);
    automation::InvokeOutcome GetText(std::span<const automation::Variant> args);
    automation::InvokeOutcome GetLine(std::span<const automation::Variant> args);
    automation::InvokeOutcome GetColumn(std::span<const automation::Variant> args);
    automation::InvokeOutcome CallClear(std::span<const automation::Variant> args);

    static const automation::DispatchTable<ScriptErrorObject>& Table();

    ScriptError error_;
};

}  // namespace tralvex::scriptcontrol
