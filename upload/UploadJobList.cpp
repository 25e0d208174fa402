#include "upload/UploadJobList.h"

#include <QMutexLocker>

UploadJobList::Enqueued UploadJobList::enqueue(UploadFile& job)
{
    if (job.file_status == UploadStatus::Completed)
        return Enqueued::Ignored;
    job.file_status = UploadStatus::Waiting;
    QMutexLocker lock(&jobMutex);
    for (const UploadFile& other : qAsConst(waiting)) {
        if (other.file_md5 == job.file_md5 || other.file_id == job.file_id)
            return Enqueued::Ignored;
    }
    if (held.contains(job.file_id) && !lettingGo.contains(job.file_id))
        return Enqueued::Ignored;
    // Every byte is on the site already (its submission was refused, or never answered):
    // it is complete, as a worker would report at once, without waiting for a free worker.
    if (job.file_size > 0 && job.file_size_loaded == job.file_size) {
        job.file_status = UploadStatus::Completed;
        job.file_status_msg.clear();
        return Enqueued::AllSent;
    }
    waiting.append(job);
    return Enqueued::Queued;
}

void UploadJobList::stop(const UploadFile& job)
{
    QMutexLocker lock(&jobMutex);
    waiting.removeAll(job);
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
        if (it->file_md5 == file_md5 || it->file_id == id)
            it = waiting.erase(it);
        else
            ++it;
    }
}

namespace {

// Called with the job mutex held.
void letGo(QList<int>& held, QList<int>& lettingGo, int id)
{
    if (held.removeOne(id) && !held.contains(id))
        lettingGo.removeAll(id);
}

} // namespace

UploadJobList::TakeResult UploadJobList::take(int heldId, UploadFile& job)
{
    if (!jobMutex.tryLock())
        return TakeResult::Busy;
    letGo(held, lettingGo, heldId);
    // A job another worker still holds waits in its place.
    for (auto it = waiting.begin(); it != waiting.end(); ++it) {
        if (held.contains(it->file_id))
            continue;
        job = *it;
        waiting.erase(it);
        held.append(job.file_id);
        jobMutex.unlock();
        return TakeResult::Taken;
    }
    jobMutex.unlock();
    return TakeResult::Empty;
}

void UploadJobList::release(int id)
{
    QMutexLocker lock(&jobMutex);
    letGo(held, lettingGo, id);
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
