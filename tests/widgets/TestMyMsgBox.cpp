#include "widgets/MyMsgBox.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>

class TestMyMsgBox : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        MyMsgBox::clearShown();
        MyMsgBox::setShowHook(nullptr);
        MyMsgBox::setUnattended(false);
    }

    void confirmResults_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("expected");
        QTest::newRow("确定 accepts") << int(MyMsgBox::PressSubmit) << 1;
        QTest::newRow("取消 rejects") << int(MyMsgBox::PressCancel) << 0;
        QTest::newRow("close button rejects like 取消") << int(MyMsgBox::PressClose) << 0;
    }

    void confirmResults()
    {
        QFETCH(int, answer);
        QFETCH(int, expected);
        MyMsgBox::answerNext(MyMsgBox::Answer(answer));
        QCOMPARE(MyMsgBox::confirm("确定退出登录吗？"), expected);
        QCOMPARE(MyMsgBox::pendingAnswers(), 0);
        const auto shown = MyMsgBox::shownBoxes();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].text, QString("确定退出登录吗？"));
        QVERIFY(shown[0].hasCancel);
        QCOMPARE(shown[0].result, expected);
    }

    void alertHasOnlySubmit()
    {
        bool cancelVisible = true;
        bool submitVisible = false;
        QString title;
        MyMsgBox::setShowHook([&](MyMsgBox* box) {
            box->show();
            cancelVisible = box->cancelButton()->isVisible();
            submitVisible = box->submitButton()->isVisible();
            title = box->findChild<QLabel*>()->text();
        });
        MyMsgBox::answerNext(MyMsgBox::PressSubmit);
        QCOMPARE(MyMsgBox::alert("网络异常"), 1);
        QVERIFY(!cancelVisible);
        QVERIFY(submitVisible);
        QCOMPARE(title, QString("提示"));

        // Asking for 取消 on an alert can only close it.
        MyMsgBox::setShowHook(nullptr);
        MyMsgBox::answerNext(MyMsgBox::PressCancel);
        QCOMPARE(MyMsgBox::alert("网络异常"), 0);
        QVERIFY(!MyMsgBox::shownBoxes().last().hasCancel);
    }

    void htmlGoesToTheBrowser()
    {
        QTextBrowser* browser = nullptr;
        QLabel* plain = nullptr;
        bool browserVisible = false, plainVisible = true;
        MyMsgBox::setShowHook([&](MyMsgBox* box) {
            box->show();
            browser = box->findChild<QTextBrowser*>("msgbox_body");
            const auto labels = box->findChildren<QLabel*>();
            plain = labels.size() > 1 ? labels[1] : nullptr;
            browserVisible = browser && browser->isVisible();
            plainVisible = plain && plain->isVisible();
            QVERIFY(browser && browser->openExternalLinks());
        });
        MyMsgBox::answerNext(MyMsgBox::PressSubmit);
        QCOMPARE(MyMsgBox::confirm("<a href='http://127.0.0.1/x'>查看</a>相似资料", nullptr, true), 1);
        QVERIFY(browserVisible);
        QVERIFY(!plainVisible);
        QCOMPARE(MyMsgBox::shownBoxes().last().text, QString("查看相似资料"));
        QVERIFY(MyMsgBox::shownBoxes().last().html);
    }

    void plainBoxShowsMarkupAsText()
    {
        // A server text with markup in it is shown as the server wrote it, not rendered.
        const QString serverText = "<b>余额</b><img src='x'>不足";
        MyMsgBox box;
        box.setText(serverText);
        box.show();
        QLabel* shownLabel = nullptr;
        for (QLabel* label : box.findChildren<QLabel*>()) {
            if (label->isVisible() && label->text() == serverText)
                shownLabel = label;
        }
        QVERIFY(shownLabel);
        QCOMPARE(shownLabel->textFormat(), Qt::PlainText);
        QCOMPARE(box.text(), serverText);
    }

    void answersAreUsedInOrder()
    {
        MyMsgBox::answerNext(MyMsgBox::PressCancel);
        MyMsgBox::answerNext(MyMsgBox::PressSubmit);
        QCOMPARE(MyMsgBox::confirm("一"), 0);
        QCOMPARE(MyMsgBox::confirm("二"), 1);
        QCOMPARE(MyMsgBox::shownBoxes().size(), 2);
        QCOMPARE(MyMsgBox::shownBoxes()[1].text, QString("二"));
    }

    void keyboardAnswers_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("expected");
        QTest::newRow("Enter is 确定") << int(Qt::Key_Return) << 1;
        QTest::newRow("Esc is 取消") << int(Qt::Key_Escape) << 0;
    }

    void keyboardAnswers()
    {
        QFETCH(int, key);
        QFETCH(int, expected);
        MyMsgBox::setShowHook(
            [key](MyMsgBox* box) { QTimer::singleShot(0, box, [box, key] { QTest::keyClick(box, Qt::Key(key)); }); });
        QCOMPARE(MyMsgBox::confirm("是否退出编辑？"), expected);
    }

    void unattendedBoxClosesItself()
    {
        MyMsgBox::setUnattended(true);
        QCOMPARE(MyMsgBox::confirm("无人回答"), 0);
        QCOMPARE(MyMsgBox::shownBoxes().last().result, 0);
    }
};

QTEST_MAIN(TestMyMsgBox)
#include "TestMyMsgBox.moc"
