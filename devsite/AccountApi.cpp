// Login with password or remembered key, and the avatar picture.

#include "DevsiteServer.h"
#include "HttpUtil.h"

#include <QBuffer>
#include <QImage>

using namespace devsite;

namespace {

struct Account
{
    const char* username;
    int uid;
    bool teamStatus;
    int errcode; // what a correct password leads to
    const char* text; // "message" (or "reason" for -1) of a refusal
};

// Password "demo1234" for all of them.
const Account kAccounts[] = {
    { "demo_teacher", 10001, true, 0, "" },
    { "demo_solo", 10002, false, 0, "" },
    { "demo_unverified", 10003, false, 10006,
      "您的账号未实名，请先<a href=\"/site/realname\" target=\"_blank\">进行实名认证</a>" },
    { "demo_restricted", 10004, false, 10007, "该账号被限制登录" },
    { "demo_abnormal", 10005, false, 40001,
      "您的账号存在异常，请<a href=\"/site/security\" target=\"_blank\">进行安全验证</a>，解除限制！" },
    { "demo_reason", 10006, false, -1, "登录过于频繁，请10分钟后再试" },
    { "demo_message", 10007, false, -2, "系统维护中，暂停登录，请稍后再试" },
    { "demo_locked", 10008, false, 10020, "密码错误次数过多，账号已锁定" },
};

const char* kPassword = "demo1234";

const Account* findAccount(const QString& username)
{
    for (const Account& a : kAccounts) {
        if (username == QString::fromUtf8(a.username))
            return &a;
    }
    return nullptr;
}

const Account* accountByUid(int uid)
{
    for (const Account& a : kAccounts) {
        if (a.uid == uid)
            return &a;
    }
    return nullptr;
}

QJsonObject refusal(int errcode, const QString& message)
{
    return QJsonObject { { "errcode", errcode }, { "message", message } };
}

// The login body must be an object of texts; the reason for refusing it otherwise.
QString checkLoginBody(const QJsonObject& body, bool withKey)
{
    const QStringList required { "username", withKey ? "encryptkey" : "password", "mac", "loginsalt" };
    for (const QString& key : required) {
        if (!body.value(key).isString())
            return QStringLiteral("缺少参数或参数类型错误: ") + key;
    }
    if (body.contains("remember_me") && body.value("remember_me") != QJsonValue("1"))
        return QStringLiteral("参数remember_me错误");
    if (withKey && body.contains("password"))
        return QStringLiteral("参数password与encryptkey不能同时出现");
    return {};
}

void answerLogin(DevsiteServer& server, const httplib::Request& req, httplib::Response& res, bool withKey)
{
    bool ok = false;
    const QJsonObject body = parseObject(req.body, &ok);
    if (!ok) {
        sendJson(res, refusal(-2, QStringLiteral("请求格式错误")));
        return;
    }
    const QString problem = checkLoginBody(body, withKey);
    if (!problem.isEmpty()) {
        sendJson(res, refusal(-2, problem));
        return;
    }
    const Account* account = findAccount(body.value("username").toString());
    if (withKey) {
        const int keyUid = server.store().uidForRememberKey(body.value("encryptkey").toString());
        if (!account || keyUid != account->uid) {
            sendJson(res, refusal(10086, QStringLiteral("记住密码已失效，请重新登录")));
            return;
        }
    } else {
        if (account && account->errcode == 10020) {
            sendJson(res, refusal(10020, QString::fromUtf8(account->text)));
            return;
        }
        if (!account || body.value("password").toString() != QLatin1String(kPassword)) {
            sendJson(res, refusal(10002, QStringLiteral("账号或密码错误")));
            return;
        }
    }
    if (account->errcode == -1) {
        sendJson(res, QJsonObject { { "errcode", -1 }, { "reason", QString::fromUtf8(account->text) } });
        return;
    }
    if (account->errcode != 0) {
        sendJson(res, refusal(account->errcode, QString::fromUtf8(account->text)));
        return;
    }

    QJsonObject data { { "uid", account->uid },
                       { "username", QString::fromUtf8(account->username) },
                       { "token", server.store().createToken(account->uid, server.config().tokenTtl) },
                       { "team_status", account->teamStatus } };
    if (body.value("remember_me") == QJsonValue("1"))
        data.insert("remember_encrypt_key", server.store().rememberKeyFor(account->uid));
    sendJson(res, QJsonObject { { "errcode", 0 }, { "message", QStringLiteral("登录成功") }, { "data", data } });
}

QByteArray avatarPng(int uid)
{
    // A coloured disc on white, the colour derived from the uid.
    const int size = 96;
    QImage img(size, size, QImage::Format_ARGB32);
    img.fill(Qt::white);
    const QRgb colour = qRgb(40 + (uid * 53) % 180, 90 + (uid * 29) % 140, 60 + (uid * 71) % 160);
    const double r = size / 2.0;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const double dx = x + 0.5 - r, dy = y + 0.5 - r;
            const double d = dx * dx + dy * dy;
            if (d < (r - 2) * (r - 2))
                img.setPixel(x, y, d < (r * 0.35) * (r * 0.35) ? qRgb(255, 255, 255) : colour);
        }
    }
    QByteArray png;
    QBuffer buf(&png);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, "PNG");
    return png;
}

} // namespace

void registerAccountApi(DevsiteServer& server)
{
    server.route(
        DevsiteServer::Listener::Https, "POST", "/tool/tool-login",
        [&server](const httplib::Request& req, httplib::Response& res) { answerLogin(server, req, res, false); });
    server.route(
        DevsiteServer::Listener::Https, "POST", "/tool/remember-login",
        [&server](const httplib::Request& req, httplib::Response& res) { answerLogin(server, req, res, true); });
    server.route(DevsiteServer::Listener::Https, "GET", "/avatar.php",
                 [](const httplib::Request& req, httplib::Response& res) {
                     bool ok = false;
                     const int uid = param(req, "uid").toInt(&ok);
                     if (!ok || !accountByUid(uid)) {
                         res.status = 404;
                         res.set_content("no such user", "text/plain");
                         return;
                     }
                     const QByteArray png = avatarPng(uid);
                     res.set_content(png.toStdString(), "image/png");
                 });
}
