#include "app/MyTopbarWidget.h"

#include "app/SignedInBrowser.h"
#include "net/Endpoints.h"
#include "net/MyDAO.h"
#include "widgets/OpenLink.h"
#include "widgets/SharpPixmap.h"
#include "widgets/UserAvatar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QUrl>

namespace {

void openInBrowser(const QString& url)
{
    openLink(QUrl(url));
}

QPushButton* makeButton(const QString& name, QWidget* parent)
{
    auto* btn = new QPushButton(parent);
    btn->setObjectName(name);
    btn->setFlat(true);
    btn->setCursor(Qt::PointingHandCursor);
    return btn;
}

} // namespace

MyTopbarWidget::MyTopbarWidget(QWidget* parent)
    : BaseWidget(parent)
{
    setObjectName("main_topbar");
    setFixedHeight(60);
    const RecentLogin& account = MyDAO::instance()->currentLogin();

    auto* logo = new QLabel(this);
    logo->setObjectName("top_logo");
    logo->setPixmap(sharpPixmap(":/images/logo_login.png"));

    avatarImage = new UserAvatar(this);
    avatarImage->setObjectName("top_avatar_image");
    avatarImage->setFixedSize(35, 35);
    avatarImage->setScaledContents(true);
    if (!account.avatar.isEmpty())
        avatarImage->setUrl(account.avatar);

    userBtn = makeButton("top_user_btn", this);
    userBtn->setText(account.username);
    userBtn->setFixedHeight(60);
    userPopMenu = new QMenu(this);
    userPopMenu->setObjectName("top_user_pop_menu");
    connect(userPopMenu->addAction("个人中心"), &QAction::triggered, this, [] { openSignedIn(QString()); });
    connect(userPopMenu->addAction("帮助中心"), &QAction::triggered, this, [] { openInBrowser(URL_HELP); });
    connect(userPopMenu->addAction("关于Zentrel"), &QAction::triggered, this, &MyTopbarWidget::s_about);
    connect(userPopMenu->addAction("操作演示视频"), &QAction::triggered, this,
            [] { openInBrowser(Endpoints::base(Endpoints::Role::Website) + "/help/help_upload.php"); });
    connect(userPopMenu->addAction("切换账号"), &QAction::triggered, this, &MyTopbarWidget::change_acc);
    connect(userPopMenu->addAction("退出登录"), &QAction::triggered, this, &MyTopbarWidget::logout);
    userBtn->setMenu(userPopMenu);

    auto* contactBtn = makeButton("topbar_icon_head", this);
    contactBtn->setToolTip("联系客服");
    contactBtn->setFixedSize(20, 20);
    connect(contactBtn, &QPushButton::clicked, this, [] { openInBrowser(URL_SERVICE_CHAT); });

    auto* helpBtn = makeButton("topbar_icon_faq", this);
    helpBtn->setToolTip("帮助");
    helpBtn->setFixedSize(20, 60);
    helpPopMenu = new QMenu(this);
    helpPopMenu->setObjectName("top_help_pop_menu");
    connect(helpPopMenu->addAction("注意事项"), &QAction::triggered, this, [] { openInBrowser(URL_NEWS_NOTICE); });
    connect(helpPopMenu->addAction("常见问题"), &QAction::triggered, this, [] { openInBrowser(URL_NEWS_FAQ); });
    connect(helpPopMenu->addAction("奖励规则"), &QAction::triggered, this, [] { openInBrowser(URL_NEWS_REWARD); });
    helpBtn->setMenu(helpPopMenu);

    auto* separator = new QLabel("|", this);
    separator->setFixedWidth(20);
    separator->setAlignment(Qt::AlignCenter);
    separator->setStyleSheet("color: #008553; font-size: 20px;");

    minBtn = makeButton("main_min_btn", this);
    maxBtn = makeButton("main_max_btn", this);
    closeBtn = makeButton("main_close_btn", this);
    for (QPushButton* btn : { minBtn, maxBtn, closeBtn }) {
        btn->setFixedSize(25, 25);
        btn->setIconSize(QSize(25, 25));
    }
    minBtn->setIcon(QIcon(":/images/min_normal.png"));
    closeBtn->setIcon(QIcon(":/images/close_normal.png"));
    setMaxIcon(":/images/max_normal.png");
    connect(minBtn, &QPushButton::clicked, this, &MyTopbarWidget::s_minimize);
    connect(maxBtn, &QPushButton::clicked, this, &MyTopbarWidget::onMaximize);
    connect(closeBtn, &QPushButton::clicked, this, &MyTopbarWidget::s_close);

    auto* layout = new QHBoxLayout(this);
    layout->setSpacing(12);
    layout->setContentsMargins(18, 0, 18, 0);
    layout->addWidget(logo);
    layout->addStretch();
    layout->addWidget(avatarImage);
    layout->addWidget(userBtn);
    layout->addWidget(contactBtn);
    layout->addWidget(helpBtn);
    layout->addWidget(separator);
    layout->addWidget(minBtn);
    layout->addWidget(maxBtn);
    layout->addWidget(closeBtn);
}

void MyTopbarWidget::setMaxIcon(const QString& path)
{
    maxIcon = path;
    maxBtn->setIcon(QIcon(path));
}

void MyTopbarWidget::onMaximize()
{
    setMaxIcon(window()->isMaximized() ? ":/images/max_normal.png" : ":/images/recover.png");
    emit s_maximize();
}
