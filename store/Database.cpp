#include "store/Database.h"

#include "app/Clock.h"
#include "app/RunLog.h"

#include <QAtomicInt>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSettings>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QThread>
#include <QVariant>
#include <utility>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

const char* const CONNECTION_NAME = "sqlite3Connection";
const qint64 RETIRED_KEEP_SECS = 604800;
const qint64 RECENT_LOGIN_SECS = 30 * 86400;
const int TEMPFILE_KEEP_DAYS = 7;
const int LOG_KEEP_DAYS = 15;

const char* const CREATE_ASSET_TYPES
    = "CREATE TABLE asset_types (id INTEGER PRIMARY KEY AUTOINCREMENT UNIQUE NOT NULL, typeid INTEGER, typeidroot "
      "INTEGER, asset_id INTEGER REFERENCES assets (id), title VARCHAR)";
const char* const CREATE_ASSETS
    = "CREATE TABLE assets (id INTEGER PRIMARY KEY AUTOINCREMENT UNIQUE NOT NULL, uid INTEGER, xueduanid INTEGER (1), "
      "chid INTEGER (2), subject VARCHAR (128), created_time INTEGER, updated_time INTEGER, flag INTEGER (1), catid "
      "INTEGER, catpath VARCHAR, catname_path VARCHAR, stars INTEGER (2), fitprovince INTEGER, fitcity INTEGER, "
      "fitdist INTEGER, fitname VARCHAR(40), copyrighttype INTEGER (1), is_filling INTEGER (1) DEFAULT (0), "
      "is_uploaded INTEGER (1) DEFAULT (0), file_icon VARCHAR (10), file_size INTEGER DEFAULT (0), file_size_loaded "
      "INTEGER DEFAULT (0), file_dir VARCHAR, file_name VARCHAR, file_md5 VARCHAR, file_text TEXT, bookversionid "
      "INTEGER DEFAULT (0), deleted_time INTEGER, versionid INTEGER DEFAULT (0))";
const char* const CREATE_LOGINS
    = "CREATE TABLE logins (id INTEGER PRIMARY KEY AUTOINCREMENT UNIQUE NOT NULL, uid INTEGER, username VARCHAR NOT "
      "NULL, avatar VARCHAR, login_time INTEGER, remember_encrypt_key_1 VARCHAR, remember_encrypt_key VARCHAR, "
      "auto_login INTEGER DEFAULT (0))";

const char* const INSERT_TYPE
    = "INSERT INTO asset_types (typeid, typeidroot,title,asset_id) VALUES (:typeid, :typeidroot, :title, :asset_id)";

QSqlDatabase mainConnection()
{
    return QSqlDatabase::database(CONNECTION_NAME, false);
}

// The statement as the driver ran it, for the error reports.
QString statementText(const QSqlQuery& query)
{
    QString text = query.executedQuery();
    return text.isEmpty() ? query.lastQuery() : text;
}

// Creates the file user-only before SQLite touches it: it holds remembered-login keys.
void makeUserOnly(const QString& path)
{
#ifdef Q_OS_UNIX
    const QByteArray native = QFile::encodeName(path);
    int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (fd >= 0) {
        ::fchmod(fd, S_IRUSR | S_IWUSR);
        ::close(fd);
    }
#else
    if (!QFile::exists(path)) {
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.close();
    }
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
#endif
}

// Whole days between a file's creation (its last change where no birth time is kept) and now.
qint64 ageInDays(const QFileInfo& info, qint64 nowSecs)
{
    QDateTime created = info.birthTime();
    if (!created.isValid())
        created = info.lastModified();
    return (nowSecs - created.toSecsSinceEpoch()) / 86400;
}

// The program cannot go on without its store.
StoreResult cannotOpen()
{
    return StoreResult::failure("提示", "打开失败，请联系客服！");
}

AssetTypeItem typeFromRecord(const QSqlQuery& query)
{
    AssetTypeItem item;
    item.typeid_ = query.value("typeid").toInt();
    item.typeidroot = query.value("typeidroot").toInt();
    item.title = query.value("title").toString();
    return item;
}

// The metadata and file columns of an asset row. The pending list reads the textbook version
// and the region name too: a restored row is submitted with them after its upload.
void readAssetColumns(const QSqlQuery& query, AssetFormData& form)
{
    form.subject = query.value("subject").toString();
    form.flag = query.value("flag").toInt();
    form.xueduanid = query.value("xueduanid").toInt();
    form.created_time = query.value("created_time").toLongLong();
    form.chid = query.value("chid").toInt();
    form.catid = query.value("catid").toInt();
    form.versionid = query.value("versionid").toInt();
    form.bookversionid = query.value("bookversionid").toInt();
    form.catname_path = query.value("catname_path").toString();
    form.catpath = query.value("catpath").toString();
    form.copyrighttype = query.value("copyrighttype").toInt();
    form.fitprovince = query.value("fitprovince").toInt();
    form.fitcity = query.value("fitcity").toInt();
    form.fitdist = query.value("fitdist").toInt();
    form.fitname = query.value("fitname").toString();
    form.stars = query.value("stars").toInt();
    form.file_name = query.value("file_name").toString();
    form.file_dir = query.value("file_dir").toString();
    form.file_path = buildFilePath(form.file_dir, form.file_name);
    form.file_icon = query.value("file_icon").toString();
    form.file_md5 = query.value("file_md5").toString();
    form.file_size = query.value("file_size").toLongLong();
    form.file_text = query.value("file_text").toString();
}

// The rows of the pending list: the account's records still being filled in and not deleted.
const char* const PENDING_ROWS = "is_filling=1 AND deleted_time is NULL AND uid=:uid";

// Runs the pending-list queries on `db`, which must belong to the calling thread.
QList<AssetFormData> readPendingAssets(QSqlDatabase db, int uid)
{
    QList<AssetFormData> list;
    QHash<int, QList<AssetTypeItem>> typesOf;
    QSqlQuery types(db);
    if (types.exec("SELECT * FROM asset_types")) {
        while (types.next())
            typesOf[types.value("asset_id").toInt()].append(typeFromRecord(types));
    }

    QSqlQuery query(db);
    // A plain GROUP BY keeps an arbitrary row of each MD5 (SQLite takes the oldest); with
    // MAX(id) the bare columns come from the newest row, which is the one to resume.
    query.prepare(
        QString("SELECT *, MAX(id) FROM assets WHERE %1 GROUP BY file_md5 ORDER BY id DESC").arg(PENDING_ROWS));
    query.bindValue(":uid", uid);
    if (!query.exec())
        return list;
    while (query.next()) {
        AssetFormData form;
        form.id = query.value("id").toInt();
        readAssetColumns(query, form);
        form.file_size_loaded = query.value("file_size_loaded").toLongLong();
        form.is_filling = query.value("is_filling").toInt() != 0;
        form.is_uploaded = query.value("is_uploaded").toInt() != 0;
        form.types = typesOf.value(form.id);
        list.append(form);
    }
    return list;
}

} // namespace

Database::Database(std::function<QString()> filePath, std::function<QString()> tmpDir, std::function<int()> uid)
    : filePath(std::move(filePath))
    , tmpDir(std::move(tmpDir))
    , uid(std::move(uid))
    , home(QThread::currentThread())
{
}

bool Database::hasConnection()
{
    return QSqlDatabase::contains(CONNECTION_NAME);
}

StoreResult Database::open(const Notice& notice)
{
    registerRecordMetaTypes();
    if (hasConnection()) {
        QSqlDatabase db = mainConnection();
        return db.isOpen() || db.open() ? StoreResult::success() : StoreResult::failure(QString(), QString());
    }

    const QString path = filePath();
    QDir().mkpath(QFileInfo(path).path());
    makeUserOnly(path);
    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", CONNECTION_NAME);
    db.setDatabaseName(path);
    bool opened = db.open();
    if (opened && !looksSound()) {
        // Keep the damaged file for support and carry on with an empty database.
        db.close();
        const QString keptAs = moveDamagedAside();
        opened = false;
        if (!keptAs.isEmpty()) {
            makeUserOnly(path);
            opened = db.open();
        }
        if (opened) {
            writeLog(QString("本地数据库已损坏，已另存为 %1").arg(keptAs));
            if (notice)
                notice(QString("本地数据库文件已损坏，已另存为：\n%1\n将使用新的数据库。").arg(keptAs), "提示");
        }
    }
    if (!opened) {
        writeLog(QString("数据库打开失败: %1").arg(db.lastError().text()));
        return cannotOpen();
    }
    if (db.tables().isEmpty() && !createTables())
        return cannotOpen();
    // Every piece of an upload writes its resume point. With a write-ahead log a commit is one
    // append and no flush to the disk: a killed program still keeps it, a power cut may lose the
    // last few but leaves the file whole. (Where the log cannot be used, the file keeps its mode.)
    QSqlQuery mode(db);
    if (!mode.exec("PRAGMA journal_mode=WAL") || !mode.exec("PRAGMA synchronous=NORMAL"))
        writeLog(QString("数据库日志模式未能设置: %1").arg(mode.lastError().text()));
    return StoreResult::success();
}

bool Database::looksSound()
{
    QSqlQuery check(mainConnection());
    if (check.exec("PRAGMA quick_check") && check.next())
        return check.value(0).toString() == "ok";
    // Only "corrupt" (11) and "not a database" (26) say the file is bad; a busy or locked file
    // is no reason to put the user's data aside.
    const QString code = check.lastError().nativeErrorCode();
    return code != "11" && code != "26";
}

QString Database::moveDamagedAside()
{
    const QString path = filePath();
    const QString keptAs = path + "." + Clock::now().toString("yyyyMMddHHmmss") + ".damaged";
    // A journal left beside the old file must not be played into the new one.
    for (const QString& extra : { QString("-journal"), QString("-wal"), QString("-shm") }) {
        if (QFile::exists(path + extra))
            QFile::rename(path + extra, keptAs + extra);
    }
    return QFile::rename(path, keptAs) ? keptAs : QString();
}

bool Database::createTables()
{
    QSqlDatabase db = mainConnection();
    if (!db.transaction())
        return false;
    QSqlQuery query(db);
    for (const char* statement : { CREATE_ASSET_TYPES, CREATE_ASSETS, CREATE_LOGINS }) {
        if (!query.exec(statement)) {
            writeLog(query.lastError().text() + "\r\n" + statement);
            db.rollback();
            return false;
        }
    }
    if (db.commit())
        return true;
    db.rollback();
    return false;
}

void Database::purgeRetiredAssets()
{
    QSqlDatabase db = mainConnection();
    const qint64 expires = Clock::nowSecs() - RETIRED_KEEP_SECS;
    QSqlQuery select(db);
    select.prepare("SELECT id FROM assets WHERE deleted_time < :expires AND deleted_time IS NOT NULL ");
    select.bindValue(":expires", expires);
    if (!select.exec())
        return;
    QList<int> ids;
    while (select.next())
        ids.append(select.value(0).toInt());
    select.finish();
    if (ids.isEmpty())
        return;

    // Types and assets go together: when the types cannot be removed the assets stay too, so
    // the next start finds them again instead of leaving orphaned type rows behind.
    if (!db.transaction())
        return;
    QSqlQuery types(db);
    types.prepare("DELETE FROM asset_types WHERE asset_id=:asset_id");
    for (int id : qAsConst(ids)) {
        types.bindValue(":asset_id", id);
        if (!types.exec()) {
            db.rollback();
            return;
        }
    }
    QSqlQuery assets(db);
    assets.prepare("DELETE FROM assets WHERE deleted_time < :expires AND deleted_time IS NOT NULL");
    assets.bindValue(":expires", expires);
    if (!assets.exec() || !db.commit())
        db.rollback();
}

void Database::cleanWorkFiles(int days)
{
    const QString tmp = tmpDir();
    const qint64 now = Clock::nowSecs();
    QDir dir(tmp);
    const QFileInfoList entries
        = dir.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::NoSort);
    for (const QFileInfo& entry : entries) {
        const qint64 age = ageInDays(entry, now);
        const int limit = entry.fileName().endsWith(".tempfile") ? TEMPFILE_KEEP_DAYS : days;
        if (age > limit)
            QFile::remove(dir.filePath(entry.fileName())); // directories stay
    }
    purgeOldLogs(LOG_KEEP_DAYS);
}

void Database::close()
{
    if (!hasConnection())
        return;
    QSqlDatabase db = mainConnection();
    if (db.isOpen())
        db.close();
}

QList<RecentLogin> Database::recentLogins()
{
    QList<RecentLogin> list;
    QSqlQuery query(mainConnection());
    query.prepare("SELECT *,  MAX(login_time) FROM logins WHERE login_time > :login_time GROUP BY username ORDER BY "
                  "login_time DESC LIMIT 5");
    query.bindValue(":login_time", Clock::nowSecs() - RECENT_LOGIN_SECS);
    if (query.exec()) {
        while (query.next()) {
            RecentLogin login;
            login.uid = query.value("uid").toInt();
            login.username = query.value("username").toString();
            login.avatar = query.value("avatar").toString();
            login.remember_encrypt_key = query.value("remember_encrypt_key").toString();
            login.team_status = false;
            login.auto_login = query.value("auto_login").toInt() != 0;
            list.append(login);
        }
    }
    return list;
}

bool Database::saveLogin(const RecentLogin& data, const QString& key1)
{
    QSqlDatabase db = mainConnection();
    QSqlQuery insert(db);
    insert.prepare("INSERT INTO logins (uid, username, avatar, login_time, remember_encrypt_key_1, "
                   "remember_encrypt_key) VALUES (:uid, :username, :avatar, :login_time, :remember_encrypt_key_1, "
                   ":remember_encrypt_key)");
    insert.bindValue(":uid", data.uid);
    insert.bindValue(":username", data.username);
    insert.bindValue(":avatar", data.avatar);
    insert.bindValue(":login_time", Clock::nowSecs());
    insert.bindValue(":remember_encrypt_key_1", key1);
    insert.bindValue(":remember_encrypt_key", data.remember_encrypt_key);
    if (!insert.exec())
        return false;
    const QVariant id = insert.lastInsertId();
    if (!id.isValid())
        return false;
    QSqlQuery older(db);
    older.prepare("DELETE FROM logins WHERE id!=:id AND uid=:uid");
    older.bindValue(":id", id);
    older.bindValue(":uid", data.uid);
    return older.exec();
}

void Database::forgetRememberedKey(const QString& key)
{
    QSqlQuery query(mainConnection());
    query.prepare("UPDATE logins SET remember_encrypt_key=NULL, remember_encrypt_key_1=NULL, auto_login=0 WHERE "
                  "remember_encrypt_key=:remember_encrypt_key");
    query.bindValue(":remember_encrypt_key", key);
    query.exec();
}

void Database::clearLogins()
{
    QSqlQuery query(mainConnection());
    query.exec("DELETE FROM logins");
}

namespace {

void bindFormFields(QSqlQuery& query, const AssetFormData& form)
{
    query.bindValue(":xueduanid", form.xueduanid);
    query.bindValue(":chid", form.chid);
    query.bindValue(":subject", form.subject);
    query.bindValue(":flag", form.flag);
    query.bindValue(":catid", form.catid);
    query.bindValue(":catpath", form.catpath);
    query.bindValue(":catname_path", form.catname_path);
    query.bindValue(":stars", form.stars);
    query.bindValue(":fitprovince", form.fitprovince);
    query.bindValue(":fitcity", form.fitcity);
    query.bindValue(":fitdist", form.fitdist);
    query.bindValue(":fitname", form.fitname);
    query.bindValue(":copyrighttype", form.copyrighttype);
    query.bindValue(":versionid", form.versionid);
    query.bindValue(":bookversionid", form.bookversionid);
}

// Inserts the form's types; on failure returns the text of error 3.
bool insertTypes(QSqlDatabase db, const AssetFormData& form, QString* error)
{
    QSqlQuery query(db);
    query.prepare(INSERT_TYPE);
    for (const AssetTypeItem& type : form.types) {
        query.bindValue(":typeid", type.typeid_);
        query.bindValue(":typeidroot", type.typeidroot);
        query.bindValue(":title", type.title);
        query.bindValue(":asset_id", form.id);
        if (!query.exec()) {
            *error = query.lastError().text() + " \r\n" + statementText(query);
            return false;
        }
    }
    return true;
}

// A transaction that is rolled back unless it was committed.
class Transaction
{
public:
    explicit Transaction(QSqlDatabase connection)
        : db(std::move(connection))
        , open(db.transaction())
    {
    }
    ~Transaction()
    {
        if (open)
            db.rollback();
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    bool begun() const { return open; }
    bool commit()
    {
        open = !db.commit();
        return !open;
    }

private:
    QSqlDatabase db;
    bool open;
};

// A failed statement goes to the log and to the user, under the heading of its step.
StoreResult sqlFailure(const QString& title, const QString& text)
{
    writeLog(text);
    return StoreResult::failure(title, text);
}

} // namespace

StoreResult Database::insertAsset(AssetFormData& form)
{
    QSqlDatabase db = mainConnection();
    // The record and its types are written together or not at all: the form takes its id only
    // once both are there (with an id, the next save would update a row that does not exist).
    Transaction transaction(db);
    if (!transaction.begun())
        return sqlFailure("1 error: ", db.lastError().text());
    const qint64 now = Clock::nowSecs();
    QSqlQuery insert(db);
    insert.prepare(
        "INSERT INTO assets (uid, xueduanid, chid, subject, created_time, updated_time, flag, catid, catpath, "
        "catname_path, stars, fitprovince, fitcity, fitdist, fitname, copyrighttype, is_filling, file_icon, file_size, "
        "file_size_loaded, file_dir, file_name, file_md5, file_text, versionid, bookversionid) VALUES (:uid, "
        ":xueduanid, :chid, :subject, :created_time, :updated_time, :flag, :catid, :catpath, :catname_path, :stars, "
        ":fitprovince, :fitcity, :fitdist, :fitname, :copyrighttype, :is_filling, :file_icon, :file_size, "
        ":file_size_loaded, :file_dir, :file_name, :file_md5, :file_text, :versionid, :bookversionid)");
    insert.bindValue(":uid", uid());
    bindFormFields(insert, form);
    insert.bindValue(":created_time", now);
    insert.bindValue(":updated_time", now);
    insert.bindValue(":is_filling", form.is_filling ? 1 : 0);
    insert.bindValue(":file_icon", form.file_icon);
    insert.bindValue(":file_size", form.file_size);
    insert.bindValue(":file_size_loaded", form.file_size_loaded);
    insert.bindValue(":file_dir", form.file_dir);
    insert.bindValue(":file_name", form.file_name);
    insert.bindValue(":file_md5", form.file_md5);
    insert.bindValue(":file_text", form.file_text);
    if (!insert.exec())
        return sqlFailure("1 error: ", insert.lastError().text() + "\r\n" + statementText(insert));
    const QVariant newId = insert.lastInsertId();
    if (!newId.isValid()) {
        writeLog(insert.lastError().text() + "\r\n" + statementText(insert));
        return StoreResult::failure("2 error: ", "fffdfsdf");
    }
    AssetFormData written = form;
    written.id = newId.toInt();
    written.created_time = now;

    QString error;
    if (!insertTypes(db, written, &error))
        return sqlFailure("3 error: ", error);
    if (!transaction.commit())
        return sqlFailure("1 error: ", db.lastError().text());
    form.id = written.id;
    form.created_time = now;
    return StoreResult::success();
}

StoreResult Database::updateAsset(const AssetFormData& form)
{
    QSqlDatabase db = mainConnection();
    Transaction transaction(db);
    if (!transaction.begun())
        return sqlFailure("1 error: ", db.lastError().text());
    QSqlQuery update(db);
    update.prepare("UPDATE assets SET xueduanid=:xueduanid, chid=:chid, subject=:subject, updated_time=:updated_time, "
                   "flag=:flag, catid=:catid, catpath=:catpath, catname_path=:catname_path, stars=:stars, "
                   "fitprovince=:fitprovince, fitcity=:fitcity, fitdist=:fitdist, fitname=:fitname, "
                   "copyrighttype=:copyrighttype, versionid=:versionid, bookversionid=:bookversionid WHERE id=:id AND "
                   "uid=:uid;");
    bindFormFields(update, form);
    update.bindValue(":updated_time", Clock::nowSecs());
    update.bindValue(":id", form.id);
    update.bindValue(":uid", uid());
    if (!update.exec()) {
        const StoreResult failed = sqlFailure("1 error: ", update.lastError().text() + "\r\n" + statementText(update));
        writeLog(QString("表单数据保存失败: %1").arg(statementText(update)));
        return failed;
    }
    // No row of this account with this id (deleted meanwhile): nothing was saved, and types of
    // a missing record are not written.
    if (update.numRowsAffected() < 1) {
        const StoreResult failed = sqlFailure(
            "1 error: ", QString("资料记录%1已不存在，无法保存").arg(form.id) + "\r\n" + statementText(update));
        writeLog(QString("表单数据保存失败: %1").arg(statementText(update)));
        return failed;
    }
    QSqlQuery clear(db);
    clear.prepare("DELETE FROM asset_types WHERE asset_id=:asset_id");
    clear.bindValue(":asset_id", form.id);
    if (!clear.exec())
        return sqlFailure("1 error: ", clear.lastError().text() + "\r\n" + statementText(clear));
    QString error;
    if (!insertTypes(db, form, &error))
        return sqlFailure("3 error: ", error);
    if (!transaction.commit())
        return sqlFailure("1 error: ", db.lastError().text());
    return StoreResult::success();
}

bool Database::loadAsset(int id, AssetFormData& form)
{
    QSqlDatabase db = mainConnection();
    QSqlQuery query(db);
    query.prepare("SELECT * FROM assets WHERE id=:id  LIMIT 1");
    query.bindValue(":id", id);
    if (!query.exec() || !query.next())
        return false;
    form.id = id;
    readAssetColumns(query, form);

    QSqlQuery types(db);
    types.prepare("SELECT * FROM asset_types WHERE asset_id=:id");
    types.bindValue(":id", id);
    form.types.clear();
    if (types.exec()) {
        while (types.next())
            form.types.append(typeFromRecord(types));
    }
    return true;
}

QList<AssetFormData> Database::pendingAssets()
{
    QList<AssetFormData> list;
    if (QThread::currentThread() == home) {
        list = readPendingAssets(mainConnection(), uid());
    } else {
        // A connection may only be used on the thread that made it: the loader thread gets its
        // own, for this one load.
        static QAtomicInt serial;
        const QString name = QString("%1-loader-%2").arg(CONNECTION_NAME).arg(serial.fetchAndAddRelaxed(1));
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", name);
            db.setDatabaseName(filePath());
            if (db.open())
                list = readPendingAssets(db, uid());
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
    }
    return list;
}

int Database::pendingAssetWithMd5(const QString& md5)
{
    QSqlQuery query(mainConnection());
    query.prepare(QString("SELECT MAX(id) FROM assets WHERE %1 AND file_md5=:md5").arg(PENDING_ROWS));
    query.bindValue(":uid", uid());
    query.bindValue(":md5", md5);
    return query.exec() && query.next() ? query.value(0).toInt() : 0;
}

bool Database::deleteAsset(int id, const QString& md5)
{
    QSqlDatabase db = mainConnection();
    bool ok = db.transaction();
    if (ok) {
        QSqlQuery types(db);
        types.prepare("DELETE FROM asset_types WHERE asset_id=:asset_id");
        types.bindValue(":asset_id", id);
        ok = types.exec();
    }
    if (ok) {
        QSqlQuery asset(db);
        asset.prepare("DELETE FROM assets WHERE id=:id AND file_md5=:file_md5  AND uid=:uid");
        asset.bindValue(":id", id);
        asset.bindValue(":file_md5", md5);
        asset.bindValue(":uid", uid());
        ok = asset.exec();
    }
    ok = ok && db.commit();
    if (!ok)
        db.rollback();
    return ok;
}

bool Database::recordProgress(const UploadFile& job)
{
    QSqlQuery query(mainConnection());
    query.prepare("UPDATE assets SET file_size_loaded=:file_size_loaded, is_uploaded=:is_uploaded, "
                  "updated_time=:updated_time WHERE id=:id AND file_md5=:file_md5 AND uid=:uid");
    query.bindValue(":file_size_loaded", job.file_size_loaded);
    query.bindValue(":is_uploaded", job.file_status == UploadStatus::Completed ? 1 : 0);
    query.bindValue(":updated_time", Clock::nowSecs());
    query.bindValue(":id", job.file_id);
    query.bindValue(":file_md5", job.file_md5);
    query.bindValue(":uid", uid());
    if (query.exec())
        return true;
    writeLog(QString("%1 上传进度更新失败").arg(job.file_md5));
    return false;
}

Database::Retire Database::retireSubmittedAsset(const AssetFormData& form, int ownerUid)
{
    QSqlQuery query(mainConnection());
    query.prepare("UPDATE assets SET deleted_time=:deleted_time WHERE id=:id AND file_md5=:file_md5 AND uid=:uid");
    query.bindValue(":deleted_time", Clock::nowSecs());
    query.bindValue(":id", form.id);
    query.bindValue(":file_md5", form.file_md5);
    // The account the asset was submitted for, which need not be the one logged in now.
    query.bindValue(":uid", ownerUid);
    if (!query.exec()) {
        writeLog(QString("%1%2数据库更新失败！").arg(866).arg(form.file_md5));
        return Retire::Failed;
    }
    // No row of that account has that id and MD5 (deleted meanwhile): nothing was retired,
    // so nothing is renamed or reported.
    if (query.numRowsAffected() < 1)
        return Retire::NoRecord;
    const QString path = form.file_path.isEmpty() ? buildFilePath(form.file_dir, form.file_name) : form.file_path;
    if (path.startsWith(tmpDir(), Qt::CaseSensitive))
        QFile::rename(path, path + ".tempfile");
    return Retire::Retired;
}
