#pragma once

// libcurl, loaded when the first request object is made rather than when the
// program starts. It brings some twenty-five libraries of its own (two TLS
// stacks, Kerberos, LDAP, SSH, RTMP, ...): loaded at start they cost a window
// that has not sent a request yet over 5 MB of memory and their start-up
// work. Only the functions the session uses are looked up.

#include <curl/curl.h>

namespace tralvex::winhttp {

struct CurlLibrary {
    decltype(&curl_easy_init) easyInit;
    decltype(&curl_easy_cleanup) easyCleanup;
    decltype(&curl_easy_reset) easyReset;
    decltype(&curl_easy_setopt) easySetopt;
    decltype(&curl_easy_getinfo) easyGetinfo;
    decltype(&curl_multi_init) multiInit;
    decltype(&curl_multi_cleanup) multiCleanup;
    decltype(&curl_multi_add_handle) multiAddHandle;
    decltype(&curl_multi_remove_handle) multiRemoveHandle;
    decltype(&curl_multi_perform) multiPerform;
    decltype(&curl_multi_poll) multiPoll;
    decltype(&curl_multi_wakeup) multiWakeup;
    decltype(&curl_multi_info_read) multiInfoRead;
    decltype(&curl_slist_append) slistAppend;
    decltype(&curl_slist_free_all) slistFreeAll;
};

// The library, loaded and initialised once for the whole program and kept
// until it ends; null when it cannot be loaded or lacks a function.
const CurlLibrary* LoadCurlLibrary();

}  // namespace tralvex::winhttp
