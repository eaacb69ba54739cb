#pragma once

// Registers our HTTP request object under the ProgID "WinHttp.WinHttpRequest.5.1",
// so that CreateObject with that ProgID makes one.

namespace tralvex {

inline constexpr const char* kWinHttpProgId = "WinHttp.WinHttpRequest.5.1";

void RegisterWinHttpComponent();

}  // namespace tralvex
