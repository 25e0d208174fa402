#pragma once

#include "RequestLog.h"
#include "StateStore.h"
#include "Throttle.h"

#include <QHash>
#include <QString>
#include <functional>
#include <httplib.h>
#include <memory>
#include <thread>

struct DevsiteConfig
{
    QString stateDir;
    int httpsPort = 0;
    int uploadPort = 0;
    QString portsFile;
    QString exeFile;
    qint64 tokenTtl = 7200;
    QString publishedVersion = QStringLiteral("2.28.1.210115");
    double throttleMbit = 0; // receive rate of POST bodies on the upload port; 0 = unlimited
};

// The two listeners (HTTPS for the website, account and news roles; plain HTTP for the
// upload service), the dispatch of every request through the request log and the fault
// table, and the state the handlers share.
class DevsiteServer
{
public:
    enum class Listener { Https, Upload };
    using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;

    explicit DevsiteServer(const DevsiteConfig& config);
    ~DevsiteServer();

    bool start(QString* error);
    void stop();
    // Waits for the listener threads; false when they did not end within ms.
    bool waitStopped(int ms);

    const DevsiteConfig& config() const { return cfg; }
    StateStore& store() { return state; }
    RequestLog& requestLog() { return log; }
    int httpsPort() const { return httpsBound; }
    int uploadPort() const { return uploadBound; }

    void route(Listener listener, const QString& method, const QString& path, Handler handler);
    // Both listeners.
    void routeBoth(const QString& method, const QString& path, Handler handler);
    // Paths that start with prefix, when no exact route matches.
    void routePrefix(Listener listener, const QString& method, const QString& prefix, Handler handler);

    // The version the version files announce (changeable while running, for update tests),
    // the SHA-256 they give for its program (empty: none) and how its program is signed:
    // "" with the test release key, "none" not at all, "wrong" with a signature of other bytes.
    QString publishedVersion();
    QString publishedDigest();
    QString publishedSigning();
    void setPublishedVersion(const QString& version, const QString& sha256 = QString(),
                             const QString& signing = QString());
    // Base64 of the signature the version files give for the published program (empty: none).
    QString releaseSignature();

    // The uid of the request's token; 0 after answering the invalid-session envelope.
    int requireSession(const httplib::Request& req, httplib::Response& res);

private:
    void dispatch(Listener listener, const httplib::Request& req, httplib::Response& res,
                  const QByteArray& bodyMd5 = QByteArray());
    bool applyFault(const RequestLog::Fault& fault, const httplib::Request& req, httplib::Response& res);
    bool writePortsFile(QString* error);
    void configure(httplib::Server& server, Listener listener);
    void receiveThrottled(Listener listener, const httplib::Request& req, httplib::Response& res,
                          const httplib::ContentReader& reader);

    DevsiteConfig cfg;
    StateStore state;
    RequestLog log;
    std::unique_ptr<httplib::SSLServer> https;
    std::unique_ptr<httplib::Server> upload;
    std::unique_ptr<Throttle> uploadThrottle;
    std::thread httpsThread;
    std::thread uploadThread;
    std::mutex doneMutex;
    std::condition_variable doneWake;
    int running = 0;
    int httpsBound = 0;
    int uploadBound = 0;
    QHash<QString, Handler> httpsRoutes; // "GET /path"
    QHash<QString, Handler> uploadRoutes;
    QList<std::pair<QString, Handler>> httpsPrefixes; // "GET /prefix"
    QList<std::pair<QString, Handler>> uploadPrefixes;
    std::mutex versionMutex;
    QString published;
    QString digest;
    QString signing;
    QString signedKey; // what the cached signature below was made for
    QString signedValue;
};

void registerAdminApi(DevsiteServer& server);
void registerAccountApi(DevsiteServer& server);
void registerUploadService(DevsiteServer& server);
void registerSiteApi(DevsiteServer& server);
void registerGainsApi(DevsiteServer& server);
void registerStaticFiles(DevsiteServer& server);
