#include "app/StartupSequence.h"

#include <QApplication>
#include <QWidget>

void installUserNotifier() {}

// For now the start-up ends with a plain main window.
int runWindows(MySingleApplication&)
{
    QWidget window;
    window.setWindowTitle("Vantrel");
    window.resize(1100, 720);
    window.show();
    return QApplication::exec();
}
