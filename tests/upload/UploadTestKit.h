#pragma once

// Small helpers shared by the upload tests: test files with known MD5, jobs for them, and
// reading devsite's request log.

#include "store/AssetRecords.h"
#include "support/TestFiles.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

// 2021-01-15 12:00 UTC: the same calendar day in every time zone from UTC-11 to UTC+11.
constexpr qint64 kCreatedTime = 1610712000;

inline UploadFile jobFor(const TestFile& f, int id, qint64 loaded = 0)
{
    UploadFile job;
    job.file_md5 = f.md5;
    job.file_name = f.name;
    job.file_id = id;
    job.file_size = f.size;
    job.file_size_loaded = loaded;
    job.file_path = f.path;
    job.created_time = kCreatedTime;
    job.file_status = 1;
    return job;
}

// A header of a logged request, whatever the case of its name.
inline QString loggedHeader(const QJsonObject& entry, const QString& name)
{
    const QJsonObject headers = entry.value("headers").toObject();
    for (auto it = headers.begin(); it != headers.end(); ++it) {
        if (it.key().compare(name, Qt::CaseInsensitive) == 0)
            return it.value().toString();
    }
    return QString();
}

// The logged upload requests that belong to the file with this MD5.
inline QList<QJsonObject> piecesOf(const QJsonArray& log, const QString& md5)
{
    QList<QJsonObject> out;
    for (const QJsonValue& v : log) {
        const QJsonObject e = v.toObject();
        if (loggedHeader(e, "Session-ID").startsWith(md5 + "-"))
            out.append(e);
    }
    return out;
}

inline QStringList rangesOf(const QList<QJsonObject>& pieces)
{
    QStringList out;
    for (const QJsonObject& e : pieces)
        out << loggedHeader(e, "X-Content-Range");
    return out;
}

// Whether the site's upload store (`uploads`) holds the whole file of `md5`, its bytes matching
// that MD5 (and `size`, when given).
inline bool storedWhole(const QJsonArray& uploads, const QString& md5, qint64 size = -1)
{
    bool complete = false;
    for (const QJsonValue& v : uploads) {
        const QJsonObject u = v.toObject();
        if (u.value("file_md5").toString() == md5)
            complete = u.value("complete").toBool() && u.value("md5").toString() == md5
                && (size < 0 || u.value("bytes").toVariant().toLongLong() == size);
    }
    return complete;
}
