#include "net/ReferenceData.h"

#include "app/AppDir.h"
#include "app/Clock.h"
#include "app/NestedWait.h"
#include "net/Endpoints.h"
#include "net/RequestClient.h"

#include <QEventLoop>
#include <QFile>
#include <QHash>
#include <QJsonDocument>
#include <QTimer>
#include <atomic>
#include <memory>

namespace {

std::atomic<int> fetchLimit { 120000 };

bool readJsonFile(const QString& path, QJsonObject& out)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    out = QJsonDocument::fromJson(file.readAll()).object();
    return true;
}

// Result of one start-up file request. Shared with the callback so that a reply arriving
// after the wait gave up writes into live memory.
struct FetchState
{
    bool done = false;
    bool fetched = true;
    QJsonObject reply;
};

} // namespace

// Fetches one reference file and waits for it in a nested loop. The wait also ends when the
// server answers with an invalid-session envelope (the request client then never calls
// back) and, as a last resort, after a long time-out, so that start-up cannot hang.
static bool fetchReferenceFile(RequestClient* client, const QString& url, const QUrlQuery& query, QJsonObject& out)
{
    auto state = std::make_shared<FetchState>();
    QEventLoop loop;
    client->get(
        url, query,
        [state, &loop](QJsonObject& reply) {
            if (state->done)
                return;
            state->done = true;
            if (reply.value("errcode").toInt() == -3)
                state->fetched = false;
            else
                state->reply = reply;
            loop.quit();
        },
        nullptr);
    if (!state->done) {
        QMetaObject::Connection invalid
            = QObject::connect(client, &RequestClient::sessionInvalid, &loop, &QEventLoop::quit);
        QTimer limit;
        limit.setSingleShot(true);
        QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
        limit.start(fetchLimit.load());
        NestedWait::Scope scope;
        loop.exec();
        QObject::disconnect(invalid);
    }
    if (!state->done) {
        // Late replies are ignored from here on.
        state->done = true;
        state->fetched = false;
    }
    if (state->fetched)
        out = state->reply;
    return state->fetched;
}

ReferenceData::ReferenceData(RequestClient* requests)
    : client(requests)
{
}

int ReferenceData::fetchLimitMs()
{
    return fetchLimit.load();
}

void ReferenceData::setFetchLimitMs(int ms)
{
    fetchLimit.store(ms);
}

void ReferenceData::readTypeTables(const QJsonObject& resource, QMap<QString, QString>& rootNames,
                                   QMap<QString, AssetTypeEntry>& typeTable)
{
    const QJsonArray roots = resource.value("typeidroot").toArray();
    for (const QJsonValue& root : roots) {
        const QJsonObject r = root.toObject();
        rootNames.insert(r.value("id").toVariant().toString(), r.value("name").toString());
    }
    const QJsonObject types = resource.value("typeid").toObject();
    for (auto rootIt = types.begin(); rootIt != types.end(); ++rootIt) {
        const QJsonObject inner = rootIt.value().toObject();
        for (auto it = inner.begin(); it != inner.end(); ++it) {
            AssetTypeEntry entry;
            entry.typeId = it.key();
            entry.typeName = it.value().toString();
            entry.rootId = rootIt.key();
            entry.rootName = rootNames.value(rootIt.key());
            typeTable.insert(entry.typeId, entry);
        }
    }
}

OpResult ReferenceData::load()
{
    resourceObj = QJsonObject();
    ruleObj = QJsonObject();
    rootNames.clear();
    typeTable.clear();
    lastFailureTitle.clear();

    QUrlQuery query;
    query.addQueryItem("v", QString::number(Clock::nowSecs()));

    const bool resourceFetched = fetchReferenceFile(client, URL_VTUP_JSON, query, resourceObj);
    if (!resourceFetched) {
        if (!readJsonFile(appDir() + "/resources/vtup.json", resourceObj)) {
            lastFailureTitle = QStringLiteral("出错了！");
            return OpResult::failure(QStringLiteral("vtup.json文件丢失"));
        }
    }

    readTypeTables(resourceObj, rootNames, typeTable);

    const bool ruleFetched = fetchReferenceFile(client, URL_RULE_JSON, query, ruleObj);
    if (!ruleFetched) {
        // The rules are optional: without either copy there is nothing to tell.
        if (!readJsonFile(appDir() + "/resources/rule.json", ruleObj))
            return OpResult::success();
    }

    if (!resourceFetched || !ruleFetched) {
        lastFailureTitle = QStringLiteral("网络异常");
        return OpResult::failure(QStringLiteral("网络请求失败，稍后再试,code=003"));
    }
    return OpResult::success();
}

void ReferenceData::districts(const QString& tag, int upid, std::function<void(QJsonArray)> callback)
{
    const QString key = tag + "," + QString::number(upid);
    auto cached = districtCache.constFind(key);
    if (cached != districtCache.constEnd()) {
        if (callback)
            callback(cached.value());
        return;
    }
    QUrlQuery query;
    query.addQueryItem("upid", QString::number(upid));
    client->get(
        URL_DISTRICT, query,
        [this, key, callback](QJsonObject& reply) {
            const QJsonArray data = reply.value("data").toArray();
            districtCache.insert(key, data);
            if (callback)
                callback(data);
        },
        nullptr);
}
