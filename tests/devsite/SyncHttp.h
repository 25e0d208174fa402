#pragma once

// Blocking HTTP(S) calls for the devsite tests, over Qt Network as the client speaks it.

#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPair>
#include <QSslConfiguration>
#include <QTimer>

struct SyncReply
{
    int status = 0;
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    QByteArray body;
    QJsonObject json() const { return QJsonDocument::fromJson(body).object(); }
};

class SyncHttp
{
public:
    explicit SyncHttp(const QString& caFile = QString())
        : ca(caFile)
    {
    }

    SyncReply get(const QString& url, const QList<QPair<QByteArray, QByteArray>>& headers = {})
    {
        return send("GET", url, QByteArray(), headers);
    }

    SyncReply post(const QString& url, const QByteArray& body, const QList<QPair<QByteArray, QByteArray>>& headers = {})
    {
        return send("POST", url, body, headers);
    }

    SyncReply postJson(const QString& url, const QJsonObject& body)
    {
        return send("POST", url, QJsonDocument(body).toJson(QJsonDocument::Compact),
                    { { "Content-Type", "application/json" } });
    }

private:
    SyncReply send(const QByteArray& verb, const QString& url, const QByteArray& body,
                   const QList<QPair<QByteArray, QByteArray>>& headers)
    {
        QNetworkRequest request { QUrl(url) };
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        if (!ca.isEmpty())
            tls.addCaCertificates(ca);
        request.setSslConfiguration(tls);
        for (const auto& h : headers)
            request.setRawHeader(h.first, h.second);
        QNetworkReply* reply = verb == "GET" ? nam.get(request) : nam.post(request, body);
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(60000, &loop, &QEventLoop::quit); // guard only; no test relies on it
        if (!reply->isFinished())
            loop.exec();
        if (!reply->isFinished())
            reply->abort();
        SyncReply r;
        r.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        r.error = reply->error();
        r.body = reply->readAll();
        delete reply;
        return r;
    }

    QString ca;
    QNetworkAccessManager nam;
};
