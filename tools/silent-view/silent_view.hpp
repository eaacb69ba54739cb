#pragma once

// A view of the IP change worker for runs without a window (benchmarks, the
// soak): it gives the router address it was made with and the password
// "admin", forgets every text shown and counts the error boxes.

#include <utility>

#include "changer/change_ip_view.hpp"

namespace tralvex {

class SilentView : public ChangeIpView {
  public:
    explicit SilentView(Text address) : address_(std::move(address)) {}
    Text RouterAddress() override { return address_; }
    Text Password() override { return "admin"; }
    void SetTip1(const Text&) override {}
    void SetTip2(const Text&) override {}
    void SetButtonEnabled(bool) override {}
    void SetButtonCaption(const Text&) override {}
    void ShowErrorBox(const Text&, const Text&) override { ++boxes; }

    int boxes = 0;

  private:
    Text address_;
};

}  // namespace tralvex
