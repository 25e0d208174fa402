// The page bar: which pages its five buttons show, and which clicks ask for a page.
#include "ui/MyPaginationWidget.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

namespace {

QJsonObject meta(int current, int pageCount)
{
    return QJsonObject { { "currentPage", current },
                         { "perPage", 20 },
                         { "pageCount", pageCount },
                         { "totalCount", qint64(pageCount) * 20 } };
}

// "6,7*,8" : the visible buttons' texts, the checked one starred.
QString shown(const MyPaginationWidget& w)
{
    QStringList out;
    for (QPushButton* b : w.pageButtons()) {
        if (!b->isHidden())
            out << b->text() + (b->isChecked() ? "*" : "");
    }
    return out.join(',');
}

QPushButton* named(MyPaginationWidget& w, const QString& name)
{
    return w.findChild<QPushButton*>(name);
}

} // namespace

class TestPagination : public QObject
{
    Q_OBJECT

private slots:
    void window_data()
    {
        QTest::addColumn<int>("current");
        QTest::addColumn<int>("pageCount");
        QTest::addColumn<bool>("visible");
        QTest::addColumn<QString>("buttons");
        QTest::newRow("no pages: hidden") << 1 << 0 << false << QString();
        QTest::newRow("one page: hidden") << 1 << 1 << false << QString();
        QTest::newRow("two pages") << 2 << 2 << true << "1,2*";
        QTest::newRow("three pages: two buttons hidden") << 1 << 3 << true << "1*,2,3";
        QTest::newRow("12 pages, page 7") << 7 << 12 << true << "6,7*,8,9,10";
        QTest::newRow("12 pages, page 12: the last five") << 12 << 12 << true << "8,9,10,11,12*";
        QTest::newRow("12 pages, page 5") << 5 << 12 << true << "1,2,3,4,5*";
        QTest::newRow("100000 pages, page 99998") << 99998 << 100000 << true << "99996,99997,99998*,99999,100000";
        QTest::newRow("site slip: page 0") << 0 << 8 << true << "1,2,3,4,5";
        QTest::newRow("int limit: last page")
            << INT_MAX << INT_MAX << true << "2147483643,2147483644,2147483645,2147483646,2147483647*";
        QTest::newRow("int limit: page far past the count") << INT_MAX << 8 << true << "4,5,6,7,8";
        QTest::newRow("int limit: lowest page") << INT_MIN << 8 << true << "1,2,3,4,5";
    }
    void window()
    {
        QFETCH(int, current);
        QFETCH(int, pageCount);
        QFETCH(bool, visible);
        QFETCH(QString, buttons);
        MyPaginationWidget w;
        w.show();
        w.setMeta(meta(current, pageCount));
        QCOMPARE(w.isVisible(), visible);
        QCOMPARE(w.countLabel()->text(), QString("共%1页，到第").arg(pageCount));
        if (visible)
            QCOMPARE(shown(w), buttons);
        // "到第 [ ] 页" follows the page shown.
        if (current >= 1)
            QCOMPARE(w.pageEdit()->text(), QString::number(current));
    }

    void clicks_data()
    {
        QTest::addColumn<int>("current");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("asked"); // 0: nothing asked
        QTest::newRow("prev on page 1") << 1 << "prev"
                                        << "" << 0;
        QTest::newRow("prev on page 3") << 3 << "prev"
                                        << "" << 2;
        QTest::newRow("next on the last page") << 12 << "next"
                                               << "" << 0;
        QTest::newRow("next on page 3") << 3 << "next"
                                        << "" << 4;
        QTest::newRow("typed 9") << 3 << "yes"
                                 << "9" << 9;
        QTest::newRow("typed no number") << 3 << "yes"
                                         << "abc" << 0;
        QTest::newRow("typed 0") << 3 << "yes"
                                 << "0" << 0;
        QTest::newRow("typed negative") << 3 << "yes"
                                        << "-2" << 0;
        QTest::newRow("typed above the count") << 3 << "yes"
                                               << "13" << 0;
        QTest::newRow("typed the current page") << 3 << "yes"
                                                << "3" << 0;
        QTest::newRow("page button 5") << 3 << "page:4"
                                       << "" << 5;
        QTest::newRow("page button of the current page") << 3 << "page:2"
                                                         << "" << 0;
        QTest::newRow("next on page 2147483647") << INT_MAX << "next"
                                                 << "" << 0;
        QTest::newRow("prev on page -2147483648") << INT_MIN << "prev"
                                                  << "" << 0;
    }
    void clicks()
    {
        QFETCH(int, current);
        QFETCH(QString, button);
        QFETCH(QString, typed);
        QFETCH(int, asked);
        MyPaginationWidget w;
        w.setMeta(meta(current, 12));
        w.pageEdit()->setText(typed);
        QSignalSpy spy(&w, &MyPaginationWidget::s_toPage);
        QPushButton* b = button.startsWith("page:") ? w.pageButtons().at(button.mid(5).toInt()) : named(w, button);
        QVERIFY(b);
        b->click();
        QCOMPARE(spy.size(), asked ? 1 : 0);
        if (asked)
            QCOMPARE(spy.at(0).at(0).toInt(), asked);
        // The bar follows the next reply, not the click.
        QCOMPARE(w.currentPage(), current);
        for (QPushButton* p : w.pageButtons())
            QCOMPARE(p->isChecked(), p->text().toInt() == current);
    }
};

QTEST_MAIN(TestPagination)
#include "TestPagination.moc"
