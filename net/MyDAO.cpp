#include "net/MyDAO.h"

#include "app/DataPaths.h"
#include "app/Notifier.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QMutex>
#include <QNetworkRequest>
#include <QSettings>
#include <atomic>

namespace {

Notifier* installedNotifier = nullptr;

std::atomic<MyDAO*> theInstance { nullptr };
QMutex instanceMutex;

void destroyInstance()
{
    QMutexLocker lock(&instanceMutex);
    delete theInstance.exchange(nullptr);
}

} // namespace

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
    MyDAO* one = theInstance.load();
    if (one)
        return one;
    QMutexLocker lock(&instanceMutex);
    one = theInstance.load();
    if (!one) {
        static bool postRoutineAdded = false;
        if (!postRoutineAdded && QCoreApplication::instance()) {
            // Without a Lifetime the object goes with the application object.
            qAddPostRoutine(destroyInstance);
            postRoutineAdded = true;
        }
        one = new MyDAO();
        theInstance.store(one);
    }
    return one;
}

MyDAO::Lifetime::Lifetime()
{
    instance();
}

MyDAO::Lifetime::~Lifetime()
{
    destroyInstance();
}

MyDAO::MyDAO(QObject* parent)
    : QObject(parent)
{
    settingsStore = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, "zenweb", "Vantrel");
    requests = std::make_unique<RequestClient>([this] { return token(); });
    connect(requests.get(), &RequestClient::sessionInvalid, this, &MyDAO::s_session_invalid);
    connect(requests.get(), &RequestClient::routedReply, this, &MyDAO::s_exec_callback);
    session = std::make_unique<Session>(
        settingsStore.get(), requests.get(),
        [this](const RecentLogin& account, const QString& keySent) { saveLogin(account, keySent); });
    references = std::make_unique<ReferenceData>(requests.get());
    parseLocalJSON();
    // A finished upload is submitted here, on this object's thread, whichever worker reported it.
    connect(this, &MyDAO::s_completed_upload, this, &MyDAO::submitCompletedUpload);
    connect(this, &MyDAO::s_delete_item, this, &MyDAO::forgetSubmission);
    // Remembered-login keys live here: user only.
    QDir().mkpath(dataDir());
    QFile::setPermissions(dataDir(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    databaseOpened = openDatabase();
    if (databaseOpened) {
        purgeRetiredAssets();
        cleanWorkFiles(45);
    }
}

MyDAO::~MyDAO()
{
    // Replies still in flight go first, so that none of their callbacks reaches a service
    // that is already gone; then the database is closed.
    requests.reset();
    closeDatabase();
}

QString MyDAO::dataDir()
{
    return DataPaths::dataDir();
}

QString MyDAO::tmpDir()
{
    return DataPaths::tmpDir();
}

void MyDAO::httpGet(const QString& url, QUrlQuery query, HTTP_CALLBACK callback, QObject* ctx, int deadlineMs)
{
    requests->get(url, std::move(query), std::move(callback), ctx, deadlineMs);
}

void MyDAO::httpPost(const QString& url, const QJsonObject& body, HTTP_CALLBACK callback)
{
    requests->post(url, QJsonDocument(body).toJson(QJsonDocument::Compact), std::move(callback));
}

void MyDAO::httpPost(const QString& url, const QByteArray& json, HTTP_CALLBACK callback)
{
    requests->post(url, json, std::move(callback));
}

void MyDAO::httpGetRaw(const QString& url, RAW_CALLBACK callback)
{
    requests->getRaw(url, std::move(callback));
}

QNetworkRequest MyDAO::baseRequest() const
{
    return RequestClient::baseRequest();
}

void MyDAO::parseLocalJSON()
{
    Notifier* notifier = userNotifier();
    const OpResult loaded = references->load();
    if (!loaded && notifier)
        notifier->alert(loaded.message, references->failureTitle());
}

void MyDAO::getDistrictNetData(QString tag, int upid)
{
    references->districts(tag, upid, [this, tag](QJsonArray data) { emit s_set_district(tag, data); });
}
