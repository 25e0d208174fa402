#include "support/TestPaths.h"
#include "support/ToolProcess.h"
#include "tools/RarBuilder.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace rartest;

namespace {

const QByteArray kDone = QByteArray("全部完成\r\n");

using RarRun = ProcessResult;

RarRun runRar(const QStringList& args)
{
    return runProcess(testBinDir() + "/7zip/Rar", args);
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QString toBackslashes(QString path)
{
    return path.replace('/', '\\');
}

} // namespace

class TestRarTool : public QObject
{
    Q_OBJECT

private slots:
    void extractsIntoFolderNamedAfterArchive_data();
    void extractsIntoFolderNamedAfterArchive();
    void refusesUnsafeEntries_data();
    void refusesUnsafeEntries();
    void failsWithoutClosingLine_data();
    void failsWithoutClosingLine();
};

void TestRarTool::extractsIntoFolderNamedAfterArchive_data()
{
    QTest::addColumn<QByteArray>("archive");
    QTest::addColumn<bool>("backslashes");
    QTest::addColumn<QStringList>("switches");
    QTest::addColumn<QString>("expectedName");
    QTest::addColumn<QByteArray>("expectedData");
    QTest::addColumn<QString>("archiveName");
    QTest::addColumn<QString>("folderName");

    const QByteArray text("第一行\r\nsecond line\r\n");
    const QByteArray blob = QByteArray(70000, 'x') + QByteArray("\0\1\2end", 6);
    QTest::newRow("rar4 with folders") << rar4({ rarDir("docs"), rarFile("docs\\a.txt", text), rarFile("b.bin", blob) })
                                       << false << QStringList { "X", "-Y" } << "docs/a.txt" << text << "lesson.one.rar"
                                       << "lesson.one";
    QTest::newRow("rar5 with folders") << rar5({ rarDir("docs"), rarFile("docs/a.txt", text), rarFile("b.bin", blob) })
                                       << false << QStringList { "X", "-Y" } << "docs/a.txt" << text << "lesson.one.rar"
                                       << "lesson.one";
    QTest::newRow("rar5 chinese name") << rar5({ rarFile("课件/第一课.txt", text) }) << false
                                       << QStringList { "X", "-Y" } << "课件/第一课.txt" << text << "lesson.one.rar"
                                       << "lesson.one";
    RarItem unicodeName = rarFile("课件\\第一课.txt", text);
    unicodeName.unicodeName = true;
    QTest::newRow("rar4 unicode name") << rar4({ unicodeName }) << false << QStringList { "X", "-Y" }
                                       << "课件/第一课.txt" << text << "lesson.one.rar"
                                       << "lesson.one";
    QTest::newRow("rar4 chinese code page name") << rar4({ rarFile("\xbf\xce\xbc\xfe.txt", text) }) << false
                                                 << QStringList { "X", "-Y" } << "课件.txt" << text << "lesson.one.rar"
                                                 << "lesson.one";
    QTest::newRow("windows style paths") << rar4({ rarFile("b.bin", blob) }) << true << QStringList { "X", "-Y" }
                                         << "b.bin" << blob << "lesson.one.rar"
                                         << "lesson.one";
    QTest::newRow("lower case switches") << rar5({ rarFile("b.bin", blob) }) << false << QStringList { "x", "-y" }
                                         << "b.bin" << blob << "lesson.one.rar"
                                         << "lesson.one";
    QTest::newRow("archive without suffix")
        << rar5({ rarFile("b.bin", blob) }) << false << QStringList { "X", "-Y" } << "b.bin" << blob << "lesson"
        << "lesson";
    QTest::newRow("archive named by dots")
        << rar5({ rarFile("b.bin", blob) }) << false << QStringList { "X", "-Y" } << "b.bin" << blob << "..."
        << "_";
}

// The client's repack call: X -Y <archive> -AD <folder>, output read for its last line.
void TestRarTool::extractsIntoFolderNamedAfterArchive()
{
    QFETCH(QByteArray, archive);
    QFETCH(bool, backslashes);
    QFETCH(QStringList, switches);
    QFETCH(QString, expectedName);
    QFETCH(QByteArray, expectedData);
    QFETCH(QString, archiveName);
    QFETCH(QString, folderName);

    QTemporaryDir root;
    const QString archivePath = root.filePath("in/" + archiveName);
    QVERIFY(writeFile(archivePath, archive));
    const QString work = root.filePath("tmp/work");
    QVERIFY(QDir().mkpath(work));

    QStringList args = switches;
    args << (backslashes ? toBackslashes(archivePath) : archivePath);
    args << (switches.first() == "x" ? "-ad" : "-AD");
    args << (backslashes ? toBackslashes(work) : work);
    RarRun run = runRar(args);

    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.out.endsWith(kDone), run.out.constData());
    QCOMPARE(run.out.count(QByteArray("全部完成")), 1);
    QVERIFY(run.out.contains("正在解压"));
    QCOMPARE(readFile(work + "/" + folderName + "/" + expectedName), expectedData);
    QCOMPARE(QDir(work).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList { folderName });
    QCOMPARE(QDir(root.filePath("tmp")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList { "work" });
}

void TestRarTool::refusesUnsafeEntries_data()
{
    QTest::addColumn<QByteArray>("archive");
    QTest::addColumn<QString>("outsidePath"); // relative to the temp root, or absolute

    QTemporaryDir probe; // only for a unique absolute name below the system temp folder
    const QString absolute = QDir::tempPath() + "/rar-abs-" + QFileInfo(probe.path()).fileName() + ".txt";

    QTest::newRow("rar4 dot dot") << rar4({ rarFile("ok.txt", "fine"), rarFile("..\\..\\escape.txt", "bad") })
                                  << "escape.txt";
    QTest::newRow("rar5 dot dot") << rar5({ rarFile("ok.txt", "fine"), rarFile("../../escape.txt", "bad") })
                                  << "escape.txt";
    QTest::newRow("rar5 dot dot one level") << rar5({ rarFile("../escape.txt", "bad") }) << "tmp/escape.txt";
    QTest::newRow("rar5 absolute") << rar5({ rarFile(absolute.toUtf8(), "bad") }) << absolute;
    QTest::newRow("rar4 symlink out") << rar4(
        { RarItem { "link", QDir::tempPath().toUtf8(), RarItem::Symlink, false } })
                                      << "tmp/lesson/link";
}

// An entry that would land outside the extraction folder is never written, and the run fails.
void TestRarTool::refusesUnsafeEntries()
{
    QFETCH(QByteArray, archive);
    QFETCH(QString, outsidePath);

    QTemporaryDir root;
    const QString archivePath = root.filePath("lesson.rar");
    QVERIFY(writeFile(archivePath, archive));
    const QString work = root.filePath("tmp");
    QVERIFY(QDir().mkpath(work));
    const QString outside = QDir::isAbsolutePath(outsidePath) ? outsidePath : root.filePath(outsidePath);

    RarRun run = runRar({ "X", "-Y", archivePath, "-AD", work });
    const bool escaped = QFileInfo(outside).exists() || QFileInfo(outside).isSymLink();
    QFile::remove(outside);

    QVERIFY(!escaped);
    QVERIFY(run.exitCode != 0);
    QVERIFY2(!run.out.contains("全部完成"), run.out.constData());
}

void TestRarTool::failsWithoutClosingLine_data()
{
    QTest::addColumn<QByteArray>("archive"); // empty: no file written
    QTest::addColumn<QStringList>("extraArgs"); // empty: the usual command line

    const QByteArray good = rar4({ rarFile("a.txt", QByteArray(4000, 'a')) });
    QByteArray badData4 = good;
    badData4[badData4.size() - 100] = 'b';
    QByteArray badData5 = rar5({ rarFile("a.txt", QByteArray(4000, 'a')) });
    badData5[badData5.size() - 100] = 'b';
    QByteArray badHeader = good;
    badHeader[7 + 13 + 10] = static_cast<char>(badHeader[7 + 13 + 10] ^ 0x55);

    RarItem secret = rarFile("secret.txt", "0123456789abcdef");
    secret.encrypted = true;

    QTest::newRow("missing archive") << QByteArray() << QStringList();
    QTest::newRow("garbage") << QByteArray("this is not an archive at all, just text") << QStringList();
    QTest::newRow("zip, not rar") << QByteArray("PK\x03\x04\x14\0\0\0\0\0", 10) << QStringList();
    QTest::newRow("only the marker") << QByteArray("Rar!\x1a\x07\x00", 7) << QStringList();
    QTest::newRow("truncated data") << good.left(good.size() - 1500) << QStringList();
    QTest::newRow("rar4 stored data damaged") << badData4 << QStringList();
    QTest::newRow("rar5 stored data damaged") << badData5 << QStringList();
    QTest::newRow("header crc wrong") << badHeader << QStringList();
    QTest::newRow("encrypted entry") << rar4({ secret }) << QStringList();
    QTest::newRow("empty archive") << rar5({}) << QStringList();
    QTest::newRow("no arguments") << good << QStringList { "" };
    QTest::newRow("unknown command") << good << QStringList { "E", "-Y", "@archive", "-AD", "@work" };
    QTest::newRow("unknown switch") << good << QStringList { "X", "-P", "@archive", "-AD", "@work" };
    QTest::newRow("too many paths") << good << QStringList { "X", "-Y", "@archive", "-AD", "@work", "@work" };
}

void TestRarTool::failsWithoutClosingLine()
{
    QFETCH(QByteArray, archive);
    QFETCH(QStringList, extraArgs);

    QTemporaryDir root;
    const QString archivePath = root.filePath("lesson.rar");
    if (!archive.isEmpty())
        QVERIFY(writeFile(archivePath, archive));
    const QString work = root.filePath("tmp");
    QVERIFY(QDir().mkpath(work));

    QStringList args { "X", "-Y", archivePath, "-AD", work };
    if (!extraArgs.isEmpty()) {
        args.clear();
        for (const QString& arg : extraArgs) {
            if (!arg.isEmpty())
                args << (arg == "@archive" ? archivePath : arg == "@work" ? work : arg);
        }
    }
    RarRun run = runRar(args);

    QVERIFY2(run.exitCode > 0, run.out.constData());
    QVERIFY2(!run.out.contains("全部完成"), run.out.constData());
    QVERIFY(!run.out.isEmpty()); // the user-facing log needs a reason
}

QTEST_GUILESS_MAIN(TestRarTool)
#include "TestRarTool.moc"
