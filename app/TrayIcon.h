#pragma once

#include <QSystemTrayIcon>

class QAction;

// The tray icon with its two-entry menu. Some desktops (and a bare X server) have no tray;
// available() tells, and tests can decide it.
class TrayIcon : public QSystemTrayIcon
{
    Q_OBJECT

public:
    explicit TrayIcon(QObject* parent = nullptr);

    static bool available();
    // -1 asks the system again, 0 / 1 decide (tests).
    static void setAvailableOverride(int value);

    QAction* openAction() const { return openAct; }
    QAction* logoutAction() const { return logoutAct; }

signals:
    void s_open();
    void s_logout();

private:
    QAction* openAct = nullptr;
    QAction* logoutAct = nullptr;
};
