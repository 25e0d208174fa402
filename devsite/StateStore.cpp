#include "StateStore.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QSqlError>
#include <QSqlQuery>
#include <atomic>

namespace {

QString randomHex(int bytes)
{
    QByteArray raw(bytes, '\0');
    for (int i = 0; i < bytes; ++i)
        raw[i] = char(QRandomGenerator::system()->bounded(256));
    return QString::fromLatin1(raw.toHex());
}

qint64 nowSeconds()
{
    return QDateTime::currentSecsSinceEpoch();
}

} // namespace

bool StateStore::open(const QString& stateDir, QString* error)
{
    dir = QDir(stateDir).absolutePath();
    if (!QDir().mkpath(dir + "/uploads")) {
        *error = "cannot create " + dir + "/uploads";
        return false;
    }
    dbPath = dir + "/devsite.sqlite";
    return createSchema(error);
}

QString StateStore::uploadDataPath(const QString& saveAs) const
{
    // Save-As names carry slashes and the client's suffix; a digest keeps them out of the path.
    const QByteArray key = QCryptographicHash::hash(saveAs.toUtf8(), QCryptographicHash::Md5).toHex();
    return dir + "/uploads/" + QString::fromLatin1(key) + ".part";
}

QSqlDatabase StateStore::connection()
{
    static std::atomic<int> counter { 0 };
    thread_local QString name;
    if (name.isEmpty()) {
        name = QString("devsite-%1").arg(++counter);
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", name);
        db.setDatabaseName(dbPath);
        db.open();
        QSqlQuery q(db);
        q.exec("PRAGMA busy_timeout = 10000");
        q.exec("PRAGMA journal_mode = WAL");
        q.exec("PRAGMA synchronous = NORMAL");
    }
    return QSqlDatabase::database(name, false);
}

bool StateStore::exec(const QString& sql, const QVariantList& binds)
{
    std::lock_guard<std::recursive_mutex> lock(mutex);
    QSqlQuery q(connection());
    if (!q.prepare(sql))
        return false;
    for (const QVariant& v : binds)
        q.addBindValue(v);
    return q.exec();
}

bool StateStore::createSchema(QString* error)
{
    const char* statements[] = {
        "CREATE TABLE IF NOT EXISTS sessions (token TEXT PRIMARY KEY, uid INTEGER NOT NULL, expires INTEGER NOT NULL)",
        "CREATE TABLE IF NOT EXISTS remember_keys (rkey TEXT PRIMARY KEY, uid INTEGER NOT NULL UNIQUE)",
        "CREATE TABLE IF NOT EXISTS uploads (save_as TEXT PRIMARY KEY, file_md5 TEXT, session_id TEXT, file_name TEXT,"
        " uid INTEGER, total INTEGER, stored INTEGER, complete INTEGER, md5 TEXT)",
        "CREATE TABLE IF NOT EXISTS submissions (id INTEGER PRIMARY KEY AUTOINCREMENT, uid INTEGER, file_md5 TEXT,"
        " body TEXT, created INTEGER)",
        "CREATE TABLE IF NOT EXISTS assets (itemid INTEGER PRIMARY KEY, uid INTEGER, row TEXT)",
        "CREATE TABLE IF NOT EXISTS known_md5 (md5 TEXT PRIMARY KEY, itemid TEXT, title TEXT)",
    };
    std::lock_guard<std::recursive_mutex> lock(mutex);
    QSqlDatabase db = connection();
    if (!db.isOpen()) {
        *error = "cannot open " + dbPath + ": " + db.lastError().text();
        return false;
    }
    for (const char* s : statements) {
        QSqlQuery q(db);
        if (!q.exec(QString::fromLatin1(s))) {
            *error = q.lastError().text();
            return false;
        }
    }
    return true;
}

QString StateStore::createToken(int uid, qint64 ttlSeconds)
{
    const QString token = randomHex(20);
    exec("INSERT INTO sessions (token, uid, expires) VALUES (?, ?, ?)", { token, uid, nowSeconds() + ttlSeconds });
    return token;
}

int StateStore::uidForToken(const QString& token)
{
    if (token.isEmpty())
        return 0;
    std::lock_guard<std::recursive_mutex> lock(mutex);
    QSqlQuery q(connection());
    q.prepare("SELECT uid FROM sessions WHERE token = ? AND expires > ?");
    q.addBindValue(token);
    q.addBindValue(nowSeconds());
    if (q.exec() && q.next())
        return q.value(0).toInt();
    return 0;
}

void StateStore::expireAllTokens()
{
    exec("UPDATE sessions SET expires = ?", { nowSeconds() - 1 });
}

QString StateStore::rememberKeyFor(int uid)
{
    std::lock_guard<std::recursive_mutex> lock(mutex);
    QSqlQuery q(connection());
    q.prepare("SELECT rkey FROM remember_keys WHERE uid = ?");
    q.addBindValue(uid);
    if (q.exec() && q.next())
        return q.value(0).toString();
    const QString key = randomHex(24);
    exec("INSERT INTO remember_keys (rkey, uid) VALUES (?, ?)", { key, uid });
    return key;
}

int StateStore::uidForRememberKey(const QString& key)
{
    if (key.isEmpty())
        return 0;
    std::lock_guard<std::recursive_mutex> lock(mutex);
    QSqlQuery q(connection());
    q.prepare("SELECT uid FROM remember_keys WHERE rkey = ?");
    q.addBindValue(key);
    if (q.exec() && q.next())
        return q.value(0).toInt();
    return 0;
}

namespace {

StateStore::Upload uploadFrom(const QSqlQuery& q)
{
    StateStore::Upload u;
    u.saveAs = q.value(0).toString();
    u.fileMd5 = q.value(1).toString();
    u.sessionId = q.value(2).toString();
    u.fileName = q.value(3).toString();
    u.uid = q.value(4).toInt();
    u.total = q.value(5).toLongLong();
    u.stored = q.value(6).toLongLong();
    u.complete = q.value(7).toInt() != 0;
    u.md5 = q.value(8).toString();
    return u;
}

const char* uploadColumns = "save_as, file_md5, session_id, file_name, uid, total, stored, complete, md5";

} // namespace

bool StateStore::findUpload(const QString& saveAs, Upload* out)
{
    std::lock_guard<std::recursive_mutex> lock(mutex);
    QSqlQuery q(connection());
    q.prepare(QString("SELECT %1 FROM uploads WHERE save_as = ?").arg(uploadColumns));
    q.addBindValue(saveAs);
    if (q.exec() && q.next()) {
        *out = uploadFrom(q);
        return true;
    }
    return false;
}

void StateStore::saveUpload(const Upload& u)
{
    exec(QString("INSERT OR REPLACE INTO uploads (%1) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)").arg(uploadColumns),
         { u.saveAs, u.fileMd5, u.sessionId, u.fileName, u.uid, u.total, u.stored, u.complete ? 1 : 0, u.md5 });
}

QList<StateStore::Upload> StateStore::allUploads()
{
    std::lock_guard<std::recursive_mutex> lock(mutex);
    QList<Upload> list;
    QSqlQuery q(connection());
    if (q.exec(QString("SELECT %1 FROM uploads ORDER BY rowid").arg(uploadColumns))) {
        while (q.next())
            list.append(uploadFrom(q));
    }
    return list;
}

bool StateStore::isCompleteUpload(const QString& saveAs, const QString& fileMd5)
{
    Upload u;
    return findUpload(saveAs, &u) && u.complete && u.md5 == fileMd5;
}

void StateStore::addSubmission(int uid, const QString& fileMd5, const QJsonObject& body)
{
    exec("INSERT INTO submissions (uid, file_md5, body, created) VALUES (?, ?, ?, ?)",
         { uid, fileMd5, QString::fromUtf8(QJsonDocument(body).toJson(QJsonDocument::Compact)), nowSeconds() });
}

QJsonArray StateStore::allSubmissions()
{
    std::lock_guard<std::recursive_mutex> lock(mutex);
    QJsonArray list;
    QSqlQuery q(connection());
    if (q.exec("SELECT body FROM submissions ORDER BY id")) {
        while (q.next())
            list.append(QJsonDocument::fromJson(q.value(0).toString().toUtf8()).object());
    }
    return list;
}

bool StateStore::isSubmittedMd5(const QString& fileMd5)
{
    std::lock_guard<std::recursive_mutex> lock(mutex);
    QSqlQuery q(connection());
    q.prepare("SELECT 1 FROM submissions WHERE file_md5 = ?");
    q.addBindValue(fileMd5);
    return q.exec() && q.next();
}

bool StateStore::hasAssets()
{
    std::lock_guard<std::recursive_mutex> lock(mutex);
    QSqlQuery q(connection());
    return q.exec("SELECT 1 FROM assets LIMIT 1") && q.next();
}

void StateStore::insertAsset(const QJsonObject& row)
{
    exec("INSERT OR REPLACE INTO assets (itemid, uid, row) VALUES (?, ?, ?)",
         { row.value("itemid").toString().toInt(), row.value("uid").toInt(),
           QString::fromUtf8(QJsonDocument(row).toJson(QJsonDocument::Compact)) });
}

QList<QJsonObject> StateStore::assets(int uid)
{
    std::lock_guard<std::recursive_mutex> lock(mutex);
    QList<QJsonObject> list;
    QSqlQuery q(connection());
    q.prepare("SELECT row FROM assets WHERE uid = ? OR ? = 0 ORDER BY itemid DESC");
    q.addBindValue(uid);
    q.addBindValue(uid);
    if (q.exec()) {
        while (q.next())
            list.append(QJsonDocument::fromJson(q.value(0).toString().toUtf8()).object());
    }
    return list;
}

QJsonObject StateStore::asset(int itemid)
{
    std::lock_guard<std::recursive_mutex> lock(mutex);
    QSqlQuery q(connection());
    q.prepare("SELECT row FROM assets WHERE itemid = ?");
    q.addBindValue(itemid);
    if (q.exec() && q.next())
        return QJsonDocument::fromJson(q.value(0).toString().toUtf8()).object();
    return {};
}

int StateStore::nextAssetId()
{
    std::lock_guard<std::recursive_mutex> lock(mutex);
    QSqlQuery q(connection());
    if (q.exec("SELECT COALESCE(MAX(itemid), 0) + 1 FROM assets") && q.next())
        return q.value(0).toInt();
    return 1;
}

void StateStore::addKnownMd5(const QString& md5, const QString& itemid, const QString& title)
{
    exec("INSERT OR REPLACE INTO known_md5 (md5, itemid, title) VALUES (?, ?, ?)", { md5, itemid, title });
}

QJsonObject StateStore::knownMd5(const QString& md5)
{
    std::lock_guard<std::recursive_mutex> lock(mutex);
    QSqlQuery q(connection());
    q.prepare("SELECT itemid, title FROM known_md5 WHERE md5 = ?");
    q.addBindValue(md5);
    if (q.exec() && q.next())
        return QJsonObject { { "itemid", q.value(0).toString() }, { "title", q.value(1).toString() } };
    return {};
}
