// The database file itself: where it lives, its schema text, its mode, and what a start
// does with a file it finds.

#include "RecordingNotifier.h"
#include "net/MyDAO.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <cstdlib>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace {

QSqlDatabase db()
{
    return QSqlDatabase::database("sqlite3Connection");
}

// What a new start of the program does, inside one process.
bool restart()
{
    MyDAO::instance()->closeDatabase();
    QSqlDatabase::removeDatabase("sqlite3Connection");
    return MyDAO::instance()->openDatabase();
}

QStringList tableNames()
{
    QStringList names;
    QSqlQuery query(db());
    query.exec("SELECT name FROM sqlite_master WHERE type='table' AND name NOT LIKE 'sqlite_%' ORDER BY name");
    while (query.next())
        names << query.value(0).toString();
    return names;
}

int fileMode(const QString& path)
{
#ifdef Q_OS_UNIX
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return -1;
    return info.st_mode & 0777;
#else
    Q_UNUSED(path);
    return 0600;
#endif
}

// Child mode: the database path is taken by a folder, so nothing can be opened there.
int runUnopenableChild()
{
    struct PrintingNotifier : Notifier
    {
        void alert(const QString& text, const QString& title) override
        {
            std::printf("%s|%s\n", title.toUtf8().constData(), text.toUtf8().constData());
            std::fflush(stdout);
        }
        int confirm(const QString& text, const QString& title) override
        {
            alert(text, title);
            return 0;
        }
    } notifier;
    MyDAO::setNotifier(&notifier);
    QDir().mkpath(MyDAO::databasePath());
    // As the program's start does: without its database it ends.
    if (!MyDAO::instance()->databaseReady())
        return EXIT_FAILURE;
    std::printf("still running\n");
    return 0;
}

} // namespace

class TestDatabaseFile : public QObject
{
    Q_OBJECT

    RecordingNotifier notifier;

private slots:
    void initTestCase()
    {
        MyDAO::instance();
        MyDAO::setNotifier(&notifier);
    }

    void init() { notifier.boxes.clear(); }

    void firstStartCreatesTheSchema()
    {
        const QString path = MyDAO::dataDir() + "/vtup_1.dat";
        QVERIFY(QFile::exists(path));
        QCOMPARE(db().databaseName(), path);
        QCOMPARE(db().driverName(), QString("QSQLITE"));

        QMap<QString, QString> expected;
        expected["asset_types"] = "CREATE TABLE asset_types (id INTEGER PRIMARY KEY AUTOINCREMENT UNIQUE NOT NULL, "
                                  "typeid INTEGER, typeidroot INTEGER, asset_id INTEGER REFERENCES assets (id), title "
                                  "VARCHAR)";
        expected["assets"]
            = "CREATE TABLE assets (id INTEGER PRIMARY KEY AUTOINCREMENT UNIQUE NOT NULL, uid INTEGER, xueduanid "
              "INTEGER (1), chid INTEGER (2), subject VARCHAR (128), created_time INTEGER, updated_time INTEGER, flag "
              "INTEGER (1), catid INTEGER, catpath VARCHAR, catname_path VARCHAR, stars INTEGER (2), fitprovince "
              "INTEGER, fitcity INTEGER, fitdist INTEGER, fitname VARCHAR(40), copyrighttype INTEGER (1), is_filling "
              "INTEGER (1) DEFAULT (0), is_uploaded INTEGER (1) DEFAULT (0), file_icon VARCHAR (10), file_size INTEGER "
              "DEFAULT (0), file_size_loaded INTEGER DEFAULT (0), file_dir VARCHAR, file_name VARCHAR, file_md5 "
              "VARCHAR, file_text TEXT, bookversionid INTEGER DEFAULT (0), deleted_time INTEGER, versionid INTEGER "
              "DEFAULT (0))";
        expected["logins"] = "CREATE TABLE logins (id INTEGER PRIMARY KEY AUTOINCREMENT UNIQUE NOT NULL, uid "
                             "INTEGER, username VARCHAR NOT NULL, avatar VARCHAR, login_time INTEGER, "
                             "remember_encrypt_key_1 VARCHAR, remember_encrypt_key VARCHAR, auto_login INTEGER "
                             "DEFAULT (0))";
        QSqlQuery query(db());
        QVERIFY(query.exec("SELECT name, sql FROM sqlite_master WHERE type='table' AND name NOT LIKE 'sqlite_%' "
                           "ORDER BY rowid"));
        QStringList order;
        while (query.next()) {
            const QString name = query.value(0).toString();
            order << name;
            QCOMPARE(query.value(1).toString(), expected.value(name));
        }
        QCOMPARE(order, (QStringList { "asset_types", "assets", "logins" }));
        QVERIFY(notifier.boxes.isEmpty());
    }

    void fileIsUserOnly()
    {
        const QString path = MyDAO::databasePath();
        QCOMPARE(fileMode(path), 0600);
        // A file left readable by an older start is tightened at the next one.
        QVERIFY(QFile::setPermissions(
            path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther));
        QCOMPARE(fileMode(path), 0644);
        QVERIFY(restart());
        QCOMPARE(fileMode(path), 0600);
    }

    void secondStartKeepsTheData()
    {
        QVERIFY(MyDAO::instance()->saveLogin({ 5, "amy", "", "key", false, false }, "key1"));
        QVERIFY(restart());
        QVERIFY(notifier.boxes.isEmpty());
        QCOMPARE(tableNames(), (QStringList { "asset_types", "assets", "logins" }));
        QCOMPARE(QSqlQuery(db()).exec("SELECT 1"), true);
        const QList<RecentLogin> recent = MyDAO::instance()->recentLogins();
        QCOMPARE(recent.size(), 1);
        QCOMPARE(recent[0].username, QString("amy"));
        QCOMPARE(recent[0].remember_encrypt_key, QString("key"));
    }

    void damagedFileIsMovedAside_data()
    {
        QTest::addColumn<bool>("wholeFile");
        QTest::newRow("not a database at all") << true;
        QTest::newRow("database with broken pages") << false;
    }

    void damagedFileIsMovedAside()
    {
        QFETCH(bool, wholeFile);
        MyDAO* dao = MyDAO::instance();
        const QString path = MyDAO::databasePath();
        if (!wholeFile) {
            // Enough rows to spread the logins table over many pages.
            QVERIFY(db().transaction());
            QSqlQuery fill(db());
            QVERIFY(fill.prepare("INSERT INTO logins (uid, username, login_time) VALUES (:uid, :username, 1)"));
            for (int i = 0; i < 2000; ++i) {
                fill.bindValue(":uid", i);
                fill.bindValue(":username", QString(200, QChar('a' + i % 26)));
                QVERIFY(fill.exec());
            }
            QVERIFY(db().commit());
        }
        dao->closeDatabase();
        QSqlDatabase::removeDatabase("sqlite3Connection");
        for (const QString& old : QDir(MyDAO::dataDir()).entryList({ "vtup_1.dat.*" }))
            QFile::remove(MyDAO::dataDir() + "/" + old);
        {
            QFile file(path);
            if (wholeFile) {
                QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
                file.write("these are the notes of somebody, not a database\n");
            } else {
                QVERIFY(file.open(QIODevice::ReadWrite));
                QVERIFY(file.size() > 8 * 4096);
                QVERIFY(file.seek(5 * 4096));
                file.write(QByteArray(3 * 4096, '\xff'));
            }
        }
        QFile damaged(path);
        QVERIFY(damaged.open(QIODevice::ReadOnly));
        const QByteArray damagedBytes = damaged.readAll();
        damaged.close();

        QVERIFY(dao->openDatabase());

        const QStringList kept = QDir(MyDAO::dataDir()).entryList({ "vtup_1.dat.*.damaged" });
        QCOMPARE(kept.size(), 1);
        QFile keptFile(MyDAO::dataDir() + "/" + kept[0]);
        QVERIFY(keptFile.open(QIODevice::ReadOnly));
        QCOMPARE(keptFile.readAll(), damagedBytes);
        QCOMPARE(notifier.boxes.size(), 1);
        QCOMPARE(notifier.boxes[0].title, QString("提示"));
        QVERIFY2(notifier.boxes[0].text.contains(kept[0]), qPrintable(notifier.boxes[0].text));
        // A fresh, working database in its place.
        QCOMPARE(tableNames(), (QStringList { "asset_types", "assets", "logins" }));
        QVERIFY(dao->saveLogin({ 9, "new", "", "", false, false }, ""));
        QCOMPARE(fileMode(path), 0600);
    }

    void unopenableFileIsReportedNotFatal()
    {
        MyDAO* dao = MyDAO::instance();
        const QString path = MyDAO::databasePath();
        const QString keep = path + ".kept";
        dao->closeDatabase();
        QSqlDatabase::removeDatabase("sqlite3Connection");
        QFile::remove(keep);
        QVERIFY(QFile::rename(path, keep));
        QVERIFY(QDir().mkpath(path));

        QVERIFY(!dao->openDatabase());
        QCOMPARE(notifier.boxes.size(), 1);
        QCOMPARE(notifier.boxes[0].title, QString("提示"));
        QCOMPARE(notifier.boxes[0].text, QString("打开失败，请联系客服！"));

        QVERIFY(QDir(path).removeRecursively());
        QVERIFY(QFile::rename(keep, path));
        QVERIFY(restart());
        QCOMPARE(notifier.boxes.size(), 1);
        QCOMPARE(tableNames(), (QStringList { "asset_types", "assets", "logins" }));
    }

    void unopenableFileEndsWithAMessage()
    {
        QTemporaryDir home;
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", home.path());
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), { "--unopenable-child" });
        QVERIFY(child.waitForFinished(60000));
        const QString out = QString::fromUtf8(child.readAllStandardOutput());
        QVERIFY2(child.exitCode() != 0, qPrintable(out));
        QVERIFY2(out.contains("提示|打开失败，请联系客服！"), qPrintable(out));
        QVERIFY(!out.contains("still running"));
    }
};

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc > 1 && QByteArray(argv[1]) == "--unopenable-child")
        return runUnopenableChild();
    TestDatabaseFile test;
    return QTest::qExec(&test, argc, argv);
}

#include "TestDatabaseFile.moc"
