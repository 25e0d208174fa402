#include "upload/MyUploadManager.h"

#include "net/MyDAO.h"
#include "upload/MyUploadThread.h"

#include <QDeadlineTimer>

MyUploadManager* MyUploadManager::instance()
{
    static MyUploadManager* one = [] {
        auto* manager = new MyUploadManager();
        manager->createWorkers();
        return manager;
    }();
    return one;
}

MyUploadManager::MyUploadManager()
    : QObject(nullptr)
{
}

MyUploadManager::~MyUploadManager()
{
    stopAll();
}

void MyUploadManager::createWorkers()
{
    if (!workers.isEmpty())
        return;
    for (int i = 0; i < kWorkers; ++i)
        workers.append(new MyUploadThread());
}

void MyUploadManager::stopAll()
{
    // Stop them all first so that they wind down in parallel.
    for (MyUploadThread* worker : qAsConst(workers))
        worker->stopWorker();
    QDeadlineTimer deadline(kStopWaitMs);
    MyDAO* dao = MyDAO::instance();
    for (MyUploadThread* worker : qAsConst(workers)) {
        if (worker->wait(deadline)) {
            dao->releaseUploadJob(worker->heldJobId());
            delete worker;
        } else {
            // Still busy after the deadline: free it once it ends rather than under its feet.
            connect(worker, &QThread::finished, worker, &QObject::deleteLater);
        }
    }
    workers.clear();
}
