#include "Util.h"

#include <QDateTime>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProcessEnvironment>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QUrl>
#include <QUrlQuery>

namespace {

// A transfer that makes no progress for this long is given up.
constexpr int kStallMs = 30000;

// The CAs of VANTREL_CA_CERTS, when it names a file. Without them Qt's own configuration
// stays as it is (on Windows it fetches missing roots on demand).
QList<QSslCertificate> extraCertificates()
{
    const QString extra = QProcessEnvironment::systemEnvironment().value(QStringLiteral("VANTREL_CA_CERTS"));
    QFile file(extra);
    if (extra.isEmpty() || !file.open(QIODevice::ReadOnly))
        return {};
    return QSslCertificate::fromData(file.readAll(), QSsl::Pem);
}

// Errors that only report the HTTP status of a complete answer (404, 500, ...).
bool statusOnly(QNetworkReply::NetworkError error)
{
    return (error >= QNetworkReply::ContentAccessDenied && error <= QNetworkReply::UnknownContentError)
        || (error >= QNetworkReply::InternalServerError && error <= QNetworkReply::UnknownServerError);
}

} // namespace

void Util::requestGet(const QString& url, GetCallback callback)
{
    auto* manager = new QNetworkAccessManager();

    QNetworkRequest request;
    // This is the file that will be executed: the peer must prove who it is.
    QSslConfiguration tls = request.sslConfiguration();
    tls.setPeerVerifyMode(QSslSocket::VerifyPeer);
    tls.setProtocol(QSsl::TlsV1_2OrLater);
    const QList<QSslCertificate> extra = extraCertificates();
    if (!extra.isEmpty())
        tls.addCaCertificates(extra);
    request.setSslConfiguration(tls);
    // The body as sent, so that its announced length holds (Qt would otherwise ask for gzip
    // and unpack it, and a corrupt stream could end early without notice).
    request.setRawHeader("Accept-Encoding", "identity");
    request.setTransferTimeout(kStallMs);

    QUrl address(url);
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("v"), QString::number(QDateTime::currentSecsSinceEpoch()));
    address.setQuery(query);
    request.setUrl(address);
    request.setMaximumRedirectsAllowed(10);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);

    QNetworkReply* reply = manager->get(request);
    QObject::connect(reply, &QNetworkReply::finished, manager, [reply, manager, callback]() {
        // A reply cut off, malformed or refused mid-way is no answer, whatever status line
        // came first; only a complete answer with another status reports that status.
        const QNetworkReply::NetworkError error = reply->error();
        int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const bool complete = error == QNetworkReply::NoError || (statusOnly(error) && status != 200);
        // An encoded body is not the file, and its length says nothing about the file's.
        const QByteArray encoding = reply->rawHeader("Content-Encoding").trimmed().toLower();
        const bool plain = encoding.isEmpty() || encoding == "identity";
        if (!complete || !plain)
            status = 0;
        const QByteArray body = status == 200 ? reply->readAll() : QByteArray();
        bool known = false;
        const qint64 announced = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&known);
        if (!complete)
            qWarning().noquote() << "request failed:" << reply->url().toString(QUrl::RemoveQuery)
                                 << reply->errorString();
        else if (!plain)
            qWarning().noquote() << "refused a body with Content-Encoding" << encoding;
        reply->deleteLater();
        manager->deleteLater();
        if (callback)
            callback(status, body, known ? announced : -1);
    });
}

QString Util::websiteHost()
{
    return QStringLiteral("www.zenweb.cn");
}

QString Util::websiteBase()
{
    QString value = QProcessEnvironment::systemEnvironment().value(QStringLiteral("VANTREL_WEBSITE_URL")).trimmed();
    while (value.endsWith(QLatin1Char('/')))
        value.chop(1);
    return value.isEmpty() ? QStringLiteral("https://") + websiteHost() : value;
}

QString Util::executableName(const QString& stem)
{
#ifdef Q_OS_WIN
    return stem + QStringLiteral(".exe");
#else
    return stem;
#endif
}

int Util::secondMs()
{
    bool ok = false;
    const int ms
        = QProcessEnvironment::systemEnvironment().value(QStringLiteral("VANTREL_UPDATER_SECOND_MS")).toInt(&ok);
    return ok && ms > 0 ? ms : 1000;
}
