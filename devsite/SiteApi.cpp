// The website's JSON API under "/toolupload/": reference lists, the author's resources,
// the duplicate checks and the submission of an uploaded file's metadata.

#include "DevsiteServer.h"
#include "HttpUtil.h"
#include "SeedData.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QSet>
#include <algorithm>
#include <cmath>

using namespace devsite;

namespace {

const int kPageSize = 20;

QJsonObject ok(const QJsonValue& data)
{
    return QJsonObject { { "errcode", 0 }, { "code", 0 }, { "message", "" }, { "data", data } };
}

QJsonObject refused(const QString& msg)
{
    return QJsonObject { { "errcode", 0 }, { "code", 1 }, { "msg", msg } };
}

// A query item that must be a decimal number; false when it is absent or not one.
bool intParam(const httplib::Request& req, const char* name, int* value)
{
    bool good = false;
    *value = param(req, name).toInt(&good);
    return good;
}

QString stripHtml(QString text)
{
    static const QRegularExpression tags("<[^>]*>");
    text.remove(tags);
    text.replace("&amp;", "&").replace("&lt;", "<").replace("&gt;", ">").replace("&nbsp;", " ");
    return text;
}

QString flagName(int flag)
{
    switch (flag) {
    case 3:
    case 5:
    case 7:
        return QStringLiteral("精品资料");
    case 13:
    case 15:
    case 17:
        return QStringLiteral("特供资料(首发试卷)");
    default:
        return QStringLiteral("普通资料");
    }
}

// The members a list row shows; the facts behind the detail stay on the site.
QJsonObject listRow(const QJsonObject& asset)
{
    QJsonObject row = asset;
    for (const char* key : { "uid", "intro", "file_md5", "catpath", "categories", "copyrighttype", "fitprovince",
                             "fitcity", "fitdist", "typeid", "uploadurl", "softsize", "filename", "versionid" })
        row.remove(key);
    return row;
}

QJsonObject detailOf(const QJsonObject& a)
{
    const int itemid = a.value("itemid").toString().toInt();
    const int root = a.value("typeidroot").toString().toInt();
    QJsonObject d { { "itemid", a.value("itemid") },
                    { "title", stripHtml(a.value("subject").toString()) },
                    { "flag_name", flagName(a.value("flag").toString().toInt()) },
                    { "stage", seed::stageName(a.value("xueduanid").toString().toInt()) },
                    { "subject_name", seed::subjectName(a.value("chid").toString().toInt()) },
                    { "categories", a.value("categories") },
                    { "copyright", seed::copyrightName(a.value("copyrighttype").toString().toInt()) } };
    // Some resources lack members, as older ones on the site do.
    if (itemid % 17 != 3) {
        d.insert("types", seed::rootName(root));
        d.insert("sub_types", seed::typeName(root, a.value("typeid").toString().toInt()));
    }
    if (itemid % 10 != 7)
        d.insert("point", a.value("stars"));
    const int province = a.value("fitprovince").toString().toInt();
    if (province > 0) {
        d.insert("province_name", seed::regionName(province));
        d.insert("city_name", seed::regionName(a.value("fitcity").toString().toInt()));
        d.insert("dist_name", seed::regionName(a.value("fitdist").toString().toInt()));
    }
    return d;
}

void listAssets(DevsiteServer& server, const httplib::Request& req, httplib::Response& res)
{
    const int uid = server.requireSession(req, res);
    if (!uid)
        return;
    static const QSet<int> knownFlags { 3, 4, 5, 6, 7, 8, 13, 15, 17 };
    QSet<int> flags;
    for (const QString& f : param(req, "flag").split(',')) {
        bool good = false;
        const int v = f.toInt(&good);
        if (!good || !knownFlags.contains(v)) {
            sendJson(res, refused(QStringLiteral("参数flag错误")));
            return;
        }
        flags.insert(v);
    }
    int stage = 0, subject = 0, page = 1;
    intParam(req, "stage", &stage);
    intParam(req, "subject_id", &subject);
    if (!intParam(req, "page", &page) || page < 1)
        page = 1;
    const QString search = param(req, "searchCenter").trimmed();
    const bool searching = param(req, "searchType") == "1" && !search.isEmpty();
    const bool reviewedOrRecycled = !flags.contains(5) && !flags.contains(6) && !flags.contains(15);

    QList<QJsonObject> rows;
    for (const QJsonObject& a : server.store().assets(uid)) {
        if (!flags.contains(a.value("flag").toString().toInt()))
            continue;
        if (stage && a.value("xueduanid").toString().toInt() != stage)
            continue;
        if (subject && a.value("chid").toString().toInt() != subject)
            continue;
        if (searching && !stripHtml(a.value("subject").toString()).contains(search, Qt::CaseInsensitive))
            continue;
        rows.append(a);
    }
    const char* timeKey = reviewedOrRecycled ? "editline" : "dateline";
    std::stable_sort(rows.begin(), rows.end(), [timeKey](const QJsonObject& x, const QJsonObject& y) {
        return x.value(timeKey).toString().toLongLong() > y.value(timeKey).toString().toLongLong();
    });

    const int total = rows.size();
    const int pageCount = (total + kPageSize - 1) / kPageSize;
    page = qMin(page, qMax(pageCount, 1)); // past the end: the last page, as the site does
    QJsonArray data;
    for (int i = (page - 1) * kPageSize; i < qMin(total, page * kPageSize); ++i)
        data.append(listRow(rows[i]));
    QJsonObject reply = ok(data);
    reply.insert(
        "_meta",
        QJsonObject {
            { "totalCount", total }, { "pageCount", pageCount }, { "currentPage", page }, { "perPage", kPageSize } });
    sendJson(res, reply);
}

void assetDetail(DevsiteServer& server, const httplib::Request& req, httplib::Response& res)
{
    const int uid = server.requireSession(req, res);
    if (!uid)
        return;
    int itemid = 0;
    const QJsonObject a = intParam(req, "itemid", &itemid) ? server.store().asset(itemid) : QJsonObject();
    if (a.isEmpty() || a.value("uid").toInt() != uid) {
        sendJson(res, refused(QStringLiteral("资源不存在或已删除")));
        return;
    }
    sendJson(res, ok(detailOf(a)));
}

bool isMd5(const QString& s)
{
    static const QRegularExpression re("^[0-9a-f]{32}$");
    return re.match(s).hasMatch();
}

void subsetCheck(DevsiteServer& server, const httplib::Request& req, httplib::Response& res)
{
    if (!server.requireSession(req, res))
        return;
    const QString md5 = param(req, "file_md5");
    if (!isMd5(md5)) {
        sendJson(res, refused(QStringLiteral("参数file_md5错误")));
        return;
    }
    const QJsonObject known = server.store().knownMd5(md5);
    sendJson(res, ok(known.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(known)));
}

// Texts overlap when they share a run of this many characters, white space aside.
const int kOverlap = 10;

QString squeeze(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (!c.isSpace())
            out.append(c);
    }
    return out;
}

void checkingIntro(DevsiteServer& server, const httplib::Request& req, httplib::Response& res)
{
    if (!server.requireSession(req, res))
        return;
    bool good = false;
    const QJsonObject body = parseObject(req.body, &good);
    if (!good || !body.value("intro").isString() || !body.value("stage").isDouble()
        || !body.value("subject_id").isDouble() || !body.value("file_md5").isString()) {
        sendJson(res, refused(QStringLiteral("参数错误")));
        return;
    }
    const QString intro = squeeze(body.value("intro").toString()).left(20000);
    QJsonArray hits;
    if (intro.size() >= kOverlap) {
        QHash<QString, bool> overlapping; // seeded text -> shares a run with the intro
        for (const QJsonObject& a : server.store().assets(0)) {
            const QString text = a.value("intro").toString();
            if (text.isEmpty() || hits.size() >= 10)
                continue;
            auto it = overlapping.find(text);
            if (it == overlapping.end()) {
                const QString other = squeeze(text);
                bool hit = false;
                for (int i = 0; !hit && i + kOverlap <= intro.size(); ++i)
                    hit = other.contains(QStringRef(&intro, i, kOverlap));
                it = overlapping.insert(text, hit);
            }
            if (it.value())
                hits.append(QJsonObject { { "title", a.value("subject") }, { "itemid", a.value("itemid") } });
        }
    }
    sendJson(res, ok(hits));
}

// Integral JSON number; false for anything else.
bool number(const QJsonObject& body, const char* key, qint64* out)
{
    const QJsonValue v = body.value(key);
    if (!v.isDouble())
        return false;
    const double d = v.toDouble();
    if (std::floor(d) != d || std::fabs(d) > 9e15)
        return false;
    *out = qint64(d);
    return true;
}

// The reason to refuse a submission, or empty when it is sound.
QString checkSubmission(DevsiteServer& server, int uid, const QJsonObject& body)
{
    qint64 id, catid, stage, subject, copyright, flag, stars, softsize, province, city, dist, versionid;
    const std::pair<const char*, qint64*> numbers[] = {
        { "_id", &id },
        { "catid", &catid },
        { "xueduanid", &stage },
        { "chid", &subject },
        { "copyrighttype", &copyright },
        { "flag", &flag },
        { "stars", &stars },
        { "softsize", &softsize },
        { "fitprovince", &province },
        { "fitcity", &city },
        { "fitdist", &dist },
        { "versionid", &versionid },
    };
    for (const auto& n : numbers) {
        if (!number(body, n.first, n.second))
            return QString("参数%1缺失或类型错误").arg(QString::fromLatin1(n.first));
    }
    for (const char* key : { "catpath", "subject", "filename", "file_md5", "uploadurl", "intro" }) {
        if (!body.value(key).isString())
            return QString("参数%1缺失或类型错误").arg(QString::fromLatin1(key));
    }
    for (const char* key : { "typeid", "typeidroot" }) {
        if (!body.value(key).isArray())
            return QString("参数%1缺失或类型错误").arg(QString::fromLatin1(key));
    }

    if (body.value("subject").toString().trimmed().isEmpty())
        return QStringLiteral("资料标题不能为空");
    const QJsonArray types = body.value("typeid").toArray(), roots = body.value("typeidroot").toArray();
    if (types.isEmpty() || types.size() != roots.size() || types.size() > 5)
        return QStringLiteral("资料类型错误");
    for (int i = 0; i < types.size(); ++i) {
        if (!types[i].isDouble() || !roots[i].isDouble()
            || seed::typeName(roots[i].toInt(), types[i].toInt()).isEmpty())
            return QStringLiteral("资料类型错误");
    }
    if (seed::stageName(int(stage)).isEmpty())
        return QStringLiteral("学段错误");
    if (!seed::subjectInStage(int(stage), int(subject)))
        return QStringLiteral("学科错误");
    QString catpath, namePath;
    if (!seed::leafChapter(int(stage), int(subject), int(catid), &catpath, &namePath))
        return QStringLiteral("资料栏目错误");
    if (body.value("catpath").toString() != catpath)
        return QStringLiteral("栏目路径与栏目不符");
    bool versionKnown = false;
    for (const seed::Version& v : seed::versions(int(stage), int(subject)))
        versionKnown = versionKnown || v.id == versionid;
    if (!versionKnown)
        return QStringLiteral("教材版本错误");
    if (seed::copyrightName(int(copyright)).isEmpty())
        return QStringLiteral("资料属性错误");
    if (flag != 5 && flag != 6 && flag != 15)
        return QStringLiteral("资料类别错误");
    if (flag == 5 && uid != 10001)
        return QStringLiteral("您暂无精品资料上传权限");
    if (stars < 0 || stars > 10)
        return QStringLiteral("自评星级错误");
    auto childOf = [](qint64 parent, qint64 child) {
        for (const QJsonValue& v : seed::districts(int(parent))) {
            if (v.toObject().value("id").toString() == QString::number(child))
                return true;
        }
        return false;
    };
    const bool regionOk = province == 0 ? city == 0 && dist == 0
                                        : childOf(0, province) && (city == 0 ? dist == 0 : childOf(province, city))
            && (dist == 0 || childOf(city, dist));
    if (!regionOk)
        return QStringLiteral("适用地区错误");

    const QString md5 = body.value("file_md5").toString();
    if (!isMd5(md5))
        return QStringLiteral("文件MD5错误");
    StateStore::Upload up;
    const QString uploadurl = body.value("uploadurl").toString();
    if (!server.store().findUpload(uploadurl, &up) || up.uid != uid)
        return QStringLiteral("上传文件不存在");
    if (!up.complete)
        return QStringLiteral("文件未上传完成");
    if (up.md5 != md5)
        return QStringLiteral("文件MD5与上传文件不符");
    if (up.total != softsize)
        return QStringLiteral("文件大小与上传文件不符");
    static const QRegularExpression saveAs("_(\\d+)_5_tool\\.([^/]*)$");
    const auto m = saveAs.match(uploadurl);
    if (!m.hasMatch() || m.captured(1).toLongLong() != id)
        return QStringLiteral("参数_id与上传文件不符");
    const QString filename = body.value("filename").toString();
    if (filename.isEmpty())
        return QStringLiteral("文件名不能为空");
    if (filename.contains('.') && filename.section('.', -1) != m.captured(2))
        return QStringLiteral("文件名后缀与上传文件不符");
    if (filename.section('.', -1) == "zip" && !body.value("intro").toString().isEmpty())
        return QStringLiteral("压缩包不提交文本内容");
    if (server.store().isSubmittedMd5(md5))
        return QStringLiteral("该资源已提交，请勿重复提交");
    return {};
}

void assetSubmit(DevsiteServer& server, const httplib::Request& req, httplib::Response& res)
{
    const int uid = server.requireSession(req, res);
    if (!uid)
        return;
    bool good = false;
    const QJsonObject body = parseObject(req.body, &good);
    const QString problem = good ? checkSubmission(server, uid, body) : QStringLiteral("请求数据格式错误");
    if (!problem.isEmpty()) {
        sendJson(res, refused(problem));
        return;
    }

    const int stage = body.value("xueduanid").toInt(), subject = body.value("chid").toInt();
    QString catpath, namePath;
    seed::leafChapter(stage, subject, body.value("catid").toInt(), &catpath, &namePath);
    const QString itemid = QString::number(server.store().nextAssetId());
    const QJsonArray types = body.value("typeid").toArray();
    const QJsonObject row { { "itemid", itemid },
                            { "uid", uid },
                            { "flag", QString::number(body.value("flag").toInt()) },
                            { "subject", body.value("subject").toString() },
                            { "dateline", QString::number(QDateTime::currentSecsSinceEpoch()) },
                            { "typeidroot", QString::number(body.value("typeidroot").toArray().at(0).toInt()) },
                            { "typeid", QString::number(types.at(0).toInt()) },
                            { "typeidsTotal", QString::number(types.size()) },
                            { "xueduanid", QString::number(stage) },
                            { "chid", QString::number(subject) },
                            { "catid", QString::number(body.value("catid").toInt()) },
                            { "catpath", catpath },
                            { "categories", namePath },
                            { "stars", QString::number(body.value("stars").toInt()) },
                            { "copyrighttype", QString::number(body.value("copyrighttype").toInt()) },
                            { "fitprovince", QString::number(body.value("fitprovince").toInt()) },
                            { "fitcity", QString::number(body.value("fitcity").toInt()) },
                            { "fitdist", QString::number(body.value("fitdist").toInt()) },
                            { "intro", body.value("intro").toString().left(2000) },
                            { "file_md5", body.value("file_md5").toString() },
                            { "uploadurl", body.value("uploadurl").toString() } };
    server.store().insertAsset(row);
    server.store().addSubmission(uid, body.value("file_md5").toString(), body);
    server.store().addKnownMd5(body.value("file_md5").toString(), itemid, body.value("subject").toString());
    QJsonObject reply = ok(QJsonObject { { "itemid", itemid } });
    reply.insert("msg", QStringLiteral("提交成功"));
    sendJson(res, reply);
}

void district(const httplib::Request& req, httplib::Response& res)
{
    int upid = 0;
    if (!intParam(req, "upid", &upid) || upid < 0) {
        sendJson(res, refused(QStringLiteral("参数upid错误")));
        return;
    }
    sendJson(res, ok(seed::districts(upid)));
}

bool stageSubject(const httplib::Request& req, httplib::Response& res, int* stage, int* subject)
{
    if (!intParam(req, "stage", stage) || !intParam(req, "subject_id", subject) || *stage < 1 || *subject < 1) {
        sendJson(res, refused(QStringLiteral("参数stage或subject_id错误")));
        return false;
    }
    return true;
}

void bookVersions(const httplib::Request& req, httplib::Response& res)
{
    int stage = 0, subject = 0;
    if (!stageSubject(req, res, &stage, &subject))
        return;
    QJsonObject data;
    for (const seed::Version& v : seed::versions(stage, subject)) {
        data.insert(QString::number(v.id),
                    QJsonObject { { "bookversionid", QString::number(v.id) }, { "bookversionname", v.name } });
    }
    sendJson(res, ok(data));
}

void chapterTree(const httplib::Request& req, httplib::Response& res)
{
    int stage = 0, subject = 0;
    if (!stageSubject(req, res, &stage, &subject))
        return;
    QJsonArray data;
    for (const seed::Chapter& c : seed::chapters(stage, subject)) {
        data.append(QJsonObject { { "catid", QString::number(c.catid) },
                                  { "catname", c.name },
                                  { "upid", QString::number(c.upid) },
                                  { "displayorder", QString::number(c.displayorder) },
                                  { "child", c.hasChildren ? "1" : "0" },
                                  { "bookversionid", QString::number(c.bookversionid) } });
    }
    sendJson(res, ok(data));
}

void allVersions(const httplib::Request&, httplib::Response& res)
{
    QJsonArray data;
    for (int stage = 1; stage <= 3; ++stage) {
        for (const QJsonValue& s : seed::vtup().value("chid").toObject().value(QString::number(stage)).toArray()) {
            const int subject = s.toObject().value("subjectId").toString().toInt();
            for (const seed::Version& v : seed::versions(stage, subject))
                data.append(QJsonObject { { "stage", QString::number(stage) },
                                          { "subject_id", QString::number(subject) },
                                          { "bookversionid", QString::number(v.id) },
                                          { "bookversionname", v.name } });
        }
    }
    sendJson(res, ok(data));
}

} // namespace

void registerSiteApi(DevsiteServer& server)
{
    const auto https = DevsiteServer::Listener::Https;
    auto withServer = [&server](void (*fn)(DevsiteServer&, const httplib::Request&, httplib::Response&)) {
        return [&server, fn](const httplib::Request& req, httplib::Response& res) { fn(server, req, res); };
    };
    server.route(https, "GET", "/toolupload/asset", withServer(listAssets));
    server.route(https, "GET", "/toolupload/asset/detail", withServer(assetDetail));
    server.route(https, "GET", "/toolupload/asset/subset-check", withServer(subsetCheck));
    server.route(https, "POST", "/toolupload/asset/checking-intro", withServer(checkingIntro));
    server.route(https, "POST", "/toolupload/asset/asset-submit", withServer(assetSubmit));
    // Reference lists need no session.
    server.route(https, "GET", "/toolupload/district", district);
    server.route(https, "GET", "/toolupload/versions/version", bookVersions);
    server.route(https, "GET", "/toolupload/versions/asset-versions", chapterTree);
    server.route(https, "GET", "/toolupload/versions", allVersions);
}
