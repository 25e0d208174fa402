// The engine's messages reach the user in the program's own box, with the engine's title.

#include "app/MsgBoxNotifier.h"
#include "widgets/MyMsgBox.h"

#include <QtTest>

class TestMsgBoxNotifier : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        MyMsgBox::setUnattended(true);
        MyMsgBox::clearShown();
    }

    void alertCarriesTheEngineTitle_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("shownTitle");
        QTest::newRow("named") << QString::fromUtf8("网络异常") << QString::fromUtf8("网络异常");
        QTest::newRow("unnamed") << QString() << QString::fromUtf8("提示");
    }

    void alertCarriesTheEngineTitle()
    {
        QFETCH(QString, title);
        QFETCH(QString, shownTitle);
        MsgBoxNotifier notifier;
        notifier.alert(QString::fromUtf8("网络请求失败，稍后再试,code=003"), title);
        const auto shown = MyMsgBox::shownBoxes();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].title, shownTitle);
        QCOMPARE(shown[0].text, QString::fromUtf8("网络请求失败，稍后再试,code=003"));
        QVERIFY(!shown[0].hasCancel);
    }

    void confirmAnswersOneOnlyForOk()
    {
        MsgBoxNotifier notifier;
        MyMsgBox::answerNext(MyMsgBox::PressSubmit);
        QCOMPARE(notifier.confirm(QString::fromUtf8("删除失败了"), "1 error: "), 1);
        MyMsgBox::answerNext(MyMsgBox::PressClose);
        QCOMPARE(notifier.confirm(QString::fromUtf8("删除失败了")), 0);
        const auto shown = MyMsgBox::shownBoxes();
        QCOMPARE(shown.size(), 2);
        QVERIFY(shown[0].hasCancel);
        QCOMPARE(shown[0].title, QString("1 error: "));
    }
};

QTEST_MAIN(TestMsgBoxNotifier)
#include "TestMsgBoxNotifier.moc"
