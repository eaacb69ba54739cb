#pragma once

// Registers our script control under the ProgIDs of the platform's one:
// "ScriptControl", "MSScriptControl.ScriptControl" and
// "MSScriptControl.ScriptControl.1". Its only language is "JScript", run on
// Duktape (see script_control.hpp).

namespace tralvex {

void RegisterScriptControlComponent();

}  // namespace tralvex
