// Pages and forms ask the site on their own behalf and the network answers in any order: the
// older of two requests is slowed down at the site, its reply lands last and must change nothing.
#include "ListTestKit.h"
#include "form/MyEditformWidget.h"
#include "form/XdChidItemWidgets.h"
#include "net/Endpoints.h"
#include "ui/ListBaseTabContent.h"
#include "ui/MyDetailWidget.h"
#include "ui/MyPaginationWidget.h"
#include "ui/MyTichengBody.h"
#include "ui/MyUplistWidget.h"
#include "widgets/MyBreadWidget.h"

#include <QComboBox>
#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPushButton>
#include <QStackedLayout>
#include <QTabBar>
#include <QTemporaryDir>

namespace {

const int kSlowMs = 1500;

QStringList listed(QListWidget* rows)
{
    QStringList out;
    for (int i = 0; i < rows->count(); ++i) {
        for (QLabel* label : rows->itemWidget(rows->item(i))->findChildren<QLabel*>())
            out << label->text() + "|" + label->toolTip();
    }
    return out;
}

// What the author sees of the page the row is about.
QStringList screen(QWidget* page)
{
    if (auto* uplist = qobject_cast<MyUplistWidget*>(page)) {
        if (uplist->stack()->currentWidget() != uplist->listPage())
            return { "detail", uplist->detailWidget()->titleLabel()->text() };
        ListBaseTabContent* tab = uplist->currentTab();
        return QStringList { tab->totalLabel()->text(), QString::number(tab->pagination()->currentPage()) }
        + listed(tab->rowList());
    }
    if (auto* body = qobject_cast<MyTichengBody*>(page))
        return QStringList { body->countLabel()->text(), body->startDate(), body->pagination()->countLabel()->text(),
                             QString::number(body->pagination()->pageCount()) }
        + listed(body->rowList());
    return {};
}

} // namespace

class TestStaleReplies : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        QVERIFY(kit.start());
        // The manager tells of a reply before the page's own handler sees it: what the page
        // shows right then is what the newer replies made of it.
        connect(MyDAO::instance()->networkManager(), &QNetworkAccessManager::finished, this,
                [this](QNetworkReply* reply) {
                    const QString url = reply->url().toString(QUrl::FullyDecoded);
                    if (watched && landed(url, true)) {
                        newerBeforeOlder = 0;
                        for (const QString& u : qAsConst(finished))
                            newerBeforeOlder += landed(u, false) ? 1 : 0;
                        shownBeforeOlder = screen(watched);
                    }
                    finished << url;
                });
    }
    void init()
    {
        QVERIFY(kit.reset());
        MyMsgBox::clearShown();
        finished.clear();
    }

    void olderReplyLandsLast_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("list: search, then a stage") << "search+stage";
        QTest::newRow("list: page 2, then page 3") << "page2+page3";
        QTest::newRow("commission: 近7天, then 近30天") << "7days+30days";
        QTest::newRow("detail: A, then B") << "detailA+detailB";
        QTest::newRow("detail: A, then B and 返回列表") << "detailA+detailB+back";
        QTest::newRow("text check: 查重, 取消, the next file") << "check+next";
    }

    void olderReplyLandsLast()
    {
        QFETCH(QString, kind);
        if (kind == "check+next") {
            textCheckOfAFileLeftBehind();
            return;
        }
        std::unique_ptr<QWidget> page;
        QString path;
        // `older` is sent slowed down; `newer` and whatever follows it are sent afterwards.
        std::function<void()> older, newer;
        QString olderMark;
        if (kind.startsWith("7days")) {
            auto* body = new MyTichengBody(0);
            page.reset(body);
            QVERIFY(kit.waitReplies(body, 2));
            path = "/toolupload/down-gains/gains-info";
            const QDate today = QDate::currentDate();
            olderMark = "start_time=" + today.addDays(-7).toString("yyyy-MM-dd");
            older = [body] { body->spanTabs()->setCurrentIndex(1); };
            newer = [body] { body->spanTabs()->setCurrentIndex(2); };
        } else {
            auto* uplist = new MyUplistWidget;
            page.reset(uplist);
            uplist->tabBar()->setCurrentIndex(1);
            ListBaseTabContent* tab = uplist->currentTab();
            QVERIFY(kit.waitReplies(tab, 1));
            if (kind.startsWith("detail")) {
                path = "/toolupload/asset/detail";
                QVERIFY(tab->rowList()->count() >= 2);
                auto view = [tab](int row) {
                    tab->rowList()->itemWidget(tab->rowList()->item(row))->findChild<QPushButton*>("view_btn")->click();
                };
                const QJsonArray rows = kit.lastReplyFor(tab).value("data").toArray();
                olderMark = "itemid=" + rows.at(0).toObject().value("itemid").toString();
                older = [view] { view(0); };
                const bool back = kind.endsWith("back");
                newer = [this, view, uplist, back] {
                    view(1);
                    QTRY_VERIFY_WITH_TIMEOUT(uplist->detailWidget(), 20000);
                    if (back)
                        uplist->detailWidget()->bread()->backButton()->click();
                };
            } else {
                path = "/toolupload/asset";
                if (kind.startsWith("search")) {
                    olderMark = "searchCenter=数学";
                    older = [tab] {
                        tab->searchBox()->setText("数学");
                        tab->searchButton()->click();
                    };
                    // The author picks a stage (whatever requests that sends, they all ask the same).
                    newer = [tab] {
                        QComboBox* stages = tab->filter()->stageCombo();
                        const int index = stages->findText("高中");
                        stages->setCurrentIndex(index);
                        emit stages->activated(index);
                    };
                } else {
                    olderMark = "page=2";
                    older = [tab] { emit tab->pagination()->s_toPage(2); };
                    newer = [tab] { emit tab->pagination()->s_toPage(3); };
                }
            }
        }

        const int before = kit.requestCount(path);
        QVERIFY(kit.site.fault(QJsonObject { { "path", path }, { "count", 1 }, { "delay_ms", kSlowMs } }));
        finished.clear();
        watchedPath = path;
        watchedMark = olderMark;
        watched = page.get();
        newerBeforeOlder = -1;
        older();
        QTRY_COMPARE(kit.requestCount(path), before + 1);
        newer();
        QTRY_VERIFY_WITH_TIMEOUT(newerBeforeOlder >= 0, 20000);
        watched = nullptr;
        // However many requests the newer choice sent, all were answered before the older one.
        QVERIFY2(newerBeforeOlder > 0 && newerBeforeOlder == kit.requestCount(path) - before - 1,
                 "a newer reply came after the slowed one; nothing is tested");
        QCOMPARE(screen(page.get()), shownBeforeOlder);
        QVERIFY(MyMsgBox::shownBoxes().isEmpty());
    }

private:
    void textCheckOfAFileLeftBehind();

    bool landed(const QString& url, bool older) const
    {
        return url.contains(watchedPath + "?") && url.contains(watchedMark) == older;
    }

    ListTestKit kit;
    QTemporaryDir dir;
    // Addresses of the replies that came back, oldest first.
    QStringList finished;
    QWidget* watched = nullptr;
    QString watchedPath;
    QString watchedMark;
    int newerBeforeOlder = -1;
    QStringList shownBeforeOlder;
};

void TestStaleReplies::textCheckOfAFileLeftBehind()
{
    // The document converter prints the file as it is.
    QDir().mkpath(dir.filePath("app/doctotext"));
    QFile converter(dir.filePath("app/doctotext/doctotext"));
    QVERIFY(converter.open(QIODevice::WriteOnly));
    converter.write("#!/bin/sh\ncat \"$1\"\n");
    converter.close();
    converter.setPermissions(converter.permissions() | QFileDevice::ExeOwner);
    qputenv("VANTREL_APPDIR", dir.filePath("app").toUtf8());
    const QString first = dir.filePath("初中数学第一份.pdf");
    const QString second = dir.filePath("初中数学第二份.pdf");
    for (const QString& path : { first, second }) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QString("一段与站上任何资源都不相同的文字：鹦鹉螺的壳与对数螺线。%1").arg(path).repeated(40).toUtf8());
    }
    MyEditformWidget form;
    auto* check = form.findChild<QPushButton*>("repeat_btn");
    auto analysed = [&form] { return form.checkState == 1 && !form.md5Pending && !form.analysisPending; };
    QVERIFY(form.loadFile(first, 1));
    QTRY_VERIFY_WITH_TIMEOUT(analysed() && !check->isHidden(), 20000);

    const QString path = "/toolupload/asset/checking-intro";
    QVERIFY(kit.site.fault(QJsonObject { { "path", path }, { "count", 1 }, { "delay_ms", kSlowMs } }));
    check->click();
    QTRY_COMPARE(kit.requestCount(path), 1);
    form.cancel();
    QVERIFY(form.loadFile(second, 0));
    QTRY_VERIFY_WITH_TIMEOUT(finished.filter(path).size() == 1, 20000);
    QTest::qWait(0);
    QCOMPARE(form.formData().file_path, QFileInfo(second).absoluteFilePath());
    QVERIFY(MyMsgBox::shownBoxes().isEmpty());
    qunsetenv("VANTREL_APPDIR");
}

QTEST_MAIN(TestStaleReplies)
#include "TestStaleReplies.moc"
