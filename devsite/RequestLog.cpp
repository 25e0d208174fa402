#include "RequestLog.h"

#include "HttpUtil.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <chrono>

namespace {

bool isBinary(const httplib::Request& req)
{
    const std::string type = req.get_header_value("Content-Type");
    return type.rfind("application/octet-stream", 0) == 0 || req.path == "/upload/";
}

} // namespace

int RequestLog::record(const QString& listener, const httplib::Request& req, const QByteArray& bodyMd5)
{
    QJsonObject query;
    for (const auto& item : devsite::queryOf(req).queryItems(QUrl::FullyDecoded)) {
        const QString& key = item.first;
        const QString& value = item.second;
        // Repeated items keep every value, joined, so none goes unnoticed.
        query.insert(key, query.contains(key) ? query.value(key).toString() + "," + value : value);
    }
    QJsonObject headers;
    for (const auto& h : req.headers) {
        if (h.first == "REMOTE_ADDR" || h.first == "REMOTE_PORT" || h.first == "LOCAL_ADDR" || h.first == "LOCAL_PORT")
            continue; // added by the server library, not sent by the client
        const QString key = QString::fromStdString(h.first);
        const QString value = QString::fromLatin1(h.second.c_str());
        headers.insert(key, headers.contains(key) ? headers.value(key).toString() + ", " + value : value);
    }
    QJsonObject entry { { "method", QString::fromStdString(req.method) },
                        { "path", QString::fromStdString(req.path) },
                        { "target", QString::fromStdString(req.target) },
                        { "listener", listener },
                        { "query", query },
                        { "headers", headers },
                        { "time_ms", QDateTime::currentMSecsSinceEpoch() },
                        { "status", 0 } };
    if (isBinary(req)) {
        const QByteArray body = QByteArray::fromRawData(req.body.data(), int(req.body.size()));
        entry.insert(
            "body",
            QJsonObject { { "length", qint64(req.body.size()) },
                          { "md5",
                            QString::fromLatin1(bodyMd5.isEmpty()
                                                    ? QCryptographicHash::hash(body, QCryptographicHash::Md5).toHex()
                                                    : bodyMd5) } });
    } else {
        entry.insert("body", QString::fromUtf8(req.body.data(), int(req.body.size())));
    }
    std::lock_guard<std::mutex> lock(mutex);
    log.push_back(entry);
    return int(log.size()) - 1;
}

void RequestLog::setStatus(int index, int status)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (index >= 0 && index < int(log.size()))
        log[size_t(index)].insert("status", status);
}

QJsonArray RequestLog::entries(const QString& pathFilter)
{
    std::lock_guard<std::mutex> lock(mutex);
    QJsonArray out;
    for (const QJsonObject& e : log) {
        if (pathFilter.isEmpty() || e.value("path").toString() == pathFilter)
            out.append(e);
    }
    return out;
}

bool RequestLog::addFault(const QJsonObject& faultSpec, QString* error)
{
    Fault f;
    f.path = faultSpec.value("path").toString();
    if (!f.path.startsWith('/')) {
        *error = "\"path\" must be a path starting with /";
        return false;
    }
    if (f.path.startsWith("/__devsite/")) {
        *error = "the admin API cannot be faulted";
        return false;
    }
    f.remaining = faultSpec.contains("count") ? faultSpec.value("count").toInt(0) : 1;
    if (f.remaining < 1) {
        *error = "\"count\" must be a positive number";
        return false;
    }
    int kinds = 0;
    if (faultSpec.contains("status")) {
        f.kind = FaultKind::Status;
        f.status = faultSpec.value("status").toInt(0);
        if (f.status < 100 || f.status > 599) {
            *error = "\"status\" must be an HTTP status";
            return false;
        }
        ++kinds;
    }
    // A delay alone lets the request be answered as usual afterwards; with another kind it
    // holds that answer back.
    const bool delayed = faultSpec.contains("delay_ms");
    if (delayed) {
        f.delayMs = faultSpec.value("delay_ms").toInt(-1);
        if (f.delayMs < 0 || f.delayMs > 600000) {
            *error = "\"delay_ms\" must be 0..600000";
            return false;
        }
    }
    if (faultSpec.value("drop").toBool()) {
        f.kind = FaultKind::Drop;
        ++kinds;
    }
    if (faultSpec.value("hang").toBool()) {
        f.kind = FaultKind::Hang;
        ++kinds;
    }
    if (faultSpec.value("session_invalid").toBool()) {
        f.kind = FaultKind::SessionInvalid;
        ++kinds;
    }
    if (faultSpec.contains("body")) {
        if (!faultSpec.value("body").isString()) {
            *error = "\"body\" must be a text";
            return false;
        }
        f.kind = FaultKind::Body;
        f.body = faultSpec.value("body").toString().toUtf8();
        ++kinds;
    }
    if (faultSpec.contains("cut")) {
        static const QStringList ways { "length", "chunked", "chunk-header", "gzip", "close" };
        if (!ways.contains(faultSpec.value("cut").toString())) {
            *error = "\"cut\" must be one of " + ways.join(", ");
            return false;
        }
        f.kind = FaultKind::Cut;
        f.body = faultSpec.value("cut").toString().toUtf8();
        ++kinds;
    }
    if (kinds == 0 && delayed) {
        f.kind = FaultKind::Delay;
        kinds = 1;
    }
    if (kinds != 1) {
        *error = "give exactly one of status, delay_ms, drop, hang, session_invalid, body, cut (delay_ms may "
                 "go with status, session_invalid or body)";
        return false;
    }
    std::lock_guard<std::mutex> lock(mutex);
    faults.push_back(f);
    return true;
}

RequestLog::Fault RequestLog::takeFault(const QString& path)
{
    std::lock_guard<std::mutex> lock(mutex);
    for (auto it = faults.begin(); it != faults.end(); ++it) {
        if (it->path != path)
            continue;
        Fault f = *it;
        if (--it->remaining <= 0)
            faults.erase(it);
        return f;
    }
    return {};
}

void RequestLog::reset()
{
    std::lock_guard<std::mutex> lock(mutex);
    log.clear();
    faults.clear();
    ++generation;
    wake.notify_all();
}

void RequestLog::shutdown()
{
    std::lock_guard<std::mutex> lock(mutex);
    stopping = true;
    ++generation;
    wake.notify_all();
}

bool RequestLog::pause(qint64 ms)
{
    std::unique_lock<std::mutex> lock(mutex);
    const quint64 start = generation;
    return !wake.wait_for(lock, std::chrono::milliseconds(ms), [&] { return stopping || generation != start; });
}
