#include "net/MyDAO.h"

#include <QDir>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QSettings>
#include <QStandardPaths>

namespace {
Notifier* installedNotifier = nullptr;
}

void MyDAO::setNotifier(Notifier* n)
{
    installedNotifier = n;
}

Notifier* MyDAO::userNotifier()
{
    return installedNotifier;
}

MyDAO* MyDAO::instance()
{
    static MyDAO* one = new MyDAO();
    return one;
}

MyDAO::MyDAO(QObject* parent)
    : QObject(parent)
{
    settingsStore = new QSettings(QSettings::NativeFormat, QSettings::UserScope, "zenweb", "Vantrel");
    manager = new QNetworkAccessManager();
    parseLocalJSON();
    QDir().mkpath(dataDir());
    openDatabase();
    purgeRetiredAssets();
    cleanWorkFiles(45);
}

MyDAO::~MyDAO()
{
    closeDatabase();
    delete manager;
    delete settingsStore;
}

QString MyDAO::dataDir()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
}

QString MyDAO::tmpDir()
{
    QString dir = dataDir();
    return dir + (dir.endsWith('/') ? "tmp/" : "/tmp/");
}

void MyDAO::httpGet(const QString&, QUrlQuery, HTTP_CALLBACK, QObject*) {}
void MyDAO::httpPost(const QString&, const QJsonObject&, HTTP_CALLBACK) {}
void MyDAO::httpGetRaw(const QString&, RAW_CALLBACK) {}
QNetworkRequest MyDAO::baseRequest() const { return QNetworkRequest(); }
