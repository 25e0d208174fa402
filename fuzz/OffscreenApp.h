#pragma once

// The program's widgets off screen, for the targets that feed a window.

#include "widgets/MyMsgBox.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

// Starts the application with a throw-away configuration and boxes that answer at once. Never
// destroyed: the windows and the program's singletons outlive any exit order.
inline void startOffscreenApp(const char* name)
{
    static QTemporaryDir* home = new QTemporaryDir;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home->path()));
    static int argc = 1;
    static char* argv[] = { const_cast<char*>(name), nullptr };
    static QApplication* app = new QApplication(argc, argv);
    Q_UNUSED(app);
    MyMsgBox::setUnattended(true);
}
