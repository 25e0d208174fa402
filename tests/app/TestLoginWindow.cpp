#include "app/LoginWindow.h"
#include "net/Endpoints.h"
#include "net/LoginFormData.h"
#include "net/MyDAO.h"
#include "support/DevsiteFixture.h"

#include <QCheckBox>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrlQuery>
#include <QtTest>

namespace {

QJsonObject bodyOf(const QJsonValue& entry)
{
    return QJsonDocument::fromJson(entry.toObject().value("body").toString().toUtf8()).object();
}

bool waitIdle(LoginWindow& w)
{
    return QTest::qWaitFor([&] { return !w.isBusy(); }, 20000);
}

void fill(LoginWindow& w, const QString& user, const QString& password)
{
    w.userEdit()->setText(user);
    w.passwordEditor()->setText(password);
}

} // namespace

class TestLoginWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void firstStart();
    void emptyFields_data();
    void emptyFields();
    void replies_data();
    void replies();
    void noticeCancelReturnsToForm();
    void successAccepts();
    void busyClickIgnored();
    void closedWhileWaiting();
    void autoLoginChecksRemember();
    void rememberedKey();
    void typingDropsRememberedKey();
    void refusedKeyIsForgotten();
    void automaticLogin();
    void noAutomaticLoginForOtherAccount();

private:
    // Logs in through the engine with "记住密码" and reloads the recent accounts.
    QString rememberAccount(const QString& user);

    DevsiteFixture site;
};

void TestLoginWindow::initTestCase()
{
    QVERIFY(site.start());
    site.exportEnv();
    MyDAO::instance();
}

void TestLoginWindow::init()
{
    MyDAO::instance()->clearLogins();
    MyDAO::instance()->loadRecentLogins();
    QVERIFY(site.reset());
}

QString TestLoginWindow::rememberAccount(const QString& user)
{
    LoginFormData form;
    form.username = user;
    form.password = "demo1234";
    form.remember_me = true;
    bool done = false;
    MyDAO::instance()->login(form, [&](QJsonObject&) { done = true; });
    if (!QTest::qWaitFor([&] { return done; }, 20000))
        return {};
    MyDAO::instance()->loadRecentLogins();
    if (!site.reset())
        return {};
    return MyDAO::instance()->currentLogin().remember_encrypt_key;
}

void TestLoginWindow::firstStart()
{
    LoginWindow w;
    QCOMPARE(w.size(), QSize(462, 367));
    QCOMPARE(w.windowTitle(), QString("Zentrel-登录"));
    QVERIFY(w.userEdit()->text().isEmpty());
    QVERIFY(w.passwordEditor()->text().isEmpty());
    QCOMPARE(w.passwordEditor()->echoMode(), QLineEdit::Password);
    QCOMPARE(w.userEdit()->placeholderText(), QString("用户名"));
    QCOMPARE(w.passwordEditor()->placeholderText(), QString("密码"));
    QVERIFY(!w.rememberBox()->isChecked());
    QVERIFY(!w.autoLoginBox()->isChecked());
    QCOMPARE(w.autoLoginBox()->text(), QString("自动登录 "));
    QVERIFY(!w.isBusy());
    QVERIFY(!w.isUsingRememberedKey());
    QCOMPARE(w.submitButton()->text(), QString("登录"));
    QCOMPARE(w.submitButton()->objectName(), QString("login_submit_btn"));
    QCOMPARE(w.errorTip()->objectName(), QString("login_error_tip"));
    QCOMPARE(w.errorTip()->text(), QString("账号或者密码错误"));
    QVERIFY(w.errorTip()->isHidden());
    for (const char* name : { "login_title_bar", "title_login", "min_login_btn", "close_login_btn", "login_form",
                              "login_avatar", "login_cancel_btn" })
        QVERIFY2(w.findChild<QWidget*>(name), name);

    QCOMPARE(site.requests("/tool/tool-login").size(), 0);
}

void TestLoginWindow::emptyFields_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::newRow("both empty") << ""
                                << "";
    QTest::newRow("no password") << "demo_teacher"
                                 << "";
    QTest::newRow("blank password") << "demo_teacher"
                                    << "   ";
    QTest::newRow("blank name") << " \t"
                                << "demo1234";
}

void TestLoginWindow::emptyFields()
{
    QFETCH(QString, user);
    QFETCH(QString, password);
    LoginWindow w;
    w.show();
    fill(w, user, password);
    QTest::mouseClick(w.submitButton(), Qt::LeftButton);
    QVERIFY(!w.errorTip()->isHidden());
    QCOMPARE(w.errorTip()->text(), QString("账号和密码不能为空"));
    QVERIFY(!w.isBusy());
    QTest::qWait(50);
    QCOMPARE(site.requests("/tool/tool-login").size(), 0);
}

void TestLoginWindow::replies_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QJsonObject>("fault"); // empty: devsite answers for itself
    QTest::addColumn<QString>("tip"); // empty: the notice page shows instead
    QTest::addColumn<QString>("notice");
    QTest::addColumn<QString>("link");

    const QJsonObject none;
    auto body = [](const char* text) {
        return QJsonObject { { "path", "/tool/tool-login" }, { "count", 1 }, { "body", text } };
    };
    QTest::newRow("wrong password 10002") << "demo_teacher"
                                          << "nope" << none << "账户名或密码错误"
                                          << ""
                                          << "";
    QTest::newRow("locked 10020") << "demo_locked"
                                  << "demo1234" << none << "账户名或密码错误"
                                  << ""
                                  << "";
    QTest::newRow("restricted 10007") << "demo_restricted"
                                      << "demo1234" << none << "该账号被限制登录"
                                      << ""
                                      << "";
    QTest::newRow("reason -1") << "demo_reason"
                               << "demo1234" << none << "登录过于频繁，请10分钟后再试"
                               << ""
                               << "";
    QTest::newRow("message -2") << "demo_message"
                                << "demo1234" << none << "系统维护中，暂停登录，请稍后再试"
                                << ""
                                << "";
    QTest::newRow("unverified 10006") << "demo_unverified"
                                      << "demo1234" << none << ""
                                      << "您的账号未实名，请先进行实名认证！"
                                      << "[点击认证]";
    QTest::newRow("abnormal 40001") << "demo_abnormal"
                                    << "demo1234" << none << ""
                                    << "您的账号存在异常，请进行安全验证，解除限制！"
                                    << "[点击这里]";
    QTest::newRow("transport -3") << "demo_teacher"
                                  << "demo1234"
                                  << QJsonObject { { "path", "/tool/tool-login" }, { "count", 1 }, { "status", 500 } }
                                  << "500,Internal Server Error"
                                  << ""
                                  << "";
    QTest::newRow("errcode absent") << "demo_teacher"
                                    << "demo1234" << body("{\"message\":\"x\"}") << "登录失败"
                                    << ""
                                    << "";
    QTest::newRow("errcode null") << "demo_teacher"
                                  << "demo1234" << body("{\"errcode\":null,\"message\":\"x\"}") << "登录失败"
                                  << ""
                                  << "";
    QTest::newRow("code 400 ends the wait with its text")
        << "demo_teacher"
        << "demo1234" << body("{\"code\":400,\"msg\":\"请求已失效，请重试\"}") << "请求已失效，请重试"
        << ""
        << "";
    QTest::newRow("other errcode") << "demo_teacher"
                                   << "demo1234" << body("{\"errcode\":12345}") << "登录失败,errcode:12345"
                                   << ""
                                   << "";
}

void TestLoginWindow::replies()
{
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QJsonObject, fault);
    QFETCH(QString, tip);
    QFETCH(QString, notice);
    QFETCH(QString, link);
    if (!fault.isEmpty())
        QVERIFY(site.fault(fault));

    LoginWindow w;
    w.show();
    fill(w, user, password);
    QTest::mouseClick(w.submitButton(), Qt::LeftButton);
    QVERIFY(w.isBusy());
    QCOMPARE(w.submitButton()->text(), QString("正在登录..."));
    QVERIFY(w.errorTip()->isHidden());
    QVERIFY(waitIdle(w));

    QCOMPARE(w.submitButton()->text(), QString("登录"));
    QCOMPARE(w.result(), 0);
    QVERIFY(w.isVisible());
    if (!tip.isEmpty()) {
        QVERIFY(!w.errorTip()->isHidden());
        QCOMPARE(w.errorTip()->text(), tip);
        QVERIFY(!w.isNoticeShown());
        QVERIFY(w.findChild<QWidget*>("login_form")->isVisible());
    } else {
        QVERIFY(w.errorTip()->isHidden());
        QVERIFY(w.isNoticeShown());
        QVERIFY(!w.findChild<QWidget*>("login_form")->isVisible());
        QVERIFY(w.noticeText()->isVisible());
        const QString text = w.noticeText()->toPlainText();
        QVERIFY2(text.contains(notice), qPrintable(text));
        QVERIFY2(text.contains(link), qPrintable(text));
        QVERIFY(w.noticeText()->toHtml().contains(Endpoints::base(Endpoints::Role::Account) + "/"));
    }
    // No refusal leaves a session behind for the next start.
    QCOMPARE(MyDAO::instance()->loadRecentLogins().size(), 0);
}

void TestLoginWindow::noticeCancelReturnsToForm()
{
    LoginWindow w;
    w.show();
    fill(w, "demo_unverified", "demo1234");
    w.login(false);
    QVERIFY(waitIdle(w));
    QVERIFY(w.isNoticeShown());
    QTest::mouseClick(w.cancelButton(), Qt::LeftButton);
    QVERIFY(!w.isNoticeShown());
    QVERIFY(w.errorTip()->isHidden());
    QVERIFY(w.findChild<QWidget*>("login_form")->isVisible());
    QCOMPARE(w.userEdit()->text(), QString("demo_unverified"));
}

void TestLoginWindow::successAccepts()
{
    LoginWindow w;
    w.show();
    fill(w, "  demo_teacher ", " demo1234 ");
    QTest::mouseClick(w.submitButton(), Qt::LeftButton);
    QVERIFY(waitIdle(w));
    QCOMPARE(w.result(), int(QDialog::Accepted));
    QVERIFY(!w.isVisible());
    QVERIFY(w.errorTip()->isHidden());
    QCOMPARE(MyDAO::instance()->uid(), 10001);
    // Names and passwords are sent trimmed.
    const QJsonObject body = bodyOf(site.requests("/tool/tool-login").last());
    QCOMPARE(body.value("username").toString(), QString("demo_teacher"));
    QCOMPARE(body.value("password").toString(), QString("demo1234"));
}

void TestLoginWindow::busyClickIgnored()
{
    QVERIFY(site.fault({ { "path", "/tool/tool-login" }, { "count", 1 }, { "delay_ms", 300 } }));
    LoginWindow w;
    w.show();
    fill(w, "demo_teacher", "wrong");
    QTest::mouseClick(w.submitButton(), Qt::LeftButton);
    QTest::mouseClick(w.submitButton(), Qt::LeftButton);
    w.login(false);
    QVERIFY(waitIdle(w));
    QCOMPARE(w.errorTip()->text(), QString("账户名或密码错误"));
    QCOMPARE(site.requests("/tool/tool-login").size(), 1);
}

void TestLoginWindow::closedWhileWaiting()
{
    MyDAO::instance()->setUid(0);
    auto* w = new LoginWindow;
    w->show();
    fill(*w, "demo_teacher", "demo1234");
    w->login(false);
    QVERIFY(w->isBusy());
    delete w;
    // The reply still logs the session in; the dialog's handler must not run on the gone window.
    QVERIFY(QTest::qWaitFor([] { return MyDAO::instance()->uid() == 10001; }, 20000));
    QTest::qWait(50);
}

void TestLoginWindow::autoLoginChecksRemember()
{
    LoginWindow w;
    w.autoLoginBox()->setChecked(true);
    QVERIFY(w.rememberBox()->isChecked());
    w.autoLoginBox()->setChecked(false);
    QVERIFY(w.rememberBox()->isChecked());
    w.rememberBox()->setChecked(false);
    QVERIFY(!w.autoLoginBox()->isChecked());
}

void TestLoginWindow::rememberedKey()
{
    const QString key = rememberAccount("demo_teacher");
    QVERIFY(!key.isEmpty());

    LoginWindow w;
    w.show();
    QCOMPARE(w.userEdit()->text(), QString("demo_teacher"));
    QCOMPARE(w.passwordEditor()->text(), QString("0123456789"));
    QVERIFY(w.rememberBox()->isChecked());
    QVERIFY(w.isUsingRememberedKey());
    QVERIFY(!w.isBusy()); // no automatic login without the setting

    QTest::mouseClick(w.submitButton(), Qt::LeftButton);
    QVERIFY(waitIdle(w));
    QCOMPARE(w.result(), int(QDialog::Accepted));
    QCOMPARE(site.requests("/tool/tool-login").size(), 0);
    const QJsonArray sent = site.requests("/tool/remember-login");
    QCOMPARE(sent.size(), 1);
    const QJsonObject body = bodyOf(sent.first());
    QCOMPARE(body.value("encryptkey").toString(), key);
    QCOMPARE(body.value("remember_me"), QJsonValue("1"));
    QVERIFY(!body.contains("password"));
    QVERIFY(!QJsonDocument(body).toJson().contains("0123456789"));
}

void TestLoginWindow::typingDropsRememberedKey()
{
    QVERIFY(!rememberAccount("demo_solo").isEmpty());
    LoginWindow w;
    w.show();
    QVERIFY(w.isUsingRememberedKey());
    QTest::keyClick(w.userEdit(), Qt::Key_End);
    QTest::keyClicks(w.userEdit(), "x");
    QVERIFY(w.passwordEditor()->text().isEmpty());
    QVERIFY(!w.isUsingRememberedKey());
    // Taking the character back does not bring the key back.
    QTest::keyClick(w.userEdit(), Qt::Key_Backspace);
    QTest::keyClicks(w.passwordEditor(), "demo1234");
    QTest::mouseClick(w.submitButton(), Qt::LeftButton);
    QVERIFY(waitIdle(w));
    QCOMPARE(w.result(), int(QDialog::Accepted));
    QCOMPARE(site.requests("/tool/remember-login").size(), 0);
    const QJsonObject body = bodyOf(site.requests("/tool/tool-login").first());
    QCOMPARE(body.value("password").toString(), QString("demo1234"));
    QVERIFY(!body.contains("encryptkey"));
}

void TestLoginWindow::refusedKeyIsForgotten()
{
    MyDAO* dao = MyDAO::instance();
    QVERIFY(!rememberAccount("demo_teacher").isEmpty());
    // The site no longer knows the key: it refuses it with 10086.
    RecentLogin stale = dao->currentLogin();
    stale.remember_encrypt_key = "expired-key";
    QVERIFY(dao->saveLogin(stale, "expired-key"));
    dao->setAutoLoginUid(stale.uid);
    dao->loadRecentLogins();
    QCOMPARE(dao->recentLogins().value(0).remember_encrypt_key, QString("expired-key"));

    {
        LoginWindow w;
        w.show();
        QVERIFY(w.isBusy()); // automatic login
        QCOMPARE(w.submitButton()->text(), QString("自动登录..."));
        QVERIFY(waitIdle(w));
        QCOMPARE(w.errorTip()->text(), QString("登录失败，记住密码失效"));
        QVERIFY(!w.errorTip()->isHidden());
        QVERIFY(w.passwordEditor()->text().isEmpty());
        QVERIFY(!w.isUsingRememberedKey());
        QCOMPARE(w.result(), 0);
        QCOMPARE(bodyOf(site.requests("/tool/remember-login").first()).value("encryptkey").toString(),
                 QString("expired-key"));
    }

    // The stored account lost its key: the next dialog offers no remembered password and
    // does not log in by itself.
    dao->loadRecentLogins();
    QCOMPARE(dao->recentLogins().size(), 1);
    QVERIFY(dao->recentLogins().first().remember_encrypt_key.isEmpty());
    LoginWindow next;
    next.show();
    QVERIFY(!next.isBusy());
    QVERIFY(next.passwordEditor()->text().isEmpty());
    QVERIFY(!next.rememberBox()->isChecked());
    QVERIFY(!next.isUsingRememberedKey());
    fill(next, "demo_teacher", "demo1234");
    next.login(false);
    QVERIFY(waitIdle(next));
    QCOMPARE(next.result(), int(QDialog::Accepted));
    QCOMPARE(site.requests("/tool/remember-login").size(), 1);
    QCOMPARE(bodyOf(site.requests("/tool/tool-login").first()).value("password").toString(), QString("demo1234"));
}

void TestLoginWindow::automaticLogin()
{
    MyDAO* dao = MyDAO::instance();
    QVERIFY(!rememberAccount("demo_teacher").isEmpty());
    dao->setAutoLoginUid(10001);

    LoginWindow w;
    QVERIFY(w.isBusy());
    QCOMPARE(w.submitButton()->text(), QString("自动登录..."));
    QVERIFY(waitIdle(w));
    // The reply came before the dialog ran: exec() returns at once, logged in.
    QCOMPARE(w.exec(), int(QDialog::Accepted));
    QCOMPARE(dao->uid(), 10001);
    QCOMPARE(site.requests("/tool/remember-login").size(), 1);
}

void TestLoginWindow::noAutomaticLoginForOtherAccount()
{
    MyDAO* dao = MyDAO::instance();
    QVERIFY(!rememberAccount("demo_teacher").isEmpty());
    dao->setAutoLoginUid(10002);
    LoginWindow w;
    QVERIFY(!w.isBusy());
    QCOMPARE(w.submitButton()->text(), QString("登录"));
    QTest::qWait(100);
    QCOMPARE(site.requests("/tool/remember-login").size(), 0);
}

QTEST_MAIN(TestLoginWindow)
#include "TestLoginWindow.moc"
