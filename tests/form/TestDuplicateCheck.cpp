// The duplicate checks: how the fingerprint and text answers are judged, when "查重" refuses
// to run, what it sends, and the dialog of similar resources. The text check runs against
// the real devsite; its answers are devsite's own or served through its fault API.

#include "form/DuplicateCheck.h"
#include "form/MyRepeatDialog.h"
#include "net/MyDAO.h"
#include "support/DevsiteFixture.h"
#include "widgets/MyMsgBox.h"
#include "widgets/RowCap.h"

#include <QApplication>
#include <QJsonDocument>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

const char* const CHECK_PATH = "/toolupload/asset/checking-intro";

QJsonObject hits(int n)
{
    QJsonArray data;
    for (int i = 0; i < n; ++i)
        data.append(QJsonObject { { "title", QString("相似资源%1").arg(i + 1) } });
    return { { "errcode", 0 }, { "code", 0 }, { "data", data } };
}

} // namespace

class TestDuplicateCheck : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void fingerprintVerdicts_data();
    void fingerprintVerdicts();
    void textCheckRefusals_data();
    void textCheckRefusals();
    void textCheckBodyKeepsTheTextAsExtracted();
    void textCheckAnswers_data();
    void textCheckAnswers();
    void repeatDialogRows();

private:
    DevsiteFixture site;
};

void TestDuplicateCheck::initTestCase()
{
    QVERIFY(site.start());
    site.exportEnv();
    MyDAO::setReferenceFetchLimitMs(3000);
    MyDAO* dao = MyDAO::instance();
    int uid = 0;
    dao->setToken(site.loginToken("demo_teacher", "demo1234", &uid));
    dao->setUid(uid);
    QVERIFY(!dao->token().isEmpty());
    MyMsgBox::setUnattended(true);
}

void TestDuplicateCheck::fingerprintVerdicts_data()
{
    QTest::addColumn<QJsonObject>("reply");
    QTest::addColumn<int>("verdict");
    QTest::addColumn<QString>("text");

    const int fresh = int(FingerprintVerdict::New), known = int(FingerprintVerdict::Known),
              failed = int(FingerprintVerdict::Failed);
    const QString dup = "服务器已有相同资源，不允许重复上传";
    QTest::newRow("data null is a new file")
        << QJsonObject { { "errcode", 0 }, { "code", 0 }, { "data", QJsonValue() } } << fresh << QString();
    QTest::newRow("data object is known")
        << QJsonObject { { "errcode", 0 }, { "data", QJsonObject() } } << known << dup;
    QTest::newRow("data 0 is known") << QJsonObject { { "errcode", 0 }, { "data", 0 } } << known << dup;
    QTest::newRow("missing data is known") << QJsonObject { { "errcode", 0 }, { "code", 0 } } << known << dup;
    QTest::newRow("failed request is no verdict")
        << QJsonObject { { "errcode", -3 }, { "message", "0 Internal Server Error" } } << failed
        << "资源查重失败：0 Internal Server Error，请稍后重试";
    QTest::newRow("refusal without data is no verdict")
        << QJsonObject { { "errcode", 0 }, { "code", 1 }, { "msg", "参数file_md5错误" } } << failed
        << "资源查重失败：参数file_md5错误，请稍后重试";
}

void TestDuplicateCheck::fingerprintVerdicts()
{
    QFETCH(QJsonObject, reply);
    QFETCH(int, verdict);
    QFETCH(QString, text);
    const FingerprintAnswer answer = judgeFingerprintReply(reply);
    QCOMPARE(int(answer.verdict), verdict);
    QCOMPARE(answer.text, text);
}

void TestDuplicateCheck::textCheckRefusals_data()
{
    QTest::addColumn<bool>("analysing");
    QTest::addColumn<bool>("known");
    QTest::addColumn<QString>("fileText");
    QTest::addColumn<int>("stage");
    QTest::addColumn<int>("subject");
    QTest::addColumn<QString>("refusal");
    QTest::addColumn<bool>("collected");

    QTest::newRow("analysis running wins") << true << true << "" << 0 << 0 << "请稍后，正在解析文档内容..." << false;
    QTest::newRow("known to the site") << false << true << "" << 0 << 0 << "服务器已有相同资源，不允许重复上传"
                                       << false;
    QTest::newRow("only white space") << false << false << " \r\n\t " << 2 << 21
                                      << "文本内容提取为空或解析失败，无法查重" << false;
    QTest::newRow("no stage") << false << false << "正文" << 0 << 21 << "请选择学段学科再查重" << true;
    QTest::newRow("no subject") << false << false << "正文" << 2 << 0 << "请选择学段学科再查重" << true;
    QTest::newRow("ready") << false << false << "正文" << 2 << 21 << "" << true;
}

void TestDuplicateCheck::textCheckRefusals()
{
    QFETCH(bool, analysing);
    QFETCH(bool, known);
    QFETCH(QString, fileText);
    QFETCH(int, stage);
    QFETCH(int, subject);
    QFETCH(QString, refusal);
    QFETCH(bool, collected);
    bool ran = false;
    const QString got = textCheckRefusal(analysing, known, fileText, [&]() {
        ran = true;
        return qMakePair(stage, subject);
    });
    QCOMPARE(got, refusal);
    QCOMPARE(ran, collected);
}

void TestDuplicateCheck::textCheckBodyKeepsTheTextAsExtracted()
{
    AssetFormData form;
    form.file_text = "  第一段\r\n  ";
    form.xueduanid = 2;
    form.chid = 21;
    form.file_md5 = "0123456789abcdef0123456789abcdef";
    const QJsonObject body = textCheckBody(form);
    QCOMPARE(body.keys(), QStringList({ "file_md5", "intro", "stage", "subject_id" }));
    QCOMPARE(body.value("intro").toString(), form.file_text);
    QVERIFY(body.value("stage").isDouble() && body.value("subject_id").isDouble());
    QCOMPARE(body.value("stage").toInt(), 2);
    QCOMPARE(body.value("subject_id").toInt(), 21);
    QCOMPARE(body.value("file_md5").toString(), form.file_md5);
}

void TestDuplicateCheck::textCheckAnswers_data()
{
    QTest::addColumn<QJsonObject>("fault"); // empty: devsite's own answer
    QTest::addColumn<QString>("message"); // empty: the dialog opens
    QTest::addColumn<int>("rows");

    const auto body = [](const QJsonObject& reply) {
        return QJsonObject { { "path", CHECK_PATH },
                             { "body", QString::fromUtf8(QJsonDocument(reply).toJson(QJsonDocument::Compact)) } };
    };
    QTest::newRow("nothing similar on the site") << QJsonObject() << "亲，没有内容重复资源！" << 0;
    QTest::newRow("empty list") << body({ { "errcode", 0 }, { "code", 0 }, { "data", QJsonArray() } })
                                << "亲，没有内容重复资源！" << 0;
    QTest::newRow("data null") << body({ { "errcode", 0 }, { "code", 0 }, { "data", QJsonValue() } })
                               << "亲，没有内容重复资源！" << 0;
    QTest::newRow("code not 0") << body({ { "errcode", 0 }, { "code", 1 }, { "data", hits(2).value("data") } })
                                << "亲，没有内容重复资源！" << 0;
    QTest::newRow("no code") << body({ { "errcode", 0 }, { "data", hits(2).value("data") } })
                             << "亲，没有内容重复资源！" << 0;
    QTest::newRow("request failed") << QJsonObject { { "path", CHECK_PATH }, { "status", 500 } }
                                    << "500,Internal Server Error" << 0;
    QTest::newRow("three similar") << body(hits(3)) << "" << 3;
}

void TestDuplicateCheck::textCheckAnswers()
{
    QFETCH(QJsonObject, fault);
    QFETCH(QString, message);
    QFETCH(int, rows);

    QVERIFY(site.reset());
    if (!fault.isEmpty())
        QVERIFY(site.fault(fault));
    MyMsgBox::clearShown();
    QWidget form;
    QPushButton button("查重", &form);
    AssetFormData data;
    data.file_text = "一段与站上任何资源都不相同的文字：鹦鹉螺的壳与对数螺线";
    data.xueduanid = 2;
    data.chid = 21;
    data.file_md5 = "0123456789abcdef0123456789abcdef";

    QStringList shownRows;
    bool enabledWhileShown = false;
    QTimer watch;
    watch.setInterval(20);
    connect(&watch, &QTimer::timeout, this, [&]() {
        if (auto* dialog = qobject_cast<MyRepeatDialog*>(QApplication::activeModalWidget())) {
            enabledWhileShown = button.isEnabled();
            for (QLabel* l : dialog->findChildren<QLabel*>("repeat_item_title"))
                shownRows << l->toolTip();
            dialog->findChild<QPushButton*>("bottom_close_btn")->click();
        }
    });
    watch.start();

    sendTextCheck(&form, &button, data);
    QVERIFY(!button.isEnabled()); // no second check while this one runs
    QTRY_VERIFY_WITH_TIMEOUT(!MyMsgBox::shownBoxes().isEmpty() || !shownRows.isEmpty(), 20000);
    QVERIFY(button.isEnabled());
    QCOMPARE(site.requests(CHECK_PATH).size(), 1);
    if (rows == 0) {
        QCOMPARE(MyMsgBox::shownBoxes().size(), 1);
        QCOMPARE(MyMsgBox::shownBoxes().at(0).text, message);
        QVERIFY(shownRows.isEmpty());
    } else {
        QVERIFY(MyMsgBox::shownBoxes().isEmpty());
        QVERIFY(enabledWhileShown);
        QCOMPARE(shownRows, QStringList({ "相似资源1", "相似资源2", "相似资源3" }));
    }
}

void TestDuplicateCheck::repeatDialogRows()
{
    const QString longTitle = QString("很长的标题").repeated(40);
    QJsonArray data = hits(3).value("data").toArray();
    data.replace(1, QJsonObject { { "title", longTitle } });
    MyRepeatDialog dialog(data);
    dialog.show();
    dialog.resize(dialog.width() + 10, dialog.height());
    QCoreApplication::processEvents();

    auto* list = dialog.findChild<QListWidget*>("t_body");
    QVERIFY(list);
    QCOMPARE(list->count(), 3);
    QStringList titles, rates;
    for (int i = 0; i < list->count(); ++i) {
        QWidget* row = list->itemWidget(list->item(i));
        QCOMPARE(row->objectName(), QString("t_row"));
        auto* title = row->findChild<QLabel*>("repeat_item_title");
        titles << title->toolTip();
        for (QLabel* l : row->findChildren<QLabel*>())
            if (l != title && l->pixmap(Qt::ReturnByValue).isNull())
                rates << l->text();
        if (i == 1)
            QVERIFY2(title->text() != longTitle && title->text().endsWith(QChar(0x2026)), "long title elided");
        else
            QCOMPARE(title->text(), title->toolTip());
    }
    QCOMPARE(titles, QStringList({ "相似资源1", longTitle, "相似资源3" }));
    QCOMPARE(rates, QStringList({ "80%", "80%", "80%" }));
    QCOMPARE(dialog.findChild<QPushButton*>("bottom_close_btn")->text(), QString("关闭 "));

    // A reply with thousands of "similar" resources shows the first of them, not a frozen window.
    QJsonArray flood;
    for (int i = 0; i < kMaxReplyRows * 10; ++i)
        flood.append(QJsonObject { { "title", QString::number(i) } });
    MyRepeatDialog crowded(flood);
    QCOMPARE(crowded.findChild<QListWidget*>("t_body")->count(), kMaxReplyRows);
}

QTEST_MAIN(TestDuplicateCheck)
#include "TestDuplicateCheck.moc"
