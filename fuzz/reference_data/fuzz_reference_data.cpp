// vtup.json as fetched from the website (judged like every JSON reply) and as the shipped
// copy is read, turned into the type tables the form's pickers use.

#include "net/ReferenceData.h"
#include "net/RequestClient.h"

#include <QByteArray>
#include <QJsonDocument>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray body = QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size));
    bool sessionEnded = false;
    const QJsonObject fetched = RequestClient::judgeBody(body, false, sessionEnded);
    const QJsonObject shipped = QJsonDocument::fromJson(body).object();
    for (const QJsonObject& resource : { fetched, shipped }) {
        QMap<QString, QString> rootNames;
        QMap<QString, ReferenceData::AssetTypeEntry> types;
        ReferenceData::readTypeTables(resource, rootNames, types);
    }
    return 0;
}
