#pragma once

#include "net/RequestClient.h"
#include "store/AssetRecords.h"

#include <QList>
#include <QMutex>
#include <QString>
#include <atomic>
#include <functional>

class QSettings;
struct LoginFormData;

// The signed-in account: uid and token (readable from any thread), the current login, the
// recent-login list, the automatic-login setting and the login request itself.
class Session
{
public:
    // Stores a successful login with the key that was sent (the logins table).
    using LoginStore = std::function<void(const RecentLogin& account, const QString& keySent)>;
    Session(QSettings* settings, RequestClient* client, LoginStore store);

    int uid() const { return sessionUid.load(); }
    void setUid(int value) { sessionUid.store(value); }
    QString token() const;
    void setToken(const QString& value);

    const RecentLogin& currentLogin() const { return loginData; }
    void login(LoginFormData& form, HTTP_CALLBACK callback);

    const QList<RecentLogin>& recentLogins() const { return recentLoginList; }
    void setRecentLogins(const QList<RecentLogin>& list);

    int autoLoginUid() const;
    void setAutoLoginUid(int loginUid);
    void removeAutoLoginUid();

    static QString machineMac();
    QString signedInUrl(const QString& jump_url = QString()) const;
    QString downloadManagerUrl(const QString& itemid, const QString& chid) const;

private:
    QSettings* settingsStore;
    RequestClient* client;
    LoginStore storeLogin;

    std::atomic<int> sessionUid { 0 };
    mutable QMutex tokenMutex;
    QString sessionToken;
    RecentLogin loginData;
    QList<RecentLogin> recentLoginList;
};
