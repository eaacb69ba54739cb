#include "platform/winhttp/curl_library.hpp"

#include <dlfcn.h>

#include <optional>

namespace tralvex::winhttp {
namespace {

// The shared object of libcurl's stable interface (its soname).
constexpr const char* kCurlSoname = "libcurl.so.4";

template <typename Function>
bool Resolve(void* handle, const char* name, Function& function) {
    function = reinterpret_cast<Function>(dlsym(handle, name));
    return function != nullptr;
}

std::optional<CurlLibrary> Load() {
    void* handle = dlopen(kCurlSoname, RTLD_NOW | RTLD_LOCAL);
    if (!handle) return std::nullopt;
    CurlLibrary curl{};
    decltype(&curl_global_init) globalInit = nullptr;
    bool complete = Resolve(handle, "curl_global_init", globalInit) &&
                    Resolve(handle, "curl_easy_init", curl.easyInit) &&
                    Resolve(handle, "curl_easy_cleanup", curl.easyCleanup) &&
                    Resolve(handle, "curl_easy_reset", curl.easyReset) &&
                    Resolve(handle, "curl_easy_setopt", curl.easySetopt) &&
                    Resolve(handle, "curl_easy_getinfo", curl.easyGetinfo) &&
                    Resolve(handle, "curl_multi_init", curl.multiInit) &&
                    Resolve(handle, "curl_multi_cleanup", curl.multiCleanup) &&
                    Resolve(handle, "curl_multi_add_handle", curl.multiAddHandle) &&
                    Resolve(handle, "curl_multi_remove_handle", curl.multiRemoveHandle) &&
                    Resolve(handle, "curl_multi_perform", curl.multiPerform) &&
                    Resolve(handle, "curl_multi_poll", curl.multiPoll) &&
                    Resolve(handle, "curl_multi_wakeup", curl.multiWakeup) &&
                    Resolve(handle, "curl_multi_info_read", curl.multiInfoRead) &&
                    Resolve(handle, "curl_slist_append", curl.slistAppend) &&
                    Resolve(handle, "curl_slist_free_all", curl.slistFreeAll);
    // The library stays loaded: handles made from it may live until the end.
    if (!complete || globalInit(CURL_GLOBAL_DEFAULT) != CURLE_OK) return std::nullopt;
    return curl;
}

}  // namespace

const CurlLibrary* LoadCurlLibrary() {
    static const std::optional<CurlLibrary> library = Load();
    return library ? &*library : nullptr;
}

}  // namespace tralvex::winhttp
