#include "update/MyVersionDialog.h"

#include "app/AppDir.h"
#include "app/NestedWait.h"
#include "net/Endpoints.h"
#include "net/MyDAO.h"
#include "widgets/MyMsgBox.h"

#include <QApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QJsonArray>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QUrlQuery>
#include <QVBoxLayout>
#include <memory>

namespace {

// The start-up waits for the version check before the login dialog shows.
constexpr int kVersionDeadlineMs = 10000;

const char* const kNewVersionStyle
    = "QPushButton#check_btn{border-radius: 20px; font-size: 14px; color:#01945d;border:1px solid #01945d;}";
const char* const kUpToDateStyle
    = "QPushButton#check_btn{border-radius: 20px; font-size: 14px; color:#999;border:1px solid #999;}";

void warn(const QString& text)
{
    MyMsgBox::ask(text, nullptr, MyMsgBox::Look { QStringLiteral("警告信息"), false, false });
}

} // namespace

MyVersionDialog::MyVersionDialog(QWidget* parent)
    : BaseWindow(parent)
    , currentVersion(QString::fromLatin1(PROGRAM_VERSION))
{
    const bool dev
        = QProcessEnvironment::systemEnvironment().value(QStringLiteral("VANTREL_ENV")) == QLatin1String("dev");
    versionAddress = dev
        ? Endpoints::base(Endpoints::Role::Website) + QStringLiteral("/nsoft/toolupload/version_2.json")
        : URL_VERSION_JSON;

    resize(562, 342);

    auto* title = new QLabel(QStringLiteral("Zentrel"), this);
    closeBtn = new QPushButton(this);
    closeBtn->setFlat(true);
    closeBtn->setFixedSize(20, 20);
    closeBtn->setCursor(Qt::PointingHandCursor);
    closeBtn->setIcon(QIcon(QStringLiteral(":/images/close_version.png")));
    auto* top = new QHBoxLayout;
    top->setContentsMargins(15, 10, 10, 0);
    top->addWidget(title);
    top->addStretch();
    top->addWidget(closeBtn);

    auto* logo = new QLabel(this);
    logo->setPixmap(QPixmap(QStringLiteral(":/images/logo_version.png")));

    versionText = new QLabel(QStringLiteral("目前版本：%1").arg(currentVersion), this);
    versionText->setStyleSheet(QStringLiteral("QLabel{font-size: 30px; color: #666;}"));

    checkBtn = new QPushButton(QStringLiteral("版本检测"), this);
    checkBtn->setObjectName(QStringLiteral("check_btn"));
    checkBtn->setFixedSize(180, 40);
    checkBtn->setCursor(Qt::PointingHandCursor);

    auto* column = new QVBoxLayout(this);
    column->setSpacing(30);
    column->setContentsMargins(6, 6, 6, 6);
    column->addLayout(top);
    column->addWidget(logo, 0, Qt::AlignHCenter);
    column->addWidget(versionText, 0, Qt::AlignHCenter);
    column->addWidget(checkBtn, 0, Qt::AlignHCenter);
    column->addStretch();

    setStyleSheet(QStringLiteral(
        "QPushButton#check_btn{border-radius: 20px; font-size: 14px;color:#01945d;border:1px solid #01945d;}"));

    connect(closeBtn, &QPushButton::clicked, this, &QWidget::close);
    connect(checkBtn, &QPushButton::clicked, this, &MyVersionDialog::onCheckClicked);
}

QString MyVersionDialog::updaterPath()
{
#ifdef Q_OS_WIN
    return appDir() + QStringLiteral("/velwick.exe");
#else
    return appDir() + QStringLiteral("/velwick");
#endif
}

void MyVersionDialog::queryVersions()
{
    if (!latestVersion.isEmpty())
        return;
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("t"), QString::number(QDateTime::currentSecsSinceEpoch()));

    QEventLoop loop;
    // The reply may come after this wait was left (a second press started its own); it
    // must not end a loop that is gone.
    auto waiting = std::make_shared<QEventLoop*>(&loop);
    QPointer<MyVersionDialog> self(this);
    const auto onReply = [self, waiting](QJsonObject& obj) {
        if (*waiting)
            (*waiting)->quit();
        if (!self)
            return;
        if (obj.value(QStringLiteral("errcode")).toInt() == -3) {
            self->versionText->setText(QStringLiteral("网络请求失败"));
            return;
        }
        if (obj.value(QStringLiteral("code")).toInt() == 0) {
            self->latestVersion = obj.value(QStringLiteral("data")).toArray().at(0).toString();
            self->showVersionState(self->latestVersion);
            return;
        }
        self->versionText->setText(QStringLiteral("网络请求错误"));
    };
    // A small file: a network that cannot bring it in a few seconds must not hold the start.
    MyDAO::instance()->httpGet(versionAddress, query, onReply, nullptr, kVersionDeadlineMs);
    {
        // Ends early when the window under this dialog is replaced.
        NestedWait::Scope scope(this, [&loop] { loop.quit(); });
        loop.exec();
    }
    *waiting = nullptr;
}

void MyVersionDialog::showVersionState(const QString& latest)
{
    if (latest == currentVersion) {
        versionText->setText(QStringLiteral("已是最新版本：%1").arg(latest));
        checkBtn->setText(QStringLiteral("暂无更新"));
        setStyleSheet(QString::fromLatin1(kUpToDateStyle));
    } else {
        versionText->setText(QStringLiteral("检测到新版本：%1").arg(latest));
        checkBtn->setText(QStringLiteral("立即更新"));
        setStyleSheet(QString::fromLatin1(kNewVersionStyle));
    }
    versionText->setStyleSheet(QStringLiteral("QLabel { color:#01945d; font-size: 30px; } "));
}

void MyVersionDialog::onCheckClicked()
{
    if (latestVersion.isEmpty())
        queryVersions();
    else if (latestVersion != currentVersion)
        launchUpdater();
}

int MyVersionDialog::checkOnStart()
{
    QPointer<MyVersionDialog> self(this);
    queryVersions();
    if (!self || latestVersion.isEmpty() || latestVersion == currentVersion)
        return 0;
    return exec();
}

void MyVersionDialog::launchUpdater()
{
    if (!appDirWritable()) {
        // Installed by the system's package manager: velwick could not replace the program,
        // and the package manager would not know of it if it did.
        warn(QStringLiteral("检测到新版本：%1\n本程序由系统的软件包管理器安装，不能在此自动更新。\n"
                            "请用系统的软件包管理器更新，或到网站下载最新的安装包。")
                 .arg(latestVersion));
        return;
    }
    const QString path = updaterPath();
    if (!QFileInfo::exists(path)) {
        warn(QStringLiteral("更新失败，velwick.exe文件丢失"));
        return;
    }
    accept();
    QApplication::closeAllWindows();
    // No arguments: the updater finds everything beside itself.
    if (!QProcess::startDetached(path, QStringList()))
        warn(path + QStringLiteral("升级失败!\n解决办法：直接下载最新的安装程序!"));
}

void MyVersionDialog::paintEvent(QPaintEvent* event)
{
    BaseWindow::paintEvent(event);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.drawPixmap(QRect(6, 6, 550, 330), QPixmap(QStringLiteral(":/images/bg_version.png")));
}
