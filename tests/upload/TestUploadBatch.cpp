// What the author reads of the uploads under way: the time left of a transfer, the figures
// of the batch in the list's header, and the tray messages when a batch ends out of sight.

#include "app/TrayNotices.h"
#include "upload/TransferEstimate.h"
#include "upload/UploadBatch.h"

#include <QSignalSpy>
#include <QTest>

namespace {

constexpr qint64 MiB = 1048576;
using Samples = QVector<QPair<int, int>>; // (second, MiB sent)

} // namespace

class TestUploadBatch : public QObject
{
    Q_OBJECT

private slots:
    void timeLeft_data();
    void timeLeft();
    void batchFigures_data();
    void batchFigures();
    void trayMessageOncePerBatch();
};

void TestUploadBatch::timeLeft_data()
{
    QTest::addColumn<Samples>("samples");
    QTest::addColumn<int>("until"); // last second asked
    QTest::addColumn<int>("hiddenAt"); // a second at which nothing may be shown
    QTest::addColumn<int>("low"); // shown at `until`; -1 -1: nothing
    QTest::addColumn<int>("high");

    // 100 MiB in all throughout.
    Samples steady;
    for (int t = 0; t <= 20; ++t)
        steady << qMakePair(t, t);
    QTest::newRow("steady") << steady << 20 << 1 << 78 << 82;

    Samples bursty;
    for (int t = 0; t <= 20; t += 4)
        bursty << qMakePair(t, t);
    QTest::newRow("bursty") << bursty << 20 << 1 << 76 << 86;

    Samples stalled;
    for (int t = 0; t <= 10; ++t)
        stalled << qMakePair(t, t);
    QTest::newRow("stalled") << stalled << 30 << 30 << -1 << -1;

    Samples resumed = stalled;
    for (int t = 30; t <= 36; ++t)
        resumed << qMakePair(t, 10 + t - 30);
    QTest::newRow("resumed") << resumed << 36 << 29 << 82 << 86;
}

void TestUploadBatch::timeLeft()
{
    QFETCH(Samples, samples);
    QFETCH(int, until);
    QFETCH(int, hiddenAt);
    QFETCH(int, low);
    QFETCH(int, high);

    TransferEstimate estimate;
    qint64 sent = 0;
    qint64 previous = -1;
    qint64 last = -1;
    for (int t = 0; t <= until; ++t) {
        for (const auto& s : samples) {
            if (s.first == t) {
                sent = s.second * MiB;
                estimate.sample(t * 1000, sent);
            }
        }
        last = estimate.secondsLeft(t * 1000, 100 * MiB - sent);
        if (t == hiddenAt)
            QCOMPARE(last, qint64(-1));
        // From one second to the next the figure counts down and never jumps.
        if (previous >= 0 && last >= 0)
            QVERIFY2(qAbs(last - (previous - 1)) <= 2,
                     qPrintable(QString("second %1: %2 after %3").arg(t).arg(last).arg(previous)));
        previous = last;
    }
    if (low < 0) {
        QCOMPARE(last, qint64(-1));
    } else {
        QVERIFY2(last >= low && last <= high, qPrintable(QString::number(last)));
    }
}

// Events, one per word: "a<id>:<total>[:<loaded>]" started, "p<id>:<loaded>" progress,
// "f<id>" failed, "i<id>" paused, "s<id>" submitted, "d<id>" deleted.
void TestUploadBatch::batchFigures_data()
{
    QTest::addColumn<QString>("events");
    // running files done failed loaded total submitted
    QTest::addColumn<QList<qint64>>("figures");
    QTest::addColumn<QString>("finished"); // "ok/failed" per end of a batch

    QTest::newRow("add") << "a1:100 a2:300:40" << QList<qint64> { 1, 2, 0, 0, 40, 400, 0 } << "";
    QTest::newRow("complete one") << "a1:100 a2:300 p1:100 s1" << QList<qint64> { 1, 2, 1, 0, 100, 400, 1 } << "";
    QTest::newRow("complete all") << "a1:100 a2:300 p1:100 s1 p2:300 s2" << QList<qint64> { 0, 2, 2, 0, 400, 400, 2 }
                                  << "2/0";
    QTest::newRow("fail") << "a1:100 a2:300 p2:120 s1 f2" << QList<qint64> { 0, 2, 1, 1, 220, 400, 1 } << "1/1";
    QTest::newRow("failed row started again")
        << "a1:100 a2:300 f2 a2:300 s1" << QList<qint64> { 1, 2, 1, 0, 100, 400, 1 } << "";
    QTest::newRow("delete") << "a1:100 a2:300 a3:50 p3:20 d3 s1 s2" << QList<qint64> { 0, 2, 2, 0, 400, 400, 2 }
                            << "2/0";
    QTest::newRow("pause leaves the batch")
        << "a1:100 a2:300 i2 s1" << QList<qint64> { 0, 1, 1, 0, 100, 100, 1 } << "1/0";
    QTest::newRow("all paused: no end to tell") << "a1:100 i1" << QList<qint64> { 0, 0, 0, 0, 0, 0, 0 } << "";
    QTest::newRow("next batch starts afresh") << "a1:100 s1 a2:50" << QList<qint64> { 1, 1, 0, 0, 0, 50, 1 } << "1/0";
}

void TestUploadBatch::batchFigures()
{
    QFETCH(QString, events);
    QFETCH(QList<qint64>, figures);
    QFETCH(QString, finished);

    UploadBatch batch;
    QStringList ends;
    connect(&batch, &UploadBatch::s_finished, this,
            [&ends](int ok, int failed) { ends << QString("%1/%2").arg(ok).arg(failed); });
    QMap<int, qint64> totals;
    QMap<int, qint64> loaded;
    qint64 now = 0;
    for (const QString& word : events.split(' ')) {
        const QStringList parts = word.mid(1).split(':');
        const int id = parts.at(0).toInt();
        now += 1000;
        switch (word.at(0).toLatin1()) {
        case 'a':
            totals[id] = parts.at(1).toLongLong();
            loaded[id] = parts.value(2).toLongLong();
            batch.rowChanged(id, UploadBatch::RowState::Active, loaded[id], totals[id], now);
            break;
        case 'p':
            loaded[id] = parts.at(1).toLongLong();
            batch.rowChanged(id, UploadBatch::RowState::Active, loaded[id], totals[id], now);
            break;
        case 'f':
            batch.rowChanged(id, UploadBatch::RowState::Failed, loaded[id], totals[id], now);
            break;
        case 'i':
            batch.rowChanged(id, UploadBatch::RowState::Idle, loaded[id], totals[id], now);
            break;
        case 's':
            batch.rowSubmitted(id, now);
            break;
        case 'd':
            batch.rowRemoved(id, now);
            break;
        }
    }
    const BatchFigures f = batch.figures(now);
    const QList<qint64> got { f.running ? 1 : 0, f.files, f.done, f.failed, f.loaded, f.total, f.submitted };
    QCOMPARE(got, figures);
    QCOMPARE(ends.join(' '), finished);
}

void TestUploadBatch::trayMessageOncePerBatch()
{
    QStringList shown;
    bool hidden = true;
    TrayNotices notices([&shown](const QString&, const QString& text) { shown << text; },
                        [&hidden]() { return hidden; });
    UploadBatch batch;
    connect(&batch, &UploadBatch::s_finished, this,
            [&notices](int ok, int failed) { notices.batchFinished(ok, failed); });
    connect(&batch, &UploadBatch::s_rowFailed, this,
            [&notices](int id) { notices.rowFailed(QString::number(id), "断网"); });

    // Two files, each with several reports: one message when the last one is through.
    batch.rowChanged(1, UploadBatch::RowState::Active, 0, 100, 0);
    batch.rowChanged(2, UploadBatch::RowState::Active, 0, 100, 0);
    batch.rowChanged(1, UploadBatch::RowState::Active, 100, 100, 1000);
    batch.rowSubmitted(1, 1000);
    QCOMPARE(shown, QStringList());
    batch.rowChanged(2, UploadBatch::RowState::Active, 100, 100, 2000);
    batch.rowSubmitted(2, 2000);
    QCOMPARE(shown, QStringList { "2份资料已上传成功" });

    // The next batch with a failure: the failed row once (a repeated report says nothing
    // new), and the end once.
    shown.clear();
    batch.rowChanged(3, UploadBatch::RowState::Active, 0, 100, 3000);
    batch.rowChanged(4, UploadBatch::RowState::Active, 0, 100, 3000);
    batch.rowChanged(3, UploadBatch::RowState::Failed, 0, 100, 4000);
    batch.rowChanged(3, UploadBatch::RowState::Failed, 0, 100, 4000);
    batch.rowSubmitted(4, 5000);
    QCOMPARE(shown, QStringList({ "“3”上传失败：断网", "1份成功，1份失败" }));

    // With the window in sight the list says it all.
    shown.clear();
    hidden = false;
    batch.rowChanged(5, UploadBatch::RowState::Active, 0, 100, 6000);
    batch.rowChanged(5, UploadBatch::RowState::Failed, 0, 100, 7000);
    QCOMPARE(shown, QStringList());

    // Closing to the tray is explained the first time only.
    notices.closedToTray();
    notices.closedToTray();
    QCOMPARE(shown.size(), 1);
}

QTEST_GUILESS_MAIN(TestUploadBatch)
#include "TestUploadBatch.moc"
