#include "upload/MyUploadThread.h"

#include "app/RunLog.h"
#include "intake/FileTypes.h"
#include "net/Endpoints.h"
#include "net/MyDAO.h"
#include "upload/PieceTransport.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QFile>
#include <QMutexLocker>
#include <QNetworkRequest>
#include <QRandomGenerator>
#include <QUrl>

namespace {

constexpr qint64 kMaxPiece = 1048576;
std::atomic<int> stallLimitMs { 60000 };
std::function<void(int)> takenHook;

QByteArray md5Hex(const QByteArray& data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Md5).toHex();
}

} // namespace

MyUploadThread::MyUploadThread(QObject* parent)
    : QThread(parent)
    , owner(MyDAO::instance())
{
    connect(owner, &MyDAO::s_stop_upload, this, &MyUploadThread::onStopUpload);
    connect(owner, &MyDAO::s_delete_item, this, &MyUploadThread::onDeleteItem);
    // The pause of every worker (lockUploadThread) is read from the job list, not received
    // here: the pending-list loader asks for it from its own thread, and a worker may be
    // deleted by then.

    // Spread the five workers' start a little.
    const QTime now = QTime::currentTime();
    QRandomGenerator gen(quint32(now.msec() + 1000 * now.second()));
    QThread::msleep(gen.bounded(10));
    start(QThread::InheritPriority);
}

MyUploadThread::~MyUploadThread()
{
    if (isRunning()) {
        stopWorker();
        wait();
    }
}

void MyUploadThread::setStallTimeout(int ms)
{
    stallLimitMs = ms;
}

int MyUploadThread::stallTimeout()
{
    return stallLimitMs;
}

void MyUploadThread::setTakenHookForTesting(std::function<void(int id)> hook)
{
    takenHook = std::move(hook);
}

bool MyUploadThread::isPassingFailure(int code)
{
    return code == 0 || code == 408 || code == 429 || (code >= 500 && code <= 599);
}

void MyUploadThread::stopWorker()
{
    pauseFlag = true;
    stopFlag = true;
    {
        QMutexLocker lock(&identityLock);
        identityId = 0;
        identityMd5.clear();
    }
    disconnect(owner, nullptr, this, nullptr);
    quit();
    owner->wakeUploadWorkers();
}

bool MyUploadThread::paused() const
{
    return pauseFlag || owner->uploadsLocked();
}

void MyUploadThread::onDeleteItem(QString file_md5, int id)
{
    QMutexLocker lock(&identityLock);
    if (file_md5 == identityMd5 && id == identityId)
        status = UploadStatus::Removed;
}

void MyUploadThread::onStopUpload(UploadFile job)
{
    QMutexLocker lock(&identityLock);
    // The same asset: another row of the same file is another job.
    if (!identityMd5.isEmpty() && job.file_md5 == identityMd5 && job.file_id == identityId)
        status = job.file_status;
}

void MyUploadThread::nap(int ms)
{
    QDeadlineTimer deadline(ms);
    while (!stopFlag && !deadline.hasExpired()) {
        // Read before the check, so that a stop in between still ends the wait.
        const quint64 seen = owner->uploadWakeCount();
        if (stopFlag)
            return;
        owner->waitForUploadWake(seen, int(qMax<qint64>(1, deadline.remainingTime())));
    }
}

void MyUploadThread::run()
{
    // Created here so that it lives on this thread; kept for every piece so that the
    // connection to the upload service is reused.
    PieceTransport transport;
    for (;;) {
        // Anything that may give this worker something to do (a job queued, a resume, a
        // stop) changes the count after this point and ends the wait below at once.
        const quint64 seen = owner->uploadWakeCount();
        if (stopFlag)
            return;
        if (paused()) {
            owner->waitForUploadWake(seen, -1);
            continue;
        }
        const qint64 startMs = QDateTime::currentMSecsSinceEpoch();
        if (status == UploadStatus::Uploading) {
            QThread::msleep(10);
            uploadStep(transport, startMs);
            continue;
        }
        UploadFile job;
        // The identity is set before the job mutex is released: a pause or delete of the job
        // that comes after the take finds this worker.
        switch (owner->takeUploadJob(heldId, current.file_size_loaded, job,
                                     [this](const UploadFile& taken) { takeJob(taken); })) {
        case MyDAO::TakeResult::Busy:
            QThread::msleep(10);
            continue;
        case MyDAO::TakeResult::Empty:
            // The held job has been let go; never let go of it twice, another worker may
            // hold the same id by now. Nor may a later stop or delete of it reach this worker.
            if (heldId != 0) {
                heldId = 0;
                QMutexLocker lock(&identityLock);
                identityMd5.clear();
                identityId = 0;
            }
            // Nothing to do: sleep until a job is queued, a pause ends or the worker stops.
            owner->waitForUploadWake(seen, -1);
            continue;
        case MyDAO::TakeResult::Taken:
            break;
        }
        if (takenHook)
            takenHook(job.file_id);
        if (job.file_status != UploadStatus::Waiting) {
            nap(285);
            if (stopFlag)
                return;
            continue;
        }
        writeLog(QStringLiteral("UID: %5, ThreadId: %1, m_file, file_id: %2, file_md5: %3, file_name: %4")
                     .arg(QString::number(quintptr(QThread::currentThreadId())), QString::number(current.file_id),
                          current.file_md5, current.file_name, QString::number(jobUid)),
                 1);
        uploadStep(transport, startMs);
    }
}

void MyUploadThread::takeJob(const UploadFile& job)
{
    heldId = job.file_id;
    retryCount = 0;
    restartedFromZero = false;
    jobUid = owner->uid();
    QMutexLocker lock(&identityLock);
    current = job;
    status = job.file_status;
    identityMd5 = job.file_md5;
    identityId = job.file_id;
}

void MyUploadThread::report(const QString& rate)
{
    UploadFile copy = current;
    copy.file_status = status;
    owner->updateUploadProgress(copy, rate);
}

void MyUploadThread::fail(const QString& message)
{
    int s = status;
    if (s != UploadStatus::Removed)
        status.compare_exchange_strong(s, UploadStatus::Failed);
    current.file_status_msg = message;
    report(QString());
}

void MyUploadThread::uploadStep(PieceTransport& transport, qint64 startMs)
{
    if (current.file_size_loaded == current.file_size) {
        int s = status;
        if (s != UploadStatus::Removed)
            status.compare_exchange_strong(s, UploadStatus::Completed);
        report(QString());
        QThread::msleep(10);
        return;
    }
    if (current.file_size_loaded > current.file_size) {
        fail(QStringLiteral("文件传输出错"));
        QThread::msleep(10);
        return;
    }
    if (paused())
        return;

    const qint64 piece = qBound<qint64>(1, current.chunk_size, kMaxPiece);
    const qint64 first = current.file_size_loaded;
    const qint64 last = qMin(first + piece - 1, current.file_size - 1);
    const qint64 length = last - first + 1;
    const QNetworkRequest request = pieceRequest(owner->baseRequest(), current, jobUid, first, last);

    QFile file(current.file_path);
    if (!file.exists()) {
        fail(QStringLiteral("文件不存在，上传失败"));
        QThread::msleep(10);
        return;
    }
    // Unbuffered: the transport reads each piece straight into its send buffer.
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        fail(QStringLiteral("文件读取失败"));
        QThread::msleep(10);
        return;
    }
    int s = status;
    if ((s != UploadStatus::Waiting && s != UploadStatus::Uploading)
        || !status.compare_exchange_strong(s, UploadStatus::Uploading)) {
        QThread::msleep(10);
        return;
    }
    // The file shrank since it was measured: sending less than the range says would corrupt the
    // upload. (Should it shrink while the piece is sent, the transport cuts the piece.)
    if (file.size() < first + length || !file.seek(first)) {
        fail(QStringLiteral("文件读取失败"));
        QThread::msleep(10);
        return;
    }
    if (paused())
        return;

    QString reason;
    // A server that stops answering must not hold the worker forever, and a stop must not
    // wait for the piece.
    const int code = transport.post(request, file, length, stopFlag, stallLimitMs, reason);
    file.close();
    if (code == PieceTransport::kBodyShort) {
        fail(QStringLiteral("文件读取失败"));
        QThread::msleep(10);
        return;
    }
    if (code == 201 || code == 200) {
        retryCount = 0;
        if (code == 201) {
            current.file_size_loaded = last + 1;
        } else {
            current.file_size_loaded = current.file_size;
            int now = status;
            if (now != UploadStatus::Removed)
                status.compare_exchange_strong(now, UploadStatus::Completed);
        }
        const qint64 ms = QDateTime::currentMSecsSinceEpoch() - startMs;
        report(speedText(int(qMin<qint64>(ms, INT_MAX)), int(length)));
        return;
    }
    // Cut short by stopWorker: the piece was not accepted and the job stays where it was.
    if (stopFlag)
        return;
    // The service no longer holds the bytes before this piece (partial uploads expire) or
    // holds others: the file goes again from its first byte, once per job.
    if ((code == 409 || code == 416) && first > 0 && !restartedFromZero) {
        restartedFromZero = true;
        writeLog(
            QStringLiteral("file_id: %1, file_md5: %2, 续传位置 %3 被拒绝(%4)，从头重新上传")
                .arg(QString::number(current.file_id), current.file_md5, QString::number(first), QString::number(code)),
            1);
        current.file_size_loaded = 0;
        report(QStringLiteral("0KB/s"));
        return;
    }
    if (retryCount <= 3) {
        ++retryCount;
        report(QStringLiteral("0KB/s"));
        nap(1000);
        return;
    }
    retryCount = 0;
    // Not paused or deleted meanwhile: the author still wants it sent.
    const bool wanted = status == UploadStatus::Uploading;
    fail(QStringLiteral("上传失败,%1,%2").arg(QString::number(code), reason));
    // A failure of the network or of a busy service passes: the job is queued again later by
    // itself. One the service meant stays until the author acts.
    if (wanted && isPassingFailure(code)) {
        UploadFile copy = current;
        copy.file_status = UploadStatus::Failed;
        owner->scheduleUploadRetry(copy);
    }
}

QByteArray MyUploadThread::signature(qint64 file_size, const QString& file_md5)
{
    const QByteArray a = md5Hex(QStringLiteral("%1-TRQ").arg(file_size).toLocal8Bit());
    const QByteArray b = md5Hex(QStringLiteral("QRT-%1").arg(file_md5).toLocal8Bit());
    return md5Hex(a + UPLOAD_SIGN_KEY.toLocal8Bit() + b);
}

QNetworkRequest MyUploadThread::pieceRequest(QNetworkRequest request, const UploadFile& job, int uid, qint64 first,
                                             qint64 last)
{
    const QDateTime created = QDateTime::fromSecsSinceEpoch(job.created_time);
    const QString uidText = QString::number(uid);
    request.setUrl(QUrl(URL_UPLOAD, QUrl::TolerantMode));
    // The stall limit of the worker decides when a piece has hung.
    request.setTransferTimeout(0);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("tool"));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/octet-stream"));
    request.setHeader(QNetworkRequest::ContentDispositionHeader,
                      QStringLiteral("attachment; filename=%1").arg(job.file_name));
    request.setHeader(QNetworkRequest::ContentLengthHeader, last - first + 1);
    request.setRawHeader("X-Content-Range",
                         QStringLiteral("bytes %1-%2/%3")
                             .arg(QString::number(first), QString::number(last), QString::number(job.file_size))
                             .toLatin1());
    request.setRawHeader(
        "Session-ID",
        QStringLiteral("%1-%3-%2").arg(job.file_md5, created.toString(QStringLiteral("ddMMyyyy")), uidText).toUtf8());
    request.setRawHeader("Save-As",
                         saveAsName(job.file_path, job.file_md5, job.created_time, job.file_id, uid).toUtf8());
    request.setRawHeader("X-Tool-Version", "2.28.1.210115");
    request.setRawHeader("X-Signature", signature(job.file_size, job.file_md5));
    request.setRawHeader("uid", uidText.toUtf8());
    return request;
}
