#include "platform/components.hpp"

#include "platform/regexp/regexp_component.hpp"
#include "platform/scriptcontrol/script_control_component.hpp"
#include "platform/winhttp/winhttp_component.hpp"

namespace tralvex {

void RegisterPlatformComponents() {
    RegisterWinHttpComponent();
    RegisterRegExpComponent();
    RegisterScriptControlComponent();
}

}  // namespace tralvex
