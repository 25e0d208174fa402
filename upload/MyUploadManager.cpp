#include "upload/MyUploadManager.h"

#include "net/MyDAO.h"
#include "upload/MyUploadThread.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QMutex>
#include <memory>

namespace {

QMutex instanceMutex;
MyUploadManager* theInstance = nullptr;

void destroyInstance()
{
    MyUploadManager* one = nullptr;
    {
        QMutexLocker lock(&instanceMutex);
        std::swap(one, theInstance);
    }
    delete one;
}

} // namespace

MyUploadManager* MyUploadManager::instance()
{
    QMutexLocker lock(&instanceMutex);
    if (!theInstance) {
        // The workers need the data-access object; it exists first and goes last.
        MyDAO::instance();
        static bool postRoutineAdded = false;
        if (!postRoutineAdded && QCoreApplication::instance()) {
            qAddPostRoutine(destroyInstance);
            postRoutineAdded = true;
        }
        theInstance = new MyUploadManager();
        theInstance->createWorkers();
    }
    return theInstance;
}

MyUploadManager::Lifetime::~Lifetime()
{
    destroyInstance();
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
