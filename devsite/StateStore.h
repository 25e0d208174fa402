#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QVariantList>
#include <mutex>

// The site's persistent state in one SQLite file of the state directory: sessions,
// remembered-login keys, uploads, submissions and the author's resources. Every handler
// thread gets its own connection; one mutex keeps statements from interleaving.
class StateStore
{
public:
    struct Upload
    {
        QString saveAs;
        QString fileMd5; // from Session-ID
        QString sessionId;
        QString fileName;
        int uid = 0;
        qint64 total = 0;
        qint64 stored = 0;
        bool complete = false;
        QString md5; // of the assembled file, once complete
    };

    bool open(const QString& stateDir, QString* error);
    QString stateDir() const { return dir; }
    QString uploadDataPath(const QString& saveAs) const;

    // Sessions
    QString createToken(int uid, qint64 ttlSeconds);
    int uidForToken(const QString& token); // 0 when unknown or expired
    void expireAllTokens();
    QString rememberKeyFor(int uid); // creates one on first use
    int uidForRememberKey(const QString& key);

    // Uploads
    bool findUpload(const QString& saveAs, Upload* out);
    void saveUpload(const Upload& u);
    QList<Upload> allUploads();
    bool isCompleteUpload(const QString& saveAs, const QString& fileMd5);

    // Submissions
    void addSubmission(int uid, const QString& fileMd5, const QJsonObject& body);
    QJsonArray allSubmissions();
    bool isSubmittedMd5(const QString& fileMd5);

    // The author's resources (seeded, plus every accepted submission).
    bool hasAssets();
    void insertAsset(const QJsonObject& row);
    QList<QJsonObject> assets(int uid); // uid 0: everybody's
    QJsonObject asset(int itemid);
    int nextAssetId();

    // Files the site already has, by MD5.
    void addKnownMd5(const QString& md5, const QString& itemid, const QString& title);
    QJsonObject knownMd5(const QString& md5); // empty when unknown

    // Runs one statement under the store's lock; returns false on failure.
    bool exec(const QString& sql, const QVariantList& binds = {});

private:
    QSqlDatabase connection();
    bool createSchema(QString* error);

    QString dir;
    QString dbPath;
    std::recursive_mutex mutex;
};
