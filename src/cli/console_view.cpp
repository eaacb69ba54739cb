#include "cli/console_view.hpp"

#include <utility>

namespace tralvex::cli {

ConsoleView::ConsoleView(Text routerAddress, Text password, CharsetConverter& terminal,
                         std::FILE* statusLines)
    : routerAddress_(std::move(routerAddress)),
      password_(std::move(password)),
      terminal_(terminal),
      statusLines_(statusLines) {}

void ConsoleView::ShowErrorBox(const Text& text, const Text& /*title*/) { errorText_ = text; }

void ConsoleView::PrintLine(const Text& text) {
    const std::string line = terminal_.FromAnsi(text) + "\n";
    std::fputs(line.c_str(), statusLines_);
    std::fflush(statusLines_);
}

}  // namespace tralvex::cli
