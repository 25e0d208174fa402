#include "VersionFile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

PublishedVersion readVersionFile(const QByteArray& body)
{
    PublishedVersion published;
    const QJsonDocument doc = QJsonDocument::fromJson(body);
    if (!doc.isObject())
        return published;
    published.readable = true;
    const QJsonObject obj = doc.object();
    published.version = obj.value(QStringLiteral("data")).toArray().at(0).toString();
    published.sha256 = obj.value(QStringLiteral("sha256")).toObject().value(published.version).toString();
    published.signature = QByteArray::fromBase64(
        obj.value(QStringLiteral("signature")).toObject().value(published.version).toString().toLatin1());
    return published;
}
