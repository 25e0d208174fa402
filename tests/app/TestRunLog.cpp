#include "app/Clock.h"
#include "app/RunLog.h"
#include "net/MyDAO.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>
#include <QThread>
#include <memory>
#include <vector>

namespace {

QString logPath(int level, const QDate& day)
{
    return MyDAO::dataDir() + QStringLiteral("/log%1-%2.log.txt").arg(level).arg(day.toString("yyyy-MM-dd"));
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void touch(const QString& path)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("x");
}

} // namespace

class TestRunLog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void lineShape_data();
    void lineShape();
    void oneFilePerLevelAndDay();
    void secretsMasked_data();
    void secretsMasked();
    void userOnlyFile();
    void missingDirectoryIsSilent();
    void concurrentWritersKeepLinesWhole();
    void purge_data();
    void purge();
};

void TestRunLog::initTestCase()
{
    // The data directory is wiped between cases: never let that be the user's real one.
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName("zenweb");
    QCoreApplication::setApplicationName("Vantrel");
}

void TestRunLog::init()
{
    QDir(MyDAO::dataDir()).removeRecursively();
    QVERIFY(QDir().mkpath(MyDAO::dataDir()));
}

void TestRunLog::cleanup()
{
    Clock::setNowForTesting(QDateTime());
}

void TestRunLog::lineShape_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("written");

    const QString a250 = QString(200, 'a') + QString(50, 'b');
    QTest::newRow("short") << "hello"
                           << "hello";
    QTest::newRow("250 characters cut to 200") << a250 << QString(200, 'a');
    QTest::newRow("exactly 200") << QString(200, 'z') << QString(200, 'z');
    QTest::newRow("chinese counted by characters") << QString(201, QChar(0x4E2D)) << QString(200, QChar(0x4E2D));
}

void TestRunLog::lineShape()
{
    QFETCH(QString, message);
    QFETCH(QString, written);

    const QDateTime at(QDate(2026, 3, 4), QTime(7, 8, 9));
    Clock::setNowForTesting(at);
    writeLog(message, 0);

    const QString expected
        = QLocale::system().toString(at, QStringLiteral("hh:mm:ss ddd")) + ' ' + written + QStringLiteral("\r\n");
    QCOMPARE(QString::fromLocal8Bit(readAll(logPath(0, at.date()))), expected);
    QVERIFY(expected.startsWith("07:08:09 "));
}

void TestRunLog::oneFilePerLevelAndDay()
{
    const QDate day1(2026, 5, 31);
    const QDate day2(2026, 6, 1);
    Clock::setNowForTesting(QDateTime(day1, QTime(23, 59, 58)));
    writeLog("first", 0);
    writeLog("worker", 1);
    writeLog("second", 0);
    Clock::setNowForTesting(QDateTime(day2, QTime(0, 0, 1)));
    writeLog("next day", 0);

    QVERIFY(QFile::exists(MyDAO::dataDir() + "/log0-2026-05-31.log.txt"));
    QVERIFY(QFile::exists(MyDAO::dataDir() + "/log1-2026-05-31.log.txt"));
    QVERIFY(QFile::exists(MyDAO::dataDir() + "/log0-2026-06-01.log.txt"));
    QVERIFY(!QFile::exists(logPath(1, day2)));

    const QByteArray first = readAll(logPath(0, day1));
    QCOMPARE(first.count("\r\n"), 2);
    QVERIFY(first.contains(" first\r\n"));
    QVERIFY(first.indexOf(" first\r\n") < first.indexOf(" second\r\n"));
    QVERIFY(!first.contains("worker"));
    QVERIFY(readAll(logPath(1, day1)).endsWith(" worker\r\n"));
    QVERIFY(readAll(logPath(0, day2)).endsWith(" next day\r\n"));
}

void TestRunLog::secretsMasked_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("expected");

    QTest::newRow("token last in a url") << "https://h/toolupload/asset?flag=1&page=2&token=abc.DEF_123"
                                         << "https://h/toolupload/asset?flag=1&page=2&token=***";
    QTest::newRow("token first, other items kept") << "https://h/x?token=s3cret&itemid=9#frag"
                                                   << "https://h/x?token=***&itemid=9#frag";
    QTest::newRow("empty token left visible") << "https://h/x?token=&page=1"
                                              << "https://h/x?token=&page=1";
    QTest::newRow("similar names untouched") << "https://h/x?mytoken=1&token_type=2"
                                             << "https://h/x?mytoken=1&token_type=2";
    QTest::newRow("login body with password")
        << R"({"loginsalt":"","mac":"AA:BB","password":"pa\"ss,}w","remember_me":1,"username":"li"})"
        << R"({"loginsalt":"","mac":"AA:BB","password":"***","remember_me":1,"username":"li"})";
    QTest::newRow("remembered login body") << R"({"encryptkey":"k/e+y==","username":"li"})"
                                           << R"({"encryptkey":"***","username":"li"})";
    QTest::newRow("login reply nested in data")
        << R"({"data":{"remember_encrypt_key":"RK","token":"TK","uid":7},"errcode":0})"
        << R"({"data":{"remember_encrypt_key":"***","token":"***","uid":7},"errcode":0})";
    QTest::newRow("blanks, non-string and empty values")
        << R"({ "token" : 12345 , "password": null, "encryptkey":""})"
        << R"({ "token" : "***" , "password": "***", "encryptkey":""})";
    QTest::newRow("nothing secret") << R"({"errcode":0,"message":"ok"})"
                                    << R"({"errcode":0,"message":"ok"})";
}

void TestRunLog::secretsMasked()
{
    QFETCH(QString, message);
    QFETCH(QString, expected);

    QCOMPARE(redactSecrets(message), expected);

    const QDateTime at(QDate(2026, 1, 2), QTime(3, 4, 5));
    Clock::setNowForTesting(at);
    writeLog(message);
    const QString line = QString::fromLocal8Bit(readAll(logPath(0, at.date())));
    QVERIFY2(line.endsWith(' ' + expected.left(200) + "\r\n"), qPrintable(line));
}

void TestRunLog::userOnlyFile()
{
#ifdef Q_OS_UNIX
    writeLog("x");
    const QFile::Permissions perms = QFile::permissions(logPath(0, Clock::now().date()));
    QCOMPARE(perms & ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser), QFile::ReadOwner | QFile::WriteOwner);
#else
    QSKIP("unix permissions");
#endif
}

void TestRunLog::missingDirectoryIsSilent()
{
    QVERIFY(QDir(MyDAO::dataDir()).removeRecursively());
    writeLog("lost");
    QVERIFY(!QFile::exists(logPath(0, Clock::now().date())));
    QVERIFY(!QDir(MyDAO::dataDir()).exists());
}

class LogWriter : public QThread
{
public:
    explicit LogWriter(int n)
        : n(n)
    {
    }
    void run() override
    {
        for (int i = 0; i < 300; ++i)
            writeLog(QStringLiteral("writer %1 line %2 ").arg(n).arg(i) + QString(120, QChar('a' + n)));
    }
    int n;
};

void TestRunLog::concurrentWritersKeepLinesWhole()
{
    Clock::setNowForTesting(QDateTime(QDate(2026, 2, 2), QTime(12, 0)));
    std::vector<std::unique_ptr<LogWriter>> writers;
    for (int n = 0; n < 4; ++n) {
        writers.push_back(std::make_unique<LogWriter>(n));
        writers.back()->start();
    }
    for (auto& w : writers)
        QVERIFY(w->wait(60000));

    const QList<QByteArray> lines = readAll(logPath(0, QDate(2026, 2, 2))).split('\n');
    QCOMPARE(lines.size(), 4 * 300 + 1);
    QVERIFY(lines.last().isEmpty());
    const QRegularExpression whole(QStringLiteral("^12:00:00 \\S+ writer (\\d) line \\d+ ([a-d]){120}\r$"));
    for (int i = 0; i < lines.size() - 1; ++i) {
        const QRegularExpressionMatch m = whole.match(QString::fromLocal8Bit(lines[i]));
        QVERIFY2(m.hasMatch(), lines[i].constData());
        QCOMPARE(m.captured(2), QString(QChar('a' + m.captured(1).toInt())));
    }
}

void TestRunLog::purge_data()
{
    QTest::addColumn<qint64>("ageSecs");
    QTest::addColumn<bool>("logsDeleted");

    QTest::newRow("fresh") << qint64(0) << false;
    QTest::newRow("15 days") << qint64(15 * 86400 + 60) << false;
    QTest::newRow("15 days 23 hours") << qint64(15 * 86400 + 23 * 3600) << false;
    QTest::newRow("16 days") << qint64(16 * 86400 + 60) << true;
    QTest::newRow("40 days") << qint64(40 * 86400) << true;
}

void TestRunLog::purge()
{
    QFETCH(qint64, ageSecs);
    QFETCH(bool, logsDeleted);

    const QString dir = MyDAO::dataDir();
    const QDateTime created = QDateTime::currentDateTime();
    touch(dir + "/log0-2026-01-01.log.txt");
    touch(dir + "/log1-2026-01-01.log.txt");
    touch(dir + "/notes.txt");
    touch(dir + "/LOG0-2026-01-01.LOG.TXT");
    touch(dir + "/vtup_1.dat");
    QVERIFY(QDir().mkpath(dir + "/old.log.txt"));

    Clock::setNowForTesting(created.addSecs(ageSecs));
    purgeOldLogs(15);

    QCOMPARE(QFile::exists(dir + "/log0-2026-01-01.log.txt"), !logsDeleted);
    QCOMPARE(QFile::exists(dir + "/log1-2026-01-01.log.txt"), !logsDeleted);
    QVERIFY(QFile::exists(dir + "/notes.txt"));
    QVERIFY(QFile::exists(dir + "/LOG0-2026-01-01.LOG.TXT"));
    QVERIFY(QFile::exists(dir + "/vtup_1.dat"));
    QVERIFY(QDir(dir + "/old.log.txt").exists());
}

QTEST_GUILESS_MAIN(TestRunLog)
#include "TestRunLog.moc"
