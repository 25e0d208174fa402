#pragma once

#include "store/AssetRecords.h"

#include <QMutex>
#include <QString>
#include <QThread>
#include <atomic>
#include <functional>

class MyDAO;
class PieceTransport;
class QNetworkRequest;

// One of the upload workers. It takes waiting jobs from MyDAO's job list and sends each
// file in pieces of at most chunk_size bytes to the upload service, one piece per pass of
// its loop, reporting every piece through MyDAO::updateUploadProgress.
//
// The worker object lives on the thread that created it (the GUI thread), where its
// handlers of MyDAO's signals run; they only touch the atomic flags and the current job's
// status. The piece transport, the file and the wait for a reply live on the
// worker's own thread.
class MyUploadThread : public QThread
{
    Q_OBJECT

public:
    explicit MyUploadThread(QObject* parent = nullptr);
    ~MyUploadThread() override;

    // Pauses and stops the loop, cuts a piece in flight and detaches from MyDAO. Returns at
    // once; wait() for the thread afterwards.
    void stopWorker();

    // The id of the job this worker has taken and not let go (0 when none). Read it only
    // while the thread is not running.
    int heldJobId() const { return heldId; }

    // A piece whose transfer makes no progress for this long is aborted and counts as refused.
    static void setStallTimeout(int ms);
    static int stallTimeout();
    // Called on the worker's thread right after it has taken a job (tests hold it there).
    static void setTakenHookForTesting(std::function<void(int id)> hook);
    // Whether a final failure with this HTTP status (0: no answer) is the network's or the
    // service's passing trouble, worth trying again later, rather than a refusal.
    static bool isPassingFailure(int code);

    // The signature of a piece: MD5 over hex(MD5("<size>-TRQ")), the signing key and
    // hex(MD5("QRT-<md5>")), all lower-case hex.
    static QByteArray signature(qint64 file_size, const QString& file_md5);
    // The headers of the piece [first, last] of `job` for user `uid` on top of `base`.
    static QNetworkRequest pieceRequest(QNetworkRequest base, const UploadFile& job, int uid, qint64 first,
                                        qint64 last);

protected:
    void run() override;

private:
    enum class Pass { Next, Return };

    void onStopUpload(UploadFile job);
    void onDeleteItem(QString file_md5, int id);

    // One pass of the upload step (one piece at most). `startMs` is the time the pass began.
    void uploadStep(PieceTransport& transport, qint64 startMs);
    // Makes `job` the current one; runs under the job mutex (see UploadJobList::take).
    void takeJob(const UploadFile& job);
    void report(const QString& rate);
    void fail(const QString& message);
    bool paused() const;
    // Waits `ms` milliseconds, or less when the worker is stopped.
    void nap(int ms);

    MyDAO* owner = nullptr;
    // Failed attempts of the current job since it was taken or since its last accepted piece.
    int retryCount = 0;
    // The current job has been sent again from byte 0 after the service refused its resume point.
    bool restartedFromZero = false;
    std::atomic<bool> stopFlag { false };
    std::atomic<bool> pauseFlag { false };
    // The current job. Written by the worker thread only; its status lives in `status`,
    // which the GUI thread may change at any time.
    UploadFile current;
    std::atomic<int> status { UploadStatus::Completed };
    int jobUid = 0;
    // The id this worker has put into MyDAO's in-progress list and not yet taken out.
    int heldId = 0;
    // Guards the identity the GUI-thread handlers compare against (and their status
    // writes), so that a handler never hits a job the worker has just taken instead.
    QMutex identityLock;
    QString identityMd5;
    int identityId = 0;
};
