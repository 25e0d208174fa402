#include "net/Session.h"

#include "app/Clock.h"
#include "net/Endpoints.h"
#include "net/LoginFormData.h"

#include <QJsonDocument>
#include <QNetworkInterface>
#include <QProcessEnvironment>
#include <QSettings>
#include <QUrl>

namespace {

const char kAutoLoginKey[] = "LastAutoLoginUID";

// Ids and flags arrive as numbers or as decimal strings depending on the endpoint.
int jsonInt(const QJsonValue& v)
{
    return v.isDouble() ? v.toInt() : v.toVariant().toString().toInt();
}

bool jsonBool(const QJsonValue& v)
{
    if (v.isBool())
        return v.toBool();
    if (v.isDouble())
        return v.toDouble() != 0;
    const QString text = v.toString();
    return !text.isEmpty() && text != "0" && text.compare("false", Qt::CaseInsensitive) != 0;
}

// Query values are percent-encoded completely: a Base64 token carries "+" and "/", and a
// jump address carries "&" and "=", none of which may reach the server unencoded.
QString queryItem(const QString& key, const QString& value)
{
    return key + '=' + QString::fromLatin1(QUrl::toPercentEncoding(value));
}

} // namespace

std::optional<int> replyErrcode(const QJsonObject& reply)
{
    const QJsonValue v = reply.value("errcode");
    if (v.isDouble())
        return v.toInt();
    if (v.isString()) {
        bool ok = false;
        const int code = v.toString().trimmed().toInt(&ok);
        if (ok)
            return code;
    }
    return std::nullopt;
}

QString pickHardwareAddress(const QList<NetworkAdapter>& adapters)
{
    QStringList addresses;
    for (const NetworkAdapter& a : adapters) {
        if (!a.up || a.loopback)
            continue;
        if (a.humanReadableName.contains("VMware", Qt::CaseInsensitive))
            continue;
        addresses << a.hardwareAddress;
    }
    return addresses.isEmpty() ? QString() : addresses.first();
}

QList<NetworkAdapter> systemNetworkAdapters()
{
    QList<NetworkAdapter> list;
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& nic : interfaces) {
        NetworkAdapter a;
        a.humanReadableName = nic.humanReadableName();
        a.hardwareAddress = nic.hardwareAddress();
        a.up = nic.flags().testFlag(QNetworkInterface::IsUp);
        a.loopback = nic.flags().testFlag(QNetworkInterface::IsLoopBack);
        list << a;
    }
    return list;
}

Session::Session(QSettings* settings, RequestClient* requests, LoginStore store)
    : settingsStore(settings)
    , client(requests)
    , storeLogin(std::move(store))
{
}

QString Session::machineMac()
{
    return pickHardwareAddress(systemNetworkAdapters());
}

void Session::setRecentLogins(const QList<RecentLogin>& list)
{
    recentLoginList = list.mid(0, 5);
}

int Session::autoLoginUid() const
{
    return settingsStore->value(kAutoLoginKey, 0).toInt();
}

void Session::setAutoLoginUid(int loginUid)
{
    settingsStore->setValue(kAutoLoginKey, loginUid);
    settingsStore->sync();
}

void Session::removeAutoLoginUid()
{
    settingsStore->remove(kAutoLoginKey);
    settingsStore->sync();
}

void Session::login(LoginFormData& form, HTTP_CALLBACK callback)
{
    QJsonObject body;
    body.insert("username", form.username);
    if (form.remember_me)
        body.insert("remember_me", QStringLiteral("1"));
    const QString keySent = form.encryptkey;
    QString url;
    if (!keySent.isEmpty()) {
        body.insert("encryptkey", keySent);
        url = URL_REMEMBER_LOGIN;
    } else {
        body.insert("password", form.password);
        url = URL_TOOL_LOGIN;
    }
    body.insert("mac", machineMac());
    body.insert("loginsalt", QProcessEnvironment::systemEnvironment().value("VANTREL_TOOLSOFT_LOGIN_SALT"));

    const bool autoLogin = form.auto_login;
    auto onReply = [this, keySent, autoLogin, callback](QJsonObject& reply) {
        // "code" 400 would end a session; before login there is none, and the dialog shows
        // the reply's text instead of waiting for ever.
        if (reply.value("code").toInt() == 400 && !replyErrcode(reply)) {
            const QString text = reply.value("msg").toString();
            reply
                = QJsonObject { { "errcode", -3 }, { "message", text.isEmpty() ? QStringLiteral("登录失败") : text } };
        }
        const std::optional<int> code = replyErrcode(reply);
        if (code && *code == 0) {
            const QJsonObject data = reply.value("data").toObject();
            setToken(data.value("token").toString());
            RecentLogin account;
            account.uid = jsonInt(data.value("uid"));
            account.username = data.value("username").toString();
            account.avatar = QString("%3?uid=%1&t=%2")
                                 .arg(QString::number(account.uid), QString::number(Clock::nowSecs()), URL_AVATAR);
            account.remember_encrypt_key = data.value("remember_encrypt_key").toString();
            account.team_status = jsonBool(data.value("team_status"));
            account.auto_login = autoLogin;
            setUid(account.uid);
            loginData = account;
            if (storeLogin)
                storeLogin(account, keySent);
            if (autoLogin)
                setAutoLoginUid(account.uid);
        }
        if (callback)
            callback(reply);
    };
    client->postLogin(url, QJsonDocument(body).toJson(QJsonDocument::Compact), onReply);
}

QString Session::token() const
{
    QMutexLocker lock(&tokenMutex);
    return sessionToken;
}

void Session::setToken(const QString& value)
{
    QMutexLocker lock(&tokenMutex);
    sessionToken = value;
}

QString Session::signedInUrl(const QString& jump_url) const
{
    const QString stamp = token() + '&' + QString::number(Clock::nowSecs());
    QStringList items;
    items << queryItem("mac", machineMac());
    items << queryItem("token", QString::fromLatin1(stamp.toUtf8().toBase64()));
    items << queryItem("jump_url", jump_url.isEmpty() ? URL_UCP : jump_url);
    return URL_SITE_LOGIN + '?' + items.join('&');
}

QString Session::downloadManagerUrl(const QString& itemid, const QString& chid) const
{
    QStringList items;
    items << queryItem("mod", "down_manager") << queryItem("itemid", itemid) << queryItem("chid", chid);
    return signedInUrl(URL_SOFT + '?' + items.join('&'));
}
