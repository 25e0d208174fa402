#pragma once

#include <QApplication>
#include <QPointer>
#include <QString>
#include <QWidget>

class QLocalServer;

// The application object of the windowed program. Only one copy runs per user: a second
// start finds the first one's local server, knocks and ends; the first copy then brings
// its target window to the front.
class MySingleApplication : public QApplication
{
    Q_OBJECT

public:
    MySingleApplication(int& argc, char** argv);

    // True when another copy answered during construction.
    bool isRunning() const { return running; }
    // True when this copy owns the local server (a stale name may have been cleared first).
    bool isListening() const;
    // True when the updater's local server answers within 500 ms.
    bool isUpdaterRunning() const;

    // "Vantrel.exe[" + website host + "]" and the updater's "velwick.exe[" + website host + "]".
    static QString localServerName();
    static QString updaterServerName();

    QWidget* targetWindow() const { return target.data(); }

    // Start-up after the single-instance checks: the toolkit's Chinese texts, quitting with
    // the last window, the identity that names the settings store and data directory, and
    // the style sheet. Missing resources leave the program untranslated or unstyled.
    void loadIdentityAndLook();

public slots:
    // The window that comes to the front when another copy knocks (login dialog, then the
    // main window).
    void setTargetWindow(QWidget* w);
    void activateTargetWindow();
    // The program is up (its login dialog reached): from now on it tells the updater so when
    // asked, and the updater's backup of the previous program may go.
    void markStarted();

signals:
    // Another copy knocked (after its target window was brought to the front).
    void s_knocked();
    void s_started();

private slots:
    void _newLocalConnection();

private:
    // Held weakly: the login dialog is deleted before the main window takes its place.
    QPointer<QWidget> target;
    bool running = false;
    bool started = false;
    QLocalServer* localServer = nullptr;
    QString serverName;
};
