#pragma once

namespace tralvex {

// Puts our own components behind the ProgIDs the classes create: the HTTP
// request object, the regular-expression object and the script control.
void RegisterPlatformComponents();

}  // namespace tralvex
