// The baseline of the window figures: a bare Qt window of the program's
// window size with nothing in it, reporting its first paint as the program
// does (see app/shown_report.hpp).

#include <QApplication>
#include <QWidget>

#include "app/shown_report.hpp"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QWidget window;
    window.setWindowTitle("Bare window");
    window.setFixedSize(217, 226);
    tralvex::ReportWhenShown(window);
    window.show();
    return QApplication::exec();
}
