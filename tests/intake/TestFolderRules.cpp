#include "IntakeTestKit.h"
#include "intake/ExternalTools.h"
#include "intake/FileTypes.h"
#include "intake/FolderRules.h"
#include "net/MyDAO.h"
#include "support/TestPaths.h"

#include <QTemporaryDir>
#include <QtTest>
#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace intaketest;

namespace {

// A file of `size` bytes without writing them (sparse), so 2 GiB cost nothing.
bool sparseFile(const QString& path, qint64 size)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.resize(size);
}

void chain(const QString& root, int depth, const QString& leafFile)
{
    QString dir = root;
    for (int i = 0; i < depth; ++i)
        dir += QString("/l%1").arg(i + 2);
    QDir().mkpath(dir);
    if (!leafFile.isEmpty())
        writeFile(dir + "/" + leafFile, "x");
}

// Builds the folder shape of one row below `root`.
void build(const QString& shape, const QString& root, const QString& outside)
{
    QDir().mkpath(root);
    if (shape == "200 files, 2 GiB") {
        sparseFile(root + "/big.mp4", kMaxFolderSize - 199);
        for (int i = 0; i < 199; ++i)
            writeFile(QString("%1/s%2.pdf").arg(root).arg(i), "x");
    } else if (shape == "201 files") {
        for (int i = 0; i < 201; ++i)
            writeFile(QString("%1/sub%2/f%3.docx").arg(root).arg(i % 3).arg(i), "x");
    } else if (shape == "2 GiB + 1") {
        sparseFile(root + "/a.mp4", kMaxFolderSize / 2);
        sparseFile(root + "/b/b.mp4", kMaxFolderSize / 2 + 1);
    } else if (shape == "level 10") {
        chain(root, 9, "deep.pdf");
    } else if (shape == "level 11") {
        chain(root, 10, "deep.pdf");
    } else if (shape == "many siblings") {
        for (int i = 0; i < 40; ++i)
            writeFile(QString("%1/s%2/t/f.png").arg(root).arg(i), "x");
    } else if (shape == "ogg inside") {
        writeFile(root + "/song.ogg", "x");
    } else if (shape == "zip inside") {
        writeFile(root + "/a.pdf", "x");
        writeFile(root + "/sub/old.zip", "x");
    } else if (shape == "tar.gz inside") {
        writeFile(root + "/a.tar.gz", "x");
    } else if (shape == "upper-case suffix") {
        writeFile(root + "/A.PDF", "x");
    } else if (shape == "symlinks ignored") {
        writeFile(root + "/real.pdf", "x");
        writeFile(outside + "/song.ogg", "x");
        writeFile(outside + "/deep/a.zip", "x");
        QFile::link(outside + "/song.ogg", root + "/song.ogg");
        QFile::link(outside + "/deep", root + "/deep");
    } else if (shape == "empty") {
        // nothing inside
    } else if (shape == "hidden entries left out") {
        writeFile(root + "/a.pdf", "x");
        writeFile(root + "/.DS_Store", "x");
    }
}

#ifdef Q_OS_UNIX
// Files under names given as raw bytes, which need not be valid UTF-8.
bool rawFile(const QByteArray& path)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    return fd >= 0 && ::write(fd, "PK", 2) == 2 && ::close(fd) == 0;
}
#endif

// Builds one hostile folder below `dir` and returns the path to drop. Every row keeps a
// decoy (a file named "decoy...") that must never reach the zip.
QString buildHostile(const QString& shape, const QTemporaryDir& dir)
{
    const QString outside = dir.filePath("outside");
    writeFile(outside + "/decoy-private.docx", "private");
    if (shape == "wildcard folder name") {
        writeFile(dir.filePath("Unit*/a.docx"), "a");
        writeFile(dir.filePath("UnitX/decoy.docx"), "x");
        return dir.filePath("Unit*");
    }
    const QString root = dir.filePath("Drop");
    writeFile(root + "/a.docx", "a");
    if (shape == "wildcard and switch-like file names") {
        writeFile(root + "/*.docx", "star");
        writeFile(root + "/-r.pdf", "dash");
        writeFile(root + "/@list.pdf", "at");
        writeFile(root + "/ blank \"quoted\" .pdf", "blank");
        writeFile(root + "/.decoy.docx", "hidden, matched by *.docx");
#ifdef Q_OS_UNIX
    } else if (shape == "undecodable names") {
        const QByteArray raw = QFile::encodeName(root);
        QDir().mkpath(root);
        ::mkdir((raw + "/\xfe\xfd").constData(), 0755);
        rawFile(raw + "/\xfe\xfd/decoy-real.zip");
        rawFile(raw + "/\xfe\xfd/decoy.exe");
    } else if (shape == "fifo") {
        ::mkfifo(QFile::encodeName(root + "/decoy-pipe.docx").constData(), 0644);
#endif
    } else if (shape == "links to outside") {
        QFile::link(outside + "/decoy-private.docx", root + "/decoy-key.docx");
        QFile::link(outside, root + "/decoy-dir");
    } else if (shape == "line break in a name") {
        writeFile(root + "/decoy\nb.pdf", "b");
    }
    return root;
}

} // namespace

class TestFolderRules : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void rules_data();
    void rules();
    void droppedFiles_data();
    void droppedFiles();
    void droppedFolders();
    void hostileFolders_data();
    void hostileFolders();
};

void TestFolderRules::initTestCase()
{
    qputenv("VANTREL_APPDIR", testBinDir().toUtf8());
    MyDAO::instance();
}

void TestFolderRules::cleanup()
{
    qputenv("VANTREL_APPDIR", testBinDir().toUtf8());
}

void TestFolderRules::rules_data()
{
    QTest::addColumn<QString>("shape");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("files");
    QTest::newRow("200 files, 2 GiB") << "200 files, 2 GiB" << true << "" << 200;
    QTest::newRow("201 files") << "201 files" << false << QString::fromUtf8("文件夹内文件太多，最多允许200个文件")
                               << 200;
    QTest::newRow("2 GiB + 1") << "2 GiB + 1" << false << QString::fromUtf8("文件夹最大允许2G大小") << 1;
    QTest::newRow("level 10") << "level 10" << true << "" << 1;
    QTest::newRow("level 11") << "level 11" << false << QString::fromUtf8("文件夹层级目录太深") << 0;
    QTest::newRow("many siblings") << "many siblings" << true << "" << 40;
    QTest::newRow("ogg inside") << "ogg inside" << false << QString::fromUtf8("文件夹含有不支持的其他格式文件") << 0;
    QTest::newRow("zip inside") << "zip inside" << false << QString::fromUtf8("文件夹内不允许含有压缩包") << 1;
    QTest::newRow("tar.gz inside") << "tar.gz inside" << false << QString::fromUtf8("文件夹内不允许含有压缩包") << 0;
    QTest::newRow("upper-case suffix") << "upper-case suffix" << true << "" << 1;
    QTest::newRow("symlinks ignored") << "symlinks ignored" << true << "" << 1;
    QTest::newRow("empty") << "empty" << true << "" << 0;
    QTest::newRow("hidden entries left out") << "hidden entries left out" << true << "" << 1;
}

void TestFolderRules::rules()
{
    QFETCH(QString, shape);
    QFETCH(bool, ok);
    QFETCH(QString, message);
    QFETCH(int, files);
    QTemporaryDir dir;
    const QString root = dir.filePath("Drop");
    build(shape, root, dir.filePath("outside"));

    QStringList list;
    int count = 0;
    qint64 total = 0;
    bool good = true;
    QString why;
    checkFolder(QFileInfo(root), list, count, total, 1, allowedSuffixes(), good, why);
    QCOMPARE(good, ok);
    QCOMPARE(why, message);
    QCOMPARE(count, files);
    QCOMPARE(list.size(), files);
    for (const QString& f : list) {
        QVERIFY(QFileInfo(f).isAbsolute());
        QVERIFY(!QFileInfo(f).isSymLink());
    }
    if (shape == "200 files, 2 GiB")
        QCOMPARE(total, kMaxFolderSize);

    // Once failed, a folder is not entered again.
    if (!ok) {
        QStringList more;
        checkFolder(QFileInfo(root), more, count, total, 1, allowedSuffixes(), good, why);
        QCOMPARE(more, QStringList());
    }
}

void TestFolderRules::droppedFiles_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("upper-case PDF") << "A.PDF" << qint64(2000) << true;
    QTest::newRow("tar.gz by last suffix") << "a.tar.gz" << qint64(2000) << false;
    QTest::newRow("bz2") << "a.bz2" << qint64(2000) << false;
    QTest::newRow("7z") << "a.7z" << qint64(2000) << true;
    QTest::newRow("ogg") << "a.ogg" << qint64(2000) << false;
    QTest::newRow("exactly 2 GiB") << "big.mp4" << kMaxDroppedFileSize << true;
    QTest::newRow("over 2 GiB") << "huge.mp4" << kMaxDroppedFileSize + 1 << false;
    QTest::newRow("no suffix") << "README" << qint64(2000) << false;
}

void TestFolderRules::droppedFiles()
{
    QFETCH(QString, name);
    QFETCH(qint64, size);
    QFETCH(bool, accepted);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    QVERIFY(sparseFile(path, size));
    QStringList errors;
    QCOMPARE(acceptDroppedPath(path, allowedSuffixes(), MyDAO::tmpDir(), errors), accepted ? path : QString());
    QCOMPARE(errors, QStringList()); // files are skipped without a message

    // The same file reached through a link is not taken.
    QVERIFY(QFile::link(path, dir.filePath("link-" + name)));
    QCOMPARE(acceptDroppedPath(dir.filePath("link-" + name), allowedSuffixes(), MyDAO::tmpDir(), errors), QString());
    QCOMPARE(acceptDroppedPath(QString(), allowedSuffixes(), MyDAO::tmpDir(), errors), QString());
    QCOMPARE(errors, QStringList());
}

void TestFolderRules::droppedFolders()
{
    QTemporaryDir dir;
    const QStringList allowed = allowedSuffixes();
    QStringList errors;

    // A good folder becomes a zip of the tmp directory named after it.
    QVERIFY(writeFile(dir.filePath("Unit 1/a.docx"), "a"));
    const QString zip = acceptDroppedPath(dir.filePath("Unit 1"), allowed, MyDAO::tmpDir(), errors);
    QCOMPARE(zip, MyDAO::tmpDir() + "Unit 1.zip");
    QCOMPARE(archiveNames(zip), QStringList { "a.docx" });

    // An empty folder is handed to packing as well.
    QDir().mkpath(dir.filePath("Empty"));
    QCOMPARE(acceptDroppedPath(dir.filePath("Empty"), allowed, MyDAO::tmpDir(), errors), MyDAO::tmpDir() + "Empty.zip");
    QCOMPARE(errors, QStringList());

    // A refused folder is not packed and says why.
    QVERIFY(writeFile(dir.filePath("Bad/x.rar"), "x"));
    QCOMPARE(acceptDroppedPath(dir.filePath("Bad"), allowed, MyDAO::tmpDir(), errors), QString());
    QCOMPARE(errors, QStringList { QString::fromUtf8("文件夹内不允许含有压缩包") });
    QVERIFY(!QFileInfo::exists(MyDAO::tmpDir() + "Bad.zip"));

    // Packing that fails is reported with the folder's name.
    QTemporaryDir appdir;
    QVERIFY(writeScript(appdir.path(), "7zip/7z", "echo 'ERROR: cannot write'; exit 2"));
    qputenv("VANTREL_APPDIR", appdir.path().toUtf8());
    errors.clear();
    QVERIFY(writeFile(dir.filePath("Week 2/a.pdf"), "a"));
    QCOMPARE(acceptDroppedPath(dir.filePath("Week 2"), allowed, MyDAO::tmpDir(), errors), QString());
    QCOMPARE(errors, QStringList { QString::fromUtf8("Week 2\r\n文件夹打包压缩失败!") });
}

void TestFolderRules::hostileFolders_data()
{
    QTest::addColumn<QString>("shape");
    QTest::addColumn<QStringList>("packed"); // empty: refused with the message below
    QTest::addColumn<QString>("message");
    const QString unsupported = QString::fromUtf8("文件夹含有不支持的其他格式文件");
    QTest::newRow("wildcard folder name") << "wildcard folder name" << QStringList { "a.docx" } << "";
    QTest::newRow("wildcard and switch-like file names")
        << "wildcard and switch-like file names"
        << QStringList { " blank \"quoted\" .pdf", "*.docx", "-r.pdf", "@list.pdf", "a.docx" } << "";
    QTest::newRow("undecodable names") << "undecodable names" << QStringList() << unsupported;
    QTest::newRow("fifo") << "fifo" << QStringList { "a.docx" } << "";
    QTest::newRow("links to outside") << "links to outside" << QStringList { "a.docx" } << "";
    QTest::newRow("line break in a name") << "line break in a name" << QStringList() << unsupported;
}

void TestFolderRules::hostileFolders()
{
    QFETCH(QString, shape);
    QFETCH(QStringList, packed);
    QFETCH(QString, message);
#ifndef Q_OS_UNIX
    if (shape == "undecodable names" || shape == "fifo" || shape == "line break in a name")
        QSKIP("names in bytes, pipes and line breaks are for Unix file systems");
#endif
    QTemporaryDir dir;
    const QString drop = buildHostile(shape, dir);
    // A tool that blocks (on a pipe, say) gives up soon instead of after minutes.
    setSevenZipTimeoutMs(10000);
    QStringList errors;
    const QString zip = acceptDroppedPath(drop, allowedSuffixes(), MyDAO::tmpDir(), errors);
    setSevenZipTimeoutMs(10 * 60 * 1000);
    if (packed.isEmpty()) {
        QCOMPARE(zip, QString());
        QCOMPARE(errors, QStringList { message });
        return;
    }
    QCOMPARE(errors, QStringList());
    QVERIFY(zip.startsWith(MyDAO::tmpDir()));
    QStringList names = archiveNames(zip);
    names.sort();
    QCOMPARE(names, packed);
    // Not a byte of the decoys: not their names, not link targets.
    QFile f(zip);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    QVERIFY(!bytes.contains("decoy"));
    QVERIFY(!bytes.contains(QFile::encodeName(dir.path())));
}

QTEST_GUILESS_MAIN(TestFolderRules)
#include "TestFolderRules.moc"
