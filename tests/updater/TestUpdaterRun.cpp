// The updater on a temporary installed tree, against the local site: the real velwick, the
// real client, and the ways an update can go wrong. Every failure must leave the old
// client in place, unchanged and runnable.
#include "app/MySingleApplication.h"
#include "support/DevsiteFixture.h"
#include "support/TestPaths.h"
#include "support/ToolProcess.h"
#include "update/MyVersionDialog.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QPushButton>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <memory>
#include <signal.h>

namespace {

const QString kNew = QStringLiteral("2.29.0.1");

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString sha256(const QByteArray& bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

// Listens on a name, taking it over from a copy killed before.
bool claim(QLocalServer& server, const QString& name)
{
    QLocalServer::removeServer(name);
    return server.listen(name);
}

bool answers(const QString& name)
{
    QLocalSocket socket;
    socket.connectToServer(name);
    return socket.waitForConnected(200);
}

// Kills, by pid, every process running one of the tree's programs.
void killProgramsIn(const QString& dir)
{
    const QString canonical = QDir(dir).canonicalPath() + "/";
    for (const QString& pid : QDir("/proc").entryList(QDir::Dirs)) {
        bool number = false;
        const int id = pid.toInt(&number);
        if (!number)
            continue;
        const QString exe = QFile::symLinkTarget("/proc/" + pid + "/exe");
        if (exe.startsWith(canonical))
            ::kill(id, SIGKILL);
    }
}

// Announces the whole program but sends only half of it before closing the connection.
class CutServer : public QTcpServer
{
public:
    CutServer(const QString& stateDir, QByteArray exe)
        : cert(readAll(stateDir + "/server.pem"))
        , key(readAll(stateDir + "/server.key"), QSsl::Ec)
        , exe(std::move(exe))
    {
    }

protected:
    void incomingConnection(qintptr handle) override
    {
        auto* socket = new QSslSocket(this);
        socket->setSocketDescriptor(handle);
        socket->setLocalCertificate(cert);
        socket->setPrivateKey(key);
        auto request = std::make_shared<QByteArray>();
        connect(socket, &QSslSocket::readyRead, socket, [this, socket, request] {
            *request += socket->readAll();
            if (!request->contains("\r\n\r\n"))
                return;
            QByteArray answer;
            if (request->startsWith("GET /nsoft/toolupload/version.json")) {
                const QByteArray json = "{\"code\":0,\"data\":[\"" + kNew.toLatin1() + "\"]}";
                answer = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: "
                    + QByteArray::number(json.size()) + "\r\n\r\n" + json;
            } else {
                answer = "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nConnection: close\r\n"
                         "Content-Length: "
                    + QByteArray::number(exe.size()) + "\r\n\r\n" + exe.left(exe.size() / 2);
            }
            socket->write(answer);
            socket->disconnectFromHost();
        });
        socket->startServerEncryption();
    }

private:
    QSslCertificate cert;
    QSslKey key;
    QByteArray exe;
};

} // namespace

class TestUpdaterRun : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void updateRoundTrip();
    void mainStillRunningBlocks();
    void faultsKeepOldClient_data();
    void faultsKeepOldClient();
    void newClientFailsToStart();
    void secondUpdaterEndsAtOnce();

private:
    QString program(const QString& name) const { return tree->path() + "/" + name; }
    bool publish(const QString& version, const QString& digest = QString());
    // Starts the tree's updater; its status lines go to stderr.
    std::unique_ptr<QProcess> startUpdater();
    // The tree's client starts (its local server answers), then it is stopped again.
    bool oldClientStarts();

    DevsiteFixture site;
    QString publishedFile;
    QByteArray oldClient;
    QByteArray newClient;
    bool publishedChanged = false;
    QTemporaryDir sockets;
    std::unique_ptr<QTemporaryDir> tree;
};

void TestUpdaterRun::initTestCase()
{
#ifndef Q_OS_LINUX
    QSKIP("runs the Linux programs of the build");
#endif
    // Local-server names live in TMPDIR: this test's copies meet nobody else's.
    qputenv("TMPDIR", QFile::encodeName(sockets.path()));
    qputenv("VANTREL_UPDATER_SECOND_MS", "40");
    qunsetenv("VANTREL_APPDIR");

    oldClient = readAll(testBinDir() + "/Vantrel");
    QVERIFY(oldClient.startsWith("\x7f"
                                 "ELF"));
    // Another build of the client: the same program with bytes of its own at the end.
    newClient = oldClient + QByteArray("\nvantrel test build ") + kNew.toLatin1();
    publishedFile = sockets.path() + "/published";
    QVERIFY(writeFile(publishedFile, newClient));

    QVERIFY(site.start(QString(), { "--exe", publishedFile }));
    site.exportEnv();
}

void TestUpdaterRun::init()
{
    QVERIFY(site.reset());
    QVERIFY(publish(kNew));
    tree = std::make_unique<QTemporaryDir>();
    for (const char* name : { "Vantrel", "velwick" })
        QVERIFY(QFile::copy(testBinDir() + "/" + name, program(name)));
}

void TestUpdaterRun::cleanup()
{
    QProcess::execute("chattr", { "-i", tree->path() });
    QFile::setPermissions(tree->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    killProgramsIn(tree->path());
    if (publishedChanged)
        QVERIFY(writeFile(publishedFile, newClient));
    publishedChanged = false;
    QTRY_VERIFY(!answers(MySingleApplication::localServerName()));
    tree.reset();
}

bool TestUpdaterRun::publish(const QString& version, const QString& digest)
{
    QJsonObject body { { "version", version } };
    if (!digest.isEmpty())
        body.insert("sha256", digest);
    return site.admin("POST", "/__devsite/publish", body).object().value("ok").toBool();
}

std::unique_ptr<QProcess> TestUpdaterRun::startUpdater()
{
    auto process = std::make_unique<QProcess>();
    process->start(program("velwick"), QStringList());
    process->waitForStarted();
    return process;
}

bool TestUpdaterRun::oldClientStarts()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("VANTREL_WEBSITE_URL", "https://127.0.0.1:9");
    QProcess client;
    client.setProcessEnvironment(env);
    client.start(program("Vantrel"), QStringList());
    const bool up = client.waitForStarted()
        && QTest::qWaitFor([] { return answers(MySingleApplication::localServerName()); }, 60000);
    client.kill();
    client.waitForFinished();
    return up;
}

// Offered at start, accepted: this process plays the running client until the dialog hands
// over, then "ends"; velwick swaps the program and starts the new client.
void TestUpdaterRun::updateRoundTrip()
{
    QVERIFY(publish(kNew, sha256(newClient)));
    qputenv("VANTREL_APPDIR", QFile::encodeName(tree->path()));
    auto running = std::make_unique<QLocalServer>();
    QVERIFY(claim(*running, MySingleApplication::localServerName()));

    MyVersionDialog dialog;
    QTimer press;
    connect(&press, &QTimer::timeout, this, [&] {
        if (dialog.isVisible() && dialog.checkButton()->text() == "立即更新") {
            press.stop();
            QTest::mouseClick(dialog.checkButton(), Qt::LeftButton);
        }
    });
    press.start(20);
    const int result = dialog.checkOnStart();
    qunsetenv("VANTREL_APPDIR");
    QCOMPARE(result, 1);
    // The updater waits while the client is still there.
    QTest::qWait(300);
    QVERIFY(readAll(program("Vantrel")) == oldClient);
    running.reset();

    QTRY_VERIFY_WITH_TIMEOUT(readAll(program("Vantrel")) == newClient, 60000);
    QTRY_VERIFY_WITH_TIMEOUT(answers(MySingleApplication::localServerName()), 60000);
    // The backup goes once the new client is up; nothing else is left behind.
    QTRY_COMPARE_WITH_TIMEOUT(QDir(tree->path()).entryList(QDir::Files), QStringList({ "Vantrel", "velwick" }), 30000);
    QVERIFY(QFileInfo(program("Vantrel")).isExecutable());

    // The process behind the name is the new program, started without arguments.
    bool found = false;
    for (const QString& pid : QDir("/proc").entryList(QDir::Dirs)) {
        if (QFile::symLinkTarget("/proc/" + pid + "/exe") == QDir(tree->path()).canonicalPath() + "/Vantrel") {
            found = true;
            QCOMPARE(readAll("/proc/" + pid + "/cmdline").split('\0').size(), 2);
        }
    }
    QVERIFY(found);
    QVERIFY(site.requests("/nsoft/toolupload/" + kNew + "/Vantrel.exe").size() == 1);
}

void TestUpdaterRun::mainStillRunningBlocks()
{
    QLocalServer running;
    QVERIFY(claim(running, MySingleApplication::localServerName()));
    auto velwick = startUpdater();
    QByteArray err;
    QTRY_VERIFY_WITH_TIMEOUT((err += velwick->readAllStandardError())
                                 .contains("status: 小主，程序更新失败，解决办法：退出主程序，重新安装程序!"),
                             30000);
    // It stays for the user to close; nothing was asked for, nothing touched.
    QVERIFY(velwick->state() == QProcess::Running);
    QCOMPARE(site.requests("/nsoft/toolupload/version.json").size(), 0);
    QCOMPARE(QDir(tree->path()).entryList(QDir::Files), QStringList({ "Vantrel", "velwick" }));
    QVERIFY(readAll(program("Vantrel")) == oldClient);
    velwick->kill();
    velwick->waitForFinished();
}

void TestUpdaterRun::faultsKeepOldClient_data()
{
    QTest::addColumn<QString>("fault");
    QTest::newRow("certificate not trusted") << "untrusted";
    QTest::newRow("404 on the program") << "404";
    QTest::newRow("cut transfer") << "cut";
    QTest::newRow("wrong digest") << "digest";
    QTest::newRow("not a program") << "html";
    QTest::newRow("read-only folder") << "readonly";
}

void TestUpdaterRun::faultsKeepOldClient()
{
    QFETCH(QString, fault);
    const QString exePath = "/nsoft/toolupload/" + kNew + "/Vantrel.exe";
    std::unique_ptr<CutServer> cut;
    if (fault == "404")
        QVERIFY(site.fault({ { "path", exePath }, { "status", 404 } }));
    if (fault == "html")
        QVERIFY(site.fault({ { "path", exePath }, { "body", "<!DOCTYPE html><html><body>维护中</body></html>" } }));
    if (fault == "untrusted")
        qputenv("VANTREL_CA_CERTS", QFile::encodeName(tree->path() + "/no-such-ca.pem"));
    if (fault == "digest")
        QVERIFY(publish(kNew, sha256(oldClient)));
    if (fault == "cut") {
        cut = std::make_unique<CutServer>(site.stateDir(), newClient);
        QVERIFY(cut->listen(QHostAddress::LocalHost));
        qputenv("VANTREL_WEBSITE_URL", "https://127.0.0.1:" + QByteArray::number(cut->serverPort()));
    }
    if (fault == "readonly") {
        QVERIFY(QFile::setPermissions(tree->path(), QFile::ReadOwner | QFile::ExeOwner));
        // Root writes anywhere; an immutable folder stops it too.
        if (::geteuid() == 0)
            QCOMPARE(QProcess::execute("chattr", { "+i", tree->path() }), 0);
    }
    const QFile::Permissions permissions = QFile::permissions(program("Vantrel"));

    auto velwick = startUpdater();
    const bool ended = velwick->waitForFinished(60000);
    site.exportEnv();
    QVERIFY(ended);
    QCOMPARE(velwick->exitCode(), 0);
    const QString err = QString::fromUtf8(velwick->readAllStandardError());
    // The countdown ran to its end: 8 … 0.
    QVERIFY2(err.contains("status: 小主，更新失败，(8)秒后退出！")
                 && err.contains("status: 小主，更新失败，(0)秒后退出！"),
             qPrintable(err));
    QVERIFY(!err.contains("(-1)"));

    QProcess::execute("chattr", { "-i", tree->path() });
    QVERIFY(QFile::setPermissions(tree->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QCOMPARE(QDir(tree->path()).entryList(QDir::Files), QStringList({ "Vantrel", "velwick" }));
    QVERIFY(readAll(program("Vantrel")) == oldClient);
    QCOMPARE(QFile::permissions(program("Vantrel")), permissions);
    QVERIFY(oldClientStarts());
}

// A program that passes every check but ends at once: the old one is put back and started.
void TestUpdaterRun::newClientFailsToStart()
{
    const QByteArray broken = readAll("/bin/false");
    QVERIFY(broken.startsWith("\x7f"
                              "ELF"));
    publishedChanged = true;
    QVERIFY(writeFile(publishedFile, broken));
    QVERIFY(publish(kNew, sha256(broken)));

    auto velwick = startUpdater();
    QTRY_VERIFY_WITH_TIMEOUT(answers(MySingleApplication::localServerName()), 60000);
    QByteArray err;
    QTRY_VERIFY_WITH_TIMEOUT(
        (err += velwick->readAllStandardError()).contains("解决办法：直接官网下载最新的程序安装包!"), 30000);
    QVERIFY(readAll(program("Vantrel")) == oldClient);
    QVERIFY(QFileInfo(program("Vantrel")).isExecutable());
    QCOMPARE(QDir(tree->path()).entryList(QDir::Files), QStringList({ "Vantrel", "velwick" }));
    velwick->kill();
    velwick->waitForFinished();
}

void TestUpdaterRun::secondUpdaterEndsAtOnce()
{
    QLocalServer first;
    QVERIFY(claim(first, MySingleApplication::updaterServerName()));
    auto velwick = startUpdater();
    QVERIFY(velwick->waitForFinished(30000));
    QCOMPARE(velwick->exitCode(), 0);
    QVERIFY(!velwick->readAllStandardError().contains("status:"));
    QCOMPARE(site.requests("/nsoft/toolupload/version.json").size(), 0);
    QVERIFY(readAll(program("Vantrel")) == oldClient);
}

QTEST_MAIN(TestUpdaterRun)
#include "TestUpdaterRun.moc"
