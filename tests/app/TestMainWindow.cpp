#include "app/LoginWindow.h"
#include "app/MainWindow.h"
#include "app/MySidebarWidget.h"
#include "app/MySysinfoWidget.h"
#include "app/MyTopbarWidget.h"
#include "app/TrayIcon.h"
#include "net/Endpoints.h"
#include "net/MyDAO.h"
#include "support/UrlSink.h"
#include "ui/MyAssetUpload.h"
#include "ui/MyProgressItemDetailDialog.h"
#include "ui/MyTichengWidget.h"
#include "ui/MyUplistWidget.h"
#include "update/MyVersionDialog.h"
#include "upload/MyUploadManager.h"
#include "widgets/MyMsgBox.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

// Acts on the login dialog once it runs (from inside its own event loop).
void whenLoginShows(std::function<void(LoginWindow*)> act)
{
    auto* poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll, act] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* login = qobject_cast<LoginWindow*>(w);
            if (login && login->isVisible()) {
                poll->stop();
                poll->deleteLater();
                act(login);
                return;
            }
        }
    });
    poll->start();
}

QStringList actionTexts(const QMenu* menu)
{
    QStringList texts;
    for (const QAction* a : menu->actions())
        texts << a->text();
    return texts;
}

QAction* actionNamed(const QMenu* menu, const QString& text)
{
    for (QAction* a : menu->actions()) {
        if (a->text() == text)
            return a;
    }
    return nullptr;
}

// What a window announced with s_w, noted when it was emitted (the login dialog is gone
// by the time the test looks).
struct Announcements
{
    QStringList kinds;
    QList<QWidget*> windows;
    void listen(MainWindow* w)
    {
        QObject::connect(w, &MainWindow::s_w, [this](QWidget* x) {
            kinds << x->metaObject()->className();
            windows << x;
        });
    }
};

void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QApplication::setQuitOnLastWindowClosed(false);
        QDesktopServices::setUrlHandler("https", &sink, "open");
        QDesktopServices::setUrlHandler("http", &sink, "open");
        QFile qss(":/resources/vtup.qss");
        QVERIFY(qss.open(QIODevice::ReadOnly));
        qApp->setStyleSheet(QString::fromUtf8(qss.readAll()));
        MyMsgBox::setUnattended(true);
        MyDAO::instance();
    }

    void init()
    {
        TrayIcon::setAvailableOverride(-1);
        MyMsgBox::clearShown();
        MyMsgBox::setShowHook(nullptr);
        sink.urls.clear();
    }

    void cleanup()
    {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (qobject_cast<MainWindow*>(w))
                w->deleteLater();
        }
        flushDeletes();
        MyUploadManager::instance()->stopAll();
    }

    void layoutOfTheWindow()
    {
        MainWindow w;
        QCOMPARE(w.size(), QSize(1112, 662));
        QCOMPARE(w.minimumSize(), QSize(1002, 662));
        QVERIFY(w.isResizable());
        QCOMPARE(w.windowTitle(), QString("Zentrel"));
        QCOMPARE(w.outerMargin(), 6);
        QCOMPARE(w.sideBar()->width(), 180);
        QCOMPARE(w.topBar()->height(), 60);
        QCOMPARE(w.sideBar()->current(), MENU_ITEMLIST);
        QCOMPARE(w.currentPage(), static_cast<QWidget*>(w.uploadPage()));
        QCOMPARE(w.uploadPage()->property("KlassName").toString(), QString("MyAssetUpload"));

        QStringList captions;
        for (MyMenuType t = 0; t < 4; ++t)
            captions << w.sideBar()->button(t)->text() + "/" + w.sideBar()->button(t)->objectName();
        QCOMPARE(captions,
                 QStringList({ "资料上传/itemlist", "我的上传/uplist", "我的提成/ticheng", "系统消息/sysmsg" }));

        QCOMPARE(actionTexts(w.topBar()->userMenu()),
                 QStringList({ "个人中心", "帮助中心", "关于Zentrel", "操作演示视频", "切换账号", "退出登录" }));
        QCOMPARE(actionTexts(w.topBar()->helpMenu()), QStringList({ "注意事项", "常见问题", "奖励规则" }));
        for (const char* name : { "top_avatar_image", "topbar_icon_head", "topbar_icon_faq", "main_min_btn",
                                  "main_max_btn", "main_close_btn" })
            QVERIFY2(w.findChild<QWidget*>(name), name);
        QCOMPARE(w.findChild<QWidget*>("topbar_icon_head")->toolTip(), QString("联系客服"));
        QCOMPARE(w.findChild<QWidget*>("topbar_icon_faq")->toolTip(), QString("帮助"));
    }

    void menuButtonPicturesAndStyle_data()
    {
        QTest::addColumn<bool>("active");
        QTest::addColumn<bool>("hovered");
        QTest::addColumn<QString>("icon");
        QTest::newRow("idle") << false << false << ":/images/uplist_normal.png";
        QTest::newRow("under the mouse") << false << true << ":/images/uplist_hover.png";
        QTest::newRow("active") << true << false << ":/images/uplist_hover.png";
        QTest::newRow("active and left by the mouse") << true << true << ":/images/uplist_hover.png";
    }

    void menuButtonPicturesAndStyle()
    {
        QFETCH(bool, active);
        QFETCH(bool, hovered);
        QFETCH(QString, icon);
        MyMenuButton button({ "uplist", "我的上传", "uplist", MENU_UPLIST });
        button.resize(180, 60);
        button.setActive(active);
        if (hovered) {
            QEvent enter(QEvent::Enter);
            QApplication::sendEvent(&button, &enter);
        }
        QCOMPARE(button.iconPath(), icon);
        QCOMPARE(button.property("is_active").toBool(), active);
        if (hovered && active) {
            QEvent leave(QEvent::Leave);
            QApplication::sendEvent(&button, &leave);
            QCOMPARE(button.iconPath(), icon); // still active
        }
        // The style sheet paints an active entry on its own background.
        QImage canvas(button.size(), QImage::Format_ARGB32);
        canvas.fill(Qt::white);
        button.render(&canvas);
        QCOMPARE(canvas.pixelColor(170, 30) == QColor("#cfe7de"), active);
    }

    void sameEntryDoesNothing()
    {
        MainWindow w;
        QSignalSpy asked(w.sideBar(), &MySidebarWidget::s_toggle_current_menu);
        QWidget* before = w.currentPage();
        w.sideBar()->button(MENU_ITEMLIST)->click();
        QCOMPARE(asked.count(), 0);
        QTest::qWait(150);
        QCOMPARE(w.currentPage(), before);

        w.sideBar()->button(MENU_UPLIST)->click();
        QCOMPARE(asked.count(), 1);
        QCOMPARE(asked.first().first().toInt(), int(MENU_UPLIST));
    }

    void quickClicksBuildOnlyTheLastPage()
    {
        MainWindow w;
        w.sideBar()->button(MENU_UPLIST)->click();
        w.sideBar()->button(MENU_TICHENG)->click();
        // The selection moves at once, the page follows later.
        QCOMPARE(w.sideBar()->current(), MENU_TICHENG);
        QVERIFY(w.sideBar()->button(MENU_TICHENG)->isActive());
        QVERIFY(!w.sideBar()->button(MENU_UPLIST)->isActive());
        QCOMPARE(w.currentPage(), static_cast<QWidget*>(w.uploadPage()));
        QTRY_VERIFY(qobject_cast<MyTichengWidget*>(w.currentPage()));
        QTest::qWait(150);
        QVERIFY(w.findChildren<MyUplistWidget*>().isEmpty());
        QVERIFY(qobject_cast<MyTichengWidget*>(w.currentPage()));
        QVERIFY(w.currentPage()->isVisibleTo(&w));
        QVERIFY(w.uploadPage()->isHidden());
    }

    void uploadPageIsKeptOtherPagesAreFresh()
    {
        MainWindow w;
        MyAssetUpload* upload = w.uploadPage();
        w.toggleMenu(MENU_UPLIST);
        QTRY_VERIFY(qobject_cast<MyUplistWidget*>(w.currentPage()));
        QPointer<QWidget> firstList = w.currentPage();
        QCOMPARE(firstList->property("KlassName").toString(), QString());

        w.toggleMenu(MENU_ITEMLIST);
        QTRY_COMPARE(w.currentPage(), static_cast<QWidget*>(upload));
        flushDeletes();
        QVERIFY(firstList.isNull());
        QVERIFY(!upload->isHidden());

        w.toggleMenu(MENU_UPLIST);
        QTRY_VERIFY(qobject_cast<MyUplistWidget*>(w.currentPage()));
        w.toggleMenu(MENU_SYSMSG);
        QTRY_VERIFY(qobject_cast<MySysinfoWidget*>(w.currentPage()));
        flushDeletes();
        QCOMPARE(w.findChildren<MyUplistWidget*>().size(), 0);
        QCOMPARE(w.findChildren<MyAssetUpload*>().size(), 1);

        // An unknown entry only moves the selection.
        QWidget* sysmsg = w.currentPage();
        w.toggleMenu(7);
        QTest::qWait(150);
        QCOMPARE(w.currentPage(), sysmsg);
    }

    void leavingTheFormIsAsked_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("leaves");
        QTest::newRow("取消 keeps the form") << int(MyMsgBox::PressCancel) << false;
        QTest::newRow("close button keeps the form") << int(MyMsgBox::PressClose) << false;
        QTest::newRow("确定 leaves the form") << int(MyMsgBox::PressSubmit) << true;
    }

    void leavingTheFormIsAsked()
    {
        QFETCH(int, answer);
        QFETCH(bool, leaves);
        MainWindow w;
        w.uploadPage()->setEditing(true);
        MyMsgBox::answerNext(MyMsgBox::Answer(answer));
        w.sideBar()->button(MENU_TICHENG)->click();
        QCOMPARE(MyMsgBox::shownBoxes().size(), 1);
        QCOMPARE(MyMsgBox::shownBoxes()[0].text, QString("是否退出编辑？"));
        QVERIFY(MyMsgBox::shownBoxes()[0].hasCancel);
        QCOMPARE(w.uploadPage()->isEditing(), !leaves);
        QCOMPARE(w.sideBar()->current(), leaves ? MENU_TICHENG : MENU_ITEMLIST);
        QTest::qWait(150);
        QCOMPARE(qobject_cast<MyTichengWidget*>(w.currentPage()) != nullptr, leaves);

        // Away from the upload page nothing is asked.
        if (leaves) {
            w.uploadPage()->setEditing(true);
            w.toggleMenu(MENU_UPLIST);
            QCOMPARE(MyMsgBox::shownBoxes().size(), 1);
        }
    }

    void logoutKeepsTheRememberedLogin()
    {
        MyDAO* dao = MyDAO::instance();
        RecentLogin account;
        account.uid = 4242;
        account.username = "remembered_teacher";
        account.remember_encrypt_key = "k-4242";
        QVERIFY(dao->saveLogin(account, "k-4242"));
        dao->setAutoLoginUid(4242);

        auto* w = new MainWindow;
        w->show();
        MyUploadManager::instance()->createWorkers();
        QCOMPARE(MyUploadManager::instance()->workerCount(), MyUploadManager::kWorkers);

        // Declined: the window stays and comes to the front.
        MyMsgBox::answerNext(MyMsgBox::PressCancel);
        actionNamed(w->topBar()->userMenu(), "退出登录")->trigger();
        QCOMPARE(MyMsgBox::shownBoxes().last().text, QString("确定退出登录吗？"));
        QVERIFY(w->isVisible());
        QCOMPARE(MyUploadManager::instance()->workerCount(), MyUploadManager::kWorkers);

        MyMsgBox::answerNext(MyMsgBox::PressSubmit);
        actionNamed(w->topBar()->userMenu(), "退出登录")->trigger();
        QVERIFY(!w->isVisible());
        QCOMPARE(MyUploadManager::instance()->workerCount(), 0);
        QCOMPARE(dao->autoLoginUid(), 4242);
        bool found = false;
        for (const RecentLogin& r : dao->loadRecentLogins())
            found = found || (r.uid == 4242 && r.remember_encrypt_key == "k-4242");
        QVERIFY(found);
        delete w;
    }

    void withoutTrayCloseMinimises()
    {
        TrayIcon::setAvailableOverride(0);
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(!w.trayIcon());
        w.topBar()->closeButton()->click();
        QVERIFY(w.isVisible());
        QVERIFY(w.windowState() & Qt::WindowMinimized);
        // What the tray menu offers stays on the top bar: the window itself and 退出登录.
        QAction* logout = actionNamed(w.topBar()->userMenu(), "退出登录");
        QVERIFY(logout);
        MyMsgBox::answerNext(MyMsgBox::PressCancel);
        logout->trigger();
        QCOMPARE(MyMsgBox::shownBoxes().last().text, QString("确定退出登录吗？"));
        // Declining brings the window back.
        QVERIFY(!(w.windowState() & Qt::WindowMinimized));
        QVERIFY(w.isVisible());
    }

    void withTrayCloseHides()
    {
        TrayIcon::setAvailableOverride(1);
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        TrayIcon* tray = w.trayIcon();
        QVERIFY(tray);
        QCOMPARE(tray->toolTip(), QString("Zentrel"));
        QCOMPARE(actionTexts(tray->contextMenu()), QStringList({ "打开Zentrel", "退出登录" }));

        w.topBar()->closeButton()->click();
        QVERIFY(!w.isVisible());
        emit tray->activated(QSystemTrayIcon::Context);
        QVERIFY(!w.isVisible());
        emit tray->activated(QSystemTrayIcon::Trigger);
        QVERIFY(w.isVisible());

        w.hide();
        tray->openAction()->trigger();
        QVERIFY(w.isVisible());

        MyMsgBox::answerNext(MyMsgBox::PressCancel);
        tray->logoutAction()->trigger();
        QCOMPARE(MyMsgBox::shownBoxes().last().text, QString("确定退出登录吗？"));
    }

    void messageBoxInTheTrayKeepsTheProgramRunning()
    {
        // As in the program: closing the last visible window ends it.
        QApplication::setQuitOnLastWindowClosed(true);
        TrayIcon::setAvailableOverride(1);
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.topBar()->closeButton()->click();
        QVERIFY(!w.isVisible());
        bool broughtBack = false;
        // Qt's quit on the last window follows this signal.
        QSignalSpy lastClosed(qApp, &QGuiApplication::lastWindowClosed);
        QTimer::singleShot(0, &w, [&] {
            // Tray "退出登录", answered 取消.
            MyMsgBox::answerNext(MyMsgBox::PressCancel);
            w.trayIcon()->logoutAction()->trigger();
            broughtBack = w.isVisible();
            // Reached only while the program still runs.
            QTimer::singleShot(50, [] { QCoreApplication::exit(42); });
        });
        const int code = QCoreApplication::exec();
        QApplication::setQuitOnLastWindowClosed(false);
        QCOMPARE(lastClosed.count(), 0);
        QCOMPARE(code, 42);
        QVERIFY(broughtBack);
        QCOMPARE(MyMsgBox::shownBoxes().last().text, QString("确定退出登录吗？"));
    }

    void maximiseAndRestore()
    {
        MainWindow w;
        w.setGeometry(40, 30, 1112, 662);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QRect normal = w.geometry();
        QPushButton* max = w.topBar()->maxButton();
        max->click();
        QVERIFY(w.isMaximized());
        QCOMPARE(w.outerMargin(), 0);
        QCOMPARE(w.topBar()->maxIconPath(), QString(":/images/recover.png"));
        max->click();
        QVERIFY(!w.isMaximized());
        QCOMPARE(w.outerMargin(), 6);
        QCOMPARE(w.topBar()->maxIconPath(), QString(":/images/max_normal.png"));
        QTRY_COMPARE(w.geometry(), normal);
    }

    void sessionExpiryIsShownOnce()
    {
        MyDAO* dao = MyDAO::instance();
        RecentLogin account;
        account.uid = 77;
        account.username = "expired_teacher";
        QVERIFY(dao->saveLogin(account, ""));
        dao->setAutoLoginUid(77);

        QPointer<MainWindow> w = new MainWindow;
        w->show();
        Announcements announced;
        announced.listen(w);
        // Two more requests fail while the first message is on screen.
        MyMsgBox::setShowHook([](MyMsgBox*) {
            emit MyDAO::instance()->s_session_invalid("登录已过期，请重新登录");
            emit MyDAO::instance()->s_session_invalid("登录已过期，请重新登录");
        });
        MyMsgBox::answerNext(MyMsgBox::PressSubmit);
        bool loginShown = false;
        whenLoginShows([&](LoginWindow* login) {
            loginShown = true;
            login->reject();
        });
        emit dao->s_session_invalid("登录已过期，请重新登录");
        MyMsgBox::setShowHook(nullptr);

        QCOMPARE(MyMsgBox::shownBoxes().size(), 1);
        QCOMPARE(MyMsgBox::shownBoxes()[0].text, QString("登录已过期，请重新登录"));
        QVERIFY(!MyMsgBox::shownBoxes()[0].hasCancel);
        QVERIFY(loginShown);
        QCOMPARE(announced.kinds, QStringList({ "LoginWindow" }));
        // Nothing is remembered any more.
        QCOMPARE(dao->autoLoginUid(), 0);
        QVERIFY(dao->loadRecentLogins().isEmpty());
        // A later failure finds no window listening.
        emit dao->s_session_invalid("登录已过期，请重新登录");
        QCOMPARE(MyMsgBox::shownBoxes().size(), 1);
        flushDeletes();
        QVERIFY(w.isNull());
    }

    void sessionEndsUnderARowsDetail()
    {
        // A row's detail is open when the session expires, and the author logs in again.
        MyDAO* dao = MyDAO::instance();
        QTemporaryDir dir;
        AssetFormData record;
        record.file_path = dir.filePath("详情.pdf");
        record.file_name = "详情.pdf";
        record.file_dir = dir.path();
        record.file_size = 2048;
        record.file_md5 = "00112233445566778899aabbccddeeff";
        record.subject = "会话过期时打开的详情";
        QVERIFY(dao->saveAssetForm(record, false));

        QPointer<MainWindow> old = new MainWindow;
        old->show();
        Announcements announced;
        announced.listen(old);
        MyMsgBox::answerNext(MyMsgBox::PressSubmit);
        whenLoginShows([](LoginWindow* login) { login->accept(); });
        QTimer expire;
        expire.setInterval(10);
        connect(&expire, &QTimer::timeout, this, [&expire, dao] {
            if (qobject_cast<MyProgressItemDetailDialog*>(QApplication::activeModalWidget())) {
                expire.stop();
                emit dao->s_session_invalid("登录已过期，请重新登录");
            }
        });
        expire.start();
        // Returns once the detail has closed: with the window it was shown over.
        emit dao->s_show_or_edit(record.id, true);

        QCOMPARE(announced.kinds, QStringList({ "LoginWindow", "MainWindow" }));
        QCOMPARE(QApplication::activeModalWidget(), static_cast<QWidget*>(nullptr));
        flushDeletes();
        QVERIFY(old.isNull());
        delete announced.windows[1];
    }

    void switchOfAccountOpensANewWindow()
    {
        MyDAO* dao = MyDAO::instance();
        RecentLogin account;
        account.uid = 88;
        account.username = "switching_teacher";
        QVERIFY(dao->saveLogin(account, ""));
        dao->setAutoLoginUid(88);

        QPointer<MainWindow> old = new MainWindow;
        old->show();
        Announcements announced;
        announced.listen(old);
        whenLoginShows([](LoginWindow* login) { login->accept(); });
        actionNamed(old->topBar()->userMenu(), "切换账号")->trigger();

        QCOMPARE(MyMsgBox::shownBoxes().size(), 0); // no question
        QCOMPARE(dao->autoLoginUid(), 0);
        QVERIFY(dao->loadRecentLogins().isEmpty());
        QCOMPARE(announced.kinds, QStringList({ "LoginWindow", "MainWindow" }));
        auto* next = static_cast<MainWindow*>(announced.windows[1]);
        QVERIFY(next != old.data());
        QVERIFY(next->isVisible());
        QCOMPARE(MyUploadManager::instance()->workerCount(), MyUploadManager::kWorkers);
        flushDeletes();
        QVERIFY(old.isNull());
        delete next;
    }

    void keysOfADialogDoNotApply()
    {
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        auto* edit = new QLineEdit(w.uploadPage());
        edit->show();
        edit->setFocus();
        QStringList pressed;
        for (QPushButton* b : w.findChildren<QPushButton*>()) {
            b->setMenu(nullptr); // a pressed menu button would block in its popup
            connect(b, &QPushButton::pressed, this, [&pressed, b] { pressed << b->objectName(); });
        }
        QTest::keyClick(edit, Qt::Key_Return);
        QTest::keyClick(edit, Qt::Key_Enter);
        QCOMPARE(pressed, QStringList());
        QTest::keyClick(&w, Qt::Key_Escape);
        QVERIFY(w.isVisible());
    }

    void systemMessagesCountDown()
    {
        MySysinfoWidget page;
        QVERIFY(page.isCounting());
        QCOMPARE(page.labelText(), QString("即将跳转至网页端Quorvane“系统消息“（3）"));
        page.redirectTo();
        QCOMPARE(page.labelText(), QString("即将跳转至网页端Quorvane“系统消息“（2）"));
        page.redirectTo();
        QCOMPARE(page.labelText(), QString("即将跳转至网页端Quorvane“系统消息“（1）"));
        QVERIFY(sink.urls.isEmpty());
        page.redirectTo();
        QCOMPARE(page.labelText(), QString("即将跳转至网页端Quorvane“系统消息“（0）"));
        QVERIFY(!page.isCounting());
        QCOMPARE(sink.urls.size(), 1);
        QCOMPARE(sink.urls[0].path(), QUrl(URL_UCP_PM).path());
    }

    void helpMenuOpensTheNewsPages()
    {
        MainWindow w;
        for (QAction* a : w.topBar()->helpMenu()->actions())
            a->trigger();
        w.findChild<QPushButton*>("topbar_icon_head")->click();
        QCOMPARE(sink.urls.size(), 4);
        QCOMPARE(sink.urls[0], QUrl(URL_NEWS_NOTICE));
        QCOMPARE(sink.urls[1], QUrl(URL_NEWS_FAQ));
        QCOMPARE(sink.urls[2], QUrl(URL_NEWS_REWARD));
        QCOMPARE(sink.urls[3], QUrl(URL_SERVICE_CHAT));
    }

    void aboutShowsTheVersionDialogBesideTheWindow()
    {
        MainWindow w;
        w.show();
        QAction* about = actionNamed(w.topBar()->userMenu(), "关于Zentrel");
        QVERIFY(about);
        about->trigger(); // a dialog run with exec() would not return here before it is closed
        QList<MyVersionDialog*> dialogs = w.findChildren<MyVersionDialog*>();
        QCOMPARE(dialogs.size(), 1);
        QVERIFY(dialogs.at(0)->isVisible());
        QVERIFY(!dialogs.at(0)->isModal());
        QCOMPARE(QApplication::activeModalWidget(), static_cast<QWidget*>(nullptr));
        // Chosen again: the open one comes forward, no second one.
        about->trigger();
        dialogs = w.findChildren<MyVersionDialog*>();
        QCOMPARE(dialogs.size(), 1);
        QVERIFY(dialogs.at(0)->isVisible());
    }

private:
    UrlSink sink;
};

QTEST_MAIN(TestMainWindow)
#include "TestMainWindow.moc"
