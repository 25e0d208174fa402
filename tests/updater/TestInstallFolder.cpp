// What either program's start does with the files an update may have left: a missing or
// broken program is replaced by its backup, a backup goes only when the program beside it is
// the same or has shown it works (velwick puts an unproven program's backup back instead),
// and leftover downloads go.
#include "updater/InstallFolder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QByteArray kOld = QByteArray("\x7f"
                                   "ELF old");
const QByteArray kNew = QByteArray("\x7f"
                                   "ELF new");

void put(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    f.close();
    QVERIFY(f.setPermissions(f.permissions() | QFile::ExeOwner));
}

QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(none)");
}

} // namespace

class TestInstallFolder : public QObject
{
    Q_OBJECT

private slots:
    void recover_data();
    void recover();
};

void TestInstallFolder::recover_data()
{
    QTest::addColumn<QByteArray>("main"); // empty: missing
    QTest::addColumn<QByteArray>("backup"); // empty: none
    QTest::addColumn<int>("how");
    QTest::addColumn<QByteArray>("mainAfter");
    QTest::addColumn<bool>("backupAfter");

    const int keep = int(InstallFolder::Unproven::Keep);
    const int drop = int(InstallFolder::Unproven::Drop);
    const int undo = int(InstallFolder::Unproven::Undo);
    QTest::newRow("program missing") << QByteArray() << kOld << keep << kOld << false;
    QTest::newRow("program no program") << QByteArray("<html>") << kOld << keep << kOld << false;
    QTest::newRow("backup same as program") << kOld << kOld << undo << kOld << false;
    QTest::newRow("new program starting") << kNew << kOld << keep << kNew << true;
    QTest::newRow("new program up") << kNew << kOld << drop << kNew << false;
    QTest::newRow("new program never shown to work") << kNew << kOld << undo << kOld << false;
    QTest::newRow("backup no program either")
        << QByteArray("<html>") << QByteArray("<html>") << undo << QByteArray("<html>") << true;
    QTest::newRow("no backup") << kNew << QByteArray() << undo << kNew << false;
}

void TestInstallFolder::recover()
{
    QFETCH(QByteArray, main);
    QFETCH(QByteArray, backup);
    QFETCH(int, how);
    QFETCH(QByteArray, mainAfter);
    QFETCH(bool, backupAfter);

    QTemporaryDir dir;
    InstallFolder folder(dir.path());
    if (!main.isEmpty())
        put(folder.mainPath(), main);
    if (!backup.isEmpty())
        put(folder.backupPath(), backup);
    // Downloads of any version go; other files stay.
    put(folder.downloadPath("2.29.0.210301"), kNew);
    put(folder.downloadPath("2.27.0.1-rc1"), kNew.left(5));
    put(dir.path() + "/velwick", kOld);
    QVERIFY(QDir(dir.path()).mkdir("resources"));

    folder.recover(InstallFolder::Unproven(how));
    QCOMPARE(contents(folder.mainPath()), mainAfter);
    QCOMPARE(QFile::exists(folder.backupPath()), backupAfter);
    QStringList expected { QFileInfo(folder.mainPath()).fileName(), "resources", "velwick" };
    if (backupAfter)
        expected << QFileInfo(folder.backupPath()).fileName();
    expected.sort();
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name), expected);
}

QTEST_GUILESS_MAIN(TestInstallFolder)
#include "TestInstallFolder.moc"
