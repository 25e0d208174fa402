// The upload workers against the real devsite: what arrives there (its request log and
// upload store), what the workers report, and how they behave when the site misbehaves.

#include "UploadTestKit.h"
#include "net/Endpoints.h"
#include "net/MyDAO.h"
#include "support/DevsiteFixture.h"
#include "upload/MyGetUploadListWork.h"
#include "upload/MyUploadManager.h"
#include "upload/MyUploadThread.h"
#include "upload/PieceTransport.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QRegularExpression>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <memory>
#include <sys/stat.h>
#include <thread>

namespace {

const int UID = 3301;
const int WAIT = 30000;

// Owns single workers for a test and stops them the way the manager does.
class Workers
{
public:
    explicit Workers(int n = 1)
    {
        for (int i = 0; i < n; ++i)
            list.append(new MyUploadThread());
    }
    ~Workers()
    {
        for (MyUploadThread* w : list)
            w->stopWorker();
        for (MyUploadThread* w : list) {
            w->wait();
            MyDAO::instance()->releaseUploadJob(w->heldJobId());
            delete w;
        }
    }
    QList<MyUploadThread*> list;
};

struct Progress
{
    int id;
    QString md5;
    qulonglong loaded;
    QString msg;
    QString rate;
};

QList<Progress> progressOf(const QSignalSpy& spy, int id)
{
    QList<Progress> out;
    for (const QList<QVariant>& args : spy) {
        if (args.at(0).toInt() == id)
            out.append({ args.at(0).toInt(), args.at(1).toString(), args.at(2).toULongLong(), args.at(3).toString(),
                         args.at(4).toString() });
    }
    return out;
}

// Whether a thread of this process waits in the open of a FIFO for its writer.
bool threadWaitsOnFifo()
{
    for (const QString& task : QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile wchan("/proc/self/task/" + task + "/wchan");
        if (wchan.open(QIODevice::ReadOnly) && wchan.readAll().trimmed() == "wait_for_partner")
            return true;
    }
    return false;
}

int countOf(const QSignalSpy& spy, int id)
{
    int n = 0;
    for (const QList<QVariant>& args : spy)
        n += args.at(0).toInt() == id ? 1 : 0;
    return n;
}

// A bare HTTP/1.1 endpoint that records piece headers and bodies and answers 201, or 200 for
// the piece that ends at the announced total. Used where devsite cannot follow (files beyond
// 2 GiB, a connection dropped on purpose). `dropSecond`: each connection is cut as soon as the
// head of its second request has come, with no answer.
class PieceResponder : public QObject
{
public:
    explicit PieceResponder(bool dropSecond = false)
        : dropSecond(dropSecond)
    {
        server.listen(QHostAddress::LocalHost, 0);
        connect(&server, &QTcpServer::newConnection, this, [this]() {
            while (QTcpSocket* s = server.nextPendingConnection())
                connect(s, &QTcpSocket::readyRead, this, [this, s]() { serve(s); });
        });
    }
    QString base() const { return QString("http://127.0.0.1:%1").arg(server.serverPort()); }

    QList<QMap<QByteArray, QByteArray>> headers;
    QList<QByteArray> bodies;

private:
    void serve(QTcpSocket* s)
    {
        QByteArray& buf = buffers[s];
        buf += s->readAll();
        for (;;) {
            const int end = buf.indexOf("\r\n\r\n");
            if (end < 0)
                return;
            if (dropSecond && answered.value(s) == 1) {
                buffers.remove(s);
                s->abort();
                return;
            }
            QMap<QByteArray, QByteArray> h;
            const QList<QByteArray> lines = buf.left(end).split('\n');
            for (int i = 1; i < lines.size(); ++i) {
                const int colon = lines[i].indexOf(':');
                if (colon > 0)
                    h.insert(lines[i].left(colon).trimmed().toLower(), lines[i].mid(colon + 1).trimmed());
            }
            const qint64 length = h.value("content-length").toLongLong();
            if (buf.size() < end + 4 + length)
                return;
            bodies.append(buf.mid(end + 4, int(length)));
            buf.remove(0, int(end + 4 + length));
            headers.append(h);
            ++answered[s];
            const QList<QByteArray> range = h.value("x-content-range").mid(6).split('/');
            const bool last
                = range.size() == 2 && range[0].split('-').value(1).toLongLong() + 1 == range[1].toLongLong();
            s->write(last ? "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"
                          : "HTTP/1.1 201 Created\r\nContent-Length: 0\r\n\r\n");
        }
    }

    const bool dropSecond;
    QTcpServer server;
    QHash<QTcpSocket*, QByteArray> buffers;
    QHash<QTcpSocket*, int> answered;
};

} // namespace

class TestUploadThread : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void threePiecesArriveWithExactHeaders();
    void localChecksEndTheJobWithoutRequest_data();
    void localChecksEndTheJobWithoutRequest();
    void refusedPieces_data();
    void refusedPieces();
    void hangingPieceTimesOutAndIsSentAgain();
    void pauseLetsPieceFinishThenResumesAfterRestart();
    void leavingTheCurrentJobMovesOnToTheNext_data();
    void leavingTheCurrentJobMovesOnToTheNext();
    void fiveWorkersShareSixJobs();
    void noPieceWhileThePendingListLoads();
    void stopAllCutsPieceInFlight();
    void workerBusyPastTheStopWaitLetsGoWhenItEnds();
    void sizesBeyond32Bits_data();
    void sizesBeyond32Bits();
    void refusedResumePointRestartsFromZero();
    void pauseBetweenTakeAndStartSendsNothing();
    void fileShrinkingWhileSentCutsThePiece();
    void droppedConnectionSendsThePieceAgainWhole();

private:
    UploadFile startJob(const TestFile& f, int id, qint64 loaded = 0);

    DevsiteFixture site;
    QTemporaryDir files;
    MyDAO* dao = nullptr;
    std::unique_ptr<QSignalSpy> progress;
    std::unique_ptr<QSignalSpy> completed;
    quint32 seed = 1;
};

void TestUploadThread::initTestCase()
{
    QVERIFY(files.isValid());
    QVERIFY(site.start());
    site.exportEnv();
    MyDAO::setReferenceFetchLimitMs(3000);
    dao = MyDAO::instance();
    dao->setUid(UID);
}

void TestUploadThread::init()
{
    QVERIFY(site.reset());
    dao->clearUploadJobs();
    progress = std::make_unique<QSignalSpy>(dao, &MyDAO::s_progress_upload);
    completed = std::make_unique<QSignalSpy>(dao, &MyDAO::s_completed_upload);
    ++seed;
}

void TestUploadThread::cleanup()
{
    MyUploadThread::setStallTimeout(60000);
    dao->clearUploadJobs();
    QVERIFY(site.reset()); // also lets hanging requests go
}

UploadFile TestUploadThread::startJob(const TestFile& f, int id, qint64 loaded)
{
    UploadFile job = jobFor(f, id, loaded);
    job.file_status = 2;
    dao->enqueueUpload(job);
    return job;
}

void TestUploadThread::threePiecesArriveWithExactHeaders()
{
    const TestFile f = makeTestFile(files.path(), QStringLiteral("课件一.pptx"), 2500000, seed);
    Workers w;
    startJob(f, 41);
    QTRY_COMPARE_WITH_TIMEOUT(completed->count(), 1, WAIT);
    QCOMPARE(completed->at(0).at(0).toInt(), 41);

    const QList<QJsonObject> pieces = piecesOf(site.requests("/upload/"), f.md5);
    QCOMPARE(
        rangesOf(pieces),
        QStringList({ "bytes 0-1048575/2500000", "bytes 1048576-2097151/2500000", "bytes 2097152-2499999/2500000" }));
    const QByteArray a = QCryptographicHash::hash("2500000-TRQ", QCryptographicHash::Md5).toHex();
    const QByteArray b = QCryptographicHash::hash("QRT-" + f.md5.toLatin1(), QCryptographicHash::Md5).toHex();
    const QString signature = QCryptographicHash::hash(a + "Tq8R*vm%5L&7" + b, QCryptographicHash::Md5).toHex();
    const QList<int> statuses { 201, 201, 200 };
    const QList<qint64> lengths { 1048576, 1048576, 402848 };
    for (int i = 0; i < pieces.size(); ++i) {
        const QJsonObject& p = pieces[i];
        QCOMPARE(p.value("status").toInt(), statuses[i]);
        QCOMPARE(p.value("body").toObject().value("length").toInt(), lengths[i]);
        QCOMPARE(loggedHeader(p, "User-Agent"), QString("tool"));
        QCOMPARE(loggedHeader(p, "Content-Type"), QString("application/octet-stream"));
        // Sent as UTF-8; the log shows the raw bytes.
        QCOMPARE(loggedHeader(p, "Content-Disposition"),
                 QString::fromLatin1("attachment; filename=" + f.name.toUtf8()));
        QCOMPARE(loggedHeader(p, "Content-Length"), QString::number(lengths[i]));
        QCOMPARE(loggedHeader(p, "Session-ID"), f.md5 + "-3301-15012021");
        QCOMPARE(loggedHeader(p, "Save-As"), "2021/01/15/vudedudiv20210115" + f.md5 + "_3301_41_5_tool.pptx");
        QCOMPARE(loggedHeader(p, "X-Tool-Version"), QString("2.28.1.210115"));
        QCOMPARE(loggedHeader(p, "X-Signature"), signature);
        QCOMPARE(loggedHeader(p, "uid"), QString("3301"));
    }

    bool found = false;
    for (const QJsonValue& v : site.uploads()) {
        const QJsonObject u = v.toObject();
        if (u.value("file_md5").toString() != f.md5)
            continue;
        found = true;
        QVERIFY(u.value("complete").toBool());
        QCOMPARE(u.value("bytes").toInt(), 2500000);
        QCOMPARE(u.value("md5").toString(), f.md5);
    }
    QVERIFY(found);

    const QList<Progress> reports = progressOf(*progress, 41);
    QCOMPARE(reports.size(), 3);
    QCOMPARE(reports[0].loaded, 1048576ULL);
    QCOMPARE(reports[1].loaded, 2097152ULL);
    QCOMPARE(reports[2].loaded, 2500000ULL);
    for (const Progress& r : reports)
        QVERIFY2(r.rate.endsWith("/s") && r.rate != "0B/s", qPrintable(r.rate));
    QTRY_VERIFY(dao->uploadsInProgress().isEmpty());

    // The support log has one line for the start of the job.
    QFile log(MyDAO::dataDir() + "/log1-" + QDate::currentDate().toString("yyyy-MM-dd") + ".log.txt");
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QString lines = QString::fromLocal8Bit(log.readAll());
    const QRegularExpression line("UID: 3301, ThreadId: \\d+, m_file, file_id: 41, file_md5: " + f.md5
                                  + ", file_name: ");
    QCOMPARE(lines.count(line), 1);
}

void TestUploadThread::localChecksEndTheJobWithoutRequest_data()
{
    QTest::addColumn<qint64>("onDisk");
    QTest::addColumn<qint64>("jobSize");
    QTest::addColumn<qint64>("loaded");
    QTest::addColumn<int>("pathKind"); // 0 the file, 1 missing, 2 a directory
    QTest::addColumn<QString>("message"); // empty: completed

    QTest::newRow("empty file completes") << qint64(0) << qint64(0) << qint64(0) << 0 << QString();
    QTest::newRow("resume point equals size") << qint64(5000) << qint64(5000) << qint64(5000) << 0 << QString();
    QTest::newRow("resume point beyond size") << qint64(5000) << qint64(5000) << qint64(6000) << 0 << "文件传输出错";
    QTest::newRow("file missing") << qint64(5000) << qint64(5000) << qint64(0) << 1 << "文件不存在，上传失败";
    QTest::newRow("cannot be read") << qint64(5000) << qint64(5000) << qint64(0) << 2 << "文件读取失败";
    QTest::newRow("file shorter than the job says") << qint64(5000) << qint64(9000) << qint64(0) << 0 << "文件读取失败";
}

void TestUploadThread::localChecksEndTheJobWithoutRequest()
{
    QFETCH(qint64, onDisk);
    QFETCH(qint64, jobSize);
    QFETCH(qint64, loaded);
    QFETCH(int, pathKind);
    QFETCH(QString, message);

    TestFile f = makeTestFile(files.path(), QString("local%1.doc").arg(seed), onDisk, seed);
    f.size = jobSize;
    if (pathKind == 1)
        f.path += ".gone";
    if (pathKind == 2) {
        f.path = files.path() + QString("/dir%1.doc").arg(seed);
        QVERIFY(QDir().mkpath(f.path));
    }
    const int id = 100 + int(seed);
    Workers w;
    startJob(f, id, loaded);
    QTRY_VERIFY_WITH_TIMEOUT(countOf(*progress, id) >= 1, WAIT);
    const Progress r = progressOf(*progress, id).first();
    QCOMPARE(r.msg, message);
    QCOMPARE(r.rate, QString());
    if (message.isEmpty()) {
        QTRY_COMPARE(completed->count(), 1);
        QCOMPARE(completed->at(0).at(0).toInt(), id);
    } else {
        QTest::qWait(300);
        QCOMPARE(completed->count(), 0);
        QCOMPARE(countOf(*progress, id), 1); // a failed job is let go, not retried
    }
    QVERIFY(piecesOf(site.requests("/upload/"), f.md5).isEmpty());
}

void TestUploadThread::refusedPieces_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QList<QJsonObject>>("faults");
    QTest::addColumn<int>("requests");
    QTest::addColumn<int>("retries"); // reports with the rate "0KB/s"; -1: not checked
    QTest::addColumn<QString>("message"); // empty: completed

    const QJsonObject pass { { "path", "/upload/" }, { "delay_ms", 0 } };
    auto refuse = [](int n) { return QJsonObject { { "path", "/upload/" }, { "count", n }, { "status", 500 } }; };
    QTest::newRow("five refusals fail the job")
        << qint64(3000) << QList<QJsonObject> { refuse(5) } << 5 << 4 << "上传失败,500,Internal Server Error";
    QTest::newRow("four refusals then success")
        << qint64(3000) << QList<QJsonObject> { refuse(4) } << 5 << 4 << QString();
    // The count starts again after every accepted piece: 3 + 4 refusals in one job are fine.
    QTest::newRow("refusals counted per piece")
        << qint64(2500000) << QList<QJsonObject> { pass, refuse(3), pass, refuse(4) } << 10 << 7 << QString();
    // Qt may resend a dropped POST once by itself before the worker sees a failure.
    QTest::newRow("lost connection is sent again")
        << qint64(3000) << QList<QJsonObject> { QJsonObject { { "path", "/upload/" }, { "drop", true } } } << 2 << -1
        << QString();
}

void TestUploadThread::refusedPieces()
{
    QFETCH(qint64, size);
    QFETCH(QList<QJsonObject>, faults);
    QFETCH(int, requests);
    QFETCH(int, retries);
    QFETCH(QString, message);

    for (const QJsonObject& fault : faults)
        QVERIFY(site.fault(fault));
    const TestFile f = makeTestFile(files.path(), QString("refused%1.pdf").arg(seed), size, seed);
    const int id = 200 + int(seed);
    Workers w;
    startJob(f, id);
    if (message.isEmpty()) {
        QTRY_COMPARE_WITH_TIMEOUT(completed->count(), 1, WAIT);
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(
            !progressOf(*progress, id).isEmpty() && !progressOf(*progress, id).last().msg.isEmpty(), WAIT);
        QCOMPARE(progressOf(*progress, id).last().msg, message);
        QCOMPARE(progressOf(*progress, id).last().rate, QString());
        QCOMPARE(completed->count(), 0);
    }
    const QList<QJsonObject> pieces = piecesOf(site.requests("/upload/"), f.md5);
    QCOMPARE(pieces.size(), requests);
    int retryReports = 0;
    for (const Progress& r : progressOf(*progress, id))
        retryReports += r.rate == "0KB/s" ? 1 : 0;
    if (retries >= 0)
        QCOMPARE(retryReports, retries);
    if (message.isEmpty()) {
        const QJsonArray up = site.uploads();
        bool complete = false;
        for (const QJsonValue& v : up)
            complete |= v.toObject().value("file_md5").toString() == f.md5 && v.toObject().value("complete").toBool();
        QVERIFY(complete);
    }
}

void TestUploadThread::hangingPieceTimesOutAndIsSentAgain()
{
    MyUploadThread::setStallTimeout(1500);
    QVERIFY(site.fault({ { "path", "/upload/" }, { "hang", true } }));
    const TestFile f = makeTestFile(files.path(), "hang.mp4", 4000, seed);
    Workers w;
    startJob(f, 301);
    QTRY_COMPARE_WITH_TIMEOUT(completed->count(), 1, WAIT);
    const QList<QJsonObject> pieces = piecesOf(site.requests("/upload/"), f.md5);
    QCOMPARE(rangesOf(pieces), QStringList({ "bytes 0-3999/4000", "bytes 0-3999/4000" }));
    QCOMPARE(pieces.last().value("status").toInt(), 200);
    const QList<Progress> reports = progressOf(*progress, 301);
    QCOMPARE(reports.size(), 2);
    QCOMPARE(reports[0].rate, QString("0KB/s"));
    QCOMPARE(reports[0].loaded, 0ULL);
}

void TestUploadThread::pauseLetsPieceFinishThenResumesAfterRestart()
{
    const TestFile f = makeTestFile(files.path(), "resume.zip", 2500000, seed);
    QVERIFY(site.fault({ { "path", "/upload/" }, { "delay_ms", 1500 } }));
    QString session, saveAs;
    {
        Workers w;
        startJob(f, 401);
        QTRY_COMPARE_WITH_TIMEOUT(site.requests("/upload/").size(), 1, WAIT);
        dao->lockUploadThread(true); // while the first piece is held by the site
        QTRY_COMPARE_WITH_TIMEOUT(countOf(*progress, 401), 1, WAIT);
        QCOMPARE(progressOf(*progress, 401).first().loaded, 1048576ULL);
        QTest::qWait(500);
        QCOMPARE(site.requests("/upload/").size(), 1); // nothing more while paused
        const QJsonObject first = site.requests("/upload/").first().toObject();
        session = loggedHeader(first, "Session-ID");
        saveAs = loggedHeader(first, "Save-As");
        // End this run while paused, as a quit would.
    }
    dao->lockUploadThread(false);
    const int sentBefore = piecesOf(site.requests("/upload/"), f.md5).size();
    const qulonglong resumeAt = progressOf(*progress, 401).last().loaded;

    QVERIFY(site.restart());
    site.exportEnv();
    progress->clear();
    Workers w;
    startJob(f, 401, qint64(resumeAt));
    QTRY_COMPARE_WITH_TIMEOUT(completed->count(), 1, WAIT);

    const QList<QJsonObject> pieces = piecesOf(site.requests("/upload/"), f.md5);
    QVERIFY(!pieces.isEmpty());
    QCOMPARE(loggedHeader(pieces.first(), "X-Content-Range"),
             QString("bytes %1-%2/2500000").arg(resumeAt).arg(qMin<qulonglong>(resumeAt + 1048575, 2499999)));
    for (const QJsonObject& p : pieces) {
        QCOMPARE(loggedHeader(p, "Session-ID"), session);
        QCOMPARE(loggedHeader(p, "Save-As"), saveAs);
    }
    QVERIFY(sentBefore >= 1);
    QVERIFY(storedWhole(site.uploads(), f.md5));
}

void TestUploadThread::leavingTheCurrentJobMovesOnToTheNext_data()
{
    QTest::addColumn<bool>("deleted"); // else paused by the user
    QTest::addColumn<qint64>("size");
    QTest::newRow("deleted") << true << qint64(2500000);
    QTest::newRow("paused by the user") << false << qint64(2500000);
    // The site completes the file, but a deleted asset must not go on to be submitted.
    QTest::newRow("deleted during its last piece") << true << qint64(3000);
}

void TestUploadThread::leavingTheCurrentJobMovesOnToTheNext()
{
    QFETCH(bool, deleted);
    QFETCH(qint64, size);
    const TestFile a = makeTestFile(files.path(), QString("left%1.doc").arg(seed), size, seed);
    const TestFile b = makeTestFile(files.path(), QString("next%1.doc").arg(seed), 3000, seed + 1000);
    QVERIFY(site.fault({ { "path", "/upload/" }, { "delay_ms", 1000 } }));
    Workers w;
    startJob(a, 501);
    startJob(b, 502);
    QTRY_COMPARE_WITH_TIMEOUT(site.requests("/upload/").size(), 1, WAIT);
    if (deleted)
        emit dao->s_delete_item(a.md5, 501);
    else
        dao->stopUpload(jobFor(a, 501)); // status 1, as the row sets it
    QTRY_COMPARE_WITH_TIMEOUT(completed->count(), 1, WAIT);
    QCOMPARE(completed->at(0).at(0).toInt(), 502);
    // The piece in flight finished and was reported; no further piece of the job left.
    QCOMPARE(piecesOf(site.requests("/upload/"), a.md5).size(), 1);
    QCOMPARE(countOf(*progress, 501), 1);
    QCOMPARE(progressOf(*progress, 501).first().loaded, qulonglong(qMin<qint64>(size, 1048576)));
    QTest::qWait(100);
    QCOMPARE(completed->count(), 1);
    QVERIFY(!dao->uploadsInProgress().contains(501));
}

void TestUploadThread::fiveWorkersShareSixJobs()
{
    QVERIFY(site.fault({ { "path", "/upload/" }, { "count", 12 }, { "delay_ms", 500 } }));
    QList<TestFile> six;
    for (int i = 0; i < 6; ++i)
        six << makeTestFile(files.path(), QString("six%1.ppt").arg(i), 1500000, seed * 10 + quint32(i));
    MyUploadManager* manager = MyUploadManager::instance();
    manager->createWorkers();
    QCOMPARE(manager->workerCount(), 5);
    for (int i = 0; i < 6; ++i)
        startJob(six[i], 600 + i);
    QTRY_COMPARE_WITH_TIMEOUT(completed->count(), 6, WAIT);
    manager->stopAll();
    QCOMPARE(manager->workerCount(), 0);

    // A file is busy from the arrival of its first piece until the answer to its last one,
    // which the site sends no earlier than 500 ms after that piece arrived.
    QMap<QString, QPair<qint64, qint64>> busy;
    for (const QJsonValue& v : site.requests("/upload/")) {
        const QJsonObject e = v.toObject();
        const QString session = loggedHeader(e, "Session-ID");
        const qint64 t = e.value("time_ms").toVariant().toLongLong();
        if (!busy.contains(session))
            busy.insert(session, { t, t + 500 });
        busy[session].first = qMin(busy[session].first, t);
        busy[session].second = qMax(busy[session].second, t + 500);
    }
    QCOMPARE(busy.size(), 6);
    int most = 0;
    for (const auto& a : busy) {
        int overlapping = 0;
        for (const auto& b : busy)
            overlapping += b.first <= a.first && a.first < b.second ? 1 : 0;
        most = qMax(most, overlapping);
    }
    QCOMPARE(most, 5);
    for (const TestFile& f : six)
        QCOMPARE(piecesOf(site.requests("/upload/"), f.md5).size(), 2);
}

void TestUploadThread::noPieceWhileThePendingListLoads()
{
    const TestFile f = makeTestFile(files.path(), "restored.xls", 3000, seed);
    Workers w;
    QTest::qWait(50); // the worker is polling an empty list
    std::atomic<qint64> listedAt { 0 };
    // Runs on the loader's thread, inside the pause: queue a job and give an unpaused
    // worker ample time to send it.
    QMetaObject::Connection c = connect(
        dao, &MyDAO::s_uplist_fromdb, this,
        [&](QList<AssetFormData>) {
            startJob(f, 701);
            QThread::msleep(600);
            listedAt = QDateTime::currentMSecsSinceEpoch();
        },
        Qt::DirectConnection);
    auto* loader = new MyGetUploadListWork();
    loader->start();
    QTRY_COMPARE_WITH_TIMEOUT(completed->count(), 1, WAIT);
    disconnect(c);
    QVERIFY(listedAt.load() > 0);
    const QList<QJsonObject> pieces = piecesOf(site.requests("/upload/"), f.md5);
    QCOMPARE(pieces.size(), 1);
    QVERIFY2(pieces.first().value("time_ms").toVariant().toLongLong() >= listedAt.load(),
             "a piece went out during the load");
}

void TestUploadThread::stopAllCutsPieceInFlight()
{
    QVERIFY(site.fault({ { "path", "/upload/" }, { "hang", true } }));
    const TestFile f = makeTestFile(files.path(), "inflight.rar", 2500000, seed);
    MyUploadManager* manager = MyUploadManager::instance();
    manager->createWorkers();
    startJob(f, 801);
    QTRY_COMPARE_WITH_TIMEOUT(site.requests("/upload/").size(), 1, WAIT);
    QTRY_VERIFY(dao->uploadsInProgress().contains(801));
    manager->stopAll(); // the site would hold the piece for ten minutes
    QCOMPARE(manager->workerCount(), 0);
    QVERIFY(dao->uploadsInProgress().isEmpty());
    QTest::qWait(200);
    QCOMPARE(countOf(*progress, 801), 0); // the cut piece is not reported as anything
    QCOMPARE(site.requests("/upload/").size(), 1);

    // After a new login the job can be queued and finishes.
    QVERIFY(site.reset());
    startJob(f, 801);
    QCOMPARE(dao->queuedUploads().size(), 1);
    manager->createWorkers();
    QTRY_COMPARE_WITH_TIMEOUT(completed->count(), 1, WAIT);
    manager->stopAll();
}

void TestUploadThread::workerBusyPastTheStopWaitLetsGoWhenItEnds()
{
    // Opening a FIFO blocks until a writer comes: the worker is stuck where no stop reaches it.
    const QString fifo = files.filePath("stuck.pdf");
    QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    UploadFile job;
    job.file_md5 = "0123456789abcdef0123456789abcdef";
    job.file_name = "stuck.pdf";
    job.file_id = 811;
    job.file_size = 4096;
    job.file_path = fifo;
    job.created_time = kCreatedTime;
    job.file_status = 2;
    dao->enqueueUpload(job);
    MyUploadManager* manager = MyUploadManager::instance();
    manager->createWorkers();
    QTRY_VERIFY_WITH_TIMEOUT(threadWaitsOnFifo(), WAIT);
    QVERIFY(dao->uploadsInProgress().contains(811));
    manager->stopAll(200);
    QCOMPARE(manager->workerCount(), 0);

    // After the next login the job can be started again; it waits for the stuck worker.
    dao->enqueueUpload(job);
    QCOMPARE(dao->queuedUploads().size(), 1);
    QFile writer(fifo);
    QVERIFY(writer.open(QIODevice::WriteOnly)); // lets the worker's open return
    writer.close();
    QTRY_VERIFY_WITH_TIMEOUT(dao->uploadsInProgress().isEmpty(), WAIT);
    dao->clearUploadJobs();
}

void TestUploadThread::sizesBeyond32Bits_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QStringList>("ranges");
    QTest::newRow("exactly 2 GiB") << Q_INT64_C(2147483648) << QStringList { "bytes 2146435072-2147483647/2147483648" };
    QTest::newRow("5 GiB and a bit, two pieces")
        << Q_INT64_C(5368709220)
        << QStringList { "bytes 5367660544-5368709119/5368709220", "bytes 5368709120-5368709219/5368709220" };
}

void TestUploadThread::sizesBeyond32Bits()
{
    QFETCH(qint64, size);
    QFETCH(QStringList, ranges);

    TestFile f;
    f.name = QString("big%1.mp4").arg(seed);
    f.path = files.path() + "/" + f.name;
    f.size = size;
    f.md5 = QString(32, 'a');
    QFile sparse(f.path);
    QVERIFY(sparse.open(QIODevice::WriteOnly));
    QVERIFY(sparse.resize(size));
    sparse.close();

    PieceResponder responder;
    const QByteArray devsiteUpload = qgetenv("VANTREL_UPLOAD_URL");
    qputenv("VANTREL_UPLOAD_URL", responder.base().toUtf8());
    Endpoints::reload();
    {
        Workers w;
        startJob(f, 901, size - size % 1048576 - 1048576);
        QTRY_COMPARE_WITH_TIMEOUT(completed->count(), 1, WAIT);
    }
    qputenv("VANTREL_UPLOAD_URL", devsiteUpload);
    Endpoints::reload();

    QStringList seen;
    for (const auto& h : responder.headers)
        seen << QString::fromLatin1(h.value("x-content-range"));
    QCOMPARE(seen, ranges);
    const QByteArray a = QCryptographicHash::hash(QByteArray::number(size) + "-TRQ", QCryptographicHash::Md5).toHex();
    const QByteArray b = QCryptographicHash::hash("QRT-" + f.md5.toLatin1(), QCryptographicHash::Md5).toHex();
    QCOMPARE(responder.headers.first().value("x-signature"),
             QCryptographicHash::hash(a + "Tq8R*vm%5L&7" + b, QCryptographicHash::Md5).toHex());
    QCOMPARE(progressOf(*progress, 901).last().loaded, qulonglong(size));
}

void TestUploadThread::refusedResumePointRestartsFromZero()
{
    // The resume point of an earlier run, on a site that no longer holds those bytes.
    const TestFile f = makeTestFile(files.path(), "expired.docx", 2500000, seed);
    Workers w;
    startJob(f, 501, 1048576);
    QTRY_COMPARE_WITH_TIMEOUT(completed->count(), 1, WAIT);

    const QList<QJsonObject> pieces = piecesOf(site.requests("/upload/"), f.md5);
    QCOMPARE(rangesOf(pieces),
             QStringList({ "bytes 1048576-2097151/2500000", "bytes 0-1048575/2500000", "bytes 1048576-2097151/2500000",
                           "bytes 2097152-2499999/2500000" }));
    QCOMPARE(pieces.first().value("status").toInt(), 409);
    QVERIFY(storedWhole(site.uploads(), f.md5));
    // The row hears the restart: its bar goes back to 0, no failure is shown.
    const QList<Progress> reports = progressOf(*progress, 501);
    QCOMPARE(reports.first().loaded, 0ULL);
    for (const Progress& r : reports)
        QCOMPARE(r.msg, QString());
}

void TestUploadThread::pauseBetweenTakeAndStartSendsNothing()
{
    const TestFile f = makeTestFile(files.path(), "window.pptx", 300000, seed);
    QSemaphore taken, goOn;
    MyUploadThread::setTakenHookForTesting([&](int) {
        taken.release();
        goOn.acquire();
    });
    {
        Workers w;
        UploadFile job = startJob(f, 601);
        QVERIFY(taken.tryAcquire(1, WAIT));
        // The row is paused while the worker is between taking the job and sending.
        job.file_status = 1;
        dao->stopUpload(job);
        goOn.release();
        QTRY_VERIFY_WITH_TIMEOUT(dao->uploadsInProgress().isEmpty(), WAIT);
        MyUploadThread::setTakenHookForTesting({});
    }
    QVERIFY(piecesOf(site.requests("/upload/"), f.md5).isEmpty());
    QCOMPARE(completed->count(), 0);
}

QTEST_GUILESS_MAIN(TestUploadThread)
#include "TestUploadThread.moc"

void TestUploadThread::fileShrinkingWhileSentCutsThePiece()
{
    // The file ends before the length its piece announced (it shrank after the size check):
    // the piece is cut and reported short, and the next piece on the same connection goes whole.
    const TestFile f = makeTestFile(files.path(), "shrinking.mp4", 5000, seed);
    const QNetworkRequest request = MyUploadThread::pieceRequest(QNetworkRequest(), jobFor(f, 1), UID, 0, 4999);
    QFile file(f.path);
    QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Unbuffered));
    QBuffer shrunk;
    shrunk.setData(file.read(1000));
    QVERIFY(shrunk.open(QIODevice::ReadOnly) && file.seek(0));
    PieceTransport transport;
    const std::atomic<bool> cancel { false };
    QString reason;
    QCOMPARE(transport.post(request, shrunk, 5000, cancel, WAIT, reason), PieceTransport::kBodyShort);
    QCOMPARE(transport.post(request, file, 5000, cancel, WAIT, reason), 200);
    QCOMPARE(rangesOf(piecesOf(site.requests("/upload/"), f.md5)).last(), QString("bytes 0-4999/5000"));
}

void TestUploadThread::droppedConnectionSendsThePieceAgainWhole()
{
    // The service drops the kept-alive connection once the next piece's head has come: that
    // piece goes again, from its first byte, on a new connection.
    const TestFile f = makeTestFile(files.path(), "dropped.mp4", 5000, seed);
    PieceResponder responder(true);
    QNetworkRequest pieces[2] = { MyUploadThread::pieceRequest(QNetworkRequest(), jobFor(f, 1), UID, 0, 2499),
                                  MyUploadThread::pieceRequest(QNetworkRequest(), jobFor(f, 1), UID, 2500, 4999) };
    std::atomic<int> codes[2] = { { -2 }, { -2 } };
    std::thread sender([&]() {
        QFile file(f.path);
        const bool opened = file.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
        PieceTransport transport;
        const std::atomic<bool> cancel { false };
        QString reason;
        for (int i = 0; i < 2; ++i) {
            pieces[i].setUrl(QUrl(responder.base() + "/upload/"));
            codes[i] = opened ? transport.post(pieces[i], file, 2500, cancel, WAIT, reason) : -3;
        }
    });
    QTRY_VERIFY_WITH_TIMEOUT(codes[1] != -2, WAIT);
    sender.join();
    QCOMPARE(codes[0].load(), 201);
    QCOMPARE(codes[1].load(), 200);
    QFile file(f.path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray content = file.readAll();
    QCOMPARE(responder.bodies, QList<QByteArray>({ content.left(2500), content.mid(2500) }));
}
