#pragma once

#include "app/OpResult.h"
#include "store/AssetRecords.h"

#include <QList>
#include <QString>
#include <functional>
#include <utility>

class QThread;

// What a store operation reports: success, or failure with the text of the box the user
// sees and its heading. The store never shows the box itself.
struct StoreResult : OpResult
{
    QString title;

    static StoreResult success() { return {}; }
    static StoreResult failure(QString heading, QString text)
    {
        StoreResult result;
        result.ok = false;
        result.message = std::move(text);
        result.title = std::move(heading);
        return result;
    }
};

// The local SQLite store: the connection of the thread that built it, the statements on
// the assets, asset_types and logins tables, and the housekeeping of the working files.
// Everything it needs from outside comes through the three functions given on construction.
class Database
{
public:
    // A message to pass on to the user at once (the operation goes on): text and heading.
    using Notice = std::function<void(const QString& text, const QString& title)>;

    // `filePath`: full path of the database file; `tmpDir`: the working-files folder (ends
    // with "/"); `uid`: the account logged in now (0 before login), read from any thread.
    Database(std::function<QString()> filePath, std::function<QString()> tmpDir, std::function<int()> uid);

    // Whether the main connection was made already (by an earlier open()).
    static bool hasConnection();
    // Opens (or creates) the file and its tables. A damaged file is kept aside under a new
    // name and replaced by an empty database (`notice` hears of it). A failure means the
    // program cannot go on without its store. An existing connection is only opened again.
    StoreResult open(const Notice& notice);
    bool createTables();
    // Removes assets retired more than 7 days ago, with their types.
    void purgeRetiredAssets();
    // Deletes old working files of the tmp directory, then old run logs.
    void cleanWorkFiles(int days);
    void close();

    // The accounts of the last 30 days, newest first, at most 5.
    QList<RecentLogin> recentLogins();
    // Stores a successful login; the new row replaces every older row of the same uid.
    bool saveLogin(const RecentLogin& data, const QString& key1);
    void forgetRememberedKey(const QString& key);
    void clearLogins();

    // Inserts a new asset of the current account; the new id and creation time are written back.
    StoreResult insertAsset(AssetFormData& form);
    // Rewrites the metadata and the types of an existing asset of the current account.
    StoreResult updateAsset(const AssetFormData& form);
    bool loadAsset(int id, AssetFormData& form);
    // The pending assets of the current account (one per MD5, newest first). Safe to call
    // from any thread: another thread reads through a connection of its own.
    QList<AssetFormData> pendingAssets();
    // The id under which the pending list shows the file with this MD5, 0 when it is not listed.
    // Call it on the thread that built the store.
    int pendingAssetWithMd5(const QString& md5);
    // Deletes the asset and its types together; false when nothing could be changed.
    bool deleteAsset(int id, const QString& md5);
    // Writes the job's resume point (and whether it is complete) to its row. Call it on the
    // thread that built the store.
    bool recordProgress(const UploadFile& job);
    // Marks the asset of account `ownerUid` as submitted and lets go of its working file in
    // the tmp directory. NoRecord when no such row exists (deleted meanwhile), Failed when the
    // statement itself failed.
    enum class Retire { Retired, NoRecord, Failed };
    Retire retireSubmittedAsset(const AssetFormData& form, int ownerUid);

private:
    bool looksSound();
    // Renames the damaged file with a time stamp; returns the new name, empty on failure.
    QString moveDamagedAside();

    std::function<QString()> filePath;
    std::function<QString()> tmpDir;
    std::function<int()> uid;
    // The thread of the main connection.
    QThread* home = nullptr;
};
