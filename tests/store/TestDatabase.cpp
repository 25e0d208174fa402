// The statements of the local database against the real SQLite file of a private data
// directory. MyDAO is one per process, so every test starts from emptied tables.

#include "RecordingNotifier.h"
#include "app/Clock.h"
#include "net/MyDAO.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

namespace {

const qint64 NOW = 1800000000;
const qint64 DAY = 86400;
const qint64 THREE_GIB = 3LL * 1024 * 1024 * 1024;

QSqlDatabase db()
{
    return QSqlDatabase::database("sqlite3Connection");
}

bool run(const QString& sql)
{
    QSqlQuery query(db());
    if (!query.exec(sql)) {
        qWarning() << sql << query.lastError().text();
        return false;
    }
    return true;
}

QVariant scalar(const QString& sql)
{
    QSqlQuery query(db());
    if (!query.exec(sql) || !query.next())
        return QVariant();
    return query.value(0);
}

int insertRow(const QString& table, const QVariantMap& columns)
{
    QStringList names = columns.keys();
    QStringList marks;
    for (const QString& name : names)
        marks << ":" + name;
    QSqlQuery query(db());
    query.prepare(QString("INSERT INTO %1 (%2) VALUES (%3)").arg(table, names.join(", "), marks.join(", ")));
    for (const QString& name : names)
        query.bindValue(":" + name, columns.value(name));
    if (!query.exec()) {
        qWarning() << query.lastError().text();
        return 0;
    }
    return query.lastInsertId().toInt();
}

void addType(int assetId, int typeId, const QString& title)
{
    insertRow("asset_types",
              { { "asset_id", assetId }, { "typeid", typeId }, { "typeidroot", 1 }, { "title", title } });
}

int countOf(const QString& sql)
{
    return scalar("SELECT COUNT(*) FROM " + sql).toInt();
}

// Makes the next statement of one kind on a table fail inside SQLite.
void refuse(const QString& when, const QString& table)
{
    run(QString("CREATE TEMP TRIGGER refuse_%1 BEFORE %2 ON %1 BEGIN SELECT RAISE(ABORT, 'refused by test'); END")
            .arg(table, when));
}

AssetFormData sampleForm()
{
    AssetFormData form;
    form.subject = "七年级数学期中试卷";
    form.flag = 5;
    form.xueduanid = 3;
    form.chid = 2;
    form.catid = 120;
    form.versionid = 4;
    form.bookversionid = 9;
    form.catname_path = "第一章/第二节";
    form.catpath = "1,120";
    form.copyrighttype = 2;
    form.fitprovince = 11;
    form.fitcity = 1101;
    form.fitdist = 110105;
    form.fitname = "北京 朝阳区";
    form.stars = 8;
    form.is_filling = true;
    form.file_dir = "/home/author/资料/";
    form.file_name = "试卷.docx";
    form.file_path = "/home/author/资料/试卷.docx";
    form.file_icon = "word";
    form.file_md5 = "0123456789abcdef0123456789abcdef";
    form.file_size = THREE_GIB;
    form.file_size_loaded = (1LL << 31) + 5;
    form.file_text = "略...";
    form.types = { { "试卷", 31, 3 }, { "期中", 32, 3 } };
    return form;
}

} // namespace

class TestDatabase : public QObject
{
    Q_OBJECT

    MyDAO* dao = nullptr;
    RecordingNotifier notifier;

private slots:
    void initTestCase()
    {
        dao = MyDAO::instance();
        MyDAO::setNotifier(&notifier);
        QVERIFY(db().isOpen());
    }

    void init()
    {
        QVERIFY(run("DROP TRIGGER IF EXISTS temp.refuse_assets"));
        QVERIFY(run("DROP TRIGGER IF EXISTS temp.refuse_asset_types"));
        QVERIFY(run("DELETE FROM assets"));
        QVERIFY(run("DELETE FROM asset_types"));
        QVERIFY(run("DELETE FROM logins"));
        Clock::setNowForTesting(QDateTime::fromSecsSinceEpoch(NOW));
        dao->setUid(7);
        dao->clearUploadJobs();
        notifier.boxes.clear();
    }

    void cleanup() { Clock::setNowForTesting(QDateTime()); }

    void recentLogins_data()
    {
        QTest::addColumn<QStringList>("logins"); // username:hours ago:key
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("at most five, newest first")
            << QStringList { "a:1:ka", "b:2:kb", "c:3:kc", "d:4:kd", "e:5:ke", "f:6:kf", "g:7:kg" }
            << QStringList { "a:ka", "b:kb", "c:kc", "d:kd", "e:ke" };
        QTest::newRow("one row per user name, the newest")
            << QStringList { "amy:30:old", "bob:20:kb", "amy:10:new" } << QStringList { "amy:new", "bob:kb" };
        QTest::newRow("older than 30 days left out")
            << QStringList { "amy:100:ka", "bob:721:kb", "cat:719:kc" } << QStringList { "amy:ka", "cat:kc" };
    }

    void recentLogins()
    {
        QFETCH(QStringList, logins);
        QFETCH(QStringList, expected);
        int uid = 100;
        for (const QString& entry : logins) {
            const QStringList parts = entry.split(':');
            insertRow("logins",
                      { { "uid", ++uid },
                        { "username", parts[0] },
                        { "login_time", NOW - parts[1].toLongLong() * 3600 },
                        { "remember_encrypt_key", parts[2] } });
        }
        QStringList got;
        for (const RecentLogin& login : dao->loadRecentLogins()) {
            QVERIFY(!login.team_status);
            got << login.username + ":" + login.remember_encrypt_key;
        }
        QCOMPARE(got, expected);
        // The session side holds the same list for the next login dialog.
        QCOMPARE(dao->recentLogins().size(), expected.size());
        QCOMPARE(dao->recentLogins().first().username, expected.first().section(':', 0, 0));
    }

    void saveLoginLeavesOneRowPerUid()
    {
        RecentLogin first { 5, "amy", "http://avatar/5", "server-key-1", false, false };
        QVERIFY(dao->saveLogin(first, "sent-1"));
        RecentLogin other { 6, "bob", "http://avatar/6", "server-key-b", false, false };
        QVERIFY(dao->saveLogin(other, "sent-b"));
        Clock::setNowForTesting(QDateTime::fromSecsSinceEpoch(NOW + 60));
        RecentLogin again { 5, "amy", "http://avatar/5", "server-key-2", false, false };
        QVERIFY(dao->saveLogin(again, "sent-2"));

        QCOMPARE(countOf("logins WHERE uid=5"), 1);
        QCOMPARE(countOf("logins WHERE uid=6"), 1);
        QSqlQuery row(db());
        QVERIFY(row.exec("SELECT username, avatar, login_time, remember_encrypt_key_1, remember_encrypt_key, "
                         "auto_login FROM logins WHERE uid=5"));
        QVERIFY(row.next());
        QCOMPARE(row.value(0).toString(), QString("amy"));
        QCOMPARE(row.value(1).toString(), QString("http://avatar/5"));
        QCOMPARE(row.value(2).toLongLong(), NOW + 60);
        QCOMPARE(row.value(3).toString(), QString("sent-2"));
        QCOMPARE(row.value(4).toString(), QString("server-key-2"));
        QCOMPARE(row.value(5).toInt(), 0);
    }

    void forgetRememberedKeyClearsOnlyThatAccount()
    {
        insertRow("logins",
                  { { "uid", 1 },
                    { "username", "amy" },
                    { "login_time", NOW },
                    { "remember_encrypt_key", "kA" },
                    { "remember_encrypt_key_1", "kA1" },
                    { "auto_login", 1 } });
        insertRow("logins",
                  { { "uid", 2 },
                    { "username", "bob" },
                    { "login_time", NOW },
                    { "remember_encrypt_key", "kB" },
                    { "remember_encrypt_key_1", "kB1" },
                    { "auto_login", 1 } });
        dao->forgetRememberedKey("kA");
        QSqlQuery row(db());
        QVERIFY(row.exec("SELECT remember_encrypt_key, remember_encrypt_key_1, auto_login FROM logins ORDER BY uid"));
        QVERIFY(row.next());
        QVERIFY(row.value(0).isNull());
        QVERIFY(row.value(1).isNull());
        QCOMPARE(row.value(2).toInt(), 0);
        QVERIFY(row.next());
        QCOMPARE(row.value(0).toString(), QString("kB"));
        QCOMPARE(row.value(1).toString(), QString("kB1"));
        QCOMPARE(row.value(2).toInt(), 1);
    }

    void clearLoginsForgetsEverything()
    {
        dao->settings()->setValue("LastAutoLoginUID", 5);
        QVERIFY(dao->saveLogin({ 5, "amy", "", "k", false, false }, "k1"));
        QVERIFY(dao->saveLogin({ 6, "bob", "", "k", false, false }, "k1"));
        dao->clearLogins();
        QVERIFY(!dao->settings()->contains("LastAutoLoginUID"));
        QCOMPARE(countOf("logins"), 0);
    }

    void insertAsset_data()
    {
        QTest::addColumn<bool>("startUpload");
        QTest::newRow("save only") << false;
        QTest::newRow("save and upload") << true;
    }

    void insertAsset()
    {
        QFETCH(bool, startUpload);
        AssetFormData form = sampleForm();
        int okId = -1;
        connect(dao, &MyDAO::s_submit_fileform_ok, this, [&](AssetFormData& saved) { okId = saved.id; });
        QSignalSpy started(dao, &MyDAO::s_start_upload);
        QVERIFY(dao->saveAssetForm(form, startUpload));
        disconnect(dao, &MyDAO::s_submit_fileform_ok, this, nullptr);

        QVERIFY(form.id > 0);
        QCOMPARE(okId, form.id);
        QCOMPARE(started.count(), startUpload ? 1 : 0);
        if (startUpload) {
            QCOMPARE(started.first().at(0).toString(), form.file_md5);
            QCOMPARE(started.first().at(1).toInt(), form.id);
        }
        QSqlQuery row(db());
        QVERIFY(row.exec(QString("SELECT * FROM assets WHERE id=%1").arg(form.id)));
        QVERIFY(row.next());
        QCOMPARE(row.value("uid").toInt(), 7);
        QCOMPARE(row.value("subject").toString(), form.subject);
        QCOMPARE(row.value("fitname").toString(), form.fitname);
        QCOMPARE(row.value("bookversionid").toInt(), 9);
        QCOMPARE(row.value("created_time").toLongLong(), NOW);
        QCOMPARE(row.value("updated_time").toLongLong(), NOW);
        QCOMPARE(row.value("is_filling").toInt(), 1);
        QCOMPARE(row.value("file_size").toLongLong(), THREE_GIB);
        QCOMPARE(row.value("file_size_loaded").toLongLong(), (1LL << 31) + 5);
        QVERIFY(row.value("deleted_time").isNull());

        QSqlQuery types(db());
        QVERIFY(
            types.exec(QString("SELECT title, typeid FROM asset_types WHERE asset_id=%1 ORDER BY id").arg(form.id)));
        QVERIFY(types.next());
        QCOMPARE(types.value(0).toString(), QString("试卷"));
        QVERIFY(types.next());
        QCOMPARE(types.value(1).toInt(), 32);
        QVERIFY(!types.next());
    }

    void updateAssetReplacesTypes()
    {
        AssetFormData form = sampleForm();
        QVERIFY(dao->saveAssetForm(form, false));
        const int id = form.id;
        const int otherId
            = insertRow("assets", { { "uid", 8 }, { "subject", "别人的" }, { "file_md5", form.file_md5 } });

        Clock::setNowForTesting(QDateTime::fromSecsSinceEpoch(NOW + 100));
        form.subject = "改过的标题";
        form.types = { { "课件", 40, 4 } };
        int updatedId = 0;
        bool inserted = false;
        connect(dao, &MyDAO::frm_update_progress_item, this, [&](AssetFormData& f) { updatedId = f.id; });
        connect(dao, &MyDAO::s_submit_fileform_ok, this, [&](AssetFormData&) { inserted = true; });
        QVERIFY(dao->saveAssetForm(form, false));
        disconnect(dao, nullptr, this, nullptr);

        QCOMPARE(form.id, id);
        QCOMPARE(updatedId, id);
        QVERIFY(!inserted);
        QCOMPARE(countOf("assets"), 2);
        QCOMPARE(scalar(QString("SELECT subject FROM assets WHERE id=%1").arg(id)).toString(), QString("改过的标题"));
        QCOMPARE(scalar(QString("SELECT updated_time FROM assets WHERE id=%1").arg(id)).toLongLong(), NOW + 100);
        QCOMPARE(scalar(QString("SELECT created_time FROM assets WHERE id=%1").arg(id)).toLongLong(), NOW);
        QCOMPARE(countOf(QString("asset_types WHERE asset_id=%1").arg(id)), 1);
        QCOMPARE(scalar("SELECT title FROM asset_types").toString(), QString("课件"));
        // Another account's row is never touched.
        QCOMPARE(scalar(QString("SELECT subject FROM assets WHERE id=%1").arg(otherId)).toString(), QString("别人的"));
    }

    void saveFailuresShowTheirBox_data()
    {
        QTest::addColumn<bool>("existing");
        QTest::addColumn<QString>("when");
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("tail");
        QTest::newRow("insert refused") << false << "INSERT"
                                        << "assets"
                                        << "1 error: "
                                        << "\r\nINSERT INTO assets";
        QTest::newRow("types refused on insert") << false << "INSERT"
                                                 << "asset_types"
                                                 << "3 error: "
                                                 << " \r\nINSERT INTO asset_types";
        QTest::newRow("update refused") << true << "UPDATE"
                                        << "assets"
                                        << "1 error: "
                                        << "\r\nUPDATE assets SET";
        QTest::newRow("type removal refused") << true << "DELETE"
                                              << "asset_types"
                                              << "1 error: "
                                              << "\r\nDELETE FROM asset_types";
        QTest::newRow("types refused on update") << true << "INSERT"
                                                 << "asset_types"
                                                 << "3 error: "
                                                 << " \r\nINSERT INTO asset_types";
    }

    void saveFailuresShowTheirBox()
    {
        QFETCH(bool, existing);
        QFETCH(QString, when);
        QFETCH(QString, table);
        QFETCH(QString, title);
        QFETCH(QString, tail);
        AssetFormData form = sampleForm();
        if (existing)
            QVERIFY(dao->saveAssetForm(form, false));
        const int id = form.id;
        refuse(when, table);
        QSignalSpy started(dao, &MyDAO::s_start_upload);
        form.subject = "没存下的标题";
        QVERIFY(!dao->saveAssetForm(form, true));
        QCOMPARE(started.count(), 0);
        // All or nothing: a new record keeps id 0 (the next save inserts again), a stored one
        // keeps its row and its types.
        QCOMPARE(form.id, id);
        QCOMPARE(countOf("assets"), existing ? 1 : 0);
        QCOMPARE(countOf("asset_types"), existing ? 2 : 0);
        if (existing)
            QCOMPARE(scalar("SELECT subject FROM assets").toString(), sampleForm().subject);
        QCOMPARE(notifier.boxes.size(), 1);
        QCOMPARE(notifier.boxes[0].title, title);
        QVERIFY2(notifier.boxes[0].text.startsWith("refused by test"), qPrintable(notifier.boxes[0].text));
        QVERIFY2(notifier.boxes[0].text.contains(tail), qPrintable(notifier.boxes[0].text));
    }

    void updateOfAMissingRecordFails()
    {
        // The record is gone, or is another account's: nothing is written, not even types.
        AssetFormData form = sampleForm();
        form.id = insertRow("assets", { { "uid", 8 }, { "subject", "别人的" }, { "file_md5", form.file_md5 } });
        QSignalSpy started(dao, &MyDAO::s_start_upload);
        QSignalSpy updated(dao, &MyDAO::frm_update_progress_item);
        QVERIFY(!dao->saveAssetForm(form, true));
        QCOMPARE(started.count(), 0);
        QCOMPARE(updated.count(), 0);
        QCOMPARE(countOf("asset_types"), 0);
        QCOMPARE(scalar("SELECT subject FROM assets").toString(), QString("别人的"));
        QCOMPARE(notifier.boxes.size(), 1);
        QCOMPARE(notifier.boxes[0].title, QString("1 error: "));
    }

    void secondAssetOfAListedFileRefused()
    {
        AssetFormData first = sampleForm();
        QVERIFY(dao->saveAssetForm(first, false));
        QSignalSpy pointed(dao, &MyDAO::s_listed_duplicate);
        QSignalSpy started(dao, &MyDAO::s_start_upload);
        AssetFormData again = sampleForm(); // the same file, from another drop
        QVERIFY(!dao->saveAssetForm(again, true));
        QCOMPARE(again.id, 0);
        QCOMPARE(countOf("assets"), 1);
        QCOMPARE(started.count(), 0);
        QCOMPARE(notifier.boxes.size(), 1);
        QCOMPARE(notifier.boxes[0].text, MyDAO::duplicateRefusedText());
        QCOMPARE(pointed.count(), 1);
        QCOMPARE(pointed.at(0).at(1).toInt(), first.id);
        // Once the first is submitted (retired), the file may be added again.
        QVERIFY(dao->retireSubmittedAsset(first));
        QVERIFY(dao->saveAssetForm(again, false));
        QCOMPARE(countOf("assets"), 2);
    }

    void loadAssetReadsRowAndTypes()
    {
        AssetFormData saved = sampleForm();
        QVERIFY(dao->saveAssetForm(saved, false));
        AssetFormData form;
        QVERIFY(dao->loadAsset(saved.id, form));
        QCOMPARE(form.subject, saved.subject);
        QCOMPARE(form.flag, 5);
        QCOMPARE(form.bookversionid, 9);
        QCOMPARE(form.fitdist, 110105);
        QCOMPARE(form.fitname, saved.fitname);
        QCOMPARE(form.created_time, NOW);
        QCOMPARE(form.file_size, THREE_GIB);
        // The folder was stored with its trailing "/".
        QCOMPARE(form.file_path, QString("/home/author/资料/试卷.docx"));
        QCOMPARE(form.types.size(), 2);
        QCOMPARE(form.types[0].title, QString("试卷"));
        QCOMPARE(form.types[1].typeid_, 32);

        AssetFormData untouched;
        untouched.subject = "unchanged";
        QVERIFY(!dao->loadAsset(saved.id + 1000, untouched));
        QCOMPARE(untouched.subject, QString("unchanged"));
    }

    void pendingList_data()
    {
        QTest::addColumn<bool>("fromWorker");
        QTest::newRow("GUI thread") << false;
        QTest::newRow("loader thread") << true;
    }

    void pendingList()
    {
        QFETCH(bool, fromWorker);
        const QVariantMap base {
            { "uid", 7 }, { "is_filling", 1 }, { "file_dir", "/data/" }, { "file_name", "a.pdf" }
        };
        auto row = [&](const QVariantMap& extra) {
            QVariantMap columns = base;
            for (auto it = extra.begin(); it != extra.end(); ++it)
                columns[it.key()] = it.value();
            return insertRow("assets", columns);
        };
        const int oldCopy = row({ { "file_md5", "aaa" }, { "subject", "旧" } });
        // A restored row is submitted after its upload: it must keep its textbook version and region.
        const int second = row({ { "file_md5", "bbb" },
                                 { "subject", "乙" },
                                 { "file_size_loaded", THREE_GIB },
                                 { "bookversionid", 12 },
                                 { "fitname", "浙江 杭州" } });
        const int newCopy = row({ { "file_md5", "aaa" }, { "subject", "新" } });
        row({ { "file_md5", "ccc" }, { "deleted_time", NOW } });
        row({ { "file_md5", "ddd" }, { "uid", 8 } });
        row({ { "file_md5", "eee" }, { "is_filling", 0 } });
        addType(newCopy, 31, "试卷");
        addType(oldCopy, 40, "课件");
        addType(second, 50, "教案");
        addType(second, 51, "学案");

        QSignalSpy sent(dao, &MyDAO::s_uplist_fromdb);
        QList<AssetFormData> list;
        QStringList threadWarnings;
        if (fromWorker) {
            static QStringList* sink = nullptr;
            sink = &threadWarnings;
            QtMessageHandler previous = qInstallMessageHandler(
                [](QtMsgType, const QMessageLogContext&, const QString& msg) { sink->append(msg); });
            QThread* loader = QThread::create([&] { list = dao->loadPendingAssets(); });
            loader->start();
            QVERIFY(loader->wait(30000));
            delete loader;
            qInstallMessageHandler(previous);
            // The loader's own connection is gone again.
            QCOMPARE(QSqlDatabase::connectionNames(), QStringList { "sqlite3Connection" });
        } else {
            list = dao->loadPendingAssets();
        }
        QVERIFY2(threadWarnings.isEmpty(), qPrintable(threadWarnings.join('\n')));

        QCOMPARE(list.size(), 2);
        QCOMPARE(list[0].id, newCopy);
        QCOMPARE(list[0].subject, QString("新"));
        QCOMPARE(list[0].types.size(), 1);
        QCOMPARE(list[0].types[0].typeid_, 31);
        QCOMPARE(list[0].file_path, QString("/data/a.pdf"));
        QVERIFY(list[0].is_filling);
        QCOMPARE(list[1].id, second);
        QCOMPARE(list[1].file_size_loaded, THREE_GIB);
        QCOMPARE(list[1].bookversionid, 12);
        QCOMPARE(list[1].fitname, QString("浙江 杭州"));
        QCOMPARE(list[1].types.size(), 2);
        QCOMPARE(sent.count(), 1);
        const auto signalled = sent.first().at(0).value<QList<AssetFormData>>();
        QCOMPARE(signalled.size(), 2);
        QCOMPARE(signalled[1].file_md5, QString("bbb"));
    }

    void deleteAsset()
    {
        AssetFormData form = sampleForm();
        QVERIFY(dao->saveAssetForm(form, false));
        UploadFile job;
        job.file_md5 = form.file_md5;
        job.file_id = form.id;
        dao->enqueueUpload(job);
        UploadFile other;
        other.file_md5 = "ffff";
        other.file_id = form.id + 1;
        dao->enqueueUpload(other);

        QSignalSpy deleted(dao, &MyDAO::s_delete_item);
        QVERIFY(dao->deleteAsset(form.id, form.file_md5));
        QCOMPARE(countOf("assets"), 0);
        QCOMPARE(countOf("asset_types"), 0);
        QCOMPARE(deleted.count(), 1);
        QCOMPARE(deleted.first().at(0).toString(), form.file_md5);
        QCOMPARE(deleted.first().at(1).toInt(), form.id);
        const QList<UploadFile> waiting = dao->queuedUploads();
        QCOMPARE(waiting.size(), 1);
        QCOMPARE(waiting[0].file_md5, QString("ffff"));
        QVERIFY(notifier.boxes.isEmpty());
    }

    void deleteFailureKeepsEverything()
    {
        AssetFormData form = sampleForm();
        QVERIFY(dao->saveAssetForm(form, false));
        UploadFile job;
        job.file_md5 = form.file_md5;
        job.file_id = form.id;
        dao->enqueueUpload(job);
        refuse("DELETE", "assets");

        QSignalSpy deleted(dao, &MyDAO::s_delete_item);
        QVERIFY(!dao->deleteAsset(form.id, form.file_md5));
        QCOMPARE(deleted.count(), 0);
        QCOMPARE(notifier.boxes.size(), 1);
        QCOMPARE(notifier.boxes[0].kind, QString("confirm"));
        QCOMPARE(notifier.boxes[0].text, QString("删除失败了"));
        // The type rows went in the same transaction and came back.
        QCOMPARE(countOf("asset_types"), 2);
        QCOMPARE(countOf("assets"), 1);
        QCOMPARE(dao->queuedUploads().size(), 1);
    }

    void uploadProgress_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("rate");
        QTest::addColumn<qint64>("storedLoaded");
        QTest::addColumn<int>("storedUploaded");
        QTest::addColumn<bool>("rowWritten");
        const qint64 reported = THREE_GIB + 1;
        QTest::newRow("uploading moves the resume point") << 3 << "1.2MB/s" << reported << 0 << true;
        QTest::newRow("completed marks uploaded") << 6 << "1.0MB/s" << reported << 1 << true;
        // The worker's count is what the service holds, whatever the row's status meanwhile.
        QTest::newRow("piece accepted while paused moves the resume point") << 1 << "1.2MB/s" << reported << 0 << true;
        QTest::newRow("retry of a failing job keeps its count") << 4 << "0KB/s" << reported << 0 << true;
        QTest::newRow("empty rate writes nothing") << 3 << "" << qint64(1000) << 0 << false;
        QTest::newRow("empty rate on completion") << 6 << "" << qint64(1000) << 0 << false;
    }

    void uploadProgress()
    {
        QFETCH(int, status);
        QFETCH(QString, rate);
        QFETCH(qint64, storedLoaded);
        QFETCH(int, storedUploaded);
        QFETCH(bool, rowWritten);
        const int id = insertRow("assets",
                                 { { "uid", 7 },
                                   { "file_md5", "m1" },
                                   { "file_size", THREE_GIB + 10 },
                                   { "file_size_loaded", 1000 },
                                   { "updated_time", 5 } });
        UploadFile job;
        job.file_id = id;
        job.file_md5 = "m1";
        job.file_size = THREE_GIB + 10;
        job.file_size_loaded = THREE_GIB + 1;
        job.file_status = status;
        job.file_status_msg = status == 4 ? "文件读取失败" : "";
        UploadFile waiting = job;
        waiting.file_status = 1;
        dao->enqueueUpload(waiting);
        QCOMPARE(dao->queuedUploads().size(), 1);
        QSignalSpy progress(dao, &MyDAO::s_progress_upload);
        QSignalSpy completed(dao, &MyDAO::s_completed_upload);

        dao->updateUploadProgress(job, rate);

        QSqlQuery row(db());
        QVERIFY(
            row.exec(QString("SELECT file_size_loaded, is_uploaded, updated_time FROM assets WHERE id=%1").arg(id)));
        QVERIFY(row.next());
        QCOMPARE(row.value(0).toLongLong(), storedLoaded);
        QCOMPARE(row.value(1).toInt(), storedUploaded);
        QCOMPARE(row.value(2).toLongLong(), rowWritten ? NOW : 5);

        QCOMPARE(progress.count(), 1);
        QCOMPARE(progress.first().at(0).toInt(), id);
        QCOMPARE(progress.first().at(1).toString(), QString("m1"));
        QCOMPARE(progress.first().at(2).toULongLong(), qulonglong(THREE_GIB + 1));
        QCOMPARE(progress.first().at(3).toString(), job.file_status_msg);
        QCOMPARE(progress.first().at(4).toString(), rate);
        QCOMPARE(completed.count(), status == 6 ? 1 : 0);
        if (status == 6)
            QCOMPARE(completed.first().at(0).toInt(), id);
        QCOMPARE(dao->queuedUploads().isEmpty(), status == 6);
    }

    void uploadProgressFailureIsOnlyLogged_data()
    {
        QTest::addColumn<int>("status");
        QTest::newRow("piece report dropped") << 3;
        QTest::newRow("completion still delivered") << 6;
    }

    void uploadProgressFailureIsOnlyLogged()
    {
        QFETCH(int, status);
        const int id = insertRow("assets", { { "uid", 7 }, { "file_md5", "m2" }, { "file_size_loaded", 10 } });
        refuse("UPDATE", "assets");
        UploadFile job;
        job.file_id = id;
        job.file_md5 = "m2";
        job.file_size_loaded = 20;
        job.file_status = status;
        QSignalSpy progress(dao, &MyDAO::s_progress_upload);
        QSignalSpy completed(dao, &MyDAO::s_completed_upload);
        dao->updateUploadProgress(job, "1MB/s");
        // A file whole on the server is submitted even when its row cannot be written.
        const int delivered = status == 6 ? 1 : 0;
        QCOMPARE(progress.count(), delivered);
        QCOMPARE(completed.count(), delivered);
        QVERIFY(notifier.boxes.isEmpty());
        QFile log(MyDAO::dataDir() + "/log0-" + Clock::now().date().toString("yyyy-MM-dd") + ".log.txt");
        QVERIFY(log.open(QIODevice::ReadOnly));
        QVERIFY(QString::fromLocal8Bit(log.readAll()).contains("m2 上传进度更新失败"));
    }

    void uploadProgressFromWorkerLandsOnGuiThread()
    {
        const int id = insertRow("assets", { { "uid", 7 }, { "file_md5", "m3" }, { "file_size_loaded", 0 } });
        UploadFile job;
        job.file_id = id;
        job.file_md5 = "m3";
        job.file_size_loaded = 1048576;
        job.file_status = 3;
        QThread* emittedOn = nullptr;
        int reports = 0;
        connect(
            dao, &MyDAO::s_progress_upload, this,
            [&](int, QString, qulonglong, QString, QString) {
                emittedOn = QThread::currentThread();
                ++reports;
            },
            Qt::DirectConnection);
        QThread* worker = QThread::create([&] { dao->updateUploadProgress(job, "512KB/s"); });
        worker->start();
        QVERIFY(worker->wait(30000));
        delete worker;
        QTRY_COMPARE(reports, 1);
        disconnect(dao, &MyDAO::s_progress_upload, this, nullptr);
        QCOMPARE(emittedOn, QThread::currentThread());
        QCOMPARE(scalar(QString("SELECT file_size_loaded FROM assets WHERE id=%1").arg(id)).toLongLong(),
                 qint64(1048576));
    }

    void retireSubmittedAsset_data()
    {
        QTest::addColumn<bool>("inTmp");
        QTest::newRow("working file of tmp is marked") << true;
        QTest::newRow("author's own file is left alone") << false;
    }

    void retireSubmittedAsset()
    {
        QFETCH(bool, inTmp);
        QTemporaryDir outside;
        const QString dir = inTmp ? MyDAO::tmpDir() : outside.path() + "/";
        QVERIFY(QDir().mkpath(dir));
        AssetFormData form = sampleForm();
        form.file_dir = dir;
        form.file_name = "packed.zip";
        form.file_path = dir + form.file_name;
        QFile file(form.file_path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QVERIFY(dao->saveAssetForm(form, false));

        Clock::setNowForTesting(QDateTime::fromSecsSinceEpoch(NOW + 30));
        QSignalSpy submitted(dao, &MyDAO::s_completed_submit);
        QVERIFY(dao->retireSubmittedAsset(form));
        QCOMPARE(scalar(QString("SELECT deleted_time FROM assets WHERE id=%1").arg(form.id)).toLongLong(), NOW + 30);
        QCOMPARE(submitted.count(), 1);
        QCOMPARE(submitted.first().at(0).toString(), form.file_md5);
        QCOMPARE(submitted.first().at(1).toInt(), form.id);
        QCOMPARE(QFile::exists(form.file_path + ".tempfile"), inTmp);
        QCOMPARE(QFile::exists(form.file_path), !inTmp);
        QFile::remove(form.file_path + ".tempfile");
        QFile::remove(form.file_path);
    }

    void retireFailureIsOnlyLogged()
    {
        AssetFormData form = sampleForm();
        QVERIFY(dao->saveAssetForm(form, false));
        refuse("UPDATE", "assets");
        QSignalSpy submitted(dao, &MyDAO::s_completed_submit);
        QVERIFY(!dao->retireSubmittedAsset(form));
        QCOMPARE(submitted.count(), 0);
        QVERIFY(scalar("SELECT deleted_time FROM assets").isNull());
    }

    void purgeRemovesRetiredAssetsWithTheirTypes()
    {
        const int sixDays
            = insertRow("assets", { { "uid", 7 }, { "file_md5", "a" }, { "deleted_time", NOW - 6 * DAY } });
        const int eightDays
            = insertRow("assets", { { "uid", 7 }, { "file_md5", "b" }, { "deleted_time", NOW - 8 * DAY } });
        const int tenDays
            = insertRow("assets", { { "uid", 9 }, { "file_md5", "c" }, { "deleted_time", NOW - 10 * DAY } });
        const int live = insertRow("assets", { { "uid", 7 }, { "file_md5", "d" } });
        addType(sixDays, 1, "x");
        addType(sixDays, 2, "y");
        addType(eightDays, 1, "x");
        addType(eightDays, 2, "y");
        addType(tenDays, 3, "z");
        addType(live, 4, "w");

        dao->purgeRetiredAssets();

        QSqlQuery left(db());
        QVERIFY(left.exec("SELECT id FROM assets ORDER BY id"));
        QList<int> ids;
        while (left.next())
            ids << left.value(0).toInt();
        QCOMPARE(ids, (QList<int> { sixDays, live }));
        QCOMPARE(countOf("asset_types"), 3);
        QCOMPARE(countOf(QString("asset_types WHERE asset_id IN (%1, %2)").arg(eightDays).arg(tenDays)), 0);
    }
};

QTEST_MAIN(TestDatabase)
#include "TestDatabase.moc"
