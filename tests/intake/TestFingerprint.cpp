#include "intake/MyFileMd5Thread.h"
#include "net/MyDAO.h"

#include <QCryptographicHash>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>

namespace {

QByteArray pattern(qint64 size)
{
    QByteArray data(static_cast<int>(size), Qt::Uninitialized);
    for (int i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>((i * 7 + i / 251) & 0xff);
    return data;
}

// A device that serves a pattern, records every read the hash loop makes and can fail.
class RecordingDevice : public QIODevice
{
public:
    RecordingDevice(qint64 size, qint64 failAt)
        : data(pattern(size))
        , failAt(failAt)
    {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    QList<qint64> requests;

protected:
    qint64 readData(char* out, qint64 maxlen) override
    {
        requests.append(maxlen);
        if (failAt >= 0 && served >= failAt)
            return -1;
        const qint64 n = qMin<qint64>(maxlen, data.size() - served);
        memcpy(out, data.constData() + served, static_cast<size_t>(n));
        served += n;
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray data;
    qint64 failAt;
    qint64 served = 0;
};

} // namespace

class TestFingerprint : public QObject
{
    Q_OBJECT

private slots:
    void fileDigest_data();
    void fileDigest();
    void readPattern_data();
    void readPattern();
    void readErrorGivesNoDigest();
    void deliveredOnGuiThread();
    void fastRunsAllDeliver();
};

void TestFingerprint::fileDigest_data()
{
    QTest::addColumn<qint64>("size");
    QTest::newRow("empty") << qint64(0);
    QTest::newRow("one byte") << qint64(1);
    QTest::newRow("exactly 5 MiB") << qint64(5242880);
    QTest::newRow("5 MiB + 1") << qint64(5242881);
    QTest::newRow("not a multiple of the block") << qint64(7 * 1024 * 1024 + 333);
}

void TestFingerprint::fileDigest()
{
    QFETCH(qint64, size);
    QTemporaryDir dir;
    const QString path = dir.filePath("f.bin");
    const QByteArray data = pattern(size);
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(data);
    f.close();
    const QString expected = QCryptographicHash::hash(data, QCryptographicHash::Md5).toHex();
    QCOMPARE(MyFileMd5Thread::md5OfFile(path), expected);
    if (size == 0)
        QCOMPARE(MyFileMd5Thread::md5OfFile(path), QString("d41d8cd98f00b204e9800998ecf8427e"));
}

void TestFingerprint::readPattern_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<int>("fullBlocks");
    QTest::addColumn<qint64>("lastRead");
    QTest::newRow("5 MiB in one read") << qint64(5242880) << 0 << qint64(5242880);
    QTest::newRow("5 MiB + 1 streamed") << qint64(5242881) << 512 << qint64(1);
    QTest::newRow("whole blocks only") << qint64(10240 * 620) << 619 << qint64(10240);
}

void TestFingerprint::readPattern()
{
    QFETCH(qint64, size);
    QFETCH(int, fullBlocks);
    QFETCH(qint64, lastRead);
    RecordingDevice dev(size, -1);
    const QString digest = MyFileMd5Thread::md5OfDevice(&dev, size);
    QCOMPARE(digest, QString(QCryptographicHash::hash(pattern(size), QCryptographicHash::Md5).toHex()));
    QCOMPARE(dev.requests.size(), fullBlocks + 1);
    for (int i = 0; i < fullBlocks; ++i)
        QCOMPARE(dev.requests.at(i), qint64(MyFileMd5Thread::kBlockSize));
    QCOMPARE(dev.requests.last(), lastRead);
}

void TestFingerprint::readErrorGivesNoDigest()
{
    // Fails after 100 blocks of a 6 MiB file: the MD5 of the part read must not pass for the file's.
    RecordingDevice large(6 * 1024 * 1024, 10240 * 100);
    QCOMPARE(MyFileMd5Thread::md5OfDevice(&large, 6 * 1024 * 1024), QString());
    // A small file that delivers less than its size.
    RecordingDevice small(4096, 0);
    QCOMPARE(MyFileMd5Thread::md5OfDevice(&small, 4096), QString());
    QCOMPARE(MyFileMd5Thread::md5OfFile("/nonexistent/file.pdf"), QString());
}

void TestFingerprint::deliveredOnGuiThread()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("doc.pdf");
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(pattern(6 * 1024 * 1024));
    f.close();

    QStringList results;
    bool onGuiThread = true;
    MyDAO::instance()->fileMd5(path, [&](QString md5) {
        onGuiThread = onGuiThread && QThread::currentThread() == QCoreApplication::instance()->thread();
        results.append(md5);
    });
    MyDAO::instance()->fileMd5(dir.filePath("missing.pdf"), [&](QString md5) {
        onGuiThread = onGuiThread && QThread::currentThread() == QCoreApplication::instance()->thread();
        results.append(md5.isEmpty() ? "<empty>" : md5);
    });
    QTRY_COMPARE_WITH_TIMEOUT(results.size(), 2, 30000);
    QVERIFY(onGuiThread);
    QVERIFY(results.contains("<empty>"));
    QVERIFY(results.contains(QCryptographicHash::hash(pattern(6 * 1024 * 1024), QCryptographicHash::Md5).toHex()));
    // Exactly one answer each.
    QTest::qWait(200);
    QCOMPARE(results.size(), 2);
}

void TestFingerprint::fastRunsAllDeliver()
{
    // A missing or tiny file finishes almost at once; no result may slip past its connection.
    QTemporaryDir dir;
    const QString tiny = dir.filePath("one.bin");
    QFile f(tiny);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("x", 1);
    f.close();
    // Busy threads make it likely that the requester loses the CPU right after a start.
    std::atomic<bool> spin { true };
    QList<QThread*> spinners;
    for (int i = 0; i < 2 * QThread::idealThreadCount(); ++i) {
        spinners << QThread::create([&spin] {
            while (spin)
                ;
        });
        spinners.last()->start();
    }
    const int runs = 1000;
    int delivered = 0;
    for (int i = 0; i < runs; ++i)
        MyDAO::instance()->fileMd5(i % 2 ? tiny : dir.filePath("missing.bin"), [&](QString) { ++delivered; });
    spin = false;
    for (QThread* t : spinners) {
        t->wait();
        delete t;
    }
    QTRY_COMPARE_WITH_TIMEOUT(delivered, runs, 60000);
}

QTEST_GUILESS_MAIN(TestFingerprint)
#include "TestFingerprint.moc"
