#include "DevsiteFixture.h"

#include "TestPaths.h"
#include "net/Endpoints.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslConfiguration>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrlQuery>

DevsiteFixture::DevsiteFixture() = default;

DevsiteFixture::~DevsiteFixture()
{
    stop();
}

bool DevsiteFixture::start(const QString& stateDir, const QStringList& extraArgs)
{
    stop();
    args = extraArgs;
    if (stateDir.isEmpty()) {
        ownedState = std::make_unique<QTemporaryDir>();
        if (!ownedState->isValid())
            return false;
        state = ownedState->path();
    } else {
        state = stateDir;
        QDir().mkpath(state);
    }
    return launch();
}

bool DevsiteFixture::restart()
{
    if (state.isEmpty())
        return false;
    stop();
    return launch();
}

bool DevsiteFixture::launch()
{
    const QString portsFile = state + "/ports.txt";
    QFile::remove(portsFile);
    QString bin = testBinDir();
    if (bin.isEmpty())
        bin = QDir::currentPath() + "/bin";

    process = std::make_unique<QProcess>();
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList cmd { "--state", state, "--https-port", "0", "--upload-port", "0", "--ports-file", portsFile };
    cmd += args;
    process->start(bin + "/devsite", cmd);
    if (!process->waitForStarted(10000)) {
        qWarning("devsite did not start: %s", qPrintable(process->errorString()));
        process.reset();
        return false;
    }

    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 20000) {
        QFile f(portsFile);
        if (f.open(QIODevice::ReadOnly)) {
            const QStringList lines = QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
            for (const QString& line : lines) {
                if (line.startsWith("https="))
                    httpsPortValue = line.mid(6).toInt();
                else if (line.startsWith("upload="))
                    uploadPortValue = line.mid(7).toInt();
            }
            if (httpsPortValue > 0 && uploadPortValue > 0)
                return true;
        }
        if (process->state() != QProcess::Running) {
            qWarning("devsite ended before it was ready (exit code %d)", process->exitCode());
            process.reset();
            return false;
        }
        process->waitForFinished(50);
    }
    qWarning("devsite wrote no ports file within 20 s");
    stop();
    return false;
}

void DevsiteFixture::stop()
{
    if (!process)
        return;
    if (process->state() != QProcess::NotRunning) {
        process->terminate();
        if (!process->waitForFinished(15000)) {
            process->kill();
            process->waitForFinished(5000);
        }
    }
    process.reset();
    httpsPortValue = 0;
    uploadPortValue = 0;
}

bool DevsiteFixture::isRunning() const
{
    return process && process->state() == QProcess::Running;
}

QString DevsiteFixture::httpsBase() const
{
    return QString("https://127.0.0.1:%1").arg(httpsPortValue);
}

QString DevsiteFixture::uploadBase() const
{
    return QString("http://127.0.0.1:%1").arg(uploadPortValue);
}

QString DevsiteFixture::caFile() const
{
    return state + "/ca.pem";
}

QString DevsiteFixture::stateDir() const
{
    return state;
}

void DevsiteFixture::exportEnv()
{
    qputenv("VANTREL_WEBSITE_URL", httpsBase().toUtf8());
    qputenv("VANTREL_ACCOUNT_URL", httpsBase().toUtf8());
    qputenv("VANTREL_NEWS_URL", httpsBase().toUtf8());
    qputenv("VANTREL_UPLOAD_URL", uploadBase().toUtf8());
    qputenv("VANTREL_CA_CERTS", caFile().toUtf8());
    Endpoints::reload();
}

namespace {

QByteArray syncRequest(const QString& caFile, const QString& method, const QUrl& url, const QByteArray& body,
                       int* status)
{
    QNetworkAccessManager nam;
    QNetworkRequest request(url);
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.addCaCertificates(caFile);
    request.setSslConfiguration(tls);
    request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
    QNetworkReply* reply = nullptr;
    if (method == "GET")
        reply = nam.get(request);
    else
        reply = nam.sendCustomRequest(request, method.toLatin1(), body);

    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(30000, &loop, &QEventLoop::quit); // a stuck devsite must not stall the suite
    if (!reply->isFinished())
        loop.exec();
    if (!reply->isFinished())
        reply->abort();
    *status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QByteArray data = reply->readAll();
    delete reply;
    return data;
}

} // namespace

QJsonDocument DevsiteFixture::admin(const QString& method, const QString& path, const QJsonObject& body)
{
    if (httpsPortValue <= 0)
        return {};
    QUrl url(httpsBase() + path);
    int status = 0;
    const QByteArray payload = method == "GET" ? QByteArray() : QJsonDocument(body).toJson(QJsonDocument::Compact);
    const QByteArray data = syncRequest(caFile(), method, url, payload, &status);
    if (status != 200)
        return {};
    return QJsonDocument::fromJson(data);
}

QJsonArray DevsiteFixture::requests(const QString& pathFilter)
{
    QString path = "/__devsite/requests";
    if (!pathFilter.isEmpty()) {
        QUrlQuery q;
        q.addQueryItem("path", QString::fromLatin1(QUrl::toPercentEncoding(pathFilter)));
        path += "?" + q.toString(QUrl::FullyEncoded);
    }
    return admin("GET", path).array();
}

QJsonArray DevsiteFixture::uploads()
{
    return admin("GET", "/__devsite/uploads").array();
}

QJsonArray DevsiteFixture::submissions()
{
    return admin("GET", "/__devsite/submissions").array();
}

bool DevsiteFixture::fault(const QJsonObject& faultSpec)
{
    return admin("POST", "/__devsite/faults", faultSpec).object().value("ok").toBool();
}

bool DevsiteFixture::reset()
{
    return admin("POST", "/__devsite/reset").object().value("ok").toBool();
}

bool DevsiteFixture::expireTokens()
{
    return admin("POST", "/__devsite/expire-tokens").object().value("ok").toBool();
}

QString DevsiteFixture::loginToken(const QString& username, const QString& password, int* uid)
{
    if (httpsPortValue <= 0)
        return {};
    QJsonObject body { { "username", username }, { "password", password }, { "mac", "" }, { "loginsalt", "" } };
    int status = 0;
    const QByteArray data = syncRequest(caFile(), "POST", QUrl(httpsBase() + "/tool/tool-login?token="),
                                        QJsonDocument(body).toJson(QJsonDocument::Compact), &status);
    const QJsonObject reply = QJsonDocument::fromJson(data).object();
    if (status != 200 || reply.value("errcode").toInt(-1) != 0)
        return {};
    const QJsonObject d = reply.value("data").toObject();
    if (uid)
        *uid = d.value("uid").toInt();
    return d.value("token").toString();
}
