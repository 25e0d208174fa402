#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <condition_variable>
#include <httplib.h>
#include <mutex>
#include <vector>

// Everything the site received, in order, and the faults that tests asked for.
class RequestLog
{
public:
    enum class FaultKind { None, Status, Delay, Drop, Hang, SessionInvalid, Body, Cut };

    struct Fault
    {
        QString path;
        int remaining = 0;
        FaultKind kind = FaultKind::None;
        int status = 0;
        int delayMs = 0;
        QByteArray body; // Body: the answer; Cut: how the real answer is spoiled
    };

    // Appends one entry and returns its index (for the answer status filled in later).
    // `bodyMd5` (hex), when given, is the digest of the body taken while it came in.
    int record(const QString& listener, const httplib::Request& req, const QByteArray& bodyMd5 = QByteArray());
    void setStatus(int index, int status);
    QJsonArray entries(const QString& pathFilter);

    // Parses a fault description; false and a reason when it is not one.
    bool addFault(const QJsonObject& faultSpec, QString* error);
    // The fault that applies to this request of the path, counted down (kind None when none).
    Fault takeFault(const QString& path);

    void reset(); // clears log and faults, releases hanging requests
    void shutdown(); // releases hanging and delayed requests for good

    // Sleeps up to ms milliseconds; returns early (false) on reset or shutdown.
    bool pause(qint64 ms);

private:
    std::mutex mutex;
    std::condition_variable wake;
    std::vector<QJsonObject> log;
    std::vector<Fault> faults;
    quint64 generation = 0;
    bool stopping = false;
};
