#include "net/RequestClient.h"

#include "app/RunLog.h"
#include "net/Endpoints.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QMutex>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QProcessEnvironment>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTimer>
#include <atomic>
#include <cmath>

namespace {

constexpr int kDefaultTransferTimeoutMs = 30000;
// However slowly a server keeps sending, a JSON request ends after this long.
constexpr int kDefaultRequestDeadlineMs = 60000;
constexpr qint64 kJsonReplyLimit = 64LL * 1024 * 1024;
constexpr qint64 kRawReplyLimit = 512LL * 1024 * 1024;
// Log lines keep 200 characters; no need to decode more of a long body than this.
constexpr int kLoggedBodyBytes = 64 * 1024;

std::atomic<int> transferTimeoutMs { kDefaultTransferTimeoutMs };
std::atomic<qint64> replyLimitOverride { 0 };
std::atomic<int> requestDeadlineMs { kDefaultRequestDeadlineMs };

const char* const kTooBigProperty = "vantrel_reply_too_big";

// The extra PEM file is read again whenever its path or time stamp changes (tests point
// VANTREL_CA_CERTS at a fresh CA while running).
QList<QSslCertificate> extraCertificates()
{
    static QMutex mutex;
    static QString extraKey;
    static QList<QSslCertificate> extra;

    const QString path = QProcessEnvironment::systemEnvironment().value(QStringLiteral("VANTREL_CA_CERTS"));
    QString key;
    if (!path.isEmpty()) {
        const QFileInfo info(path);
        key = path + QLatin1Char('|') + QString::number(info.lastModified().toMSecsSinceEpoch()) + QLatin1Char('|')
            + QString::number(info.size());
    }

    QMutexLocker lock(&mutex);
    if (key != extraKey) {
        extra.clear();
        QFile file(path);
        if (!path.isEmpty() && file.open(QIODevice::ReadOnly))
            extra = QSslCertificate::fromData(file.readAll(), QSsl::Pem);
        extraKey = key;
    }
    return extra;
}

// Transport failures (no connection, reset, TLS refused, time-out, cut-off body) count as
// "no HTTP answer", whatever status line may have arrived before the failure.
bool isTransportFailure(QNetworkReply* reply)
{
    if (reply->property(kTooBigProperty).toBool())
        return true;
    const QNetworkReply::NetworkError error = reply->error();
    if (error == QNetworkReply::NoError || error == QNetworkReply::TooManyRedirectsError
        || error == QNetworkReply::InsecureRedirectError)
        return false;
    return error < QNetworkReply::ContentAccessDenied;
}

bool isIntegral(const QJsonValue& value)
{
    if (!value.isDouble())
        return false;
    const double d = value.toDouble();
    return std::isfinite(d) && std::floor(d) == d && d >= -2147483648.0 && d <= 2147483647.0;
}

// The callers read "errcode" and "code" as integers; a reply that carries them with
// another type would otherwise read as 0, i.e. as success. The login reads a null "errcode"
// as absent itself (a failure), so it may pass there.
bool envelopeTypesSound(const QJsonObject& obj, bool nullErrcodeAllowed)
{
    for (const char* key : { "errcode", "code" }) {
        const auto it = obj.constFind(QLatin1String(key));
        if (it == obj.constEnd() || (nullErrcodeAllowed && it.value().isNull() && qstrcmp(key, "errcode") == 0))
            continue;
        if (!isIntegral(it.value()))
            return false;
    }
    return true;
}

QJsonObject clientEnvelope(const QString& message)
{
    return QJsonObject { { QStringLiteral("errcode"), -3 }, { QStringLiteral("message"), message } };
}

// Before login the token is empty; it is still sent, as "token=".
QString tokenValue(const QString& token)
{
    return token.isNull() ? QString::fromLatin1("") : token;
}

QString withoutQuery(const QString& url)
{
    const int q = url.indexOf(QLatin1Char('?'));
    return q < 0 ? url : url.left(q);
}

} // namespace

RequestClient::RequestClient(TokenSource token, QObject* parent)
    : QObject(parent)
    , tokenSource(std::move(token))
    , manager(new QNetworkAccessManager())
{
}

RequestClient::~RequestClient()
{
    delete manager;
}

int RequestClient::transferTimeout()
{
    return transferTimeoutMs.load();
}

void RequestClient::setTransferTimeoutForTesting(int ms)
{
    transferTimeoutMs.store(ms > 0 ? ms : kDefaultTransferTimeoutMs);
}

void RequestClient::setReplySizeLimitForTesting(qint64 bytes)
{
    replyLimitOverride.store(bytes);
}

int RequestClient::requestDeadline()
{
    return requestDeadlineMs.load();
}

void RequestClient::setRequestDeadlineForTesting(int ms)
{
    requestDeadlineMs.store(ms > 0 ? ms : kDefaultRequestDeadlineMs);
}

void RequestClient::watchDeadline(QNetworkReply* reply, int deadlineMs)
{
    // The transfer time-out only sees silence; a server trickling a byte now and then would hold
    // the request (and a caller's wait) as long as it liked. An aborted reply is a transport failure.
    const int ms = deadlineMs > 0 ? qMin(deadlineMs, requestDeadline()) : requestDeadline();
    QTimer::singleShot(ms, reply, [reply]() {
        if (reply->isRunning())
            reply->abort();
    });
}

QNetworkRequest RequestClient::baseRequest()
{
    QNetworkRequest request;
    QSslConfiguration tls = request.sslConfiguration();
    tls.setPeerVerifyMode(QSslSocket::VerifyPeer);
    tls.setProtocol(QSsl::TlsV1_2OrLater);
    // The default list stays as it is: replacing it would stop Qt from fetching a system root
    // on demand (Windows), and a valid site whose root is not cached yet would be refused.
    const QList<QSslCertificate> extra = extraCertificates();
    if (!extra.isEmpty())
        tls.addCaCertificates(extra);
    request.setSslConfiguration(tls);
    request.setTransferTimeout(transferTimeout());
    return request;
}

QNetworkRequest RequestClient::jsonRequest(const QString& url, const QUrlQuery& query)
{
    QNetworkRequest request = baseRequest();
    QUrl address(url);
    // A literal "+" would reach the server as a blank.
    address.setQuery(query.query(QUrl::FullyEncoded).replace(QLatin1Char('+'), QLatin1String("%2B")), QUrl::StrictMode);
    request.setUrl(address);
    request.setMaximumRedirectsAllowed(10);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("tool"));
    request.setRawHeader("X-Tool-Version", PROGRAM_VERSION);
    return request;
}

void RequestClient::watchReplySize(QNetworkReply* reply, bool json)
{
    const qint64 override = replyLimitOverride.load();
    const qint64 limit = override > 0 ? override : (json ? kJsonReplyLimit : kRawReplyLimit);
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply, limit](qint64 received, qint64) {
        if (received > limit && !reply->property(kTooBigProperty).toBool()) {
            reply->setProperty(kTooBigProperty, true);
            reply->abort();
        }
    });
}

void RequestClient::get(const QString& url, QUrlQuery query, HTTP_CALLBACK callback, QObject* ctx, int deadlineMs)
{
    query.addQueryItem(QStringLiteral("token"), tokenValue(tokenSource ? tokenSource() : QString()));
    const QNetworkRequest request = jsonRequest(url, query);
    QNetworkReply* reply = manager->get(request);
    writeLog(request.url().toString());
    watchReplySize(reply, true);
    watchDeadline(reply, deadlineMs);

    const bool routed = ctx != nullptr;
    QPointer<QObject> guard(ctx);
    const QString callerUrl = withoutQuery(url);
    connect(reply, &QNetworkReply::finished, this, [this, reply, callerUrl, callback, routed, guard]() {
        bool deliver = false;
        QJsonObject result = judgeReply(reply, callerUrl, false, deliver, false);
        reply->deleteLater();
        if (!deliver)
            return;
        if (!routed) {
            if (callback)
                callback(result);
            return;
        }
        // A context destroyed meanwhile gets nothing, even if a new object took its address.
        if (guard)
            emit routedReply(callback, result, guard.data());
    });
}

void RequestClient::post(const QString& url, const QByteArray& json, HTTP_CALLBACK callback)
{
    postJson(url, json, callback, false);
}

void RequestClient::postAnswered(const QString& url, const QByteArray& json, HTTP_CALLBACK callback)
{
    postJson(url, json, callback, false, true);
}

void RequestClient::postLogin(const QString& url, const QByteArray& json, HTTP_CALLBACK callback)
{
    postJson(url, json, callback, true);
}

void RequestClient::postJson(const QString& url, const QByteArray& json, HTTP_CALLBACK callback, bool loginReply,
                             bool alwaysAnswer)
{
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("token"), tokenValue(tokenSource ? tokenSource() : QString()));
    const QNetworkRequest request = jsonRequest(url, query);
    QNetworkReply* reply = manager->post(request, json);
    writeLog(request.url().toString());
    writeLog(QString::fromUtf8(json));
    watchReplySize(reply, true);
    watchDeadline(reply, 0);

    const QString callerUrl = withoutQuery(url);
    connect(reply, &QNetworkReply::finished, this, [this, reply, callerUrl, callback, loginReply, alwaysAnswer]() {
        bool deliver = false;
        QJsonObject result = judgeReply(reply, callerUrl, true, deliver, loginReply);
        reply->deleteLater();
        if ((deliver || alwaysAnswer) && callback)
            callback(result);
    });
}

void RequestClient::getRaw(const QString& url, RAW_CALLBACK callback)
{
    QNetworkRequest request = baseRequest();
    request.setUrl(QUrl(url));
    request.setMaximumRedirectsAllowed(10);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    QNetworkReply* reply = manager->get(request);
    watchReplySize(reply, false);
    connect(reply, &QNetworkReply::finished, this, [reply, callback]() {
        const QByteArray bytes = reply->property(kTooBigProperty).toBool() ? QByteArray() : reply->readAll();
        reply->deleteLater();
        if (callback)
            callback(bytes);
    });
}

QJsonObject RequestClient::judgeReply(QNetworkReply* reply, const QString& url, bool isPost, bool& deliver,
                                      bool loginReply)
{
    deliver = true;
    const bool transportFailure = isTransportFailure(reply);
    const int status = transportFailure ? 0 : reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QByteArray body = transportFailure ? QByteArray() : reply->readAll();

    // The connection cache is left alone: clearing it would cut every other request in flight
    // on the shared manager, and Qt drops a broken connection by itself.
    if (status != 200) {
        const QString reason
            = transportFailure ? QString() : reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
        if (isPost) {
            writeLog(QStringLiteral("%3 %1,%2").arg(QString::number(status), reason, url));
            return clientEnvelope(QStringLiteral("%1,%2").arg(QString::number(status), reason));
        }
        writeLog(url + QLatin1Char(' ') + QString::fromUtf8(body.left(kLoggedBodyBytes)));
        return clientEnvelope(QStringLiteral("%1 Internal Server Error").arg(status));
    }

    if (isPost) {
        writeLog(QStringLiteral("Post Response: %1").arg(200));
        writeLog(QString::fromUtf8(body.left(kLoggedBodyBytes)));
    }

    bool sessionEnded = false;
    const QJsonObject obj = judgeBody(body, loginReply, sessionEnded);
    if (sessionEnded) {
        deliver = false;
        emit sessionInvalid(obj.value(QLatin1String("msg")).toString());
    }
    return obj;
}

QJsonObject RequestClient::judgeBody(const QByteArray& body, bool loginReply, bool& sessionEnded)
{
    sessionEnded = false;
    QJsonParseError error {};
    const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject() || !envelopeTypesSound(doc.object(), loginReply))
        return clientEnvelope(QStringLiteral("JSON响应格式解析失败"));

    const QJsonObject obj = doc.object();
    if (!loginReply && obj.contains(QLatin1String("code")) && obj.value(QLatin1String("code")).toInt() == 400)
        sessionEnded = true;
    return obj;
}
