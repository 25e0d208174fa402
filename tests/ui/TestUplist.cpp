// The author's resources page against the local site: each tab's request and rows, search,
// filter and page working together, the detail and back, and replies that are no list.
#include "ListTestKit.h"
#include "form/XdChidItemWidgets.h"
#include "intake/FileTypes.h"
#include "net/Endpoints.h"
#include "net/MyOptionItem.h"
#include "ui/ListBaseTabContent.h"
#include "ui/ListYishen.h"
#include "ui/MyDetailWidget.h"
#include "ui/MyPaginationWidget.h"
#include "ui/MyUplistWidget.h"
#include "widgets/MyBreadWidget.h"

#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QFormLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPushButton>
#include <QStackedLayout>
#include <QTabBar>

namespace {

QWidget* rowAt(ListBaseTabContent* tab, int i)
{
    return tab->rowList()->itemWidget(tab->rowList()->item(i));
}

QStringList tooltips(ListBaseTabContent* tab)
{
    QStringList out;
    for (int i = 0; i < tab->rowList()->count(); ++i)
        out << rowAt(tab, i)->findChild<QLabel*>("item_title")->toolTip();
    return out;
}

QString time(const QJsonObject& row, const char* key)
{
    return QDateTime::fromSecsSinceEpoch(row.value(key).toString().toLongLong()).toString("yyyy-MM-dd hh:mm");
}

// What the columns after the title must show for a row of the site.
QStringList expectedColumns(int tab, const QJsonObject& row)
{
    if (tab == 0)
        return { time(row, "dateline") };
    const QString both = time(row, "dateline") + "\n" + time(row, "editline");
    if (tab == 1) {
        const QString stars = row.value(row.value("flag").toString() == "7" ? "jinpoint" : "stars").toString();
        return { both, stars + "星", row.value("downnum").toString() + "次" };
    }
    const QString remark = row.value("editremark").toString();
    return { remark.isEmpty() ? "用户自主删除" : remark, both };
}

QJsonObject listBody(const QJsonArray& rows, const QJsonObject& meta)
{
    return QJsonObject { { "errcode", 0 }, { "code", 0 }, { "data", rows }, { "_meta", meta } };
}

} // namespace

class TestUplist : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(kit.start()); }
    void init()
    {
        QVERIFY(kit.reset());
        MyMsgBox::clearShown();
    }

    void tabs_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("flag");
        QTest::addColumn<int>("total");
        QTest::addColumn<QString>("emptyText");
        QTest::newRow("awaiting review") << 0 << "5,6,15" << 22 << "呀，暂无数据";
        QTest::newRow("reviewed") << 1 << "7,8,17" << 63 << "呀，暂无数据...";
        QTest::newRow("recycle bin") << 2 << "3,4,13" << 48 << "呀，暂无数据";
    }
    void tabs()
    {
        QFETCH(int, index);
        QFETCH(QString, flag);
        QFETCH(int, total);
        QFETCH(QString, emptyText);
        MyUplistWidget page;
        page.resize(1100, 700);
        page.show();
        page.tabBar()->setCurrentIndex(index);
        ListBaseTabContent* tab = page.currentTab();
        QVERIFY(kit.waitReplies(tab, 1));
        QCOMPARE(kit.lastQuery("/toolupload/asset"),
                 items({ { "flag", flag },
                         { "searchCenter", "" },
                         { "searchType", "0" },
                         { "stage", "0" },
                         { "subject_id", "0" },
                         { "page", "1" } }));

        // An empty search still goes out with its "=".
        QVERIFY(kit.site.requests("/toolupload/asset")
                    .last()
                    .toObject()
                    .value("target")
                    .toString()
                    .contains("&searchCenter=&"));
        const QJsonArray rows = kit.lastReplyFor(tab).value("data").toArray();
        QCOMPARE(rows.size(), qMin(total, 20));
        QCOMPARE(tab->rowList()->count(), rows.size());
        QCOMPARE(tab->totalLabel()->text(), QString("共计%1条数据").arg(total));
        QVERIFY(tab->pagination()->isVisible());
        QCOMPARE(tab->pagination()->pageCount(), (total + 19) / 20);
        QVERIFY(tab->emptyLabel()->isHidden());
        QCOMPARE(tab->emptyLabel()->text(), emptyText);
        bool sawMarkup = false;
        for (int i = 0; i < rows.size(); ++i) {
            const QJsonObject row = rows.at(i).toObject();
            QWidget* w = rowAt(tab, i);
            auto* title = w->findChild<QLabel*>("item_title");
            sawMarkup = sawMarkup || row.value("subject").toString().contains('<');
            QCOMPARE(title->toolTip(), stripHtml(row.value("subject").toString()));
            QCOMPARE(title->textFormat(), Qt::PlainText);
            QVERIFY(!title->text().isEmpty());
            const QString icon = row.value("typeidsTotal").toString().toInt() >= 2
                ? "t/tar"
                : typeIcon(row.value("typeidroot").toString());
            QCOMPARE(w->layout()->itemAt(0)->widget()->property("icon").toString(), icon);
            QStringList got = ListTestKit::labelTexts(w).mid(1);
            // A long reason is cut to its column; the whole of it is the tool tip.
            if (auto* reason = w->findChild<QLabel*>("reason_mark_column"); reason && !reason->toolTip().isEmpty())
                got[0] = reason->toolTip();
            QCOMPARE(got, expectedColumns(index, row));
        }
        QVERIFY2(sawMarkup, "the seed's first page has a title with markup");

        // Away and back: a fresh tab on page 1.
        tab->pagination()->pageButtons().at(1)->click();
        QVERIFY(kit.waitReplies(tab, 2));
        QCOMPARE(tab->page(), 2);
        page.tabBar()->setCurrentIndex((index + 1) % 3);
        page.tabBar()->setCurrentIndex(index);
        QVERIFY(page.currentTab() != tab);
        QVERIFY(kit.waitReplies(page.currentTab(), 1));
        QCOMPARE(kit.lastQuery("/toolupload/asset").last(), qMakePair(QString("page"), QString("1")));
    }

    void searchFilterAndPage()
    {
        MyUplistWidget page;
        page.show();
        page.tabBar()->setCurrentIndex(1);
        ListBaseTabContent* tab = page.currentTab();
        QVERIFY(kit.waitReplies(tab, 1));
        tab->pagination()->pageButtons().at(3)->click();
        QVERIFY(kit.waitReplies(tab, 2));
        QCOMPARE(tab->pagination()->currentPage(), 4);

        // The search asks for the page the tab is on.
        tab->searchBox()->setText("  数学 ");
        tab->searchButton()->click();
        QVERIFY(kit.waitReplies(tab, 3));
        auto q = kit.lastQuery("/toolupload/asset");
        QCOMPARE(q.at(1), qMakePair(QString("searchCenter"), QString("数学")));
        QCOMPARE(q.at(2), qMakePair(QString("searchType"), QString("1")));
        QCOMPARE(q.at(5), qMakePair(QString("page"), QString("4")));

        // A filter change drops the applied search, not the typed text, and starts at page 1.
        const int before = kit.repliesFor(tab);
        tab->filter()->setValue(2, 0);
        QVERIFY(kit.waitReplies(tab, before + 1));
        // One more request: the first tab's, before the switch.
        QTRY_COMPARE(kit.requestCount("/toolupload/asset"), kit.repliesFor(tab) + 1);
        q = kit.lastQuery("/toolupload/asset");
        QCOMPARE(q,
                 items({ { "flag", "7,8,17" },
                         { "searchCenter", "" },
                         { "searchType", "0" },
                         { "stage", "2" },
                         { "subject_id", "0" },
                         { "page", "1" } }));
        QCOMPARE(tab->searchBox()->text(), QString("  数学 "));
        // ... and the box shows that its words no longer filter the list.
        QCOMPARE(tab->searchBox()->property("stale").toBool(), true);
        QVERIFY(!tab->searchBox()->toolTip().isEmpty());
        for (const QJsonValue& v : kit.lastReplyFor(tab).value("data").toArray())
            QVERIFY(v.toObject().contains("itemid"));

        const int filtered = kit.repliesFor(tab);
        tab->searchButton()->click();
        QVERIFY(kit.waitReplies(tab, filtered + 1));
        q = kit.lastQuery("/toolupload/asset");
        QCOMPARE(q.at(1).second, QString("数学"));
        QCOMPARE(q.at(3).second, QString("2"));
        QCOMPARE(q.at(5).second, QString("1"));
        QCOMPARE(tab->searchBox()->property("stale").toBool(), false);
        for (const QString& title : tooltips(tab))
            QVERIFY2(title.contains("数学"), qPrintable(title));

        // One choice sends one request, with what the filter shows once the choice is made
        // (a new stage starts with "请选择学科", not with the subject of the stage before).
        QNetworkAccessManager* nam = MyDAO::instance()->networkManager();
        QStringList asked;
        connect(nam, &QNetworkAccessManager::finished, this, [&asked](QNetworkReply* r) {
            if (r->url().path() == "/toolupload/asset")
                asked << QUrlQuery(r->url()).queryItemValue("stage") + ","
                        + QUrlQuery(r->url()).queryItemValue("subject_id");
        });
        const auto settled = [&](int n) {
            for (QNetworkReply* r : nam->findChildren<QNetworkReply*>()) {
                if (r->url().path() == "/toolupload/asset" && !r->isFinished())
                    return false;
            }
            return asked.size() >= n;
        };
        QComboBox* subjects = tab->filter()->subjectCombo();
        const int subject = optionValueAt(subjects, 1);
        subjects->setCurrentIndex(1);
        emit subjects->activated(1);
        QTRY_VERIFY(settled(1));
        QComboBox* stages = tab->filter()->stageCombo();
        stages->setCurrentIndex(3);
        emit stages->activated(3);
        QTRY_VERIFY(settled(2));
        disconnect(nam, nullptr, this, nullptr);
        QCOMPARE(asked, QStringList({ QString("2,%1").arg(subject), "3,0" }));
    }

    void detailRoundTrip()
    {
        MyUplistWidget page;
        page.show();
        page.tabBar()->setCurrentIndex(1);
        ListBaseTabContent* tab = page.currentTab();
        QVERIFY(kit.waitReplies(tab, 1));
        tab->pagination()->pageButtons().at(1)->click();
        QVERIFY(kit.waitReplies(tab, 2));
        const QStringList rowsBefore = tooltips(tab);
        const QString itemid
            = kit.lastReplyFor(tab).value("data").toArray().at(0).toObject().value("itemid").toString();

        rowAt(tab, 0)->findChild<QPushButton*>("view_btn")->click();
        QTRY_VERIFY(page.detailWidget());
        MyDetailWidget* detail = page.detailWidget();
        QCOMPARE(page.stack()->currentWidget(), detail);
        QCOMPARE(kit.lastQuery("/toolupload/asset/detail"), items({ { "itemid", itemid } }));
        QCOMPARE(detail->titleLabel()->text(), rowsBefore.at(0));
        QCOMPARE(detail->form()->rowCount(), 7);

        QPointer<MyDetailWidget> gone(detail);
        detail->bread()->backButton()->click();
        QCOMPARE(page.stack()->currentWidget(), page.listPage());
        QTRY_VERIFY(!gone);
        QCOMPARE(page.currentTab(), tab);
        QCOMPARE(tab->page(), 2);
        QCOMPARE(tooltips(tab), rowsBefore);

        // A detail the site refuses is told, and the list stays.
        kit.site.fault(QJsonObject { { "path", "/toolupload/asset/detail" },
                                     { "body", R"({"errcode":0,"code":1,"msg":"资源不存在或已删除"})" } });
        rowAt(tab, 1)->findChild<QPushButton*>("view_btn")->click();
        QTRY_COMPARE(MyMsgBox::shownBoxes().size(), 1);
        QCOMPARE(MyMsgBox::shownBoxes().at(0).text, QString("资源不存在或已删除"));
        QVERIFY(!page.detailWidget());
        QCOMPARE(tooltips(tab), rowsBefore);
    }

    void detailRows_data()
    {
        QTest::addColumn<QJsonObject>("detail");
        QTest::addColumn<QStringList>("values");
        QTest::newRow("full") << QJsonObject { { "title", "<b>标题</b>" },
                                               { "types", "试卷" },
                                               { "sub_types", "月考" },
                                               { "flag_name", "普通资料" },
                                               { "stage", "初中" },
                                               { "subject_name", "数学" },
                                               { "categories", "人教版 > 第一章" },
                                               { "copyright", "原创" },
                                               { "province_name", "广东省" },
                                               { "city_name", "广州市" },
                                               { "dist_name", "天河区" },
                                               { "point", "5" } }
                              << QStringList { "试卷/月考", "普通资料",           "初中数学", "人教版 > 第一章",
                                               "原创",      "广东省广州市天河区", "5星" };
        QTest::newRow("no province, a city: nationwide")
            << QJsonObject { { "title", "t" }, { "city_name", "广州市" }, { "dist_name", "天河区" }, { "point", 3 } }
            << QStringList { "/", "", "", "", "", "全国", "星" };
    }
    void detailRows()
    {
        QFETCH(QJsonObject, detail);
        QFETCH(QStringList, values);
        MyDetailWidget w(detail);
        QCOMPARE(w.titleLabel()->text(), detail.value("title").toString());
        QCOMPARE(w.titleLabel()->textFormat(), Qt::PlainText);
        QStringList got;
        for (int i = 0; i < w.form()->rowCount(); ++i)
            got << qobject_cast<QLabel*>(w.form()->itemAt(i, QFormLayout::FieldRole)->widget())->text();
        QCOMPARE(got, values);
        QSignalSpy back(&w, &MyDetailWidget::s_back_2_list);
        w.bread()->backButton()->click();
        QCOMPARE(back.size(), 1);
    }

    void titleAndDownloadOpenTheSite()
    {
        MyUplistWidget page;
        page.show();
        page.tabBar()->setCurrentIndex(1);
        ListBaseTabContent* tab = page.currentTab();
        QVERIFY(kit.waitReplies(tab, 1));
        const QJsonObject row = kit.lastReplyFor(tab).value("data").toArray().at(0).toObject();
        QTest::mouseClick(rowAt(tab, 0)->findChild<QLabel*>("item_title"), Qt::LeftButton);
        QCOMPARE(kit.sink.urls.size(), 1);
        QCOMPARE(kit.sink.urls.at(0).toString(),
                 Endpoints::base(Endpoints::Role::Website)
                     + QString("/H/%1/%2/%3.shtml")
                           .arg(row.value("chid").toString(), row.value("catid").toString(),
                                row.value("itemid").toString()));
        for (QPushButton* b : rowAt(tab, 0)->findChildren<QPushButton*>()) {
            if (b->text() == "下载")
                b->click();
        }
        QCOMPARE(kit.sink.urls.size(), 2);
        QCOMPARE(
            kit.sink.urls.at(1).toString(QUrl::FullyEncoded),
            QUrl(MyDAO::instance()->downloadManagerUrl(row.value("itemid").toString(), row.value("chid").toString()),
                 QUrl::StrictMode)
                .toString(QUrl::FullyEncoded));
    }

    // The request client's own failure envelope is no "nothing there": every tab keeps its rows.
    void failedRequestKeepsThePage_data()
    {
        QTest::addColumn<int>("index");
        QTest::newRow("awaiting review") << 0;
        QTest::newRow("reviewed") << 1;
        QTest::newRow("recycle bin") << 2;
    }
    void failedRequestKeepsThePage()
    {
        QFETCH(int, index);
        MyUplistWidget page;
        page.show();
        page.tabBar()->setCurrentIndex(index);
        ListBaseTabContent* tab = page.currentTab();
        QVERIFY(kit.waitReplies(tab, 1));
        const QStringList rows = tooltips(tab);
        QVERIFY(!rows.isEmpty());
        QVERIFY(kit.site.fault(QJsonObject { { "path", "/toolupload/asset" }, { "status", 500 } }));
        tab->searchButton()->click();
        QVERIFY(kit.waitReplies(tab, 2));
        QCOMPARE(kit.lastReplyFor(tab).value("errcode").toInt(), -3);
        QCOMPARE(tooltips(tab), rows);
        QVERIFY(tab->emptyLabel()->isHidden());
        QVERIFY(tab->pagination()->isVisible());
        QVERIFY(tab->totalLabel()->isVisible());
    }

    void oddRepliesAreShownSafely()
    {
        MyUplistWidget page;
        page.show();
        page.tabBar()->setCurrentIndex(2);
        ListBaseTabContent* tab = page.currentTab();
        QVERIFY(kit.waitReplies(tab, 1));

        const QJsonArray rows {
            QJsonObject { { "subject", "<img src=x onerror=1><b>粗体</b>标题" },
                          { "typeidsTotal", 3 },
                          { "typeidroot", "3" },
                          { "dateline", 1600000000 },
                          { "editremark", "<a href='x'>链接</a>理由" } },
            QJsonObject {},
            QJsonObject { { "subject", 12 }, { "editremark", 5 }, { "itemid", 7 } },
        };
        const QJsonObject meta { { "currentPage", 1 }, { "pageCount", 100000 }, { "totalCount", 2000000 } };
        QVERIFY(kit.site.fault(
            QJsonObject { { "path", "/toolupload/asset" },
                          { "body", QString::fromUtf8(QJsonDocument(listBody(rows, meta)).toJson()) } }));
        tab->searchButton()->click();
        QVERIFY(kit.waitReplies(tab, 2));
        QCOMPARE(tab->rowList()->count(), 3);
        QWidget* first = rowAt(tab, 0);
        // A number where a text belongs reads as nothing: the root type's icon, not the archive's.
        QCOMPARE(first->layout()->itemAt(0)->widget()->property("icon").toString(), QString("t/ppt"));
        auto* title = first->findChild<QLabel*>("item_title");
        QCOMPARE(title->textFormat(), Qt::PlainText);
        QCOMPARE(title->toolTip(), QString("粗体标题"));
        auto* reason = first->findChild<QLabel*>("reason_mark_column");
        QCOMPARE(reason->textFormat(), Qt::PlainText);
        QVERIFY(reason->toolTip().contains("&lt;a href="));
        QCOMPARE(rowAt(tab, 1)->findChild<QLabel*>("reason_mark_column")->text(), QString("用户自主删除"));
        QCOMPARE(rowAt(tab, 2)->findChild<QLabel*>("reason_mark_column")->text(), QString("用户自主删除"));
        QCOMPARE(tab->pagination()->pageCount(), 100000);
        QCOMPARE(tab->pagination()->pageButtons().at(4)->text(), QString("5"));
        QCOMPARE(tab->totalLabel()->text(), QString("共计2000000条数据"));

        // "data" that is no array, "_meta" that is no object: an empty page.
        QVERIFY(kit.site.fault(QJsonObject { { "path", "/toolupload/asset" },
                                             { "body", R"({"errcode":0,"code":0,"data":{"a":1},"_meta":"x"})" } }));
        tab->searchButton()->click();
        QVERIFY(kit.waitReplies(tab, 3));
        QCOMPARE(tab->rowList()->count(), 0);
        QVERIFY(tab->emptyLabel()->isVisible());
        QVERIFY(tab->pagination()->isHidden());
        QVERIFY(tab->totalLabel()->isHidden());

        // Far more rows than a page of the site: only the first ones are built.
        QJsonArray many;
        for (int i = 0; i < ListBaseTabContent::kMaxRows * 4; ++i)
            many.append(QJsonObject { { "subject", QString::number(i) } });
        QVERIFY(kit.site.fault(
            QJsonObject { { "path", "/toolupload/asset" },
                          { "body", QString::fromUtf8(QJsonDocument(listBody(many, meta)).toJson()) } }));
        tab->searchButton()->click();
        QVERIFY(kit.waitReplies(tab, 4));
        QCOMPARE(tab->rowList()->count(), ListBaseTabContent::kMaxRows);
        QCOMPARE(tooltips(tab).last(), QString::number(ListBaseTabContent::kMaxRows - 1));
    }

private:
    ListTestKit kit;
};

QTEST_MAIN(TestUplist)
#include "TestUplist.moc"
