// Account host of the stand-in site: every login outcome the client distinguishes, remembered
// keys, the avatar, the certificate, and the request log.

#include "SyncHttp.h"
#include "support/DevsiteFixture.h"

#include <QtTest>

class TestDevsiteLogin : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void passwordLogin_data();
    void passwordLogin();
    void malformedLoginBody_data();
    void malformedLoginBody();
    void rememberedKey();
    void avatar();
    void tlsNeedsTheTestCa();
    void requestLogRecordsWhatArrived();

private:
    QJsonObject login(const QJsonObject& body, const QString& path = "/tool/tool-login");
    DevsiteFixture site;
};

void TestDevsiteLogin::initTestCase()
{
    QVERIFY(site.start());
}

void TestDevsiteLogin::cleanup()
{
    QVERIFY(site.reset());
}

QJsonObject TestDevsiteLogin::login(const QJsonObject& body, const QString& path)
{
    SyncHttp http(site.caFile());
    const SyncReply r = http.postJson(site.httpsBase() + path + "?token=", body);
    if (r.status != 200)
        qWarning("login answered HTTP %d", r.status);
    return r.json();
}

static QJsonObject loginBody(const QString& user, const QString& password)
{
    return { { "username", user }, { "password", password }, { "mac", "00:11:22:33:44:55" }, { "loginsalt", "" } };
}

void TestDevsiteLogin::passwordLogin_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("errcode");
    QTest::addColumn<QString>("textKey"); // member that must hold a non-empty text
    QTest::addColumn<bool>("htmlText");

    QTest::newRow("teacher") << "demo_teacher"
                             << "demo1234" << 0 << "message" << false;
    QTest::newRow("solo") << "demo_solo"
                          << "demo1234" << 0 << "message" << false;
    QTest::newRow("wrong password") << "demo_teacher"
                                    << "demo12345" << 10002 << "message" << false;
    QTest::newRow("unknown user") << "nobody"
                                  << "demo1234" << 10002 << "message" << false;
    QTest::newRow("password case matters") << "demo_solo"
                                           << "DEMO1234" << 10002 << "message" << false;
    QTest::newRow("unverified") << "demo_unverified"
                                << "demo1234" << 10006 << "message" << true;
    QTest::newRow("unverified, wrong password") << "demo_unverified"
                                                << "x" << 10002 << "message" << false;
    QTest::newRow("restricted") << "demo_restricted"
                                << "demo1234" << 10007 << "message" << false;
    QTest::newRow("abnormal") << "demo_abnormal"
                              << "demo1234" << 40001 << "message" << true;
    QTest::newRow("reason") << "demo_reason"
                            << "demo1234" << -1 << "reason" << false;
    QTest::newRow("message") << "demo_message"
                             << "demo1234" << -2 << "message" << false;
    QTest::newRow("locked") << "demo_locked"
                            << "demo1234" << 10020 << "message" << false;
}

void TestDevsiteLogin::passwordLogin()
{
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(int, errcode);
    QFETCH(QString, textKey);
    QFETCH(bool, htmlText);

    const QJsonObject reply = login(loginBody(user, password));
    QVERIFY2(reply.contains("errcode"), qPrintable(QJsonDocument(reply).toJson()));
    QCOMPARE(reply.value("errcode").toInt(), errcode);
    QVERIFY(!reply.value(textKey).toString().isEmpty());
    QCOMPARE(reply.value(textKey).toString().contains("<a "), htmlText);
    if (errcode != 0) {
        QVERIFY(!reply.contains("data"));
        return;
    }
    const QJsonObject data = reply.value("data").toObject();
    QCOMPARE(data.value("username").toString(), user);
    QCOMPARE(data.value("uid").toInt(), user == "demo_teacher" ? 10001 : 10002);
    QVERIFY(data.value("team_status").isBool());
    QCOMPARE(data.value("team_status").toBool(), user == "demo_teacher");
    QVERIFY(data.value("token").toString().size() >= 16);
    QVERIFY(!data.contains("remember_encrypt_key")); // nothing asked to remember

    // Tokens are random: a second login gets another one.
    const QJsonObject again = login(loginBody(user, password));
    QVERIFY(again.value("data").toObject().value("token").toString() != data.value("token").toString());
}

void TestDevsiteLogin::malformedLoginBody_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("not json") << QByteArray("username=demo_teacher&password=demo1234");
    QTest::newRow("array") << QByteArray("[1,2]");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("password as number") << QByteArray(
        R"({"username":"demo_teacher","password":1234,"mac":"","loginsalt":""})");
    QTest::newRow("mac missing") << QByteArray(R"({"username":"demo_teacher","password":"demo1234","loginsalt":""})");
    QTest::newRow("remember_me as number")
        << QByteArray(R"({"username":"demo_teacher","password":"demo1234","mac":"","loginsalt":"","remember_me":1})");
    QTest::newRow("remember_me as bool") << QByteArray(
        R"({"username":"demo_teacher","password":"demo1234","mac":"","loginsalt":"","remember_me":true})");
}

void TestDevsiteLogin::malformedLoginBody()
{
    QFETCH(QByteArray, body);
    SyncHttp http(site.caFile());
    const SyncReply r
        = http.post(site.httpsBase() + "/tool/tool-login?token=", body, { { "Content-Type", "application/json" } });
    QCOMPARE(r.status, 200);
    const QJsonObject reply = r.json();
    QCOMPARE(reply.value("errcode").toInt(), -2);
    QVERIFY(!reply.value("message").toString().isEmpty());
    QVERIFY(!reply.contains("data"));
}

void TestDevsiteLogin::rememberedKey()
{
    QJsonObject body = loginBody("demo_teacher", "demo1234");
    body.insert("remember_me", "1");
    const QJsonObject first = login(body);
    QCOMPARE(first.value("errcode").toInt(), 0);
    const QString key = first.value("data").toObject().value("remember_encrypt_key").toString();
    QVERIFY(!key.isEmpty());
    QVERIFY(key != "demo1234");

    QJsonObject byKey { { "username", "demo_teacher" }, { "encryptkey", key }, { "mac", "" }, { "loginsalt", "" } };
    const QJsonObject second = login(byKey, "/tool/remember-login");
    QCOMPARE(second.value("errcode").toInt(), 0);
    QCOMPARE(second.value("data").toObject().value("uid").toInt(), 10001);
    QVERIFY(!second.value("data").toObject().value("token").toString().isEmpty());

    // The key belongs to its account only.
    byKey.insert("username", "demo_solo");
    QCOMPARE(login(byKey, "/tool/remember-login").value("errcode").toInt(), 10086);
    byKey.insert("username", "demo_teacher");
    byKey.insert("encryptkey", key + "0");
    QCOMPARE(login(byKey, "/tool/remember-login").value("errcode").toInt(), 10086);
    // A password login is not a remembered one.
    QCOMPARE(login(loginBody("demo_teacher", "demo1234"), "/tool/remember-login").value("errcode").toInt(), -2);

    // Refused once the site forgets its keys.
    QVERIFY(!site.admin("POST", "/__devsite/revoke-remember-keys").isNull());
    byKey.insert("encryptkey", key);
    QCOMPARE(login(byKey, "/tool/remember-login").value("errcode").toInt(), 10086);
}

void TestDevsiteLogin::avatar()
{
    SyncHttp http(site.caFile());
    const SyncReply r = http.get(site.httpsBase() + "/avatar.php?uid=10001&t=1700000000");
    QCOMPARE(r.status, 200);
    QVERIFY(r.body.startsWith("\x89PNG\r\n\x1a\n"));
    QVERIFY(r.body.size() > 100);
    QCOMPARE(http.get(site.httpsBase() + "/avatar.php?uid=abc").status, 404);
}

void TestDevsiteLogin::tlsNeedsTheTestCa()
{
    SyncHttp untrusting;
    const SyncReply refused = untrusting.get(site.httpsBase() + "/avatar.php?uid=10001");
    QCOMPARE(refused.error, QNetworkReply::SslHandshakeFailedError);
    QCOMPARE(refused.status, 0);

    SyncHttp trusting(site.caFile());
    QCOMPARE(trusting.get(site.httpsBase() + "/avatar.php?uid=10001").error, QNetworkReply::NoError);
    // The certificate names localhost as well.
    QCOMPARE(trusting.get(QString("https://localhost:%1/avatar.php?uid=10001").arg(site.httpsPort())).status, 200);
}

void TestDevsiteLogin::requestLogRecordsWhatArrived()
{
    QJsonObject body = loginBody("demo_solo", "demo1234");
    body.insert("remember_me", "1");
    SyncHttp http(site.caFile());
    http.post(site.httpsBase() + "/tool/tool-login?token=abc%2Bdef&x=1",
              QJsonDocument(body).toJson(QJsonDocument::Compact),
              { { "Content-Type", "application/json" }, { "User-Agent", "tool" }, { "X-Tool-Version", "9.9" } });
    http.get(site.httpsBase() + "/avatar.php?uid=10002&t=5");

    const QJsonArray all = site.requests();
    QCOMPARE(all.size(), 2);
    const QJsonObject first = all.at(0).toObject();
    QCOMPARE(first.value("method").toString(), QString("POST"));
    QCOMPARE(first.value("path").toString(), QString("/tool/tool-login"));
    QCOMPARE(first.value("query").toObject().value("token").toString(), QString("abc+def"));
    QCOMPARE(first.value("query").toObject().value("x").toString(), QString("1"));
    QCOMPARE(first.value("headers").toObject().value("X-Tool-Version").toString(), QString("9.9"));
    QCOMPARE(first.value("headers").toObject().value("User-Agent").toString(), QString("tool"));
    QCOMPARE(QJsonDocument::fromJson(first.value("body").toString().toUtf8()).object(), body);
    QCOMPARE(first.value("status").toInt(), 200);

    const QJsonArray filtered = site.requests("/avatar.php");
    QCOMPARE(filtered.size(), 1);
    QCOMPARE(filtered.at(0).toObject().value("query").toObject().value("uid").toString(), QString("10002"));

    QVERIFY(site.reset());
    QCOMPARE(site.requests().size(), 0);
}

QTEST_GUILESS_MAIN(TestDevsiteLogin)
#include "TestDevsiteLogin.moc"
