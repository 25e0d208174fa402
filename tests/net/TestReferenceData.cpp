#include "app/Notifier.h"
#include "net/Endpoints.h"
#include "net/MyDAO.h"
#include "support/DevsiteFixture.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QUrlQuery>
#include <QtTest>

namespace {

struct RecordingNotifier : Notifier
{
    QStringList boxes; // "title|text"
    void alert(const QString& text, const QString& title) override { boxes << title + "|" + text; }
    int confirm(const QString& text, const QString& title) override
    {
        boxes << title + "|" + text;
        return 0;
    }
};

// A small resource file in the shape the website publishes.
const char kVtup[] = R"({
  "typeidroot": [{"id": 1, "name": "课件"}, {"id": "2", "name": "试卷"}],
  "typeid": {
    "1": {"11": "教学课件", "12": "微课"},
    "2": {"21": "单元测试", "12": "期中试卷"},
    "9": {"91": "无名类型"}
  },
  "copyrighttype": {"1": "原创"},
  "chid": {"2": [{"subjectId": "21", "subjectName": "语文"}, {"subjectId": 22, "subjectName": "数学"}]}
})";
const char kRule[] = R"({"xd": [{"id": 2, "keywords": ["初一", "七年级"]}]})";

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

} // namespace

class TestReferenceData : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void fallbackFiles_data();
    void fallbackFiles();
    void typeTables();
    void failedDistrictCachedEmpty();
    void fromWebsite();
    void invalidSessionReplyDoesNotHang();
    void silentServerFallsBackAfterLimit();
    void districtCache();

private:
    QTemporaryDir appDir;
    RecordingNotifier notifier;
    DevsiteFixture site;
};

void TestReferenceData::initTestCase()
{
    QVERIFY(appDir.isValid());
    writeFile(appDir.filePath("resources/vtup.json"), kVtup);
    writeFile(appDir.filePath("resources/rule.json"), kRule);
    qputenv("VANTREL_APPDIR", appDir.path().toUtf8());
    MyDAO::setNotifier(&notifier);
    // Hosts point at a closed port (test runner): construction loads the shipped files.
    MyDAO::instance();
    QCOMPARE(notifier.boxes, QStringList { "网络异常|网络请求失败，稍后再试,code=003" });
    QCOMPARE(MyDAO::instance()->resourceObject().value("copyrighttype").toObject().value("1").toString(),
             QString("原创"));
    QCOMPARE(MyDAO::instance()->ruleObject(), QJsonDocument::fromJson(kRule).object());
}

void TestReferenceData::fallbackFiles_data()
{
    QTest::addColumn<QByteArray>("vtup"); // empty: file missing
    QTest::addColumn<QByteArray>("rule"); // empty: file missing
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<bool>("hasResource");
    QTest::addColumn<bool>("hasRule");

    const QStringList network { "网络异常|网络请求失败，稍后再试,code=003" };
    QTest::newRow("both shipped") << QByteArray(kVtup) << QByteArray(kRule) << network << true << true;
    QTest::newRow("no vtup.json") << QByteArray() << QByteArray(kRule) << QStringList { "出错了！|vtup.json文件丢失" }
                                  << false << false;
    QTest::newRow("no rule.json") << QByteArray(kVtup) << QByteArray() << QStringList() << true << false;
    QTest::newRow("vtup.json broken") << QByteArray("{\"chid\": [") << QByteArray(kRule) << network << false << true;
}

void TestReferenceData::fallbackFiles()
{
    QFETCH(QByteArray, vtup);
    QFETCH(QByteArray, rule);
    QFETCH(QStringList, boxes);
    QFETCH(bool, hasResource);
    QFETCH(bool, hasRule);

    QFile::remove(appDir.filePath("resources/vtup.json"));
    QFile::remove(appDir.filePath("resources/rule.json"));
    if (!vtup.isEmpty())
        writeFile(appDir.filePath("resources/vtup.json"), vtup);
    if (!rule.isEmpty())
        writeFile(appDir.filePath("resources/rule.json"), rule);
    notifier.boxes.clear();

    MyDAO* dao = MyDAO::instance();
    dao->parseLocalJSON();

    QCOMPARE(notifier.boxes, boxes);
    QCOMPARE(!dao->resourceObject().isEmpty(), hasResource);
    QCOMPARE(!dao->assetTypes().isEmpty(), hasResource);
    QCOMPARE(!dao->ruleObject().isEmpty(), hasRule);

    // The shipped files are never rewritten.
    if (!vtup.isEmpty()) {
        QFile f(appDir.filePath("resources/vtup.json"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), vtup);
    }
}

void TestReferenceData::typeTables()
{
    writeFile(appDir.filePath("resources/vtup.json"), kVtup);
    writeFile(appDir.filePath("resources/rule.json"), kRule);
    MyDAO* dao = MyDAO::instance();
    dao->parseLocalJSON();

    // A numeric root id is taken as its text.
    QCOMPARE(dao->typeRootNames().value("1"), QString("课件"));
    QCOMPARE(dao->typeRootNames().value("2"), QString("试卷"));
    const auto& types = dao->assetTypes();
    QCOMPARE(types.size(), 4);
    QCOMPARE(types.value("11").typeName, QString("教学课件"));
    QCOMPARE(types.value("11").rootId, QString("1"));
    QCOMPARE(types.value("11").rootName, QString("课件"));
    // Type 12 appears under two roots: the later root's entry wins.
    QCOMPARE(types.value("12").typeName, QString("期中试卷"));
    QCOMPARE(types.value("12").rootName, QString("试卷"));
    // A root missing from "typeidroot" gives an empty root name.
    QCOMPARE(types.value("91").rootId, QString("9"));
    QVERIFY(types.value("91").rootName.isEmpty());
}

void TestReferenceData::failedDistrictCachedEmpty()
{
    MyDAO* dao = MyDAO::instance();
    bool delivered = false;
    QJsonArray got { 1 };
    dao->getDistrictNetData("city", 777, [&](QJsonArray data) {
        delivered = true;
        got = data;
    });
    QVERIFY(QTest::qWaitFor([&] { return delivered; }, 20000));
    QVERIFY(got.isEmpty());

    // The empty list stays: the second answer comes at once, before the call returns.
    delivered = false;
    got = QJsonArray { 1 };
    dao->getDistrictNetData("city", 777, [&](QJsonArray data) {
        delivered = true;
        got = data;
    });
    QVERIFY(delivered);
    QVERIFY(got.isEmpty());
}

void TestReferenceData::fromWebsite()
{
    if (!site.start())
        QSKIP("devsite did not start");
    site.exportEnv();
    QFile::remove(appDir.filePath("resources/vtup.json"));
    QFile::remove(appDir.filePath("resources/rule.json"));
    notifier.boxes.clear();

    MyDAO* dao = MyDAO::instance();
    dao->parseLocalJSON();

    QCOMPARE(notifier.boxes, QStringList());
    QVERIFY(dao->resourceObject().contains("chid"));
    QVERIFY(!dao->assetTypes().isEmpty());
    QVERIFY(dao->ruleObject().contains("xd"));
    const QJsonArray vtup = site.requests("/nsoft/toolupload/resource/vtup.json");
    const QJsonArray rule = site.requests("/nsoft/toolupload/resource/rule.json");
    QCOMPARE(vtup.size(), 1);
    QCOMPARE(rule.size(), 1);
    // Both files carry the same cache-busting "v".
    const QString v = vtup.at(0).toObject().value("query").toObject().value("v").toString();
    QVERIFY(v.toLongLong() > 1600000000);
    QCOMPARE(rule.at(0).toObject().value("query").toObject().value("v").toString(), v);
    // Nothing was written beside the program.
    QVERIFY(!QFile::exists(appDir.filePath("resources/vtup.json")));
}

void TestReferenceData::invalidSessionReplyDoesNotHang()
{
    if (!site.isRunning())
        QSKIP("devsite did not start");
    writeFile(appDir.filePath("resources/vtup.json"), kVtup);
    writeFile(appDir.filePath("resources/rule.json"), kRule);
    QVERIFY(site.fault(
        { { "path", "/nsoft/toolupload/resource/vtup.json" }, { "count", 1 }, { "session_invalid", true } }));
    notifier.boxes.clear();

    MyDAO* dao = MyDAO::instance();
    dao->parseLocalJSON();

    // The start-up wait ends and the shipped file stands in.
    QCOMPARE(notifier.boxes, QStringList { "网络异常|网络请求失败，稍后再试,code=003" });
    QCOMPARE(dao->resourceObject(), QJsonDocument::fromJson(kVtup).object());
    QVERIFY(dao->ruleObject().contains("xd"));
}

void TestReferenceData::silentServerFallsBackAfterLimit()
{
    if (!site.isRunning())
        QSKIP("devsite did not start");
    QVERIFY(site.reset());
    QVERIFY(site.fault({ { "path", "/nsoft/toolupload/resource/rule.json" }, { "count", 1 }, { "hang", true } }));
    notifier.boxes.clear();

    MyDAO* dao = MyDAO::instance();
    const int limit = MyDAO::referenceFetchLimitMs();
    MyDAO::setReferenceFetchLimitMs(300);
    dao->parseLocalJSON();
    MyDAO::setReferenceFetchLimitMs(limit);

    QVERIFY(dao->resourceObject().contains("chid")); // from the website
    QCOMPARE(dao->ruleObject(), QJsonDocument::fromJson(kRule).object());
    QCOMPARE(notifier.boxes, QStringList { "网络异常|网络请求失败，稍后再试,code=003" });

    // The reply released late changes nothing any more.
    const QJsonObject rule = dao->ruleObject();
    QVERIFY(site.reset());
    QTest::qWait(300);
    QCOMPARE(dao->ruleObject(), rule);
}

void TestReferenceData::districtCache()
{
    if (!site.isRunning())
        QSKIP("devsite did not start");
    MyDAO* dao = MyDAO::instance();
    // The signal passes the list by reference, so it is recorded by hand.
    QList<QPair<QString, QJsonArray>> emitted;
    QObject guard;
    connect(dao, &MyDAO::s_set_district, &guard, [&](QString tag, QJsonArray& data) { emitted.append({ tag, data }); });

    dao->getDistrictNetData("province", 0);
    QVERIFY(QTest::qWaitFor([&] { return !emitted.isEmpty(); }, 20000));
    QCOMPARE(emitted.at(0).first, QString("province"));
    const QJsonArray provinces = emitted.at(0).second;
    QVERIFY(provinces.size() >= 30);
    const QJsonObject first = provinces.at(0).toObject();
    QVERIFY(first.value("id").isString());
    QVERIFY(!first.value("name").toString().isEmpty());

    const int upid = first.value("id").toString().toInt();
    QJsonArray cities;
    bool delivered = false;
    dao->getDistrictNetData("city", upid, [&](QJsonArray data) {
        cities = data;
        delivered = true;
    });
    QVERIFY(QTest::qWaitFor([&] { return delivered; }, 20000));
    QCOMPARE(site.requests("/toolupload/district").size(), 2);

    // Same tag and parent again: answered from memory, no request.
    QJsonArray again;
    dao->getDistrictNetData("city", upid, [&](QJsonArray data) { again = data; });
    QCOMPARE(again, cities);
    emitted.clear();
    dao->getDistrictNetData("province", 0);
    QCOMPARE(emitted.size(), 1);
    QCOMPARE(emitted.at(0).second, provinces);
    // A different tag is a different entry.
    delivered = false;
    dao->getDistrictNetData("county", upid, [&](QJsonArray) { delivered = true; });
    QVERIFY(QTest::qWaitFor([&] { return delivered; }, 20000));
    const QJsonArray log = site.requests("/toolupload/district");
    QCOMPARE(log.size(), 3);
    QCOMPARE(log.at(2).toObject().value("query").toObject().value("upid").toString(), QString::number(upid));
}

QTEST_GUILESS_MAIN(TestReferenceData)
#include "TestReferenceData.moc"
