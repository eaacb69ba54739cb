#include "platform/scriptcontrol/script_control_component.hpp"

#include <memory>

#include "automation/registry.hpp"
#include "platform/scriptcontrol/script_control.hpp"

namespace tralvex {

void RegisterScriptControlComponent() {
    for (const char* progId :
         {"ScriptControl", "MSScriptControl.ScriptControl", "MSScriptControl.ScriptControl.1"}) {
        automation::RegisterComponent(
            progId, [] { return std::make_shared<scriptcontrol::ScriptControl>(); });
    }
}

}  // namespace tralvex
