#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QUrlQuery>
#include <functional>

class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;

using HTTP_CALLBACK = std::function<void(QJsonObject&)>;
using RAW_CALLBACK = std::function<void(QByteArray)>;

// Talks JSON to the website: builds the requests (token, headers, TLS, time-out), watches the
// reply size and judges every reply before a callback sees it. Transport and format failures
// reach the callback as the client envelope {"errcode": -3, "message": ...}; a "code" 400
// reply ends the session instead (sessionInvalid) and reaches no callback.
class RequestClient : public QObject
{
    Q_OBJECT

public:
    using TokenSource = std::function<QString()>;
    // `token` is asked for the session token whenever a request is built.
    explicit RequestClient(TokenSource token, QObject* parent = nullptr);
    ~RequestClient() override;

    // With `ctx`, the reply goes out through routedReply(), to be delivered only while ctx lives.
    // `deadlineMs` (when shorter) replaces the overall deadline of requestDeadline().
    void get(const QString& url, QUrlQuery query, HTTP_CALLBACK callback, QObject* ctx = nullptr, int deadlineMs = 0);
    void post(const QString& url, const QByteArray& json, HTTP_CALLBACK callback);
    // The same, except that a "code" 400 reply also reaches `callback` (after sessionInvalid),
    // for a caller that must end its own bookkeeping whatever the answer.
    void postAnswered(const QString& url, const QByteArray& json, HTTP_CALLBACK callback);
    // A login reply: "code" 400 is delivered like any other, and a null "errcode" is left to
    // the login to read.
    void postLogin(const QString& url, const QByteArray& json, HTTP_CALLBACK callback);
    void getRaw(const QString& url, RAW_CALLBACK callback);

    // Every request starts from this one: certificate checks (system store plus the CAs of
    // VANTREL_CA_CERTS), TLS 1.2 or later, and the transfer time-out. Safe from any thread.
    static QNetworkRequest baseRequest();
    QNetworkAccessManager* networkManager() const { return manager; }
    static int transferTimeout();
    static void setTransferTimeoutForTesting(int ms);
    static void setReplySizeLimitForTesting(qint64 bytes);
    // Every JSON request ends by then, finished or not (60 s), besides the transfer time-out.
    static int requestDeadline();
    static void setRequestDeadlineForTesting(int ms);

    // What the callback of a 200 reply gets for its body: the site's object, or the client
    // envelope when the body is no object or carries "errcode"/"code" that are no integers.
    // `sessionEnded` is set for a "code" 400 reply (never for a login's), which reaches no callback.
    static QJsonObject judgeBody(const QByteArray& body, bool loginReply, bool& sessionEnded);

signals:
    void sessionInvalid(QString msg);
    void routedReply(HTTP_CALLBACK cb, QJsonObject obj, QObject* ctx);

private:
    static QNetworkRequest jsonRequest(const QString& url, const QUrlQuery& query);
    void watchReplySize(QNetworkReply* reply, bool json);
    static void watchDeadline(QNetworkReply* reply, int deadlineMs);
    QJsonObject judgeReply(QNetworkReply* reply, const QString& url, bool isPost, bool& deliver, bool loginReply);
    void postJson(const QString& url, const QByteArray& json, HTTP_CALLBACK callback, bool loginReply,
                  bool alwaysAnswer = false);

    TokenSource tokenSource;
    QNetworkAccessManager* manager = nullptr;
};
