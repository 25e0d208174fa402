// "/__devsite/": what tests and scripts use to look inside the site and to make it misbehave.

#include "DevsiteServer.h"
#include "HttpUtil.h"

#include <QCryptographicHash>
#include <QFile>

using namespace devsite;

namespace {

QString storedMd5(StateStore& store, const StateStore::Upload& u)
{
    if (u.complete || (u.stored == u.total && !u.md5.isEmpty()))
        return u.md5;
    QFile f(store.uploadDataPath(u.saveAs));
    if (!f.open(QIODevice::ReadOnly))
        return QString::fromLatin1(QCryptographicHash::hash({}, QCryptographicHash::Md5).toHex());
    QCryptographicHash hash(QCryptographicHash::Md5);
    qint64 left = u.stored;
    while (left > 0) {
        const QByteArray chunk = f.read(qMin<qint64>(left, 1 << 20));
        if (chunk.isEmpty())
            break;
        hash.addData(chunk);
        left -= chunk.size();
    }
    return QString::fromLatin1(hash.result().toHex());
}

} // namespace

void registerAdminApi(DevsiteServer& server)
{
    using H = DevsiteServer::Handler;
    const H requests = [&server](const httplib::Request& req, httplib::Response& res) {
        sendJson(res, server.requestLog().entries(param(req, "path")));
    };
    const H uploads = [&server](const httplib::Request&, httplib::Response& res) {
        QJsonArray list;
        for (const StateStore::Upload& u : server.store().allUploads()) {
            list.append(QJsonObject { { "save_as", u.saveAs },
                                      { "bytes", u.stored },
                                      { "total", u.total },
                                      { "complete", u.complete },
                                      { "md5", storedMd5(server.store(), u) },
                                      { "file_md5", u.fileMd5 },
                                      { "session_id", u.sessionId },
                                      { "file_name", u.fileName },
                                      { "uid", u.uid } });
        }
        sendJson(res, list);
    };
    const H submissions = [&server](const httplib::Request&, httplib::Response& res) {
        sendJson(res, server.store().allSubmissions());
    };
    const H faults = [&server](const httplib::Request& req, httplib::Response& res) {
        bool ok = false;
        const QJsonObject faultSpec = parseObject(req.body, &ok);
        QString error = "body must be a JSON object";
        if (!ok || !server.requestLog().addFault(faultSpec, &error)) {
            sendJson(res, QJsonObject { { "ok", false }, { "error", error } }, 400);
            return;
        }
        sendJson(res, QJsonObject { { "ok", true } });
    };
    const H reset = [&server](const httplib::Request&, httplib::Response& res) {
        server.requestLog().reset();
        sendJson(res, QJsonObject { { "ok", true } });
    };
    const H expire = [&server](const httplib::Request&, httplib::Response& res) {
        server.store().expireAllTokens();
        sendJson(res, QJsonObject { { "ok", true } });
    };
    const H forgetKeys = [&server](const httplib::Request&, httplib::Response& res) {
        server.store().exec("DELETE FROM remember_keys");
        sendJson(res, QJsonObject { { "ok", true } });
    };

    const H knownMd5 = [&server](const httplib::Request& req, httplib::Response& res) {
        bool ok = false;
        const QJsonObject body = parseObject(req.body, &ok);
        const QString md5 = body.value("md5").toString();
        if (!ok || md5.size() != 32) {
            sendJson(res, QJsonObject { { "ok", false }, { "error", "give {\"md5\": <32 hex digits>}" } }, 400);
            return;
        }
        server.store().addKnownMd5(md5.toLower(), body.value("itemid").toString("0"),
                                   body.value("title").toString(QStringLiteral("已有资源")));
        sendJson(res, QJsonObject { { "ok", true } });
    };
    const H publish = [&server](const httplib::Request& req, httplib::Response& res) {
        bool ok = false;
        const QJsonObject body = parseObject(req.body, &ok);
        const QString signing = body.value("signature").toString();
        if (!ok || !body.value("version").isString()
            || (!body.value("sha256").isUndefined() && !body.value("sha256").isString())
            || (!body.value("signature").isUndefined() && signing != "none" && signing != "wrong")) {
            sendJson(res,
                     QJsonObject { { "ok", false },
                                   { "error",
                                     "give {\"version\": \"...\"[, \"sha256\": \"...\"][, \"signature\": "
                                     "\"none\" or \"wrong\"]}" } },
                     400);
            return;
        }
        server.setPublishedVersion(body.value("version").toString(), body.value("sha256").toString(), signing);
        sendJson(res, QJsonObject { { "ok", true } });
    };

    server.routeBoth("GET", "/__devsite/requests", requests);
    server.routeBoth("GET", "/__devsite/uploads", uploads);
    server.routeBoth("GET", "/__devsite/submissions", submissions);
    server.routeBoth("POST", "/__devsite/faults", faults);
    server.routeBoth("POST", "/__devsite/reset", reset);
    server.routeBoth("POST", "/__devsite/expire-tokens", expire);
    server.routeBoth("POST", "/__devsite/revoke-remember-keys", forgetKeys);
    server.routeBoth("POST", "/__devsite/known-md5", knownMd5);
    server.routeBoth("POST", "/__devsite/publish", publish);
}
