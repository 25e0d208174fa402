#include "net/Endpoints.h"

#include <QTest>

namespace {

const char* const kVariables[]
    = { "VANTREL_WEBSITE_URL", "VANTREL_ACCOUNT_URL", "VANTREL_UPLOAD_URL", "VANTREL_NEWS_URL" };

void clearOverrides()
{
    for (const char* v : kVariables)
        qunsetenv(v);
    Endpoints::reload();
}

} // namespace

class TestEndpoints : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { clearOverrides(); }
    void init() { clearOverrides(); }
    void cleanupTestCase() { clearOverrides(); }
    void overrides_data();
    void overrides();
    void localServerHostIgnoresOverride();
};

void TestEndpoints::overrides_data()
{
    QTest::addColumn<QByteArray>("variable");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QString>("probe");
    QTest::addColumn<QString>("expected");

    QTest::newRow("website with port") << QByteArray("VANTREL_WEBSITE_URL") << QByteArray("https://127.0.0.1:8443")
                                       << "asset detail"
                                       << "https://127.0.0.1:8443/toolupload/asset/detail";
    QTest::newRow("trailing slashes dropped")
        << QByteArray("VANTREL_WEBSITE_URL") << QByteArray("https://127.0.0.1:8443//") << "ucp pm"
        << "https://127.0.0.1:8443/ucp.php?mod=pm";
    QTest::newRow("account") << QByteArray("VANTREL_ACCOUNT_URL") << QByteArray("https://localhost:9001")
                             << "tool login"
                             << "https://localhost:9001/tool/tool-login";
    QTest::newRow("upload") << QByteArray("VANTREL_UPLOAD_URL") << QByteArray("http://127.0.0.1:8080") << "upload"
                            << "http://127.0.0.1:8080/upload/";
    QTest::newRow("news") << QByteArray("VANTREL_NEWS_URL") << QByteArray("https://127.0.0.1:7") << "news faq"
                          << "https://127.0.0.1:7/A/130/137/V729020.shtml";
    QTest::newRow("website leaves account alone")
        << QByteArray("VANTREL_WEBSITE_URL") << QByteArray("https://127.0.0.1:8443") << "avatar"
        << "https://" + Endpoints::compiledHost(Endpoints::Role::Account) + "/avatar.php";
    QTest::newRow("blank value is no override")
        << QByteArray("VANTREL_WEBSITE_URL") << QByteArray("  ") << "help"
        << "https://" + Endpoints::compiledHost(Endpoints::Role::Website) + "/help/";
}

void TestEndpoints::overrides()
{
    QFETCH(QByteArray, variable);
    QFETCH(QByteArray, value);
    QFETCH(QString, probe);
    QFETCH(QString, expected);

    qputenv(variable.constData(), value);
    Endpoints::reload();
    const QMap<QString, const QString*> probes { { "asset detail", &URL_ASSET_DETAIL },
                                                 { "ucp pm", &URL_UCP_PM },
                                                 { "tool login", &URL_TOOL_LOGIN },
                                                 { "upload", &URL_UPLOAD },
                                                 { "news faq", &URL_NEWS_FAQ },
                                                 { "avatar", &URL_AVATAR },
                                                 { "help", &URL_HELP } };
    QCOMPARE(*probes.value(probe), expected);
    // The constants are not addresses.
    QCOMPARE(UPLOAD_SIGN_KEY, QString("Tq8R*vm%5L&7"));
    QCOMPARE(DB_FILE_NAME, QString("vtup_1.dat"));

    clearOverrides();
    QVERIFY(!probes.value(probe)->contains("127.0.0.1") && !probes.value(probe)->contains("localhost"));
}

void TestEndpoints::localServerHostIgnoresOverride()
{
    const QString compiled = Endpoints::compiledHost(Endpoints::Role::Website);
    qputenv("VANTREL_WEBSITE_URL", "https://127.0.0.1:8443");
    Endpoints::reload();
    QCOMPARE(Endpoints::compiledHost(Endpoints::Role::Website), compiled);
    QCOMPARE(Endpoints::base(Endpoints::Role::Website), QString("https://127.0.0.1:8443"));
    QVERIFY(!compiled.isEmpty() && !compiled.contains(':') && !compiled.contains('/'));
}

QTEST_GUILESS_MAIN(TestEndpoints)
#include "TestEndpoints.moc"
