#include "platform/scriptcontrol/script_error_object.hpp"

namespace tralvex::scriptcontrol {

using automation::InvokeKind;
using automation::InvokeOutcome;
using automation::Variant;

const automation::DispatchTable<ScriptErrorObject>& ScriptErrorObject::Table() {
    static const automation::DispatchTable<ScriptErrorObject> table{
        {"Number", InvokeKind::PropertyGet, 0, &ScriptErrorObject::GetNumber},
        {"Source", InvokeKind::PropertyGet, 0, &ScriptErrorObject::GetSource},
        {"Description", InvokeKind::PropertyGet, 0, &ScriptErrorObject::GetDescription},
        {"Text", InvokeKind::PropertyGet, 0, &ScriptErrorObject::GetText},
        {"Line", InvokeKind::PropertyGet, 0, &ScriptErrorObject::GetLine},
        {"Column", InvokeKind::PropertyGet, 0, &ScriptErrorObject::GetColumn},
        {"Clear", InvokeKind::Method, 0, &ScriptErrorObject::CallClear},
    };
    return table;
}

const automation::TypeInfo* ScriptErrorObject::GetTypeInfo() const {
    return &Table().GetTypeInfo();
}

InvokeOutcome ScriptErrorObject::Invoke(automation::DispId id, InvokeKind kind,
                                        std::span<const Variant> args) {
    return Table().Invoke(*this, id, kind, args);
}

InvokeOutcome ScriptErrorObject::GetNumber(std::span<const Variant>) {
    return InvokeOutcome::Value(Variant(ErrorNumber(error_.code)));
}

InvokeOutcome ScriptErrorObject::GetSource(std::span<const Variant>) {
    return InvokeOutcome::Value(Variant(error_.source));
}

InvokeOutcome ScriptErrorObject::GetDescription(std::span<const Variant>) {
    return InvokeOutcome::Value(Variant(error_.description));
}

InvokeOutcome ScriptErrorObject::GetText(std::span<const Variant>) {
    return InvokeOutcome::Value(Variant(error_.text));
}

InvokeOutcome ScriptErrorObject::GetLine(std::span<const Variant>) {
    return InvokeOutcome::Value(Variant(std::int32_t{error_.line}));
}

InvokeOutcome ScriptErrorObject::GetColumn(std::span<const Variant>) {
    return InvokeOutcome::Value(Variant(std::int32_t{error_.column}));
}

InvokeOutcome ScriptErrorObject::CallClear(std::span<const Variant>) {
    Clear();
    return InvokeOutcome::Nothing();
}

}  // namespace tralvex::scriptcontrol
