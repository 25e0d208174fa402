// The version dialog against the local site: the states it shows, the queries it sends,
// the hand-off refusal without an updater, and the start-up check.
#include "app/StartupSequence.h"
#include "net/Endpoints.h"
#include "net/MyDAO.h"
#include "support/DevsiteFixture.h"
#include "update/MyVersionDialog.h"
#include "widgets/MyMsgBox.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {

const char* const kPath = "/nsoft/toolupload/version.json";

} // namespace

class TestVersionDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void states_data();
    void states();
    void failedQueryIsRetried_data();
    void failedQueryIsRetried();
    void devFile_data();
    void devFile();
    void missingUpdaterKeepsDialog();
    void startupCheckWithUnreachableSite();
    void startupCheckOffersNewVersion();

private:
    int versionRequests() { return site.requests(kPath).size(); }
    bool publish(const QString& version)
    {
        return site.admin("POST", "/__devsite/publish", QJsonObject { { "version", version } }).isObject();
    }

    DevsiteFixture site;
    QTemporaryDir emptyAppDir;
};

void TestVersionDialog::initTestCase()
{
    QVERIFY(site.start());
    site.exportEnv();
    qputenv("VANTREL_APPDIR", QFile::encodeName(emptyAppDir.path()));
    MyDAO::instance();
    MyMsgBox::setUnattended(true);
}

void TestVersionDialog::init()
{
    QVERIFY(site.reset());
    QVERIFY(publish(QString::fromLatin1(PROGRAM_VERSION)));
    MyMsgBox::clearShown();
}

void TestVersionDialog::states_data()
{
    QTest::addColumn<QString>("published");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("colour");
    QTest::addColumn<QString>("latest");

    const QString own = QString::fromLatin1(PROGRAM_VERSION);
    QTest::newRow("same") << own << "已是最新版本：" + own << "暂无更新"
                          << "color:#999;" << own;
    QTest::newRow("lower") << "2.27.0.200101"
                           << "检测到新版本：2.27.0.200101"
                           << "立即更新"
                           << "color:#01945d;"
                           << "2.27.0.200101";
    QTest::newRow("trailing blank") << own + " "
                                    << "检测到新版本：" + own + " "
                                    << "立即更新"
                                    << "color:#01945d;" << own + " ";
    QTest::newRow("letter case") << "2.28.1.210115A"
                                 << "检测到新版本：2.28.1.210115A"
                                 << "立即更新"
                                 << "color:#01945d;"
                                 << "2.28.1.210115A";
    // Nothing learnt: shown as new, but the next press asks again.
    QTest::newRow("empty") << ""
                           << "检测到新版本："
                           << "立即更新"
                           << "color:#01945d;"
                           << "";
}

void TestVersionDialog::states()
{
    QFETCH(QString, published);
    QFETCH(QString, label);
    QFETCH(QString, button);
    QFETCH(QString, colour);
    QFETCH(QString, latest);
    QVERIFY(publish(published));

    MyVersionDialog dialog;
    QCOMPARE(dialog.versionLabel()->text(), "目前版本：" + QString::fromLatin1(PROGRAM_VERSION));
    QCOMPARE(dialog.checkButton()->text(), QString("版本检测"));
    QTest::mouseClick(dialog.checkButton(), Qt::LeftButton);
    QCOMPARE(dialog.versionLabel()->text(), label);
    QCOMPARE(dialog.checkButton()->text(), button);
    QVERIFY(dialog.styleSheet().contains(colour));
    QCOMPARE(dialog.versionLabel()->styleSheet(), QString("QLabel { color:#01945d; font-size: 30px; } "));
    QCOMPARE(dialog.latest(), latest);

    // The query carried "t" before the client's "token".
    const QJsonArray sent = site.requests(kPath);
    QCOMPARE(sent.size(), 1);
    QVERIFY(sent.at(0).toObject().value("target").toString().contains(QRegularExpression("\\?t=\\d+&token=")));

    // A known version is never asked for again; an empty one is.
    dialog.queryVersions();
    if (latest == QString::fromLatin1(PROGRAM_VERSION))
        QTest::mouseClick(dialog.checkButton(), Qt::LeftButton);
    QCOMPARE(versionRequests(), latest.isEmpty() ? 2 : 1);
    QCOMPARE(MyMsgBox::shownBoxes().size(), 0);
}

void TestVersionDialog::failedQueryIsRetried_data()
{
    QTest::addColumn<QJsonObject>("fault");
    QTest::addColumn<QString>("label");
    QTest::newRow("status 500") << QJsonObject { { "path", kPath }, { "status", 500 } } << "网络请求失败";
    QTest::newRow("no JSON") << QJsonObject { { "path", kPath }, { "body", "<html>" } } << "网络请求失败";
    QTest::newRow("code 1") << QJsonObject { { "path", kPath }, { "body", "{\"code\":1,\"data\":[\"9\"]}" } }
                            << "网络请求错误";
}

void TestVersionDialog::failedQueryIsRetried()
{
    QFETCH(QJsonObject, fault);
    QFETCH(QString, label);
    QVERIFY(site.fault(fault));

    MyVersionDialog dialog;
    QCOMPARE(dialog.checkOnStart(), 0);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.versionLabel()->text(), label);
    QCOMPARE(dialog.checkButton()->text(), QString("版本检测"));
    QVERIFY(dialog.latest().isEmpty());

    QTest::mouseClick(dialog.checkButton(), Qt::LeftButton);
    QCOMPARE(versionRequests(), 2);
    QCOMPARE(dialog.versionLabel()->text(), "已是最新版本：" + QString::fromLatin1(PROGRAM_VERSION));
}

void TestVersionDialog::devFile_data()
{
    QTest::addColumn<QString>("env");
    QTest::addColumn<QString>("path");
    QTest::newRow("dev") << "dev"
                         << "/nsoft/toolupload/version_2.json";
    QTest::newRow("Dev") << "Dev"
                         << "/nsoft/toolupload/version.json";
    QTest::newRow("dev with blank") << "dev "
                                    << "/nsoft/toolupload/version.json";
}

void TestVersionDialog::devFile()
{
    QFETCH(QString, env);
    QFETCH(QString, path);
    qputenv("VANTREL_ENV", env.toUtf8());
    MyVersionDialog dialog;
    qunsetenv("VANTREL_ENV");
    QCOMPARE(dialog.versionUrl(), site.httpsBase() + path);
    dialog.queryVersions();
    QCOMPARE(site.requests(path).size(), 1);
}

void TestVersionDialog::missingUpdaterKeepsDialog()
{
    QVERIFY(publish("2.29.0.1"));
    MyVersionDialog dialog;
    dialog.show();
    QTest::mouseClick(dialog.checkButton(), Qt::LeftButton);
    QCOMPARE(dialog.checkButton()->text(), QString("立即更新"));
    MyMsgBox::answerNext(MyMsgBox::PressSubmit);
    QTest::mouseClick(dialog.checkButton(), Qt::LeftButton);

    const QList<MyMsgBox::Shown> shown = MyMsgBox::shownBoxes();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.at(0).title, QString("警告信息"));
    QCOMPARE(shown.at(0).text, QString("更新失败，velwick.exe文件丢失"));
    QVERIFY(!shown.at(0).hasCancel);
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.result(), 0);
}

void TestVersionDialog::startupCheckWithUnreachableSite()
{
    qputenv("VANTREL_WEBSITE_URL", "https://127.0.0.1:9");
    Endpoints::reload();
    const bool accepted = updateAcceptedOnStart();
    site.exportEnv();
    // Nothing is offered (a modal offer would wait here for ever) and nothing is reported.
    QVERIFY(!accepted);
    QCOMPARE(MyMsgBox::shownBoxes().size(), 0);
}

void TestVersionDialog::startupCheckOffersNewVersion()
{
    QVERIFY(publish("2.29.0.1"));
    QString offered;
    // The offer is modal; the user closes it, and the program goes on.
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
        auto* dialog = qobject_cast<MyVersionDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        poll.stop();
        offered = dialog->versionLabel()->text() + "|" + dialog->checkButton()->text();
        QTest::mouseClick(dialog->closeButton(), Qt::LeftButton);
    });
    poll.start(20);
    QVERIFY(!updateAcceptedOnStart());
    QCOMPARE(offered, QString("检测到新版本：2.29.0.1|立即更新"));
}

QTEST_MAIN(TestVersionDialog)
#include "TestVersionDialog.moc"
