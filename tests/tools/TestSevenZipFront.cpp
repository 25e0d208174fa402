#include "intake/ArchiveEntry.h"
#include "net/MyDAO.h"
#include "support/TestPaths.h"
#include "support/ToolProcess.h"
#include "tools/RarBuilder.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using namespace rartest;

namespace {

const char* const kSeparator = "------------------- ----- ------------ ------------  ------------------------";

using Run = ProcessResult;

QString frontPath()
{
    return testBinDir() + "/7zip/7z";
}

// Runs a program with stdin left open (so a password prompt that read it would never end) and
// TZ=UTC, so the times written in the archives come out as written.
Run runProgram(const QString& program, const QStringList& args, const QString& path = QString(),
               const QByteArray& input = QByteArray())
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TZ", "UTC");
    if (!path.isNull())
        env.insert("PATH", path);
    return runProcess(program, args, 120000, env, input);
}

Run runFront(const QStringList& args, const QString& path = QString(), const QByteArray& input = QByteArray())
{
    return runProgram(frontPath(), args, path, input);
}

// The value after "<key>:" on its own line, as the client reads it; -1 when missing.
qint64 countLine(const QByteArray& out, const QByteArray& key)
{
    for (const QByteArray& line : out.split('\n')) {
        if (line.startsWith(key + ":"))
            return line.mid(key.size() + 1).trimmed().toLongLong();
    }
    return -1;
}

// The lines between the two separators, as the client collects them.
QStringList tableLines(const QByteArray& out)
{
    QStringList lines;
    int separators = 0;
    for (QString line : QString::fromUtf8(out).split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line == QLatin1String(kSeparator)) {
            ++separators;
            continue;
        }
        if (separators == 1)
            lines.append(line);
    }
    return separators >= 2 ? lines : QStringList { "<no closing separator>" };
}

QString describe(const ArchiveEntry& e)
{
    return QString("%1|%2|%3").arg(e.isDir() ? "D" : "F").arg(e.name).arg(e.size);
}

QString systemSevenZip()
{
    const QString zz = QStandardPaths::findExecutable("7zz");
    return zz.isEmpty() ? QStandardPaths::findExecutable("7z") : zz;
}

QByteArray sampleText()
{
    return QByteArray("第一行\r\nsecond line\r\n");
}

QByteArray sampleBlob()
{
    return QByteArray(70000, 'x') + QByteArray("\0\1\2end", 6);
}

RarItem unicodeFile(const QByteArray& name, const QByteArray& data)
{
    RarItem item = rarFile(name, data);
    item.unicodeName = true;
    return item;
}

} // namespace

class TestSevenZipFront : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void rarArchives_data();
    void testsRar();
    void listsRar();
    void listsRar_data() { rarArchives_data(); }
    void testsRar_data() { rarArchives_data(); }
    void refusesBadRar_data();
    void refusesBadRar();
    void passesThrough_data();
    void passesThrough();
    void passThroughKeepsStdin();
    void neverRunsItself_data();
    void neverRunsItself();
    void clientAcceptsRar_data();
    void clientAcceptsRar();
    void clientCountsRarEntries_data();
    void clientCountsRarEntries();

private:
    QTemporaryDir work;
};

void TestSevenZipFront::initTestCase()
{
    QVERIFY(work.isValid());
    QVERIFY2(QFileInfo(frontPath()).isExecutable(), qPrintable(frontPath()));
    QVERIFY2(!systemSevenZip().isEmpty(), "the system's 7-Zip is needed");
}

// Each archive with its entries as "D|name|0" / "F|name|size", in archive order.
void TestSevenZipFront::rarArchives_data()
{
    QTest::addColumn<QByteArray>("archive");
    QTest::addColumn<QStringList>("entries");

    const QByteArray text = sampleText();
    const QByteArray blob = sampleBlob();
    const QString textSize = QString::number(text.size());
    const QString blobSize = QString::number(blob.size());
    QTest::newRow("rar4 folders and files")
        << rar4({ rarDir("docs"), rarFile("docs\\a.txt", text), rarFile("b.bin", blob) })
        << QStringList { "D|docs|0", "F|docs/a.txt|" + textSize, "F|b.bin|" + blobSize };
    QTest::newRow("rar5 folders and files")
        << rar5({ rarDir("docs"), rarDir("docs/sub"), rarFile("docs/sub/a.txt", text), rarFile("b.bin", blob) })
        << QStringList { "D|docs|0", "D|docs/sub|0", "F|docs/sub/a.txt|" + textSize, "F|b.bin|" + blobSize };
    QTest::newRow("rar5 chinese names with blanks")
        << rar5({ rarDir("课件 一"), rarFile("课件 一/第一 课.txt", text), rarFile("  lead.txt", "x") })
        << QStringList { "D|课件 一|0", "F|课件 一/第一 课.txt|" + textSize, "F|  lead.txt|1" };
    QTest::newRow("rar4 unicode names") << rar4(
        { unicodeFile("课件\\第一 课.txt", text), unicodeFile("b c.bin", blob) })
                                        << QStringList { "F|课件/第一 课.txt|" + textSize, "F|b c.bin|" + blobSize };
    QTest::newRow("rar4 chinese code page name")
        << rar4({ rarFile("\xbf\xce\xbc\xfe.txt", text) }) << QStringList { "F|课件.txt|" + textSize };
    QTest::newRow("rar5 empty file") << rar5({ rarFile("empty.txt", QByteArray()) }) << QStringList { "F|empty.txt|0" };
}

void TestSevenZipFront::testsRar()
{
    QFETCH(QByteArray, archive);
    QFETCH(QStringList, entries);
    const QString path = work.filePath(QString("test-%1.rar").arg(QTest::currentDataTag()));
    QVERIFY(writeFile(path, archive));

    // As the client runs it: names literal.
    const Run run = runFront({ "t", path, "-spd" });
    QVERIFY2(run.out.contains("Everything is Ok"), run.out.constData());
    QCOMPARE(run.exitCode, 0);
    QVERIFY(!run.out.contains("ERROR"));
    qint64 folders = 0, files = 0, size = 0;
    for (const QString& e : entries) {
        (e.startsWith('D') ? folders : files) += 1;
        size += e.section('|', 2).toLongLong();
    }
    QCOMPARE(countLine(run.out, "Folders"), folders);
    QCOMPARE(countLine(run.out, "Files"), files);
    QCOMPARE(countLine(run.out, "Size"), size);
    QCOMPARE(countLine(run.out, "Compressed"), qint64(archive.size()));
    // The summary comes after the verdict, as 7-Zip prints it.
    QVERIFY(run.out.indexOf("Everything is Ok") < run.out.indexOf("Files:"));
}

void TestSevenZipFront::listsRar()
{
    QFETCH(QByteArray, archive);
    QFETCH(QStringList, entries);
    const QString path = work.filePath(QString("list-%1.rar").arg(QTest::currentDataTag()));
    QVERIFY(writeFile(path, archive));

    const Run run = runFront({ "l", path, "-spd" });
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(!run.out.contains("ERROR"), run.out.constData());
    const QStringList lines = tableLines(run.out);
    QStringList got;
    for (const QString& line : lines) {
        // Fixed columns: a stored entry's compressed size equals its size.
        QCOMPARE(line.size() > 53 ? line.mid(26, 12) : QString(), line.mid(39, 12));
        QCOMPARE(line.mid(53 - 2, 2), QString("  "));
        const QList<ArchiveEntry> parsed = parseArchiveEntries(line);
        QCOMPARE(parsed.size(), 1);
        const ArchiveEntry& e = parsed.first();
        QCOMPARE(e.date, QString("2024-01-01"));
        QCOMPARE(e.time, QString("00:00:00"));
        QCOMPARE(e.attr, QString(e.isDir() ? "D...." : "....A"));
        got.append(describe(e));
    }
    QCOMPARE(got, entries);
}

void TestSevenZipFront::refusesBadRar_data()
{
    QTest::addColumn<QByteArray>("archive");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QByteArray>("expected"); // must be in the output

    const QByteArray password("Enter password");
    const QByteArray error("ERROR");
    RarItem secret = rarFile("secret.txt", "0123456789abcdef");
    secret.encrypted = true;
    const QByteArray encrypted = rar4({ rarFile("open.txt", "open"), secret });

    const QByteArray good4 = rar4({ rarFile("a.txt", QByteArray(4000, 'a')) });
    QByteArray badData4 = good4;
    badData4[badData4.size() - 100] = 'b';
    QByteArray badData5 = rar5({ rarDir("d"), rarFile("d/a.txt", QByteArray(4000, 'a')) });
    badData5[badData5.size() - 100] = 'b';
    QByteArray badHeader4 = good4;
    badHeader4[7 + 13 + 10] = static_cast<char>(badHeader4[7 + 13 + 10] ^ 0x55);
    const QByteArray truncated5 = rar5({ rarFile("a.txt", QByteArray(4000, 'a')) }).left(200);
    const QByteArray magicOnly("Rar!\x1a\x07\x01\x00garbage that is no header at all", 40);

    // The main header's "headers encrypted" flag, its checksum made to match again.
    QByteArray headersEncrypted = rar4({ rarFile("a.txt", "a") });
    headersEncrypted[10] = static_cast<char>(headersEncrypted[10] | 0x80);
    const quint32 mainCrc = crc32(headersEncrypted.mid(9, 11));
    headersEncrypted[7] = static_cast<char>(mainCrc & 0xFF);
    headersEncrypted[8] = static_cast<char>((mainCrc >> 8) & 0xFF);

    QTest::newRow("encrypted, test") << encrypted << "t" << password;
    QTest::newRow("encrypted headers, test") << headersEncrypted << "t" << password;
    QTest::newRow("encrypted headers, list") << headersEncrypted << "l" << password;
    QTest::newRow("bad data rar4, test") << badData4 << "t" << error;
    QTest::newRow("bad data rar5, test") << badData5 << "t" << error;
    QTest::newRow("bad header rar4, test") << badHeader4 << "t" << error;
    QTest::newRow("bad header rar4, list") << badHeader4 << "l" << error;
    QTest::newRow("truncated rar5, test") << truncated5 << "t" << error;
    QTest::newRow("magic then garbage, test") << magicOnly << "t" << error;
    QTest::newRow("magic then garbage, list") << magicOnly << "l" << error;
    QTest::newRow("rar magic alone, test") << QByteArray("Rar!") << "t" << error;
    // Cut off right after a whole entry: the library alone would call it complete.
    const QByteArray two5 = rar5({ rarFile("a.txt", "first"), rarFile("b.txt", "second") });
    const QByteArray two4 = rar4({ rarFile("a.txt", "first"), rarFile("b.txt", "second") });
    const int end5 = 8, end4 = 7; // size of the end-of-archive block
    const QByteArray one5 = rar5({ rarFile("a.txt", "first") }).chopped(end5);
    const QByteArray one4 = rar4({ rarFile("a.txt", "first") }).chopped(end4);
    QVERIFY(two5.startsWith(one5) && two4.startsWith(one4) && two5.size() > one5.size() + end5);
    QVERIFY(rar5({}).endsWith(two5.right(end5)) && rar4({}).endsWith(two4.right(end4)));
    QTest::newRow("rar5 cut after an entry, test") << one5 << "t" << error;
    QTest::newRow("rar4 cut after an entry, list") << one4 << "l" << error;
    QTest::newRow("rar5 without end block, test") << two5.chopped(end5) << "t" << error;
    QTest::newRow("rar4 without end block, test") << two4.chopped(end4) << "t" << error;
}

// No verdict of success; the client reads the password prompt or an error line.
void TestSevenZipFront::refusesBadRar()
{
    QFETCH(QByteArray, archive);
    QFETCH(QString, command);
    QFETCH(QByteArray, expected);
    const QString path = work.filePath(QString("bad-%1.rar").arg(QTest::currentDataTag()));
    QVERIFY(writeFile(path, archive));

    const Run run = runFront({ command, path });
    QVERIFY2(run.out.contains(expected), run.out.constData());
    QVERIFY(!run.out.contains("Everything is Ok"));
    QVERIFY(run.exitCode > 0); // finished on its own, without anything typed, and failed
    if (command == "l")
        QVERIFY(!run.out.contains(kSeparator));
}

void TestSevenZipFront::passesThrough_data()
{
    QTest::addColumn<QStringList>("args"); // %ZIP%, %BAD%, %OUT% are replaced
    QTest::addColumn<int>("exitCode");

    QTest::newRow("test zip") << QStringList { "t", "%ZIP%" } << 0;
    QTest::newRow("list zip") << QStringList { "l", "%ZIP%" } << 0;
    QTest::newRow("test broken zip") << QStringList { "t", "%BAD%" } << 2;
    QTest::newRow("list broken zip") << QStringList { "l", "%BAD%" } << 2;
    QTest::newRow("test with a switch") << QStringList { "t", "-y", "%ZIP%" } << 0;
    QTest::newRow("extract zip") << QStringList { "x", "-o%OUT%", "%ZIP%", "-y" } << 0;
    QTest::newRow("unknown command") << QStringList { "nosuchcommand", "%ZIP%" } << 7;
    QTest::newRow("no arguments") << QStringList() << 0;
}

// The same output and exit code as the system's 7-Zip run directly.
void TestSevenZipFront::passesThrough()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    const QString dir = work.filePath(QString("pass-%1").arg(QTest::currentDataTag()));
    const QString zip = dir + "/lesson notes.zip";
    const QString bad = dir + "/broken.zip";
    QVERIFY(writeFile(dir + "/src/readme.txt", "read me\n"));
    QVERIFY(writeFile(dir + "/src/sub/more.txt", "more\n"));
    QVERIFY(writeFile(bad, "PK\x03\x04" + QByteArray(4000, 'x')));
    QCOMPARE(runProgram(systemSevenZip(), { "a", "-tzip", zip, dir + "/src/*", "-r" }).exitCode, 0);

    auto resolved = [&](const QString& out) {
        QStringList list;
        for (QString a : args)
            list.append(a.replace("%ZIP%", zip).replace("%BAD%", bad).replace("%OUT%", out));
        return list;
    };
    const Run direct = runProgram(systemSevenZip(), resolved(dir + "/direct"));
    const Run front = runFront(resolved(dir + "/front"));
    QCOMPARE(direct.exitCode, exitCode);
    QCOMPARE(front.exitCode, direct.exitCode);
    QCOMPARE(QString::fromUtf8(front.out).replace(dir + "/front", "OUT"),
             QString::fromUtf8(direct.out).replace(dir + "/direct", "OUT"));
    if (!args.isEmpty() && args.first() == "x") {
        QFile extracted(dir + "/front/sub/more.txt");
        QVERIFY(extracted.open(QIODevice::ReadOnly));
        QCOMPARE(extracted.readAll(), QByteArray("more\n"));
    }
}

void TestSevenZipFront::passThroughKeepsStdin()
{
    const QString zip = work.filePath("stdin/piped.zip");
    QVERIFY(QDir().mkpath(QFileInfo(zip).absolutePath()));
    const Run packed = runFront({ "a", "-tzip", "-sipiped.txt", zip }, QString(), "from stdin\n");
    QCOMPARE(packed.exitCode, 0);
    QVERIFY(packed.out.contains("Everything is Ok"));
    const Run shown = runProgram(systemSevenZip(), { "e", "-so", zip });
    QCOMPARE(shown.out, QByteArray("from stdin\n"));
}

// PATH holds only the front itself (a link named 7zz) or copies of it: it must give up, not loop.
void TestSevenZipFront::neverRunsItself_data()
{
    QTest::addColumn<QString>("layout");
    QTest::newRow("nothing on PATH") << "empty";
    QTest::newRow("link to itself as 7zz") << "link";
    QTest::newRow("copies of itself as 7zz and 7z") << "copies";
}

void TestSevenZipFront::neverRunsItself()
{
    QFETCH(QString, layout);
    const QString dir = work.filePath(QString("self-%1").arg(QTest::currentDataTag()));
    QVERIFY(QDir().mkpath(dir + "/a"));
    QVERIFY(QDir().mkpath(dir + "/b"));
    if (layout == "link") {
        QVERIFY(QFile::link(frontPath(), dir + "/a/7zz"));
    } else if (layout == "copies") {
        QVERIFY(QFile::copy(frontPath(), dir + "/a/7zz"));
        QVERIFY(QFile::copy(frontPath(), dir + "/b/7z"));
    }
    const QString zip = dir + "/a.zip";
    QVERIFY(writeFile(zip, "PK\x05\x06" + QByteArray(18, '\0')));

    const Run run = runFront({ "t", zip }, dir + "/a:" + dir + "/b");
    QCOMPARE(run.exitCode, 2);
    QCOMPARE(run.out, QByteArray());
    QVERIFY2(run.err.contains("7zz"), run.err.constData());
}

void TestSevenZipFront::clientAcceptsRar_data()
{
    rarArchives_data();
}

// The client's own check of an added archive goes through the front and takes the RAR.
void TestSevenZipFront::clientAcceptsRar()
{
    QFETCH(QByteArray, archive);
    QFETCH(QStringList, entries);
    const QString path = work.filePath(QString("client-%1.rar").arg(QTest::currentDataTag()));
    QVERIFY(writeFile(path, archive));
    qputenv("VANTREL_APPDIR", testBinDir().toUtf8());

    MyDAO* dao = MyDAO::instance();
    QSignalSpy warnings(dao, &MyDAO::s_archive_warning);
    int answers = 0;
    bool ok = false;
    QString text;
    dao->readArchive(path, [&](QString t, bool o) {
        text = t;
        ok = o;
        ++answers;
    });
    QVERIFY(QTest::qWaitFor([&]() { return answers > 0; }, 120000));
    QCOMPARE(warnings.count(), 0);
    QVERIFY2(ok, qPrintable(text));
    QStringList got;
    for (const ArchiveEntry& e : parseArchiveEntries(text))
        got.append(describe(e));
    QCOMPARE(got, entries);
}

// The client's limit of 1000 files or folders is read from the test run's summary.
void TestSevenZipFront::clientCountsRarEntries_data()
{
    QTest::addColumn<int>("files");
    QTest::addColumn<int>("folders");
    QTest::addColumn<bool>("ok");
    QTest::newRow("1000 files in 1000 folders") << 1000 << 1000 << true;
    QTest::newRow("1001 files") << 1001 << 0 << false;
    QTest::newRow("1001 folders") << 1 << 1001 << false;
}

void TestSevenZipFront::clientCountsRarEntries()
{
    QFETCH(int, files);
    QFETCH(int, folders);
    QFETCH(bool, ok);
    QVector<RarItem> items;
    for (int i = 0; i < folders; ++i)
        items.append(rarDir(QByteArray("d") + QByteArray::number(i)));
    for (int i = 0; i < files; ++i) {
        const QByteArray folder = folders > 0 ? QByteArray("d") + QByteArray::number(i % folders) + "/" : "";
        items.append(rarFile(folder + "f" + QByteArray::number(i) + ".txt", "f"));
    }
    const QString path = work.filePath(QString("count-%1.rar").arg(QTest::currentDataTag()));
    QVERIFY(writeFile(path, rar5(items)));
    qputenv("VANTREL_APPDIR", testBinDir().toUtf8());

    MyDAO* dao = MyDAO::instance();
    QSignalSpy warnings(dao, &MyDAO::s_archive_warning);
    int answers = 0;
    bool got = !ok;
    dao->readArchive(path, [&](QString, bool o) {
        got = o;
        ++answers;
    });
    QVERIFY(QTest::qWaitFor([&]() { return answers > 0; }, 120000));
    QCOMPARE(got, ok);
    if (ok) {
        QCOMPARE(warnings.count(), 0);
    } else {
        QCOMPARE(warnings.count(), 1);
        const QString warning = warnings.first().first().toString();
        QVERIFY2(warning.contains(QString::fromUtf8("压缩包内文件数：%1，目录数：%2").arg(files).arg(folders)),
                 qPrintable(warning));
    }
}

QTEST_GUILESS_MAIN(TestSevenZipFront)
#include "TestSevenZipFront.moc"
