#pragma once

// The one data-access object of the program. It owns the engine's services and keeps
// the operations and signals the rest of the program uses, most of them forwarding to one:
//   net/RequestClient      requests to the website and reply judging
//   net/Session            uid, token, login, recent logins
//   net/ReferenceData      vtup.json / rule.json, type tables, districts
//   store/Database         the SQLite file, its statements and housekeeping
//   intake/ArchiveTools, TextExtraction, MyFileMd5Thread
//                          archive reading, text extraction, fingerprint
//   upload/UploadJobList   waiting and held upload jobs, form cache
//   form/AssetSubmission   submission of an uploaded asset's metadata
// The forwards that are more than a line live in net/MyDAOServices.cpp.
// Each section below belongs to the service of the same name.

#include "form/AssetSubmission.h"
#include "net/ReferenceData.h"
#include "net/RequestClient.h"
#include "net/Session.h"
#include "store/AssetRecords.h"
#include "store/Database.h"
#include "upload/UploadJobList.h"

#include <QDateTime>
#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QUrlQuery>
#include <functional>
#include <memory>

class QNetworkAccessManager;
class QNetworkRequest;
class QSettings;
class Notifier;

using TEXT_OK_CALLBACK = std::function<void(QString, bool)>;

class MyDAO : public QObject
{
    Q_OBJECT

public:
    static MyDAO* instance();
    ~MyDAO() override;

    // ---- shell: settings, data directory, notifier (net/MyDAO.cpp) ----
    QSettings* settings() const { return settingsStore.get(); }
    // The writable per-user data directory (created on construction).
    static QString dataDir();
    // The data directory's "tmp/" folder.
    static QString tmpDir();
    // The GUI installs its message boxes here before the object is built (its construction
    // may already have something to say); without one, messages only go to the log.
    static void setNotifier(Notifier* n);
    static Notifier* userNotifier();
    // Owns the object for the program's run: built in the constructor, destroyed (database
    // closed) in the destructor. Without one, instance() builds it on first use and it goes
    // with the application object.
    class Lifetime
    {
    public:
        Lifetime();
        ~Lifetime();
        Lifetime(const Lifetime&) = delete;
        Lifetime& operator=(const Lifetime&) = delete;
    };

    // ---- request client (net/RequestClient) ----
    // `deadlineMs`: a shorter overall deadline than every request's own (RequestClient).
    void httpGet(const QString& url, QUrlQuery query, HTTP_CALLBACK callback, QObject* ctx = nullptr,
                 int deadlineMs = 0);
    void httpPost(const QString& url, const QJsonObject& body, HTTP_CALLBACK callback);
    // The same with a body that is already JSON text (keys in the caller's order).
    void httpPost(const QString& url, const QByteArray& json, HTTP_CALLBACK callback);
    void httpGetRaw(const QString& url, RAW_CALLBACK callback);
    // Every request starts from this one (see RequestClient::baseRequest). Safe from any thread.
    QNetworkRequest baseRequest() const;
    QNetworkAccessManager* networkManager() const { return requests->networkManager(); }
    // A transfer that makes no progress for this long ends as a transport failure (30 s).
    static int transferTimeout() { return RequestClient::transferTimeout(); }
    static void setTransferTimeoutForTesting(int ms) { RequestClient::setTransferTimeoutForTesting(ms); }
    // Replies larger than this are cut off and treated as a transport failure.
    static void setReplySizeLimitForTesting(qint64 bytes) { RequestClient::setReplySizeLimitForTesting(bytes); }

    // ---- session (net/Session) ----
    // The logged-in account's uid (0 before login) and session token; readable from any thread.
    int uid() const { return session->uid(); }
    void setUid(int value) { session->setUid(value); }
    QString token() const { return session->token(); }
    void setToken(const QString& value) { session->setToken(value); }
    // The logged-in account: uid, username, avatar address, remember_encrypt_key, team_status.
    const RecentLogin& currentLogin() const { return session->currentLogin(); }
    // Sends the login (LoginFormData lives in net/LoginFormData.h); the session and the
    // logins table are updated before `callback` sees the reply.
    void login(struct LoginFormData& form, HTTP_CALLBACK callback) { session->login(form, callback); }
    // Accounts that logged in lately, newest first, at most 5 (filled by loadRecentLogins()).
    const QList<RecentLogin>& recentLogins() const { return session->recentLogins(); }
    void setRecentLogins(const QList<RecentLogin>& list) { session->setRecentLogins(list); }
    // The setting "LastAutoLoginUID" (0 when absent).
    int autoLoginUid() const { return session->autoLoginUid(); }
    void setAutoLoginUid(int loginUid) { session->setAutoLoginUid(loginUid); }
    void removeAutoLoginUid() { session->removeAutoLoginUid(); }
    // First hardware address of an interface that is up, not loopback and not VMware's.
    static QString machineMac() { return Session::machineMac(); }
    // Website addresses that sign the browser in with the current token (opened by
    // app/SignedInBrowser.h).
    QString signedInUrl(const QString& jump_url = QString()) const { return session->signedInUrl(jump_url); }
    QString downloadManagerUrl(const QString& itemid, const QString& chid) const
    {
        return session->downloadManagerUrl(itemid, chid);
    }

    // ---- reference data (net/ReferenceData) ----
    using AssetTypeEntry = ReferenceData::AssetTypeEntry;
    // Loads both files again; a failure is told through the notifier.
    void parseLocalJSON();
    // Copies of vtup.json and rule.json as loaded at start-up (empty when neither source worked).
    QJsonObject resourceObject() const { return references->resourceObject(); }
    QJsonObject ruleObject() const { return references->ruleObject(); }
    // Root type id -> root name, and type id -> entry.
    const QMap<QString, QString>& typeRootNames() const { return references->typeRootNames(); }
    const QMap<QString, AssetTypeEntry>& assetTypes() const { return references->assetTypes(); }
    // Child regions of `upid`, from the cache or the website; the first form answers
    // through s_set_district, the second through the callback.
    void getDistrictNetData(QString tag, int upid);
    void getDistrictNetData(QString tag, int upid, std::function<void(QJsonArray)> callback)
    {
        references->districts(tag, upid, std::move(callback));
    }
    // Longest wait for one reference file at start-up before the shipped copy is used.
    static int referenceFetchLimitMs() { return ReferenceData::fetchLimitMs(); }
    static void setReferenceFetchLimitMs(int ms) { ReferenceData::setFetchLimitMs(ms); }

    // ---- local database (store/Database, forwards in net/MyDAOServices.cpp) ----
    // Opens (or creates) the database file of the data directory; false when the program
    // cannot go on without it (the user has been told).
    bool openDatabase();
    // Whether the database opened when this object was built; without it the program ends.
    bool databaseReady() const { return databaseOpened; }
    bool createTables();
    void purgeRetiredAssets();
    // Deletes old working files of the tmp directory, then old run logs.
    void cleanWorkFiles(int days);
    void closeDatabase();
    // The accounts of the last 30 days, newest first, at most 5 (also handed to the session).
    QList<RecentLogin> loadRecentLogins();
    // Stores a successful login; the new row replaces every older row of the same uid.
    bool saveLogin(const RecentLogin& data, const QString& key1);
    void forgetRememberedKey(const QString& key);
    // Forgets every account and the automatic login.
    void clearLogins();
    // Inserts a new asset (id 0, the new id is written back) or updates it.
    bool saveAssetForm(AssetFormData& form, bool startUpload);
    bool updateAssetForm(AssetFormData& form, bool startUpload);
    // The id of the asset in the upload list (pending, this account) that has this file, or 0.
    int listedAssetWithMd5(const QString& file_md5);
    // A new asset whose file is in the upload list already: the author is told, the list
    // points at the row that has it (s_listed_duplicate), and true is returned.
    bool refuseListedDuplicate(const AssetFormData& form);
    static QString duplicateRefusedText();
    // Fills `form` from the asset row and its types; false when nothing was found.
    bool loadAsset(int id, AssetFormData& form);
    // The pending assets of the user (one per MD5, newest first), also sent with
    // s_uplist_fromdb. Safe to call from any thread.
    QList<AssetFormData> loadPendingAssets();
    bool deleteAsset(int id, const QString& md5);
    // Records a progress report; may be called from any thread (the work is done on the
    // thread of this object).
    void updateUploadProgress(const UploadFile& job, const QString& rate);
    // Retires the record for the account logged in now, or for `ownerUid`.
    bool retireSubmittedAsset(const AssetFormData& form);
    Database::Retire retireSubmittedAsset(const AssetFormData& form, int ownerUid);
    // Full path of the database file.
    static QString databasePath();

    // ---- archives, text, fingerprint (intake/, forwards in net/MyDAOServices.cpp) ----
    // Tests and lists an archive: (entry lines, true) or (tool output, false), later, on the
    // GUI thread; refusals are announced with s_archive_warning and, when given, to `warned`
    // of this run alone (right before the callback).
    void readArchive(QString archivePath, std::function<void(QString, bool)> callback,
                     std::function<void(QString)> warned = {});
    // Extracts any archive and packs it again as a zip in tmpDir(): (zip path, true) or
    // (error word, false), later; refusals as for readArchive().
    void repackArchive(QString archivePath, TEXT_OK_CALLBACK callback, std::function<void(QString)> warned = {});
    // Plain text of a document from the converter, normalised; empty on any failure.
    void extractText(QString filePath, std::function<void(QString)> callback);
    // MD5 of a file (32 lower-case hex digits, empty when unreadable) computed on a thread.
    void fileMd5(QString filePath, std::function<void(QString)> callback);

    // ---- upload bookkeeping (upload/UploadJobList, forwards in net/MyDAOServices.cpp) ----
    // Queues a job for the workers with status Waiting. A completed job, one already waiting
    // (same id) and one a worker holds are ignored, unless that worker has been told to let go
    // of it: then the job waits until the worker has. Another asset of the same file waits
    // while a worker sends that file.
    void enqueueUpload(UploadFile job);
    // Takes the job out of the queue and hands its status to the worker holding it; that
    // worker still holds the id until its own loop lets go of it.
    void stopUpload(const UploadFile& job);
    // Pauses (true) or resumes (false) every worker.
    void lockUploadThread(bool b);
    void clearUploadJobs();
    // Removes every waiting job with this MD5 or this id from the job list.
    void removeQueuedJobs(const QString& file_md5, int id);
    using TakeResult = UploadJobList::TakeResult;
    // Worker side: lets go of `heldId` (resume point `heldLoaded`) and takes the first waiting
    // job that no other worker holds into `job`; `taken` runs under the job mutex. Never waits
    // for the job mutex: Busy when another thread holds it.
    TakeResult takeUploadJob(int heldId, qint64 heldLoaded, UploadFile& job,
                             const std::function<void(const UploadFile&)>& taken = {})
    {
        return jobs.take(heldId, heldLoaded, job, taken);
    }
    TakeResult takeUploadJob(int heldId, UploadFile& job) { return jobs.take(heldId, -1, job); }
    // The workers' wake-up: see UploadJobList.
    quint64 uploadWakeCount() const { return jobs.wakeCount(); }
    bool waitForUploadWake(quint64 seen, int ms) const { return jobs.waitForWake(seen, ms); }
    void wakeUploadWorkers() { jobs.wakeWorkers(); }
    // Whether every worker is held back by lockUploadThread(true).
    bool uploadsLocked() const { return jobs.paused(); }
    // Lets go of a job id taken by a worker that has stopped.
    void releaseUploadJob(int id) { jobs.release(id); }
    // Every held job is being let go (the workers are stopping): they may be queued again.
    void lettingGoOfHeldUploads() { jobs.lettingGoOfHeld(); }
    // Copies of the waiting jobs and of the ids taken by workers.
    QList<UploadFile> queuedUploads() const { return jobs.queued(); }
    QList<int> uploadsInProgress() const { return jobs.inProgress(); }
    // A job that failed for the network is started again by itself later (s_start_upload),
    // after a delay that grows with each such failure of the job, up to kRetryCapMs; its row
    // hears when through s_upload_retry_at. Any thread; the timer runs on this object's.
    void scheduleUploadRetry(const UploadFile& job);
    // The author started, paused or deleted the row: a retry still pending is dropped.
    void cancelUploadRetry(int id);
    static constexpr int kRetryFirstMs = 15000;
    static constexpr int kRetryCapMs = 5 * 60 * 1000;
    static void setRetryFirstMsForTesting(int ms);
    // Form data of every job started in this run, by asset id (used after the upload).
    void cacheForm(const AssetFormData& form) { jobs.cacheForm(form); }
    bool hasCachedForm(int id) const { return jobs.hasCachedForm(id); }
    AssetFormData cachedForm(int id) const { return jobs.cachedForm(id); }
    void clearFormCache() { jobs.clearFormCache(); }

    // ---- submission (form/AssetSubmission, forwards in net/MyDAOServices.cpp) ----
    // Sends the metadata of an uploaded asset to the site. Accepted: the record is retired
    // (s_completed_submit); refused: the reason goes to its row through s_progress_upload and
    // the record stays, so that starting the row again sends the submission again. One
    // submission per record is in flight at a time.
    void saveUploadFile(AssetFormData& form);
    // The answer to s_completed_upload: submits the cached form of `id`, if there is one.
    void submitCompletedUpload(int id);
    bool isSubmitting(int id) const { return submission.isSubmitting(id); }

signals:
    void s_set_district(QString tag, QJsonArray& data);
    void s_submit_fileform_ok(AssetFormData& form);
    void s_progress_upload(int file_id, QString file_md5, qulonglong file_size_loaded, QString file_status_msg,
                           QString upload_rate);
    void s_stop_upload(UploadFile job);
    void s_completed_upload(int id);
    void s_completed_submit(QString file_md5, int id);
    void s_archive_warning(QString text);
    void s_delete_item(QString file_md5, int id);
    void s_start_upload(QString file_md5, int id);
    void s_lock_upload_thread(bool lock);
    void s_uplist_fromdb(QList<AssetFormData> list);
    void s_session_invalid(QString msg);
    // Routes a reply to the widget that asked for it; a widget that is gone has no
    // connection any more, so its callback is dropped.
    void s_exec_callback(HTTP_CALLBACK cb, QJsonObject obj, QObject* ctx);
    void s_show_or_edit(int id, bool is_show);
    void frm_update_progress_item(AssetFormData& form);
    // The job of this row failed for the network and will be started again at `when`.
    void s_upload_retry_at(QString file_md5, int id, QDateTime when);
    // A file was not added because this row has it already.
    void s_listed_duplicate(QString file_md5, int id);

private:
    // A refusal from an archive run: to the asking form (when it asked) and as s_archive_warning.
    std::function<void(const QString&)> archiveWarner(std::function<void(QString)> warned);
    explicit MyDAO(QObject* parent = nullptr);

    // The services it owns; the destructor ends the request client (and its pending replies)
    // first.
    std::unique_ptr<QSettings> settingsStore;
    std::unique_ptr<ReferenceData> references;
    std::unique_ptr<Session> session;
    std::unique_ptr<RequestClient> requests;

    // ---- local database (store/Database) ----
    Database store { &MyDAO::databasePath, &MyDAO::tmpDir, [this]() { return uid(); } };
    bool databaseOpened = false;

    // ---- upload bookkeeping (upload/UploadJobList) ----
    UploadJobList jobs;

    // Retries after network failures: failures so far and the pending retry's number, by id.
    QHash<int, int> retryFailures;
    QHash<int, quint64> retryPending;
    quint64 retrySerial = 0;

    // ---- submission (form/AssetSubmission) ----
    // A deleted record's cached form goes, so that a late reply finds nothing to retire.
    void forgetSubmission(QString file_md5, int id);
    AssetSubmission submission { jobs, submissionHooks() };
    AssetSubmission::Hooks submissionHooks();
};
