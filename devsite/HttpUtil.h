#pragma once

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QUrl>
#include <QUrlQuery>
#include <httplib.h>

namespace devsite {

inline QString qs(const std::string& s)
{
    return QString::fromStdString(s);
}

inline void sendJson(httplib::Response& res, const QJsonDocument& doc, int status = 200)
{
    res.status = status;
    res.set_content(doc.toJson(QJsonDocument::Compact).toStdString(), "application/json; charset=utf-8");
}

inline void sendJson(httplib::Response& res, const QJsonObject& obj, int status = 200)
{
    sendJson(res, QJsonDocument(obj), status);
}

inline void sendJson(httplib::Response& res, const QJsonArray& arr, int status = 200)
{
    sendJson(res, QJsonDocument(arr), status);
}

// Plain refusal for requests that no client of ours should send.
inline void sendError(httplib::Response& res, int status, const QString& text)
{
    sendJson(res, QJsonObject { { "error", text } }, status);
}

// The items of the URL's query, decoded as Qt encodes them ("+" stays "+"); body form
// fields never count.
inline QUrlQuery queryOf(const httplib::Request& req)
{
    const std::string& target = req.target;
    const size_t q = target.find('?');
    return QUrlQuery(q == std::string::npos ? QString() : QString::fromStdString(target.substr(q + 1)));
}

inline QString param(const httplib::Request& req, const char* name)
{
    return queryOf(req).queryItemValue(QString::fromLatin1(name), QUrl::FullyDecoded);
}

inline bool hasParam(const httplib::Request& req, const char* name)
{
    return queryOf(req).hasQueryItem(QString::fromLatin1(name));
}

// Parses a JSON request body; ok is false unless it is one object.
inline QJsonObject parseObject(const std::string& body, bool* ok)
{
    QJsonParseError err {};
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(body), &err);
    *ok = err.error == QJsonParseError::NoError && doc.isObject();
    return doc.object();
}

} // namespace devsite
