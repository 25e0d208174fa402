#pragma once

#include "app/OpResult.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QMap>
#include <QString>
#include <functional>

class RequestClient;

// vtup.json and rule.json (from the website, else the copies shipped in resources/), the
// type tables built from them, and the region lists fetched on demand.
class ReferenceData
{
public:
    // One entry of the type table: a resource type with its root type.
    struct AssetTypeEntry
    {
        QString typeId;
        QString typeName;
        QString rootId;
        QString rootName;
    };

    explicit ReferenceData(RequestClient* client);

    // Loads both files again. A failure carries the text for the user; failureTitle() is the
    // title of its box.
    OpResult load();
    const QString& failureTitle() const { return lastFailureTitle; }

    QJsonObject resourceObject() const { return resourceObj; }
    QJsonObject ruleObject() const { return ruleObj; }
    const QMap<QString, QString>& typeRootNames() const { return rootNames; }
    const QMap<QString, AssetTypeEntry>& assetTypes() const { return typeTable; }

    // Child regions of `upid`, from the cache or the website.
    void districts(const QString& tag, int upid, std::function<void(QJsonArray)> callback);

    // Root id -> root name and type id -> entry, from the "typeidroot" and "typeid" members
    // of a vtup.json object; added to what the maps hold.
    static void readTypeTables(const QJsonObject& resource, QMap<QString, QString>& rootNames,
                               QMap<QString, AssetTypeEntry>& typeTable);

    // Longest wait for one reference file in load() before the shipped copy is used.
    static int fetchLimitMs();
    static void setFetchLimitMs(int ms);

private:
    RequestClient* client;
    QJsonObject resourceObj;
    QJsonObject ruleObj;
    QMap<QString, QString> rootNames;
    QMap<QString, AssetTypeEntry> typeTable;
    QString lastFailureTitle;
    // Tag + "," + parent id -> the regions under it. Regions do not change during a run, so
    // entries are never dropped (a failed lookup caches an empty list as well).
    QHash<QString, QJsonArray> districtCache;
};
