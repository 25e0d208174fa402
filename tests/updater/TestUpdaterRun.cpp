// The updater on a temporary installed tree, against the local site: the real velwick, the
// real client, and the ways an update can go wrong. Every failure must leave the old
// client in place, unchanged and runnable; a kill at any step must leave one that the next
// start of either program puts right.
#include "app/MySingleApplication.h"
#include "net/Endpoints.h"
#include "support/DevsiteFixture.h"
#include "support/TestPaths.h"
#include "support/ToolProcess.h"
#include "update/MyVersionDialog.h"
#include "updater/HandOff.h"
#include "updater/ReleaseCheck.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <memory>
#include <signal.h>

namespace {

// As long as the client's own version: the new client is the old one with this version in it.
const QString kNew = QStringLiteral("2.29.0.210301");
const char* const kSiteDown = "https://127.0.0.1:9";

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

// Asks as velwick does whether the client behind the local server is up.
bool clientStarted()
{
    QLocalSocket socket;
    socket.connectToServer(MySingleApplication::localServerName());
    if (!socket.waitForConnected(500))
        return false;
    socket.write(HandOff::kStartedQuery);
    socket.waitForBytesWritten(500);
    QByteArray answer;
    while (!answer.contains('\n') && socket.waitForReadyRead(1000))
        answer += socket.readAll();
    return answer == HandOff::kStartedAnswer;
}

// The smallest Linux x86-64 program: it waits for signals forever, opening nothing.
QByteArray silentProgram()
{
    QByteArray elf;
    auto put = [&elf](quint64 value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            elf.append(char((value >> (8 * i)) & 0xff));
    };
    elf.append("\x7f"
               "ELF\x02\x01\x01",
               7);
    elf.append(9, '\0');
    put(2, 2), put(0x3e, 2), put(1, 4), put(0x400078, 8), put(64, 8), put(0, 8), put(0, 4);
    put(64, 2), put(56, 2), put(1, 2), put(0, 2), put(0, 2), put(0, 2);
    put(1, 4), put(5, 4), put(0, 8), put(0x400000, 8), put(0x400000, 8), put(129, 8), put(129, 8), put(0x1000, 8);
    elf.append("\xb8\x22\x00\x00\x00\x0f\x05\xeb\xf7", 9); // pause(); again
    return elf;
}

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
    void newClientUnwell_data();
    void newClientUnwell();
    void killAtEveryStep_data();
    void killAtEveryStep();
    void clientCleansLeftovers();
    void secondUpdaterEndsAtOnce();

private:
    QString program(const QString& name) const { return tree->path() + "/" + name; }
    QStringList files() const { return QDir(tree->path()).entryList(QDir::Files); }
    bool publish(const QString& version, const QString& digest = QString(), const QString& signing = QString());
    void freshTree();
    // Starts the tree's updater; its status lines go to stderr.
    std::unique_ptr<QProcess> startUpdater();
    // velwick under strace, killed before the last of `steps` (none: never); the steps it takes
    // are written to `log`. True when it was killed.
    bool tracedUpdater(const QStringList& steps, const QString& log);
    // The tree's client up to its login dialog (the site has no version for it), then stopped again.
    bool clientComesUp();
    // velwick with the site unreachable: it fails after its start-up repairs.
    bool updaterFailsOffline();

    DevsiteFixture site;
    QString publishedFile;
    QByteArray oldClient;
    QByteArray newClient;
    bool publishedChanged = false;
    bool keyBuiltIn = false;
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
    keyBuiltIn = !ReleaseCheck::builtInKey().isEmpty();

    oldClient = readAll(testBinDir() + "/Vantrel");
    QVERIFY(oldClient.startsWith("\x7f"
                                 "ELF"));
    // Another build of the client: the same program that calls itself kNew, so that it finds
    // itself up to date when it starts and goes on to its login dialog.
    newClient = oldClient;
    const QByteArray own = QByteArray(PROGRAM_VERSION) + '\0';
    QVERIFY(own.size() == kNew.size() + 1 && newClient.contains(own));
    newClient.replace(own, kNew.toLatin1() + '\0');
    publishedFile = sockets.path() + "/published";
    QVERIFY(writeFile(publishedFile, newClient));

    QVERIFY(site.start(QString(), { "--exe", publishedFile }));
    site.exportEnv();
}

void TestUpdaterRun::init()
{
    QVERIFY(site.reset());
    QVERIFY(publish(kNew));
    freshTree();
}

void TestUpdaterRun::freshTree()
{
    if (tree)
        killProgramsIn(tree->path());
    tree = std::make_unique<QTemporaryDir>();
    for (const char* name : { "Vantrel", "velwick" })
        QVERIFY(QFile::copy(testBinDir() + "/" + name, program(name)));
    // The client needs its shipped reference files to come up without the site.
    QVERIFY(QDir(tree->path()).mkdir("resources"));
    for (const char* name : { "resources/vtup.json", "resources/rule.json" })
        QVERIFY(QFile::copy(testSourceDir() + "/" + name, program(name)));
}

void TestUpdaterRun::cleanup()
{
    QProcess::execute("chattr", { "-i", tree->path() });
    QFile::setPermissions(tree->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    killProgramsIn(tree->path());
    if (publishedChanged)
        QVERIFY(writeFile(publishedFile, newClient));
    publishedChanged = false;
    qputenv("VANTREL_UPDATER_SECOND_MS", "40");
    QTRY_VERIFY(!answers(MySingleApplication::localServerName()));
    tree.reset();
}

bool TestUpdaterRun::publish(const QString& version, const QString& digest, const QString& signing)
{
    QJsonObject body { { "version", version } };
    if (!digest.isEmpty())
        body.insert("sha256", digest);
    if (!signing.isEmpty())
        body.insert("signature", signing);
    return site.admin("POST", "/__devsite/publish", body).object().value("ok").toBool();
}

std::unique_ptr<QProcess> TestUpdaterRun::startUpdater()
{
    auto process = std::make_unique<QProcess>();
    process->start(program("velwick"), QStringList());
    process->waitForStarted();
    return process;
}

bool TestUpdaterRun::tracedUpdater(const QStringList& steps, const QString& log)
{
    // The steps that change the folder; each is killed before it happens.
    const QString calls = "write,fsync,fdatasync,chmod,fchmod,fchmodat,link,linkat,rename,renameat,renameat2,"
                          "unlink,unlinkat";
    const QString dir = QDir(tree->path()).canonicalPath();
    QStringList args { "-qq", "-o", log, "-e", "trace=" + calls };
    for (const QString& path : { dir, dir + "/Vantrel", dir + "/Vantrel.bak", dir + "/Vantrel-" + kNew })
        args << "-P" << path;
    if (!steps.isEmpty()) {
        // strace counts each call by itself: the last step is the k-th call of its kind.
        const QString call = steps.last().section('(', 0, 0);
        const int k = steps.filter(QRegularExpression("^" + call + "\\(")).size();
        args << "-e" << QString("inject=%1:signal=KILL:when=%2").arg(call).arg(k);
    }
    args << dir + "/velwick";

    QProcess strace;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("ASAN_OPTIONS", "detect_leaks=0"); // the leak check cannot run under a tracer
    strace.setProcessEnvironment(env);
    strace.start("strace", args);
    // A velwick that rolled back waits for its warning to be read.
    QByteArray err;
    const bool ended = QTest::qWaitFor(
        [&] {
            return strace.state() == QProcess::NotRunning
                || (err += strace.readAllStandardError()).contains("warning:");
        },
        120000);
    if (!ended || strace.state() != QProcess::NotRunning) {
        strace.kill();
        strace.waitForFinished();
        return false;
    }
    // strace ends the way the traced program ended.
    const bool killed = strace.exitStatus() == QProcess::CrashExit || strace.exitCode() == 128 + SIGKILL;
    if (!killed)
        qWarning().noquote() << err + strace.readAllStandardError();
    return killed;
}

bool TestUpdaterRun::clientComesUp()
{
    // Old or new, the client offers no update when the version file cannot be read.
    if (!site.fault({ { "path", "/nsoft/toolupload/version.json" }, { "status", 503 }, { "count", 1000 } }))
        return false;
    QProcess client;
    client.start(program("Vantrel"), QStringList());
    const bool up = client.waitForStarted() && QTest::qWaitFor([] { return clientStarted(); }, 60000);
    client.kill();
    client.waitForFinished();
    return site.reset() && up;
}

bool TestUpdaterRun::updaterFailsOffline()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("VANTREL_WEBSITE_URL", kSiteDown);
    env.insert("VANTREL_UPDATER_SECOND_MS", "40");
    QProcess velwick;
    velwick.setProcessEnvironment(env);
    velwick.start(program("velwick"), QStringList());
    return velwick.waitForFinished(60000)
        && velwick.readAllStandardError().contains("status: 小主，更新失败，(0)秒后退出！");
}

// Offered at start, accepted: this process plays the running client until the dialog hands
// over, then "ends"; velwick swaps the program and starts the new client.
void TestUpdaterRun::updateRoundTrip()
{
    // The real client has a minute of real seconds to come up.
    qputenv("VANTREL_UPDATER_SECOND_MS", "1000");
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
    QTRY_VERIFY_WITH_TIMEOUT(clientStarted(), 60000);
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
    QTest::newRow("cut with its length announced") << "length";
    QTest::newRow("chunked body cut short") << "chunked";
    QTest::newRow("malformed chunk header half-way") << "chunk-header";
    QTest::newRow("corrupt gzip body") << "gzip";
    QTest::newRow("body without length cut by a close") << "close";
    QTest::newRow("wrong digest") << "digest";
    QTest::newRow("not a program") << "html";
    QTest::newRow("read-only folder") << "readonly";
    QTest::newRow("version with a path in it") << "version";
    QTest::newRow("no signature") << "none";
    QTest::newRow("signature of other bytes") << "wrong";
}

void TestUpdaterRun::faultsKeepOldClient()
{
    QFETCH(QString, fault);
    const QString exePath = "/nsoft/toolupload/" + kNew + "/Vantrel.exe";
    if ((fault == "none" || fault == "wrong") && !keyBuiltIn)
        QSKIP("this build trusts no release key");
    if (fault == "404")
        QVERIFY(site.fault({ { "path", exePath }, { "status", 404 } }));
    if (fault == "html")
        QVERIFY(site.fault({ { "path", exePath }, { "body", "<!DOCTYPE html><html><body>维护中</body></html>" } }));
    if (QStringList { "length", "chunked", "chunk-header", "gzip", "close" }.contains(fault))
        QVERIFY(site.fault({ { "path", exePath }, { "cut", fault }, { "count", 3 } }));
    if (fault == "untrusted")
        qputenv("VANTREL_CA_CERTS", QFile::encodeName(tree->path() + "/no-such-ca.pem"));
    if (fault == "digest")
        QVERIFY(publish(kNew, sha256(oldClient)));
    if (fault == "none" || fault == "wrong")
        QVERIFY(publish(kNew, QString(), fault));
    if (fault == "version")
        QVERIFY(publish("2.29/../../../evil"));
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
    if (fault == "version") {
        // Nothing was asked for under that name.
        for (const QJsonValue& request : site.requests())
            QVERIFY(!request.toObject().value("path").toString().contains("evil"));
    }

    QProcess::execute("chattr", { "-i", tree->path() });
    QVERIFY(QFile::setPermissions(tree->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QCOMPARE(files(), QStringList({ "Vantrel", "velwick" }));
    QVERIFY(readAll(program("Vantrel")) == oldClient);
    QCOMPARE(QFile::permissions(program("Vantrel")), permissions);
}

// A program that passes every check but does not come up: the old one is put back and started.
void TestUpdaterRun::newClientUnwell_data()
{
    QTest::addColumn<QByteArray>("published");
    QTest::newRow("ends at once") << readAll("/bin/false");
#ifdef Q_PROCESSOR_X86_64
    QTest::newRow("runs but never opens its local server") << silentProgram();
#endif
}

void TestUpdaterRun::newClientUnwell()
{
    QFETCH(QByteArray, published);
    publishedChanged = true;
    QVERIFY(writeFile(publishedFile, published));

    auto velwick = startUpdater();
    QByteArray err;
    QTRY_VERIFY_WITH_TIMEOUT(
        (err += velwick->readAllStandardError()).contains("解决办法：直接官网下载最新的程序安装包!"), 60000);
    QVERIFY(readAll(program("Vantrel")) == oldClient);
    QVERIFY(QFileInfo(program("Vantrel")).isExecutable());
    QCOMPARE(files(), QStringList({ "Vantrel", "velwick" }));
    // The old client runs again, and nothing else from the tree's program file.
    QTRY_VERIFY_WITH_TIMEOUT(answers(MySingleApplication::localServerName()), 60000);
    int clients = 0;
    for (const QString& pid : QDir("/proc").entryList(QDir::Dirs))
        clients += QFile::symLinkTarget("/proc/" + pid + "/exe")
                       .startsWith(QDir(tree->path()).canonicalPath() + "/Vantrel");
    QCOMPARE(clients, 1);
    velwick->kill();
    velwick->waitForFinished();
}

// velwick is killed before each file-system step it takes in the tree in turn, on the way to a
// good client and on the way back from one that ends at once. Each time the tree holds a
// runnable client (or the bad program with the old client as its backup), and the next start
// of the client or of velwick leaves exactly one whole client and nothing else.
void TestUpdaterRun::killAtEveryStep_data()
{
    QTest::addColumn<bool>("rollBack");
    QTest::newRow("swap") << false;
    QTest::newRow("roll-back") << true;
}

void TestUpdaterRun::killAtEveryStep()
{
    QFETCH(bool, rollBack);
    if (QStandardPaths::findExecutable("strace").isEmpty())
        QSKIP("needs strace (scripts/packages.txt)");
    const QByteArray bad = readAll("/bin/false");
    if (rollBack) {
        publishedChanged = true;
        QVERIFY(writeFile(publishedFile, bad));
    } else {
        qputenv("VANTREL_UPDATER_SECOND_MS", "1000"); // the real client comes up in real seconds
    }

    // A run without kills lists the steps.
    const QString log = sockets.path() + "/steps";
    QVERIFY(!tracedUpdater({}, log));
    const QStringList steps = QString::fromUtf8(readAll(log)).split('\n').filter(QRegularExpression("^[a-z0-9]+\\("));
    QTRY_COMPARE_WITH_TIMEOUT(files(), QStringList({ "Vantrel", "velwick" }), 60000);
    QVERIFY(readAll(program("Vantrel")) == (rollBack ? oldClient : newClient));
    // On the road back only the steps after the bad program was found are new.
    int first = 1;
    if (rollBack) {
        first = steps.lastIndexOf(QRegularExpression(".*rename.*Vantrel.bak.*")) + 1;
        QVERIFY2(first > 1, qPrintable(steps.join('\n')));
    }
    QVERIFY2(steps.size() >= 6, qPrintable(steps.join('\n')));

    for (int n = first; n <= steps.size(); ++n) {
        const QString step = QString("step %1: %2").arg(n).arg(steps.at(n - 1));
        freshTree();
        QVERIFY2(tracedUpdater(steps.mid(0, n), log), qPrintable(step));
        killProgramsIn(tree->path());
        const QByteArray main = readAll(program("Vantrel"));
        const bool hadBackup = QFileInfo::exists(program("Vantrel.bak"));
        QVERIFY2(QFileInfo(program("Vantrel")).isExecutable(), qPrintable(step));
        QVERIFY2(main == oldClient || main == newClient
                     || (main == bad && readAll(program("Vantrel.bak")) == oldClient),
                 qPrintable(step));

        // The client can only start when it is the program; every other step goes to velwick.
        const bool byClient = !rollBack && n % 2 == 1;
        QVERIFY2(byClient ? clientComesUp() : updaterFailsOffline(), qPrintable(step));
        QCOMPARE(files(), QStringList({ "Vantrel", "velwick" }));
        const QByteArray after = readAll(program("Vantrel"));
        QVERIFY2(after == (byClient || !hadBackup ? main : oldClient), qPrintable(step));
        QVERIFY2(after == oldClient || after == newClient, qPrintable(step));
    }
}

// Downloads of earlier runs go at the client's next start.
void TestUpdaterRun::clientCleansLeftovers()
{
    QVERIFY(writeFile(program("Vantrel-2.27.0.200101"), newClient.left(4096)));
    QVERIFY(writeFile(program("Vantrel-" + kNew), newClient));
    QVERIFY(clientComesUp());
    QCOMPARE(files(), QStringList({ "Vantrel", "velwick" }));
    QVERIFY(readAll(program("Vantrel")) == oldClient);
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
