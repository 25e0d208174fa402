#include "MySingleApplication.h"

#include "Util.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QtDebug>

MySingleApplication::MySingleApplication(int& argc, char** argv)
    : QApplication(argc, argv)
    , serverName(localServerName())
{
    qInfo().noquote() << "local server name: " + serverName;

    // The knock itself is the message: nothing is sent.
    QLocalSocket socket;
    socket.connectToServer(serverName, QIODevice::ReadWrite);
    if (socket.waitForConnected(500)) {
        running = true;
        return;
    }

    localServer = new QLocalServer(this);
    connect(localServer, &QLocalServer::newConnection, this, &MySingleApplication::_newLocalConnection);
    if (!localServer->listen(serverName) && localServer->serverError() == QAbstractSocket::AddressInUseError) {
        // Left behind by an updater that ended abnormally.
        QLocalServer::removeServer(serverName);
        localServer->listen(serverName);
    }
}

QString MySingleApplication::localServerName()
{
    return QStringLiteral("velwick.exe[") + Util::websiteHost() + QLatin1Char(']');
}

QString MySingleApplication::mainServerName()
{
    return QStringLiteral("Vantrel.exe[") + Util::websiteHost() + QLatin1Char(']');
}

void MySingleApplication::stopListening()
{
    if (localServer)
        localServer->close();
}

void MySingleApplication::activateTargetWindow()
{
    if (!targetWindow)
        return;
    targetWindow->showNormal();
    targetWindow->raise();
    targetWindow->activateWindow();
}

void MySingleApplication::_newLocalConnection()
{
    QLocalSocket* socket = localServer->nextPendingConnection();
    if (!socket)
        return;
    socket->waitForReadyRead(1000);
    delete socket;
    activateTargetWindow();
}
