#include "upload/MyUploadManager.h"

#include "net/MyDAO.h"
#include "upload/MyUploadThread.h"

#include <QDeadlineTimer>
#include <memory>

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

void MyUploadManager::stopAll(int waitMs)
{
    // Stop them all first so that they wind down in parallel.
    for (MyUploadThread* worker : qAsConst(workers))
        worker->stopWorker();
    MyDAO* dao = MyDAO::instance();
    dao->lettingGoOfHeldUploads();
    QDeadlineTimer deadline(waitMs);
    for (MyUploadThread* worker : qAsConst(workers)) {
        if (worker->wait(deadline)) {
            dao->releaseUploadJob(worker->heldJobId());
            delete worker;
            continue;
        }
        // Still busy after the deadline: let go and free it once it ends rather than under its
        // feet. It may end before the connection exists, hence the check after connecting;
        // the flag keeps the two from both acting.
        auto done = std::make_shared<bool>(false);
        auto letGo = [dao, worker, done]() {
            if (*done)
                return;
            *done = true;
            dao->releaseUploadJob(worker->heldJobId());
            worker->deleteLater();
        };
        connect(worker, &QThread::finished, worker, letGo);
        if (worker->isFinished())
            letGo();
    }
    workers.clear();
}
