#include "automation/variant.hpp"

#include "automation/dispatch.hpp"

namespace tralvex::automation {

Dispatch* AutomationObject::GetDispatch() const {
    return object_ ? object_->QueryDispatch() : nullptr;
}

AutomationObject CopyObject(const AutomationObject& object) { return object; }

void ReleaseObject(AutomationObject& object) { object.Reset(); }

bool IsEmptyObject(const AutomationObject& object) { return object.Empty(); }

void ClearVariant(Variant& value) { value.Clear(); }

}  // namespace tralvex::automation
