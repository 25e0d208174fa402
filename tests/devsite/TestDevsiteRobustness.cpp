// The stand-in site under malformed requests, parallel uploads and expiring tokens.

#include "SyncHttp.h"
#include "UploadJob.h"
#include "support/DevsiteFixture.h"

#include <QTcpSocket>
#include <QtTest>
#include <functional>
#include <memory>

using namespace devsitetest;

class TestDevsiteRobustness : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void malformedRequests_data();
    void malformedRequests();
    void malformedJsonBodies_data();
    void malformedJsonBodies();
    void parallelUploads();
    void tokensExpire();

private:
    QByteArray rawExchange(const QByteArray& request);
    DevsiteFixture site;
};

void TestDevsiteRobustness::initTestCase()
{
    QVERIFY(site.start());
}

// Sends bytes as they are and returns what came back until the server closed or went quiet.
QByteArray TestDevsiteRobustness::rawExchange(const QByteArray& request)
{
    QTcpSocket socket;
    socket.connectToHost("127.0.0.1", quint16(site.uploadPort()));
    if (!socket.waitForConnected(10000))
        return {};
    socket.write(request);
    socket.waitForBytesWritten(10000);
    QByteArray answer;
    while (socket.waitForReadyRead(3000)) {
        answer += socket.readAll();
        if (answer.contains("\r\n\r\n"))
            break;
    }
    return answer + socket.readAll();
}

void TestDevsiteRobustness::malformedRequests_data()
{
    QTest::addColumn<QByteArray>("request");
    const QByteArray upload = "POST /upload/ HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/octet-stream\r\n";
    QTest::newRow("garbage request line") << QByteArray("HELLO WORLD\r\n\r\n");
    QTest::newRow("huge content length") << upload + "Content-Length: 99999999999999\r\n\r\nabc";
    QTest::newRow("negative content length") << upload + "Content-Length: -5\r\n\r\nabc";
    QTest::newRow("content length not a number") << upload + "Content-Length: many\r\n\r\nabc";
    QTest::newRow("chunked piece") << upload + "Transfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n";
    QTest::newRow("header without colon") << QByteArray("GET /upload/ HTTP/1.1\r\nHost 127.0.0.1\r\n\r\n");
    QTest::newRow("oversized header") << "GET /upload/ HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Big: " + QByteArray(200000, 'a')
            + "\r\n\r\n";
    QTest::newRow("control bytes in range")
        << upload + "Content-Length: 3\r\nX-Content-Range: bytes \x01-\x02/\x7f\r\n\r\nabc";
    QTest::newRow("unknown method") << QByteArray("BREW /upload/ HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
}

void TestDevsiteRobustness::malformedRequests()
{
    QFETCH(QByteArray, request);
    const QByteArray answer = rawExchange(request);
    // A clear refusal, never a success, silence or a crash.
    QVERIFY2(answer.startsWith("HTTP/1.1 4"), answer.left(80).constData());
    SyncHttp http;
    QCOMPARE(http.get(site.uploadBase() + "/__devsite/uploads").status, 200);
}

void TestDevsiteRobustness::malformedJsonBodies_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("submit: not json") << "/toolupload/asset/asset-submit" << QByteArray("{\"_id\":");
    QTest::newRow("submit: array") << "/toolupload/asset/asset-submit" << QByteArray("[{\"_id\":1}]");
    QTest::newRow("submit: empty") << "/toolupload/asset/asset-submit" << QByteArray();
    QTest::newRow("submit: nested junk") << "/toolupload/asset/asset-submit"
                                         << QByteArray(R"({"_id":{"a":[1,2,{"b":null}]},"typeid":[[]]})");
    QTest::newRow("intro: not json") << "/toolupload/asset/checking-intro" << QByteArray("intro=abc");
    QTest::newRow("intro: null") << "/toolupload/asset/checking-intro" << QByteArray("null");
}

void TestDevsiteRobustness::malformedJsonBodies()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, body);
    const QString token = site.loginToken();
    SyncHttp http(site.caFile());
    const SyncReply r
        = http.post(site.httpsBase() + path + "?token=" + token, body, { { "Content-Type", "application/json" } });
    QCOMPARE(r.status, 200);
    QCOMPARE(r.json().value("code").toInt(), 1);
    QVERIFY(!r.json().value("msg").toString().isEmpty());
}

void TestDevsiteRobustness::parallelUploads()
{
    // Five files at once, piece after piece each, as the five upload workers send them,
    // with JSON requests in between.
    struct Run
    {
        std::unique_ptr<UploadJob> job;
        std::unique_ptr<QNetworkAccessManager> nam;
        qint64 next = 0;
        int lastStatus = 0;
        bool done = false;
    };
    std::vector<Run> runs(5);
    for (int i = 0; i < 5; ++i) {
        runs[size_t(i)].job = std::make_unique<UploadJob>(patterned(2500000 + i * 1000, 40 + i));
        runs[size_t(i)].job->fileId = 100 + i;
        runs[size_t(i)].nam = std::make_unique<QNetworkAccessManager>();
    }
    std::function<void(Run&)> sendNext = [&](Run& run) {
        const qint64 size = run.job->content.size();
        const qint64 first = run.next;
        const qint64 last = qMin(first + 1048575, size - 1);
        QNetworkRequest request { QUrl(site.uploadBase() + "/upload/") };
        for (const auto& h : run.job->headers(first, last))
            request.setRawHeader(h.first, h.second);
        QNetworkReply* reply = run.nam->post(request, run.job->content.mid(int(first), int(last - first + 1)));
        QObject::connect(reply, &QNetworkReply::finished, [&, reply, last] {
            run.lastStatus = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
            reply->deleteLater();
            if (run.lastStatus == 201) {
                run.next = last + 1;
                sendNext(run);
            } else {
                run.done = true;
            }
        });
    };
    for (Run& run : runs)
        sendNext(run);

    const QString token = site.loginToken();
    SyncHttp http(site.caFile());
    for (int i = 0; i < 5; ++i) {
        const SyncReply r = http.get(site.httpsBase() + "/toolupload/district?upid=0&token=" + token);
        QCOMPARE(r.json().value("data").toArray().size(), 34);
    }
    for (Run& run : runs)
        QTRY_VERIFY_WITH_TIMEOUT(run.done, 60000);

    QHash<QString, QJsonObject> bySaveAs;
    for (const QJsonValue& v : site.uploads())
        bySaveAs.insert(v.toObject().value("save_as").toString(), v.toObject());
    for (Run& run : runs) {
        QCOMPARE(run.lastStatus, 200);
        const QJsonObject up = bySaveAs.value(run.job->saveAs());
        QCOMPARE(up.value("complete").toBool(), true);
        QCOMPARE(up.value("md5").toString(), run.job->md5);
    }
}

void TestDevsiteRobustness::tokensExpire()
{
    DevsiteFixture shortLived;
    QVERIFY(shortLived.start(QString(), { "--token-ttl", "1" }));
    const QString token = shortLived.loginToken();
    QVERIFY(!token.isEmpty());
    SyncHttp http(shortLived.caFile());
    const QString url = shortLived.httpsBase() + "/toolupload/down-gains/gains-type?token=" + token;
    QTRY_COMPARE_WITH_TIMEOUT(http.get(url).json().value("code").toInt(), 400, 20000);
    QCOMPARE(http.get(url).json().value("msg").toString(), QString("登录已失效，请重新登录"));
}

QTEST_GUILESS_MAIN(TestDevsiteRobustness)
#include "TestDevsiteRobustness.moc"
