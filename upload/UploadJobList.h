#pragma once

#include "store/AssetRecords.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QWaitCondition>
#include <atomic>
#include <functional>

// The jobs waiting for an upload worker, the ids the workers hold, and the form data of the
// jobs started in this run. The GUI thread locks the job mutex normally; workers only ever
// try-lock it (take), so a busy GUI thread never stalls an upload and a worker never blocks
// the GUI. The form cache belongs to the thread of the owner and has no lock.
class UploadJobList
{
public:
    enum class TakeResult { Busy, Empty, Taken };
    enum class Enqueued {
        Queued, // waits for a worker now
        Ignored, // completed, already waiting, or held by a worker that keeps it
        AllSent // every byte is on the site: `job` now reads as completed, for the caller to report
    };

    // Queues a job with status Waiting. A completed job, one already waiting (same id) and
    // one a worker holds are ignored, unless that worker has been told to let go of it: then
    // the job waits until the worker has. Jobs are told apart by id: two assets of the same
    // file are two jobs, which never upload at the same time.
    Enqueued enqueue(UploadFile& job);
    // Takes the job (same id and MD5) out of the queue; the worker holding it is told to let
    // go of the id, which stays held until its own loop has.
    void stop(const UploadFile& job);
    void clear();
    // Removes the waiting job with this MD5 and id.
    void removeQueued(const QString& file_md5, int id);
    // Worker side: lets go of `heldId`, whose resume point was `heldLoaded` (a job of that id
    // queued again meanwhile continues from there), and takes the first waiting job whose id
    // and file no other worker holds into `job`. `taken` runs with the job still under the
    // mutex, so that the worker's identity is set before a pause or delete can look for it.
    // Never waits for the job mutex: Busy when another thread holds it.
    TakeResult take(int heldId, qint64 heldLoaded, UploadFile& job,
                    const std::function<void(const UploadFile&)>& taken = {});
    // Lets go of a job id taken by a worker that has stopped.
    void release(int id);
    // Every held job is being let go (the workers are stopping): they may be queued again.
    void lettingGoOfHeld();
    // Copies of the waiting jobs and of the ids taken by workers.
    QList<UploadFile> queued() const;
    QList<int> inProgress() const;

    // Waking the workers: each reads wakeCount() before it looks for work and then waits
    // until it changes, so that no wake-up between the two is lost. Queueing a job, a pause,
    // a resume and a stop wake every worker.
    quint64 wakeCount() const;
    // False when `ms` (negative: no limit) passed first.
    bool waitForWake(quint64 seen, int ms) const;
    void wakeWorkers();
    // Every worker holds back (the pending list is loading); read by the workers.
    void setPaused(bool b);
    bool paused() const { return pausedAll.load(); }

    // Form data by asset id, kept for the submission after the upload.
    void cacheForm(const AssetFormData& form);
    bool hasCachedForm(int id) const { return formCache.contains(id); }
    // The cached form of `id` (a default form when there is none).
    AssetFormData cachedForm(int id) const { return formCache.value(id); }
    void removeCachedForm(int id) { formCache.remove(id); }
    void clearFormCache() { formCache.clear(); }

private:
    // Guards waiting, held and lettingGo.
    mutable QMutex jobMutex;
    QList<UploadFile> waiting;
    QList<int> held;
    // The file of each held id.
    QHash<int, QString> heldMd5;
    // The resume point of each id when its worker last let go of it, with the file it is of.
    struct ResumePoint
    {
        QString md5;
        qint64 size = 0;
        qint64 loaded = 0;
    };
    QHash<int, ResumePoint> resumePoints;
    QHash<int, qint64> heldSize;
    // The worker's resume point for `job`, when there is one for that very file.
    void applyResumePoint(UploadFile& job) const;
    // Held ids whose worker has been told to let go; such a job may wait in the queue again.
    QList<int> lettingGo;
    QMap<int, AssetFormData> formCache;

    mutable QMutex wakeMutex;
    mutable QWaitCondition wake;
    quint64 wakes = 0;
    std::atomic<bool> pausedAll { false };
};
