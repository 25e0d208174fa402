// Website API of the stand-in site: sessions, the author's lists, detail, duplicate checks,
// submission checks, reference lists, commission records and static files.

#include "SyncHttp.h"
#include "UploadJob.h"
#include "support/DevsiteFixture.h"
#include "support/TestPaths.h"

#include <QFile>
#include <QSet>
#include <QTemporaryFile>
#include <QUrlQuery>
#include <QtTest>

using namespace devsitetest;

class TestDevsiteSite : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sessionRequired_data();
    void sessionRequired();
    void listsPageByPage_data();
    void listsPageByPage();
    void filterAndSearch();
    void detail();
    void subsetCheck();
    void checkingIntro();
    void districts();
    void versionsAndChapters();
    void submitAfterCompleteUpload();
    void submitRefusals_data();
    void submitRefusals();
    void commission();
    void staticFiles();
    void downloadOfPublishedExe();
    void sessionsSurviveRestart();

private:
    QJsonObject get(const QString& path, const QUrlQuery& query, const QString& token);
    QJsonObject get(const QString& path, const QUrlQuery& query = {}) { return get(path, query, teacher); }
    QJsonObject post(const QString& path, const QJsonObject& body, const QString& token);
    QJsonObject listPage(const QString& flag, int page, const QString& search = {}, int stage = 0);
    QJsonObject submissionBody(const UploadJob& job);

    DevsiteFixture site;
    QString teacher; // session token of demo_teacher
    QString solo;
};

void TestDevsiteSite::initTestCase()
{
    QVERIFY(site.start());
    teacher = site.loginToken();
    solo = site.loginToken("demo_solo");
    QVERIFY(!teacher.isEmpty());
    QVERIFY(!solo.isEmpty());
}

QJsonObject TestDevsiteSite::get(const QString& path, const QUrlQuery& query, const QString& token)
{
    QUrlQuery q = query;
    q.addQueryItem("token", token);
    SyncHttp http(site.caFile());
    const SyncReply r = http.get(site.httpsBase() + path + "?" + q.toString(QUrl::FullyEncoded));
    if (r.status != 200)
        qWarning("GET %s answered %d", qPrintable(path), r.status);
    return r.json();
}

QJsonObject TestDevsiteSite::post(const QString& path, const QJsonObject& body, const QString& token)
{
    SyncHttp http(site.caFile());
    const SyncReply r = http.postJson(site.httpsBase() + path + "?token=" + token, body);
    if (r.status != 200)
        qWarning("POST %s answered %d", qPrintable(path), r.status);
    return r.json();
}

QJsonObject TestDevsiteSite::listPage(const QString& flag, int page, const QString& search, int stage)
{
    QUrlQuery q;
    q.addQueryItem("flag", flag);
    q.addQueryItem("searchCenter", search);
    q.addQueryItem("searchType", search.isEmpty() ? "0" : "1");
    q.addQueryItem("stage", QString::number(stage));
    q.addQueryItem("subject_id", "0");
    q.addQueryItem("page", QString::number(page));
    return get("/toolupload/asset", q);
}

void TestDevsiteSite::sessionRequired_data()
{
    QTest::addColumn<QString>("method");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("query");
    QTest::newRow("lists") << "GET"
                           << "/toolupload/asset"
                           << "flag=5,6,15&page=1";
    QTest::newRow("detail") << "GET"
                            << "/toolupload/asset/detail"
                            << "itemid=180001";
    QTest::newRow("subset-check") << "GET"
                                  << "/toolupload/asset/subset-check"
                                  << "file_md5=0123456789abcdef0123456789abcdef";
    QTest::newRow("checking-intro") << "POST"
                                    << "/toolupload/asset/checking-intro"
                                    << "";
    QTest::newRow("asset-submit") << "POST"
                                  << "/toolupload/asset/asset-submit"
                                  << "";
    QTest::newRow("gains-info") << "GET"
                                << "/toolupload/down-gains/gains-info"
                                << "start_time=2024-01-01&end_time=2024-01-02&page=1&status=1&gainsType=";
    QTest::newRow("gains-type") << "GET"
                                << "/toolupload/down-gains/gains-type"
                                << "";
}

void TestDevsiteSite::sessionRequired()
{
    QFETCH(QString, method);
    QFETCH(QString, path);
    QFETCH(QString, query);

    const QString token = site.loginToken("demo_solo");
    auto call = [&](const QString& t) {
        if (method == "GET")
            return get(path, QUrlQuery(query), t);
        return post(path, QJsonObject { { "intro", "x" }, { "stage", 1 }, { "subject_id", 1 }, { "file_md5", "" } }, t);
    };
    const QJsonObject live = call(token);
    QVERIFY2(live.value("code").toInt() != 400, qPrintable(QJsonDocument(live).toJson()));
    for (const QString& bad : { QString(), QString("0123456789abcdef0123456789abcdef01234567") }) {
        const QJsonObject r = call(bad);
        QCOMPARE(r.value("code").toInt(), 400);
        QVERIFY(!r.value("msg").toString().isEmpty());
    }
    QVERIFY(site.expireTokens());
    QCOMPARE(call(token).value("code").toInt(), 400);
    // Tokens issued afterwards are fresh again.
    teacher = site.loginToken();
    solo = site.loginToken("demo_solo");
    QVERIFY(call(solo).value("code").toInt() != 400);
}

void TestDevsiteSite::listsPageByPage_data()
{
    QTest::addColumn<QString>("flag");
    QTest::addColumn<int>("minPages");
    QTest::newRow("awaiting review") << "5,6,15" << 2;
    QTest::newRow("reviewed") << "7,8,17" << 3;
    QTest::newRow("recycle bin") << "3,4,13" << 3;
}

void TestDevsiteSite::listsPageByPage()
{
    QFETCH(QString, flag);
    QFETCH(int, minPages);
    const QStringList flags = flag.split(',');

    const QJsonObject first = listPage(flag, 1);
    QCOMPARE(first.value("code"), QJsonValue(0));
    const QJsonObject meta = first.value("_meta").toObject();
    const int total = meta.value("totalCount").toInt();
    const int pages = meta.value("pageCount").toInt();
    QCOMPARE(meta.value("perPage").toInt(), 20);
    QVERIFY(pages >= minPages);
    QCOMPARE(pages, (total + 19) / 20);

    QSet<QString> seen;
    int reasons = 0, noReason = 0, html = 0;
    for (int page = 1; page <= pages; ++page) {
        const QJsonObject reply = listPage(flag, page);
        QCOMPARE(reply.value("_meta").toObject().value("currentPage").toInt(), page);
        const QJsonArray rows = reply.value("data").toArray();
        QCOMPARE(rows.size(), page < pages ? 20 : total - 20 * (pages - 1));
        for (const QJsonValue& v : rows) {
            const QJsonObject row = v.toObject();
            QVERIFY(flags.contains(row.value("flag").toString()));
            for (const char* key : { "itemid", "subject", "dateline", "typeidroot", "typeidsTotal", "chid", "catid" })
                QVERIFY2(row.value(key).isString() && !row.value(key).toString().isEmpty(), key);
            if (flag != "5,6,15")
                QVERIFY(row.value("editline").toString().toLongLong() >= row.value("dateline").toString().toLongLong());
            if (flag == "7,8,17")
                QVERIFY(!row.value(row.value("flag") == "7" ? "jinpoint" : "stars").toString().isEmpty());
            QVERIFY2(!seen.contains(row.value("itemid").toString()), "a row on two pages");
            seen.insert(row.value("itemid").toString());
            if (row.value("editremark").toString().isEmpty())
                ++noReason;
            else
                ++reasons;
            html += row.value("subject").toString().contains('<') ? 1 : 0;
        }
    }
    QCOMPARE(seen.size(), total);
    QVERIFY(html > 0);
    if (flag == "3,4,13") {
        QVERIFY(reasons > 0);
        QVERIFY(noReason > 0);
    }
    // Past the last page the site answers the last page.
    QCOMPARE(listPage(flag, pages + 5).value("_meta").toObject().value("currentPage").toInt(), pages);
    QCOMPARE(get("/toolupload/asset", QUrlQuery("flag=9,10&page=1")).value("code").toInt(), 1);
}

void TestDevsiteSite::filterAndSearch()
{
    const QJsonObject all = listPage("7,8,17", 1);
    const QJsonObject juniors = listPage("7,8,17", 1, {}, 2);
    QVERIFY(juniors.value("_meta").toObject().value("totalCount").toInt()
            < all.value("_meta").toObject().value("totalCount").toInt());
    for (const QJsonValue& v : juniors.value("data").toArray())
        QCOMPARE(v.toObject().value("xueduanid").toString(), QString("2"));

    const QJsonObject found = listPage("7,8,17", 1, "数学");
    const int hits = found.value("_meta").toObject().value("totalCount").toInt();
    QVERIFY(hits > 0);
    for (const QJsonValue& v : found.value("data").toArray())
        QVERIFY(v.toObject().value("subject").toString().contains("数学"));
    // searchType 0 applies no search, whatever searchCenter holds.
    QUrlQuery q("flag=7,8,17&searchType=0&page=1");
    q.addQueryItem("searchCenter", "数学");
    QCOMPARE(get("/toolupload/asset", q).value("_meta").toObject().value("totalCount"),
             all.value("_meta").toObject().value("totalCount"));
    QCOMPARE(listPage("7,8,17", 1, "没有这样的标题").value("data").toArray().size(), 0);
}

void TestDevsiteSite::detail()
{
    const QJsonObject row = listPage("7,8,17", 1).value("data").toArray().at(0).toObject();
    const QJsonObject reply = get("/toolupload/asset/detail", QUrlQuery("itemid=" + row.value("itemid").toString()));
    QCOMPARE(reply.value("code"), QJsonValue(0));
    const QJsonObject d = reply.value("data").toObject();
    QVERIFY(!d.value("title").toString().isEmpty());
    QVERIFY(!d.value("title").toString().contains('<'));
    for (const char* key : { "flag_name", "stage", "subject_name", "categories", "copyright" })
        QVERIFY2(!d.value(key).toString().isEmpty(), key);

    const QJsonObject missing = get("/toolupload/asset/detail", QUrlQuery("itemid=99999999"));
    QCOMPARE(missing.value("code").toInt(), 1);
    QVERIFY(!missing.value("msg").toString().isEmpty());
    // Another author's resource is not shown.
    QCOMPARE(get("/toolupload/asset/detail", QUrlQuery("itemid=" + row.value("itemid").toString()), solo)
                 .value("code")
                 .toInt(),
             1);
}

void TestDevsiteSite::subsetCheck()
{
    const QString sample = QString::fromLatin1(md5Hex(QByteArray("devsite sample: 服务器上已有的资源\n")));
    QVERIFY(!get("/toolupload/asset/subset-check", QUrlQuery("file_md5=" + sample)).value("data").isNull());
    const QString seeded = QString::fromLatin1(md5Hex("devsite-seed-180001"));
    QVERIFY(get("/toolupload/asset/subset-check", QUrlQuery("file_md5=" + seeded)).value("data").isObject());

    const QJsonObject unknown
        = get("/toolupload/asset/subset-check", QUrlQuery("file_md5=" + QString::fromLatin1(md5Hex("fresh file"))));
    QVERIFY(unknown.contains("data"));
    QVERIFY(unknown.value("data").isNull());

    QVERIFY(
        !site.admin("POST", "/__devsite/known-md5", { { "md5", QString::fromLatin1(md5Hex("fresh file")) } }).isNull());
    QVERIFY(!get("/toolupload/asset/subset-check", QUrlQuery("file_md5=" + QString::fromLatin1(md5Hex("fresh file"))))
                 .value("data")
                 .isNull());
    QCOMPARE(get("/toolupload/asset/subset-check", QUrlQuery("file_md5=xyz")).value("code").toInt(), 1);
}

void TestDevsiteSite::checkingIntro()
{
    auto check = [&](const QString& intro) {
        return post("/toolupload/asset/checking-intro",
                    { { "intro", intro }, { "stage", 2 }, { "subject_id", 2 }, { "file_md5", "" } }, teacher);
    };
    // A run of a seeded text, broken by other white space and padded with text of its own.
    const QJsonObject hit = check("导入部分：\n通过观察、比较和归纳，让学生 掌握有理数加法法则，然后练习。");
    QCOMPARE(hit.value("code"), QJsonValue(0));
    const QJsonArray hits = hit.value("data").toArray();
    QVERIFY(hits.size() >= 1);
    for (const QJsonValue& v : hits)
        QVERIFY(!v.toObject().value("title").toString().isEmpty());

    const QJsonObject none = check("完全不同的内容，与任何已有资料都没有重合的地方。");
    QCOMPARE(none.value("code"), QJsonValue(0));
    QVERIFY(none.value("data").isArray());
    QCOMPARE(none.value("data").toArray().size(), 0);

    QCOMPARE(post("/toolupload/asset/checking-intro", { { "intro", 5 } }, teacher).value("code").toInt(), 1);
}

void TestDevsiteSite::districts()
{
    const QJsonArray provinces = get("/toolupload/district", QUrlQuery("upid=0")).value("data").toArray();
    QCOMPARE(provinces.size(), 34);
    QSet<QString> names;
    for (const QJsonValue& v : provinces) {
        QVERIFY(v.toObject().value("id").isString());
        names.insert(v.toObject().value("name").toString());
    }
    for (const char* name : { "广东省", "北京市", "内蒙古自治区", "新疆维吾尔自治区", "香港特别行政区", "台湾省" })
        QVERIFY2(names.contains(QString::fromUtf8(name)), name);

    int withCounties = 0;
    for (const QJsonValue& p : provinces) {
        const QString id = p.toObject().value("id").toString();
        for (const QJsonValue& c : get("/toolupload/district", QUrlQuery("upid=" + id)).value("data").toArray()) {
            const QString cid = c.toObject().value("id").toString();
            withCounties
                += get("/toolupload/district", QUrlQuery("upid=" + cid)).value("data").toArray().isEmpty() ? 0 : 1;
        }
    }
    QVERIFY(withCounties >= 5);
    // Reference lists need no session.
    QCOMPARE(get("/toolupload/district", QUrlQuery("upid=44"), QString()).value("data").toArray().size(), 7);
    QCOMPARE(get("/toolupload/district", QUrlQuery("upid=abc")).value("code").toInt(), 1);
}

void TestDevsiteSite::versionsAndChapters()
{
    const QJsonObject versions = get("/toolupload/versions/version", QUrlQuery("stage=2&subject_id=2"));
    QCOMPARE(versions.value("code"), QJsonValue(0));
    QStringList versionNames;
    for (const QJsonValue& v : versions.value("data").toObject())
        versionNames << v.toObject().value("bookversionname").toString();
    QVERIFY(versionNames.contains("人教版"));

    const QJsonArray tree
        = get("/toolupload/versions/asset-versions", QUrlQuery("stage=2&subject_id=2")).value("data").toArray();
    QHash<QString, QJsonObject> byId;
    QHash<QString, QList<QJsonObject>> kids;
    for (const QJsonValue& v : tree) {
        const QJsonObject c = v.toObject();
        for (const char* key : { "catid", "catname", "upid", "displayorder", "child", "bookversionid" })
            QVERIFY2(c.value(key).isString(), key);
        byId.insert(c.value("catid").toString(), c);
        kids[c.value("upid").toString()].append(c);
    }
    QCOMPARE(kids.value("0").size(), 1); // one top entry
    int depth = 0, ties = 0, unsortedGroups = 0, versioned = 0;
    for (const QJsonObject& c : byId) {
        QCOMPARE(c.value("child") == "0", kids.value(c.value("catid").toString()).isEmpty());
        if (c.value("upid") != "0")
            QVERIFY(byId.contains(c.value("upid").toString()));
        int d = 0;
        for (QJsonObject up = c; up.value("upid") != "0"; up = byId.value(up.value("upid").toString()))
            ++d;
        depth = qMax(depth, d);
        versioned += c.value("bookversionid") != "0" ? 1 : 0;
    }
    for (const QList<QJsonObject>& group : kids) {
        QList<int> orders;
        for (const QJsonObject& c : group)
            orders << c.value("displayorder").toString().toInt();
        ties += QSet<int>(orders.begin(), orders.end()).size() < orders.size() ? 1 : 0;
        unsortedGroups += std::is_sorted(orders.begin(), orders.end()) ? 0 : 1;
    }
    QVERIFY(depth >= 4);
    QVERIFY(ties > 0);
    QVERIFY(unsortedGroups > 0); // a client that does not sort shows the wrong order
    QVERIFY(versioned > 0 && versioned < byId.size());
    QCOMPARE(get("/toolupload/versions/asset-versions", QUrlQuery("stage=0&subject_id=2")).value("code").toInt(), 1);
}

QJsonObject TestDevsiteSite::submissionBody(const UploadJob& job)
{
    // 初中数学, 人教版 七年级上册 第一章 1.1: the first leaf of the first version.
    const QJsonArray tree
        = get("/toolupload/versions/asset-versions", QUrlQuery("stage=2&subject_id=2")).value("data").toArray();
    QString leaf, version;
    QHash<QString, QJsonObject> byId;
    for (const QJsonValue& v : tree)
        byId.insert(v.toObject().value("catid").toString(), v.toObject());
    for (const QJsonValue& v : tree) {
        if (v.toObject().value("catname") == "1.1 正数和负数")
            leaf = v.toObject().value("catid").toString();
    }
    QStringList path;
    for (QString id = leaf; byId.value(id).value("upid") != "0"; id = byId.value(id).value("upid").toString())
        path.prepend(id);
    return QJsonObject { { "_id", job.fileId },
                         { "catid", leaf.toInt() },
                         { "catpath", path.join(',') },
                         { "xueduanid", 2 },
                         { "chid", 2 },
                         { "copyrighttype", 1 },
                         { "flag", 6 },
                         { "stars", 3 },
                         { "softsize", job.content.size() },
                         { "fitprovince", 44 },
                         { "fitcity", 4401 },
                         { "fitdist", 0 },
                         { "subject", "人教版七年级数学上册1.1 正数和负数教案" },
                         { "filename", "正数和负数." + job.suffix },
                         { "versionid", 1 },
                         { "file_md5", job.md5 },
                         { "uploadurl", job.saveAs() },
                         { "intro", "本节课从生活实例出发认识正数和负数。" },
                         { "typeid", QJsonArray { 401 } },
                         { "typeidroot", QJsonArray { 4 } } };
}

static bool uploadWhole(DevsiteFixture& site, const UploadJob& job)
{
    SyncHttp http;
    const qint64 size = job.content.size();
    for (qint64 first = 0; first < size; first += 1048576) {
        const qint64 last = qMin(first + 1048575, size - 1);
        const int status = http.post(site.uploadBase() + "/upload/", job.content.mid(int(first), int(last - first + 1)),
                                     job.headers(first, last))
                               .status;
        if (status != (last + 1 == size ? 200 : 201))
            return false;
    }
    return true;
}

void TestDevsiteSite::submitAfterCompleteUpload()
{
    UploadJob job(patterned(1500000, 21));
    job.fileId = 31;
    const QJsonObject body = submissionBody(job);
    QVERIFY(!body.value("catpath").toString().isEmpty());

    // Not uploaded yet.
    QCOMPARE(post("/toolupload/asset/asset-submit", body, teacher).value("code").toInt(), 1);
    QVERIFY(uploadWhole(site, job));
    const int before = listPage("5,6,15", 1).value("_meta").toObject().value("totalCount").toInt();
    QVERIFY(get("/toolupload/asset/subset-check", QUrlQuery("file_md5=" + job.md5)).value("data").isNull());

    const QJsonObject accepted = post("/toolupload/asset/asset-submit", body, teacher);
    QCOMPARE(accepted.value("code"), QJsonValue(0));
    QCOMPARE(accepted.value("errcode").toInt(), 0);

    const QJsonArray submissions = site.submissions();
    QCOMPARE(submissions.last().toObject(), body);
    QVERIFY(!get("/toolupload/asset/subset-check", QUrlQuery("file_md5=" + job.md5)).value("data").isNull());
    const QJsonObject pending = listPage("5,6,15", 1);
    QCOMPARE(pending.value("_meta").toObject().value("totalCount").toInt(), before + 1);
    QCOMPARE(pending.value("data").toArray().at(0).toObject().value("subject"), body.value("subject"));

    const QJsonObject again = post("/toolupload/asset/asset-submit", body, teacher);
    QCOMPARE(again.value("code").toInt(), 1);
    QCOMPARE(site.submissions().size(), submissions.size());
}

void TestDevsiteSite::submitRefusals_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QJsonValue>("value"); // undefined: key removed
    QTest::addColumn<QString>("reason");

    QTest::newRow("missing catid") << "catid" << QJsonValue(QJsonValue::Undefined) << "catid";
    QTest::newRow("stage as text") << "xueduanid" << QJsonValue("2") << "xueduanid";
    QTest::newRow("fractional stars") << "stars" << QJsonValue(2.5) << "stars";
    QTest::newRow("typeid not an array") << "typeid" << QJsonValue(401) << "typeid";
    QTest::newRow("empty title") << "subject" << QJsonValue("  ") << "标题";
    QTest::newRow("type under another root") << "typeidroot" << QJsonValue(QJsonArray { 3 }) << "类型";
    QTest::newRow("types and roots differ in length") << "typeid" << QJsonValue(QJsonArray { 401, 402 }) << "类型";
    QTest::newRow("subject not of the stage") << "chid" << QJsonValue(13) << "学科";
    QTest::newRow("stage unknown") << "xueduanid" << QJsonValue(4) << "学段";
    QTest::newRow("chapter not a leaf") << "catid" << QJsonValue(2020001) << "栏目";
    QTest::newRow("catpath of another chapter") << "catpath" << QJsonValue("1,2,3") << "栏目";
    QTest::newRow("version of another subject") << "versionid" << QJsonValue(12) << "版本";
    QTest::newRow("copyright unknown") << "copyrighttype" << QJsonValue(9) << "属性";
    QTest::newRow("class unknown") << "flag" << QJsonValue(7) << "类别";
    QTest::newRow("stars above 10") << "stars" << QJsonValue(11) << "星级";
    QTest::newRow("no region") << "fitprovince" << QJsonValue(-1) << "地区";
    QTest::newRow("city of another province") << "fitcity" << QJsonValue(3205) << "地区";
    QTest::newRow("md5 of another file") << "file_md5" << QJsonValue(QString(32, 'a')) << "MD5";
    QTest::newRow("size of another file") << "softsize" << QJsonValue(1499999) << "大小";
    QTest::newRow("id of another record") << "_id" << QJsonValue(33) << "_id";
    QTest::newRow("upload not stored") << "uploadurl" << QJsonValue("2023/11/14/x.docx") << "上传";
    QTest::newRow("suffix of another file") << "filename" << QJsonValue("正数和负数.pptx") << "后缀";
}

void TestDevsiteSite::submitRefusals()
{
    QFETCH(QString, key);
    QFETCH(QJsonValue, value);
    QFETCH(QString, reason);

    UploadJob job(patterned(1500000, 22));
    job.fileId = 32;
    if (QTest::currentDataTag() == QByteArray("missing catid"))
        QVERIFY(uploadWhole(site, job)); // once for all rows
    QJsonObject body = submissionBody(job);
    if (value.isUndefined())
        body.remove(key);
    else
        body.insert(key, value);
    const QJsonObject r = post("/toolupload/asset/asset-submit", body, teacher);
    QCOMPARE(r.value("code").toInt(), 1);
    QVERIFY2(r.value("msg").toString().contains(reason), qPrintable(r.value("msg").toString()));

    if (QTest::currentDataTag() == QByteArray("suffix of another file")) {
        // Premium class needs a team member; the sound body is then taken.
        body = submissionBody(job);
        body.insert("flag", 5);
        QVERIFY(post("/toolupload/asset/asset-submit", body, solo).value("msg").toString().contains("精品"));
        QCOMPARE(post("/toolupload/asset/asset-submit", body, teacher).value("code"), QJsonValue(0));
    }
}

void TestDevsiteSite::commission()
{
    const QDate today = QDate::currentDate();
    QUrlQuery q;
    q.addQueryItem("start_time", today.addMonths(-2).toString("yyyy-MM-dd"));
    q.addQueryItem("end_time", today.toString("yyyy-MM-dd"));
    q.addQueryItem("page", "1");
    q.addQueryItem("status", "1");
    q.addQueryItem("gainsType", "");
    const QJsonObject first = get("/toolupload/down-gains/gains-info", q);
    QCOMPARE(first.value("code").toInt(), 0);
    const QJsonObject meta = first.value("_meta").toObject();
    QVERIFY(meta.value("pageCount").toInt() >= 2);
    QCOMPARE(first.value("data").toArray().size(), 20);
    for (const QJsonValue& v : first.value("data").toArray()) {
        const QJsonObject r = v.toObject();
        for (const char* key : { "typeidroot", "title", "itemid", "downuser", "gainname", "gaintime", "gainpoint" })
            QVERIFY2(r.value(key).isString() && !r.value(key).toString().isEmpty(), key);
        QVERIFY(r.value("gaintime").toString() >= q.queryItemValue("start_time"));
        QVERIFY(r.value("gainpoint").toString().toDouble() > 0);
    }

    const QJsonObject types = get("/toolupload/down-gains/gains-type");
    QVERIFY(types.value("data").toObject().size() >= 3);
    const QString key = types.value("data").toObject().keys().at(2);
    q.removeQueryItem("gainsType");
    q.addQueryItem("gainsType", key);
    const QJsonObject filtered = get("/toolupload/down-gains/gains-info", q);
    QVERIFY(filtered.value("_meta").toObject().value("totalCount").toInt() < meta.value("totalCount").toInt());
    for (const QJsonValue& v : filtered.value("data").toArray())
        QCOMPARE(v.toObject().value("gainname"), types.value("data").toObject().value(key));

    // The same query gives the same records.
    q.removeQueryItem("gainsType");
    q.addQueryItem("gainsType", "");
    QCOMPARE(get("/toolupload/down-gains/gains-info", q), first);
    // An author without downloads gets an empty page.
    const QJsonObject none = get("/toolupload/down-gains/gains-info", q, solo);
    QCOMPARE(none.value("code").toInt(), 0);
    QCOMPARE(none.value("data").toArray().size(), 0);
    QCOMPARE(none.value("_meta").toObject().value("totalCount").toInt(), 0);
    q.removeQueryItem("start_time");
    q.addQueryItem("start_time", "2024/01/01");
    QCOMPARE(get("/toolupload/down-gains/gains-info", q).value("code").toInt(), 1);
}

void TestDevsiteSite::staticFiles()
{
    SyncHttp http(site.caFile());
    for (const char* name : { "vtup.json", "rule.json" }) {
        QFile shipped(testSourceDir() + "/resources/" + name);
        QVERIFY(shipped.open(QIODevice::ReadOnly));
        const SyncReply r = http.get(site.httpsBase() + "/nsoft/toolupload/resource/" + name + "?v=1&token=");
        QCOMPARE(r.status, 200);
        QCOMPARE(r.body, shipped.readAll());
    }
    const QJsonObject vtup = get("/nsoft/toolupload/resource/vtup.json", QUrlQuery("v=1"), QString());
    bool moral = false;
    for (const QJsonValue& s : vtup.value("chid").toObject().value("2").toArray())
        moral = moral || s.toObject().value("subjectName") == "政治思品(道德与法治)";
    QVERIFY(moral);

    const QJsonObject version = get("/nsoft/toolupload/version.json", QUrlQuery("t=1"), QString());
    QCOMPARE(version.value("code"), QJsonValue(0));
    QCOMPARE(version.value("data").toArray().at(0).toString(), QString("2.28.1.210115"));
    QVERIFY(!site.admin("POST", "/__devsite/publish", { { "version", "2.29.0.210301" } }).isNull());
    QCOMPARE(get("/nsoft/toolupload/version_2.json", QUrlQuery("v=1"), QString()).value("data").toArray().at(0),
             QJsonValue("2.29.0.210301"));
    QVERIFY(!site.admin("POST", "/__devsite/publish", { { "version", "2.28.1.210115" } }).isNull());
}

void TestDevsiteSite::downloadOfPublishedExe()
{
    QTemporaryFile exe;
    QVERIFY(exe.open());
    const QByteArray bytes = patterned(300000, 9);
    exe.write(bytes);
    exe.flush();
    DevsiteFixture other;
    QVERIFY(other.start(QString(), { "--exe", exe.fileName(), "--published-version", "3.0.0.1" }));
    SyncHttp http(other.caFile());
    const SyncReply version = http.get(other.httpsBase() + "/nsoft/toolupload/version.json?v=5");
    QCOMPARE(QJsonDocument::fromJson(version.body).object().value("data").toArray().at(0), QJsonValue("3.0.0.1"));
    const SyncReply r = http.get(other.httpsBase() + "/nsoft/toolupload/3.0.0.1/Vantrel.exe?v=5");
    QCOMPARE(r.status, 200);
    QCOMPARE(r.body, bytes);
    QCOMPARE(http.get(other.httpsBase() + "/nsoft/toolupload/2.28.1.210115/Vantrel.exe?v=5").status, 404);
    QCOMPARE(http.get(other.httpsBase() + "/nsoft/toolupload//Vantrel.exe?v=5").status, 404);
}

void TestDevsiteSite::sessionsSurviveRestart()
{
    const QString token = site.loginToken();
    QVERIFY(site.restart());
    QCOMPARE(get("/toolupload/down-gains/gains-type", {}, token).value("code").toInt(), 0);
    QVERIFY(site.submissions().size() >= 2); // those of the submission tests
}

QTEST_GUILESS_MAIN(TestDevsiteSite)
#include "TestDevsiteSite.moc"
