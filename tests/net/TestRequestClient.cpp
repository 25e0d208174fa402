// The request client against a scripted local HTTP peer (malformed replies, resets, stalls)
// and against no server at all.
#include "app/RunLog.h"
#include "net/MyDAO.h"
#include "net/RequestClient.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <memory>
#include <optional>

namespace {

// Answers every connection the same way once the request head (and its body) has arrived.
class ScriptedPeer : public QTcpServer
{
public:
    enum class Mode { Reply, Hang, Reset, Trickle };

    ScriptedPeer()
    {
        connect(this, &QTcpServer::newConnection, this, [this]() {
            while (QTcpSocket* s = nextPendingConnection()) {
                connect(s, &QTcpSocket::readyRead, s, [this, s]() { serve(s); });
                connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
        listen(QHostAddress::LocalHost);
    }

    QString base() const { return QStringLiteral("http://127.0.0.1:%1").arg(serverPort()); }

    Mode mode = Mode::Reply;
    QByteArray response;
    int served = 0;

private:
    void serve(QTcpSocket* s)
    {
        QByteArray& buf = pending[s];
        buf += s->readAll();
        const int head = buf.indexOf("\r\n\r\n");
        if (head < 0)
            return;
        int length = 0;
        for (const QByteArray& line : buf.left(head).split('\n')) {
            if (line.toLower().startsWith("content-length:"))
                length = line.mid(15).trimmed().toInt();
        }
        if (buf.size() < head + 4 + length)
            return;
        pending.remove(s);
        ++served;
        if (mode == Mode::Hang)
            return;
        if (mode == Mode::Reset) {
            s->abort();
            return;
        }
        if (mode == Mode::Trickle) {
            // A head promising a body, then one byte now and then: never silent long enough
            // for the transfer time-out.
            s->write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 100000\r\n\r\n{");
            auto* drip = new QTimer(s);
            connect(drip, &QTimer::timeout, s, [s]() { s->write(" "); });
            drip->start(300);
            return;
        }
        s->write(response);
        s->flush();
    }

    QHash<QTcpSocket*, QByteArray> pending;
};

QByteArray httpReply(int status, const QByteArray& reason, const QByteArray& body, const QByteArray& extra = {})
{
    return "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason + "\r\nContent-Type: application/json\r\n"
        + "Content-Length: " + QByteArray::number(body.size()) + "\r\n" + extra + "\r\n" + body;
}

struct Outcome
{
    int calls = 0;
    QJsonObject obj;
};

QString todaysLog()
{
    QFile f(MyDAO::dataDir() + "/log0-" + QDate::currentDate().toString("yyyy-MM-dd") + ".log.txt");
    return f.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(f.readAll()) : QString();
}

} // namespace

class TestRequestClient : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void dataDirectoryIsUserOnly();
    void judging_data();
    void judging();
    void noServer();
    void contextRouting_data();
    void contextRouting();
    void timeoutEndsAsTransportFailure();
    void tricklingServerMeetsTheDeadline_data();
    void tricklingServerMeetsTheDeadline();
    void oversizedReplyIsCutOff();
    void rawGetDeliversBytesWhateverTheStatus();

private:
    // Sends one GET or POST and waits until the reply is finished and handled.
    Outcome send(bool post, const QString& url, QObject* ctx = nullptr);
    bool waitFinished(const QString& path);

    MyDAO* dao = nullptr;
    QStringList finishedUrls;
};

void TestRequestClient::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName("zenweb");
    QCoreApplication::setApplicationName("Vantrel");
    dao = MyDAO::instance();
    QVERIFY(QDir(MyDAO::dataDir()).exists());
    connect(dao->networkManager(), &QNetworkAccessManager::finished, this,
            [this](QNetworkReply* r) { finishedUrls << r->url().path(); });
    // Stalled peers must not hold the suite for 30 s each.
    MyDAO::setTransferTimeoutForTesting(1500);
}

void TestRequestClient::dataDirectoryIsUserOnly()
{
#ifdef Q_OS_UNIX
    // It holds the remembered-login keys.
    const QFile::Permissions perms = QFile::permissions(MyDAO::dataDir());
    QCOMPARE(perms & ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser),
             QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
#else
    QSKIP("unix permissions");
#endif
}

void TestRequestClient::cleanup()
{
    RequestClient::setRequestDeadlineForTesting(0);
    MyDAO::setReplySizeLimitForTesting(0);
    MyDAO::setTransferTimeoutForTesting(1500);
}

bool TestRequestClient::waitFinished(const QString& path)
{
    for (int i = 0; i < 400 && !finishedUrls.contains(path); ++i)
        QTest::qWait(50);
    const bool seen = finishedUrls.removeOne(path);
    QCoreApplication::processEvents();
    return seen;
}

Outcome TestRequestClient::send(bool post, const QString& url, QObject* ctx)
{
    Outcome out;
    auto cb = [&out](QJsonObject& obj) {
        ++out.calls;
        out.obj = obj;
    };
    if (post)
        dao->httpPost(url, QJsonObject { { "username", "li" }, { "password", "hunter2" } }, cb);
    else
        dao->httpGet(url, QUrlQuery { { "page", "1" } }, cb, ctx);
    if (!waitFinished(QUrl(url).path()))
        qWarning("reply to %s never finished", qPrintable(url));
    return out;
}

void TestRequestClient::judging_data()
{
    QTest::addColumn<QByteArray>("response");
    QTest::addColumn<int>("mode");
    // Empty message: the server's object is delivered as it came.
    QTest::addColumn<QString>("getMessage");
    QTest::addColumn<QString>("postMessage");
    QTest::addColumn<QString>("sessionMsg");

    const int reply = int(ScriptedPeer::Mode::Reply);
    const QString bad = QStringLiteral("JSON响应格式解析失败");
    QTest::newRow("valid envelope") << httpReply(200, "OK", R"({"errcode":0,"data":{"id":3}})") << reply << ""
                                    << ""
                                    << "";
    QTest::newRow("server-side failure unchanged")
        << httpReply(200, "OK", R"({"errcode":7,"message":"资源不存在"})") << reply << ""
        << ""
        << "";
    QTest::newRow("code 200 delivered") << httpReply(200, "OK", R"({"code":200,"data":[1]})") << reply << ""
                                        << ""
                                        << "";

    QTest::newRow("code 400 ends the session")
        << httpReply(200, "OK", R"({"code":400,"msg":"登录已失效，请重新登录"})") << reply << ""
        << "" << QStringLiteral("登录已失效，请重新登录");
    QTest::newRow("status 500") << httpReply(500, "Internal Server Error", R"({"errcode":0})") << reply
                                << "500 Internal Server Error"
                                << "500,Internal Server Error"
                                << "";
    QTest::newRow("status 404 reason phrase")
        << httpReply(404, "Not Found", "nope") << reply << "404 Internal Server Error"
        << "404,Not Found"
        << "";
    QTest::newRow("html body") << httpReply(200, "OK", "<html>busy</html>") << reply << bad << bad << "";

    QTest::newRow("json array") << httpReply(200, "OK", "[{\"errcode\":0}]") << reply << bad << bad << "";

    QTest::newRow("truncated json") << httpReply(200, "OK", R"({"errcode":0,"data":{)") << reply << bad << bad << "";
    QTest::newRow("errcode as text") << httpReply(200, "OK", R"({"errcode":"5","message":"x"})") << reply << bad << bad
                                     << "";

    QTest::newRow("code as text") << httpReply(200, "OK", R"({"code":"400","msg":"x"})") << reply << bad << bad << "";
    QTest::newRow("code null") << httpReply(200, "OK", R"({"code":null,"data":[]})") << reply << bad << bad << "";
    QTest::newRow("redirect loop") << httpReply(302, "Found", "", "Location: /loop/x\r\n") << reply
                                   << "302 Internal Server Error"
                                   << "302,Found"
                                   << "";
    QTest::newRow("connection reset") << QByteArray() << int(ScriptedPeer::Mode::Reset) << "0 Internal Server Error"
                                      << "0,"
                                      << "";
    QTest::newRow("body stalls after the status line")
        << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n{\"errcode\":0") << reply
        << "0 Internal Server Error"
        << "0,"
        << "";
}

void TestRequestClient::judging()
{
    QFETCH(QByteArray, response);
    QFETCH(int, mode);
    QFETCH(QString, getMessage);
    QFETCH(QString, postMessage);
    QFETCH(QString, sessionMsg);

    ScriptedPeer peer;
    QVERIFY(peer.isListening());
    peer.response = response;
    peer.mode = ScriptedPeer::Mode(mode);
    const QByteArray body = response.mid(response.indexOf("\r\n\r\n") + 4);
    QSignalSpy session(dao, &MyDAO::s_session_invalid);

    for (bool post : { false, true }) {
        const QString expected = post ? postMessage : getMessage;
        const Outcome out = send(post, peer.base() + "/loop/x");
        QVERIFY(peer.served > 0);
        if (!sessionMsg.isEmpty()) {
            QCOMPARE(out.calls, 0);
            QCOMPARE(session.count(), 1);
            QCOMPARE(session.takeFirst().at(0).toString(), sessionMsg);
            continue;
        }
        QCOMPARE(out.calls, 1);
        if (expected.isEmpty()) {
            QCOMPARE(out.obj, QJsonDocument::fromJson(body).object());
        } else {
            const QJsonObject envelope { { "errcode", -3 }, { "message", expected } };
            QCOMPARE(out.obj, envelope);
        }
    }
    QCOMPARE(session.count(), 0);
}

void TestRequestClient::noServer()
{
    // Port 9 is closed on this machine: no HTTP answer at all.
    dao->setToken("tok-secret");
    const Outcome get = send(false, "https://127.0.0.1:9/toolupload/asset?flag=9");
    QCOMPARE(get.calls, 1);
    QCOMPARE(get.obj, (QJsonObject { { "errcode", -3 }, { "message", "0 Internal Server Error" } }));
    const Outcome post = send(true, "https://127.0.0.1:9/tool/tool-login");
    QCOMPARE(post.calls, 1);
    QCOMPARE(post.obj, (QJsonObject { { "errcode", -3 }, { "message", "0," } }));

    const QString log = todaysLog();
    // The caller's URL without its query, a blank and the (empty) body; for a POST the
    // status and reason phrase.
    QVERIFY2(log.contains(" https://127.0.0.1:9/toolupload/asset \r\n"), qPrintable(log));
    QVERIFY2(log.contains(" https://127.0.0.1:9/tool/tool-login 0,\r\n"), qPrintable(log));
    QVERIFY2(log.contains(" https://127.0.0.1:9/toolupload/asset?page=1&token=***\r\n"), qPrintable(log));
    QVERIFY(log.contains(R"( {"password":"***","username":"li"})"));
    QVERIFY(!log.contains("hunter2"));
    QVERIFY(!log.contains("tok-secret"));
    dao->setToken(QString());
}

void TestRequestClient::contextRouting_data()
{
    QTest::addColumn<bool>("withContext");
    QTest::addColumn<bool>("destroyFirst");
    QTest::addColumn<int>("expectedCalls");
    QTest::newRow("no context: called directly") << false << false << 1;
    QTest::newRow("live context: routed to it") << true << false << 1;
    QTest::newRow("context destroyed before the reply") << true << true << 0;
}

void TestRequestClient::contextRouting()
{
    QFETCH(bool, withContext);
    QFETCH(bool, destroyFirst);
    QFETCH(int, expectedCalls);

    int routed = 0;
    QObject counter;
    connect(dao, &MyDAO::s_exec_callback, &counter, [&routed]() { ++routed; });
    auto ctx = std::make_unique<QObject>();
    QObject* const ctxPtr = ctx.get();
    int handled = 0;
    // What a widget that passes itself does: only its own replies run.
    connect(dao, &MyDAO::s_exec_callback, ctx.get(), [&handled, ctxPtr](HTTP_CALLBACK cb, QJsonObject obj, QObject* c) {
        if (c != ctxPtr)
            return;
        ++handled;
        cb(obj);
    });

    int calls = 0;
    dao->httpGet(
        "https://127.0.0.1:9/toolupload/asset/detail", QUrlQuery { { "itemid", "5" } },
        [&calls](QJsonObject& obj) {
            QCOMPARE(obj.value("errcode").toInt(), -3);
            ++calls;
        },
        withContext ? ctx.get() : nullptr);
    if (destroyFirst)
        ctx.reset();
    QVERIFY(waitFinished("/toolupload/asset/detail"));

    QCOMPARE(calls, expectedCalls);
    QCOMPARE(routed, withContext && !destroyFirst ? 1 : 0);
    QCOMPARE(handled, withContext && !destroyFirst ? 1 : 0);
}

void TestRequestClient::timeoutEndsAsTransportFailure()
{
    ScriptedPeer peer;
    peer.mode = ScriptedPeer::Mode::Hang;
    MyDAO::setTransferTimeoutForTesting(800);
    const Outcome get = send(false, peer.base() + "/toolupload/district");
    QCOMPARE(get.obj, (QJsonObject { { "errcode", -3 }, { "message", "0 Internal Server Error" } }));
    const Outcome post = send(true, peer.base() + "/toolupload/asset/checking-intro");
    QCOMPARE(post.obj, (QJsonObject { { "errcode", -3 }, { "message", "0," } }));
    QVERIFY(peer.served >= 2);
}

void TestRequestClient::tricklingServerMeetsTheDeadline_data()
{
    QTest::addColumn<int>("overallMs"); // 0: the client's own
    QTest::addColumn<int>("ownMs"); // the request's shorter deadline, 0: none
    QTest::addColumn<bool>("post");
    QTest::newRow("get, overall deadline") << 1500 << 0 << false;
    QTest::newRow("get with its own short deadline") << 0 << 1500 << false;
}

void TestRequestClient::tricklingServerMeetsTheDeadline()
{
    QFETCH(int, overallMs);
    QFETCH(int, ownMs);
    QFETCH(bool, post);
    ScriptedPeer peer;
    peer.mode = ScriptedPeer::Mode::Trickle;
    RequestClient::setRequestDeadlineForTesting(overallMs);
    const QString url = peer.base() + "/toolupload/version.json";
    Outcome out;
    if (ownMs > 0) {
        dao->httpGet(
            url, QUrlQuery(),
            [&out](QJsonObject& obj) {
                ++out.calls;
                out.obj = obj;
            },
            nullptr, ownMs);
        QVERIFY(waitFinished(QUrl(url).path()));
    } else {
        out = send(post, url);
    }
    QCOMPARE(out.calls, 1);
    QCOMPARE(out.obj.value("errcode").toInt(), -3);
}

void TestRequestClient::oversizedReplyIsCutOff()
{
    ScriptedPeer peer;
    MyDAO::setReplySizeLimitForTesting(256 * 1024);
    const QByteArray big = "{\"errcode\":0,\"data\":\"" + QByteArray(2 * 1024 * 1024, 'x') + "\"}";
    peer.response = httpReply(200, "OK", big);
    const Outcome get = send(false, peer.base() + "/toolupload/asset");
    QCOMPARE(get.obj, (QJsonObject { { "errcode", -3 }, { "message", "0 Internal Server Error" } }));

    // Under the limit the same reply is delivered whole.
    MyDAO::setReplySizeLimitForTesting(4 * 1024 * 1024);
    const Outcome whole = send(false, peer.base() + "/toolupload/asset");
    QCOMPARE(whole.obj.value("data").toString().size(), 2 * 1024 * 1024);
}

void TestRequestClient::rawGetDeliversBytesWhateverTheStatus()
{
    ScriptedPeer peer;
    peer.response = httpReply(404, "Not Found", "\x89PNG-ish");
    std::optional<QByteArray> got;
    dao->httpGetRaw(peer.base() + "/avatar.php?uid=1", [&got](QByteArray b) { got = b; });
    QVERIFY(waitFinished("/avatar.php"));
    QVERIFY(got.has_value());
    QCOMPARE(*got, QByteArray("\x89PNG-ish"));
}

QTEST_GUILESS_MAIN(TestRequestClient)
#include "TestRequestClient.moc"
