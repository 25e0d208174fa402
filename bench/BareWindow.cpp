// The yardstick of the start-up benchmark: a bare Qt window of the login dialog's size, nothing
// else, that prints "shown <monotonicNs>" once its first frame is out and ends (as the program
// does with VANTREL_STARTUP_MARK). Linked with Qt Widgets only.

#include "app/FirstFrame.h"

#include <QApplication>
#include <QWidget>
#include <cstdio>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.resize(462, 367);
    afterFirstFrame(&window, []() {
        printf("shown %lld\n", static_cast<long long>(monotonicNs()));
        fflush(stdout);
        QApplication::quit();
    });
    window.show();
    return QApplication::exec();
}
