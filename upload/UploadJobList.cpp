#include "upload/UploadJobList.h"

#include <QDeadlineTimer>
#include <QMutexLocker>

UploadJobList::Enqueued UploadJobList::enqueue(UploadFile& job)
{
    if (job.file_status == UploadStatus::Completed)
        return Enqueued::Ignored;
    job.file_status = UploadStatus::Waiting;
    QMutexLocker lock(&jobMutex);
    for (const UploadFile& other : qAsConst(waiting)) {
        if (other.file_id == job.file_id)
            return Enqueued::Ignored;
    }
    if (held.contains(job.file_id) && !lettingGo.contains(job.file_id))
        return Enqueued::Ignored;
    // The row may not have heard of the last pieces yet: a worker knows better.
    applyResumePoint(job);
    // Every byte is on the site already (its submission was refused, or never answered):
    // it is complete, as a worker would report at once, without waiting for a free worker.
    if (job.file_size > 0 && job.file_size_loaded == job.file_size) {
        job.file_status = UploadStatus::Completed;
        job.file_status_msg.clear();
        return Enqueued::AllSent;
    }
    waiting.append(job);
    lock.unlock();
    wakeWorkers();
    return Enqueued::Queued;
}

void UploadJobList::stop(const UploadFile& job)
{
    QMutexLocker lock(&jobMutex);
    for (auto it = waiting.begin(); it != waiting.end();) {
        if (it->file_id == job.file_id && it->file_md5 == job.file_md5)
            it = waiting.erase(it);
        else
            ++it;
    }
    // The worker may have a piece in flight: the id stays held until it lets go, so a
    // restarted job cannot reach a second worker meanwhile.
    if (held.contains(job.file_id) && !lettingGo.contains(job.file_id))
        lettingGo.append(job.file_id);
}

void UploadJobList::clear()
{
    QMutexLocker lock(&jobMutex);
    waiting.clear();
}

void UploadJobList::removeQueued(const QString& file_md5, int id)
{
    QMutexLocker lock(&jobMutex);
    for (auto it = waiting.begin(); it != waiting.end();) {
        if (it->file_md5 == file_md5 && it->file_id == id)
            it = waiting.erase(it);
        else
            ++it;
    }
}

namespace {

// Called with the job mutex held.
void letGo(QList<int>& held, QList<int>& lettingGo, QHash<int, QString>& heldMd5, int id)
{
    if (held.removeOne(id) && !held.contains(id)) {
        lettingGo.removeAll(id);
        heldMd5.remove(id);
    }
}

} // namespace

UploadJobList::TakeResult UploadJobList::take(int heldId, qint64 heldLoaded, UploadFile& job,
                                              const std::function<void(const UploadFile&)>& taken)
{
    if (!jobMutex.tryLock())
        return TakeResult::Busy;
    if (heldId != 0 && heldLoaded >= 0 && heldMd5.contains(heldId))
        resumePoints.insert(heldId, { heldMd5.value(heldId), heldSize.value(heldId), heldLoaded });
    letGo(held, lettingGo, heldMd5, heldId);
    // A job another worker still holds waits in its place, and so does another asset of the
    // file a worker is sending (the upload service keys a file's pieces by its MD5).
    for (auto it = waiting.begin(); it != waiting.end(); ++it) {
        if (held.contains(it->file_id) || heldMd5.key(it->file_md5, 0) != 0)
            continue;
        job = *it;
        waiting.erase(it);
        applyResumePoint(job);
        held.append(job.file_id);
        heldMd5.insert(job.file_id, job.file_md5);
        heldSize.insert(job.file_id, job.file_size);
        if (taken)
            taken(job);
        jobMutex.unlock();
        return TakeResult::Taken;
    }
    jobMutex.unlock();
    return TakeResult::Empty;
}

void UploadJobList::applyResumePoint(UploadFile& job) const
{
    const auto point = resumePoints.constFind(job.file_id);
    if (point != resumePoints.constEnd() && point->md5 == job.file_md5 && point->size == job.file_size)
        job.file_size_loaded = point->loaded;
}

void UploadJobList::release(int id)
{
    {
        QMutexLocker lock(&jobMutex);
        letGo(held, lettingGo, heldMd5, id);
    }
    // A job of that id or file may be waiting for it.
    wakeWorkers();
}

void UploadJobList::lettingGoOfHeld()
{
    QMutexLocker lock(&jobMutex);
    for (int id : qAsConst(held)) {
        if (!lettingGo.contains(id))
            lettingGo.append(id);
    }
}

QList<UploadFile> UploadJobList::queued() const
{
    QMutexLocker lock(&jobMutex);
    return waiting;
}

QList<int> UploadJobList::inProgress() const
{
    QMutexLocker lock(&jobMutex);
    return held;
}

void UploadJobList::cacheForm(const AssetFormData& form)
{
    formCache.insert(form.id, form);
}

quint64 UploadJobList::wakeCount() const
{
    QMutexLocker lock(&wakeMutex);
    return wakes;
}

bool UploadJobList::waitForWake(quint64 seen, int ms) const
{
    QDeadlineTimer deadline(ms < 0 ? QDeadlineTimer(QDeadlineTimer::Forever) : QDeadlineTimer(ms));
    QMutexLocker lock(&wakeMutex);
    while (wakes == seen) {
        if (!wake.wait(&wakeMutex, deadline))
            return wakes != seen;
    }
    return true;
}

void UploadJobList::wakeWorkers()
{
    QMutexLocker lock(&wakeMutex);
    ++wakes;
    wake.wakeAll();
}

void UploadJobList::setPaused(bool b)
{
    pausedAll = b;
    wakeWorkers();
}
