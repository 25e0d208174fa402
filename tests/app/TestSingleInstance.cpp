// One copy per user: real second processes knock on the first, the updater's server keeps
// the program from starting, and a name left behind by a crashed copy is taken over.
#include "app/MySingleApplication.h"
#include "net/Endpoints.h"
#include "support/TestPaths.h"

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>
#include <cstdio>
#include <cstring>
#include <memory>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#endif

namespace {

const char* const kCopyFlag = "--as-copy";

// The helper copy: the program's first start-up steps, then it waits to be killed.
int runCopy(int argc, char** argv)
{
    MySingleApplication app(argc, argv);
    if (app.isRunning())
        return 0;
    if (app.isUpdaterRunning())
        return 0;
    std::printf("listening=%d\n", app.isListening() ? 1 : 0);
    std::fflush(stdout);
    return app.exec() + 3;
}

// A socket file nobody listens on, as a copy that was killed leaves behind.
bool leaveStaleSocket(const QString& path)
{
#ifdef Q_OS_UNIX
    const QByteArray p = QFile::encodeName(path);
    sockaddr_un addr {};
    addr.sun_family = AF_UNIX;
    if (size_t(p.size()) >= sizeof(addr.sun_path))
        return false;
    std::memcpy(addr.sun_path, p.constData(), size_t(p.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0;
    ::close(fd);
    return bound && QFile::exists(path);
#else
    Q_UNUSED(path);
    return false;
#endif
}

bool answers(const QString& name)
{
    QLocalSocket s;
    s.connectToServer(name);
    return s.waitForConnected(2000);
}

} // namespace

class TestSingleInstance : public QObject
{
    Q_OBJECT

public:
    TestSingleInstance(MySingleApplication& app, QString socketDir)
        : app(app)
        , socketDir(std::move(socketDir))
    {
    }

private slots:
    void names();
    void secondCopyEndsAndRaisesTheFirst_data();
    void secondCopyEndsAndRaisesTheFirst();
    void updaterRunningEndsQuietly_data();
    void updaterRunningEndsQuietly();
    void staleNameIsTakenOver();
    void identityTranslationAndStyle();

private:
    QString program(const QString& which) const;
    std::unique_ptr<QProcess> start(const QString& which, const QString& tmpDir);

    MySingleApplication& app;
    QString socketDir;
};

QString TestSingleInstance::program(const QString& which) const
{
    if (which == "helper copy")
        return QCoreApplication::applicationFilePath();
    return testBinDir() + "/Vantrel";
}

std::unique_ptr<QProcess> TestSingleInstance::start(const QString& which, const QString& tmpDir)
{
    auto p = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TMPDIR", tmpDir);
    p->setProcessEnvironment(env);
    p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p->start(program(which), which == "helper copy" ? QStringList { kCopyFlag } : QStringList {});
    return p;
}

void TestSingleInstance::names()
{
    // The development override of the website never changes the names.
    qputenv("VANTREL_WEBSITE_URL", "https://127.0.0.1:4433");
    Endpoints::reload();
    const QString host = Endpoints::compiledHost(Endpoints::Role::Website);
    QCOMPARE(MySingleApplication::localServerName(), "Vantrel.exe[" + host + "]");
    QCOMPARE(MySingleApplication::updaterServerName(), "velwick.exe[" + host + "]");
    QVERIFY(app.isListening());
    QVERIFY(!app.isRunning());
    QVERIFY(QFile::exists(socketDir + "/Vantrel.exe[" + host + "]"));
}

void TestSingleInstance::secondCopyEndsAndRaisesTheFirst_data()
{
    QTest::addColumn<QString>("which");
    QTest::addColumn<bool>("withTarget");
    QTest::newRow("real program") << "real program" << true;
    QTest::newRow("helper copy") << "helper copy" << true;
    QTest::newRow("no target window yet") << "helper copy" << false;
    QTest::newRow("target window already deleted") << "helper copy" << false;
}

void TestSingleInstance::secondCopyEndsAndRaisesTheFirst()
{
    QFETCH(QString, which);
    QFETCH(bool, withTarget);
    if (!QFile::exists(program(which)))
        QSKIP("the program is not built");

    QWidget window;
    window.setWindowTitle("target");
    window.showMinimized();
    window.hide();
    app.setTargetWindow(withTarget ? &window : nullptr);
    if (QByteArray(QTest::currentDataTag()) == "target window already deleted") {
        // The login dialog is deleted before the main window takes its place.
        auto* gone = new QWidget;
        app.setTargetWindow(gone);
        delete gone;
    }
    QSignalSpy knocked(&app, &MySingleApplication::s_knocked);

    auto copy = start(which, socketDir);
    QVERIFY(copy->waitForStarted(10000));
    QVERIFY(copy->waitForFinished(20000));
    QCOMPARE(copy->exitStatus(), QProcess::NormalExit);
    QCOMPARE(copy->exitCode(), 0);

    QTRY_COMPARE_WITH_TIMEOUT(knocked.count(), 1, 10000);
    if (withTarget) {
        QVERIFY(window.isVisible());
        QVERIFY(!(window.windowState() & Qt::WindowMinimized));
    } else {
        QVERIFY(!window.isVisible());
        // The server keeps serving later knocks.
        QVERIFY(answers(MySingleApplication::localServerName()));
        QTRY_COMPARE_WITH_TIMEOUT(knocked.count(), 2, 10000);
    }
    app.setTargetWindow(nullptr);
}

void TestSingleInstance::updaterRunningEndsQuietly_data()
{
    QTest::addColumn<QString>("which");
    QTest::newRow("real program") << "real program";
    QTest::newRow("helper copy") << "helper copy";
}

void TestSingleInstance::updaterRunningEndsQuietly()
{
    QFETCH(QString, which);
    if (!QFile::exists(program(which)))
        QSKIP("the program is not built");

    // A separate socket folder: no main program runs there, only the updater.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QLocalServer updater;
    QVERIFY(updater.listen(dir.path() + "/" + MySingleApplication::updaterServerName()));
    int knocks = 0;
    connect(&updater, &QLocalServer::newConnection, this, [&]() {
        while (QLocalSocket* s = updater.nextPendingConnection()) {
            ++knocks;
            s->deleteLater();
        }
    });

    QWidget window;
    window.hide();
    app.setTargetWindow(&window);
    QSignalSpy knocked(&app, &MySingleApplication::s_knocked);

    auto copy = start(which, dir.path());
    QVERIFY(copy->waitForStarted(10000));
    QTRY_VERIFY_WITH_TIMEOUT(copy->state() == QProcess::NotRunning, 20000);
    QCOMPARE(copy->exitStatus(), QProcess::NormalExit);
    QCOMPARE(copy->exitCode(), 0);
    QVERIFY(knocks >= 1);
    // It asked the updater, not this copy, and left no server name behind.
    QTest::qWait(100);
    QCOMPARE(knocked.count(), 0);
    QVERIFY(!window.isVisible());
    QVERIFY(!QFile::exists(dir.path() + "/" + MySingleApplication::localServerName()));
    app.setTargetWindow(nullptr);
}

void TestSingleInstance::staleNameIsTakenOver()
{
#ifndef Q_OS_UNIX
    QSKIP("socket files are a unix matter");
#endif
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString name = dir.path() + "/" + MySingleApplication::localServerName();
    QVERIFY(leaveStaleSocket(name));
    QVERIFY(!answers(name));

    auto copy = start("helper copy", dir.path());
    QVERIFY(copy->waitForStarted(10000));
    QByteArray out;
    while (!out.contains('\n') && copy->waitForReadyRead(20000))
        out += copy->readAllStandardOutput();
    QCOMPARE(out.trimmed(), QByteArray("listening=1"));
    QVERIFY(answers(name));

    // A further copy now finds it and ends.
    auto second = start("helper copy", dir.path());
    QVERIFY(second->waitForFinished(20000));
    QCOMPARE(second->exitCode(), 0);

    copy->kill();
    QVERIFY(copy->waitForFinished(10000));
}

void TestSingleInstance::identityTranslationAndStyle()
{
    QVERIFY(QFile::exists(":/resources/qt_zh_CN.qm"));
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QString("Cancel"));
    app.loadIdentityAndLook();

    QCOMPARE(QCoreApplication::organizationName(), QString("zenweb"));
    QCOMPARE(QCoreApplication::applicationName(), QString("Vantrel"));
    QCOMPARE(QCoreApplication::applicationVersion(), QString("2.28.1.210115"));
    QVERIFY(QApplication::quitOnLastWindowClosed());
    // The toolkit's own buttons speak Chinese.
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("取消"));

    QFile qss(":/resources/vtup.qss");
    QVERIFY(qss.open(QIODevice::ReadOnly));
    QByteArray bytes = qss.readAll();
    if (bytes.indexOf('\0') >= 0)
        bytes.truncate(bytes.indexOf('\0'));
    QVERIFY(!bytes.isEmpty());
    QCOMPARE(app.styleSheet(), QString::fromUtf8(bytes));
}

int main(int argc, char** argv)
{
    if (argc >= 2 && std::strcmp(argv[1], kCopyFlag) == 0)
        return runCopy(argc, argv);

    // Server names live in the temporary folder: keep this run's apart from any other.
    QTemporaryDir sockets;
    if (!sockets.isValid())
        return 1;
    qputenv("TMPDIR", QFile::encodeName(sockets.path()));
    MySingleApplication app(argc, argv);
    TestSingleInstance test(app, sockets.path());
    return QTest::qExec(&test, argc, argv);
}

#include "TestSingleInstance.moc"
