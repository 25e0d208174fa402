#include "upload/MyGetUploadListWork.h"

#include "net/MyDAO.h"

MyGetUploadListWork::MyGetUploadListWork(QObject* parent)
    : QThread(parent)
    , owner(MyDAO::instance())
{
    connect(this, &QThread::finished, this, &QObject::deleteLater);
}

MyGetUploadListWork::~MyGetUploadListWork()
{
    wait();
}

void MyGetUploadListWork::run()
{
    owner->lockUploadThread(true);
    owner->loadPendingAssets();
    QThread::msleep(50);
    owner->lockUploadThread(false);
}
