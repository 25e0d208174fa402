#include "net/MyDAO.h"

#include <QMutexLocker>

// The waiting jobs and the ids the workers hold. The GUI thread locks the job mutex
// normally; workers only ever try-lock it (takeUploadJob), so a busy GUI thread never
// stalls an upload and a worker never blocks the GUI.

void MyDAO::enqueueUpload(UploadFile job)
{
    if (job.file_status == 6)
        return;
    job.file_status = 2;
    QMutexLocker lock(&jobMutex);
    for (const UploadFile& waiting : qAsConst(uploadJobs)) {
        if (waiting.file_md5 == job.file_md5 || waiting.file_id == job.file_id)
            return;
    }
    if (jobsInProgress.contains(job.file_id) && !jobsLettingGo.contains(job.file_id))
        return;
    // Every byte is on the site already (its submission was refused, or never answered):
    // report it complete, as a worker would at once, without waiting for a free worker;
    // the completion sends the submission again.
    if (job.file_size > 0 && job.file_size_loaded == job.file_size) {
        lock.unlock();
        job.file_status = 6;
        job.file_status_msg.clear();
        QMetaObject::invokeMethod(
            this, [this, job]() { updateUploadProgress(job, QString()); }, Qt::QueuedConnection);
        return;
    }
    uploadJobs.append(job);
}

void MyDAO::stopUpload(const UploadFile& job)
{
    {
        QMutexLocker lock(&jobMutex);
        uploadJobs.removeAll(job);
        // The worker may have a piece in flight: the id stays held until it lets go, so a
        // restarted job cannot reach a second worker meanwhile.
        if (jobsInProgress.contains(job.file_id) && !jobsLettingGo.contains(job.file_id))
            jobsLettingGo.append(job.file_id);
    }
    emit s_stop_upload(job);
}

void MyDAO::lockUploadThread(bool b)
{
    emit s_lock_upload_thread(b);
}

void MyDAO::clearUploadJobs()
{
    QMutexLocker lock(&jobMutex);
    uploadJobs.clear();
}

void MyDAO::cacheForm(const AssetFormData& form)
{
    formCache.insert(form.id, form);
}

void MyDAO::removeQueuedJobs(const QString& file_md5, int id)
{
    QMutexLocker lock(&jobMutex);
    for (auto it = uploadJobs.begin(); it != uploadJobs.end();) {
        if (it->file_md5 == file_md5 || it->file_id == id)
            it = uploadJobs.erase(it);
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

MyDAO::TakeResult MyDAO::takeUploadJob(int heldId, UploadFile& job)
{
    if (!jobMutex.tryLock())
        return TakeResult::Busy;
    letGo(jobsInProgress, jobsLettingGo, heldId);
    // A job another worker still holds waits in its place.
    for (auto it = uploadJobs.begin(); it != uploadJobs.end(); ++it) {
        if (jobsInProgress.contains(it->file_id))
            continue;
        job = *it;
        uploadJobs.erase(it);
        jobsInProgress.append(job.file_id);
        jobMutex.unlock();
        return TakeResult::Taken;
    }
    jobMutex.unlock();
    return TakeResult::Empty;
}

void MyDAO::releaseUploadJob(int id)
{
    QMutexLocker lock(&jobMutex);
    letGo(jobsInProgress, jobsLettingGo, id);
}

void MyDAO::lettingGoOfHeldUploads()
{
    QMutexLocker lock(&jobMutex);
    for (int id : qAsConst(jobsInProgress)) {
        if (!jobsLettingGo.contains(id))
            jobsLettingGo.append(id);
    }
}

QList<UploadFile> MyDAO::queuedUploads() const
{
    QMutexLocker lock(&jobMutex);
    return uploadJobs;
}

QList<int> MyDAO::uploadsInProgress() const
{
    QMutexLocker lock(&jobMutex);
    return jobsInProgress;
}
