// MyDAO's operations on the local store, the upload job list, the submission and the intake
// tools: each hands the work to the service that owns it, turns its results into the signals
// and passes the messages meant for the user to the notifier.

#include "app/Notifier.h"
#include "app/RunLog.h"
#include "intake/ArchiveTools.h"
#include "intake/MyFileMd5Thread.h"
#include "intake/TextExtraction.h"
#include "net/Endpoints.h"
#include "net/MyDAO.h"

#include <QSettings>
#include <QThread>
#include <QTimer>

namespace {

void showBox(const QString& text, const QString& title)
{
    if (Notifier* notifier = MyDAO::userNotifier())
        notifier->alert(text, title);
}

void tellUser(const StoreResult& result)
{
    if (!result.message.isEmpty())
        showBox(result.message, result.title);
}

} // namespace

// ---- local database ----

QString MyDAO::databasePath()
{
    return dataDir() + "/" + DB_FILE_NAME;
}

bool MyDAO::openDatabase()
{
    const bool fresh = !Database::hasConnection();
    const StoreResult opened = store.open(&showBox);
    tellUser(opened);
    if (opened && fresh)
        loadRecentLogins();
    return opened.ok;
}

bool MyDAO::createTables()
{
    return store.createTables();
}

void MyDAO::purgeRetiredAssets()
{
    store.purgeRetiredAssets();
}

void MyDAO::cleanWorkFiles(int days)
{
    store.cleanWorkFiles(days);
}

void MyDAO::closeDatabase()
{
    store.close();
}

QList<RecentLogin> MyDAO::loadRecentLogins()
{
    const QList<RecentLogin> list = store.recentLogins();
    setRecentLogins(list);
    return list;
}

bool MyDAO::saveLogin(const RecentLogin& data, const QString& key1)
{
    return store.saveLogin(data, key1);
}

void MyDAO::forgetRememberedKey(const QString& key)
{
    store.forgetRememberedKey(key);
}

void MyDAO::clearLogins()
{
    settings()->remove("LastAutoLoginUID");
    store.clearLogins();
}

QString MyDAO::duplicateRefusedText()
{
    return QStringLiteral("该文件已在上传列表中，不能重复添加。\n列表中已有的该资料已为您标出。");
}

int MyDAO::listedAssetWithMd5(const QString& file_md5)
{
    return file_md5.isEmpty() ? 0 : store.pendingAssetWithMd5(file_md5);
}

bool MyDAO::refuseListedDuplicate(const AssetFormData& form)
{
    const int listed = form.id == 0 ? listedAssetWithMd5(form.file_md5) : 0;
    if (listed == 0)
        return false;
    writeLog(QStringLiteral("%1 已在上传列表中(id %2)，不重复添加").arg(form.file_md5).arg(listed));
    emit s_listed_duplicate(form.file_md5, listed);
    showBox(duplicateRefusedText(), QString());
    return true;
}

bool MyDAO::saveAssetForm(AssetFormData& form, bool startUpload)
{
    if (form.id != 0)
        return updateAssetForm(form, startUpload);
    // Two assets of one file would share its upload on the service.
    if (refuseListedDuplicate(form))
        return false;
    const StoreResult saved = store.insertAsset(form);
    tellUser(saved);
    if (!saved)
        return false;
    emit s_submit_fileform_ok(form);
    if (startUpload)
        emit s_start_upload(form.file_md5, form.id);
    return true;
}

bool MyDAO::updateAssetForm(AssetFormData& form, bool startUpload)
{
    const StoreResult saved = store.updateAsset(form);
    tellUser(saved);
    if (!saved)
        return false;
    emit frm_update_progress_item(form);
    if (startUpload)
        emit s_start_upload(form.file_md5, form.id);
    return true;
}

bool MyDAO::loadAsset(int id, AssetFormData& form)
{
    return store.loadAsset(id, form);
}

QList<AssetFormData> MyDAO::loadPendingAssets()
{
    const QList<AssetFormData> list = store.pendingAssets();
    emit s_uplist_fromdb(list);
    return list;
}

bool MyDAO::deleteAsset(int id, const QString& md5)
{
    if (!store.deleteAsset(id, md5)) {
        if (Notifier* notifier = userNotifier())
            notifier->confirm("删除失败了");
        return false;
    }
    removeQueuedJobs(md5, id);
    cancelUploadRetry(id);
    retryFailures.remove(id);
    emit s_delete_item(md5, id);
    return true;
}

void MyDAO::updateUploadProgress(const UploadFile& job, const QString& rate)
{
    // Reports come from the upload threads; the statement and the signals belong to the
    // thread of the connection.
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(
            this, [this, job, rate]() { updateUploadProgress(job, rate); }, Qt::QueuedConnection);
        return;
    }

    const bool completed = job.file_status == UploadStatus::Completed;
    // A report with a rate follows a piece the service answered; the job's byte count is
    // what the service holds, also when the row was paused meanwhile (Idle), so it is always
    // the resume point. A file that is whole on the server must not wait for a row that
    // cannot be written (the row resumes from its old point at worst).
    if (!rate.isEmpty() && !store.recordProgress(job) && !completed)
        return;

    emit s_progress_upload(job.file_id, job.file_md5, qulonglong(job.file_size_loaded), job.file_status_msg, rate);
    if (completed) {
        retryFailures.remove(job.file_id);
        removeQueuedJobs(job.file_md5, job.file_id);
        emit s_completed_upload(job.file_id);
    }
}

bool MyDAO::retireSubmittedAsset(const AssetFormData& form)
{
    return retireSubmittedAsset(form, uid()) == Database::Retire::Retired;
}

Database::Retire MyDAO::retireSubmittedAsset(const AssetFormData& form, int ownerUid)
{
    const Database::Retire result = store.retireSubmittedAsset(form, ownerUid);
    if (result == Database::Retire::Retired)
        emit s_completed_submit(form.file_md5, form.id);
    return result;
}

// ---- archives, text, fingerprint ----

std::function<void(const QString&)> MyDAO::archiveWarner(std::function<void(QString)> warned)
{
    return [this, warned](const QString& text) {
        if (warned)
            warned(text);
        emit s_archive_warning(text);
    };
}

void MyDAO::readArchive(QString archivePath, std::function<void(QString, bool)> callback,
                        std::function<void(QString)> warned)
{
    inspectArchive(archivePath, tmpDir(), archiveWarner(warned), callback);
}

void MyDAO::repackArchive(QString archivePath, TEXT_OK_CALLBACK callback, std::function<void(QString)> warned)
{
    repackAsZip(archivePath, tmpDir(), archiveWarner(warned), callback);
}

void MyDAO::extractText(QString filePath, std::function<void(QString)> callback)
{
    extractDocumentText(filePath, callback);
}

void MyDAO::fileMd5(QString filePath, std::function<void(QString)> callback)
{
    MyFileMd5Thread::compute(filePath, this, callback);
}

// ---- upload bookkeeping ----

void MyDAO::enqueueUpload(UploadFile job)
{
    // Every byte on the site already: reported complete, which sends the submission again.
    if (jobs.enqueue(job) == UploadJobList::Enqueued::AllSent)
        QMetaObject::invokeMethod(
            this, [this, job]() { updateUploadProgress(job, QString()); }, Qt::QueuedConnection);
}

void MyDAO::stopUpload(const UploadFile& job)
{
    jobs.stop(job);
    emit s_stop_upload(job);
}

void MyDAO::lockUploadThread(bool b)
{
    // The workers read the shared flag: the pending-list loader calls this from its own
    // thread while the workers may be stopping, so nothing of theirs is called from here.
    jobs.setPaused(b);
    emit s_lock_upload_thread(b);
}

void MyDAO::clearUploadJobs()
{
    jobs.clear();
    retryPending.clear();
    retryFailures.clear();
}

namespace {
int retryFirstMs = MyDAO::kRetryFirstMs;
}

void MyDAO::setRetryFirstMsForTesting(int ms)
{
    retryFirstMs = ms > 0 ? ms : kRetryFirstMs;
}

void MyDAO::scheduleUploadRetry(const UploadFile& job)
{
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(
            this, [this, job]() { scheduleUploadRetry(job); }, Qt::QueuedConnection);
        return;
    }
    const int failures = ++retryFailures[job.file_id];
    const qint64 delay = qMin<qint64>(kRetryCapMs, qint64(retryFirstMs) << qMin(failures - 1, 20));
    const quint64 serial = ++retrySerial;
    retryPending.insert(job.file_id, serial);
    const QString md5 = job.file_md5;
    const int id = job.file_id;
    writeLog(QStringLiteral("file_id: %1, file_md5: %2, %3 秒后自动重试").arg(id).arg(md5).arg(delay / 1000), 1);
    emit s_upload_retry_at(md5, id, QDateTime::currentDateTime().addMSecs(delay));
    QTimer::singleShot(int(delay), this, [this, md5, id, serial]() {
        if (retryPending.value(id) != serial)
            return;
        retryPending.remove(id);
        emit s_start_upload(md5, id);
    });
}

void MyDAO::cancelUploadRetry(int id)
{
    retryPending.remove(id);
}

void MyDAO::removeQueuedJobs(const QString& file_md5, int id)
{
    jobs.removeQueued(file_md5, id);
}

// ---- submission ----

AssetSubmission::Hooks MyDAO::submissionHooks()
{
    AssetSubmission::Hooks hooks;
    // Every submission gets its answer, also an expired session's, so that none stays "under
    // way" for the rest of the run.
    hooks.post = [this](const QByteArray& body, std::function<void(QJsonObject&)> reply) {
        requests->postAnswered(URL_ASSET_SUBMIT, body, reply);
    };
    hooks.uid = [this]() { return uid(); };
    hooks.retire = [this](const AssetFormData& form, int ownerUid) {
        switch (retireSubmittedAsset(form, ownerUid)) {
        case Database::Retire::Retired:
            return AssetSubmission::Hooks::Retire::Retired;
        case Database::Retire::NoRecord:
            return AssetSubmission::Hooks::Retire::NoRecord;
        case Database::Retire::Failed:
            break;
        }
        return AssetSubmission::Hooks::Retire::Failed;
    };
    hooks.submittedUnretired = [this](const AssetFormData& form) { emit s_completed_submit(form.file_md5, form.id); };
    hooks.later = [this](int ms, std::function<void()> fn) { QTimer::singleShot(ms, this, std::move(fn)); };
    hooks.refused = [this](int id, const QString& md5, qint64 loaded, const QString& text) {
        emit s_progress_upload(id, md5, qulonglong(loaded), text, QString());
    };
    return hooks;
}

void MyDAO::saveUploadFile(AssetFormData& form)
{
    submission.submit(form);
}

void MyDAO::submitCompletedUpload(int id)
{
    submission.submitCached(id);
}

void MyDAO::forgetSubmission(QString file_md5, int id)
{
    submission.forget(file_md5, id);
}
