#pragma once

// The router's paths and the texts a run shows, as code page 936 texts.

#include "text/text.hpp"

namespace tralvex::router_texts {

struct Texts {
    Text statusPath;
    Text disconnectPath;
    Text connectPath;
    Text addressPattern;
    Text zeroAddress;
    Text currentIp;    // status line 1 after the first status page
    Text working;      // the button while a run works
    Text refreshing;   // status line 2 before every poll
    Text repeatFound;  // status line 2 after a repeat: this, the count, repeatTail
    Text repeatTail;
    Text newIp;        // status line 2 at the end
    Text previousIp;   // status line 1 at the end
    Text idle;         // the button's caption when no run works
    Text loginFailed;  // the message box text
    Text loginFailedTitle;
};

const Texts& Get();

}  // namespace tralvex::router_texts
