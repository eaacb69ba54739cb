#include "automation/registry.hpp"

#include <map>
#include <mutex>

#include "text/text.hpp"

namespace tralvex::automation {
namespace {

struct Registry {
    std::mutex mutex;
    std::map<std::string, ComponentFactory> factories;
};

Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

thread_local int initCount = 0;

ComponentFactory Exchange(std::string_view progId, ComponentFactory factory) {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    std::string key = ToLowerAscii(progId);
    ComponentFactory previous;
    auto it = registry.factories.find(key);
    if (it != registry.factories.end()) previous = std::move(it->second);
    if (factory) {
        registry.factories[key] = std::move(factory);
    } else {
        registry.factories.erase(key);
    }
    return previous;
}

ComponentFactory Lookup(std::string_view progId) {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    auto it = registry.factories.find(ToLowerAscii(progId));
    return it == registry.factories.end() ? ComponentFactory{} : it->second;
}

}  // namespace

void RegisterComponent(std::string_view progId, ComponentFactory factory) {
    Exchange(progId, std::move(factory));
}

ScopedComponent::ScopedComponent(std::string_view progId, ComponentFactory factory)
    : progId_(progId), previous_(Exchange(progId, std::move(factory))) {}

ScopedComponent::~ScopedComponent() { Exchange(progId_, std::move(previous_)); }

HResult CoInitialize() { return initCount++ == 0 ? kOk : kFalse; }

void CoUninitialize() {
    if (initCount > 0) --initCount;
}

bool IsThreadInitialized() { return initCount > 0; }

bool CreateObject(AutomationObject& object, std::string_view progId) {
    if (!IsThreadInitialized()) return false;
    ComponentFactory factory = Lookup(progId);
    if (!factory) return false;
    std::shared_ptr<Unknown> created = factory();
    if (!created) return false;
    object = AutomationObject(std::move(created));
    return true;
}

}  // namespace tralvex::automation
