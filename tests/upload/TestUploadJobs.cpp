// The job list and the in-progress ids of MyDAO, without workers: what gets queued, what is
// let go, and what stopping and removing do to the list.

#include "net/MyDAO.h"

#include <QSignalSpy>
#include <QTest>

namespace {

UploadFile job(const QString& md5, int id, int status = 1)
{
    UploadFile j;
    j.file_md5 = md5;
    j.file_name = md5 + ".doc";
    j.file_id = id;
    j.file_size = 4096;
    j.file_status = status;
    return j;
}

QStringList queuedMd5s()
{
    QStringList out;
    for (const UploadFile& j : MyDAO::instance()->queuedUploads())
        out << j.file_md5;
    return out;
}

// Puts `id` into the in-progress list the way a worker does.
void holdByWorker(const QString& md5, int id)
{
    MyDAO* dao = MyDAO::instance();
    dao->enqueueUpload(job(md5, id));
    UploadFile taken;
    QCOMPARE(dao->takeUploadJob(0, taken), MyDAO::TakeResult::Taken);
    QCOMPARE(taken.file_id, id);
}

} // namespace

class TestUploadJobs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void enqueue_data();
    void enqueue();
    void stopTakesTheJobOutAndRestartAppends();
    void removeQueuedJobsMatchesTheAsset();
    void twoAssetsOfOneFileNeverUploadAtOnce();
    void requeuedJobContinuesWhereItsWorkerGotTo();
    void workersLetGoBeforeTaking();
    void restartedJobWaitsForItsWorker();

private:
    MyDAO* dao = nullptr;
};

void TestUploadJobs::initTestCase()
{
    MyDAO::setReferenceFetchLimitMs(1000);
    dao = MyDAO::instance();
}

void TestUploadJobs::init()
{
    dao->clearUploadJobs();
    for (int id : dao->uploadsInProgress())
        dao->releaseUploadJob(id);
}

void TestUploadJobs::enqueue_data()
{
    QTest::addColumn<QList<UploadFile>>("waiting");
    QTest::addColumn<int>("heldId"); // an id a worker holds; 0 for none
    QTest::addColumn<UploadFile>("added");
    QTest::addColumn<QStringList>("expected");

    const QList<UploadFile> one { job("aaa", 1) };
    QTest::newRow("new job appended") << one << 0 << job("bbb", 2) << QStringList { "aaa", "bbb" };
    QTest::newRow("same file, another asset, queued") << one << 0 << job("aaa", 7) << QStringList { "aaa", "aaa" };
    QTest::newRow("same id queued once") << one << 0 << job("ccc", 1) << QStringList { "aaa" };
    QTest::newRow("completed job refused") << one << 0 << job("ddd", 4, 6) << QStringList { "aaa" };
    QTest::newRow("failed job queued again") << one << 0 << job("eee", 5, 4) << QStringList { "aaa", "eee" };
    QTest::newRow("job a worker holds ignored") << one << 9 << job("fff", 9) << QStringList { "aaa" };
}

void TestUploadJobs::enqueue()
{
    QFETCH(QList<UploadFile>, waiting);
    QFETCH(int, heldId);
    QFETCH(UploadFile, added);
    QFETCH(QStringList, expected);

    if (heldId)
        holdByWorker("held", heldId);
    for (const UploadFile& j : waiting)
        dao->enqueueUpload(j);
    dao->enqueueUpload(added);
    QCOMPARE(queuedMd5s(), expected);
    for (const UploadFile& j : dao->queuedUploads())
        QCOMPARE(j.file_status, 2);
}

void TestUploadJobs::stopTakesTheJobOutAndRestartAppends()
{
    QSignalSpy stopped(dao, &MyDAO::s_stop_upload);
    holdByWorker("held", 30);
    dao->enqueueUpload(job("aaa", 31));
    dao->enqueueUpload(job("bbb", 32));

    UploadFile paused = job("aaa", 31, 1);
    dao->stopUpload(paused);
    QCOMPARE(queuedMd5s(), QStringList { "bbb" });
    QCOMPARE(stopped.count(), 1);
    QCOMPARE(stopped.at(0).at(0).value<UploadFile>().file_status, 1);
    dao->enqueueUpload(paused);
    QCOMPARE(queuedMd5s(), QStringList({ "bbb", "aaa" }));

    // Stopping the held job lets it be started again; its worker holds the id until it lets go.
    dao->stopUpload(job("held", 30, 1));
    QCOMPARE(dao->uploadsInProgress(), QList<int> { 30 });
    dao->enqueueUpload(job("held", 30));
    QCOMPARE(queuedMd5s(), QStringList({ "bbb", "aaa", "held" }));
}

void TestUploadJobs::removeQueuedJobsMatchesTheAsset()
{
    dao->enqueueUpload(job("aaa", 1));
    dao->enqueueUpload(job("aaa", 2));
    dao->enqueueUpload(job("ccc", 3));
    dao->removeQueuedJobs("aaa", 1);
    dao->removeQueuedJobs("aaa", 3); // neither that file's nor that id's asset
    QCOMPARE(queuedMd5s(), QStringList({ "aaa", "ccc" }));
    QCOMPARE(dao->queuedUploads().first().file_id, 2);
    dao->clearUploadJobs();
    QVERIFY(dao->queuedUploads().isEmpty());
}

void TestUploadJobs::twoAssetsOfOneFileNeverUploadAtOnce()
{
    dao->enqueueUpload(job("aaa", 1));
    dao->enqueueUpload(job("aaa", 2));
    dao->enqueueUpload(job("bbb", 3));
    UploadFile taken;
    QCOMPARE(dao->takeUploadJob(0, taken), MyDAO::TakeResult::Taken);
    QCOMPARE(taken.file_id, 1);
    // A second worker passes the other asset of the file by while the first sends it.
    UploadFile other;
    QCOMPARE(dao->takeUploadJob(0, other), MyDAO::TakeResult::Taken);
    QCOMPARE(other.file_id, 3);
    QCOMPARE(dao->takeUploadJob(0, other), MyDAO::TakeResult::Empty);
    // Pausing one asset leaves the other waiting.
    dao->stopUpload(job("aaa", 1, 1));
    QCOMPARE(dao->queuedUploads().size(), 1);
    QCOMPARE(dao->queuedUploads().first().file_id, 2);
    // Once the first worker lets go, the other asset is taken.
    QCOMPARE(dao->takeUploadJob(1, taken), MyDAO::TakeResult::Taken);
    QCOMPARE(taken.file_id, 2);
}

void TestUploadJobs::requeuedJobContinuesWhereItsWorkerGotTo()
{
    // A worker holds job 50 and has sent 3 pieces when the row is paused and started again;
    // the row has heard of only one of them.
    UploadFile stale = job("aaa", 50);
    stale.file_size = 10 * 1048576;
    stale.file_size_loaded = 1048576;
    dao->enqueueUpload(stale);
    UploadFile taken;
    QCOMPARE(dao->takeUploadJob(0, taken), MyDAO::TakeResult::Taken);
    dao->stopUpload(job("aaa", 50, 1));
    dao->enqueueUpload(stale);
    QCOMPARE(dao->takeUploadJob(50, 3 * 1048576, taken), MyDAO::TakeResult::Taken);
    QCOMPARE(taken.file_id, 50);
    QCOMPARE(taken.file_size_loaded, qint64(3 * 1048576));
    // And when it is started once more after that worker let go, the same holds.
    dao->stopUpload(taken);
    QCOMPARE(dao->takeUploadJob(50, 4 * 1048576, taken), MyDAO::TakeResult::Empty);
    dao->enqueueUpload(stale);
    QCOMPARE(dao->queuedUploads().first().file_size_loaded, qint64(4 * 1048576));
}

void TestUploadJobs::workersLetGoBeforeTaking()
{
    dao->enqueueUpload(job("aaa", 1));
    dao->enqueueUpload(job("bbb", 2));
    UploadFile taken;
    QCOMPARE(dao->takeUploadJob(0, taken), MyDAO::TakeResult::Taken);
    QCOMPARE(taken.file_md5, QString("aaa")); // oldest first
    QCOMPARE(dao->uploadsInProgress(), QList<int> { 1 });
    QCOMPARE(dao->takeUploadJob(1, taken), MyDAO::TakeResult::Taken);
    QCOMPARE(taken.file_md5, QString("bbb"));
    QCOMPARE(dao->uploadsInProgress(), QList<int> { 2 });
    QCOMPARE(dao->takeUploadJob(2, taken), MyDAO::TakeResult::Empty);
    QVERIFY(dao->uploadsInProgress().isEmpty());
}

void TestUploadJobs::restartedJobWaitsForItsWorker()
{
    // Worker A holds job 40 with a piece in flight when the job is paused and started again.
    holdByWorker("aaa", 40);
    dao->stopUpload(job("aaa", 40, 1));
    dao->enqueueUpload(job("aaa", 40));
    dao->enqueueUpload(job("bbb", 41));
    // Worker B passes it by and takes the next one.
    UploadFile taken;
    QCOMPARE(dao->takeUploadJob(0, taken), MyDAO::TakeResult::Taken);
    QCOMPARE(taken.file_id, 41);
    QCOMPARE(dao->takeUploadJob(0, taken), MyDAO::TakeResult::Empty);
    QCOMPARE(queuedMd5s(), QStringList { "aaa" });
    // Once A lets go, the job is taken again, by one worker only.
    QCOMPARE(dao->takeUploadJob(40, taken), MyDAO::TakeResult::Taken);
    QCOMPARE(taken.file_id, 40);
    QCOMPARE(dao->uploadsInProgress(), QList<int>({ 41, 40 }));
    // Started once more while it uploads: still ignored.
    dao->enqueueUpload(job("aaa", 40));
    QVERIFY(queuedMd5s().isEmpty());
}

QTEST_GUILESS_MAIN(TestUploadJobs)
#include "TestUploadJobs.moc"
