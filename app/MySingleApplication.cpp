#include "app/MySingleApplication.h"

#include "net/Endpoints.h"
#include "updater/HandOff.h"

#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLocale>
#include <QTranslator>
#include <QWidget>

namespace {

bool answers(const QString& name, int waitMs)
{
    QLocalSocket socket;
    socket.connectToServer(name, QIODevice::ReadWrite);
    return socket.waitForConnected(waitMs);
}

} // namespace

MySingleApplication::MySingleApplication(int& argc, char** argv)
    : QApplication(argc, argv)
    , serverName(localServerName())
{
    // The knock itself is the message: nothing is sent.
    if (answers(serverName, 500)) {
        running = true;
        return;
    }

    localServer = new QLocalServer(this);
    connect(localServer, &QLocalServer::newConnection, this, &MySingleApplication::_newLocalConnection);
    if (!localServer->listen(serverName) && localServer->serverError() == QAbstractSocket::AddressInUseError) {
        // A name left behind by a copy that ended abnormally. One more try; without it this
        // copy simply runs unreachable.
        QLocalServer::removeServer(serverName);
        localServer->listen(serverName);
    }
}

QString MySingleApplication::localServerName()
{
    return QStringLiteral("Vantrel.exe[") + Endpoints::compiledHost(Endpoints::Role::Website) + QLatin1Char(']');
}

QString MySingleApplication::updaterServerName()
{
    return QStringLiteral("velwick.exe[") + Endpoints::compiledHost(Endpoints::Role::Website) + QLatin1Char(']');
}

bool MySingleApplication::isListening() const
{
    return localServer && localServer->isListening();
}

bool MySingleApplication::isUpdaterRunning() const
{
    return answers(updaterServerName(), 500);
}

void MySingleApplication::loadIdentityAndLook()
{
    auto* translator = new QTranslator(this);
    translator->load(QStringLiteral(":/resources/qt_zh_CN.qm"));
    installTranslator(translator);

    setQuitOnLastWindowClosed(true);
    // The windows are Chinese throughout: so are the toolkit's month and day names, whatever
    // the system's own language.
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));

    setOrganizationDomain(QStringLiteral("zenweb.cn"));
    setOrganizationName(QStringLiteral("zenweb"));
    setApplicationName(QStringLiteral("Vantrel"));
    setApplicationVersion(QString::fromLatin1(PROGRAM_VERSION));

    QFile qss(QStringLiteral(":/resources/vtup.qss"));
    if (qss.open(QIODevice::ReadOnly)) {
        const QByteArray bytes = qss.readAll();
        const int zero = bytes.indexOf('\0');
        setStyleSheet(QString::fromUtf8(zero < 0 ? bytes : bytes.left(zero)));
        qss.close();
    }
}

void MySingleApplication::setTargetWindow(QWidget* w)
{
    target = w;
}

void MySingleApplication::activateTargetWindow()
{
    if (!target)
        return;
    target->showNormal();
    target->raise();
    target->activateWindow();
}

void MySingleApplication::_newLocalConnection()
{
    QLocalSocket* socket = localServer->nextPendingConnection();
    if (!socket)
        return;
    // A knock sends nothing; the updater that installed this program asks whether it is up.
    socket->waitForReadyRead(1000);
    if (socket->readAll() == HandOff::kStartedQuery) {
        if (started) {
            socket->write(HandOff::kStartedAnswer);
            socket->waitForBytesWritten(1000);
        }
        delete socket;
        return;
    }
    delete socket;
    activateTargetWindow();
    emit s_knocked();
}

void MySingleApplication::markStarted()
{
    if (started)
        return;
    started = true;
    emit s_started();
}
