// The upload port's receive limit: the token bucket's arithmetic, and pieces that still
// arrive intact through a limited port.

#include "SyncHttp.h"
#include "UploadJob.h"
#include "devsite/Throttle.h"
#include "support/DevsiteFixture.h"

#include <QtTest>

using namespace devsitetest;
using Clock = Throttle::Clock;

class TestDevsiteThrottle : public QObject
{
    Q_OBJECT

private slots:
    void bucketChargesEveryByte();
    void idleTimeIsNotSavedUp();
    void lateReadsInsideABodyCatchUp();
    void connectionsShareOneBucket();
    void piecesArriveIntact();
    void unlimitedByDefault();
    void badRateRefused_data();
    void badRateRefused();

private:
    static double secondsAfter(Clock::time_point t, Clock::time_point from)
    {
        return std::chrono::duration<double>(t - from).count();
    }
};

void TestDevsiteThrottle::bucketChargesEveryByte()
{
    // 1000 bytes/s, room for 100: one second's worth beyond the burst is due 0.9 s later.
    Throttle t(1000, 100);
    const Clock::time_point now = Clock::now() + std::chrono::seconds(10);
    QVERIFY(secondsAfter(t.reserve(100, now), now) <= 1e-6); // the burst passes at once
    QCOMPARE(qRound(secondsAfter(t.reserve(900, now), now) * 1000), 900);
    // Taken in small reads the same bytes cost the same.
    for (int i = 0; i < 50; ++i)
        t.reserve(20, now);
    QCOMPARE(qRound(secondsAfter(t.reserve(0, now), now) * 1000), 1900);
}

void TestDevsiteThrottle::idleTimeIsNotSavedUp()
{
    Throttle t(1000, 100);
    const Clock::time_point start = Clock::now() + std::chrono::seconds(10);
    t.reserve(1000, start); // paid until start + 0.9 s
    // An hour of silence fills the bucket to its 100 bytes, no further.
    const Clock::time_point later = start + std::chrono::hours(1);
    QCOMPARE(qRound(secondsAfter(t.reserve(600, later), later) * 1000), 500);
}

void TestDevsiteThrottle::lateReadsInsideABodyCatchUp()
{
    Throttle t(1000, 10);
    const Clock::time_point start = Clock::now() + std::chrono::seconds(10);
    t.reserve(110, start); // due start + 0.1 s
    // The reader woke 50 ms late: inside the body 20 ms of that are made up, no more.
    const Clock::time_point late = start + std::chrono::milliseconds(150);
    QCOMPARE(qRound(secondsAfter(t.reserve(30, late, true), late) * 1000), 10);
    // The first read of the next body gets the 10-byte burst only.
    const Clock::time_point next = late + std::chrono::milliseconds(200);
    QCOMPARE(qRound(secondsAfter(t.reserve(30, next, false), next) * 1000), 20);
}

void TestDevsiteThrottle::connectionsShareOneBucket()
{
    // Five readers at once get one rate between them, not five.
    Throttle t(1000, 0);
    const Clock::time_point now = Clock::now() + std::chrono::seconds(10);
    QList<Clock::time_point> due;
    std::vector<std::thread> readers;
    std::mutex m;
    for (int i = 0; i < 5; ++i) {
        readers.emplace_back([&]() {
            for (int k = 0; k < 10; ++k) {
                const Clock::time_point d = t.reserve(20, now);
                std::lock_guard<std::mutex> lock(m);
                due << d;
            }
        });
    }
    for (auto& r : readers)
        r.join();
    QCOMPARE(due.size(), 50);
    const Clock::time_point last = *std::max_element(due.begin(), due.end());
    QCOMPARE(qRound(secondsAfter(last, now) * 1000), 1000); // 5 x 10 x 20 bytes at 1000 bytes/s
}

void TestDevsiteThrottle::piecesArriveIntact()
{
    DevsiteFixture site;
    QVERIFY(site.start(QString(), { "--throttle-mbit", "800" }));
    UploadJob job(patterned(2500000, 21));
    job.fileId = 31;
    SyncHttp http;
    const QString url = site.uploadBase() + "/upload/";
    QCOMPARE(http.post(url, job.content.mid(0, 1048576), job.headers(0, 1048575)).status, 201);
    QCOMPARE(http.post(url, job.content.mid(1048576, 1048576), job.headers(1048576, 2097151)).status, 201);
    // A refused piece is still read to its end and answered as without the limit.
    UploadJob forged = job;
    forged.content[5] = char(forged.content[5] ^ 1);
    QCOMPARE(http.post(url, forged.content.mid(0, 1048576), forged.headers(0, 1048575)).status, 409);
    QCOMPARE(http.post(url, job.content.mid(2097152), job.headers(2097152, 2499999)).status, 200);

    QJsonObject up;
    for (const QJsonValue& v : site.uploads()) {
        if (v.toObject().value("save_as").toString() == job.saveAs())
            up = v.toObject();
    }
    QCOMPARE(up.value("bytes").toInt(), 2500000);
    QCOMPARE(up.value("complete").toBool(), true);
    QCOMPARE(up.value("md5").toString(), job.md5);

    const QJsonArray log = site.requests("/upload/");
    QCOMPARE(log.size(), 4);
    const QJsonObject second = log.at(1).toObject().value("body").toObject();
    QCOMPARE(second.value("length").toInt(), 1048576);
    QCOMPARE(second.value("md5").toString(), QString::fromLatin1(md5Hex(job.content.mid(1048576, 1048576))));
    QCOMPARE(log.at(2).toObject().value("status").toInt(), 409);

    // Faults and the rest of the port work as without the limit.
    QVERIFY(site.fault({ { "path", "/upload/" }, { "status", 503 } }));
    QCOMPARE(http.post(url, job.content.mid(0, 1000), job.headers(0, 999)).status, 503);
    QCOMPARE(http.post(site.uploadBase() + "/nowhere", "x").status, 404);
}

void TestDevsiteThrottle::unlimitedByDefault()
{
    DevsiteFixture site;
    QVERIFY(site.start(QString(), { "--throttle-mbit", "0" }));
    const UploadJob job(patterned(70000, 22));
    SyncHttp http;
    QCOMPARE(http.post(site.uploadBase() + "/upload/", job.content, job.headers(0, 69999)).status, 200);
}

void TestDevsiteThrottle::badRateRefused_data()
{
    QTest::addColumn<QString>("rate");
    QTest::newRow("not a number") << "fast";
    QTest::newRow("negative") << "-5";
    QTest::newRow("absurd") << "1e9";
}

void TestDevsiteThrottle::badRateRefused()
{
    QFETCH(QString, rate);
    DevsiteFixture site;
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("devsite ended before it was ready.*"));
    QVERIFY(!site.start(QString(), { "--throttle-mbit", rate }));
}

QTEST_GUILESS_MAIN(TestDevsiteThrottle)
#include "TestDevsiteThrottle.moc"
