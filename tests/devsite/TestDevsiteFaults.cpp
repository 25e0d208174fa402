// Faults that tests ask the stand-in site for, on either listener.

#include "SyncHttp.h"
#include "support/DevsiteFixture.h"

#include <QtTest>

class TestDevsiteFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void answeredFaults_data();
    void answeredFaults();
    void countRunsOut();
    void faultsAreKeptPerPath();
    void droppedConnection();
    void delayThenNormalAnswer();
    void hangUntilReset();
    void badFaultSpecs_data();
    void badFaultSpecs();
    void uploadListenerServesAdmin();

private:
    QString avatarUrl() const { return site.httpsBase() + "/avatar.php?uid=10001"; }
    DevsiteFixture site;
};

void TestDevsiteFaults::initTestCase()
{
    QVERIFY(site.start());
}

void TestDevsiteFaults::cleanup()
{
    QVERIFY(site.reset());
}

void TestDevsiteFaults::answeredFaults_data()
{
    QTest::addColumn<QJsonObject>("faultSpec");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body"); // empty: not compared

    QTest::newRow("status 500") << QJsonObject { { "status", 500 } } << 500 << QByteArray();
    QTest::newRow("status 404") << QJsonObject { { "status", 404 } } << 404 << QByteArray();
    QTest::newRow("session invalid") << QJsonObject { { "session_invalid", true } } << 200
                                     << QStringLiteral(R"({"code":400,"msg":"登录已失效，请重新登录"})").toUtf8();
    QTest::newRow("non-json body") << QJsonObject { { "body", "<html>oops" } } << 200 << QByteArray("<html>oops");
    QTest::newRow("array body") << QJsonObject { { "body", "[1,2,3]" } } << 200 << QByteArray("[1,2,3]");
}

void TestDevsiteFaults::answeredFaults()
{
    QFETCH(QJsonObject, faultSpec);
    QFETCH(int, status);
    QFETCH(QByteArray, body);

    faultSpec.insert("path", "/avatar.php");
    QVERIFY(site.fault(faultSpec));
    SyncHttp http(site.caFile());
    const SyncReply r = http.get(avatarUrl());
    QCOMPARE(r.status, status);
    if (!body.isEmpty())
        QCOMPARE(r.body, body);
    QVERIFY(!r.body.startsWith("\x89PNG"));
    QCOMPARE(site.requests("/avatar.php").at(0).toObject().value("status").toInt(), status);
}

void TestDevsiteFaults::countRunsOut()
{
    QVERIFY(site.fault({ { "path", "/avatar.php" }, { "count", 2 }, { "status", 503 } }));
    SyncHttp http(site.caFile());
    QCOMPARE(http.get(avatarUrl()).status, 503);
    QCOMPARE(http.get(avatarUrl()).status, 503);
    QCOMPARE(http.get(avatarUrl()).status, 200);
    QCOMPARE(http.get(avatarUrl()).status, 200);
}

void TestDevsiteFaults::faultsAreKeptPerPath()
{
    QVERIFY(site.fault({ { "path", "/tool/tool-login" }, { "status", 500 } }));
    QVERIFY(site.fault({ { "path", "/avatar.php" }, { "status", 502 } }));
    QVERIFY(site.fault({ { "path", "/avatar.php" }, { "status", 504 } }));
    SyncHttp http(site.caFile());
    QCOMPARE(http.get(avatarUrl()).status, 502); // in the order asked for
    QCOMPARE(http.get(avatarUrl()).status, 504);
    QCOMPARE(http.get(avatarUrl()).status, 200);
    const SyncReply login = http.postJson(
        site.httpsBase() + "/tool/tool-login?token=",
        { { "username", "demo_teacher" }, { "password", "demo1234" }, { "mac", "" }, { "loginsalt", "" } });
    QCOMPARE(login.status, 500);
    // Reset clears faults not yet used.
    QVERIFY(site.fault({ { "path", "/avatar.php" }, { "status", 500 } }));
    QVERIFY(site.reset());
    QCOMPARE(http.get(avatarUrl()).status, 200);
}

void TestDevsiteFaults::droppedConnection()
{
    // Qt re-sends a request whose connection closed before any answer, so drop a few.
    QVERIFY(site.fault({ { "path", "/avatar.php" }, { "count", 5 }, { "drop", true } }));
    SyncHttp http(site.caFile());
    const SyncReply r = http.get(avatarUrl());
    QCOMPARE(r.status, 0);
    QVERIFY(r.error != QNetworkReply::NoError);
    QVERIFY(r.body.isEmpty());
    const QJsonArray log = site.requests("/avatar.php");
    QVERIFY(!log.isEmpty());
    for (const QJsonValue& e : log)
        QCOMPARE(e.toObject().value("status").toInt(), -1);
}

void TestDevsiteFaults::delayThenNormalAnswer()
{
    QVERIFY(site.fault({ { "path", "/avatar.php" }, { "delay_ms", 300 } }));
    SyncHttp http(site.caFile());
    const SyncReply r = http.get(avatarUrl());
    QCOMPARE(r.status, 200);
    QVERIFY(r.body.startsWith("\x89PNG"));
    QCOMPARE(site.requests("/avatar.php").size(), 1);
}

void TestDevsiteFaults::hangUntilReset()
{
    QVERIFY(site.fault({ { "path", "/avatar.php" }, { "count", 3 }, { "hang", true } }));
    QNetworkAccessManager nam;
    QList<QNetworkReply*> replies;
    for (int i = 0; i < 3; ++i) {
        QNetworkRequest req { QUrl(avatarUrl() + "&n=" + QString::number(i)) };
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.addCaCertificates(site.caFile());
        req.setSslConfiguration(tls);
        replies.append(nam.get(req));
    }
    QTRY_COMPARE_WITH_TIMEOUT(site.requests("/avatar.php").size(), 3, 20000);

    // Hanging requests hold their threads; the site keeps answering others.
    SyncHttp http(site.caFile());
    QCOMPARE(http.get(site.httpsBase() + "/avatar.php?uid=10002").status, 200);
    for (QNetworkReply* r : replies)
        QVERIFY(!r->isFinished());

    // Released, each connection is closed unanswered; Qt may then send the request again,
    // which, with the fault used up, is answered normally.
    QVERIFY(site.reset());
    for (QNetworkReply* r : replies) {
        QTRY_VERIFY_WITH_TIMEOUT(r->isFinished(), 20000);
        const int status = r->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        QVERIFY2(status == 0 || status == 200, qPrintable(QString::number(status)));
        delete r;
    }
}

void TestDevsiteFaults::badFaultSpecs_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("not json") << QByteArray("status=500");
    QTest::newRow("no path") << QByteArray(R"({"status":500})");
    QTest::newRow("relative path") << QByteArray(R"({"path":"avatar.php","status":500})");
    QTest::newRow("admin path") << QByteArray(R"({"path":"/__devsite/reset","status":500})");
    QTest::newRow("no kind") << QByteArray(R"({"path":"/avatar.php"})");
    QTest::newRow("two kinds") << QByteArray(R"({"path":"/avatar.php","status":500,"drop":true})");
    QTest::newRow("count 0") << QByteArray(R"({"path":"/avatar.php","count":0,"status":500})");
    QTest::newRow("count negative") << QByteArray(R"({"path":"/avatar.php","count":-3,"status":500})");
    QTest::newRow("status out of range") << QByteArray(R"({"path":"/avatar.php","status":99})");
    QTest::newRow("negative delay") << QByteArray(R"({"path":"/avatar.php","delay_ms":-1})");
    QTest::newRow("body not text") << QByteArray(R"({"path":"/avatar.php","body":{"a":1}})");
}

void TestDevsiteFaults::badFaultSpecs()
{
    QFETCH(QByteArray, body);
    SyncHttp http(site.caFile());
    const SyncReply r
        = http.post(site.httpsBase() + "/__devsite/faults", body, { { "Content-Type", "application/json" } });
    QCOMPARE(r.status, 400);
    QCOMPARE(r.json().value("ok").toBool(true), false);
    QCOMPARE(http.get(avatarUrl()).status, 200); // nothing was installed
}

void TestDevsiteFaults::uploadListenerServesAdmin()
{
    SyncHttp http;
    const QList<QPair<QByteArray, QByteArray>> form { { "Content-Type", "application/x-www-form-urlencoded" } };
    const SyncReply set = http.post(site.uploadBase() + "/__devsite/faults", R"({"path":"/upload/","status":500})",
                                    { { "Content-Type", "application/json" } });
    QCOMPARE(set.status, 200);
    QCOMPARE(http.post(site.uploadBase() + "/upload/", "x", form).status, 500);
    QCOMPARE(http.post(site.uploadBase() + "/upload/", "x", form).status, 400); // fault used up: header checks again
    const SyncReply log = http.get(site.uploadBase() + "/__devsite/requests?path=/upload/");
    QCOMPARE(QJsonDocument::fromJson(log.body).array().size(), 2);
    // The website's pages are not served on the upload listener, nor uploads on HTTPS.
    QCOMPARE(http.get(site.uploadBase() + "/avatar.php?uid=10001").status, 404);
    SyncHttp tls(site.caFile());
    QCOMPARE(tls.post(site.httpsBase() + "/upload/", "x", form).status, 404);
}

QTEST_GUILESS_MAIN(TestDevsiteFaults)
#include "TestDevsiteFaults.moc"
