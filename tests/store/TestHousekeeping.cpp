// Start-up housekeeping of the tmp folder and the run logs. Files cannot be made older
// than they are, so "now" is moved forward instead.

#include "app/Clock.h"
#include "net/MyDAO.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

namespace {

bool touch(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write("x");
    return true;
}

QDateTime createdAt(const QString& path)
{
    QFileInfo info(path);
    return info.birthTime().isValid() ? info.birthTime() : info.lastModified();
}

} // namespace

class TestHousekeeping : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // The start itself cleans up: a stale file left from an earlier run is gone once the
        // data-access object exists.
        QVERIFY(QDir().mkpath(MyDAO::tmpDir()));
        const QString stale = MyDAO::tmpDir() + "left-over.zip.tempfile";
        QVERIFY(touch(stale));
        Clock::setNowForTesting(createdAt(stale).addDays(9));
        MyDAO::instance();
        Clock::setNowForTesting(QDateTime());
        QVERIFY(!QFileInfo::exists(stale));
        QVERIFY(QFileInfo::exists(MyDAO::databasePath()));
    }

    void init()
    {
        QDir tmp(MyDAO::tmpDir());
        tmp.removeRecursively();
        QVERIFY(QDir().mkpath(MyDAO::tmpDir()));
    }

    void cleanup() { Clock::setNowForTesting(QDateTime()); }

    void cleanWorkFiles_data()
    {
        QTest::addColumn<bool>("inTmp");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("folder");
        QTest::addColumn<int>("ageDays");
        QTest::addColumn<bool>("removed");
        QTest::newRow("submitted file at 8 days") << true << "卷子.zip.tempfile" << false << 8 << true;
        QTest::newRow("submitted file at 7 days") << true << "卷子.zip.tempfile" << false << 7 << false;
        QTest::newRow("suffix is case-sensitive") << true << "a.zip.TEMPFILE" << false << 8 << false;
        QTest::newRow("working file at 8 days") << true << "packed.zip" << false << 8 << false;
        QTest::newRow("working file at 45 days") << true << "packed.zip" << false << 45 << false;
        QTest::newRow("working file at 46 days") << true << "packed.zip" << false << 46 << true;
        QTest::newRow("hidden working file at 46 days") << true << ".partial" << false << 46 << true;
        QTest::newRow("folder stays") << true << "unpacked" << true << 60 << false;
        QTest::newRow("run log at 16 days") << false << "log0-2026-01-01.log.txt" << false << 16 << true;
        QTest::newRow("run log at 15 days") << false << "log1-2026-01-01.log.txt" << false << 15 << false;
        QTest::newRow("other data file at 16 days") << false << "notes.txt" << false << 16 << false;
    }

    void cleanWorkFiles()
    {
        QFETCH(bool, inTmp);
        QFETCH(QString, name);
        QFETCH(bool, folder);
        QFETCH(int, ageDays);
        QFETCH(bool, removed);
        const QString path = (inTmp ? MyDAO::tmpDir() : MyDAO::dataDir() + "/") + name;
        QFile::remove(path);
        QVERIFY(folder ? QDir().mkpath(path) : touch(path));
        // An hour past the whole days, well clear of the day boundary.
        Clock::setNowForTesting(createdAt(path).addSecs(qint64(ageDays) * 86400 + 3600));

        MyDAO::instance()->cleanWorkFiles(45);

        QCOMPARE(QFileInfo::exists(path), !removed);
        QFile::remove(path);
    }
};

QTEST_MAIN(TestHousekeeping)
#include "TestHousekeeping.moc"
