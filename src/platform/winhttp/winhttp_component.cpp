#include "platform/winhttp/winhttp_component.hpp"

#include <memory>

#include "automation/registry.hpp"
#include "platform/winhttp/winhttp_request.hpp"

namespace tralvex {

void RegisterWinHttpComponent() {
    automation::RegisterComponent(kWinHttpProgId,
                                  [] { return std::make_shared<winhttp::WinHttpRequest>(); });
}

}  // namespace tralvex
