// Starts the window, runs the message loop until the window has closed (which
// saves the settings), then ends the process at once.

#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "app/main_window.hpp"
#include "app/settings.hpp"
#include "app/shown_report.hpp"
#include "changer/change_ip.hpp"
#include "platform/components.hpp"

int main(int argc, char* argv[]) {
    tralvex::RegisterPlatformComponents();
    QApplication application(argc, argv);
    QApplication::setFont(tralvex::WindowFont());
    tralvex::MainWindow window(tralvex::ExecutableDirectory());
    window.SetChangeIpHandler([&window] { tralvex::StartChangeIp(window); });
    tralvex::ReportWhenShown(window);
    window.show();
    const int status = QApplication::exec();
    // An IP change worker may still be running and using the window, the
    // application and static objects. Ending here without destructors and
    // without waiting lets it end with the process instead of racing with
    // the teardown.
    std::fflush(nullptr);
    std::_Exit(status);
}
