#pragma once

#include "store/AssetRecords.h"

#include <QList>
#include <QMap>
#include <QMutex>

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

    // Queues a job with status Waiting. A completed job, one already waiting (same MD5 or
    // same id) and one a worker holds are ignored, unless that worker has been told to let
    // go of it: then the job waits until the worker has.
    Enqueued enqueue(UploadFile& job);
    // Takes the job out of the queue; the worker holding it is told to let go of the id,
    // which stays held until its own loop has.
    void stop(const UploadFile& job);
    void clear();
    // Removes every waiting job with this MD5 or this id.
    void removeQueued(const QString& file_md5, int id);
    // Worker side: lets go of `heldId` and takes the first waiting job that no other worker
    // holds into `job`. Never waits for the job mutex: Busy when another thread holds it.
    TakeResult take(int heldId, UploadFile& job);
    // Lets go of a job id taken by a worker that has stopped.
    void release(int id);
    // Every held job is being let go (the workers are stopping): they may be queued again.
    void lettingGoOfHeld();
    // Copies of the waiting jobs and of the ids taken by workers.
    QList<UploadFile> queued() const;
    QList<int> inProgress() const;

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
    // Held ids whose worker has been told to let go; such a job may wait in the queue again.
    QList<int> lettingGo;
    QMap<int, AssetFormData> formCache;
};
