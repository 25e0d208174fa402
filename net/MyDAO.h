#pragma once

// The one data-access object of the program: settings store, request client, session,
// local database, reference data and the upload bookkeeping all hang off it.
//
// The class is large because everything talks to the website and the local store through
// it; its implementation is split by subsystem:
//   net/MyDAO.cpp          construction, request client, reply judging
//   net/Login.cpp          login request and session
//   net/ReferenceData.cpp  vtup.json / rule.json, type tables, districts
//   store/Database.cpp     the SQLite statements and housekeeping
//   intake/*.cpp           archive reading, text extraction, fingerprint
//   upload/UploadJobs.cpp  job list, form cache
// Each section below belongs to the file of the same subsystem.

#include "store/AssetRecords.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QObject>
#include <QSqlDatabase>
#include <QString>
#include <QUrlQuery>

#include <functional>

class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;
class QSettings;
class Notifier;

using HTTP_CALLBACK = std::function<void(QJsonObject&)>;
using RAW_CALLBACK = std::function<void(QByteArray)>;
using TEXT_OK_CALLBACK = std::function<void(QString, bool)>;

class MyDAO : public QObject
{
    Q_OBJECT

public:
    static MyDAO* instance();
    ~MyDAO() override;

    // ---- shell: settings, data directory, notifier (net/MyDAO.cpp) ----
    QSettings* settings() const { return settingsStore; }
    // The writable per-user data directory (created on construction).
    static QString dataDir();
    // The data directory's "tmp/" folder.
    static QString tmpDir();
    // The GUI installs its message boxes here before the object is built (its construction
    // may already have something to say); without one, messages only go to the log.
    static void setNotifier(Notifier* n);
    static Notifier* userNotifier();

    // ---- request client (net/MyDAO.cpp) ----
    void httpGet(const QString& url, QUrlQuery query, HTTP_CALLBACK callback, QObject* ctx = nullptr);
    void httpPost(const QString& url, const QJsonObject& body, HTTP_CALLBACK callback);
    void httpGetRaw(const QString& url, RAW_CALLBACK callback);
    QNetworkRequest baseRequest() const;
    QNetworkAccessManager* networkManager() const { return manager; }

    // ---- session (net/Login.cpp) ----
    int uid = 0;
    QString token;

    // ---- reference data (net/ReferenceData.cpp) ----
    void parseLocalJSON();

    // ---- local database (store/Database.cpp) ----
    bool openDatabase();
    void purgeRetiredAssets();
    void cleanWorkFiles(int days);
    void closeDatabase();

    // ---- archives, text, fingerprint (intake/) ----

    // ---- upload bookkeeping (upload/UploadJobs.cpp) ----
    // Removes every waiting job with this MD5 or this id from the job list.
    void removeQueuedJobs(const QString& file_md5, int id);

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

private:
    explicit MyDAO(QObject* parent = nullptr);

    QSettings* settingsStore = nullptr;
    QNetworkAccessManager* manager = nullptr;

    // ---- private state, by subsystem ----
};
