// The commission page against the local site: the first request, the page total, the date
// spans with a fixed "today", the two tabs and replies that are no record list.
#include "ListTestKit.h"
#include "app/Clock.h"
#include "intake/FileTypes.h"
#include "net/Endpoints.h"
#include "ui/ListBaseTabContent.h"
#include "ui/MyPaginationWidget.h"
#include "ui/MyTichengBody.h"
#include "ui/MyTichengWidget.h"
#include "widgets/ElideOnResize.h"

#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTabBar>

namespace {

const QString kInfo = QStringLiteral("/toolupload/down-gains/gains-info");

QJsonArray points(const QList<QJsonValue>& values)
{
    QJsonArray out;
    for (const QJsonValue& v : values)
        out.append(QJsonObject { { "title", "t" }, { "gainpoint", v } });
    return out;
}

} // namespace

class TestTicheng : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(kit.start()); }
    void init()
    {
        QVERIFY(kit.reset());
        Clock::setNowForTesting(QDateTime());
    }
    void cleanup() { Clock::setNowForTesting(QDateTime()); }

    void firstPageAndTabs()
    {
        Clock::setNowForTesting(QDateTime(QDate::currentDate().addDays(-3), QTime(23, 30)));
        const QDate today = Clock::now().date();
        MyTichengWidget page;
        page.resize(1100, 700);
        page.show();
        MyTichengBody* body = page.body();
        QCOMPARE(body->kind(), 0);
        QVERIFY(kit.waitReplies(body, 2)); // types and records
        QTRY_COMPARE(kit.requestCount(kInfo), 1);
        QCOMPARE(kit.lastQuery(kInfo),
                 items({ { "start_time", today.addDays(-1).toString("yyyy-MM-dd") },
                         { "end_time", today.toString("yyyy-MM-dd") },
                         { "page", "1" },
                         { "status", "1" },
                         { "gainsType", "" } }));
        QVERIFY(kit.site.requests(kInfo).last().toObject().value("target").toString().contains("&gainsType=&"));
        QStringList types;
        for (int i = 0; i < body->typeCombo()->count(); ++i)
            types << body->typeCombo()->itemText(i) + "=" + body->typeCombo()->itemData(i).toString();
        QCOMPARE(types, QStringList({ "全部=", "下载提成=1", "精品奖励=2", "活动奖励=3", "优质资源奖励=4" }));

        // A wider span, then a type: the page stays, the filter changes.
        body->spanTabs()->setCurrentIndex(2);
        QTRY_COMPARE(kit.requestCount(kInfo), 2);
        QVERIFY(kit.waitReplies(body, 3));
        const QJsonObject reply = kit.lastReplyFor(body);
        const QJsonArray records = reply.value("data").toArray();
        QVERIFY2(!records.isEmpty(), "a month of the demo author's commission");
        QCOMPARE(body->rowList()->count(), records.size());
        QCOMPARE(body->countLabel()->text(), MyTichengBody::pageTotalText(records, 0));
        QVERIFY(body->countLabel()->isVisible());
        QWidget* row = body->rowList()->itemWidget(body->rowList()->item(0));
        const QJsonObject first = records.at(0).toObject();
        // Each cell holds its whole text and shows what fits its column, cut with "…"; the
        // time is never cut at the program's font.
        const QStringList full { stripHtml(first.value("title").toString()), first.value("itemid").toString(),
                                 first.value("downuser").toString(),         first.value("gainname").toString(),
                                 first.value("gaintime").toString(),         first.value("gainpoint").toString() };
        QList<QLabel*> cells;
        for (int i = 1; i < row->layout()->count(); ++i) {
            if (auto* label = qobject_cast<QLabel*>(row->layout()->itemAt(i)->widget()))
                cells << label;
        }
        QCOMPARE(cells.size(), full.size());
        for (int i = 0; i < cells.size(); ++i) {
            QCOMPARE(cells.at(i)->property("elideFullText").toString(), full.at(i));
            QTRY_COMPARE(cells.at(i)->text(), ElideOnResize::elided(cells.at(i), full.at(i)));
        }
        QCOMPARE(cells.at(4)->text(), full.at(4));
        body->typeCombo()->setCurrentIndex(1);
        QTRY_COMPARE(kit.requestCount(kInfo), 3);
        QCOMPARE(kit.lastQuery(kInfo).last(), qMakePair(QString("gainsType"), QString("1")));

        // The premium tab starts afresh.
        page.tabBar()->setCurrentIndex(1);
        MyTichengBody* premium = page.body();
        QVERIFY(premium != body);
        QCOMPARE(premium->kind(), 1);
        QVERIFY(kit.waitReplies(premium, 2));
        QTRY_COMPARE(kit.requestCount(kInfo), 4);
        QCOMPARE(kit.lastQuery(kInfo),
                 items({ { "start_time", today.addDays(-1).toString("yyyy-MM-dd") },
                         { "end_time", today.toString("yyyy-MM-dd") },
                         { "page", "1" },
                         { "status", "2" },
                         { "gainsType", "" } }));

        page.resize(900, 600);
        QCOMPARE(page.withdrawButton()->pos(), QPoint(900 - 132, 4));
        page.withdrawButton()->click();
        QCOMPARE(kit.sink.urls.size(), 1);
        QCOMPARE(QUrlQuery(kit.sink.urls.at(0)).queryItemValue("jump_url", QUrl::FullyDecoded), URL_DRAWING_APPLY);
    }

    void pageTotal_data()
    {
        QTest::addColumn<QJsonArray>("records");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text");
        QTest::newRow("1.5, 2 and no number") << points({ "1.5", "2", "abc" }) << 0 << "本页统计：3.5普通点";
        QTest::newRow("premium") << points({ "3", "5" }) << 1 << "本页统计：8精品点";
        QTest::newRow("a JSON number reads as nothing") << points({ 4, "1" }) << 0 << "本页统计：1普通点";
        QTest::newRow("32-bit sum") << points({ "16777216", "1", "-16777216" }) << 0 << "本页统计：0普通点";
        QTest::newRow("six digits") << points({ "1234.5678" }) << 0 << "本页统计：1234.57普通点";
        QTest::newRow("nan, infinities and beyond a float count as 0")
            << points({ "nan", "inf", "-inf", "1e39", "2.5" }) << 0 << "本页统计：2.5普通点";
        QTest::newRow("a sum beyond a float") << points({ "3e38", "3e38", "-1e38" }) << 0 << "本页统计：5e+38普通点";
    }
    void pageTotal()
    {
        QFETCH(QJsonArray, records);
        QFETCH(int, kind);
        QFETCH(QString, text);
        QCOMPARE(MyTichengBody::pageTotalText(records, kind), text);
    }

    void dateSpans_data()
    {
        QTest::addColumn<QDate>("today");
        // Presses on the tab bar: "L"/"R" (left or right button) and the tab index, "-" beside them.
        QTest::addColumn<QStringList>("clicks");
        QTest::addColumn<QString>("start");
        QTest::addColumn<int>("requests");
        QTest::newRow("yesterday at start: nothing sent")
            << QDate(2026, 3, 31) << QStringList { "L0" } << "2026-03-30" << 0;
        QTest::newRow("30 days on 31 March: one month back")
            << QDate(2026, 3, 31) << QStringList { "L2" } << "2026-02-28" << 1;
        QTest::newRow("leap year") << QDate(2024, 3, 31) << QStringList { "L2" } << "2024-02-29" << 1;
        QTest::newRow("7 days") << QDate(2026, 3, 31) << QStringList { "L1" } << "2026-03-24" << 1;
        QTest::newRow("7 days and back") << QDate(2026, 3, 31) << QStringList { "L1", "L0" } << "2026-03-30" << 2;
        QTest::newRow("right click chooses nothing")
            << QDate(2026, 3, 31) << QStringList { "R1", "R2" } << "2026-03-30" << 0;
        QTest::newRow("click beside the tabs chooses nothing")
            << QDate(2026, 3, 31) << QStringList { "L1", "L-" } << "2026-03-24" << 1;
    }
    void dateSpans()
    {
        QFETCH(QDate, today);
        QFETCH(QStringList, clicks);
        QFETCH(QString, start);
        QFETCH(int, requests);
        Clock::setNowForTesting(QDateTime(today, QTime(10, 0)));
        MyTichengBody body(0);
        body.show();
        QVERIFY(kit.waitReplies(&body, 2));
        QTRY_COMPARE(kit.requestCount(kInfo), 1);
        QTabBar* bar = body.spanTabs();
        for (const QString& click : clicks) {
            const QRect last = bar->tabRect(bar->count() - 1);
            const QPoint at = click.endsWith('-') ? QPoint(last.right() + 5, last.center().y())
                                                  : bar->tabRect(click.midRef(1).toInt()).center();
            QTest::mouseClick(bar, click.startsWith('L') ? Qt::LeftButton : Qt::RightButton, {}, at);
        }
        // A request of our own marks the end: whatever the clicks sent arrived before it.
        body.renderTableBody();
        QVERIFY(kit.waitReplies(&body, 3 + requests));
        QTRY_COMPARE(kit.requestCount(kInfo), 2 + requests);
        QCOMPARE(body.startDate(), start);
        QCOMPARE(body.endDate(), today.toString("yyyy-MM-dd"));
        QCOMPARE(body.startEdit()->date().toString("yyyy-MM-dd"), start);
        QCOMPARE(kit.lastQuery(kInfo).at(0).second, start);
    }

    void emptyAndFailedPages()
    {
        MyTichengBody body(0);
        body.show();
        QVERIFY(kit.waitReplies(&body, 2));
        QVERIFY(kit.site.fault(QJsonObject {
            { "path", kInfo },
            { "body",
              R"({"errcode":0,"code":0,"data":[{"title":"<b>粗</b>体","gainpoint":"1.5"},{"gainpoint":"2"},{"gainpoint":"x","title":7}],)"
              R"("_meta":{"currentPage":1,"pageCount":100000,"totalCount":9}})" } }));
        body.renderTableBody();
        QVERIFY(kit.waitReplies(&body, 3));
        QCOMPARE(body.rowList()->count(), 3);
        QCOMPARE(body.countLabel()->text(), QString("本页统计：3.5普通点"));
        QWidget* row = body.rowList()->itemWidget(body.rowList()->item(0));
        QCOMPARE(ListTestKit::labelTexts(row).at(0), QString("粗体"));
        QVERIFY(body.pagination()->isVisible());

        // No answer from the site: the page stays as it was.
        QVERIFY(kit.site.fault(QJsonObject { { "path", kInfo }, { "status", 502 } }));
        body.renderTableBody();
        QVERIFY(kit.waitReplies(&body, 4));
        QCOMPARE(kit.lastReplyFor(&body).value("errcode").toInt(), -3);
        QCOMPARE(body.rowList()->count(), 3);
        QVERIFY(body.emptyLabel()->isHidden());
        QVERIFY(body.countLabel()->isVisible());

        QVERIFY(kit.site.fault(QJsonObject { { "path", kInfo }, { "body", R"({"code":0,"data":[],"_meta":{}})" } }));
        body.renderTableBody();
        QVERIFY(kit.waitReplies(&body, 5));
        QCOMPARE(body.rowList()->count(), 0);
        QVERIFY(body.emptyLabel()->isVisible());
        QCOMPARE(body.emptyLabel()->text(), QString("呀，暂时没有数据。"));
        QVERIFY(body.countLabel()->isHidden());
        QVERIFY(body.pagination()->isHidden());

        // Far more records than a page: the first ones are built, and summed.
        QJsonArray many;
        for (int i = 0; i < ListBaseTabContent::kMaxRows * 4; ++i)
            many.append(QJsonObject { { "title", "t" }, { "gainpoint", "1" } });
        body.renderRows(many);
        QCOMPARE(body.rowList()->count(), ListBaseTabContent::kMaxRows);
        QCOMPARE(body.countLabel()->text(), QString("本页统计：%1普通点").arg(ListBaseTabContent::kMaxRows));
    }

private:
    ListTestKit kit;
};

QTEST_MAIN(TestTicheng)
#include "TestTicheng.moc"
