#include "net/Endpoints.h"
#include "net/LoginFormData.h"
#include "net/MyDAO.h"
#include "support/DevsiteFixture.h"

#include <QJsonDocument>
#include <QSettings>
#include <QUrl>
#include <QUrlQuery>
#include <QtTest>

Q_DECLARE_METATYPE(NetworkAdapter)

namespace {

NetworkAdapter nic(const QString& name, const QString& mac, bool up = true, bool loopback = false)
{
    NetworkAdapter a;
    a.humanReadableName = name;
    a.hardwareAddress = mac;
    a.up = up;
    a.loopback = loopback;
    return a;
}

QJsonObject lastBody(DevsiteFixture& site, const QString& path)
{
    const QJsonArray log = site.requests(path);
    if (log.isEmpty())
        return {};
    return QJsonDocument::fromJson(log.last().toObject().value("body").toString().toUtf8()).object();
}

// Sends one login and waits for the reply.
QJsonObject loginAndWait(LoginFormData form)
{
    QJsonObject result;
    bool done = false;
    MyDAO::instance()->login(form, [&](QJsonObject& reply) {
        result = reply;
        done = true;
    });
    if (!QTest::qWaitFor([&] { return done; }, 20000))
        return QJsonObject { { "timed_out", true } };
    return result;
}

LoginFormData form(const QString& user, const QString& password, bool remember = false, bool autoLogin = false)
{
    LoginFormData f;
    f.username = user;
    f.password = password;
    f.remember_me = remember;
    f.auto_login = autoLogin;
    return f;
}

QString queryValue(const QUrl& url, const QString& key)
{
    return QUrlQuery(url).queryItemValue(key, QUrl::FullyDecoded);
}

} // namespace

class TestLogin : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void hardwareAddress_data();
    void hardwareAddress();
    void requestBody_data();
    void requestBody();
    void sessionAfterLogin_data();
    void sessionAfterLogin();
    void refusalLeavesSession();
    void signedInAddresses();

private:
    DevsiteFixture site;
};

void TestLogin::initTestCase()
{
    QVERIFY(site.start());
    site.exportEnv();
    MyDAO::instance();
}

void TestLogin::hardwareAddress_data()
{
    QTest::addColumn<QList<NetworkAdapter>>("adapters");
    QTest::addColumn<QString>("mac");

    QTest::newRow("none") << QList<NetworkAdapter> {} << "";
    QTest::newRow("only VMware") << QList<NetworkAdapter> { nic("VMware Network Adapter VMnet8", "00:50:56:C0:00:08") }
                                 << "";
    QTest::newRow("VMware in any case") << QList<NetworkAdapter> { nic("vmware bridge", "00:50:56:C0:00:01"),
                                                                   nic("eth0", "52:54:00:12:34:56") }
                                        << "52:54:00:12:34:56";
    QTest::newRow("loopback and down skipped")
        << QList<NetworkAdapter> { nic("lo", "00:00:00:00:00:00", true, true), nic("wlan0", "AA:BB:CC:00:00:01", false),
                                   nic("eth1", "AA:BB:CC:00:00:02") }
        << "AA:BB:CC:00:00:02";
    QTest::newRow("first of several in system order")
        << QList<NetworkAdapter> { nic("eth0", "AA:BB:CC:00:00:03"), nic("eth1", "AA:BB:CC:00:00:04") }
        << "AA:BB:CC:00:00:03";
}

void TestLogin::hardwareAddress()
{
    QFETCH(QList<NetworkAdapter>, adapters);
    QFETCH(QString, mac);
    QCOMPARE(pickHardwareAddress(adapters), mac);
}

void TestLogin::requestBody_data()
{
    QTest::addColumn<bool>("remember");
    QTest::addColumn<QByteArray>("salt"); // empty: variable unset

    QTest::newRow("plain, no salt") << false << QByteArray();
    QTest::newRow("remembered, salted") << true << QByteArray("s4lt-盐");
}

void TestLogin::requestBody()
{
    QFETCH(bool, remember);
    QFETCH(QByteArray, salt);
    if (salt.isEmpty())
        qunsetenv("VANTREL_TOOLSOFT_LOGIN_SALT");
    else
        qputenv("VANTREL_TOOLSOFT_LOGIN_SALT", salt);
    QVERIFY(site.reset());

    const QJsonObject reply = loginAndWait(form("demo_solo", "demo1234", remember));
    QCOMPARE(reply.value("errcode").toInt(-99), 0);

    const QJsonArray log = site.requests("/tool/tool-login");
    QCOMPARE(log.size(), 1);
    QCOMPARE(log.at(0).toObject().value("method").toString(), QString("POST"));
    // Before this login there was no session: the token item travels empty.
    const QJsonObject query = log.at(0).toObject().value("query").toObject();
    QVERIFY(query.contains("token"));
    const QJsonObject body = lastBody(site, "/tool/tool-login");
    QCOMPARE(body.value("username").toString(), QString("demo_solo"));
    QCOMPARE(body.value("password").toString(), QString("demo1234"));
    QVERIFY(!body.contains("encryptkey"));
    if (remember)
        QCOMPARE(body.value("remember_me"), QJsonValue("1"));
    else
        QVERIFY(!body.contains("remember_me"));
    QCOMPARE(body.value("mac").toString(), MyDAO::machineMac());
    QVERIFY(body.value("mac").isString());
    QCOMPARE(body.value("loginsalt").toString(), QString::fromUtf8(salt));
    QVERIFY(body.value("loginsalt").isString());
    qunsetenv("VANTREL_TOOLSOFT_LOGIN_SALT");
    // A second login carries the session's token.
    const QString token = MyDAO::instance()->token();
    loginAndWait(form("demo_solo", "demo1234"));
    const QJsonArray after = site.requests("/tool/tool-login");
    QCOMPARE(after.last().toObject().value("query").toObject().value("token").toString(), token);
}

void TestLogin::sessionAfterLogin_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<int>("uid");
    QTest::addColumn<bool>("team");
    QTest::addColumn<bool>("remember");
    QTest::addColumn<bool>("autoLogin");

    QTest::newRow("team member, remembered, automatic") << "demo_teacher" << 10001 << true << true << true;
    QTest::newRow("solo, nothing remembered") << "demo_solo" << 10002 << false << false << false;
}

void TestLogin::sessionAfterLogin()
{
    QFETCH(QString, user);
    QFETCH(int, uid);
    QFETCH(bool, team);
    QFETCH(bool, remember);
    QFETCH(bool, autoLogin);
    MyDAO* dao = MyDAO::instance();
    dao->clearLogins();

    const QJsonObject reply = loginAndWait(form(user, "demo1234", remember, autoLogin));
    QCOMPARE(reply.value("errcode").toInt(-99), 0);
    const QJsonObject data = reply.value("data").toObject();

    QCOMPARE(dao->uid(), uid);
    QCOMPARE(dao->token(), data.value("token").toString());
    QVERIFY(!dao->token().isEmpty());
    const RecentLogin& me = dao->currentLogin();
    QCOMPARE(me.uid, uid);
    QCOMPARE(me.username, user);
    QCOMPARE(me.team_status, team);
    QCOMPARE(me.remember_encrypt_key.isEmpty(), !remember);
    QCOMPARE(me.remember_encrypt_key, data.value("remember_encrypt_key").toString());
    const QUrl avatar(me.avatar);
    QCOMPARE(avatar.adjusted(QUrl::RemoveQuery).toString(), URL_AVATAR);
    QCOMPARE(queryValue(avatar, "uid"), QString::number(uid));
    QVERIFY(queryValue(avatar, "t").toLongLong() > 1600000000);
    QCOMPARE(dao->autoLoginUid(), autoLogin ? uid : 0);

    // The account is stored for the next start.
    const QList<RecentLogin> recent = dao->loadRecentLogins();
    QCOMPARE(recent.size(), 1);
    QCOMPARE(recent.first().uid, uid);
    QCOMPARE(recent.first().remember_encrypt_key, me.remember_encrypt_key);
    QCOMPARE(dao->recentLogins().size(), 1);

    // Logging in again keeps one row for the account.
    loginAndWait(form(user, "demo1234", remember, autoLogin));
    QCOMPARE(dao->loadRecentLogins().size(), 1);
}

void TestLogin::refusalLeavesSession()
{
    MyDAO* dao = MyDAO::instance();
    dao->clearLogins();
    QCOMPARE(loginAndWait(form("demo_solo", "demo1234")).value("errcode").toInt(-99), 0);
    const QString token = dao->token();

    QCOMPARE(loginAndWait(form("demo_teacher", "wrong", false, true)).value("errcode").toInt(), 10002);
    QCOMPARE(loginAndWait(form("demo_restricted", "demo1234", true, true)).value("errcode").toInt(), 10007);
    QCOMPARE(dao->token(), token);
    QCOMPARE(dao->uid(), 10002);
    QCOMPARE(dao->autoLoginUid(), 0);
    QCOMPARE(dao->loadRecentLogins().size(), 1);
}

void TestLogin::signedInAddresses()
{
    MyDAO* dao = MyDAO::instance();
    QCOMPARE(loginAndWait(form("demo_teacher", "demo1234")).value("errcode").toInt(-99), 0);

    const QUrl plain(dao->signedInUrl(), QUrl::StrictMode);
    QVERIFY(plain.isValid());
    QCOMPARE(plain.adjusted(QUrl::RemoveQuery).toString(), URL_SITE_LOGIN);
    QCOMPARE(QUrlQuery(plain).queryItems().value(0).first, QString("mac"));
    QCOMPARE(QUrlQuery(plain).queryItems().value(1).first, QString("token"));
    QCOMPARE(QUrlQuery(plain).queryItems().value(2).first, QString("jump_url"));
    QCOMPARE(queryValue(plain, "mac"), MyDAO::machineMac());
    QCOMPARE(queryValue(plain, "jump_url"), URL_UCP);
    const QString stamp = QString::fromUtf8(QByteArray::fromBase64(queryValue(plain, "token").toLatin1()));
    QCOMPARE(stamp.section('&', 0, 0), dao->token());
    QVERIFY(stamp.section('&', 1).toLongLong() > 1600000000);

    // A jump address with a query of its own arrives whole.
    const QUrl jump(dao->signedInUrl(URL_DRAWING_APPLY), QUrl::StrictMode);
    QCOMPARE(queryValue(jump, "jump_url"), URL_DRAWING_APPLY);
    QCOMPARE(QUrlQuery(jump).queryItems().size(), 3);

    const QUrl manager(dao->downloadManagerUrl("8812", "23"), QUrl::StrictMode);
    const QUrl inner(queryValue(manager, "jump_url"));
    QCOMPARE(inner.adjusted(QUrl::RemoveQuery).toString(), URL_SOFT);
    QCOMPARE(queryValue(inner, "mod"), QString("down_manager"));
    QCOMPARE(queryValue(inner, "itemid"), QString("8812"));
    QCOMPARE(queryValue(inner, "chid"), QString("23"));
}

QTEST_GUILESS_MAIN(TestLogin)
#include "TestLogin.moc"
