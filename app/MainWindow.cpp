#include "app/MainWindow.h"

#include "app/LoginWindow.h"
#include "app/MySidebarWidget.h"
#include "app/MySysinfoWidget.h"
#include "app/MyTopbarWidget.h"
#include "app/NestedWait.h"
#include "app/TrayIcon.h"
#include "app/TrayNotices.h"
#include "net/MyDAO.h"
#include "ui/MyAssetUpload.h"
#include "ui/MyBatchHeader.h"
#include "ui/MyProgressListWidget.h"
#include "ui/MyTichengWidget.h"
#include "ui/MyUplistWidget.h"
#include "update/MyVersionDialog.h"
#include "upload/MyUploadManager.h"
#include "widgets/MyMsgBox.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QTimer>
#include <QVBoxLayout>
#include <QVariant>

namespace {
const char* kKlassName = "KlassName";
const char* kUploadKlass = "MyAssetUpload";
constexpr int kMargin = 6;
} // namespace

MainWindow::MainWindow(QWidget* parent)
    : BaseWindow(parent)
{
    resize(1112, 662);
    setMinimumSize(1002, 662);
    setResizable(true);
    setMouseTracking(true);
    setWindowIcon(QIcon(":/images/favicon.ico"));
    setWindowTitle("Zentrel");
    createTray();

    topbar = new MyTopbarWidget(this);
    sidebar = new MySidebarWidget(this);
    sidebar->setCurrent(MENU_ITEMLIST);
    assetUpload = new MyAssetUpload(this);
    assetUpload->setProperty(kKlassName, QString(kUploadKlass));
    page = assetUpload;

    outer = new QVBoxLayout(this);
    outer->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    outer->setSpacing(0);
    outer->setAlignment(Qt::AlignTop);
    outer->addWidget(topbar);
    rowLayout = new QHBoxLayout;
    rowLayout->setSpacing(0);
    rowLayout->addWidget(sidebar);
    rowLayout->addWidget(page, 1);
    outer->addLayout(rowLayout, 1);

    connect(MyDAO::instance(), &MyDAO::s_session_invalid, this, &MainWindow::onSessionInvalid);
    connect(topbar, &MyTopbarWidget::logout, this, &MainWindow::logout);
    connect(topbar, &MyTopbarWidget::change_acc, this, &MainWindow::newLoginDialog);
    connect(topbar, &MyTopbarWidget::s_maximize, this, &MainWindow::onMaximize);
    connect(topbar, &MyTopbarWidget::s_minimize, this, &QWidget::showMinimized);
    connect(topbar, &MyTopbarWidget::s_close, this, &MainWindow::onCloseButton);
    connect(sidebar, &MySidebarWidget::s_toggle_current_menu, this, &MainWindow::toggleMenu);
    connect(topbar, &MyTopbarWidget::s_about, this, &MainWindow::showVersionDialog);
    // What ends while the window is away is told in the tray.
    MyBatchHeader* batch = assetUpload->progressList()->batchHeader();
    connect(batch, &MyBatchHeader::s_batchFinished, this, [this](int ok, int failed) {
        if (notices)
            notices->batchFinished(ok, failed);
    });
    connect(batch, &MyBatchHeader::s_rowFailed, this, [this](const QString& title, const QString& reason) {
        if (notices)
            notices->rowFailed(title, reason);
    });

    // The workers exist from the moment the main window opens.
    MyUploadManager::instance();
}

MainWindow::~MainWindow()
{
    delete notices;
    delete tray;
}

void MainWindow::createTray()
{
    // Without a tray the icon would be unreachable; the close button then minimises.
    if (!TrayIcon::available())
        return;
    tray = new TrayIcon;
    connect(tray, &TrayIcon::s_open, this, [this] {
        showNormal();
        raise();
    });
    connect(tray, &TrayIcon::s_logout, this, &MainWindow::logout);
    tray->show();
    notices = new TrayNotices(
        [this](const QString& title, const QString& text) {
            if (tray)
                tray->showMessage(title, text, QIcon(":/images/logo.png"));
        },
        [this]() { return !isVisible() || isMinimized(); });
}

int MainWindow::outerMargin() const
{
    return outer->contentsMargins().left();
}

void MainWindow::bringToFront()
{
    showNormal();
    raise();
    activateWindow();
}

void MainWindow::toggleMenu(MyMenuType index)
{
    if (page && page->property(kKlassName).toString() == kUploadKlass && assetUpload->isEditing()) {
        if (MyMsgBox::confirm("是否退出编辑？", this) != 1)
            return;
        assetUpload->redirectToProgressList();
    }
    sidebar->setCurrent(index);

    // Quick clicks in a row only build the page of the last one.
    if (switchTimer) {
        switchTimer->stop();
        switchTimer->deleteLater();
    }
    auto* timer = new QTimer(this);
    timer->setSingleShot(true);
    timer->setInterval(100);
    connect(timer, &QTimer::timeout, this, [this, timer, index] {
        switchPage(index);
        timer->deleteLater();
    });
    switchTimer = timer;
    timer->start();
}

void MainWindow::switchPage(MyMenuType index)
{
    QWidget* next = nullptr;
    QString klass;
    switch (index) {
    case MENU_ITEMLIST:
        next = assetUpload;
        klass = kUploadKlass;
        break;
    case MENU_UPLIST:
        next = new MyUplistWidget(this);
        break;
    case MENU_TICHENG:
        next = new MyTichengWidget(this);
        break;
    case MENU_SYSMSG:
        next = new MySysinfoWidget(this);
        break;
    default:
        return;
    }
    if (next == page)
        return;
    QWidget* old = page;
    old->hide();
    delete rowLayout->replaceWidget(old, next); // the replaced item is ours to free
    next->show();
    if (old->property(kKlassName).toString() != kUploadKlass)
        NestedWait::deleteWhenIdle(old);
    next->setProperty(kKlassName, klass);
    page = next;
}

void MainWindow::logout()
{
    const int answer = MyMsgBox::confirm("确定退出登录吗？", this);
    if (answer == MyMsgBox::Abandoned)
        return;
    if (answer != MyMsgBox::Accepted) {
        bringToFront();
        return;
    }
    // The remembered login stays: the next start may log in on its own.
    MyDAO::instance()->clearUploadJobs();
    MyUploadManager::instance()->stopAll();
    close();
    QApplication::closeAllWindows();
}

void MainWindow::onSessionInvalid(const QString& msg)
{
    // Several requests may fail at once; the author hears of it once.
    if (handlingExpiry)
        return;
    handlingExpiry = true;
    if (MyMsgBox::alert(msg, this) != MyMsgBox::Abandoned)
        newLoginDialog();
}

void MainWindow::newLoginDialog()
{
    handlingExpiry = true;
    // Nothing is remembered any more: no automatic login, no stored accounts.
    MyDAO::instance()->clearLogins();
    disconnect(MyDAO::instance(), nullptr, this, nullptr);
    auto* login = new LoginWindow;
    MyDAO::instance()->clearUploadJobs();
    MyUploadManager::instance()->stopAll();

    // Between closing this window and showing the dialog no window is visible; that
    // must not end the program.
    const bool quitOnLast = QApplication::quitOnLastWindowClosed();
    QApplication::setQuitOnLastWindowClosed(false);
    close();
    emit s_w(login);
    const int result = MyMsgBox::runDialog(login, nullptr);
    QApplication::setQuitOnLastWindowClosed(quitOnLast);
    // This window is replaced, never reused; boxes still open over it (a row's detail, say)
    // close, and it goes once they have.
    NestedWait::deleteWhenIdle(this);
    if (result != QDialog::Accepted) {
        if (quitOnLast)
            QCoreApplication::quit();
        return;
    }
    auto* next = new MainWindow;
    MyUploadManager::instance()->createWorkers();
    emit s_w(next);
    next->showNormal();
    next->raise();
    next->activateWindow();
}

void MainWindow::onMaximize()
{
    if (!isMaximized()) {
        outer->setContentsMargins(0, 0, 0, 0);
        savedGeometry = saveGeometry();
        showMaximized();
    } else {
        outer->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
        restoreGeometry(savedGeometry);
        if (isMaximized())
            showNormal();
    }
}

void MainWindow::showVersionDialog()
{
    // One at a time: a second click brings the open one forward.
    if (!versionDialog) {
        versionDialog = new MyVersionDialog(this);
        versionDialog->setAttribute(Qt::WA_DeleteOnClose);
    }
    versionDialog->show();
    versionDialog->raise();
    versionDialog->activateWindow();
}

void MainWindow::onCloseButton()
{
    if (tray) {
        hide(); // keeps running in the tray
        if (notices)
            notices->closedToTray();
    } else
        showMinimized();
}

void MainWindow::keyPressEvent(QKeyEvent* event)
{
    QWidget::keyPressEvent(event);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    MyDAO::instance()->loadRecentLogins();
    MyUploadManager::instance()->stopAll();
    hide();
    if (tray) {
        tray->hide();
        delete tray;
        tray = nullptr;
    }
    event->accept();
}
