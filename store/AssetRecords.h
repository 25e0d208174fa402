#pragma once

#include <QList>
#include <QMetaType>
#include <QString>

// One chosen resource type of an asset (stored in the asset_types table).
struct AssetTypeItem
{
    QString title;
    int typeid_ = 0;
    int typeidroot = 0;
};

// One asset: its metadata together with the facts of its local file.
struct AssetFormData
{
    int id = 0;
    QString subject;
    QList<AssetTypeItem> types;
    int flag = 6;
    int xueduanid = 0;
    int chid = 0;
    int catid = 0;
    int versionid = 0;
    int bookversionid = 0;
    QString catname_path;
    QString catpath;
    int copyrighttype = 0;
    int fitprovince = -1;
    int fitcity = 0;
    int fitdist = 0;
    QString fitname;
    int stars = 0;
    qint64 created_time = 0;
    bool is_filling = false;
    bool is_uploaded = false;
    QString file_path;
    QString file_name;
    QString file_dir;
    QString file_icon;
    QString file_md5;
    qint64 file_size = 0;
    qint64 file_size_loaded = 0;
    QString file_text;
};

// The status of an upload job (UploadFile::file_status). The numbers are what the rows, the
// workers and the job list have always exchanged; they must not change.
namespace UploadStatus {
enum Value : int {
    Unfilled = 0, // a row whose form was never finished: not meant for upload
    Idle = 1, // not queued: a new row, or paused by the user
    Waiting = 2, // in the job list, waiting for a worker
    Uploading = 3, // a worker is sending its pieces
    Failed = 4, // the worker or the row gave up; file_status_msg says why
    Removed = 5, // deleted by the user while a worker held it
    Completed = 6, // every byte is on the site
};
} // namespace UploadStatus

// One upload job. Sizes are 64-bit: files of 2 GiB and more must upload correctly.
struct UploadFile
{
    QString file_md5;
    QString file_name;
    int file_id = 0;
    qint64 file_size = 0;
    qint64 file_size_loaded = 0;
    qint64 chunk_size = 1048576;
    QString file_path;
    qint64 created_time = 0;
    int file_status = UploadStatus::Idle;
    QString file_status_msg;

    // Jobs are the same job when they carry the same file.
    bool operator==(const UploadFile& other) const { return file_md5 == other.file_md5; }
    bool operator!=(const UploadFile& other) const { return !(*this == other); }
};

// A file's full path from its folder and name; no "/" is added when the folder already
// ends with one.
QString buildFilePath(const QString& dir, const QString& name);

// The name under which the upload service stores a file and under which the submission
// names it: "yyyy/MM/dd/vudedudiv" + yyyyMMdd + MD5 + "_uid_id_5_tool." + suffix, the date
// being `createdTime` in local time and the suffix the text after the last dot of the file
// name. The pieces' Save-As header and the submission's "uploadurl" both come from here,
// so the site always finds the bytes the submission names.
QString saveAsName(const QString& filePath, const QString& fileMd5, qint64 createdTime, int id, int uid);

// The records travel in queued signals between threads; registration is idempotent.
void registerRecordMetaTypes();

// An account that logged in on this machine; also the record of the current session.
struct RecentLogin
{
    int uid = 0;
    QString username;
    QString avatar;
    QString remember_encrypt_key;
    bool team_status = false;
    bool auto_login = false;
};

Q_DECLARE_METATYPE(AssetFormData)
Q_DECLARE_METATYPE(QList<AssetFormData>)
Q_DECLARE_METATYPE(UploadFile)
Q_DECLARE_METATYPE(RecentLogin)
