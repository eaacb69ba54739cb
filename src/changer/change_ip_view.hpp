#pragma once

// What the IP change worker needs of the window: its two inputs, its two status
// lines, the button and the login failure box. Every operation may be called
// from the worker's thread and has taken effect when it returns.

#include "text/text.hpp"

namespace tralvex {

class ChangeIpView {
  public:
    virtual ~ChangeIpView() = default;

    // The address box read as text: empty when blank, else four decimal
    // numbers joined by ".".
    virtual Text RouterAddress() = 0;
    virtual Text Password() = 0;
    virtual void SetTip1(const Text& text) = 0;
    virtual void SetTip2(const Text& text) = 0;
    virtual void SetButtonEnabled(bool enabled) = 0;
    virtual void SetButtonCaption(const Text& caption) = 0;
    // An error box with one OK button and no owner window; returns when the
    // user has closed it. Only the calling thread waits for it.
    virtual void ShowErrorBox(const Text& text, const Text& title) = 0;
};

}  // namespace tralvex
