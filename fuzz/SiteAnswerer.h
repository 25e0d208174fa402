#pragma once

// A stand-in website inside the fuzz process for readers that only a reply reaches: every
// HTTP request on its port is answered 200 with the current body, over kept-alive connections.

#include "net/Endpoints.h"

#include <QByteArray>
#include <QTcpServer>
#include <QTcpSocket>

class SiteAnswerer : public QTcpServer
{
public:
    QByteArray body;

    SiteAnswerer() { listen(QHostAddress::LocalHost, 0); }

    // Every host role of the program's endpoint table points at this site from now on.
    void answerForEveryHost()
    {
        const QByteArray address = "http://127.0.0.1:" + QByteArray::number(serverPort());
        for (const char* role :
             { "VANTREL_WEBSITE_URL", "VANTREL_ACCOUNT_URL", "VANTREL_NEWS_URL", "VANTREL_UPLOAD_URL" })
            qputenv(role, address);
        Endpoints::reload();
    }

protected:
    void incomingConnection(qintptr handle) override
    {
        auto* socket = new QTcpSocket(this);
        socket->setSocketDescriptor(handle);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
            QByteArray& pending = requests[socket];
            pending += socket->readAll();
            // The program sends GETs only: a request ends with its header block.
            for (int end = pending.indexOf("\r\n\r\n"); end >= 0; end = pending.indexOf("\r\n\r\n")) {
                pending.remove(0, end + 4);
                socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: "
                              + QByteArray::number(body.size()) + "\r\n\r\n" + body);
            }
        });
    }

private:
    QHash<QTcpSocket*, QByteArray> requests;
};
