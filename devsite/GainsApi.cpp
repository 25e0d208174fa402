// Commission records: made up day by day from the author's reviewed resources, the same
// every time they are asked for.

#include "DevsiteServer.h"
#include "HttpUtil.h"

#include <QDate>
#include <QDateTime>
#include <QRandomGenerator>

using namespace devsite;

namespace {

const int kPageSize = 20;
const int kDaysKept = 400;

struct GainType
{
    const char* key;
    const char* name;
};
const GainType kTypes[] = { { "1", "下载提成" }, { "2", "精品奖励" }, { "3", "活动奖励" }, { "4", "优质资源奖励" } };

QJsonObject failure(const QString& msg)
{
    return QJsonObject { { "errcode", 0 }, { "code", 1 }, { "msg", msg } };
}

// Records of one day, newest first. status 1: ordinary resources, 2: premium ones.
QJsonArray recordsOfDay(const QList<QJsonObject>& reviewed, const QDate& day, int status, int uid)
{
    QJsonArray out;
    if (reviewed.isEmpty())
        return out;
    QRandomGenerator rng(quint32(day.toJulianDay() * 31 + status * 7 + uid));
    const int count = status == 1 ? int(rng.bounded(7)) : int(rng.bounded(3));
    QList<QJsonObject> records;
    for (int i = 0; i < count; ++i) {
        const QJsonObject& a = reviewed.at(int(rng.bounded(quint32(reviewed.size()))));
        const GainType& t = status == 1 ? kTypes[rng.bounded(10) < 8 ? 0 : 2] : kTypes[rng.bounded(2) == 0 ? 1 : 3];
        static const char* const ordinary[] = { "0.5", "1", "1.5", "2", "0.8" };
        static const char* const premium[] = { "3", "5", "8", "2.5" };
        const QString point = QString::fromLatin1(status == 1 ? ordinary[rng.bounded(5)] : premium[rng.bounded(4)]);
        const int seconds = int(rng.bounded(86400));
        records.append(
            QJsonObject { { "typeidroot", a.value("typeidroot") },
                          { "title", a.value("subject") },
                          { "itemid", a.value("itemid") },
                          { "downuser", QString::number(300000 + rng.bounded(600000)) },
                          { "gainname", QString::fromUtf8(t.name) },
                          { "gaintype", QString::fromLatin1(t.key) },
                          { "gaintime", QDateTime(day, QTime(0, 0).addSecs(seconds)).toString("yyyy-MM-dd hh:mm:ss") },
                          { "gainpoint", point } });
    }
    std::sort(records.begin(), records.end(), [](const QJsonObject& x, const QJsonObject& y) {
        return x.value("gaintime").toString() > y.value("gaintime").toString();
    });
    for (const QJsonObject& r : records)
        out.append(r);
    return out;
}

void gainsInfo(DevsiteServer& server, const httplib::Request& req, httplib::Response& res)
{
    const int uid = server.requireSession(req, res);
    if (!uid)
        return;
    const QDate start = QDate::fromString(param(req, "start_time"), "yyyy-MM-dd");
    const QDate end = QDate::fromString(param(req, "end_time"), "yyyy-MM-dd");
    if (!start.isValid() || !end.isValid()) {
        sendJson(res, failure(QStringLiteral("日期格式错误")));
        return;
    }
    const QString status = param(req, "status");
    if (status != "1" && status != "2") {
        sendJson(res, failure(QStringLiteral("参数status错误")));
        return;
    }
    const QString type = param(req, "gainsType");
    bool typeKnown = type.isEmpty();
    for (const GainType& t : kTypes)
        typeKnown = typeKnown || type == QLatin1String(t.key);
    if (!typeKnown) {
        sendJson(res, failure(QStringLiteral("参数gainsType错误")));
        return;
    }
    bool pageOk = false;
    int page = param(req, "page").toInt(&pageOk);
    if (!pageOk || page < 1)
        page = 1;

    QList<QJsonObject> reviewed;
    for (const QJsonObject& a : server.store().assets(uid)) {
        const int flag = a.value("flag").toString().toInt();
        if ((status == "2") == (flag == 7) && (flag == 7 || flag == 8 || flag == 17)
            && a.value("downnum").toString().toInt() > 0)
            reviewed.append(a);
    }
    const QDate today = QDate::currentDate();
    const QDate first = qMax(start, today.addDays(-kDaysKept));
    const QDate last = qMin(end, today);
    const QString now = QDateTime::currentDateTime().toString("yyyy-MM-dd hh:mm:ss");
    QJsonArray all;
    for (QDate d = last; d >= first; d = d.addDays(-1)) {
        for (const QJsonValue& r : recordsOfDay(reviewed, d, status.toInt(), uid)) {
            if (r.toObject().value("gaintime").toString() > now)
                continue; // not earned yet today
            if (type.isEmpty() || r.toObject().value("gaintype").toString() == type)
                all.append(r);
        }
    }
    const int total = all.size();
    const int pageCount = (total + kPageSize - 1) / kPageSize;
    page = qMin(page, qMax(pageCount, 1));
    QJsonArray data;
    for (int i = (page - 1) * kPageSize; i < qMin(total, page * kPageSize); ++i)
        data.append(all.at(i));
    sendJson(res,
             QJsonObject { { "errcode", 0 },
                           { "code", 0 },
                           { "data", data },
                           { "_meta",
                             QJsonObject { { "totalCount", total },
                                           { "pageCount", pageCount },
                                           { "currentPage", page },
                                           { "perPage", kPageSize } } } });
}

void gainsType(DevsiteServer& server, const httplib::Request& req, httplib::Response& res)
{
    if (!server.requireSession(req, res))
        return;
    QJsonObject data;
    for (const GainType& t : kTypes)
        data.insert(QString::fromLatin1(t.key), QString::fromUtf8(t.name));
    sendJson(res, QJsonObject { { "errcode", 0 }, { "code", 0 }, { "data", data } });
}

void gainsTotal(DevsiteServer& server, const httplib::Request& req, httplib::Response& res, int status)
{
    const int uid = server.requireSession(req, res);
    if (!uid)
        return;
    double sum = 0;
    QList<QJsonObject> reviewed;
    for (const QJsonObject& a : server.store().assets(uid)) {
        const int flag = a.value("flag").toString().toInt();
        if ((status == 2) == (flag == 7) && (flag == 7 || flag == 8 || flag == 17)
            && a.value("downnum").toString().toInt() > 0)
            reviewed.append(a);
    }
    const QDate today = QDate::currentDate();
    for (QDate d = today.addDays(-kDaysKept); d <= today; d = d.addDays(1)) {
        for (const QJsonValue& r : recordsOfDay(reviewed, d, status, uid))
            sum += r.toObject().value("gainpoint").toString().toDouble();
    }
    sendJson(res, QJsonObject { { "errcode", 0 }, { "code", 0 }, { "data", QJsonObject { { "total", sum } } } });
}

} // namespace

void registerGainsApi(DevsiteServer& server)
{
    const auto https = DevsiteServer::Listener::Https;
    server.route(https, "GET", "/toolupload/down-gains/gains-info",
                 [&server](const httplib::Request& req, httplib::Response& res) { gainsInfo(server, req, res); });
    server.route(https, "GET", "/toolupload/down-gains/gains-type",
                 [&server](const httplib::Request& req, httplib::Response& res) { gainsType(server, req, res); });
    server.route(https, "GET", "/toolupload/down-gains/gains-total-pu",
                 [&server](const httplib::Request& req, httplib::Response& res) { gainsTotal(server, req, res, 1); });
    server.route(https, "GET", "/toolupload/down-gains/gains-total-jin",
                 [&server](const httplib::Request& req, httplib::Response& res) { gainsTotal(server, req, res, 2); });
}
