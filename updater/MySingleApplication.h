#pragma once

#include <QApplication>
#include <QPointer>
#include <QString>
#include <QWidget>

class QLocalServer;

// The updater's own single-instance application object: a second updater finds the first
// one's local server, knocks and ends. The main program probes the same name and does not
// start while an update runs.
class MySingleApplication : public QApplication
{
    Q_OBJECT

public:
    MySingleApplication(int& argc, char** argv);

    bool isRunning() const { return running; }

    // "velwick.exe[" + website host + "]" and the main program's "Vantrel.exe[" + website host + "]".
    static QString localServerName();
    static QString mainServerName();

    // Gives the name up, so that a main program started by this updater does not take the
    // update for one still in progress and end at once.
    void stopListening();

    void setTargetWindow(QWidget* w) { targetWindow = w; }
    void activateTargetWindow();

private slots:
    void _newLocalConnection();

private:
    QPointer<QWidget> targetWindow;
    bool running = false;
    QLocalServer* localServer = nullptr;
    QString serverName;
};
