#include "intake/MyFileMd5Thread.h"

#include "net/MyDAO.h"

#include <QCryptographicHash>
#include <QFile>

MyFileMd5Thread::MyFileMd5Thread(const QString& filePath, QObject* parent)
    : QThread(parent)
    , path(filePath)
{
    start();
}

void MyFileMd5Thread::run()
{
    emit s_md5(md5OfFile(path));
}

QString MyFileMd5Thread::md5OfFile(const QString& filePath)
{
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QString digest = md5OfDevice(&file, file.size());
    file.close();
    return digest;
}

QString MyFileMd5Thread::md5OfDevice(QIODevice* device, qint64 size)
{
    QCryptographicHash hash(QCryptographicHash::Md5);
    if (size <= kWholeReadLimit) {
        const QByteArray all = device->read(size);
        // A short read means the file is not the one measured: no digest rather than a wrong one.
        if (all.size() != size)
            return QString();
        hash.addData(all);
    } else {
        char block[kBlockSize];
        qint64 left = size;
        while (left > 0) {
            const qint64 want = qMin<qint64>(left, kBlockSize);
            const qint64 got = device->read(block, want);
            if (got <= 0)
                return QString(); // a digest of part of the file would pass for the whole file's
            hash.addData(block, static_cast<int>(got));
            left -= got;
        }
    }
    return QString::fromLatin1(hash.result().toHex());
}

void MyDAO::fileMd5(QString filePath, std::function<void(QString)> callback)
{
    auto* thread = new MyFileMd5Thread(filePath);
    connect(thread, &MyFileMd5Thread::s_md5, this, [thread, callback](QString md5) {
        if (callback)
            callback(md5);
        // s_md5 is the run's last act; wait for it to return before letting go of the thread.
        thread->wait();
        thread->deleteLater();
    });
}
