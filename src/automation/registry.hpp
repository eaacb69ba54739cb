#pragma once

// Creation of component objects by ProgID, and the per-thread initialisation
// of the component library that creation needs.

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "automation/hresult.hpp"
#include "automation/variant.hpp"

namespace tralvex::automation {

using ComponentFactory = std::function<std::shared_ptr<Unknown>()>;

// Registers (or replaces) the factory behind a ProgID; ProgIDs are matched
// regardless of ASCII case.
void RegisterComponent(std::string_view progId, ComponentFactory factory);

// Puts a factory under a ProgID for as long as it lives, then restores what
// was registered before: what tests use to place a fake behind a ProgID.
class ScopedComponent {
  public:
    ScopedComponent(std::string_view progId, ComponentFactory factory);
    ~ScopedComponent();
    ScopedComponent(const ScopedComponent&) = delete;
    ScopedComponent& operator=(const ScopedComponent&) = delete;

  private:
    std::string progId_;
    ComponentFactory previous_;
};

// Initialises the component library for the calling thread: kOk the first
// time, kFalse for every further call; each must be balanced by CoUninitialize.
HResult CoInitialize();
void CoUninitialize();
bool IsThreadInitialized();

// Creates the object registered under `progId` into `object`, releasing what it
// held. Fails, leaving `object` as it was, when the thread has not initialised
// the library, the ProgID is unknown or the factory gives nothing.
bool CreateObject(AutomationObject& object, std::string_view progId);

}  // namespace tralvex::automation
