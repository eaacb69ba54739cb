#pragma once

// The worker's view on a terminal: the two inputs given at the start, each
// status line printed as a line of its own as soon as it changes, in the
// terminal's character set.

#include <cstdio>

#include "changer/change_ip_view.hpp"
#include "platform/codepage/codepage.hpp"

namespace tralvex::cli {

class ConsoleView : public ChangeIpView {
  public:
    ConsoleView(Text routerAddress, Text password, CharsetConverter& terminal,
                std::FILE* statusLines);

    Text RouterAddress() override { return routerAddress_; }
    Text Password() override { return password_; }
    void SetTip1(const Text& text) override { PrintLine(text); }
    void SetTip2(const Text& text) override { PrintLine(text); }
    // A terminal has no button: its state tells nothing the lines do not.
    void SetButtonEnabled(bool /*enabled*/) override {}
    void SetButtonCaption(const Text& /*caption*/) override {}
    // Kept for the caller, which prints it on standard error once it knows
    // the login failed rather than the time limit cutting the first request.
    void ShowErrorBox(const Text& text, const Text& title) override;

    const Text& ErrorText() const { return errorText_; }

  private:
    void PrintLine(const Text& text);

    Text routerAddress_;
    Text password_;
    CharsetConverter& terminal_;
    std::FILE* statusLines_;
    Text errorText_;
};

}  // namespace tralvex::cli
