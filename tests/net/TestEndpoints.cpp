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
    void compiledTable_data();
    void compiledTable();
    void overrides_data();
    void overrides();
    void localServerHostIgnoresOverride();
};

void TestEndpoints::compiledTable_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("expected");

    const QString acct = "https://" + Endpoints::compiledHost(Endpoints::Role::Account);
    const QString web = "https://" + Endpoints::compiledHost(Endpoints::Role::Website);
    const QString news = "https://" + Endpoints::compiledHost(Endpoints::Role::News);
    const QString up = "http://" + Endpoints::compiledHost(Endpoints::Role::Upload);

    QTest::newRow("avatar") << URL_AVATAR << acct + "/avatar.php";
    QTest::newRow("tool login") << URL_TOOL_LOGIN << acct + "/tool/tool-login";
    QTest::newRow("remember login") << URL_REMEMBER_LOGIN << acct + "/tool/remember-login";
    QTest::newRow("ucp pm keeps its query") << URL_UCP_PM << web + "/ucp.php?mod=pm";
    QTest::newRow("upload over plain http") << URL_UPLOAD << up + "/upload/";
    QTest::newRow("asset submit") << URL_ASSET_SUBMIT << web + "/toolupload/asset/asset-submit";
    QTest::newRow("district") << URL_DISTRICT << web + "/toolupload/district";
    QTest::newRow("asset") << URL_ASSET << web + "/toolupload/asset";
    QTest::newRow("gains info") << URL_GAINS_INFO << web + "/toolupload/down-gains/gains-info";
    QTest::newRow("gains type") << URL_GAINS_TYPE << web + "/toolupload/down-gains/gains-type";
    QTest::newRow("gains total jin") << URL_GAINS_TOTAL_JIN << web + "/toolupload/down-gains/gains-total-jin";
    QTest::newRow("gains total pu") << URL_GAINS_TOTAL_PU << web + "/toolupload/down-gains/gains-total-pu";
    QTest::newRow("asset detail") << URL_ASSET_DETAIL << web + "/toolupload/asset/detail";
    QTest::newRow("checking intro") << URL_CHECKING_INTRO << web + "/toolupload/asset/checking-intro";
    QTest::newRow("version") << URL_VERSION << web + "/toolupload/versions/version";
    QTest::newRow("versions") << URL_VERSIONS << web + "/toolupload/versions";
    QTest::newRow("asset versions") << URL_ASSET_VERSIONS << web + "/toolupload/versions/asset-versions";
    QTest::newRow("subset check") << URL_SUBSET_CHECK << web + "/toolupload/asset/subset-check";
    QTest::newRow("version json") << URL_VERSION_JSON << web + "/nsoft/toolupload/version.json";
    QTest::newRow("rule json") << URL_RULE_JSON << web + "/nsoft/toolupload/resource/rule.json";
    QTest::newRow("vtup json") << URL_VTUP_JSON << web + "/nsoft/toolupload/resource/vtup.json";
    QTest::newRow("news notice") << URL_NEWS_NOTICE << news + "/A/130/137/V729019.shtml";
    QTest::newRow("news faq") << URL_NEWS_FAQ << news + "/A/130/137/V729020.shtml";
    QTest::newRow("news reward") << URL_NEWS_REWARD << news + "/A/130/123/V798955.shtml";
    QTest::newRow("soft") << URL_SOFT << web + "/soft.php";
    QTest::newRow("site login") << URL_SITE_LOGIN << web + "/toolupload/site/login";
    QTest::newRow("ucp") << URL_UCP << web + "/ucp.php";
    QTest::newRow("help") << URL_HELP << web + "/help/";
    QTest::newRow("drawing apply") << URL_DRAWING_APPLY << web + "/ucp.php?mod=drawing&op=apply";
    QTest::newRow("sign key") << UPLOAD_SIGN_KEY << "Tq8R*vm%5L&7";
    QTest::newRow("database file") << DB_FILE_NAME << "vtup_1.dat";
}

void TestEndpoints::compiledTable()
{
    QFETCH(QString, value);
    QFETCH(QString, expected);
    QCOMPARE(value, expected);
    QCOMPARE(UPLOAD_SIGN_KEY.size(), 12);
    QVERIFY(URL_SERVICE_CHAT.startsWith("https://"));
}

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
