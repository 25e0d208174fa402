#pragma once

#include <QList>
#include <QObject>
#include <QString>

class MyUploadThread;

// The pool of upload workers: five of them exist from the moment the main window asks for
// the manager until logout, account switch or quit.
class MyUploadManager : public QObject
{
    Q_OBJECT

public:
    static constexpr int kWorkers = 5;
    // Longest wait for the workers in stopAll(); a piece in flight is cut, so they
    // normally end within a few tens of milliseconds.
    static constexpr int kStopWaitMs = 5000;

    // The one manager, created with its workers on first use.
    static MyUploadManager* instance();
    // Owns the manager for the program's run: when it ends, the manager (if one was made)
    // stops its workers and goes. Without one, the manager goes with the application object.
    class Lifetime
    {
    public:
        Lifetime() = default;
        ~Lifetime();
        Lifetime(const Lifetime&) = delete;
        Lifetime& operator=(const Lifetime&) = delete;
    };
    ~MyUploadManager() override;

    // Creates the five workers (each starts itself). Does nothing while workers exist, so a
    // second call never doubles the pool.
    void createWorkers();
    // Stops every worker, waits for it (at most `waitMs`) and frees it; the ids the workers
    // held are let go so that those jobs can be queued again. A worker still busy after the
    // wait lets go of its id and is freed when it ends; its job may be queued meanwhile and
    // waits for it.
    void stopAll(int waitMs = kStopWaitMs);
    int workerCount() const { return workers.size(); }

signals:
    void http_ok(QString);

private:
    MyUploadManager();

    QList<MyUploadThread*> workers;
};
