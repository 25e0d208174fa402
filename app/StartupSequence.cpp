#include "app/StartupSequence.h"

#include "app/FirstFrame.h"
#include "app/LoginWindow.h"
#include "app/MainWindow.h"
#include "app/MsgBoxNotifier.h"
#include "app/MySingleApplication.h"
#include "net/MyDAO.h"
#include "update/MyVersionDialog.h"

#include <QApplication>
#include <QTimer>
#include <cstdio>

namespace {

MySingleApplication* application = nullptr;

// A second program start raises the window announced last. Every main window announces
// its successor (the next login dialog, then the next main window), so each new main
// window is hooked up in turn.
void retarget(QWidget* w)
{
    if (!application)
        return;
    application->setTargetWindow(w);
    if (auto* main = qobject_cast<MainWindow*>(w))
        QObject::connect(main, &MainWindow::s_w, application, &retarget);
}

} // namespace

void installUserNotifier()
{
    static MsgBoxNotifier notifier;
    MyDAO::setNotifier(&notifier);
}

bool updateAcceptedOnStart()
{
    auto* dialog = new MyVersionDialog;
    const int result = dialog->checkOnStart();
    delete dialog;
    return result == QDialog::Accepted;
}

int runWindows(MySingleApplication& app)
{
    // The updater is on its way and needs this program gone.
    if (updateAcceptedOnStart())
        return 0;

    application = &app;
    auto* login = new LoginWindow;
    app.setTargetWindow(login);
    // Runs once the login dialog is up (or, after an automatic login, with the main window).
    QTimer::singleShot(0, &app, &MySingleApplication::markStarted);
    // Development aid for the start-up benchmark: VANTREL_STARTUP_MARK (any value) makes the
    // program print "shown <monotonicNs>" once the login dialog's first frame is out, and end.
    if (qEnvironmentVariableIsSet("VANTREL_STARTUP_MARK")) {
        afterFirstFrame(login, [login]() {
            printf("shown %lld\n", static_cast<long long>(monotonicNs()));
            fflush(stdout);
            login->reject();
        });
    }
    const int result = login->exec();
    delete login;
    if (result != QDialog::Accepted)
        return 0;

    auto* main = new MainWindow;
    retarget(main);
    main->showNormal();
    main->raise();
    main->activateWindow();
    const int code = QApplication::exec();
    application = nullptr;
    return code;
}
